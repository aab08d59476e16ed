// Read and Write commands end to end against the wire time, through the
// controller and the system's own serial port, against a module on a named
// port: on Linux a COM name or device, under Wine a COM link of the prefix to
// a simulated module that sends at the real line rate. Prints the median and
// spread of each.
// Usage: port_exchange_bench PORT [RUNS [SYSTEM]]   (RUNS default 20; SYSTEM
// names the figures, such as "Wine")
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/config_dialog.hpp"
#include "app/headless_window_host.hpp"
#include "exchange_timing.hpp"
#include "platform/program_console.hpp"
#include "platform/serial_ports.hpp"
#include "platform/system_files.hpp"
#include "ui/in_memory_form_view.hpp"

namespace dl250t {
namespace {

using namespace bench;

int run(const std::string& port, int runs, const std::string& system) {
    InMemoryFormView view;
    QuietPrompter prompter;
    HeadlessWindowHost host;
    const auto ports = makeSystemSerialPortFactory();
    SystemClock clock;
    const auto files = makeSystemFileStore();
    ConfigDialog dialog({view, prompter, host, *ports, clock, *files, "bench"});
    dialog.initialise();
    view.setText(ctl::Port, port);

    // Settings inside every range, written once untimed, so that the module
    // then holds them and neither Read nor Write stops for a warning.
    dialog.apply();
    if (dialog.write() != Outcome::ModuleWritten) {
        std::fprintf(stderr, "no module answers on %s: %s\n", port.c_str(),
                     view.text(ctl::StatusLine).c_str());
        return 1;
    }

    int failures = 0;
    const Summary read = timeRuns(runs, [&] { failures += dialog.read() != Outcome::ModuleRead; });
    const Summary write =
        timeRuns(runs, [&] { failures += dialog.write() != Outcome::ModuleWritten; });
    const std::string suffix = system.empty() ? "" : " (" + system + ")";
    printFigure(("Read command" + suffix).c_str(), read, kReadWireMs, runs);
    printFigure(("Write command" + suffix).c_str(), write, kWriteWireMs, runs);
    if (failures > 0) {
        std::fprintf(stderr, "%d commands failed\n", failures);
    }
    return failures == 0 && prompter.messages == 0 ? 0 : 1;
}

}  // namespace
}  // namespace dl250t

int main(int argc, char** argv) {
    const dl250t::ProgramConsole console(argc, argv);
    const auto& args = console.arguments();
    if (args.empty()) {
        std::fprintf(stderr, "usage: port_exchange_bench PORT [RUNS [SYSTEM]]\n");
        return 2;
    }
    const int runs = args.size() > 1 ? std::max(1, std::atoi(args[1].c_str())) : 20;
    return dl250t::run(args[0], runs, args.size() > 2 ? args[2] : "");
}
