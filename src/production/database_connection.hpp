#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace dl250t {

// What the database made of a connection attempt or a statement.
struct DatabaseAnswer {
    enum class Status {
        Done,
        // The server answered with an error; the connection still stands.
        Refused,
        // Nothing came within the time allowed.
        NoAnswer,
        // The connection broke, or never stood.
        Lost,
    };

    Status status = Status::Lost;
    // The rows of a query, each value as text; nothing for NULL.
    std::vector<std::vector<std::optional<std::string>>> rows;
    // How many rows the statement inserted, updated or deleted.
    std::uint64_t affected = 0;
    // The statement's command tag: COMMIT for a commit that took, ROLLBACK for
    // one that ended a transaction that had failed.
    std::string command;
    // Why it is not Done, in the client library's words (may be empty, or
    // run over several lines).
    std::string problem;

    bool done() const { return status == Status::Done; }
};

// One connection to a database server, as the database journal needs it.
// Every call returns within the time it is given, whatever the server or
// the network does: a station must never hang on its journal.
class DatabaseConnection {
public:
    virtual ~DatabaseConnection() = default;

    // Connects to the database a connection URI names, with text in UTF-8
    // and the application name that the server shows for the session.
    virtual DatabaseAnswer connect(const std::string& uri, const std::string& applicationName,
                                   std::chrono::milliseconds limit) = 0;

    // Runs one statement with its parameters, as text (nothing is NULL). A
    // statement without parameters may be several, separated by semicolons:
    // the answer is then the last one's, or that of the first that failed.
    virtual DatabaseAnswer execute(std::string_view sql,
                                   const std::vector<std::optional<std::string>>& parameters,
                                   std::chrono::milliseconds limit) = 0;

    // Whether the connection still stands as far as can be told without a
    // statement: a server that ended the session has closed its end.
    virtual bool alive() = 0;

    // Ends the session; the server rolls back a transaction left open.
    virtual void close() = 0;
};

// Makes a connection that is not connected yet.
using DatabaseConnector = std::function<std::unique_ptr<DatabaseConnection>()>;

}  // namespace dl250t
