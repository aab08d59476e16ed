#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <functional>

#include "app/config_dialog.hpp"
#include "app/headless_window_host.hpp"
#include "config/config_file.hpp"
#include "platform/posix/posix_file_store.hpp"
#include "support/recording_prompter.hpp"
#include "support/scripted_serial_port.hpp"
#include "support/temp_dir.hpp"
#include "ui/in_memory_form_view.hpp"

namespace dl250t {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;

class FixedClock final : public Clock {
public:
    std::int64_t secondsSince1970() const override { return 1; }
};

// The Save command, run where a test arranges it: its outcome comes back as
// the exit status of a child process (0 saved, 1 open failed, 2 write
// failed, 3 anything else, 4 the check afterwards failed), so that a child can
// change user, limits or mounts without touching the test process.
int saveInChild(
    const fs::path& target, const std::function<bool()>& arrange,
    const std::function<bool()>& checkAfterwards = [] { return true; }) {
    const pid_t child = fork();
    if (child == 0) {
        if (!arrange()) {
            _exit(77);
        }
        InMemoryFormView view;
        testing::RecordingPrompter prompter;
        HeadlessWindowHost host;
        testing::ScriptedPortFactory ports;
        FixedClock clock;
        PosixFileStore files;
        ConfigDialog dialog({view, prompter, host, ports, clock, files, "dl250t-config"});
        dialog.initialise();
        prompter.clearRecord();
        prompter.queueFileAnswer(target.string());
        const Outcome outcome = dialog.save();
        if (!checkAfterwards()) {
            _exit(4);
        }
        if (outcome == Outcome::FileWritten) {
            _exit(0);
        }
        if (outcome == Outcome::FileOpenFailed) {
            _exit(1);
        }
        if (outcome == Outcome::FileWriteFailed) {
            _exit(2);
        }
        _exit(3);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::vector<std::uint8_t> oldFileForm() {
    ConfigBlock block = makeInitialWorkingBlock();
    block[300] = 0x5A;
    stampHeaderAndCrc(block);
    scrambleBytes(block.span());
    return {block.bytes.begin(), block.bytes.end()};
}

struct SaveOverExistingFile : ::testing::Test {
    SaveOverExistingFile() { testing::writeAll(target, old); }

    testing::TempDir dir;
    fs::path target = dir / "line.cfg";
    std::vector<std::uint8_t> old = oldFileForm();
};

TEST_F(SaveOverExistingFile, IntoAReadOnlyFolderFailsToOpenAndKeepsTheFile) {
    fs::permissions(target, fs::perms::all);
    fs::permissions(dir.path(), fs::perms::owner_read | fs::perms::owner_exec |
                                    fs::perms::group_read | fs::perms::group_exec |
                                    fs::perms::others_read | fs::perms::others_exec);
    // Root writes into any folder; the save runs as "nobody".
    const int outcome = saveInChild(
        target, [] { return geteuid() != 0 || (setgid(65534) == 0 && setuid(65534) == 0); });
    EXPECT_EQ(outcome, 1);
    EXPECT_EQ(testing::readAll(target), old);
}

TEST_F(SaveOverExistingFile, WhenTheWriteFailsTheFileIsKept) {
    // A file size limit lets the temporary file be made but not filled.
    const int outcome = saveInChild(target, [] {
        signal(SIGXFSZ, SIG_IGN);
        rlimit limit{100, 100};
        return setrlimit(RLIMIT_FSIZE, &limit) == 0;
    });
    EXPECT_EQ(outcome, 2);
    EXPECT_EQ(testing::readAll(target), old);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1)
        << "no temporary file may be left behind";
}

TEST_F(SaveOverExistingFile, OnAFullFileSystemTheFileIsKept) {
    const fs::path mountPoint = dir / "small";
    fs::create_directory(mountPoint);
    const fs::path onSmall = mountPoint / "line.cfg";
    const int outcome = saveInChild(
        onSmall,
        [&] {
            // A file system of its own, in a mount namespace of its own, filled
            // up after the old file has been put on it.
            if (unshare(CLONE_NEWNS) != 0 ||
                mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
                mount("tmpfs", mountPoint.c_str(), "tmpfs", 0, "size=16k") != 0) {
                return false;
            }
            testing::writeAll(onSmall, old);
            std::ofstream filler(mountPoint / "filler", std::ios::binary);
            const std::vector<char> chunk(512, 'x');
            while (filler.write(chunk.data(), chunk.size()) && filler.flush()) {
            }
            filler.close();
            return true;
        },
        [&] { return testing::readAll(onSmall) == old; });
    if (outcome == 77) {
        GTEST_SKIP() << "no private file system can be mounted here";
    }
    // Either the temporary file could not be made or not be filled; the old
    // file is intact in both cases (4 would say it is not).
    EXPECT_THAT(outcome, ::testing::AnyOf(1, 2));
}

TEST_F(SaveOverExistingFile, OverAFolderFailsToOpen) {
    fs::create_directory(dir / "folder.cfg");
    EXPECT_EQ(saveInChild(dir / "folder.cfg", [] { return true; }), 1);
    EXPECT_TRUE(fs::is_directory(dir / "folder.cfg"));
}

}  // namespace
}  // namespace dl250t
