// dl250t-sim: a simulated module on a pseudo-terminal, plugged in through the
// port directory so that the tool finds it as a COM port.

#include <signal.h>
#include <time.h>

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "config/config_file.hpp"
#include "platform/posix/port_directory.hpp"
#include "platform/posix/port_names.hpp"
#include "platform/system_files.hpp"
#include "sim/simulated_module.hpp"

namespace {

using namespace dl250t;

constexpr const char* kUsage =
    "usage: dl250t-sim [--port COMn] [--port-dir DIR] [--block FILE.cfg] [--store FILE.cfg]\n"
    "                  [--pace] [--fault FAULT] [--unplug-after SECONDS]\n"
    "\n"
    "Plays a module on a pseudo-terminal: answers ATR0 with its block, stores a\n"
    "written block and answers ATOK. Plugs in by linking COMn in the port directory\n"
    "to the terminal and unplugs on exit.\n"
    "\n"
    "  --port COMn            the name to take (default: the lowest free from COM1)\n"
    "  --port-dir DIR         the port directory (default: the tool's own)\n"
    "  --block FILE.cfg       the block to start with (default: a factory-set 433 MHz node)\n"
    "  --store FILE.cfg       also save every written block to this file\n"
    "  --pace                 send at the real line rate, 10 bits a byte at 115200 baud\n"
    "  --fault FAULT          silent, short:N, pause:OFFSET:MS, bad-crc, bad-keyword,\n"
    "                         no-ack, short-ack, wrong-ack, garbage, hangup:OFFSET,\n"
    "                         bursts:SIZE:MS (answers in SIZE-byte bursts MS apart)\n"
    "                         corrupt-store\n"
    "  --unplug-after SECONDS unplug and exit after this long\n";

int usageError(const std::string& message) {
    std::fprintf(stderr, "dl250t-sim: %s\n%s", message.c_str(), kUsage);
    return 2;
}

void printEvent(std::string_view text) {
    std::printf("%.*s\n", static_cast<int>(text.size()), text.data());
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    SimulatedModuleOptions options;
    options.portDirectory = defaultPortDirectory();
    options.onEvent = printEvent;
    double unplugAfterSeconds = -1;

    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const auto value = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (arg == "--pace") {
            options.pace = true;
        } else if (arg == "--port") {
            const char* text = value();
            const auto number = text ? parseComName(text) : std::nullopt;
            if (!number) {
                return usageError("--port takes a name such as COM3");
            }
            options.comNumber = *number;
        } else if (arg == "--port-dir") {
            const char* text = value();
            if (!text) {
                return usageError("--port-dir takes a folder");
            }
            options.portDirectory = text;
        } else if (arg == "--block") {
            const char* text = value();
            if (!text) {
                return usageError("--block takes a file");
            }
            const LoadedConfigFile loaded = loadConfigFile(*makeSystemFileStore(), text);
            const bool readable = loaded.opened && !loaded.readFailed;
            if (!readable || loaded.check != BlockCheck::Ok) {
                std::fprintf(stderr, "dl250t-sim: %s: %s\n", text,
                             readable ? std::string(blockCheckName(loaded.check)).c_str()
                                      : "cannot be read");
                return 1;
            }
            options.block = loaded.block;
        } else if (arg == "--store") {
            const char* text = value();
            if (!text) {
                return usageError("--store takes a file");
            }
            options.storeFile = text;
        } else if (arg == "--fault") {
            const char* text = value();
            const auto fault = text ? parseSimulatedFault(text) : std::nullopt;
            if (!fault) {
                return usageError("unknown fault");
            }
            options.fault = *fault;
        } else if (arg == "--unplug-after") {
            const char* text = value();
            char* end = nullptr;
            unplugAfterSeconds = text ? std::strtod(text, &end) : -1;
            if (!text || end == text || *end != '\0' || unplugAfterSeconds < 0) {
                return usageError("--unplug-after takes a number of seconds");
            }
        } else {
            return usageError("unknown argument " + std::string(arg));
        }
    }

    // Signals are taken synchronously below; the module's thread inherits the mask.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    SimulatedModule module(options);
    if (!module.plugIn()) {
        std::fprintf(stderr, "dl250t-sim: %s\n", module.lastError().c_str());
        return 1;
    }

    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const double start = static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
    while (module.isPluggedIn()) {
        // Wake now and then to notice a hang-up fault that unplugged the module.
        timespec tick{0, 100'000'000};
        if (sigtimedwait(&signals, nullptr, &tick) > 0) {
            break;
        }
        clock_gettime(CLOCK_MONOTONIC, &now);
        const double elapsed =
            static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9 - start;
        if (unplugAfterSeconds >= 0 && elapsed >= unplugAfterSeconds) {
            break;
        }
    }
    module.unplug();
    return 0;
}
