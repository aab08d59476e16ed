#include <iostream>

#include "cli_app.hpp"
#include "platform/program_console.hpp"

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    const dl250t::ProgramConsole console(argc, argv);
    return dl250t::cli::runCli(console.arguments(), std::cin, std::cout, std::cerr);
}
