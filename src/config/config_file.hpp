#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <span>
#include <string_view>

#include "config/config_block.hpp"

namespace dl250t {

// A configuration file is exactly one stamped block, every byte XORed with the
// file key. Nothing precedes or follows it.
struct LoadedConfigFile {
    bool opened = false;  // false when the file could not be opened for reading
    std::size_t bytesRead = 0;
    BlockCheck check = BlockCheck::LengthMismatch;
    // Unscrambled when all 518 bytes arrived; otherwise the bytes as read, with
    // the rest zero.
    ConfigBlock block;
};

// Reads at most 518 bytes from the start of the file; anything after them is
// never read. Checks length, then keyword, then CRC.
LoadedConfigFile loadConfigFile(const std::filesystem::path& path);

// Replaces a file without ever leaving it half-written: the new content goes
// into a temporary file in the same folder, which is flushed, closed and then
// renamed over the target. If anything fails, the temporary is removed and
// whatever the target held before is still there, byte for byte.
class AtomicFileWriter {
public:
    AtomicFileWriter() = default;
    AtomicFileWriter(const AtomicFileWriter&) = delete;
    AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;
    ~AtomicFileWriter();

    // Creates the temporary file. Fails when the folder cannot be written, or
    // when the target exists but is a folder or cannot be written itself.
    bool open(const std::filesystem::path& target);

    // Writes all bytes, then puts the file in place of the target. Allowed
    // once after a successful open.
    bool commit(std::span<const std::uint8_t> bytes);

private:
    void discard();

    std::filesystem::path target_;
    std::filesystem::path temporary_;
    std::filebuf file_;
};

// What the operator is told about configuration files.
inline constexpr std::string_view kFileOpenFailedText = "文件打开失败！";
inline constexpr std::string_view kFileOpenedText = "文件打开成功！";
inline constexpr std::string_view kFileReadText = "文件读取成功！";
inline constexpr std::string_view kFileWrittenText = "文件写入成功！";
inline constexpr std::string_view kFileWriteFailedText = "文件写入失败！";

enum class SaveOutcome { Ok, OpenFailed, WriteFailed };

// kFileOpenFailedText or kFileWriteFailedText; empty for Ok.
std::string_view saveOutcomeMessage(SaveOutcome outcome);

// Writes the file form of a block that has already been stamped: a scrambled
// copy, so the caller's block stays plain.
bool writeConfigFile(AtomicFileWriter& writer, const ConfigBlock& stampedBlock);

// Stamps the block in place and saves it atomically.
SaveOutcome saveConfigFile(const std::filesystem::path& path, ConfigBlock& block);

}  // namespace dl250t
