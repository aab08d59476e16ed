#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

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
    std::optional<std::string> startSerial = {};
    // A module's own bytes as UTF-8 (see CsvJournalTexts).
    std::function<std::string(std::string_view)> moduleText = {};
};

// Whether the text names a database rather than a file.
bool isDatabaseJournal(std::string_view journal);

// Why the choice cannot be made, in words for the operator (a line for a CSV
// journal, a line name that is empty or holds control characters, a database
// in a build without one); empty when it can.
std::string journalChoiceProblem(const JournalChoice& choice);

// The journal chosen, not opened yet; nullptr when journalChoiceProblem has
// something to say about the choice.
std::unique_ptr<ProductionJournal> makeProductionJournal(const JournalChoice& choice);

// The journal as it may be shown and logged: a URI's password is left out.
std::string journalDisplayName(std::string_view journal);

}  // namespace dl250t
