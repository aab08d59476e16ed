#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "production/production_options.hpp"

namespace dl250t::cli {

// The traceability options of the commands that talk to modules: a label
// printed for every module written (--label TEMPLATE --printer DEST, write
// and station) and the records as JSON lines (--json).
struct TraceOptions {
    std::optional<std::string> labelTemplate;
    std::optional<std::string> printer;
    bool json = false;
};

// Takes the traceability option at args[i], moving i onto its value. An
// option without its value, or --label and --printer where `labels` is
// false, is not taken: the command calls it unexpected.
TakenOption takeTraceOption(const std::vector<std::string>& args, std::size_t& i,
                            TraceOptions& options, bool labels);

// Why the options taken cannot go together; empty when they can. `fileOutput`
// says the command writes a file to standard output, which --json needs.
std::string traceOptionsProblem(const TraceOptions& options, bool fileOutput);

// The production line the modules are recorded for, as labels and JSON
// records name it: a database journal's line; none for a CSV journal or none.
std::optional<std::string> productionLineName(const ProductionOptions& options);

}  // namespace dl250t::cli
