#pragma once

#include <string>

#include "production/csv_journal.hpp"

namespace dl250t {

// A journal file through POSIX calls. It is opened with O_APPEND, so that
// each line lands at the end of the file whoever else appends to it, and only
// when it is a regular file: a pipe or a device would hang or swallow the
// lines. A line is one write() followed by fsync(). Room for the next line is
// reserved beyond the end of the file before a module is written, so that a
// full file system stops the line before a module goes unrecorded. A journal
// that was deleted or moved away meanwhile is opened afresh at its path
// before the next module, so that no line goes into a file nobody will find.
class PosixJournalFile final : public JournalFile {
public:
    explicit PosixJournalFile(std::string path);
    ~PosixJournalFile() override;
    PosixJournalFile(const PosixJournalFile&) = delete;
    PosixJournalFile& operator=(const PosixJournalFile&) = delete;

    bool open(std::string_view header) override;
    std::optional<std::uint64_t> size() override;
    std::optional<std::string> read(std::uint64_t offset, std::size_t maxBytes) override;
    bool reserve(std::size_t bytes) override;
    bool append(std::string_view bytes) override;
    std::string problem() const override { return problem_; }

private:
    bool fail(std::string_view what, int error);
    void close();
    // True while the path still leads to the open file.
    bool stillAtPath() const;

    std::string path_;
    std::string header_;
    int fd_ = -1;
    std::string problem_;
};

}  // namespace dl250t
