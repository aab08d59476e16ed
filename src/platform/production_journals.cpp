#include "platform/production_journals.hpp"

#include "config/clock.hpp"
#include "platform/journal_files.hpp"

namespace dl250t {

JournalBackends systemJournalBackends() {
    return {
        .journalFile = openJournalFile,
        .localTimeText = localTimeText,
        .hostName = hostName,
        .secondsSince1970 = [] { return SystemClock().secondsSince1970(); },
        .databaseConnection = databaseConnector(),
    };
}

std::string journalChoiceProblem(const JournalChoice& choice) {
    return journalChoiceProblem(choice, systemJournalBackends());
}

std::unique_ptr<ProductionJournal> makeProductionJournal(const JournalChoice& choice) {
    return makeProductionJournal(choice, systemJournalBackends());
}

}  // namespace dl250t
