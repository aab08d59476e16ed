#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <span>

#include "config/config_block.hpp"
#include "config/outcome.hpp"

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
    std::FILE* file_ = nullptr;
};

// Writes the file form of a block that has already been stamped: a scrambled
// copy, so the caller's block stays plain.
bool writeConfigFile(AtomicFileWriter& writer, const ConfigBlock& stampedBlock);

// Stamps the block in place and saves it atomically: FileWritten,
// FileOpenFailed or FileWriteFailed.
Outcome saveConfigFile(const std::filesystem::path& path, ConfigBlock& block);

}  // namespace dl250t
