#include "production/database_journal.hpp"

#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "config/config_block.hpp"
#include "config/utf8_text.hpp"
#include "production/database_uri.hpp"

namespace dl250t {

namespace {

using std::chrono::milliseconds;

// A server that has not taken the connection by then will not.
constexpr milliseconds kConnectTime{5000};
// The longest the server lets a statement run, the wait for the line's row
// included. A module holds the row for well under two seconds, so this is
// many stations' turns.
constexpr milliseconds kStatementTime{30000};
// A session that sits in a module's transaction this long without a word is
// ended by the server, so that a station stopped without dying (a debugger,
// SIGSTOP, a machine that froze) gives the line's row back. Longer than any
// module, read-back included.
constexpr milliseconds kIdleInTransactionTime{10000};
// How often the server looks whether a waiting session's client is still
// there (servers from version 14 on).
constexpr milliseconds kClientCheckInterval{2000};
constexpr int kClientCheckSince = 140000;
// The station's own bound on an answer, for a server that stops answering
// altogether: a little above the server's own bound for the wait for the
// line's row, and a quick statement's worst for everything else.
constexpr milliseconds kLockAnswerTime = kStatementTime + milliseconds(5000);
constexpr milliseconds kAnswerTime{10000};

// The server cuts an application name at this many bytes, and says so.
constexpr std::size_t kLongestApplicationName = 63;

// Taken while the tables are created, so that stations starting at the same
// moment do not create them twice ("dl250t" in ASCII).
constexpr std::string_view kCreationLock = "110415861592180";

constexpr const char* kTablesExist =
    "SELECT to_regclass('dl250t_line') IS NOT NULL AND to_regclass('dl250t_journal') IS NOT "
    "NULL AND to_regclass('dl250t_journal_written') IS NOT NULL";

// The 48-bit counter as bigint, so that ordering and "next" are exact; the
// journal also keeps the number as the CSV journal shows it. A line's number
// is never written twice: the unique index refuses the second row.
constexpr const char* kCreateTables = R"(
CREATE TABLE IF NOT EXISTS dl250t_line (
    line text PRIMARY KEY,
    next_serial bigint NOT NULL CHECK (next_serial >= 0 AND next_serial < 281474976710656)
);
CREATE TABLE IF NOT EXISTS dl250t_journal (
    id bigserial PRIMARY KEY,
    line text NOT NULL,
    time timestamptz NOT NULL,
    station text NOT NULL,
    port text NOT NULL,
    module text NOT NULL,
    version text NOT NULL,
    serial text NOT NULL,
    serial_number bigint,
    outcome text NOT NULL,
    verify text NOT NULL,
    milliseconds bigint NOT NULL,
    crc text NOT NULL
);
CREATE UNIQUE INDEX IF NOT EXISTS dl250t_journal_written
    ON dl250t_journal (line, serial_number) WHERE outcome = 'ok' AND crc <> '';
CREATE INDEX IF NOT EXISTS dl250t_journal_line_time ON dl250t_journal (line, time);
)";

constexpr const char* kCreateLine =
    "INSERT INTO dl250t_line (line, next_serial) VALUES ($1, $2::bigint) "
    "ON CONFLICT (line) DO NOTHING";
constexpr const char* kFindLine = "SELECT next_serial FROM dl250t_line WHERE line = $1";
constexpr const char* kLockLine = "SELECT next_serial FROM dl250t_line WHERE line = $1 FOR UPDATE";
// Read committed whatever the server's default: the wait for the line's row
// then ends with the row as the station before left it.
constexpr const char* kBegin = "BEGIN ISOLATION LEVEL READ COMMITTED";

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD

std::string seconds(milliseconds time) {
    return std::to_string(time.count() / 1000) + " s";
}

// The client library's messages end with a line break and may run over
// several lines.
std::string oneLine(std::string_view message) {
    std::string line;
    bool blank = false;
    for (const char c : message) {
        if (c == '\n' || c == '\r' || c == '\t' || c == ' ') {
            blank = !line.empty();
            continue;
        }
        if (blank) {
            line += ' ';
            blank = false;
        }
        line += c;
    }
    return line;
}

// Why a connection or a statement did not succeed, in one line.
std::string whyNot(const DatabaseAnswer& answer, milliseconds limit) {
    if (answer.status == DatabaseAnswer::Status::NoAnswer) {
        return "the database did not answer within " + seconds(limit);
    }
    const std::string message = oneLine(answer.problem);
    return message.empty() ? "the connection to the database is lost" : message;
}

// "dl250t LINE" as the server shows the session: it keeps ASCII only (other
// bytes become "?" or escapes, by version) and cuts a longer name with a
// notice on the station's output, so the name is made to fit beforehand.
std::string applicationName(std::string_view line) {
    std::string name = "dl250t ";
    for (const char c : line) {
        if (name.size() == kLongestApplicationName) {
            break;
        }
        const auto byte = static_cast<unsigned char>(c);
        name += byte >= 0x20 && byte < 0x7F ? c : '?';
    }
    return name;
}

// A number as the database hands it back, when it is one of 48 bits.
std::optional<SerialNumber> numberIn(const std::optional<std::string>& text) {
    if (!text) {
        return std::nullopt;
    }
    std::uint64_t number = 0;
    const char* end = text->data() + text->size();
    const auto [stop, error] = std::from_chars(text->data(), end, number);
    if (error != std::errc{} || stop != end || number >= SerialNumber::kLimit) {
        return std::nullopt;
    }
    return SerialNumber(number);
}

// The time as the database takes it: UTC to the microsecond.
std::string utcTimeText(std::chrono::system_clock::time_point time) {
    using namespace std::chrono;
    const auto exact = floor<microseconds>(time);
    const auto day = floor<days>(exact);
    const year_month_day date{day};
    const hh_mm_ss clock{exact - day};
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02lld:%02lld:%02lld.%06lldZ",
                  static_cast<int>(date.year()), static_cast<unsigned>(date.month()),
                  static_cast<unsigned>(date.day()), static_cast<long long>(clock.hours().count()),
                  static_cast<long long>(clock.minutes().count()),
                  static_cast<long long>(clock.seconds().count()),
                  static_cast<long long>(clock.subseconds().count()));
    return text;
}

// A text the database takes: UTF-8 without control characters (and so
// without the NUL that text columns cannot hold).
std::string databaseText(std::string_view text) {
    const bool utf8 = isValidUtf8(text);
    std::string clean;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F || (!utf8 && byte >= 0x80)) {
            clean += kReplacement;
        } else {
            clean += c;
        }
    }
    return clean;
}

std::string crcText(std::optional<std::uint16_t> crc) {
    if (!crc) {
        return {};
    }
    char digits[8];
    std::snprintf(digits, sizeof digits, "%04X", static_cast<unsigned>(*crc));
    return digits;
}

// One value of a module's row: its column, the type the server reads its
// text as (none: text), and the text (nothing: NULL).
struct ColumnValue {
    std::string_view column;
    std::string_view type;
    std::optional<std::string> text;
};

// The INSERT of a row into dl250t_journal with its values as parameters $1,
// $2, … in the row's order. `advance` (one more parameter, the line's next
// number) makes the row depend on the line's advance: the row is added
// only when the line's number moves on with it.
std::string insertStatement(const std::vector<ColumnValue>& row, bool advance) {
    std::string columns;
    std::string values;
    for (std::size_t i = 0; i < row.size(); ++i) {
        const std::string_view separator = i == 0 ? "" : ", ";
        columns.append(separator).append(row[i].column);
        // Appended apart: GCC 12 at -O3 takes "$" + a temporary for an
        // overlapping copy (-Wrestrict).
        values.append(separator).append("$").append(std::to_string(i + 1));
        if (!row[i].type.empty()) {
            values.append("::").append(row[i].type);
        }
    }
    const std::string insert = "INSERT INTO dl250t_journal (" + columns + ") ";
    if (!advance) {
        return insert + "VALUES (" + values + ")";
    }
    return "WITH advanced AS (UPDATE dl250t_line SET next_serial = $" +
           std::to_string(row.size() + 1) + "::bigint WHERE line = $1 RETURNING line) " + insert +
           "SELECT " + values + " FROM advanced";
}

}  // namespace

DatabaseJournal::DatabaseJournal(Settings settings) : settings_(std::move(settings)) {}

DatabaseJournal::~DatabaseJournal() {
    if (connection_ != nullptr) {
        connection_->close();
    }
}

DatabaseAnswer DatabaseJournal::run(std::string_view sql,
                                    const std::vector<std::optional<std::string>>& parameters,
                                    milliseconds limit) {
    if (connection_ == nullptr) {
        return {};
    }
    return connection_->execute(sql, parameters, limit);
}

bool DatabaseJournal::fail(std::string problem) {
    // The client library quotes a URI it cannot read, password and all.
    const std::string& uri = settings_.uri;
    const std::string shown = uriWithoutPassword(uri);
    for (std::size_t at = uri.empty() ? std::string::npos : problem.find(uri);
         at != std::string::npos; at = problem.find(uri, at + shown.size())) {
        problem.replace(at, uri.size(), shown);
    }
    problem_ = "database journal, line \"" + settings_.line + "\": " + problem;
    return false;
}

bool DatabaseJournal::failAndDisconnect(std::string problem) {
    if (connection_ != nullptr) {
        connection_->close();
        connection_.reset();
    }
    opened_ = false;
    moduleOpen_ = false;
    held_.reset();
    return fail(std::move(problem));
}

bool DatabaseJournal::connect() {
    if (connection_ != nullptr) {
        connection_->close();
    }
    connection_ = settings_.connector ? settings_.connector() : nullptr;
    if (connection_ == nullptr) {
        return failAndDisconnect("cannot connect: this build has no database client");
    }
    const DatabaseAnswer connected =
        connection_->connect(settings_.uri, applicationName(settings_.line), kConnectTime);
    if (!connected.done()) {
        return failAndDisconnect("cannot connect: " + whyNot(connected, kConnectTime));
    }
    const std::string limits = "SET statement_timeout = " + std::to_string(kStatementTime.count()) +
                               "; SET idle_in_transaction_session_timeout = " +
                               std::to_string(kIdleInTransactionTime.count()) +
                               "; SHOW server_version_num";
    DatabaseAnswer set = run(limits, {}, kAnswerTime);
    if (set.done() && !set.rows.empty() && !set.rows[0].empty() && set.rows[0][0] &&
        std::atoi(set.rows[0][0]->c_str()) >= kClientCheckSince) {
        set = run("SET client_connection_check_interval = " +
                      std::to_string(kClientCheckInterval.count()),
                  {}, kAnswerTime);
    }
    if (!set.done()) {
        return failAndDisconnect("cannot set the session's time limits: " +
                                 whyNot(set, kAnswerTime));
    }
    return true;
}

bool DatabaseJournal::open() {
    opened_ = false;
    moduleOpen_ = false;
    held_.reset();
    resume_.reset();
    if (!connect() || !createTables() || !findLine()) {
        return false;
    }
    // The start number has been checked, or the line made with it; a
    // connection made again later carries on from the database's number.
    settings_.startSerial.reset();
    settings_.newLineSerial.reset();
    opened_ = true;
    return true;
}

bool DatabaseJournal::createTables() {
    const DatabaseAnswer exist = run(kTablesExist, {}, kAnswerTime);
    if (!exist.done()) {
        return failAndDisconnect("cannot look for the journal's tables: " +
                                 whyNot(exist, kAnswerTime));
    }
    if (!exist.rows.empty() && !exist.rows[0].empty() && exist.rows[0][0] == "t") {
        return true;
    }
    const std::string create = "BEGIN; SELECT pg_advisory_xact_lock(" + std::string(kCreationLock) +
                               ");" + kCreateTables + "COMMIT;";
    if (const DatabaseAnswer created = run(create, {}, kLockAnswerTime); !created.done()) {
        return failAndDisconnect("cannot create the journal's tables: " +
                                 whyNot(created, kLockAnswerTime));
    }
    return true;
}

bool DatabaseJournal::createLine(SerialNumber start) {
    // Made once: a line that is there already keeps its number.
    const DatabaseAnswer created =
        run(kCreateLine, {settings_.line, std::to_string(start.value())}, kLockAnswerTime);
    return created.done() ||
           failAndDisconnect("cannot create the line: " + whyNot(created, kLockAnswerTime));
}

bool DatabaseJournal::findLine() {
    lineExists_ = false;
    const std::optional<SerialNumber> start = settings_.startSerial;
    const std::optional<SerialNumber>& made = start ? start : settings_.newLineSerial;
    if (made && !createLine(*made)) {
        return false;
    }
    const DatabaseAnswer found = run(kFindLine, {settings_.line}, kAnswerTime);
    if (!found.done()) {
        return failAndDisconnect("cannot read the line's serial number: " +
                                 whyNot(found, kAnswerTime));
    }
    if (found.rows.size() == 1 && !found.rows[0].empty()) {
        const auto next = numberIn(found.rows[0][0]);
        if (!next) {
            return failAndDisconnect("the line's next serial number is not a 48-bit number");
        }
        lineExists_ = true;
        resume_ = next;
    }
    if (start && (!lineExists_ || resume_ != start)) {
        const std::string next = resume_ ? resume_->text() : std::string("?");
        resume_.reset();
        return failAndDisconnect("the line goes on at serial number " + next + ", not at " +
                                 start->text() +
                                 " as --serial asks; leave out --serial to carry on from there");
    }
    return true;
}

bool DatabaseJournal::beginTransaction() {
    // A connection made for an earlier module may have gone while the
    // station waited for this one (a server restarted, an idle session
    // ended): nothing was open on it, so it is made again, once.
    bool fresh = !opened_;
    if (!opened_ && !open()) {
        return false;
    }
    if (!fresh && !connection_->alive()) {
        fresh = true;
        if (!open()) {
            return false;
        }
    }
    DatabaseAnswer begun = run(kBegin, {}, kAnswerTime);
    if (!fresh && begun.status == DatabaseAnswer::Status::Lost) {
        if (!open()) {
            return false;
        }
        begun = run(kBegin, {}, kAnswerTime);
    }
    if (!begun.done()) {
        return failAndDisconnect("cannot begin the module: " + whyNot(begun, kAnswerTime));
    }
    return true;
}

bool DatabaseJournal::beginModule() {
    if (moduleOpen_) {
        return failAndDisconnect("a module was begun before the one in hand was finished");
    }
    if (!beginTransaction()) {
        return false;
    }
    moduleOpen_ = true;
    return true;
}

bool DatabaseJournal::reserveSerial(ModuleRecord& record) {
    if (!moduleOpen_ || !record.serial) {
        return fail("no module was begun");
    }
    if (!lineExists_ && !createLine(*record.serial)) {
        return false;
    }
    const DatabaseAnswer locked = run(kLockLine, {settings_.line}, kLockAnswerTime);
    if (!locked.done()) {
        return failAndDisconnect("cannot take the line's serial number: " +
                                 whyNot(locked, kLockAnswerTime));
    }
    if (locked.rows.size() != 1 || locked.rows[0].empty()) {
        return failAndDisconnect("the line is no longer in the database");
    }
    held_ = numberIn(locked.rows[0][0]);
    if (!held_) {
        return failAndDisconnect("the line's next serial number is not a 48-bit number");
    }
    lineExists_ = true;
    record.serial = held_;
    return true;
}

bool DatabaseJournal::finishModule(const ModuleRecord& record) {
    if (!moduleOpen_) {
        return fail("no module was begun");
    }
    const bool written = held_ && record.outcome == Outcome::ModuleWritten && record.crc;
    const std::optional<SerialNumber>& number = record.serial;
    if (written && number != held_) {
        return failAndDisconnect("the module stored serial number " +
                                 (number ? number->text() : std::string("-")) +
                                 ", not the line's " + held_->text());
    }
    const std::string moduleName =
        settings_.moduleText ? settings_.moduleText(record.moduleName) : record.moduleName;
    const std::vector<ColumnValue> row = {
        {"line", "", settings_.line},
        {"time", "timestamptz", utcTimeText(record.time)},
        {"station", "", databaseText(settings_.station)},
        {"port", "", databaseText(record.port)},
        {"module", "", databaseText(moduleName)},
        {"version", "", databaseText(record.moduleVersion)},
        {"serial", "", number ? number->text() : std::string()},
        {"serial_number", "bigint",
         number ? std::optional(std::to_string(number->value())) : std::nullopt},
        {"outcome", "",
         databaseText(isSuccess(record.outcome) ? std::string_view("ok")
                                                : outcomeText(record.outcome))},
        {"verify", "", std::string(verifyText(record.verify))},
        {"milliseconds", "bigint", std::to_string(record.milliseconds)},
        {"crc", "", crcText(record.crc)},
    };
    std::vector<std::optional<std::string>> parameters;
    for (const ColumnValue& value : row) {
        parameters.push_back(value.text);
    }
    if (written) {
        parameters.emplace_back(std::to_string(held_->next().value()));
    }
    const DatabaseAnswer added = run(insertStatement(row, written), parameters, kAnswerTime);
    if (!added.done() || added.affected != 1) {
        return failAndDisconnect("cannot add the module's line: " +
                                 (added.done()
                                      ? std::string("the line is no longer in the database")
                                      : whyNot(added, kAnswerTime)));
    }
    const DatabaseAnswer committed = run("COMMIT", {}, kAnswerTime);
    if (!committed.done()) {
        if (committed.status == DatabaseAnswer::Status::Refused) {
            return failAndDisconnect("the database refused the module's line: " +
                                     whyNot(committed, kAnswerTime));
        }
        return failAndDisconnect("the module's line got no answer from the database (" +
                                 whyNot(committed, kAnswerTime) +
                                 "); whether it is in the journal is not known");
    }
    // A transaction that failed on the way ends in a rollback, not a commit.
    if (committed.command != "COMMIT") {
        return failAndDisconnect("the database refused the module's line");
    }
    moduleOpen_ = false;
    held_.reset();
    return true;
}

}  // namespace dl250t
