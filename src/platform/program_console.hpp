#pragma once

#include <string>
#include <vector>

namespace dl250t {

// What a command-line program needs from its system for the length of its
// run: the arguments after the program's name as UTF-8, and standard streams
// that carry the program's UTF-8 bytes unchanged, so that the same command
// prints the same bytes on every system. One per program, made first thing in
// main(); what it changes on the console is restored when it is destroyed.
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
