#include "app/window_command_line.hpp"

#include <gtest/gtest.h>

namespace dl250t {
namespace {

// The rules of a window with a database journal, of one without, and of a
// program that calls a --journal without its value unexpected.
constexpr ProductionOptionRules kWindow = {
    .journalWithoutValue = "--journal takes a file or a URI",
    .emptyJournal = "--journal takes a file or a URI",
    .lineWithoutJournal = "--line goes with --journal postgresql://...",
};
constexpr ProductionOptionRules kCsvOnly = {.journalWithoutValue = "--journal takes a file",
                                            .emptyJournal = "--journal takes a file",
                                            .lineWithoutJournal = {},
                                            .takesLine = false};
constexpr ProductionOptionRules kNoMissingValue = {
    .journalWithoutValue = {}, .emptyJournal = "empty", .lineWithoutJournal = "lonely line"};

// Refusals are the first fault in the order given; --help wins only over
// what follows it; the journal check sees the journal and line as given.
TEST(WindowCommandLine, TakesProductionOptionsAndRefusesTheRestInTheProgramsWords) {
    struct Case {
        std::vector<std::string> args;
        const ProductionOptionRules& rules;
        ProductionOptions expected;
        bool help;
        std::string problem;
    };
    const Case cases[] = {
        {{}, kWindow, {}, false, ""},
        {{"--verify", "--journal", "a.csv"}, kWindow, {"a.csv", {}, true}, false, ""},
        {{"--journal", "--line"}, kWindow, {}, false, "--journal takes a file or a URI"},
        {{"--journal", "db", "--line", "L"}, kWindow, {"db", "L", false}, false, "db has no L"},
        {{"--journal"}, kWindow, {}, false, "--journal takes a file or a URI"},
        {{"--journal", "", "--bogus"}, kWindow, {}, false, "--journal takes a file or a URI"},
        {{"--verify", "--line", "L"},
         kWindow,
         {{}, "L", true},
         false,
         "--line goes with --journal postgresql://..."},
        {{"--journal", "a.csv", "--line"},
         kWindow,
         {"a.csv", {}, false},
         false,
         "unexpected argument --line"},
        {{"--help", "--bogus"}, kWindow, {}, true, ""},
        {{"--bogus", "-h"}, kWindow, {}, false, "unexpected argument --bogus"},
        {{"--journal", "a.csv", "--line", "L"},
         kCsvOnly,
         {"a.csv", {}, false},
         false,
         "unexpected argument --line"},
        {{"--journal", ""}, kCsvOnly, {}, false, "--journal takes a file"},
        {{"--verify", "--journal"},
         kNoMissingValue,
         {{}, {}, true},
         false,
         "unexpected argument --journal"},
        {{"--journal", ""}, kNoMissingValue, {}, false, "empty"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.args));
        const WindowCommandLine read = readWindowCommandLine(
            c.args, c.rules,
            [](const std::string& journal, const std::optional<std::string>& line) {
                return line && journal == "db" ? journal + " has no " + *line : std::string();
            });
        EXPECT_EQ(read.production.journal, c.expected.journal);
        EXPECT_EQ(read.production.line, c.expected.line);
        EXPECT_EQ(read.production.verify, c.expected.verify);
        EXPECT_EQ(read.help, c.help);
        EXPECT_EQ(read.problem, c.problem);
    }
}

}  // namespace
}  // namespace dl250t
