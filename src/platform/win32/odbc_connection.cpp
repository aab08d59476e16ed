#include "platform/win32/odbc_connection.hpp"

#include <windows.h>

#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string_view>
#include <system_error>
#include <thread>

#include "platform/win32/odbc_text.hpp"
#include "platform/win32/wide_text.hpp"

namespace dl250t {

namespace {

using SteadyClock = std::chrono::steady_clock;
using std::chrono::milliseconds;
using Status = DatabaseAnswer::Status;

// Ending a session asks the server to roll back what is open; a server that
// does not answer by then is left to notice the closed connection itself.
constexpr milliseconds kCloseTime{2000};
// Whether the driver holds the connection for lost is its own bookkeeping.
constexpr milliseconds kAliveTime{2000};

DatabaseAnswer failed(Status status, std::string problem = {}) {
    DatabaseAnswer answer;
    answer.status = status;
    answer.problem = std::move(problem);
    return answer;
}

// The handles of one session. The last thread to hold them ends the session:
// the caller's, or one that a driver call kept beyond its caller's limit.
struct OdbcHandles {
    SQLHENV environment = SQL_NULL_HENV;
    SQLHDBC connection = SQL_NULL_HDBC;
    bool connected = false;

    OdbcHandles() = default;
    OdbcHandles(const OdbcHandles&) = delete;
    OdbcHandles& operator=(const OdbcHandles&) = delete;
    ~OdbcHandles() {
        if (connected) {
            SQLDisconnect(connection);
        }
        if (connection != SQL_NULL_HDBC) {
            SQLFreeHandle(SQL_HANDLE_DBC, connection);
        }
        if (environment != SQL_NULL_HENV) {
            SQLFreeHandle(SQL_HANDLE_ENV, environment);
        }
    }

    bool dead() const {
        SQLUINTEGER dead = SQL_CD_FALSE;
        return connection == SQL_NULL_HDBC ||
               !SQL_SUCCEEDED(
                   SQLGetConnectAttrW(connection, SQL_ATTR_CONNECTION_DEAD, &dead, 0, nullptr)) ||
               dead == SQL_CD_TRUE;
    }
};

// Runs `work` on a thread of its own and waits for its answer until the
// deadline; nothing when none came by then. The thread holds what `work`
// captured for as long as it runs.
template <typename Work>
std::optional<DatabaseAnswer> within(Work work, SteadyClock::time_point deadline) {
    struct Pending {
        std::mutex mutex;
        std::condition_variable ended;
        std::optional<DatabaseAnswer> answer;
    };
    auto pending = std::make_shared<Pending>();
    try {
        std::thread([pending, work = std::move(work)]() mutable {
            DatabaseAnswer answer = work();
            const std::lock_guard lock(pending->mutex);
            pending->answer = std::move(answer);
            pending->ended.notify_all();
        }).detach();
    } catch (const std::system_error&) {
        return failed(Status::Lost, "no thread could be started for the database");
    }
    std::unique_lock lock(pending->mutex);
    pending->ended.wait_until(lock, deadline, [&] { return pending->answer.has_value(); });
    return std::move(pending->answer);
}

// The driver's diagnostics for a call that failed on `handle`, each record
// on a line of its own, as the server's messages read with the client
// library; the SQLSTATE of the first.
std::string diagnostics(SQLSMALLINT type, SQLHANDLE handle, std::string& state) {
    std::string text;
    for (SQLSMALLINT record = 1;; ++record) {
        std::array<SQLWCHAR, 6> code{};
        std::array<SQLWCHAR, 1024> message{};
        SQLINTEGER native = 0;
        SQLSMALLINT length = 0;
        const SQLRETURN got =
            SQLGetDiagRecW(type, handle, record, code.data(), &native, message.data(),
                           static_cast<SQLSMALLINT>(message.size()), &length);
        if (!SQL_SUCCEEDED(got)) {
            return text;
        }
        const std::string sqlState = wideToUtf8(reinterpret_cast<const wchar_t*>(code.data()));
        if (record == 1) {
            state = sqlState;
        }
        const auto shown = static_cast<std::size_t>(
            std::clamp<SQLSMALLINT>(length, 0, static_cast<SQLSMALLINT>(message.size() - 1)));
        std::string line = wideToUtf8({reinterpret_cast<const wchar_t*>(message.data()), shown});
        // The driver's own words after the server's add nothing.
        constexpr std::string_view kTrailer = ";\nError while executing the query";
        if (line.ends_with(kTrailer)) {
            line.resize(line.size() - kTrailer.size());
        }
        text += (text.empty() ? "" : "\n") + line;
    }
}

// A statement or connection that failed: lost when the session is gone (the
// driver says so, or the SQLSTATE is one of a broken connection or a server
// that ended the session), else refused.
DatabaseAnswer failure(SQLSMALLINT type, SQLHANDLE handle, const OdbcHandles& session,
                       std::string* sqlState = nullptr) {
    std::string state;
    std::string problem = diagnostics(type, handle, state);
    if (sqlState != nullptr) {
        *sqlState = state;
    }
    const bool lost = state.starts_with("08") || state == "57P01" || state == "57P02" ||
                      state == "57P03" || session.dead();
    return failed(lost ? Status::Lost : Status::Refused, std::move(problem));
}

// One value of the row the statement stands on, as text; nothing for NULL.
// False when the driver fails to hand it over.
bool valueOf(SQLHSTMT statement, SQLUSMALLINT column, bool bit, std::optional<std::string>& value) {
    std::wstring text;
    std::array<SQLWCHAR, 2048> buffer{};
    for (;;) {
        SQLLEN length = 0;
        const SQLRETURN got =
            SQLGetData(statement, column, SQL_C_WCHAR, buffer.data(), sizeof buffer, &length);
        if (got == SQL_NO_DATA) {
            break;
        }
        if (!SQL_SUCCEEDED(got)) {
            return false;
        }
        if (length == SQL_NULL_DATA) {
            value.reset();
            return true;
        }
        // A value longer than the buffer comes in parts, each but the last
        // filling it up to its terminating NUL.
        const std::size_t room = buffer.size() - 1;
        const std::size_t part =
            length == SQL_NO_TOTAL || static_cast<std::size_t>(length) / sizeof(SQLWCHAR) > room
                ? room
                : static_cast<std::size_t>(length) / sizeof(SQLWCHAR);
        text.append(reinterpret_cast<const wchar_t*>(buffer.data()), part);
        if (got == SQL_SUCCESS) {
            break;
        }
    }
    // Booleans come as bits; the client library shows them as t and f.
    if (bit && (text == L"1" || text == L"0")) {
        text = text == L"1" ? L"t" : L"f";
    }
    value = wideToUtf8(text);
    return true;
}

// The rows and count of the result the statement stands on; false when the
// driver fails to hand them over.
bool takeResult(SQLHSTMT statement, DatabaseAnswer& answer) {
    answer.rows.clear();
    SQLSMALLINT columns = 0;
    SQLLEN affected = 0;
    if (!SQL_SUCCEEDED(SQLNumResultCols(statement, &columns)) ||
        !SQL_SUCCEEDED(SQLRowCount(statement, &affected))) {
        return false;
    }
    answer.affected = affected > 0 ? static_cast<std::uint64_t>(affected) : 0;
    std::vector<bool> bits;
    for (SQLSMALLINT column = 1; column <= columns; ++column) {
        SQLLEN type = 0;
        if (!SQL_SUCCEEDED(SQLColAttributeW(statement, static_cast<SQLUSMALLINT>(column),
                                            SQL_DESC_CONCISE_TYPE, nullptr, 0, nullptr, &type))) {
            return false;
        }
        bits.push_back(type == SQL_BIT);
    }
    while (columns > 0) {
        const SQLRETURN fetched = SQLFetch(statement);
        if (fetched == SQL_NO_DATA) {
            break;
        }
        if (!SQL_SUCCEEDED(fetched)) {
            return false;
        }
        auto& row = answer.rows.emplace_back();
        for (SQLSMALLINT column = 1; column <= columns; ++column) {
            if (!valueOf(statement, static_cast<SQLUSMALLINT>(column), bits[column - 1],
                         row.emplace_back())) {
                return false;
            }
        }
    }
    return true;
}

// A statement handle, freed with its results and bindings.
class StatementHandle {
public:
    explicit StatementHandle(SQLHDBC connection) {
        if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, connection, &handle_))) {
            handle_ = SQL_NULL_HSTMT;
        }
    }
    ~StatementHandle() {
        if (handle_ != SQL_NULL_HSTMT) {
            SQLFreeHandle(SQL_HANDLE_STMT, handle_);
        }
    }
    StatementHandle(const StatementHandle&) = delete;
    StatementHandle& operator=(const StatementHandle&) = delete;
    SQLHSTMT get() const { return handle_; }

private:
    SQLHSTMT handle_ = SQL_NULL_HSTMT;
};

// What one execute sends: the statement with its markers and the values.
struct Request {
    std::wstring sql;
    OdbcStatement statement;
    std::vector<std::optional<std::wstring>> values;
};

SQLRETURN bindAndRun(SQLHSTMT statement, Request& request, std::vector<SQLLEN>& lengths) {
    // The driver leaves { … } escapes alone: the text is PostgreSQL's own.
    SQLSetStmtAttrW(statement, SQL_ATTR_NOSCAN, reinterpret_cast<SQLPOINTER>(SQL_NOSCAN_ON), 0);
    lengths.resize(request.statement.markers.size());
    for (std::size_t marker = 0; marker < lengths.size(); ++marker) {
        std::optional<std::wstring>& value = request.values[request.statement.markers[marker]];
        lengths[marker] = value ? static_cast<SQLLEN>(value->size() * sizeof(SQLWCHAR))
                                : static_cast<SQLLEN>(SQL_NULL_DATA);
        // Text of no particular type, as the client library sends its
        // parameters: the server reads it as the statement's casts say.
        const SQLRETURN bound = SQLBindParameter(
            statement, static_cast<SQLUSMALLINT>(marker + 1), SQL_PARAM_INPUT, SQL_C_WCHAR,
            SQL_WVARCHAR, value ? std::max<SQLULEN>(value->size(), 1) : 1, 0,
            value ? static_cast<SQLPOINTER>(value->data()) : nullptr, 0, &lengths[marker]);
        if (!SQL_SUCCEEDED(bound)) {
            return bound;
        }
    }
    return SQLExecDirectW(statement, reinterpret_cast<SQLWCHAR*>(request.sql.data()), SQL_NTS);
}

// Runs the request and walks every result it gives; the answer is the last
// one's, or the failure.
DatabaseAnswer run(const OdbcHandles& session, Request& request, std::string* sqlState = nullptr) {
    StatementHandle statement(session.connection);
    if (statement.get() == SQL_NULL_HSTMT) {
        return failure(SQL_HANDLE_DBC, session.connection, session);
    }
    std::vector<SQLLEN> lengths;
    SQLRETURN result = bindAndRun(statement.get(), request, lengths);
    DatabaseAnswer answer;
    answer.status = Status::Done;
    for (;;) {
        if (result == SQL_NO_DATA) {
            // A statement that touched no row has "no data" (ODBC 3), yet
            // succeeded.
            answer.rows.clear();
            answer.affected = 0;
        } else if (!SQL_SUCCEEDED(result) || !takeResult(statement.get(), answer)) {
            return failure(SQL_HANDLE_STMT, statement.get(), session, sqlState);
        }
        result = SQLMoreResults(statement.get());
        if (result == SQL_NO_DATA) {
            break;
        }
    }
    const std::string& command = request.statement.lastCommand;
    answer.affected = countsRows(command) ? answer.affected : 0;
    answer.command = commandTag(command, answer.rows.size(), answer.affected);
    return answer;
}

// COMMIT as the client library tells of it: the server answers COMMIT on a
// transaction that had failed with ROLLBACK, with no error, and nothing in
// ODBC hands that answer on. So a statement of the transaction goes first,
// in the same round trip: on a failed transaction the server refuses it
// (SQLSTATE 25P02, the COMMIT behind it not run) and the transaction is
// rolled back here, as the server's own COMMIT would have done.
DatabaseAnswer runCommit(const OdbcHandles& session, Request& request) {
    Request probed = request;
    probed.sql = L"SELECT 1; " + request.sql;
    std::string state;
    DatabaseAnswer answer = run(session, probed, &state);
    if (answer.status != Status::Refused || state != "25P02") {
        return answer;
    }
    Request rollback{.sql = L"ROLLBACK", .statement = odbcStatement("ROLLBACK"), .values = {}};
    return run(session, rollback);
}

DatabaseAnswer connectSession(OdbcHandles& session, const std::vector<std::wstring>& drivers,
                              const DatabaseUriParts& uri, const std::string& applicationName,
                              const std::string& password, milliseconds limit) {
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &session.environment)) ||
        !SQL_SUCCEEDED(SQLSetEnvAttr(session.environment, SQL_ATTR_ODBC_VERSION,
                                     reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0))) {
        return failed(Status::Lost, "ODBC cannot be used (odbc32.dll)");
    }
    std::vector<std::wstring> installed;
    std::array<SQLWCHAR, 256> name{};
    std::array<SQLWCHAR, 1024> attributes{};
    SQLSMALLINT nameLength = 0;
    SQLSMALLINT attributesLength = 0;
    for (SQLUSMALLINT direction = SQL_FETCH_FIRST; SQL_SUCCEEDED(
             SQLDriversW(session.environment, direction, name.data(),
                         static_cast<SQLSMALLINT>(name.size()), &nameLength, attributes.data(),
                         static_cast<SQLSMALLINT>(attributes.size()), &attributesLength));
         direction = SQL_FETCH_NEXT) {
        installed.emplace_back(reinterpret_cast<const wchar_t*>(name.data()));
    }
    const auto driver =
        std::find_first_of(drivers.begin(), drivers.end(), installed.begin(), installed.end());
    if (driver == drivers.end()) {
        return failed(Status::Lost, "the ODBC driver \"" + wideToUtf8(drivers.front()) +
                                        "\" is not installed: install psqlODBC (64-bit), "
                                        "PostgreSQL's ODBC driver (under Wine: the packages "
                                        "unixodbc and odbc-postgresql)");
    }
    std::string problem;
    const std::string connectionString =
        odbcConnectionString(uri, wideToUtf8(*driver), applicationName, password, problem);
    if (connectionString.empty()) {
        return failed(Status::Lost, problem);
    }
    auto text = utf8ToWide(connectionString);
    if (!text ||
        !SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_DBC, session.environment, &session.connection))) {
        return failed(Status::Lost, "the connection to the database cannot be set up");
    }
    // The driver's own limit is in whole seconds; the caller's wait is exact.
    const auto seconds = std::max<long long>(1, (limit.count() + 999) / 1000);
    SQLSetConnectAttrW(session.connection, SQL_ATTR_LOGIN_TIMEOUT,
                       reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(seconds)), 0);
    const SQLRETURN connected =
        SQLDriverConnectW(session.connection, nullptr, reinterpret_cast<SQLWCHAR*>(text->data()),
                          SQL_NTS, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT);
    if (!SQL_SUCCEEDED(connected)) {
        DatabaseAnswer answer = failure(SQL_HANDLE_DBC, session.connection, session);
        answer.status = Status::Lost;
        return answer;
    }
    session.connected = true;
    // The journal sends BEGIN and COMMIT itself; between them the driver
    // adds nothing (autocommit is its default, set here all the same).
    if (!SQL_SUCCEEDED(SQLSetConnectAttrW(session.connection, SQL_ATTR_AUTOCOMMIT,
                                          reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_ON), 0))) {
        DatabaseAnswer answer = failure(SQL_HANDLE_DBC, session.connection, session);
        answer.status = Status::Lost;
        return answer;
    }
    return failed(Status::Done);
}

// The password to give: the URI's, else PGPASSWORD's. Without either the
// driver finds one of its own (its data source, the client library's
// password file) or the server needs none.
std::string passwordFor(const DatabaseUriParts& uri) {
    if (!uri.password.empty()) {
        return uri.password;
    }
    std::array<wchar_t, 1024> value{};
    const DWORD length =
        GetEnvironmentVariableW(L"PGPASSWORD", value.data(), static_cast<DWORD>(value.size()));
    return length > 0 && length < value.size() ? wideToUtf8({value.data(), length}) : std::string();
}

class OdbcConnection final : public DatabaseConnection {
public:
    explicit OdbcConnection(std::vector<std::wstring> drivers) : drivers_(std::move(drivers)) {}
    ~OdbcConnection() override { close(); }
    OdbcConnection(const OdbcConnection&) = delete;
    OdbcConnection& operator=(const OdbcConnection&) = delete;

    DatabaseAnswer connect(const std::string& uri, const std::string& applicationName,
                           milliseconds limit) override {
        close();
        const auto deadline = SteadyClock::now() + limit;
        std::string problem;
        const auto parts = parseDatabaseUri(uri, problem);
        if (!parts) {
            return failed(Status::Lost, problem);
        }
        password_ = passwordFor(*parts);
        auto session = std::make_shared<OdbcHandles>();
        auto answer = within(
            [session, drivers = drivers_, uri = *parts, applicationName, password = password_,
             limit] {
                return connectSession(*session, drivers, uri, applicationName, password, limit);
            },
            deadline);
        if (!answer) {
            return failed(Status::NoAnswer);
        }
        if (answer->done()) {
            session_ = std::move(session);
        }
        return withoutPassword(std::move(*answer));
    }

    DatabaseAnswer execute(std::string_view sql,
                           const std::vector<std::optional<std::string>>& parameters,
                           milliseconds limit) override {
        if (session_ == nullptr) {
            return failed(Status::Lost);
        }
        const auto deadline = SteadyClock::now() + limit;
        Request request{.sql = {}, .statement = odbcStatement(sql), .values = {}};
        if (!request.statement.problem.empty()) {
            return failed(Status::Refused, request.statement.problem);
        }
        for (const std::size_t index : request.statement.markers) {
            if (index >= parameters.size()) {
                return failed(Status::Refused,
                              "the statement takes $" + std::to_string(index + 1) + ", but has " +
                                  std::to_string(parameters.size()) + " parameters");
            }
        }
        const auto text = utf8ToWide(request.statement.sql);
        if (!text) {
            return failed(Status::Refused, "the statement is not UTF-8 text");
        }
        request.sql = *text;
        for (const auto& parameter : parameters) {
            auto& value = request.values.emplace_back();
            if (parameter) {
                value = utf8ToWide(*parameter);
                if (!value) {
                    return failed(Status::Refused, "a parameter is not UTF-8 text");
                }
            }
        }
        auto answer = within(
            [session = session_, request = std::move(request)]() mutable {
                return request.statement.beginsWithCommit ? runCommit(*session, request)
                                                          : run(*session, request);
            },
            deadline);
        if (!answer) {
            // The call goes on on its thread, which ends the session when
            // it returns; this connection is done with it.
            session_.reset();
            return failed(Status::NoAnswer);
        }
        return withoutPassword(std::move(*answer));
    }

    bool alive() override {
        if (session_ == nullptr) {
            return false;
        }
        const auto answer = within(
            [session = session_] { return failed(session->dead() ? Status::Lost : Status::Done); },
            SteadyClock::now() + kAliveTime);
        return answer && answer->done();
    }

    void close() override {
        if (session_ == nullptr) {
            return;
        }
        within(
            [session = std::move(session_)]() mutable {
                session.reset();
                return failed(Status::Done);
            },
            SteadyClock::now() + kCloseTime);
    }

private:
    // The driver's messages never quote the password; this makes sure.
    DatabaseAnswer withoutPassword(DatabaseAnswer answer) const {
        for (std::size_t at = password_.empty() ? std::string::npos
                                                : answer.problem.find(password_);
             at != std::string::npos; at = answer.problem.find(password_, at)) {
            answer.problem.replace(at, password_.size(), "(password)");
        }
        return answer;
    }

    std::vector<std::wstring> drivers_;
    std::shared_ptr<OdbcHandles> session_;
    std::string password_;
};

}  // namespace

std::unique_ptr<DatabaseConnection> makeOdbcConnection(std::vector<std::wstring> drivers) {
    return std::make_unique<OdbcConnection>(std::move(drivers));
}

}  // namespace dl250t
