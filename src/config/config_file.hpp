#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "config/config_block.hpp"
#include "config/file_store.hpp"

namespace dl250t {

// A configuration file is exactly one stamped block, every byte XORed with the
// file key. Nothing precedes or follows it.
struct LoadedConfigFile {
    bool opened = false;      // false when the file could not be opened for reading
    bool readFailed = false;  // opened, but a read failed before the block was in
    std::size_t bytesRead = 0;
    BlockCheck check = BlockCheck::LengthMismatch;
    // Unscrambled when all 518 bytes arrived; otherwise the bytes as read, with
    // the rest zero.
    ConfigBlock block;
};

// Reads at most 518 bytes from the start of the file; anything after them is
// never read. Checks length, then keyword, then CRC.
LoadedConfigFile loadConfigFile(FileStore& files, const std::string& path);

// What the operator is told about configuration files.
inline constexpr std::string_view kFileOpenFailedText = "文件打开失败！";
inline constexpr std::string_view kFileOpenedText = "文件打开成功！";
inline constexpr std::string_view kFileReadText = "文件读取成功！";
inline constexpr std::string_view kFileWrittenText = "文件写入成功！";
inline constexpr std::string_view kFileWriteFailedText = "文件写入失败！";

enum class SaveOutcome { Ok, OpenFailed, WriteFailed };

// kFileOpenFailedText or kFileWriteFailedText; empty for Ok.
std::string_view saveOutcomeMessage(SaveOutcome outcome);

// The file form of a block that has already been stamped: a scrambled copy,
// so the caller's block stays plain.
ConfigBlock configFileForm(const ConfigBlock& stampedBlock);

// Writes the file form of a stamped block through a replacement.
bool writeConfigFile(FileReplacement& file, const ConfigBlock& stampedBlock);

// Stamps the block in place and saves it: the old file stays as it was until
// the new one is complete and on disk.
SaveOutcome saveConfigFile(FileStore& files, const std::string& path, ConfigBlock& block);

}  // namespace dl250t
