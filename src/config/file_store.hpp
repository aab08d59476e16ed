#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace dl250t {

// The start of a file, as far as it could be read.
struct FileStart {
    enum class Status {
        Ok,          // read to its end or to the number of bytes asked for
        OpenFailed,  // missing, not allowed, or not a regular file
        ReadFailed,  // opened, but a read failed part way
    };
    Status status = Status::OpenFailed;
    std::vector<std::uint8_t> bytes;  // what arrived before the end or the failure
};

// A file being replaced. Nothing at the target changes until commit()
// succeeds; a replacement destroyed without a successful commit leaves no
// trace.
class FileReplacement {
public:
    virtual ~FileReplacement() = default;

    // Writes all bytes and puts them in place of the target so that they
    // survive a power cut once this returns true. Allowed once.
    virtual bool commit(std::span<const std::uint8_t> bytes) = 0;
};

// The files the tool reads and writes, through the platform. Paths are UTF-8
// text whatever the platform's own form of them is. Only regular files are
// read or replaced: a folder, a device, a pipe or a socket is refused before
// anything is read from it or written to it, so that nothing can hang on
// one or replace one.
class FileStore {
public:
    virtual ~FileStore() = default;

    // Reads at most maxBytes from the start of a regular file.
    virtual FileStart readStart(const std::string& path, std::size_t maxBytes) = 0;

    // Prepares the replacement of a file, which need not exist yet; a link is
    // followed and the file it leads to replaced. Nothing when the file
    // cannot be replaced: its folder cannot be written, the file itself may
    // not be written, or it exists and is no regular file.
    virtual std::unique_ptr<FileReplacement> beginReplacing(const std::string& path) = 0;
};

}  // namespace dl250t
