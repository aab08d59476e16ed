#include "platform/postgres/database_journal.hpp"

namespace dl250t {

const bool kDatabaseJournalBuilt = false;

std::unique_ptr<ProductionJournal> makeDatabaseJournal(const JournalChoice&) {
    return nullptr;
}

}  // namespace dl250t
