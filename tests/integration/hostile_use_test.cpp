// The companion and the simulated module as a careless script or a hostile
// user runs them: pipes where files belong, closed or full standard streams,
// files that fail part way, signals at the worst moment. Each must end with
// its own exit status, change nothing it must not, and never hang.

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <mutex>
#include <thread>

#include "config/config_file.hpp"
#include "platform/posix/posix_file_store.hpp"
#include "sim/pseudo_terminal.hpp"
#include "sim/simulated_module.hpp"
#include "support/child_process.hpp"
#include "support/temp_dir.hpp"

namespace dl250t {
namespace {

namespace fs = std::filesystem;
using testing::ChildProcess;
using testing::ChildResult;
using testing::ChildStreams;
using ::testing::HasSubstr;
using testing::runChild;

const std::string kCli = DL250T_CLI_PROGRAM;
const std::string kSim = DL250T_SIM_PROGRAM;

PosixFileStore files;

std::string describe(const ChildResult& r) {
    return "hung " + std::to_string(r.hung) + ", exit " + std::to_string(r.exitStatus) +
           ", signal " + std::to_string(r.signal) + ", stderr: " + r.err;
}

struct HostileUse : ::testing::Test {
    HostileUse() {
        ConfigBlock block = makeInitialWorkingBlock();
        EXPECT_EQ(saveConfigFile(files, good, block), SaveOutcome::Ok);
        EXPECT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    }

    testing::TempDir dir;
    std::string good = dir / "good.cfg";
    std::string fifo = dir / "fifo";
    std::string out = dir / "out.cfg";
};

// A pipe with nobody at the other end blocked the open for ever; a device
// was read as if it were a file. Neither is opened now.
TEST_F(HostileUse, FilesThatAreNoRegularFilesAreRefusedAtOnce) {
    struct Case {
        std::vector<std::string> command;
        int status;
    };
    const std::string folder = dir.path();
    const std::vector<Case> cases = {
        {{kCli, "show", fifo}, 3},
        {{kCli, "show", "--json", "/dev/zero"}, 3},
        {{kCli, "show", folder}, 3},
        {{kCli, "export", fifo}, 3},
        {{kCli, "import", "-", "-o", out, "--base", fifo}, 3},
        {{kCli, "write", "--port", "/dev/null", fifo}, 3},
        {{kSim, "--port-dir", dir / "ports", "--block", fifo}, 1},
    };
    for (const Case& c : cases) {
        const ChildResult r = runChild(c.command, {.input = "{}"});
        EXPECT_TRUE(r.exitedWith(c.status)) << c.command[1] << " " << describe(r);
    }
    EXPECT_FALSE(fs::exists(out));
}

// A save is on disk before it replaces the old file, and the rename is on
// disk before the save is reported: the order of the calls shows it.
TEST_F(HostileUse, SavesReachTheDiskBeforeAndAfterTheRename) {
    const std::string log = dir / "sync.log";
    const ChildResult r =
        runChild({kCli, "import", "-", "-o", out},
                 {.input = "{}",
                  .environment = {"LD_PRELOAD=" DL250T_SYNC_LOG_LIBRARY, "DL250T_SYNC_LOG=" + log,
                                  "ASAN_OPTIONS=verify_asan_link_order=0:detect_leaks=0"}});
    ASSERT_TRUE(r.exitedWith(0)) << describe(r);
    std::vector<std::string> calls;
    std::ifstream lines(log);
    for (std::string line; std::getline(lines, line);) {
        calls.push_back(line);
    }
    const std::string folder = fs::canonical(dir.path());
    const auto renamed = std::find_if(calls.begin(), calls.end(), [&](const std::string& call) {
        return call.starts_with("rename ") && call.ends_with(" " + out);
    });
    ASSERT_NE(renamed, calls.end()) << ::testing::PrintToString(calls);
    const std::string temporary = renamed->substr(7, renamed->size() - 8 - out.size());
    EXPECT_EQ(fs::path(temporary).parent_path(), dir.path());
    EXPECT_NE(std::find(calls.begin(), renamed,
                        "fsync " + (fs::path(folder) / fs::path(temporary).filename()).string()),
              renamed)
        << "the new file is flushed before the rename: " << ::testing::PrintToString(calls);
    EXPECT_NE(std::find(renamed, calls.end(), "fsync " + folder), calls.end())
        << "the folder is flushed after the rename: " << ::testing::PrintToString(calls);
}

}  // namespace
}  // namespace dl250t
