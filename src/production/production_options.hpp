#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace dl250t {

// What a program's command line says about production: the journal every
// module written is recorded in (--journal), the line of a database journal
// (--line), and verification of every block written (--verify). The windows
// and the companion read these options alike.
struct ProductionOptions {
    std::optional<std::string> journal;
    std::optional<std::string> line;
    bool verify = false;
};

// Where the programs differ: each words its refusals as it always has, and a
// build without a database journal has no production lines.
struct ProductionOptionRules {
    // Why a --journal at the end of the command line is refused; when empty,
    // it is not taken, and the program calls it an unexpected argument.
    std::string_view journalWithoutValue;
    // Why a --journal with an empty value, or with an option where its value
    // should be, is refused.
    std::string_view emptyJournal;
    // Why a --line without a --journal is refused.
    std::string_view lineWithoutJournal;
    // Whether --line is an option of the program at all.
    bool takesLine = true;
};

// What takeProductionOption made of an argument.
struct TakenOption {
    // It was a production option, taken with its value.
    bool taken = false;
    // Why it was refused, in the program's words; empty when it was not.
    std::string problem;
};

// Takes the production option at args[i] into `options`, and moves i onto its
// value when it has one. An argument that is no production option (or one
// whose value is missing, and that the program calls unexpected) is neither
// taken nor refused: the program goes on with its own options.
TakenOption takeProductionOption(const std::vector<std::string>& args, std::size_t& i,
                                 ProductionOptions& options, const ProductionOptionRules& rules);

// Why a journal and line cannot be chosen, in words for the operator; empty
// when they can. The program's journals say (see journalChoiceProblem).
using JournalCheck =
    std::function<std::string(const std::string& journal, const std::optional<std::string>& line)>;

// Why the options taken cannot go together: a --line without a --journal, or
// what `journalProblem` says of the journal and line; empty when they can.
std::string productionOptionsProblem(const ProductionOptions& options,
                                     const ProductionOptionRules& rules,
                                     const JournalCheck& journalProblem);

}  // namespace dl250t
