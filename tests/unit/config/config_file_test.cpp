#include "config/config_file.hpp"
#include "platform/posix/posix_file_store.hpp"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support/temp_dir.hpp"

namespace dl250t {
namespace {

// Files on disk, as the programs have them.
PosixFileStore files;

using testing::readAll;
using testing::TempDir;
using testing::writeAll;

ConfigBlock sampleBlock() {
    ConfigBlock block = makeInitialWorkingBlock();
    for (std::size_t i = 38; i < block::kPayloadEnd; ++i) {
        block[i] = static_cast<std::uint8_t>(i * 13 + 5);
    }
    return block;
}

std::vector<std::uint8_t> fileFormOf(ConfigBlock block) {
    stampHeaderAndCrc(block);
    scrambleBytes(block.span());
    return {block.bytes.begin(), block.bytes.end()};
}

TEST(SaveConfigFile, WritesExactly518ScrambledBytesThatValidate) {
    TempDir dir;
    ConfigBlock block = sampleBlock();
    ASSERT_EQ(saveConfigFile(files, dir / "a.cfg", block), Outcome::FileWritten);

    auto bytes = readAll(dir / "a.cfg");
    ASSERT_EQ(bytes.size(), 518u);
    EXPECT_EQ(bytes[0], 'A' ^ 0xA7);
    ConfigBlock plain;
    std::copy(bytes.begin(), bytes.end(), plain.bytes.begin());
    scrambleBytes(plain.span());
    EXPECT_EQ(std::string(plain.bytes.begin(), plain.bytes.begin() + 4), "ATW0");
    EXPECT_EQ(validateBlock(plain, 518), BlockCheck::Ok);
    // The caller's block is stamped and stays plain.
    EXPECT_EQ(plain, block);
}

TEST(SaveConfigFile, LeavesNoTemporaryBehind) {
    TempDir dir;
    ConfigBlock block = sampleBlock();
    ASSERT_EQ(saveConfigFile(files, dir / "a.cfg", block), Outcome::FileWritten);
    ASSERT_EQ(saveConfigFile(files, dir / "a.cfg", block), Outcome::FileWritten);
    int entries = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        ++entries;
    }
    EXPECT_EQ(entries, 1);
}

TEST(SaveConfigFile, ReplacesTheFileALinkPointsTo) {
    TempDir dir;
    writeAll(dir / "real.cfg", {1, 2, 3});
    std::filesystem::create_symlink(dir / "real.cfg", dir / "link.cfg");
    ConfigBlock block = sampleBlock();
    ASSERT_EQ(saveConfigFile(files, dir / "link.cfg", block), Outcome::FileWritten);
    EXPECT_TRUE(std::filesystem::is_symlink(dir / "link.cfg"));
    EXPECT_EQ(readAll(dir / "real.cfg").size(), 518u);
}

TEST(SaveConfigFile, KeepsThePermissionsOfTheFileItReplaces) {
    TempDir dir;
    writeAll(dir / "a.cfg", {1});
    namespace fs = std::filesystem;
    fs::permissions(dir / "a.cfg",
                    fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    ConfigBlock block = sampleBlock();
    ASSERT_EQ(saveConfigFile(files, dir / "a.cfg", block), Outcome::FileWritten);
    EXPECT_EQ(fs::status(dir / "a.cfg").permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

TEST(SaveConfigFile, PathThatIsAFolderFailsToOpen) {
    TempDir dir;
    std::filesystem::create_directory(dir / "folder.cfg");
    ConfigBlock block = sampleBlock();
    EXPECT_EQ(saveConfigFile(files, dir / "folder.cfg", block), Outcome::FileOpenFailed);
    EXPECT_TRUE(std::filesystem::is_directory(dir / "folder.cfg"));
}

TEST(SaveConfigFile, MissingFolderFailsToOpen) {
    TempDir dir;
    ConfigBlock block = sampleBlock();
    EXPECT_EQ(saveConfigFile(files, dir / "missing" / "a.cfg", block), Outcome::FileOpenFailed);
}

// Runs a save as an ordinary user: root writes into any folder, so a root
// test process drops to "nobody" in a child for this check.
Outcome saveAsOrdinaryUser(const std::filesystem::path& path) {
    const pid_t child = fork();
    if (child == 0) {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) {
            _exit(100);
        }
        ConfigBlock block = makeInitialWorkingBlock();
        _exit(static_cast<int>(saveConfigFile(files, path, block)));
    }
    int status = 0;
    waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) == 100) {
        ADD_FAILURE() << "the save could not run as an ordinary user";
        return Outcome::FileWritten;
    }
    return static_cast<Outcome>(WEXITSTATUS(status));
}

TEST(SaveConfigFile, FailedSaveIntoUnwritableFolderKeepsTheOldFile) {
    TempDir dir;
    const std::vector<std::uint8_t> old = fileFormOf(sampleBlock());
    writeAll(dir / "a.cfg", old);
    namespace fs = std::filesystem;
    fs::permissions(dir / "a.cfg", fs::perms::all);
    fs::permissions(dir.path(), fs::perms::owner_read | fs::perms::owner_exec |
                                    fs::perms::others_read | fs::perms::others_exec |
                                    fs::perms::group_read | fs::perms::group_exec);
    EXPECT_EQ(saveAsOrdinaryUser(dir / "a.cfg"), Outcome::FileOpenFailed);
    EXPECT_EQ(readAll(dir / "a.cfg"), old);
}

// A file size limit makes the write itself fail after the file has been
// created, which works for every user, root included.
TEST(SaveConfigFile, FailedWriteKeepsTheOldFileByteForByte) {
    TempDir dir;
    const std::vector<std::uint8_t> old = fileFormOf(sampleBlock());
    writeAll(dir / "a.cfg", old);

    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    auto previousHandler = signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 100;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);

    ConfigBlock block = makeInitialWorkingBlock();
    const Outcome outcome = saveConfigFile(files, dir / "a.cfg", block);

    setrlimit(RLIMIT_FSIZE, &saved);
    signal(SIGXFSZ, previousHandler);

    EXPECT_EQ(outcome, Outcome::FileWriteFailed);
    EXPECT_EQ(readAll(dir / "a.cfg"), old);
    int entries = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        ++entries;
    }
    EXPECT_EQ(entries, 1) << "the temporary file must be removed";
}

// A name close to the file system's limit of 255 bytes: the temporary file
// beside it must not need a longer one.
TEST(SaveConfigFile, TakesNamesUpToTheFileSystemsLimit) {
    TempDir dir;
    const std::string name = std::string(246, 'n') + ".cfg";
    ConfigBlock block = sampleBlock();
    ASSERT_EQ(saveConfigFile(files, dir / name, block), Outcome::FileWritten);
    ASSERT_EQ(saveConfigFile(files, dir / name, block), Outcome::FileWritten)
        << "and over it again";
    EXPECT_EQ(loadConfigFile(files, dir / name).block, block);
    int entries = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        ++entries;
    }
    EXPECT_EQ(entries, 1);
}

// Things a path may name that are no regular file. Saving over one replaced
// it with a file (a device node, a pipe or a link to one); opening one read
// from a device or waited for ever for a pipe's writer.
struct NotAFile {
    const char* name;
    // Makes the entry "it.cfg" in the folder; false when this system does
    // not allow it (a device node needs root).
    bool (*make)(const std::filesystem::path& it);
    int entries;  // in the folder, "it.cfg" included
};

class NoRegularFile : public ::testing::TestWithParam<NotAFile> {};

TEST_P(NoRegularFile, IsNeitherOpenedNorReplaced) {
    TempDir dir;
    const std::filesystem::path it = dir / "it.cfg";
    if (!GetParam().make(it)) {
        GTEST_SKIP() << "this system does not let the test make a " << GetParam().name;
    }
    struct stat before {};
    ASSERT_EQ(lstat(it.c_str(), &before), 0);

    EXPECT_FALSE(loadConfigFile(files, it).opened);
    ConfigBlock block = sampleBlock();
    EXPECT_EQ(saveConfigFile(files, it, block), Outcome::FileOpenFailed);

    struct stat after {};
    ASSERT_EQ(lstat(it.c_str(), &after), 0);
    EXPECT_EQ(after.st_mode, before.st_mode);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_rdev, before.st_rdev);
    int entries = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        ++entries;
    }
    EXPECT_EQ(entries, GetParam().entries) << "no temporary may be left behind";
}

INSTANTIATE_TEST_SUITE_P(
    Entries, NoRegularFile,
    ::testing::Values(
        NotAFile{"Pipe",
                 [](const std::filesystem::path& it) { return mkfifo(it.c_str(), 0600) == 0; }, 1},
        NotAFile{"LinkToAPipe",
                 [](const std::filesystem::path& it) {
                     std::filesystem::create_symlink("pipe", it);
                     return mkfifo((it.parent_path() / "pipe").c_str(), 0600) == 0;
                 },
                 2},
        NotAFile{"CharacterDevice",
                 [](const std::filesystem::path& it) {
                     // The numbers of /dev/null.
                     return mknod(it.c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0;
                 },
                 1},
        NotAFile{"LinkToADevice",
                 [](const std::filesystem::path& it) {
                     std::filesystem::create_symlink("/dev/null", it);
                     return true;
                 },
                 1},
        NotAFile{
            "Folder",
            [](const std::filesystem::path& it) { return std::filesystem::create_directory(it); },
            1}),
    [](const ::testing::TestParamInfo<NotAFile>& info) { return std::string(info.param.name); });

TEST(LoadConfigFile, ReadsBackWhatWasSaved) {
    TempDir dir;
    ConfigBlock block = sampleBlock();
    ASSERT_EQ(saveConfigFile(files, dir / "a.cfg", block), Outcome::FileWritten);
    const LoadedConfigFile loaded = loadConfigFile(files, dir / "a.cfg");
    EXPECT_TRUE(loaded.opened);
    EXPECT_EQ(loaded.check, BlockCheck::Ok);
    EXPECT_EQ(loaded.block, block);
}

TEST(LoadConfigFile, ChecksLengthOnlyOnTheFirst518Bytes) {
    TempDir dir;
    std::vector<std::uint8_t> bytes = fileFormOf(sampleBlock());

    std::vector<std::uint8_t> shortFile(bytes.begin(), bytes.end() - 1);
    writeAll(dir / "517.cfg", shortFile);
    const auto loaded517 = loadConfigFile(files, dir / "517.cfg");
    EXPECT_TRUE(loaded517.opened);
    EXPECT_EQ(loaded517.bytesRead, 517u);
    EXPECT_EQ(loaded517.check, BlockCheck::LengthMismatch);

    writeAll(dir / "0.cfg", {});
    EXPECT_EQ(loadConfigFile(files, dir / "0.cfg").check, BlockCheck::LengthMismatch);

    // Made whole rather than grown: GCC 12 at -O3 takes growing a 518-byte
    // vector for an access out of bounds (-Warray-bounds).
    std::vector<std::uint8_t> longFile(600, 0x55);
    std::copy(bytes.begin(), bytes.end(), longFile.begin());
    writeAll(dir / "600.cfg", longFile);
    const auto loaded600 = loadConfigFile(files, dir / "600.cfg");
    EXPECT_EQ(loaded600.bytesRead, 518u);
    EXPECT_EQ(loaded600.check, BlockCheck::Ok);
}

TEST(LoadConfigFile, ReportsKeywordBeforeCrc) {
    TempDir dir;
    ConfigBlock block = sampleBlock();
    stampHeaderAndCrc(block);
    ConfigBlock badKeyword = block;
    badKeyword[11] = 'X';
    badKeyword[516] ^= 1;
    scrambleBytes(badKeyword.span());
    writeAll(dir / "k.cfg", {badKeyword.bytes.begin(), badKeyword.bytes.end()});
    EXPECT_EQ(loadConfigFile(files, dir / "k.cfg").check, BlockCheck::KeywordMismatch);

    ConfigBlock badCrc = block;
    badCrc[400] ^= 1;
    scrambleBytes(badCrc.span());
    writeAll(dir / "c.cfg", {badCrc.bytes.begin(), badCrc.bytes.end()});
    EXPECT_EQ(loadConfigFile(files, dir / "c.cfg").check, BlockCheck::CrcMismatch);

    // An unscrambled file is not a configuration file.
    writeAll(dir / "plain.cfg", {block.bytes.begin(), block.bytes.end()});
    EXPECT_EQ(loadConfigFile(files, dir / "plain.cfg").check, BlockCheck::KeywordMismatch);
}

// A file that opens but fails part way (here at its first byte) is a read
// failure, not a file that is too short.
TEST(LoadConfigFile, AReadThatFailsIsNoLengthMismatch) {
    const LoadedConfigFile loaded = loadConfigFile(files, "/proc/self/mem");
    EXPECT_TRUE(loaded.opened);
    EXPECT_TRUE(loaded.readFailed);
    EXPECT_EQ(loaded.bytesRead, 0u);
}

TEST(LoadConfigFile, MissingFileOrFolderDoesNotOpen) {
    TempDir dir;
    EXPECT_FALSE(loadConfigFile(files, dir / "missing.cfg").opened);
    EXPECT_FALSE(loadConfigFile(files, dir.path()).opened);
}

}  // namespace
}  // namespace dl250t
