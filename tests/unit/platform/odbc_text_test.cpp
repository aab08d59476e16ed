#include "platform/win32/odbc_text.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace dl250t {
namespace {

using ::testing::ElementsAreArray;
using ::testing::HasSubstr;

// $n becomes a marker wherever it is a parameter, and nowhere else.
TEST(OdbcStatement, ParametersBecomeMarkersOutsideQuotesCommentsAndDollarBodies) {
    struct Case {
        const char* sql;
        const char* odbc;
        std::vector<std::size_t> markers;
        const char* command;
        bool commit;
    };
    const Case cases[] = {
        {"SELECT $2, $1::bigint, $2", "SELECT ?, ?::bigint, ?", {1, 0, 1}, "SELECT", false},
        {"SELECT '$1 it''s $2', E'\\'$3', \"a$1\"",
         "SELECT '$1 it''s $2', E'\\'$3', \"a$1\"",
         {},
         "SELECT",
         false},
        {"SELECT a$1 -- $2\n/* $3 /* $4 */ $5 */ FROM t WHERE x = $6",
         "SELECT a$1 -- $2\n/* $3 /* $4 */ $5 */ FROM t WHERE x = ?",
         {5},
         "SELECT",
         false},
        {"DO $body$ SELECT $1 $body$; SELECT $$ $2 $$",
         "DO $body$ SELECT $1 $body$; SELECT $$ $2 $$",
         {},
         "SELECT",
         false},
        {"WITH a AS (UPDATE t SET n = $1 RETURNING n) INSERT INTO u SELECT n FROM a",
         "WITH a AS (UPDATE t SET n = ? RETURNING n) INSERT INTO u SELECT n FROM a",
         {0},
         "INSERT",
         false},
        {"BEGIN; SELECT 1;\nCOMMIT;", "BEGIN; SELECT 1;\nCOMMIT;", {}, "COMMIT", false},
        {" commit", " commit", {}, "COMMIT", true},
        {"END", "END", {}, "END", true},
        {"COMMIT PREPARED 'x'", "COMMIT PREPARED 'x'", {}, "COMMIT", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sql);
        const OdbcStatement statement = odbcStatement(c.sql);
        EXPECT_EQ(statement.problem, "");
        EXPECT_EQ(statement.sql, c.odbc);
        EXPECT_THAT(statement.markers, ElementsAreArray(c.markers));
        EXPECT_EQ(statement.lastCommand, c.command);
        EXPECT_EQ(statement.beginsWithCommit, c.commit);
    }
    EXPECT_THAT(odbcStatement("SELECT data ? 'key'").problem, HasSubstr("?"));
    EXPECT_THAT(odbcStatement("SELECT $0").problem, HasSubstr("$0"));
    EXPECT_THAT(odbcStatement("SELECT $99999").problem, HasSubstr("$99999"));
}

// The password and the client library's settings travel braced, which the
// driver takes off; a value the driver would take for a separator is refused.
TEST(OdbcConnectionString, PasswordAndSettingsAreBracedAndSeparatorsElsewhereRefused) {
    std::string problem;
    DatabaseUriParts uri{.user = "jig",
                         .password = "p;w}d",
                         .host = "db",
                         .port = "6543",
                         .database = "dl250t",
                         .parameters = {{"options", "-c x=it's"}, {"sslmode", "require"}}};
    const std::string text =
        odbcConnectionString(uri, "PostgreSQL Unicode", "dl250t L", "p;w}d", problem);
    EXPECT_THAT(text, HasSubstr("Driver={PostgreSQL Unicode};Server=db;Port=6543;Database=dl250t;"
                                "UID=jig;SSLmode=require;PWD={p;w}}d};Protocol=7.4-0;"));
    EXPECT_THAT(text, HasSubstr(";pqopt={application_name='dl250t L' options='-c x=it\\'s'}"));
    uri.database = "a;b";
    EXPECT_EQ(odbcConnectionString(uri, "PostgreSQL Unicode", "x", "", problem), "");
    EXPECT_THAT(problem, HasSubstr("Database holds ;"));
}

}  // namespace
}  // namespace dl250t
