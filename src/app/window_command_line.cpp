#include "app/window_command_line.hpp"

namespace dl250t {

WindowCommandLine readWindowCommandLine(const std::vector<std::string>& args,
                                        const ProductionOptionRules& rules,
                                        const JournalCheck& journalProblem) {
    WindowCommandLine result;
    for (std::size_t i = 0; i < args.size(); ++i) {
        TakenOption taken = takeProductionOption(args, i, result.production, rules);
        if (!taken.problem.empty()) {
            result.problem = std::move(taken.problem);
            return result;
        }
        if (taken.taken) {
            continue;
        }
        if (args[i] == "--help" || args[i] == "-h") {
            result.help = true;
            return result;
        }
        result.problem = "unexpected argument " + args[i];
        return result;
    }
    result.problem = productionOptionsProblem(result.production, rules, journalProblem);
    return result;
}

}  // namespace dl250t
