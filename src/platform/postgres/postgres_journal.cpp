#include "platform/postgres/postgres_journal.hpp"

#include <errno.h>
#include <libpq-fe.h>
#include <poll.h>

#include <charconv>
#include <chrono>
#include <cstdio>
#include <vector>

#include "config/config_block.hpp"
#include "config/field_codec.hpp"
#include "config/utf8_text.hpp"
#include "platform/journal_files.hpp"
#include "platform/postgres/database_journal.hpp"
#include "production/csv_journal.hpp"

namespace dl250t {

namespace {

using SteadyClock = std::chrono::steady_clock;
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
// The station's own bound on an answer, for a server that stops answering
// altogether: a little above the server's own bound for the wait for the
// line's row, and a quick statement's worst for everything else.
constexpr milliseconds kLockAnswerTime = kStatementTime + milliseconds(5000);
constexpr milliseconds kAnswerTime{10000};

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

constexpr const char* kAddModule =
    "INSERT INTO dl250t_journal (line, time, station, port, module, version, serial, "
    "serial_number, outcome, verify, milliseconds, crc) "
    "VALUES ($1, $2::timestamptz, $3, $4, $5, $6, $7, $8::bigint, $9, $10, $11::bigint, $12)";
// The row only together with the line's advance.
constexpr const char* kAddModuleAndAdvance =
    "WITH advanced AS (UPDATE dl250t_line SET next_serial = $13::bigint WHERE line = $1 "
    "RETURNING line) "
    "INSERT INTO dl250t_journal (line, time, station, port, module, version, serial, "
    "serial_number, outcome, verify, milliseconds, crc) "
    "SELECT $1, $2::timestamptz, $3, $4, $5, $6, $7, $8::bigint, $9, $10, $11::bigint, $12 "
    "FROM advanced";

constexpr std::uint64_t kSerialModulus = std::uint64_t{1} << 48;
constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD

std::string seconds(milliseconds time) {
    return std::to_string(time.count() / 1000) + " s";
}

// libpq's messages end with a line break and may run over several lines.
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

// Exactly six bytes of two uppercase hex digits, separated by single blanks.
std::optional<std::uint64_t> serialNumberOf(std::string_view text) {
    if (text.size() != 17) {
        return std::nullopt;
    }
    std::uint64_t number = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (i % 3 == 2) {
            if (c != ' ') {
                return std::nullopt;
            }
            continue;
        }
        int digit = 0;
        if (c >= '0' && c <= '9') {
            digit = c - '0';
        } else if (c >= 'A' && c <= 'F') {
            digit = c - 'A' + 10;
        } else {
            return std::nullopt;
        }
        number = number << 4 | static_cast<std::uint64_t>(digit);
    }
    return number;
}

// The number of a text as the form reads it (hex byte text, tolerantly).
std::uint64_t formSerialNumber(std::string_view text) {
    ConfigBlock block;
    encodeSerialText(block, text);
    return serialNumberOf(decodeSerialText(block)).value_or(0);
}

std::string serialText(std::uint64_t number) {
    ConfigBlock block;
    for (std::size_t i = 0; i < block::kSerialSize; ++i) {
        block[block::kSerial + block::kSerialSize - 1 - i] =
            static_cast<std::uint8_t>(number >> (8 * i) & 0xFF);
    }
    return decodeSerialText(block);
}

std::optional<std::uint64_t> numberIn(std::string_view text) {
    std::uint64_t number = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (error != std::errc{} || end != text.data() + text.size() || number >= kSerialModulus) {
        return std::nullopt;
    }
    return number;
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

struct ResultDeleter {
    void operator()(PGresult* result) const { PQclear(result); }
};
using Result = std::unique_ptr<PGresult, ResultDeleter>;

bool succeeded(const PGresult* result) {
    const ExecStatusType status = PQresultStatus(result);
    return status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK || status == PGRES_EMPTY_QUERY;
}

}  // namespace

// One connection, every wait on it bounded.
class PostgresJournal::Session {
public:
    Session() = default;
    ~Session() {
        if (connection_ != nullptr) {
            PQfinish(connection_);
        }
    }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    bool connect(const std::string& uri, const std::string& applicationName) {
        // Entries before the URI are defaults it may override; those after
        // it are what this journal needs.
        const char* keywords[] = {"application_name", "keepalives_idle", "dbname",
                                  "client_encoding", nullptr};
        const char* values[] = {applicationName.c_str(), "60", uri.c_str(), "UTF8", nullptr};
        connection_ = PQconnectStartParams(keywords, values, 1);
        if (connection_ == nullptr) {
            return fail("no memory for a connection");
        }
        if (PQstatus(connection_) == CONNECTION_BAD) {
            return lost();
        }
        const auto deadline = SteadyClock::now() + kConnectTime;
        PostgresPollingStatusType polling = PGRES_POLLING_WRITING;
        while (polling != PGRES_POLLING_OK) {
            if (polling == PGRES_POLLING_FAILED) {
                return lost();
            }
            if (!waitFor(polling == PGRES_POLLING_READING ? POLLIN : POLLOUT, deadline,
                         kConnectTime)) {
                return false;
            }
            polling = PQconnectPoll(connection_);
        }
        // Nothing the journal sends may block: every wait is one of ours.
        if (PQsetnonblocking(connection_, 1) != 0) {
            return lost();
        }
        // The server's notices (a table that exists already) are not the
        // operator's business; its errors come with the statement's result.
        PQsetNoticeProcessor(
            connection_, [](void*, const char*) {}, nullptr);
        return true;
    }

    int serverVersion() const { return PQserverVersion(connection_); }

    // Runs one statement with its parameters (a parameter without a value is
    // NULL), or, without parameters, several separated by semicolons. The
    // result of the last one; nothing, with problem() saying why, when one
    // failed, the connection broke or no answer came within `limit`.
    std::optional<Result> run(const char* sql,
                              const std::vector<std::optional<std::string>>& parameters,
                              milliseconds limit) {
        problem_.clear();
        timedOut_ = false;
        refused_ = false;
        if (connection_ == nullptr || PQstatus(connection_) != CONNECTION_OK) {
            fail("the connection to the database is lost");
            return std::nullopt;
        }
        const auto deadline = SteadyClock::now() + limit;
        int sent = 0;
        if (parameters.empty()) {
            sent = PQsendQuery(connection_, sql);
        } else {
            std::vector<const char*> values;
            for (const auto& parameter : parameters) {
                values.push_back(parameter ? parameter->c_str() : nullptr);
            }
            sent = PQsendQueryParams(connection_, sql, static_cast<int>(values.size()), nullptr,
                                     values.data(), nullptr, nullptr, 0);
        }
        if (sent != 1) {
            lost();
            return std::nullopt;
        }
        for (;;) {
            const int flushed = PQflush(connection_);
            if (flushed == 0) {
                break;
            }
            // Whatever the server says meanwhile is taken in, as libpq asks.
            if (flushed < 0 || !waitFor(POLLIN | POLLOUT, deadline, limit) ||
                PQconsumeInput(connection_) != 1) {
                if (problem_.empty()) {
                    lost();
                }
                return std::nullopt;
            }
        }
        Result kept;
        for (;;) {
            while (PQisBusy(connection_) != 0) {
                if (!waitFor(POLLIN, deadline, limit)) {
                    return std::nullopt;
                }
                if (PQconsumeInput(connection_) != 1) {
                    lost();
                    return std::nullopt;
                }
            }
            Result next(PQgetResult(connection_));
            if (next == nullptr) {
                break;
            }
            // The first failure is the one to tell of.
            if (kept == nullptr || succeeded(kept.get())) {
                kept = std::move(next);
            }
        }
        if (kept == nullptr) {
            lost();
            return std::nullopt;
        }
        if (!succeeded(kept.get())) {
            refused_ = PQstatus(connection_) == CONNECTION_OK;
            fail(oneLine(PQresultErrorMessage(kept.get())));
            return std::nullopt;
        }
        return kept;
    }

    const std::string& problem() const { return problem_; }
    // Whether the last statement went unanswered.
    bool timedOut() const { return timedOut_; }
    // Whether the server answered the last statement with an error.
    bool refused() const { return refused_; }

private:
    bool fail(std::string problem) {
        problem_ = std::move(problem);
        return false;
    }

    bool lost() {
        const std::string message =
            connection_ != nullptr ? oneLine(PQerrorMessage(connection_)) : std::string();
        return fail(message.empty() ? "the connection to the database is lost" : message);
    }

    // Until the connection's socket is ready for `events`; false, with the
    // problem, when the deadline came first or the socket failed. A signal
    // does not end the wait: a station finishes the module in hand.
    bool waitFor(short events, SteadyClock::time_point deadline, milliseconds limit) {
        for (;;) {
            const auto left =
                std::chrono::ceil<milliseconds>(deadline - SteadyClock::now()).count();
            if (left <= 0) {
                timedOut_ = true;
                return fail("the database did not answer within " + seconds(limit));
            }
            pollfd watched{PQsocket(connection_), events, 0};
            if (watched.fd < 0) {
                return lost();
            }
            const int ready = poll(&watched, 1, static_cast<int>(left));
            if (ready > 0) {
                return true;
            }
            if (ready < 0 && errno != EINTR) {
                return fail("the connection to the database cannot be watched");
            }
        }
    }

    PGconn* connection_ = nullptr;
    std::string problem_;
    bool timedOut_ = false;
    bool refused_ = false;
};

PostgresJournal::PostgresJournal(Settings settings) : settings_(std::move(settings)) {}

PostgresJournal::~PostgresJournal() = default;

bool PostgresJournal::fail(std::string problem) {
    // libpq quotes a URI it cannot read, password and all.
    const std::string shown = journalDisplayName(settings_.uri);
    for (std::size_t at = settings_.uri.empty() ? std::string::npos : problem.find(settings_.uri);
         at != std::string::npos; at = problem.find(settings_.uri, at + shown.size())) {
        problem.replace(at, settings_.uri.size(), shown);
    }
    problem_ = "database journal, line \"" + settings_.line + "\": " + problem;
    return false;
}

bool PostgresJournal::failAndDisconnect(std::string problem) {
    session_.reset();
    opened_ = false;
    moduleOpen_ = false;
    held_.reset();
    return fail(std::move(problem));
}

bool PostgresJournal::open() {
    opened_ = false;
    moduleOpen_ = false;
    held_.reset();
    resume_.reset();
    session_ = std::make_unique<Session>();
    if (!session_->connect(settings_.uri, "dl250t " + settings_.line)) {
        return failAndDisconnect("cannot connect: " + session_->problem());
    }
    std::string limits = "SET statement_timeout = " + std::to_string(kStatementTime.count()) +
                         "; SET idle_in_transaction_session_timeout = " +
                         std::to_string(kIdleInTransactionTime.count());
    if (session_->serverVersion() >= 140000) {
        limits += "; SET client_connection_check_interval = " +
                  std::to_string(kClientCheckInterval.count());
    }
    if (!session_->run(limits.c_str(), {}, kAnswerTime)) {
        return failAndDisconnect("cannot set the session's time limits: " + session_->problem());
    }
    if (!createTables() || !findLine()) {
        return false;
    }
    // The start number has been checked, or the line made with it; a
    // connection made again later carries on from the database's number.
    settings_.startSerial.reset();
    opened_ = true;
    return true;
}

bool PostgresJournal::createTables() {
    const auto exist = session_->run(kTablesExist, {}, kAnswerTime);
    if (!exist) {
        return failAndDisconnect("cannot look for the journal's tables: " + session_->problem());
    }
    if (std::string_view(PQgetvalue(exist->get(), 0, 0)) == "t") {
        return true;
    }
    const std::string create = "BEGIN; SELECT pg_advisory_xact_lock(" + std::string(kCreationLock) +
                               ");" + kCreateTables + "COMMIT;";
    if (!session_->run(create.c_str(), {}, kLockAnswerTime)) {
        return failAndDisconnect("cannot create the journal's tables: " + session_->problem());
    }
    return true;
}

bool PostgresJournal::findLine() {
    lineExists_ = false;
    std::optional<std::uint64_t> start;
    if (settings_.startSerial) {
        start = formSerialNumber(*settings_.startSerial);
        if (!session_->run(kCreateLine, {settings_.line, std::to_string(*start)},
                           kLockAnswerTime)) {
            return failAndDisconnect("cannot create the line: " + session_->problem());
        }
    }
    const auto found = session_->run(kFindLine, {settings_.line}, kAnswerTime);
    if (!found) {
        return failAndDisconnect("cannot read the line's serial number: " + session_->problem());
    }
    if (PQntuples(found->get()) == 1) {
        const auto next = numberIn(PQgetvalue(found->get(), 0, 0));
        if (!next) {
            return failAndDisconnect("the line's next serial number is not a 48-bit number");
        }
        lineExists_ = true;
        resume_ = serialText(*next);
    }
    if (start && (!lineExists_ || resume_ != serialText(*start))) {
        const std::string next = resume_.value_or("?");
        resume_.reset();
        return failAndDisconnect("the line goes on at serial number " + next + ", not at " +
                                 serialText(*start) +
                                 " as --serial asks; leave out --serial to carry on from there");
    }
    return true;
}

std::optional<std::string> PostgresJournal::beginModule(std::string_view formSerial) {
    if (moduleOpen_) {
        failAndDisconnect("a module was begun before the one in hand was finished");
        return std::nullopt;
    }
    if (!opened_ && !open()) {
        return std::nullopt;
    }
    // Read committed whatever the server's default: the wait for the line's
    // row then ends with the row as the station before left it.
    if (!session_->run("BEGIN ISOLATION LEVEL READ COMMITTED", {}, kAnswerTime)) {
        failAndDisconnect("cannot begin the module: " + session_->problem());
        return std::nullopt;
    }
    moduleOpen_ = true;
    if (formSerial.empty()) {
        return std::string();  // a module only read takes no number
    }
    if (!lineExists_ &&
        !session_->run(kCreateLine, {settings_.line, std::to_string(formSerialNumber(formSerial))},
                       kLockAnswerTime)) {
        failAndDisconnect("cannot create the line: " + session_->problem());
        return std::nullopt;
    }
    const auto locked = session_->run(kLockLine, {settings_.line}, kLockAnswerTime);
    if (!locked) {
        failAndDisconnect("cannot take the line's serial number: " + session_->problem());
        return std::nullopt;
    }
    if (PQntuples(locked->get()) != 1) {
        failAndDisconnect("the line is no longer in the database");
        return std::nullopt;
    }
    held_ = numberIn(PQgetvalue(locked->get(), 0, 0));
    if (!held_) {
        failAndDisconnect("the line's next serial number is not a 48-bit number");
        return std::nullopt;
    }
    lineExists_ = true;
    return serialText(*held_);
}

bool PostgresJournal::finishModule(const ModuleRecord& record) {
    if (!moduleOpen_) {
        return fail("no module was begun");
    }
    const bool written = held_ && record.outcome == Outcome::ModuleWritten && record.crc;
    const std::optional<std::uint64_t> number = serialNumberOf(record.serial);
    if (written && number != held_) {
        return failAndDisconnect("the module stored serial number " + record.serial +
                                 ", not the line's " + serialText(*held_));
    }
    // The columns as the CSV journal writes them; the time goes in as it is.
    const std::vector<std::string> fields = journalFields(
        record, {.station = settings_.station, .timeText = {}, .moduleText = settings_.moduleText});
    std::vector<std::optional<std::string>> parameters{settings_.line, utcTimeText(record.time)};
    // station, port, module, version, serial
    for (std::size_t i = 1; i <= 5; ++i) {
        parameters.emplace_back(databaseText(fields[i]));
    }
    parameters.emplace_back(number ? std::optional(std::to_string(*number)) : std::nullopt);
    // outcome, verify, milliseconds, crc
    for (std::size_t i = 6; i <= 9; ++i) {
        parameters.emplace_back(databaseText(fields[i]));
    }
    if (written) {
        parameters.emplace_back(std::to_string((*held_ + 1) % kSerialModulus));
    }
    const auto added =
        session_->run(written ? kAddModuleAndAdvance : kAddModule, parameters, kAnswerTime);
    if (!added || std::string_view(PQcmdTuples(added->get())) != "1") {
        return failAndDisconnect(
            "cannot add the module's line: " +
            (added ? std::string("the line is no longer in the database") : session_->problem()));
    }
    const auto committed = session_->run("COMMIT", {}, kAnswerTime);
    if (!committed) {
        if (session_->refused()) {
            return failAndDisconnect("the database refused the module's line: " +
                                     session_->problem());
        }
        return failAndDisconnect("the module's line got no answer from the database (" +
                                 session_->problem() +
                                 "); whether it is in the journal is not known");
    }
    // A transaction that failed on the way ends in a rollback, not a commit.
    if (std::string_view(PQcmdStatus(committed->get())) != "COMMIT") {
        return failAndDisconnect("the database refused the module's line");
    }
    moduleOpen_ = false;
    held_.reset();
    return true;
}

const bool kDatabaseJournalBuilt = true;

std::unique_ptr<ProductionJournal> makeDatabaseJournal(const JournalChoice& choice) {
    return std::make_unique<PostgresJournal>(PostgresJournal::Settings{
        .uri = choice.journal,
        .line = choice.line.value_or(std::string(kDefaultLine)),
        .startSerial = choice.startSerial,
        .station = hostName(),
        .moduleText = choice.moduleText,
    });
}

}  // namespace dl250t
