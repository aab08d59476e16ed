#pragma once

#include <cstdint>
#include <string>

#include "config/config_block.hpp"
#include "config/file_store.hpp"
#include "config/outcome.hpp"

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

// The file form of a block that has already been stamped: a scrambled copy,
// so the caller's block stays plain.
ConfigBlock configFileForm(const ConfigBlock& stampedBlock);

// Writes the file form of a stamped block through a replacement.
bool writeConfigFile(FileReplacement& file, const ConfigBlock& stampedBlock);

// Stamps the block in place and saves it: the old file stays as it was until
// the new one is complete and on disk. FileWritten, FileOpenFailed or
// FileWriteFailed.
Outcome saveConfigFile(FileStore& files, const std::string& path, ConfigBlock& block);

}  // namespace dl250t
