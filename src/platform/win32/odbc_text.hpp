#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "production/database_uri.hpp"

namespace dl250t {

// A statement as the journal writes it (PostgreSQL's $1, $2, … parameters,
// perhaps several statements separated by semicolons) turned into what an
// ODBC driver takes: a ? marker for each $n, bound in the order the markers
// come. Quoted text, quoted names, comments and dollar-quoted bodies are
// copied as they are, whatever they hold.
struct OdbcStatement {
    std::string sql;
    // For each marker, in order, which parameter it stands for (0 for $1).
    std::vector<std::size_t> markers;
    // The command of the last statement, upper case: its first word, or for
    // WITH … the command the WITH leads to (SELECT, INSERT, …).
    std::string lastCommand;
    // The text begins with COMMIT (or END): the client library's answer then
    // tells whether the transaction was committed or rolled back, which no
    // ODBC call tells.
    bool beginsWithCommit = false;
    // Why the text cannot go to the driver; empty when it can.
    std::string problem;
};

OdbcStatement odbcStatement(std::string_view sql);

// The command tag the server gives a statement with that command and
// outcome, as the client library shows it: SELECT 2, INSERT 0 1, UPDATE 1,
// COMMIT for END, ROLLBACK for ABORT, else the command.
std::string commandTag(std::string_view command, std::size_t rows, std::uint64_t affected);

// Whether the server counts the rows of a statement with that command (the
// client library's count is 0 for the others, where ODBC's is the rows).
bool countsRows(std::string_view command);

// The connection string for the PostgreSQL ODBC driver (psqlODBC) named
// `driver`, UTF-8; `password` is the one to give, or empty. Empty, with the
// reason in `problem`, when the URI holds what the driver cannot take.
std::string odbcConnectionString(const DatabaseUriParts& uri, std::string_view driver,
                                 std::string_view applicationName, std::string_view password,
                                 std::string& problem);

}  // namespace dl250t
