#pragma once

#include "config/file_store.hpp"

namespace dl250t {

// Files through POSIX calls. Reading opens without blocking and refuses
// anything that is not a regular file before a byte is read. Replacing
// writes a temporary file with a short name of its own in the target's
// folder, flushes it to disk, renames it over the target and flushes the
// folder; the temporary is registered with SignalCleanup while it exists.
// A replaced file keeps its permissions (and, where allowed, its owner).
class PosixFileStore final : public FileStore {
public:
    FileStart readStart(const std::string& path, std::size_t maxBytes) override;
    std::unique_ptr<FileReplacement> beginReplacing(const std::string& path) override;
};

}  // namespace dl250t
