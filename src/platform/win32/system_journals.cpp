#include "config/clock.hpp"
#include "platform/journal_files.hpp"
#include "platform/production_journals.hpp"
#include "platform/win32/win32_journal_file.hpp"

namespace dl250t {

// CSV journals only: the Windows build has no database client.
JournalBackends systemJournalBackends() {
    return {
        .journalFile = [](const std::string& path) -> std::unique_ptr<JournalFile> {
            return std::make_unique<Win32JournalFile>(path);
        },
        .localTimeText = localTimeText,
        .hostName = hostName,
        .secondsSince1970 = [] { return SystemClock().secondsSince1970(); },
        .databaseConnection = {},
    };
}

}  // namespace dl250t
