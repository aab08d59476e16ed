#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "production/database_connection.hpp"
#include "production/production_journal.hpp"

namespace dl250t {

// The production journal in a PostgreSQL database that the stations of a
// production line share. Two tables, created on first use: dl250t_line holds
// each line's next serial number, dl250t_journal one row per module with the
// CSV journal's columns and the line's name.
//
// Each module is one transaction. beginModule locks the line's row (SELECT …
// FOR UPDATE) and hands out its number; finishModule advances the number for
// a module written successfully, adds the module's row and commits. Stations
// of one line so take turns, one module at a time, and a station that dies
// or loses its connection in between has its transaction rolled back by the
// server: its number is neither lost nor given twice.
//
// Every wait for the server is bounded, so that a server that stops
// answering stops the station instead of hanging it. After any failure the
// connection is dropped (the server rolls back what was open) and the next
// module connects afresh.
class DatabaseJournal final : public ProductionJournal {
public:
    struct Settings {
        std::string uri;  // a connection URI
        std::string line;
        // A new line starts here; an existing line must be here already.
        std::optional<SerialNumber> startSerial = {};
        // Where a line that is new starts when no start number is asked for:
        // the number the program starts at without a journal. The line is
        // then made when the journal opens, so that every station shows the
        // line's number from its start. Without it, a new line is made at
        // the number of its first module.
        std::optional<SerialNumber> newLineSerial = {};
        std::string station = {};  // the machine's name
        // A module's own bytes as UTF-8; when not given, bytes that are not
        // UTF-8 become U+FFFD.
        std::function<std::string(std::string_view)> moduleText = {};
        // The database client of the system.
        DatabaseConnector connector = {};
    };

    explicit DatabaseJournal(Settings settings);
    ~DatabaseJournal() override;
    DatabaseJournal(const DatabaseJournal&) = delete;
    DatabaseJournal& operator=(const DatabaseJournal&) = delete;

    // Connects, creates the tables when they are missing, and finds the
    // line's next number, making the line when it is new and a number to
    // start it at is known. With a start number, a line that is elsewhere
    // refuses to open.
    bool open() override;
    // The line's next serial number when it opened; nothing for a line that
    // is not made yet.
    std::optional<SerialNumber> resumeSerial() const override { return resume_; }

    // Begins the module's transaction. A connection lost while the station
    // sat between two modules (a server restarted) is made again, once.
    bool beginModule() override;

    // Creates the line at the proposed number when it is new, waits for the
    // line's row and returns its number: the database's number wins over the
    // form's.
    bool reserveSerial(ModuleRecord& record) override;

    // Adds the module's row, advances the line for a module written
    // successfully with the number handed out, and commits.
    bool finishModule(const ModuleRecord& record) override;

    std::string problem() const override { return problem_; }

private:
    DatabaseAnswer run(std::string_view sql,
                       const std::vector<std::optional<std::string>>& parameters,
                       std::chrono::milliseconds limit);
    bool fail(std::string problem);
    // Drops the connection (the server rolls back an open transaction) and
    // keeps the reason.
    bool failAndDisconnect(std::string problem);
    bool connect();
    bool createTables();
    // Makes the line at `start` unless it is there already.
    bool createLine(SerialNumber start);
    bool findLine();
    bool beginTransaction();

    Settings settings_;
    std::unique_ptr<DatabaseConnection> connection_;
    bool opened_ = false;
    bool lineExists_ = false;
    bool moduleOpen_ = false;
    std::optional<SerialNumber> resume_;
    // The number handed out to the module in hand.
    std::optional<SerialNumber> held_;
    std::string problem_;
};

}  // namespace dl250t
