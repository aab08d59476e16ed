#include "support/test_database.hpp"

#ifdef _WIN32
#include <process.h>

#include "platform/win32/odbc_connection.hpp"
#else
#include <libpq-fe.h>
#include <unistd.h>

#include "platform/postgres/postgres_connection.hpp"
#endif

#include <atomic>
#include <chrono>
#include <cstdlib>

namespace dl250t::testing {

namespace {

std::atomic<int> schemasMade{0};

}  // namespace

std::optional<std::string> testDatabaseUri() {
#ifdef _WIN32
    const char* uri = std::getenv("DL250T_TEST_DATABASE_TCP");
#else
    const char* uri = std::getenv("DL250T_TEST_DATABASE");
#endif
    if (uri == nullptr || *uri == '\0') {
        return std::nullopt;
    }
    return std::string(uri);
}

#ifdef _WIN32

DatabaseConnector systemDatabaseConnector() {
    return [] { return makeOdbcConnection(); };
}

TestDatabase::TestDatabase(const std::string& uri) : uri_(uri) {
    reconnect();
}

TestDatabase::~TestDatabase() {
    for (const std::string& schema : schemas_) {
        query("DROP SCHEMA " + schema + " CASCADE");
    }
}

bool TestDatabase::reconnect() {
    connection_ = makeOdbcConnection();
    const DatabaseAnswer answer = connection_->connect(uri_, "test", std::chrono::seconds(10));
    problem_ = answer.problem;
    return connected() && query("SET client_min_messages = warning") &&
           (schemas_.empty() || query("SET search_path = " + schemas_.back()));
}

bool TestDatabase::connected() const {
    return connection_->alive();
}

std::optional<std::vector<std::vector<std::string>>> TestDatabase::query(const std::string& sql) {
    const DatabaseAnswer answer = connection_->execute(sql, {}, std::chrono::seconds(30));
    if (!answer.done()) {
        problem_ = sql + ": " + answer.problem;
        return std::nullopt;
    }
    std::vector<std::vector<std::string>> rows;
    for (const auto& row : answer.rows) {
        std::vector<std::string>& values = rows.emplace_back();
        for (const auto& value : row) {
            values.push_back(value.value_or("NULL"));
        }
    }
    return rows;
}

#else

DatabaseConnector systemDatabaseConnector() {
    return [] { return makePostgresConnection(); };
}

TestDatabase::TestDatabase(const std::string& uri) : uri_(uri) {
    connection_ = PQconnectdb(uri.c_str());
    if (PQstatus(connection_) != CONNECTION_OK) {
        problem_ = PQerrorMessage(connection_);
    } else {
        query("SET client_min_messages = warning");
    }
}

TestDatabase::~TestDatabase() {
    for (const std::string& schema : schemas_) {
        query("DROP SCHEMA " + schema + " CASCADE");
    }
    PQfinish(connection_);
}

bool TestDatabase::reconnect() {
    PQreset(connection_);
    return connected() && query("SET client_min_messages = warning") &&
           (schemas_.empty() || query("SET search_path = " + schemas_.back()));
}

bool TestDatabase::connected() const {
    return PQstatus(connection_) == CONNECTION_OK;
}

std::optional<std::vector<std::vector<std::string>>> TestDatabase::query(const std::string& sql) {
    PGresult* result = PQexec(connection_, sql.c_str());
    const ExecStatusType status = PQresultStatus(result);
    if (status != PGRES_TUPLES_OK && status != PGRES_COMMAND_OK) {
        problem_ = sql + ": " + PQresultErrorMessage(result);
        PQclear(result);
        return std::nullopt;
    }
    std::vector<std::vector<std::string>> rows;
    for (int row = 0; row < PQntuples(result); ++row) {
        std::vector<std::string>& values = rows.emplace_back();
        for (int column = 0; column < PQnfields(result); ++column) {
            values.emplace_back(
                PQgetisnull(result, row, column) != 0 ? "NULL" : PQgetvalue(result, row, column));
        }
    }
    PQclear(result);
    return rows;
}

#endif

std::string TestDatabase::freshSchemaUri() {
    const std::string schema =
        "test_" + std::to_string(getpid()) + "_" + std::to_string(++schemasMade);
    if (!query("CREATE SCHEMA " + schema) || !query("SET search_path = " + schema)) {
        return {};
    }
    schemas_.push_back(schema);
    return uri_ + (uri_.find('?') == std::string::npos ? "?" : "&") +
           "options=-c%20search_path%3D" + schema;
}

void DatabaseTest::SetUp() {
    const auto server = testDatabaseUri();
    if (!server) {
        GTEST_SKIP() << "needs the throwaway PostgreSQL server that scripts/test starts, named "
                        "by DL250T_TEST_DATABASE";
    }
    database = std::make_unique<TestDatabase>(*server);
    ASSERT_TRUE(database->connected()) << *server << ": " << database->problem();
    uri = database->freshSchemaUri();
    if (uri.empty()) {
        // The test's own set-up, not what it tests: under Wine the ODBC
        // manager has been seen to let one statement of a fresh connection
        // go unanswered. The schema is made once more over a new connection.
        database = std::make_unique<TestDatabase>(*server);
        uri = database->freshSchemaUri();
    }
    ASSERT_FALSE(uri.empty()) << database->problem();
}

std::vector<std::vector<std::string>> DatabaseTest::rows(const std::string& sql) {
    auto result = database->query(sql);
    EXPECT_TRUE(result) << database->problem();
    return result.value_or(std::vector<std::vector<std::string>>{});
}

}  // namespace dl250t::testing
