// The companion as a script runs it: one `dl250t-cli` process per command,
// its start included. Times `dl250t-cli --help` (the start alone) and
// `dl250t-cli write` against a simulated module that sends at the real line
// rate, the write against the wire time. Prints the median and spread of each.
// Usage: companion_start_bench DL250T-CLI [RUNS]   (RUNS default 20)
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "config/config_file.hpp"
#include "exchange_timing.hpp"
#include "platform/posix/posix_file_store.hpp"
#include "sim/simulated_module.hpp"

extern char** environ;

namespace dl250t {
namespace {

using namespace bench;

// Runs the program to its end with its output dropped; its exit status, or
// -1 when it did not start or end normally.
int runProgram(std::vector<std::string> command) {
    std::vector<char*> argv;
    for (std::string& arg : command) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    if (spawned != 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) {
        return -1;
    }
    return WEXITSTATUS(status);
}

int run(const std::string& cli, int runs) {
    char pattern[] = "/tmp/dl250t-bench-XXXXXX";
    if (mkdtemp(pattern) == nullptr) {
        return 1;
    }
    const std::filesystem::path dir = pattern;
    // The companion finds the module in the port directory under this folder.
    setenv("XDG_RUNTIME_DIR", dir.c_str(), 1);
    SimulatedModuleOptions options;
    options.portDirectory = dir / "dl250t" / "ports";
    options.comNumber = 230;
    options.pace = true;
    SimulatedModule module(options);
    const std::filesystem::path settings = dir / "line.cfg";
    PosixFileStore files;
    ConfigBlock block = makeInitialWorkingBlock();
    if (!module.plugIn() ||
        saveConfigFile(files, settings.string(), block) != Outcome::FileWritten) {
        std::fprintf(stderr, "cannot set up the module and its file: %s\n",
                     module.lastError().c_str());
        std::filesystem::remove_all(dir);
        return 1;
    }

    int failed = 0;
    const Summary help = timeRuns(runs, [&] { failed += runProgram({cli, "--help"}) != 0; });
    const Summary write = timeRuns(runs, [&] {
        failed += runProgram({cli, "write", "--port", "COM230", settings.string()}) != 0;
    });
    std::printf("%-22s median %7.2f ms  (min %7.2f, max %7.2f, %d runs)\n", "dl250t-cli --help",
                help.median, help.min, help.max, runs);
    printFigure("dl250t-cli write", write, kWriteWireMs, runs);
    module.unplug();
    std::filesystem::remove_all(dir);
    if (failed != 0) {
        std::fprintf(stderr, "%d of %d commands failed\n", failed, 2 * runs);
    }
    return failed == 0 ? 0 : 1;
}

}  // namespace
}  // namespace dl250t

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: companion_start_bench DL250T-CLI [RUNS]\n");
        return 2;
    }
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 20;
    return dl250t::run(argv[1], runs);
}
