// Read and Write commands end to end against the wire time: the controller,
// the POSIX serial port and a simulated module that sends at the real line
// rate over a pseudo-terminal. Prints the median and spread of each.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/config_dialog.hpp"
#include "app/headless_window_host.hpp"
#include "platform/posix/posix_file_store.hpp"
#include "platform/posix/posix_serial_port.hpp"
#include "sim/simulated_module.hpp"
#include "ui/in_memory_form_view.hpp"

namespace dl250t {
namespace {

using Clock_ = std::chrono::steady_clock;

class QuietPrompter final : public Prompter {
public:
    void showMessage(std::string_view text, std::string_view, MessageIcon) override {
        std::fprintf(stderr, "unexpected message: %.*s\n", static_cast<int>(text.size()),
                     text.data());
        ++messages;
    }
    std::optional<std::string> chooseFile(const FileRequest&) override { return std::nullopt; }
    int messages = 0;
};

struct Summary {
    double median, min, max;
};

Summary summarise(std::vector<double> ms) {
    std::sort(ms.begin(), ms.end());
    return {ms[ms.size() / 2], ms.front(), ms.back()};
}

void print(const char* what, const Summary& s, double wireMs, int runs) {
    const double target = 1.10 * wireMs;
    std::printf(
        "%-22s median %7.2f ms  (min %7.2f, max %7.2f, %d runs)  wire %6.1f ms  ratio %.3f  "
        "target <= %.1f ms: %s\n",
        what, s.median, s.min, s.max, runs, wireMs, s.median / wireMs, target,
        s.median <= target ? "met" : "NOT met");
}

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

    auto time = [&](auto command) {
        std::vector<double> ms;
        for (int i = 0; i < runs; ++i) {
            const auto start = Clock_::now();
            command();
            ms.push_back(std::chrono::duration<double, std::milli>(Clock_::now() - start).count());
        }
        return summarise(ms);
    };
    // One byte is 10 bits at 115200 baud.
    const double byteMs = 10.0 / 115.2;
    int failed = 0;
    const Summary read = time([&] { failed += dialog.read() != Outcome::ModuleRead; });
    const Summary write = time([&] { failed += dialog.write() != Outcome::ModuleWritten; });
    print("Read command", read, (4 + 518) * byteMs, runs);
    print("Write command", write, (4 + 518 + 518 + 4) * byteMs, runs);
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
