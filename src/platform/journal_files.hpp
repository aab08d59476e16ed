#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "production/csv_journal.hpp"
#include "production/database_connection.hpp"

namespace dl250t {

// The journal's time column: ISO 8601 local time with the offset from UTC,
// such as 2024-03-05T14:07:09+08:00.
std::string localTimeText(std::chrono::system_clock::time_point time);

// This machine's name, for the journal's station column.
std::string hostName();

// The file beneath a CSV journal at `path` (UTF-8), through the calls of the
// system the program runs on.
std::unique_ptr<JournalFile> openJournalFile(const std::string& path);

// Connections to a PostgreSQL database; none where the system has no
// database client.
DatabaseConnector databaseConnector();

}  // namespace dl250t
