#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "production/database_connection.hpp"

struct pg_conn;

namespace dl250t::testing {

// The throwaway PostgreSQL server that scripts/test starts, named by its URI
// in DL250T_TEST_DATABASE (its socket), or for Windows programs under Wine in
// DL250T_TEST_DATABASE_TCP; nothing when the tests run without one. A test
// that needs it runs whenever it is named, and fails when it cannot use it.
std::optional<std::string> testDatabaseUri();

// Connections of the system's own kind: libpq on Linux, ODBC on Windows.
DatabaseConnector systemDatabaseConnector();

// A session of the test's own: for tables of its own and for looking at what
// the journal left there.
class TestDatabase {
public:
    explicit TestDatabase(const std::string& uri);
    // Drops the schemas it made.
    ~TestDatabase();
    TestDatabase(const TestDatabase&) = delete;
    TestDatabase& operator=(const TestDatabase&) = delete;

    bool connected() const;
    // Connects again, as it was, after the server was restarted.
    bool reconnect();
    std::string problem() const { return problem_; }

    // The rows of the result, every value as text (NULL as "NULL"); nothing,
    // with problem() saying why, when the statement failed.
    std::optional<std::vector<std::vector<std::string>>> query(const std::string& sql);

    // The URI of a schema that is new and empty: sessions through it make and
    // find their tables there, away from every other test. This session's
    // queries look there too from now on.
    std::string freshSchemaUri();

private:
    std::string uri_;
#ifdef _WIN32
    // No libpq for Windows: the session goes through the ODBC connection.
    std::unique_ptr<DatabaseConnection> connection_;
#else
    pg_conn* connection_ = nullptr;
#endif
    std::vector<std::string> schemas_;
    std::string problem_;
};

// A test with a schema of its own on the throwaway server; skipped, with the
// reason, when there is none.
class DatabaseTest : public ::testing::Test {
protected:
    void SetUp() override;

    std::unique_ptr<TestDatabase> database;
    std::string uri;  // the test's own schema

    // The rows of a query that must succeed.
    std::vector<std::vector<std::string>> rows(const std::string& sql);
};

}  // namespace dl250t::testing
