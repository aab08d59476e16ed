#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "production/production_journal.hpp"
#include "ui/prompter.hpp"

namespace dl250t {

// The production journal as a CSV file (RFC 4180, UTF-8): a header line, then
// one line per module in these columns. A module that is written has two
// lines: its reservation, with the outcome "reserved", appended before its
// block leaves, and its settlement with the same serial number, station and
// port, and the outcome of the attempt ("ok" for a module written). A
// reservation whose program ended before it settled it gets the outcome
// "interrupted" from the next program that opens the journal.
inline constexpr std::array<std::string_view, 12> kJournalColumns = {
    "time",    "station", "port",         "module", "version", "serial",
    "outcome", "verify",  "milliseconds", "crc",    "board",   "label",
};
// Journals of earlier releases have the first ten columns; lines appended to
// such a journal keep to them.
inline constexpr std::size_t kEarlierJournalColumns = 10;
inline constexpr std::string_view kReservedOutcome = "reserved";
inline constexpr std::string_view kInterruptedOutcome = "interrupted";

// One field as RFC 4180 writes it: in quotes, with its quotes doubled, when
// it holds a comma or a quote.
std::string csvField(std::string_view text);

// The fields, each as csvField writes it, separated by commas and ended with
// CR LF. Control characters become U+FFFD, so that a line of the journal is
// always one line of the file.
std::string csvLine(const std::vector<std::string>& fields);

// The fields of one line (without its line break); nothing when the line is
// not well-formed CSV.
std::optional<std::vector<std::string>> parseCsvLine(std::string_view line);

// What the file chooser offers when the operator picks the journal file.
FileRequest journalFileRequest();

// What the front end and the platform put into a line beside the record.
struct CsvJournalTexts {
    std::string station;  // the machine's name
    // The time in ISO 8601, local time with the offset from UTC.
    std::function<std::string(std::chrono::system_clock::time_point)> timeText;
    // A module's own bytes as UTF-8; when not given, bytes that are not UTF-8
    // become U+FFFD.
    std::function<std::string(std::string_view)> moduleText = {};
};

// The record's fields in the columns' order.
std::vector<std::string> journalFields(const ModuleRecord& record, const CsvJournalTexts& texts);

// The file beneath a CSV journal, as the platform provides it. Lines are
// appended whole, each with one write, so that programs sharing the file
// never mix their lines.
class JournalFile {
public:
    virtual ~JournalFile() = default;

    // Opens the file for appending, creating it when nothing is at its path
    // (a symbolic link that leads nowhere is refused, not followed). A file
    // that is new or empty gets `header` first, once however many programs
    // open it at the same time.
    virtual bool open(std::string_view header) = 0;

    // False once the path no longer leads to the open file: it was deleted,
    // moved away or replaced.
    virtual bool stillAtPath() const = 0;

    virtual std::optional<std::uint64_t> size() = 0;

    // Up to maxBytes from offset, fewer at the end of the file.
    virtual std::optional<std::string> read(std::uint64_t offset, std::size_t maxBytes) = 0;

    // Makes sure that `bytes` more can be appended without the file system
    // running out of room.
    virtual bool reserve(std::size_t bytes) = 0;

    // Appends the bytes with one write and returns once they are on disk.
    // Takes the journal's lock for the write unless it is held already.
    virtual bool append(std::string_view bytes) = 0;

    // The lock that the programs sharing the journal hold to read its lines
    // and append theirs as one step. Waits a few seconds at most for another
    // program to give it back: false then.
    virtual bool lock() = 0;
    virtual void unlock() = 0;

    // A mark that this opening of the file holds from holdMark until
    // releaseMark, or until the program ends however it ends: a reservation
    // in progress, keyed by its serial number.
    virtual void holdMark(std::uint64_t key) = 0;
    virtual void releaseMark(std::uint64_t key) = 0;
    // Whether a program that still runs holds the mark; true too when that
    // cannot be told.
    virtual bool markHeldElsewhere(std::uint64_t key) = 0;

    // Why the last call failed, in words for the operator.
    virtual std::string problem() const = 0;
};

class CsvJournal final : public ProductionJournal {
public:
    CsvJournal(std::unique_ptr<JournalFile> file, CsvJournalTexts texts);

    // Opens the file, checks that it is a journal (its first line is the
    // header), reads its numbers, and records every reservation that no
    // program settles any longer as interrupted.
    bool open() override;
    // After the highest number this station used in the journal, else the
    // highest any station used; the lines' order plays no part.
    std::optional<SerialNumber> resumeSerial() const override { return resume_; }

    // Fails when the file cannot be opened, when a line that failed before
    // still cannot be appended, or when there is no room for the module's
    // lines: the module is then never touched. A journal whose path leads
    // elsewhere now is opened afresh and checked as at the start.
    bool beginModule() override;

    // Under the journal's lock: reads the lines other programs appended since,
    // takes the proposed number or the first after it that the journal does
    // not hold, and appends the reservation.
    bool reserveSerial(ModuleRecord& record) override;

    // Appends the line and flushes it to disk. A line that fails is kept and
    // appended first when the next module begins.
    bool finishModule(const ModuleRecord& record) override;

    std::string problem() const override { return problem_; }

    // How many columns the journal's lines have: kJournalColumns.size(), or
    // kEarlierJournalColumns for a journal of an earlier release, which has
    // no room for board codes and labels.
    std::size_t columns() const { return columns_; }

private:
    bool fail(std::string problem);
    // The record's line in the journal's columns.
    std::vector<std::string> lineFields(const ModuleRecord& record) const;
    // Reads the complete lines from scanned_ to the end of the file.
    bool readNewLines();
    void takeLine(std::string_view line);
    bool interruptAbandoned();

    std::unique_ptr<JournalFile> file_;
    CsvJournalTexts texts_;
    bool opened_ = false;
    std::size_t columns_ = kJournalColumns.size();
    std::optional<SerialNumber> resume_;
    // The numbers that went out, or may have: reserved, or a block was sent.
    std::unordered_set<std::uint64_t> used_;
    std::optional<std::uint64_t> highestOwn_;
    std::optional<std::uint64_t> highestAny_;
    // Reservations without a settlement, by serial number.
    std::map<std::uint64_t, std::vector<std::string>> unsettled_;
    // How far the lines have been read, and whether a line too long to be
    // one of the journal's is being skipped there.
    std::uint64_t scanned_ = 0;
    bool skippingLongLine_ = false;
    std::string pending_;
    // The reservation whose settlement is pending_.
    std::optional<std::uint64_t> pendingMark_;
    std::string problem_;
};

}  // namespace dl250t
