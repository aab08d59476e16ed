#include "platform/production_journals.hpp"

namespace dl250t {

std::string journalChoiceProblem(const JournalChoice& choice) {
    return journalChoiceProblem(choice, systemJournalBackends());
}

std::unique_ptr<ProductionJournal> makeProductionJournal(const JournalChoice& choice) {
    return makeProductionJournal(choice, systemJournalBackends());
}

}  // namespace dl250t
