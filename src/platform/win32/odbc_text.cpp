#include "platform/win32/odbc_text.hpp"

#include <algorithm>

namespace dl250t {

namespace {

// PostgreSQL's numbered parameters stop at 65535.
constexpr std::size_t kMostParameters = 65535;

bool startsWord(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' ||
           static_cast<unsigned char>(c) >= 0x80;
}

bool inWord(char c) {
    return startsWord(c) || (c >= '0' && c <= '9') || c == '$';
}

std::string upper(std::string_view word) {
    std::string text(word);
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return text;
}

// Where the quoted text that begins at `at` ends (one past its closing
// quote); `backslashes` for E'…', where \' does not close it.
std::size_t afterQuoted(std::string_view sql, std::size_t at, char quote, bool backslashes) {
    for (std::size_t i = at + 1; i < sql.size(); ++i) {
        if (backslashes && sql[i] == '\\') {
            ++i;
        } else if (sql[i] == quote) {
            if (i + 1 < sql.size() && sql[i + 1] == quote) {
                ++i;  // a doubled quote is one quote character
            } else {
                return i + 1;
            }
        }
    }
    return sql.size();
}

// Where the comment that begins at `at` ends; comments in /* */ nest.
std::size_t afterComment(std::string_view sql, std::size_t at) {
    if (sql[at] == '-') {
        return std::min(sql.find('\n', at), sql.size());
    }
    int depth = 0;
    for (std::size_t i = at; i + 1 < sql.size(); ++i) {
        if (sql[i] == '/' && sql[i + 1] == '*') {
            ++depth;
            ++i;
        } else if (sql[i] == '*' && sql[i + 1] == '/') {
            ++i;
            if (--depth == 0) {
                return i + 1;
            }
        }
    }
    return sql.size();
}

// $tag$ (or $$) at `at`: the length of the tag with its dollars, else 0.
std::size_t dollarTag(std::string_view sql, std::size_t at) {
    std::size_t i = at + 1;
    if (i < sql.size() && startsWord(sql[i])) {
        while (i < sql.size() && inWord(sql[i]) && sql[i] != '$') {
            ++i;
        }
    }
    return i < sql.size() && sql[i] == '$' ? i + 1 - at : 0;
}

// What the words of one statement say about it.
struct StatementWords {
    std::string first;
    std::string second;
    std::string command;  // for WITH: the command it leads to
    int depth = 0;

    void add(std::string word) {
        if (first.empty()) {
            first = command = std::move(word);
        } else if (second.empty()) {
            second = word;
        }
        if (first == "WITH" && command == "WITH" && depth == 0 &&
            (word == "SELECT" || word == "INSERT" || word == "UPDATE" || word == "DELETE" ||
             word == "MERGE" || word == "VALUES")) {
            command = std::move(word);
        }
    }
};

// A connection string's value in braces, with a closing brace doubled, so
// that semicolons, braces and spaces are the value's own. The driver takes
// braces off its password and libpq settings only.
std::string braced(std::string_view value) {
    std::string text = "{";
    for (const char c : value) {
        text += c;
        if (c == '}') {
            text += '}';
        }
    }
    return text + "}";
}

// A value of the client library's own connection settings, quoted.
std::string quotedSetting(std::string_view value) {
    std::string text = "'";
    for (const char c : value) {
        if (c == '\'' || c == '\\') {
            text += '\\';
        }
        text += c;
    }
    return text + "'";
}

}  // namespace

OdbcStatement odbcStatement(std::string_view sql) {
    OdbcStatement statement;
    std::vector<StatementWords> statements(1);
    std::size_t at = 0;
    while (at < sql.size()) {
        const char c = sql[at];
        const char next = at + 1 < sql.size() ? sql[at + 1] : '\0';
        std::size_t end = at + 1;
        if (c == '\'') {
            const bool escapes = at > 0 && (sql[at - 1] == 'E' || sql[at - 1] == 'e') &&
                                 (at == 1 || !inWord(sql[at - 2]));
            end = afterQuoted(sql, at, '\'', escapes);
        } else if (c == '"') {
            end = afterQuoted(sql, at, '"', false);
        } else if ((c == '-' && next == '-') || (c == '/' && next == '*')) {
            end = afterComment(sql, at);
        } else if (c == '$' && next >= '0' && next <= '9' && (at == 0 || !inWord(sql[at - 1]))) {
            std::size_t number = 0;
            for (end = at + 1; end < sql.size() && sql[end] >= '0' && sql[end] <= '9'; ++end) {
                number = std::min(number * 10 + static_cast<std::size_t>(sql[end] - '0'),
                                  kMostParameters + 1);
            }
            if (number == 0 || number > kMostParameters) {
                statement.problem = "the statement holds a parameter out of range: " +
                                    std::string(sql.substr(at, end - at));
                return statement;
            }
            statement.markers.push_back(number - 1);
            statement.sql += '?';
            at = end;
            continue;
        } else if (c == '$' && (at == 0 || !inWord(sql[at - 1])) && dollarTag(sql, at) > 0) {
            const std::size_t tag = dollarTag(sql, at);
            const std::size_t close = sql.find(sql.substr(at, tag), at + tag);
            end = close == std::string_view::npos ? sql.size() : close + tag;
        } else if (c == '?') {
            // The driver would take it for a parameter of its own.
            statement.problem =
                "the statement holds a ? outside quotes, which ODBC takes for a parameter";
            return statement;
        } else if (startsWord(c) && (at == 0 || !inWord(sql[at - 1]))) {
            while (end < sql.size() && inWord(sql[end])) {
                ++end;
            }
            statements.back().add(upper(sql.substr(at, end - at)));
        } else if (c == '(' || c == ')') {
            statements.back().depth += c == '(' ? 1 : -1;
        } else if (c == ';') {
            statements.emplace_back();
        }
        statement.sql.append(sql.substr(at, end - at));
        at = end;
    }
    const auto last =
        std::find_if(statements.rbegin(), statements.rend(),
                     [](const StatementWords& words) { return !words.first.empty(); });
    statement.lastCommand = last == statements.rend() ? std::string() : last->command;
    const StatementWords& first = statements.front();
    statement.beginsWithCommit =
        (first.first == "COMMIT" && first.second != "PREPARED") || first.first == "END";
    return statement;
}

std::string commandTag(std::string_view command, std::size_t rows, std::uint64_t affected) {
    if (command == "SELECT") {
        return "SELECT " + std::to_string(rows);
    }
    if (command == "INSERT") {
        return "INSERT 0 " + std::to_string(affected);
    }
    if (command == "UPDATE" || command == "DELETE" || command == "MERGE") {
        return std::string(command) + " " + std::to_string(affected);
    }
    if (command == "END") {
        return "COMMIT";
    }
    if (command == "ABORT") {
        return "ROLLBACK";
    }
    return std::string(command);
}

bool countsRows(std::string_view command) {
    for (const std::string_view counted :
         {"SELECT", "INSERT", "UPDATE", "DELETE", "MERGE", "MOVE", "FETCH", "COPY"}) {
        if (command == counted) {
            return true;
        }
    }
    return false;
}

std::string odbcConnectionString(const DatabaseUriParts& uri, std::string_view driver,
                                 std::string_view applicationName, std::string_view password,
                                 std::string& problem) {
    std::string text = "Driver=" + braced(driver);
    std::string_view sslMode;
    for (const auto& [key, value] : uri.parameters) {
        sslMode = key == "sslmode" ? std::string_view(value) : sslMode;
    }
    // A host left out is this machine, as the client library on Windows has it.
    const std::pair<const char*, std::string_view> plain[] = {
        {"Server", uri.host.empty() ? "localhost" : uri.host},
        {"Port", uri.port},
        {"Database", uri.database},
        {"UID", uri.user},
        {"SSLmode", sslMode},
    };
    for (const auto& [key, value] : plain) {
        if (value.find_first_of(";{}") != std::string_view::npos) {
            problem = std::string("the URI's ") + key +
                      " holds ; { or }, which the ODBC driver cannot take";
            return {};
        }
        if (!value.empty()) {
            text.append(";").append(key).append("=").append(value);
        }
    }
    if (!password.empty()) {
        text += ";PWD=" + braced(password);
    }
    // The statements go to the server as the journal wrote them, as the
    // client library on Linux sends them:
    // - Protocol 7.4-0: no rollback of the driver's own on an error. Its
    //   default (-2) wraps every statement of a transaction in a savepoint
    //   and rolls the failed one back, so that a COMMIT after a failure would
    //   commit the rest.
    // - UseServerSidePrepare: parameters travel apart from the statement,
    //   untyped as with the client library; UseDeclareFetch 0: rows come
    //   with the answer, with no cursor of the driver's in the transaction.
    // - BoolsAsChar 0: a boolean is a bit, turned back into t or f.
    // - LFConversion 0: text comes as the server holds it (on Windows the
    //   driver would otherwise turn line feeds into CR LF).
    // - KeepaliveTime 60: a server that went away unannounced is noticed,
    //   as with the client library on Linux.
    text += ";Protocol=7.4-0;UseServerSidePrepare=1;UseDeclareFetch=0;BoolsAsChar=0;LFConversion=0";
    std::string settings = "application_name=" + quotedSetting(applicationName);
    bool keepalives = false;
    for (const auto& [key, value] : uri.parameters) {
        if (key == "sslmode" || key == "connect_timeout" || key == "client_encoding") {
            // The driver's own setting, the journal's own time limit, and
            // UTF-8 from the driver.
        } else {
            // The URI's own application_name comes after the journal's, and wins.
            settings += " " + key + "=" + quotedSetting(value);
            keepalives = keepalives || key.starts_with("keepalives");
        }
    }
    if (!keepalives) {
        text += ";KeepaliveTime=60";
    }
    return text + ";pqopt=" + braced(settings);
}

}  // namespace dl250t
