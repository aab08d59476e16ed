#include "production/production_options.hpp"

namespace dl250t {

TakenOption takeProductionOption(const std::vector<std::string>& args, std::size_t& i,
                                 ProductionOptions& options, const ProductionOptionRules& rules) {
    const std::string& arg = args[i];
    const bool hasValue = i + 1 < args.size();
    if (arg == "--journal") {
        if (!hasValue) {
            return {.taken = false, .problem = std::string(rules.journalWithoutValue)};
        }
        // An option where the journal should be is a script that left the
        // journal out: taken as a file name, `--journal --verify` would
        // record in a file named "--verify" and not verify at all. A file of
        // such a name is still "./--verify".
        if (args[i + 1].empty() || args[i + 1].starts_with("--")) {
            return {.taken = false, .problem = std::string(rules.emptyJournal)};
        }
        options.journal = args[++i];
        return {.taken = true, .problem = {}};
    }
    if (arg == "--line" && rules.takesLine && hasValue) {
        options.line = args[++i];
        return {.taken = true, .problem = {}};
    }
    if (arg == "--verify") {
        options.verify = true;
        return {.taken = true, .problem = {}};
    }
    return {};
}

std::string productionOptionsProblem(const ProductionOptions& options,
                                     const ProductionOptionRules& rules,
                                     const JournalCheck& journalProblem) {
    if (options.line && !options.journal) {
        return std::string(rules.lineWithoutJournal);
    }
    return options.journal ? journalProblem(*options.journal, options.line) : std::string();
}

}  // namespace dl250t
