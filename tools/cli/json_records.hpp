#pragma once

#include <optional>
#include <string>

#include "production/production_journal.hpp"
#include "production/station.hpp"

namespace dl250t::cli {

// One module attempt as a line of JSON (--json): time, station, line, port,
// module, version, serial (as the form shows it), board, outcome ("ok" or the
// failure's text), verify, milliseconds, crc and label, null where the attempt
// has none. `line` is the production line of a database journal.
std::string moduleRecordJson(const ModuleRecord& record, const std::optional<std::string>& line);

// The end of a station's run as a line of JSON: written, failed, first and
// last (serial numbers as the form shows them, null when none was written).
std::string stationSummaryJson(const Station::Tally& tally);

}  // namespace dl250t::cli
