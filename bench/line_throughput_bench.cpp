// Modules per second of one production line with 1, 2 and 4 stations: each
// station a dl250t-cli station process with simulated modules that send at
// the real line rate, plugged in one after another as soon as the station
// has told of the one before. The stations record in one CSV journal that
// they share, then in one line of a PostgreSQL database, whose stations take
// turns only to reserve a number and write their modules side by side.
// Usage: line_throughput_bench [MODULES [DATABASE_URI [DL250T-CLI]]]
//   MODULES: modules per station (default 20); without DATABASE_URI only the
//   CSV journal is measured.

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "config/config_file.hpp"
#include "platform/posix/posix_file_store.hpp"
#include "sim/simulated_module.hpp"
#include "station_process.hpp"

namespace {

using namespace dl250t;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr auto kPatience = std::chrono::seconds(10);

struct LineRun {
    double seconds = 0;
    int written = 0;
    std::size_t distinctSerials = 0;
    bool clean = true;
};

std::uint64_t serialNumber(const ConfigBlock& block) {
    std::uint64_t number = 0;
    for (std::size_t i = 0; i < block::kSerialSize; ++i) {
        number = number << 8 | block[block::kSerial + i];
    }
    return number;
}

// With a CSV journal each station counts on its own, so each is given a
// range of numbers of its own.
LineRun runLine(const std::string& cli, const fs::path& root, const fs::path& settings,
                const std::vector<std::string>& journal, bool ownRanges, int stationCount,
                int modules) {
    static int runs = 0;
    ++runs;
    std::vector<std::unique_ptr<bench::StationProcess>> stations;
    std::vector<fs::path> portDirectories;
    LineRun run;
    for (int i = 0; i < stationCount; ++i) {
        const fs::path runtime = root / ("run-" + std::to_string(runs) + "-" + std::to_string(i));
        fs::create_directories(runtime);
        fs::permissions(runtime, fs::perms::owner_all, fs::perm_options::replace);
        std::vector<std::string> args{cli, "station", settings.string()};
        args.insert(args.end(), journal.begin(), journal.end());
        if (ownRanges) {
            char serial[32];
            std::snprintf(serial, sizeof serial, "00 00 00 %02X 00 00", i + 1);
            args.insert(args.end(), {"--serial", serial});
        }
        stations.push_back(std::make_unique<bench::StationProcess>(args, runtime, runtime / "out"));
        portDirectories.push_back(runtime / "dl250t" / "ports");
        if (!stations.back()->waitForLines(1, kPatience)) {
            std::printf("station %d did not get ready\n", i + 1);
            run.clean = false;
            return run;
        }
    }
    std::vector<std::vector<std::uint64_t>> stored(stationCount);
    std::atomic<int> written{0};
    std::atomic<bool> clean{true};
    std::vector<std::thread> feeders;
    const auto start = Clock::now();
    for (int i = 0; i < stationCount; ++i) {
        feeders.emplace_back([&, i] {
            for (int m = 0; m < modules; ++m) {
                SimulatedModuleOptions options;
                options.portDirectory = portDirectories[i];
                options.comNumber = 3;
                options.pace = true;
                SimulatedModule module(options);
                if (!module.plugIn() ||
                    !stations[i]->waitForLines(static_cast<std::size_t>(m) + 2, kPatience)) {
                    clean = false;
                    return;
                }
                module.unplug();
                if (const auto block = module.lastStored(); block && module.storedCount() == 1) {
                    stored[i].push_back(serialNumber(*block));
                    ++written;
                }
            }
        });
    }
    for (std::thread& feeder : feeders) {
        feeder.join();
    }
    run.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    for (auto& station : stations) {
        clean = station->stop() && clean;
    }
    std::set<std::uint64_t> serials;
    for (const auto& numbers : stored) {
        serials.insert(numbers.begin(), numbers.end());
    }
    run.written = written;
    run.distinctSerials = serials.size();
    run.clean = clean;
    return run;
}

}  // namespace

int main(int argc, char** argv) {
    const int modules = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
    const std::string database = argc > 2 ? argv[2] : "";
    const std::string cli = argc > 3
                                ? std::string(argv[3])
                                : (fs::canonical("/proc/self/exe").parent_path().parent_path() /
                                   "tools" / "cli" / "dl250t-cli")
                                      .string();
    std::string pattern = (fs::temp_directory_path() / "dl250t-line-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        std::fprintf(stderr, "no temporary folder\n");
        return 2;
    }
    const fs::path root = pattern;
    const fs::path settings = root / "line.cfg";
    ConfigBlock block = makeInitialWorkingBlock();
    PosixFileStore files;
    if (saveConfigFile(files, settings, block) != Outcome::FileWritten) {
        std::fprintf(stderr, "cannot save %s\n", settings.c_str());
        return 2;
    }

    struct Journal {
        const char* name;
        bool database;
    };
    std::vector<Journal> journals{{"CSV journal", false}};
    if (!database.empty()) {
        journals.push_back({"database journal", true});
    }
    bool ok = true;
    const auto lineName = [] {
        return "bench-" + std::to_string(getpid()) + "-" +
               std::to_string(Clock::now().time_since_epoch().count());
    };
    for (const Journal& journal : journals) {
        double single = 0;
        for (const int stations : {1, 2, 4}) {
            const std::vector<std::string> args =
                journal.database
                    ? std::vector<std::string>{"--journal", database, "--line", lineName()}
                    : std::vector<std::string>{
                          "--journal",
                          (root / ("journal-" + std::to_string(stations) + ".csv")).string()};
            const LineRun run =
                runLine(cli, root, settings, args, !journal.database, stations, modules);
            const double rate = run.written / run.seconds;
            if (stations == 1) {
                single = rate;
            }
            const bool distinct = run.distinctSerials == static_cast<std::size_t>(run.written);
            std::printf(
                "%-17s %d station%s  %4d modules in %6.2f s  %6.2f modules/s  %.2f x one "
                "station  serial numbers %s\n",
                journal.name, stations, stations == 1 ? " " : "s", run.written, run.seconds, rate,
                single > 0 ? rate / single : 0.0, distinct ? "distinct" : "REPEATED");
            ok = ok && run.clean && distinct && run.written == stations * modules;
        }
    }
    std::error_code ec;
    fs::remove_all(root, ec);
    std::printf("%s\n", ok ? "PASS" : "FAIL");
    return ok ? 0 : 1;
}
