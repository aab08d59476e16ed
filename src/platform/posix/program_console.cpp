#include "platform/program_console.hpp"

namespace dl250t {

// Arguments and terminals already speak UTF-8 here.
ProgramConsole::ProgramConsole(int argc, char** argv) : arguments_(argv + 1, argv + argc) {}

ProgramConsole::~ProgramConsole() = default;

}  // namespace dl250t
