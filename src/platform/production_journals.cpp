#include "platform/production_journals.hpp"

#include "config/utf8_text.hpp"
#include "platform/journal_files.hpp"
#include "platform/postgres/database_journal.hpp"

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

std::string journalChoiceProblem(const JournalChoice& choice) {
    if (!isDatabaseJournal(choice.journal)) {
        if (choice.line) {
            return "--line names a line of a database journal (--journal postgresql://…); a CSV "
                   "journal has none";
        }
        return {};
    }
    if (!kDatabaseJournalBuilt) {
        return "this build has no database journal (postgresql://): --journal takes a CSV file "
               "here";
    }
    return choice.line ? lineNameProblem(*choice.line) : std::string();
}

std::unique_ptr<ProductionJournal> makeProductionJournal(const JournalChoice& choice) {
    if (!journalChoiceProblem(choice).empty()) {
        return nullptr;
    }
    if (isDatabaseJournal(choice.journal)) {
        return makeDatabaseJournal(choice);
    }
    return makeCsvJournal(choice.journal, choice.moduleText);
}

std::string journalDisplayName(std::string_view journal) {
    if (!isDatabaseJournal(journal)) {
        return std::string(journal);
    }
    const std::size_t authorityStart = journal.find("://") + 3;
    const std::size_t authorityEnd = journal.find_first_of("/?", authorityStart);
    const std::string_view authority = journal.substr(
        authorityStart, authorityEnd == std::string_view::npos ? std::string_view::npos
                                                               : authorityEnd - authorityStart);
    std::string shown(journal.substr(0, authorityStart));
    // user:password@host: the last @ ends what the user typed before the host.
    const std::size_t at = authority.rfind('@');
    if (at == std::string_view::npos) {
        shown += authority;
    } else {
        const std::string_view user = authority.substr(0, at);
        shown += user.substr(0, user.find(':'));
        shown += authority.substr(at);
    }
    if (authorityEnd == std::string_view::npos) {
        return shown;
    }
    // The rest, without a password=… parameter.
    const std::string_view rest = journal.substr(authorityEnd);
    const std::size_t query = rest.find('?');
    shown += rest.substr(0, query);
    if (query == std::string_view::npos) {
        return shown;
    }
    std::string_view parameters = rest.substr(query + 1);
    char separator = '?';
    while (!parameters.empty()) {
        const std::size_t end = parameters.find('&');
        const std::string_view parameter = parameters.substr(0, end);
        if (!parameter.starts_with("password=")) {
            shown += separator;
            shown += parameter;
            separator = '&';
        }
        parameters =
            end == std::string_view::npos ? std::string_view() : parameters.substr(end + 1);
    }
    return shown;
}

}  // namespace dl250t
