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
// included. A station holds the row for a few milliseconds (a station of an
// earlier release for a whole module, well under two seconds), so this is
// many stations' turns.
constexpr milliseconds kStatementTime{30000};
// A session that sits in a transaction this long without a word is ended by
// the server, so that a station stopped without dying (a debugger, SIGSTOP, a
// machine that froze) while it takes a number gives the line's row back.
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

// The last of them made by this release: a database made by an earlier one
// lacks it and is brought up to date.
constexpr const char* kTablesExist =
    "SELECT to_regclass('dl250t_line') IS NOT NULL AND to_regclass('dl250t_journal') IS NOT "
    "NULL AND to_regclass('dl250t_journal_written') IS NOT NULL AND "
    "to_regclass('dl250t_journal_reserved') IS NOT NULL AND (SELECT count(*) FROM pg_attribute "
    "WHERE attrelid = to_regclass('dl250t_journal') AND attname IN ('board', 'label') AND NOT "
    "attisdropped) = 2";

// The 48-bit counter as bigint, so that ordering and "next" are exact; the
// journal also keeps the number as the CSV journal shows it. A line's number
// is never written twice: the unique index refuses the second row. The
// numbers a line holds are those of its rows that are, or were, reservations
// (the column that says so came with them) and those of blocks that were
// sent (an earlier release's rows have only these).
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
ALTER TABLE dl250t_journal ADD COLUMN IF NOT EXISTS reserved boolean NOT NULL DEFAULT false;
CREATE INDEX IF NOT EXISTS dl250t_journal_held
    ON dl250t_journal (line, serial_number) WHERE reserved OR crc <> '';
CREATE INDEX IF NOT EXISTS dl250t_journal_reserved
    ON dl250t_journal (line) WHERE outcome = 'reserved';
ALTER TABLE dl250t_journal ADD COLUMN IF NOT EXISTS board text NOT NULL DEFAULT '';
ALTER TABLE dl250t_journal ADD COLUMN IF NOT EXISTS label text NOT NULL DEFAULT '';
)";

constexpr const char* kCreateLine =
    "INSERT INTO dl250t_line (line, next_serial) VALUES ($1, $2::bigint) "
    "ON CONFLICT (line) DO NOTHING";
constexpr const char* kFindLine = "SELECT next_serial FROM dl250t_line WHERE line = $1";
constexpr const char* kLockLine = "SELECT next_serial FROM dl250t_line WHERE line = $1 FOR UPDATE";
// Read committed whatever the server's default: the statements after the
// wait for the line's row see what the station before committed.
constexpr const char* kBegin = "BEGIN ISOLATION LEVEL READ COMMITTED";

constexpr const char* kSerialLimit = "281474976710656";

// The first number from $2 on (below the 48-bit limit) that line $1 does not
// hold: $2 itself or one after a number held, found over the index of the
// numbers held. Usually $2 is free and this is one look in the index.
std::string firstFree() {
    const std::string held = " FROM dl250t_journal WHERE line = $1 AND (reserved OR crc <> '')";
    return "SELECT min(candidate) AS number FROM (SELECT $2::bigint AS candidate UNION ALL "
           "SELECT serial_number + 1" +
           held + " AND serial_number >= $2::bigint) AS candidates WHERE candidate < " +
           kSerialLimit + " AND NOT EXISTS (SELECT" + held + " AND serial_number = candidate)";
}

// The advisory lock of the reservation in row `id`: the two-number form,
// keyed by the journal table, so that it meets neither the creation lock
// (the one-number form) nor the reservations of a journal in another schema.
std::string reservationKey(const std::string& id) {
    return "'dl250t_journal'::regclass::oid::int, (" + id + " % 2147483648)::int";
}

// Takes the first number from $2 (the line's next) that the line does not
// hold, adds the module's row with it as "reserved", advances the line past
// it and holds the reservation's lock; no row when the line holds every
// number from $2 on. $3 … $8: time, station, port, module, version, board. The
// number's text is made as SerialNumber::text makes it. Kept short: it runs
// while the line's row is locked.
std::string reserveStatement() {
    return "WITH taken AS (" + firstFree() +
           "), "
           "inserted AS (INSERT INTO dl250t_journal (line, time, station, port, module, "
           "version, board, serial, serial_number, outcome, verify, milliseconds, crc, reserved) "
           "SELECT $1, $3::timestamptz, $4, $5, $6, $7, $8, "
           "upper(regexp_replace(lpad(to_hex(number), 12, '0'), '(..)(?!$)', '\\1 ', 'g')), "
           "number, 'reserved', '', 0, '', true FROM taken WHERE number IS NOT NULL "
           "RETURNING id, serial_number), "
           "advanced AS (UPDATE dl250t_line SET next_serial = (inserted.serial_number + 1) % " +
           kSerialLimit +
           " FROM inserted WHERE dl250t_line.line = $1) "
           "SELECT id, serial_number, pg_advisory_lock(" +
           reservationKey("id") + ") FROM inserted";
}

// Settles reservation $1 with its outcome, verify, milliseconds and CRC (and
// the module's time, port and identity as the engine has them at the end:
// those it reserved with), and lets its lock go. The row counts as settled
// even when another station marked it interrupted meanwhile.
std::string settleStatement() {
    return "WITH settled AS (UPDATE dl250t_journal SET outcome = $2, verify = $3, "
           "milliseconds = $4::bigint, crc = $5, time = $6::timestamptz, port = $7, "
           "module = $8, version = $9, board = $10, label = $11 WHERE id = $1::bigint "
           "RETURNING id) "
           "SELECT (SELECT count(*) FROM settled), pg_advisory_unlock(" +
           reservationKey("$1::bigint") + ")";
}

constexpr const char* kReservations =
    "SELECT id FROM dl250t_journal WHERE line = $1 AND outcome = 'reserved' ORDER BY id";
constexpr const char* kInterrupt =
    "UPDATE dl250t_journal SET outcome = 'interrupted' WHERE id = $1::bigint AND outcome = "
    "'reserved'";

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
// $2, … in the row's order.
std::string insertStatement(const std::vector<ColumnValue>& row) {
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
    return "INSERT INTO dl250t_journal (" + columns + ") VALUES (" + values + ")";
}

std::string outcomeColumn(Outcome outcome) {
    return databaseText(isSuccess(outcome) ? std::string_view("ok") : outcomeText(outcome));
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
    reservation_.reset();
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
    moduleOpen_ = false;
    reservation_.reset();
    return openConnection();
}

bool DatabaseJournal::openConnection() {
    opened_ = false;
    resume_.reset();
    if (!connect() || !createTables() || !findLine() || !interruptAbandoned()) {
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

bool DatabaseJournal::interruptAbandoned() {
    const DatabaseAnswer found = run(kReservations, {settings_.line}, kAnswerTime);
    if (!found.done()) {
        return failAndDisconnect("cannot look for the line's reservations: " +
                                 whyNot(found, kAnswerTime));
    }
    // This session is new and holds no lock: a lock it gets belonged to a
    // session that is gone.
    const std::string key = reservationKey("$1::bigint");
    for (const auto& row : found.rows) {
        if (row.empty() || !row[0]) {
            continue;
        }
        const DatabaseAnswer unowned =
            run("SELECT pg_try_advisory_lock(" + key + ")", {row[0]}, kAnswerTime);
        if (!unowned.done() || unowned.rows.size() != 1 || unowned.rows[0].empty()) {
            return failAndDisconnect("cannot look at the line's reservations: " +
                                     whyNot(unowned, kAnswerTime));
        }
        if (unowned.rows[0][0] != "t") {
            continue;  // its station is still at it
        }
        const DatabaseAnswer marked = run(kInterrupt, {row[0]}, kAnswerTime);
        const DatabaseAnswer unlocked =
            run("SELECT pg_advisory_unlock(" + key + ")", {row[0]}, kAnswerTime);
        if (!marked.done() || !unlocked.done()) {
            return failAndDisconnect("cannot record an interrupted reservation: " +
                                     whyNot(marked.done() ? unlocked : marked, kAnswerTime));
        }
    }
    return true;
}

bool DatabaseJournal::beginModule() {
    if (moduleOpen_) {
        return failAndDisconnect("a module was begun before the one in hand was finished");
    }
    // A connection made for an earlier module may have gone while the
    // station waited for this one (a server restarted, an idle session
    // ended): nothing was open on it, so it is made again, once.
    fresh_ = !opened_ || !connection_->alive();
    if (fresh_ && !openConnection()) {
        return false;
    }
    moduleOpen_ = true;
    return true;
}

bool DatabaseJournal::reserveSerial(ModuleRecord& record) {
    if (!moduleOpen_ || !record.serial || reservation_) {
        return fail("no module was begun");
    }
    DatabaseAnswer begun = run(kBegin, {}, kAnswerTime);
    if (!fresh_ && begun.status == DatabaseAnswer::Status::Lost) {
        fresh_ = true;
        if (!openConnection()) {
            return false;
        }
        begun = run(kBegin, {}, kAnswerTime);
    }
    if (!begun.done()) {
        return failAndDisconnect("cannot reserve a serial number: " + whyNot(begun, kAnswerTime));
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
    const std::optional<SerialNumber> next = numberIn(locked.rows[0][0]);
    if (!next) {
        return failAndDisconnect("the line's next serial number is not a 48-bit number");
    }
    const std::string moduleName =
        settings_.moduleText ? settings_.moduleText(record.moduleName) : record.moduleName;
    std::vector<std::optional<std::string>> parameters = {settings_.line,
                                                          std::to_string(next->value()),
                                                          utcTimeText(record.time),
                                                          databaseText(settings_.station),
                                                          databaseText(record.port),
                                                          databaseText(moduleName),
                                                          databaseText(record.moduleVersion),
                                                          databaseText(record.board)};
    DatabaseAnswer reserved = run(reserveStatement(), parameters, kAnswerTime);
    if (reserved.done() && reserved.rows.empty()) {
        // Every number up to the top is held: the numbers go on from zero, as
        // SerialNumber::next does.
        parameters[1] = "0";
        reserved = run(reserveStatement(), parameters, kAnswerTime);
    }
    if (!reserved.done()) {
        return failAndDisconnect("cannot reserve a serial number: " +
                                 whyNot(reserved, kAnswerTime));
    }
    if (reserved.rows.size() != 1 || reserved.rows[0].size() < 2 || !reserved.rows[0][0]) {
        return failAndDisconnect("the journal holds every serial number of the line");
    }
    const std::optional<SerialNumber> number = numberIn(reserved.rows[0][1]);
    if (!number) {
        return failAndDisconnect("the reserved serial number is not a 48-bit number");
    }
    // Only a reservation that is in the journal for good lets the block go.
    const DatabaseAnswer committed = run("COMMIT", {}, kAnswerTime);
    if (!committed.done() || committed.command != "COMMIT") {
        return failAndDisconnect(
            "the reservation of serial number " + number->text() + " was not committed" +
            (committed.done() ? std::string() : ": " + whyNot(committed, kAnswerTime)));
    }
    lineExists_ = true;
    reservation_ = Reservation{*reserved.rows[0][0], *number};
    record.serial = number;
    return true;
}

bool DatabaseJournal::finishModule(const ModuleRecord& record) {
    if (!moduleOpen_) {
        return fail("no module was begun");
    }
    if (record.reserved != reservation_.has_value()) {
        return failAndDisconnect(record.reserved ? "the module's number was not reserved here"
                                                 : "a reserved number was left unsettled");
    }
    if (!(record.reserved ? settle(record) : addRow(record))) {
        return false;
    }
    moduleOpen_ = false;
    reservation_.reset();
    return true;
}

bool DatabaseJournal::addRow(const ModuleRecord& record) {
    const std::optional<SerialNumber>& number = record.serial;
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
        {"outcome", "", outcomeColumn(record.outcome)},
        {"verify", "", std::string(verifyText(record.verify))},
        {"milliseconds", "bigint", std::to_string(record.milliseconds)},
        {"crc", "", crcText(record.crc)},
        {"board", "", databaseText(record.board)},
        {"label", "", std::string(labelText(record.label))},
    };
    std::vector<std::optional<std::string>> parameters;
    for (const ColumnValue& value : row) {
        parameters.push_back(value.text);
    }
    // A statement on its own is a transaction of its own.
    const DatabaseAnswer added = run(insertStatement(row), parameters, kAnswerTime);
    if (!added.done() || added.affected != 1) {
        return failAndDisconnect(
            "cannot add the module's line: " +
            (added.done() ? std::string("the database took no row") : whyNot(added, kAnswerTime)));
    }
    return true;
}

bool DatabaseJournal::settle(const ModuleRecord& record) {
    const Reservation held = *reservation_;
    if (record.crc && record.serial != held.serial) {
        return failAndDisconnect("the module stored serial number " +
                                 (record.serial ? record.serial->text() : std::string("-")) +
                                 ", not the line's " + held.serial.text());
    }
    const std::vector<std::optional<std::string>> parameters = {
        held.id,
        outcomeColumn(record.outcome),
        std::string(verifyText(record.verify)),
        std::to_string(record.milliseconds),
        crcText(record.crc),
        utcTimeText(record.time),
        databaseText(record.port),
        databaseText(settings_.moduleText ? settings_.moduleText(record.moduleName)
                                          : record.moduleName),
        databaseText(record.moduleVersion),
        databaseText(record.board),
        std::string(labelText(record.label)),
    };
    DatabaseAnswer settled = run(settleStatement(), parameters, kAnswerTime);
    // The session ended while the module was written (a server restarted, a
    // station frozen past the server's patience): the reservation stays in
    // the journal, and is settled over the next connection. Settling twice
    // writes the same row twice.
    if (settled.status == DatabaseAnswer::Status::Lost) {
        if (!openConnection()) {
            return false;
        }
        settled = run(settleStatement(), parameters, kAnswerTime);
    }
    if (!settled.done()) {
        return failAndDisconnect("cannot settle the reservation of serial number " +
                                 held.serial.text() + ": " + whyNot(settled, kAnswerTime));
    }
    if (settled.rows.size() != 1 || settled.rows[0].empty() || settled.rows[0][0] != "1") {
        return failAndDisconnect("the reservation of serial number " + held.serial.text() +
                                 " is no longer in the journal");
    }
    return true;
}

}  // namespace dl250t
