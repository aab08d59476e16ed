#include "platform/win32/win32_file_store.hpp"

#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <iterator>

#include "platform/win32/wide_text.hpp"
#include "support/temp_dir.hpp"

namespace dl250t {
namespace {

namespace fs = std::filesystem;
using testing::readAll;
using testing::TempDir;
using testing::writeAll;

const std::vector<std::uint8_t> kOld = {'o', 'l', 'd'};
const std::vector<std::uint8_t> kNew = {'n', 'e', 'w'};

Win32FileStore files;

std::vector<std::string> entriesIn(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        const std::u8string name = entry.path().filename().u8string();
        names.emplace_back(name.begin(), name.end());
    }
    return names;
}

TEST(Win32FilePath, IsTheFullPathInItsLongFormAndNothingForADevice) {
    const std::pair<std::string, std::string> paths[] = {
        {"C:\\lines\\a.cfg", "\\\\?\\C:\\lines\\a.cfg"},
        {"C:/lines/old/../a.cfg", "\\\\?\\C:\\lines\\a.cfg"},
        {"C:\\线路\\配置.cfg", "\\\\?\\C:\\线路\\配置.cfg"},
        {"\\\\server\\share\\a.cfg", "\\\\?\\UNC\\server\\share\\a.cfg"},
        {"\\\\?\\C:\\lines\\a.cfg", "\\\\?\\C:\\lines\\a.cfg"},
        {"\\\\?\\UNC\\server\\share\\a.cfg", "\\\\?\\UNC\\server\\share\\a.cfg"},
        // Devices, however they are written.
        {"NUL", ""},
        {"con", ""},
        {"COM1", ""},
        {"CONIN$", ""},
        {"C:\\lines\\nul", ""},
        {"\\\\.\\COM1", ""},
        {"//./NUL", ""},
        {"\\\\.\\pipe\\dl250t", ""},
        {"\\\\.\\C:", ""},
        {"\\\\.\\PhysicalDrive0", ""},
        {"\\\\?\\COM1", ""},
        {"\\\\?\\pipe\\dl250t", ""},
        // A file's hidden streams, which no one would find.
        {"j.csv:x", ""},
        {"\\\\server\\share\\a.cfg::$DATA", ""},
        {"\\\\?\\C:\\lines:x\\a.cfg", ""},
        // No name at all.
        {"", ""},
        {"\xFF.cfg", ""},
        {std::string("a\0b", 3), ""},
    };
    for (const auto& [path, expected] : paths) {
        const auto wide = win32FilePath(path);
        EXPECT_EQ(wide ? wideToUtf8(*wide) : std::string(), expected) << path;
    }
}

// A device or a pipe is never opened: opening a port raises its modem lines,
// and a pipe may keep its reader waiting for ever.
TEST(Win32FileStore, DevicesAndPipesAreRefusedBeforeAnythingIsOpened) {
    const std::wstring pipeName =
        L"\\\\.\\pipe\\dl250t-test-" + std::to_wstring(GetCurrentProcessId());
    const HANDLE pipe = CreateNamedPipeW(pipeName.c_str(), PIPE_ACCESS_DUPLEX,
                                         PIPE_TYPE_BYTE | PIPE_WAIT, 1, 4096, 4096, 0, nullptr);
    ASSERT_NE(pipe, INVALID_HANDLE_VALUE);
    TempDir dir;
    for (const std::string& path : {std::string("NUL"), std::string("CON"), std::string("COM1"),
                                    std::string(dir / "nul"), wideToUtf8(pipeName)}) {
        EXPECT_EQ(files.readStart(path, 518).status, FileStart::Status::OpenFailed) << path;
        EXPECT_EQ(files.beginReplacing(path), nullptr) << path;
    }
    CloseHandle(pipe);
    EXPECT_TRUE(entriesIn(dir.path()).empty());
}

// The temporary sits beside the target under a short name of its own until
// the commit puts it in the target's place; given up, it goes.
TEST(Win32FileStore, AReplacementIsAShortTemporaryBesideTheTargetUntilItCommits) {
    TempDir dir;
    const testing::TempPath target = dir / (std::string(200, 'n') + ".cfg");
    writeAll(target, kOld);
    {
        const auto replacement = files.beginReplacing(target);
        ASSERT_NE(replacement, nullptr);
        const auto names = entriesIn(dir.path());
        ASSERT_EQ(names.size(), 2u);
        const std::string temporary = names[0].starts_with(".dl250t-") ? names[0] : names[1];
        EXPECT_EQ(temporary.size(), 14u) << temporary;
        EXPECT_EQ(readAll(target), kOld);
    }
    EXPECT_EQ(entriesIn(dir.path()).size(), 1u);
    EXPECT_EQ(readAll(target), kOld);

    const auto replacement = files.beginReplacing(target);
    ASSERT_NE(replacement, nullptr);
    EXPECT_TRUE(replacement->commit(kNew));
    EXPECT_FALSE(replacement->commit(kNew)) << "a replacement commits once";
    EXPECT_EQ(readAll(target), kNew);
    EXPECT_EQ(entriesIn(dir.path()).size(), 1u);
}

TEST(Win32FileStore, AReadOnlyFileIsNotReplaced) {
    TempDir dir;
    const testing::TempPath target = dir / "a.cfg";
    writeAll(target, kOld);
    ASSERT_TRUE(SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(files.beginReplacing(target), nullptr);
    SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(readAll(target), kOld);
    EXPECT_EQ(entriesIn(dir.path()).size(), 1u);
}

// A program that keeps the old file open, as an editor may, lets the new one
// be written but not put in its place: the save fails, the old file stays as
// it was and the temporary goes.
TEST(Win32FileStore, AReplaceThatFailsKeepsTheOldFileAndLeavesNoTemporary) {
    TempDir dir;
    const testing::TempPath target = dir / "a.cfg";
    writeAll(target, kOld);
    const HANDLE reader =
        CreateFileW(target.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    const auto replacement = files.beginReplacing(target);
    ASSERT_NE(replacement, nullptr);
    EXPECT_FALSE(replacement->commit(kNew));
    CloseHandle(reader);
    EXPECT_EQ(readAll(target), kOld);
    EXPECT_EQ(entriesIn(dir.path()).size(), 1u);
}

// A file that opens but fails part way is a read failure, not a short file.
// Wine shows the build machine's files on Z:, and /proc/self/mem fails at
// its first byte; Windows has no such file to try.
TEST(Win32FileStore, AReadThatFailsIsAReadFailure) {
    if (GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") == nullptr) {
        GTEST_SKIP() << "needs Wine's view of /proc";
    }
    const FileStart start = files.readStart("Z:\\proc\\self\\mem", 518);
    EXPECT_EQ(start.status, FileStart::Status::ReadFailed);
    EXPECT_TRUE(start.bytes.empty());
}

}  // namespace
}  // namespace dl250t
