#pragma once

#include <string>
#include <vector>

namespace dl250t {

// What a command-line program needs from its system for the length of its
// run: the arguments after the program's name as UTF-8, and standard streams
// that carry the program's UTF-8 bytes unchanged, so that the same command
// prints the same bytes on every system; a write to a reader that has gone
// away fails instead of ending the program. One per program, made at the
// start of main(); what it changes on the console is restored when it is
// destroyed.
class ProgramConsole {
public:
    ProgramConsole(int argc, char** argv);
    ~ProgramConsole();
    ProgramConsole(const ProgramConsole&) = delete;
    ProgramConsole& operator=(const ProgramConsole&) = delete;

    const std::vector<std::string>& arguments() const { return arguments_; }

private:
    std::vector<std::string> arguments_;
};

}  // namespace dl250t
