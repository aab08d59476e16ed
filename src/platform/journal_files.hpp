#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "production/csv_journal.hpp"

namespace dl250t {

// The journal's time column: ISO 8601 local time with the offset from UTC,
// such as 2024-03-05T14:07:09+08:00.
std::string localTimeText(std::chrono::system_clock::time_point time);

// This machine's name, for the journal's station column.
std::string hostName();

// The CSV journal at `path` (UTF-8) on the system the program runs on.
// `moduleText` turns a module's own bytes into UTF-8 (see CsvJournalTexts).
std::unique_ptr<CsvJournal> makeCsvJournal(
    const std::string& path, std::function<std::string(std::string_view)> moduleText = {});

}  // namespace dl250t
