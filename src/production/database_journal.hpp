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
// A module that is written takes its number in a short transaction of its
// own before its block leaves: the line's row is locked, the line's next
// number taken (skipping every number the journal holds already, so that a
// line put back by a restored backup never gives one twice), the module's row
// added with the outcome "reserved", the line advanced, and all committed.
// Once the module is done, that row is settled with the outcome. The line's
// row is locked only while a number is taken, so the stations of a line write
// their modules side by side. A number once reserved is used up whatever
// happens next: a module that failed leaves a gap that its row explains,
// never a duplicate.
//
// A station's session holds an advisory lock on each reservation it has not
// settled yet. A reservation whose lock is free belongs to a station that is
// gone (killed, or its session ended): the next station that opens the
// journal records it as "interrupted". A station that only lost its session
// settles its reservation all the same once it reaches the server again.
//
// Every wait for the server is bounded, so that a server that stops
// answering stops the station instead of hanging it. After any failure the
// connection is dropped (the server rolls back what was open and releases
// the session's locks) and the next module connects afresh.
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

    // Connects, creates the tables when they are missing (or adds what an
    // earlier release did not make), finds the line's next number, making the
    // line when it is new and a number to start it at is known, and records
    // the line's reservations of stations that are gone as interrupted. With a
    // start number, a line that is elsewhere refuses to open.
    bool open() override;
    // The line's next serial number when it opened; nothing for a line that
    // is not made yet.
    std::optional<SerialNumber> resumeSerial() const override { return resume_; }

    // Makes sure of the connection: one lost while the station sat between
    // two modules (a server restarted) is made again, once.
    bool beginModule() override;

    // Creates the line at the proposed number when it is new and reserves
    // the line's next number that the journal does not hold: the database's
    // number wins over the form's. True only once the reservation is
    // committed.
    bool reserveSerial(ModuleRecord& record) override;

    // Settles the module's reservation, connecting again once when the
    // connection was lost meanwhile; a module that reserved nothing gets a
    // row of its own, which does not advance the line.
    bool finishModule(const ModuleRecord& record) override;

    std::string problem() const override { return problem_; }

private:
    DatabaseAnswer run(std::string_view sql,
                       const std::vector<std::optional<std::string>>& parameters,
                       std::chrono::milliseconds limit);
    // A number reserved and not settled yet: its row and the number.
    struct Reservation {
        std::string id;
        SerialNumber serial;
    };

    bool fail(std::string problem);
    // Drops the connection (the server rolls back an open transaction and
    // releases the session's locks) and keeps the reason.
    bool failAndDisconnect(std::string problem);
    // open() without a word on the module in hand.
    bool openConnection();
    bool connect();
    bool createTables();
    // Makes the line at `start` unless it is there already.
    bool createLine(SerialNumber start);
    bool findLine();
    bool interruptAbandoned();
    bool addRow(const ModuleRecord& record);
    bool settle(const ModuleRecord& record);

    Settings settings_;
    std::unique_ptr<DatabaseConnection> connection_;
    bool opened_ = false;
    bool lineExists_ = false;
    bool moduleOpen_ = false;
    // The connection was made for the module in hand.
    bool fresh_ = false;
    std::optional<SerialNumber> resume_;
    std::optional<Reservation> reservation_;
    std::string problem_;
};

}  // namespace dl250t
