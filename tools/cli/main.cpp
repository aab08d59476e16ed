#include <iostream>

#include "cli_app.hpp"
#include "platform/program_console.hpp"
#include "platform/signal_cleanup.hpp"
#include "standard_streams.hpp"

int main(int argc, char** argv) {
    using namespace dl250t;
    // Before anything is opened: a file or port must never become fd 1.
    const cli::StandardDescriptors closed = cli::StandardDescriptors::protect();
    const ProgramConsole console(argc, argv);
    SignalCleanup::install();
    std::ios::sync_with_stdio(false);

    cli::CheckedOutput output(1, !closed.outputClosed);
    std::ostream out(&output);
    std::istream closedInput(nullptr);  // fails every read
    std::istream& in = closed.inputClosed ? closedInput : std::cin;
    const int status = cli::runCli(console.arguments(), in, out, std::cerr);
    return cli::statusAfterOutput(output.close(), status, std::cerr);
}
