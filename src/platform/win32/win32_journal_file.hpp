#pragma once

#include <string>

#include "production/csv_journal.hpp"

namespace dl250t {

// A journal file through the Win32 W calls. It is opened for appending only
// (FILE_APPEND_DATA), so that each line lands at the end of the file whoever
// else appends to it, and only when it is a disk file: a pipe or a device
// would hang or swallow the lines. A line is one WriteFile under a lock on
// the file, followed by FlushFileBuffers. Before a module is written the disk
// must have room for its line. A link is followed to a file that exists, but
// never creates one.
class Win32JournalFile final : public JournalFile {
public:
    explicit Win32JournalFile(std::string path);
    ~Win32JournalFile() override;
    Win32JournalFile(const Win32JournalFile&) = delete;
    Win32JournalFile& operator=(const Win32JournalFile&) = delete;

    bool open(std::string_view header) override;
    bool stillAtPath() const override;
    std::optional<std::uint64_t> size() override;
    std::optional<std::string> read(std::uint64_t offset, std::size_t maxBytes) override;
    bool reserve(std::size_t bytes) override;
    bool append(std::string_view bytes) override;
    std::string problem() const override { return problem_; }

private:
    bool fail(std::string_view what, unsigned long error);
    void close();

    std::string path_;
    void* file_ = nullptr;  // the open HANDLE, or nullptr
    std::string problem_;
};

}  // namespace dl250t
