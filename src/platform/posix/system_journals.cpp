#include "config/clock.hpp"
#include "platform/journal_files.hpp"
#include "platform/posix/posix_journal_file.hpp"
#include "platform/postgres/postgres_connection.hpp"
#include "platform/production_journals.hpp"

namespace dl250t {

JournalBackends systemJournalBackends() {
    return {
        .journalFile = [](const std::string& path) -> std::unique_ptr<JournalFile> {
            return std::make_unique<PosixJournalFile>(path);
        },
        .localTimeText = localTimeText,
        .hostName = hostName,
        .secondsSince1970 = [] { return SystemClock().secondsSince1970(); },
        .databaseConnection = [] { return makePostgresConnection(); },
    };
}

}  // namespace dl250t
