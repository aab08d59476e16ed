#include "platform/posix/signal_cleanup.hpp"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "platform/posix/posix_file_store.hpp"
#include "support/temp_dir.hpp"

namespace dl250t {
namespace {

namespace fs = std::filesystem;

const std::vector<std::uint8_t> kOld = {'o', 'l', 'd'};
const std::vector<std::uint8_t> kNew = {'n', 'e', 'w'};

std::size_t entriesIn(const fs::path& folder) {
    return static_cast<std::size_t>(
        std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
}

// Runs `body` in a child process and returns how it ended: the signal that
// ended it, or 1000 + its exit status.
int inChild(const std::function<void()>& body) {
    const pid_t child = fork();
    if (child == 0) {
        body();
        _exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFSIGNALED(status) ? WTERMSIG(status) : 1000 + WEXITSTATUS(status);
}

// A save that a signal interrupts: the program still ends by that signal,
// the temporary file is gone and the old file is as it was.
TEST(SignalCleanup, ASignalDuringASaveRemovesTheTemporary) {
    for (int signalNumber : {SIGINT, SIGTERM, SIGHUP}) {
        SCOPED_TRACE(strsignal(signalNumber));
        testing::TempDir dir;
        const fs::path target = dir / "line.cfg";
        testing::writeAll(target, kOld);
        const int ended = inChild([&] {
            SignalCleanup::install();
            PosixFileStore files;
            const auto replacement = files.beginReplacing(target);
            if (replacement == nullptr || entriesIn(dir.path()) != 2) {
                _exit(1);
            }
            raise(signalNumber);
            _exit(2);
        });
        EXPECT_EQ(ended, signalNumber);
        EXPECT_EQ(entriesIn(dir.path()), 1u);
        EXPECT_EQ(testing::readAll(target), kOld);
    }
}

// A program that wants to finish its work first is told of the signal and
// carries on; a second signal ends it at once, cleaning up all the same.
TEST(SignalCleanup, UnderRaiseFlagTheWorkFinishesAndASecondSignalEndsIt) {
    testing::TempDir dir;
    const fs::path target = dir / "line.cfg";
    testing::writeAll(target, kOld);
    const int ended = inChild([&] {
        SignalCleanup::install(SignalCleanup::OnStop::RaiseFlag);
        PosixFileStore files;
        auto replacement = files.beginReplacing(target);
        raise(SIGTERM);
        if (SignalCleanup::stopRequested() != SIGTERM || replacement == nullptr ||
            !replacement->commit(kNew)) {
            _exit(1);
        }
        replacement = files.beginReplacing(target);
        raise(SIGINT);
        _exit(2);
    });
    EXPECT_EQ(ended, SIGINT);
    EXPECT_EQ(entriesIn(dir.path()), 1u);
    EXPECT_EQ(testing::readAll(target), kNew);
}

}  // namespace
}  // namespace dl250t
