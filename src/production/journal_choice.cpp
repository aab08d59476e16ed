#include "production/journal_choice.hpp"

#include "config/module_identity.hpp"
#include "config/utf8_text.hpp"
#include "production/database_journal.hpp"
#include "production/database_uri.hpp"

namespace dl250t {

namespace {

// Long enough for any name a factory gives its lines, short enough to show.
constexpr std::size_t kLongestLineName = 100;

std::string lineNameProblem(std::string_view line) {
    if (line.empty()) {
        return "--line takes the name of a production line";
    }
    if (line.size() > kLongestLineName) {
        return "--line takes a name of at most " + std::to_string(kLongestLineName) + " bytes";
    }
    if (!isValidUtf8(line)) {
        return "--line takes a name in UTF-8";
    }
    for (const char c : line) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            return "--line takes a name without control characters";
        }
    }
    return {};
}

}  // namespace

bool isDatabaseJournal(std::string_view journal) {
    return journal.starts_with("postgresql://") || journal.starts_with("postgres://");
}

std::string journalChoiceProblem(const JournalChoice& choice, const JournalBackends& backends) {
    if (!isDatabaseJournal(choice.journal)) {
        if (choice.line) {
            return "--line names a line of a database journal (--journal postgresql://…); a CSV "
                   "journal has none";
        }
        return {};
    }
    if (!backends.databaseConnection) {
        return "this build has no database journal (postgresql://): --journal takes a CSV file "
               "here";
    }
    return choice.line ? lineNameProblem(*choice.line) : std::string();
}

std::unique_ptr<ProductionJournal> makeProductionJournal(const JournalChoice& choice,
                                                         const JournalBackends& backends) {
    if (!journalChoiceProblem(choice, backends).empty()) {
        return nullptr;
    }
    const std::string station = backends.hostName ? backends.hostName() : std::string();
    if (!isDatabaseJournal(choice.journal)) {
        return std::make_unique<CsvJournal>(backends.journalFile(choice.journal),
                                            CsvJournalTexts{
                                                .station = station,
                                                .timeText = backends.localTimeText,
                                                .moduleText = choice.moduleText,
                                            });
    }
    std::optional<SerialNumber> newLineSerial = choice.newLineSerial;
    if (!newLineSerial && backends.secondsSince1970) {
        newLineSerial = SerialNumber::fromText(defaultSerialText(backends.secondsSince1970()));
    }
    return std::make_unique<DatabaseJournal>(DatabaseJournal::Settings{
        .uri = choice.journal,
        .line = choice.line.value_or(std::string(kDefaultLine)),
        .startSerial = choice.startSerial,
        .newLineSerial = std::move(newLineSerial),
        .station = station,
        .moduleText = choice.moduleText,
        .connector = backends.databaseConnection,
    });
}

std::string journalDisplayName(std::string_view journal) {
    if (!isDatabaseJournal(journal)) {
        return std::string(journal);
    }
    return uriWithoutPassword(journal);
}

}  // namespace dl250t
