#include <windows.h>

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <memory>

#include "platform/signal_cleanup.hpp"
#include "platform/win32/win32_file_store.hpp"
#include "support/temp_dir.hpp"

namespace dl250t {
namespace {

namespace fs = std::filesystem;
using testing::readAll;
using testing::TempDir;
using testing::writeAll;

const std::vector<std::uint8_t> kOld = {'o', 'l', 'd'};
const std::vector<std::uint8_t> kNew = {'n', 'e', 'w'};

std::size_t entriesIn(const fs::path& folder) {
    return static_cast<std::size_t>(
        std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
}

// A folder that a death test shares with its child. Windows runs the child
// as a new start of this program, which runs the test again up to the death
// test; the child takes the folder that the test made, named in the
// environment, and leaves it to the test to remove.
class SharedFolder {
public:
    SharedFolder() {
        std::wstring inherited(MAX_PATH, L'\0');
        const DWORD length = GetEnvironmentVariableW(kVariable, inherited.data(), MAX_PATH);
        if (length > 0 && length < MAX_PATH) {
            inherited.resize(length);
            path_ = inherited;
            return;
        }
        made_ = std::make_unique<TempDir>();
        path_ = made_->path();
        SetEnvironmentVariableW(kVariable, path_.c_str());
    }
    ~SharedFolder() {
        if (made_ != nullptr) {
            SetEnvironmentVariableW(kVariable, nullptr);
        }
    }

    testing::TempPath operator/(const std::string& name) const {
        return testing::TempPath(path_) / name;
    }
    const fs::path& path() const { return path_; }

private:
    static constexpr const wchar_t* kVariable = L"DL250T_DEATH_TEST_FOLDER";
    std::unique_ptr<TempDir> made_;
    fs::path path_;
};

// Ctrl+C as a console delivers it: to every program of the console, on a
// thread of its own. The death test's child gets a console of its own, so
// that nothing else receives it.
void pressCtrlC() {
    FreeConsole();
    AllocConsole();
    GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0);
}

// What a child ends with when Ctrl+C did not end it in time.
constexpr int kNotEnded = 2;

void waitToBeEnded() {
    Sleep(30'000);
    ExitProcess(kNotEnded);
}

// A save that Ctrl+C interrupts: the program ends as Windows ends it on
// Ctrl+C, the temporary file is gone and the old file is as it was.
TEST(SignalCleanupDeathTest, CtrlCDuringASaveRemovesTheTemporary) {
    SharedFolder dir;
    const testing::TempPath target = dir / "line.cfg";
    writeAll(target, kOld);
    EXPECT_EXIT(
        {
            SignalCleanup::install();
            Win32FileStore files;
            const auto replacement = files.beginReplacing(target);
            if (replacement == nullptr || entriesIn(dir.path()) != 2) {
                ExitProcess(1);
            }
            pressCtrlC();
            waitToBeEnded();
        },
        ::testing::ExitedWithCode(static_cast<int>(STATUS_CONTROL_C_EXIT)), "");
    EXPECT_EQ(entriesIn(dir.path()), 1u);
    EXPECT_EQ(readAll(target), kOld);
}

// A program that wants to finish its work first is told of Ctrl+C and
// carries on; a second one ends it at once, cleaning up all the same.
TEST(SignalCleanupDeathTest, UnderRaiseFlagTheWorkFinishesAndASecondCtrlCEndsIt) {
    SharedFolder dir;
    const testing::TempPath target = dir / "line.cfg";
    writeAll(target, kOld);
    EXPECT_EXIT(
        {
            SignalCleanup::install(SignalCleanup::OnStop::RaiseFlag);
            Win32FileStore files;
            auto replacement = files.beginReplacing(target);
            pressCtrlC();
            // The handler runs on a thread of its own: the flag comes soon.
            for (int i = 0; i < 30'000 && SignalCleanup::stopRequested() == 0; ++i) {
                Sleep(1);
            }
            if (SignalCleanup::stopRequested() != SIGINT || replacement == nullptr ||
                !replacement->commit(kNew)) {
                ExitProcess(1);
            }
            replacement = files.beginReplacing(target);
            GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0);
            waitToBeEnded();
        },
        ::testing::ExitedWithCode(static_cast<int>(STATUS_CONTROL_C_EXIT)), "");
    EXPECT_EQ(entriesIn(dir.path()), 1u);
    EXPECT_EQ(readAll(target), kNew);
}

}  // namespace
}  // namespace dl250t
