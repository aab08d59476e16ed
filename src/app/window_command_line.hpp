#pragma once

#include <string>
#include <vector>

#include "production/production_options.hpp"

namespace dl250t {

// A window's command line: the production options, or a request for the
// usage, or why it was refused. A mistyped option must not leave a production
// line running without its journal, so anything else is refused.
struct WindowCommandLine {
    ProductionOptions production;
    // --help or -h: the usage, and nothing else.
    bool help = false;
    // Why the command line was refused, without the program's name; empty
    // when it was not.
    std::string problem;
};

// The arguments after the program's name, as the window's program takes them.
WindowCommandLine readWindowCommandLine(const std::vector<std::string>& args,
                                        const ProductionOptionRules& rules,
                                        const JournalCheck& journalProblem);

}  // namespace dl250t
