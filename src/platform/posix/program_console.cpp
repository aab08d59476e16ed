#include "platform/program_console.hpp"

#include <signal.h>

namespace dl250t {

// Arguments and terminals already speak UTF-8 here. A reader that has gone
// away is a failed write, checked like any other, not the end of the program.
ProgramConsole::ProgramConsole(int argc, char** argv) : arguments_(argv + 1, argv + argc) {
    signal(SIGPIPE, SIG_IGN);
}

ProgramConsole::~ProgramConsole() = default;

}  // namespace dl250t
