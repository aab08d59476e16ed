#include "trace_options.hpp"

#include "production/journal_choice.hpp"

namespace dl250t::cli {

TakenOption takeTraceOption(const std::vector<std::string>& args, std::size_t& i,
                            TraceOptions& options, bool labels) {
    const std::string& arg = args[i];
    if (arg == "--json") {
        options.json = true;
        return {.taken = true, .problem = {}};
    }
    const bool hasValue = i + 1 < args.size();
    if (!labels || !hasValue || (arg != "--label" && arg != "--printer")) {
        return {};
    }
    auto& value = arg == "--label" ? options.labelTemplate : options.printer;
    value = args[++i];
    if (value->empty() || value->starts_with("--")) {
        return {.taken = true, .problem = arg + " takes a value"};
    }
    return {.taken = true, .problem = {}};
}

std::string traceOptionsProblem(const TraceOptions& options, bool fileOutput) {
    if (options.labelTemplate.has_value() != options.printer.has_value()) {
        return "--label TEMPLATE and --printer DEST go together";
    }
    if (options.json && fileOutput) {
        return "--json takes standard output, give -o FILE.cfg";
    }
    return {};
}

std::optional<std::string> productionLineName(const ProductionOptions& options) {
    if (!options.journal || !isDatabaseJournal(*options.journal)) {
        return std::nullopt;
    }
    return options.line.value_or(std::string(kDefaultLine));
}

}  // namespace dl250t::cli
