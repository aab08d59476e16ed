#include <signal.h>

#include <iostream>

#include "cli_app.hpp"
#include "platform/posix/signal_cleanup.hpp"
#include "standard_streams.hpp"

int main(int argc, char** argv) {
    using namespace dl250t;
    // Before anything is opened: a file or port must never become fd 1.
    const cli::StandardDescriptors closed = cli::StandardDescriptors::protect();
    SignalCleanup::install();
    // A reader that has gone away is a failed write, checked like any other.
    signal(SIGPIPE, SIG_IGN);
    std::ios::sync_with_stdio(false);

    cli::CheckedOutput output(1, !closed.outputClosed);
    std::ostream out(&output);
    std::istream closedInput(nullptr);  // fails every read
    std::istream& in = closed.inputClosed ? closedInput : std::cin;
    const int status = cli::runCli({argv + 1, argv + argc}, in, out, std::cerr);
    return cli::statusAfterOutput(output.close(), status, std::cerr);
}
