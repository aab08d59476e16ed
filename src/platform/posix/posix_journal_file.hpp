#pragma once

#include <string>

#include "production/csv_journal.hpp"

namespace dl250t {

// A journal file through POSIX calls. It is opened with O_APPEND, so that
// each line lands at the end of the file whoever else appends to it, and only
// when it is a regular file: a pipe or a device would hang or swallow the
// lines. A line is one write() followed by fsync(). Room for the next line is
// reserved beyond the end of the file before a module is written, so that a
// full file system stops the line before a module goes unrecorded. A symbolic
// link is followed to a file that exists, but never creates one: a link that
// leads nowhere is refused.
class PosixJournalFile final : public JournalFile {
public:
    explicit PosixJournalFile(std::string path);
    ~PosixJournalFile() override;
    PosixJournalFile(const PosixJournalFile&) = delete;
    PosixJournalFile& operator=(const PosixJournalFile&) = delete;

    bool open(std::string_view header) override;
    bool stillAtPath() const override;
    std::optional<std::uint64_t> size() override;
    std::optional<std::string> read(std::uint64_t offset, std::size_t maxBytes) override;
    bool reserve(std::size_t bytes) override;
    bool append(std::string_view bytes) override;
    std::string problem() const override { return problem_; }

private:
    bool fail(std::string_view what, int error);
    void close();

    std::string path_;
    int fd_ = -1;
    std::string problem_;
};

}  // namespace dl250t
