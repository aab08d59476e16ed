#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "production/csv_journal.hpp"
#include "production/database_connection.hpp"
#include "production/production_journal.hpp"

namespace dl250t {

// The production line a database journal records when none is named.
inline constexpr std::string_view kDefaultLine = "default";

// What a program was told about its journal (--journal, --line, --serial).
struct JournalChoice {
    // A CSV file, or a PostgreSQL connection URI (postgresql://… or
    // postgres://…) for a journal that several stations share.
    std::string journal;
    // The production line of a database journal: the series of serial
    // numbers its stations share. kDefaultLine when not given; a CSV journal
    // has none.
    std::optional<std::string> line = {};
    // The serial number asked for. A database line that is new starts there;
    // one that exists must be there already, else the journal does not open.
    std::optional<SerialNumber> startSerial = {};
    // A module's own bytes as UTF-8 (see CsvJournalTexts).
    std::function<std::string(std::string_view)> moduleText = {};
    // Where a database line that is new starts when no start number is asked
    // for; when not given, where the window starts (its default from the
    // time).
    std::optional<SerialNumber> newLineSerial = {};
};

// What the system the program runs on provides for its journals.
struct JournalBackends {
    // The file beneath a CSV journal, at a path in UTF-8.
    std::function<std::unique_ptr<JournalFile>(const std::string& path)> journalFile;
    // The journal's time column: local time with the offset from UTC.
    std::function<std::string(std::chrono::system_clock::time_point)> localTimeText;
    // This machine's name, for the journal's station column.
    std::function<std::string()> hostName;
    // Now, for the window's default serial number.
    std::function<std::int64_t()> secondsSince1970;
    // A connection to a database; none in a build without a database journal.
    DatabaseConnector databaseConnection;
};

// Whether the text names a database rather than a file.
bool isDatabaseJournal(std::string_view journal);

// Why the choice cannot be made, in words for the operator (a line for a CSV
// journal, a line name that is empty or holds control characters, a database
// where the system has no database client); empty when it can.
std::string journalChoiceProblem(const JournalChoice& choice, const JournalBackends& backends);

// The journal chosen, not opened yet; nullptr when journalChoiceProblem has
// something to say about the choice.
std::unique_ptr<ProductionJournal> makeProductionJournal(const JournalChoice& choice,
                                                         const JournalBackends& backends);

// The journal as it may be shown and logged: a URI's password is left out.
std::string journalDisplayName(std::string_view journal);

}  // namespace dl250t
