#pragma once

#include <memory>
#include <string>

#include "production/journal_choice.hpp"

namespace dl250t {

// What this system provides for the production journals: its journal file,
// clock and host name, and on Linux the PostgreSQL client, loaded only when
// a database journal is first connected.
JournalBackends systemJournalBackends();

// journalChoiceProblem and makeProductionJournal on this system's backends.
std::string journalChoiceProblem(const JournalChoice& choice);
std::unique_ptr<ProductionJournal> makeProductionJournal(const JournalChoice& choice);

}  // namespace dl250t
