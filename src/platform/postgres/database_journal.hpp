#pragma once

#include <memory>

#include "platform/production_journals.hpp"

namespace dl250t {

// Whether this build has the PostgreSQL journal. Windows builds have not:
// there is no libpq for the compiler they are made with.
extern const bool kDatabaseJournalBuilt;

// The PostgreSQL journal of the choice, not opened yet; nullptr in a build
// without one.
std::unique_ptr<ProductionJournal> makeDatabaseJournal(const JournalChoice& choice);

}  // namespace dl250t
