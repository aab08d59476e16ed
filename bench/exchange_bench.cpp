// Read and Write commands end to end against the wire time: the controller,
// the POSIX serial port and a simulated module that sends at the real line
// rate over a pseudo-terminal. Prints the median and spread of each.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "app/config_dialog.hpp"
#include "app/headless_window_host.hpp"
#include "exchange_timing.hpp"
#include "platform/posix/posix_file_store.hpp"
#include "platform/posix/posix_serial_port.hpp"
#include "sim/simulated_module.hpp"
#include "ui/in_memory_form_view.hpp"

namespace dl250t {
namespace {

using namespace bench;

int run(int runs) {
    char pattern[] = "/tmp/dl250t-bench-XXXXXX";
    if (mkdtemp(pattern) == nullptr) {
        return 1;
    }
    const std::filesystem::path dir = pattern;
    SimulatedModuleOptions options;
    options.portDirectory = dir / "ports";
    options.comNumber = 230;
    options.pace = true;
    SimulatedModule module(options);
    if (!module.plugIn()) {
        std::fprintf(stderr, "cannot plug in the simulated module: %s\n",
                     module.lastError().c_str());
        return 1;
    }

    InMemoryFormView view;
    QuietPrompter prompter;
    HeadlessWindowHost host;
    PosixSerialPortFactory ports(dir / "ports");
    SystemClock clock;
    PosixFileStore files;
    ConfigDialog dialog({view, prompter, host, ports, clock, files, "bench"});
    dialog.initialise();
    view.setText(ctl::Port, "COM230");
    // A module whose settings lie inside every range, so that neither Read
    // nor Write stops for a warning.
    dialog.apply();
    ConfigBlock typical = dialog.workingBlock();
    stampHeaderAndCrc(typical);
    module.setBlock(typical);

    int failed = 0;
    const Summary read = timeRuns(runs, [&] { failed += dialog.read() != Outcome::ModuleRead; });
    const Summary write =
        timeRuns(runs, [&] { failed += dialog.write() != Outcome::ModuleWritten; });
    printFigure("Read command", read, kReadWireMs, runs);
    printFigure("Write command", write, kWriteWireMs, runs);
    module.unplug();
    std::filesystem::remove_all(dir);
    if (failed != 0) {
        std::fprintf(stderr, "%d of %d commands failed\n", failed, 2 * runs);
    }
    return failed == 0 && prompter.messages == 0 ? 0 : 1;
}

}  // namespace
}  // namespace dl250t

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
    return dl250t::run(runs);
}
