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
        EXPECT_EQ(saveConfigFile(files, good, block), Outcome::FileWritten);
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
        {{kCli, "import", fifo, "-o", out}, 3},
        {{kCli, "write", "--port", "/dev/null", fifo}, 3},
        {{kSim, "--port-dir", dir / "ports", "--block", fifo}, 1},
    };
    for (const Case& c : cases) {
        const ChildResult r = runChild(c.command, {.input = "{}"});
        EXPECT_TRUE(r.exitedWith(c.status)) << c.command[1] << " " << describe(r);
    }
    EXPECT_FALSE(fs::exists(out));
}

// Reading standard input or a file that fails part way is a read failure:
// no abort, and no length mismatch for a file that could not be read.
TEST_F(HostileUse, ReadErrorsEndWithTheFileReadStatus) {
    struct Case {
        std::vector<std::string> command;
        ChildStreams streams;
    };
    const std::string folder = dir.path();
    const std::vector<Case> cases = {
        {{kCli, "import", folder, "-o", out}, {}},
        {{kCli, "import", "-", "-o", out}, {.inputClosed = true}},
        {{kCli, "import", "-", "-o", out}, {.inputPath = folder}},
        {{kCli, "show", "/proc/self/mem"}, {}},
        {{kCli, "import", "-", "-o", out, "--base", "/proc/self/mem"}, {.input = "{}"}},
    };
    for (const Case& c : cases) {
        const ChildResult r = runChild(c.command, c.streams);
        EXPECT_TRUE(r.exitedWith(3)) << c.command[1] << " " << c.command[2] << " " << describe(r);
    }
    EXPECT_FALSE(fs::exists(out));
}

// Output that does not arrive is a failure of the command, whether standard
// output is full or closed.
TEST_F(HostileUse, OutputThatCannotBeWrittenFailsTheCommand) {
    struct Case {
        std::vector<std::string> command;
        ChildStreams streams;
    };
    const std::vector<Case> cases = {
        {{kCli, "export", good}, {.outputPath = "/dev/full"}},
        {{kCli, "export", good}, {.outputClosed = true}},
        {{kCli, "show", good}, {.outputPath = "/dev/full"}},
        {{kCli, "show", "--json", good}, {.outputClosed = true}},
        {{kCli, "import", "-", "-o", "-"},
         {.input = "{}", .outputPath = "/dev/full", .directory = dir.path()}},
        {{kCli, "--help"}, {.outputPath = "/dev/full"}},
    };
    for (const Case& c : cases) {
        const ChildResult r = runChild(c.command, c.streams);
        EXPECT_TRUE(r.exitedWith(5)) << c.command[1] << " " << describe(r);
        EXPECT_THAT(r.err, HasSubstr("standard output")) << c.command[1];
    }
    // Files the command writes are not standard output, even when that is closed.
    const ChildResult r =
        runChild({kCli, "import", "-", "-o", out}, {.input = "{}", .outputClosed = true});
    EXPECT_TRUE(r.exitedWith(0)) << describe(r);
    EXPECT_EQ(loadConfigFile(files, out).check, BlockCheck::Ok);
}

// "-o -" is the way to standard output; a name that leads there through a
// link is a pipe like any other and is refused.
TEST_F(HostileUse, StandardOutputIsWrittenOnlyWhenAskedFor) {
    ChildResult r = runChild({kCli, "import", "-", "-o", "-"},
                             {.input = R"({"networkId": 7})", .directory = dir.path()});
    ASSERT_TRUE(r.exitedWith(0)) << describe(r);
    ASSERT_EQ(r.out.size(), kBlockSize);
    ConfigBlock block;
    std::copy(r.out.begin(), r.out.end(), block.bytes.begin());
    scrambleBytes(block.span());
    EXPECT_EQ(validateBlock(block, kBlockSize), BlockCheck::Ok);
    EXPECT_EQ(block[44], 7);

    fs::create_symlink("/proc/self/fd/1", dir / "stdout");
    r = runChild({kCli, "import", "-", "-o", dir / "stdout"}, {.input = "{}"});
    EXPECT_TRUE(r.exitedWith(5)) << describe(r);
    EXPECT_TRUE(r.out.empty());
    EXPECT_TRUE(fs::is_symlink(dir / "stdout"));
}

// A port that a killed companion held stayed exclusive, so that the next
// program to open it was told it was busy.
TEST_F(HostileUse, ASignalReleasesThePortInUse) {
    for (int signalNumber : {SIGINT, SIGTERM, SIGHUP}) {
        SCOPED_TRACE(strsignal(signalNumber));
        PseudoTerminal line;  // a module that never answers
        ASSERT_TRUE(line.open());
        const int watch = ::open(line.slavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        ASSERT_GE(watch, 0);
        ChildProcess cli({kCli, "read", "--port", line.slavePath(), "-o", out});
        // Until the companion holds the port; the wait for the silent
        // module's answer gives the signal its moment.
        int exclusive = 0;
        for (int i = 0; i < 2000 && exclusive == 0; ++i) {
            ASSERT_EQ(ioctl(watch, TIOCGEXCL, &exclusive), 0);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        ASSERT_EQ(exclusive, 1) << "the companion never took the port";
        kill(cli.pid(), signalNumber);
        const ChildResult r = cli.finish();
        EXPECT_EQ(r.signal, signalNumber) << describe(r);
        ASSERT_EQ(ioctl(watch, TIOCGEXCL, &exclusive), 0);
        EXPECT_EQ(exclusive, 0);
        EXPECT_EQ(flock(watch, LOCK_EX | LOCK_NB), 0);
        ::close(watch);
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
