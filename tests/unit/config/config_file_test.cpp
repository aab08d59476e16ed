#include "config/config_file.hpp"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support/temp_dir.hpp"

namespace dl250t {
namespace {

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
    ASSERT_EQ(saveConfigFile(dir / "a.cfg", block), Outcome::FileWritten);

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
    ASSERT_EQ(saveConfigFile(dir / "a.cfg", block), Outcome::FileWritten);
    ASSERT_EQ(saveConfigFile(dir / "a.cfg", block), Outcome::FileWritten);
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
    ASSERT_EQ(saveConfigFile(dir / "link.cfg", block), Outcome::FileWritten);
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
    ASSERT_EQ(saveConfigFile(dir / "a.cfg", block), Outcome::FileWritten);
    EXPECT_EQ(fs::status(dir / "a.cfg").permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

TEST(SaveConfigFile, PathThatIsAFolderFailsToOpen) {
    TempDir dir;
    std::filesystem::create_directory(dir / "folder.cfg");
    ConfigBlock block = sampleBlock();
    EXPECT_EQ(saveConfigFile(dir / "folder.cfg", block), Outcome::FileOpenFailed);
    EXPECT_TRUE(std::filesystem::is_directory(dir / "folder.cfg"));
}

TEST(SaveConfigFile, MissingFolderFailsToOpen) {
    TempDir dir;
    ConfigBlock block = sampleBlock();
    EXPECT_EQ(saveConfigFile(dir / "missing" / "a.cfg", block), Outcome::FileOpenFailed);
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
        _exit(static_cast<int>(saveConfigFile(path, block)));
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
    const Outcome outcome = saveConfigFile(dir / "a.cfg", block);

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

TEST(LoadConfigFile, ReadsBackWhatWasSaved) {
    TempDir dir;
    ConfigBlock block = sampleBlock();
    ASSERT_EQ(saveConfigFile(dir / "a.cfg", block), Outcome::FileWritten);
    const LoadedConfigFile loaded = loadConfigFile(dir / "a.cfg");
    EXPECT_TRUE(loaded.opened);
    EXPECT_EQ(loaded.check, BlockCheck::Ok);
    EXPECT_EQ(loaded.block, block);
}

TEST(LoadConfigFile, ChecksLengthOnlyOnTheFirst518Bytes) {
    TempDir dir;
    std::vector<std::uint8_t> bytes = fileFormOf(sampleBlock());

    std::vector<std::uint8_t> shortFile(bytes.begin(), bytes.end() - 1);
    writeAll(dir / "517.cfg", shortFile);
    const auto loaded517 = loadConfigFile(dir / "517.cfg");
    EXPECT_TRUE(loaded517.opened);
    EXPECT_EQ(loaded517.bytesRead, 517u);
    EXPECT_EQ(loaded517.check, BlockCheck::LengthMismatch);

    writeAll(dir / "0.cfg", {});
    EXPECT_EQ(loadConfigFile(dir / "0.cfg").check, BlockCheck::LengthMismatch);

    std::vector<std::uint8_t> longFile = bytes;
    longFile.resize(600, 0x55);
    writeAll(dir / "600.cfg", longFile);
    const auto loaded600 = loadConfigFile(dir / "600.cfg");
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
    EXPECT_EQ(loadConfigFile(dir / "k.cfg").check, BlockCheck::KeywordMismatch);

    ConfigBlock badCrc = block;
    badCrc[400] ^= 1;
    scrambleBytes(badCrc.span());
    writeAll(dir / "c.cfg", {badCrc.bytes.begin(), badCrc.bytes.end()});
    EXPECT_EQ(loadConfigFile(dir / "c.cfg").check, BlockCheck::CrcMismatch);

    // An unscrambled file is not a configuration file.
    writeAll(dir / "plain.cfg", {block.bytes.begin(), block.bytes.end()});
    EXPECT_EQ(loadConfigFile(dir / "plain.cfg").check, BlockCheck::KeywordMismatch);
}

TEST(LoadConfigFile, MissingFileOrFolderDoesNotOpen) {
    TempDir dir;
    EXPECT_FALSE(loadConfigFile(dir / "missing.cfg").opened);
    EXPECT_FALSE(loadConfigFile(dir.path()).opened);
}

}  // namespace
}  // namespace dl250t
