#include "platform/posix/port_names.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/posix/port_directory.hpp"
#include "support/temp_dir.hpp"

namespace dl250t {
namespace {

namespace fs = std::filesystem;

class PortNamesTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(preparePortDirectory(ports), PortDirectoryState::Ready);
        fs::create_directory(dir / "dev");
        std::ofstream(dir / "dev" / "ttyUSB3").put('x');
    }

    void link(const std::string& name, const fs::path& target) {
        fs::create_symlink(target, ports / name);
    }

    testing::TempDir dir;
    fs::path ports = dir / "ports";
};

TEST_F(PortNamesTest, DevicePathsAreUsedAsTheyAre) {
    EXPECT_EQ(resolvePortName("/dev/ttyUSB0", ports), fs::path("/dev/ttyUSB0"));
    EXPECT_EQ(resolvePortName("./COM3", ports), fs::path("./COM3"));
}

TEST_F(PortNamesTest, ComNamesWithoutALinkFollowTheFixedMap) {
    const std::pair<const char*, const char*> cases[] = {
        {"COM1", "/dev/ttyS0"},     {"COM32", "/dev/ttyS31"},  {"COM33", "/dev/ttyUSB0"},
        {"COM48", "/dev/ttyUSB15"}, {"COM49", "/dev/ttyACM0"}, {"COM64", "/dev/ttyACM15"},
        {"com5", "/dev/ttyS4"},
    };
    for (const auto& [name, device] : cases) {
        EXPECT_EQ(resolvePortName(name, ports), fs::path(device)) << name;
        EXPECT_EQ(comNameForDevice(device, ports), "COM" + std::string(name).substr(3)) << device;
    }
    for (const char* name : {"COM65", "COM0", "COM05", "COM", "COMx", "COM1 ", "ttyUSB0", ""}) {
        EXPECT_FALSE(resolvePortName(name, ports).has_value()) << name;
    }
    for (const char* device : {"/dev/ttyS32", "/dev/ttyUSB16", "/dev/ttyUSB01", "/dev/pts/3"}) {
        EXPECT_FALSE(comNameForDevice(device, ports).has_value()) << device;
    }
}

TEST_F(PortNamesTest, ALinkInThePortDirectoryWinsBothWays) {
    link("COM1", dir / "dev" / "ttyUSB3");
    link("COM70", "../dev/ttyUSB3");
    link("COM9", "/dev/ttyUSB0");
    link("COM34", "/dev/ttyUSB0");

    EXPECT_EQ(resolvePortName("COM1", ports), ports / "COM1");
    EXPECT_EQ(resolvePortName("COM70", ports), ports / "COM70");
    // The lowest name that points at the device, whether the link is
    // relative, absolute or leads there through another link.
    EXPECT_EQ(comNameForDevice(dir / "dev" / "ttyUSB3", ports), "COM1");
    EXPECT_EQ(comNameForDevice("/dev/ttyUSB0", ports), "COM9");
    fs::remove(ports / "COM1");
    EXPECT_EQ(comNameForDevice(dir / "dev" / "ttyUSB3", ports), "COM70");
    link("COM2", dir / "by-id");
    fs::create_symlink(dir / "dev" / "ttyUSB3", dir / "by-id");
    EXPECT_EQ(comNameForDevice(dir / "dev" / "ttyUSB3", ports), "COM2");
}

TEST_F(PortNamesTest, AnUntrustedPortDirectoryIsIgnored) {
    link("COM1", dir / "dev" / "ttyUSB3");
    fs::permissions(ports, fs::perms::others_write, fs::perm_options::add);
    EXPECT_EQ(checkPortDirectory(ports), PortDirectoryState::OpenToOthers);
    EXPECT_EQ(resolvePortName("COM1", ports), fs::path("/dev/ttyS0"));
    EXPECT_EQ(comNameForDevice(dir / "dev" / "ttyUSB3", ports), std::nullopt);
}

TEST(PortDirectory, DefaultsToTheRuntimeFolderElseToAFolderOfTheUserInTmp) {
    const char* saved = std::getenv("XDG_RUNTIME_DIR");
    const std::string savedValue = saved ? saved : "";
    setenv("XDG_RUNTIME_DIR", "/run/user/1234", 1);
    EXPECT_EQ(defaultPortDirectory(), fs::path("/run/user/1234/dl250t/ports"));
    setenv("XDG_RUNTIME_DIR", "relative", 1);
    const fs::path fallback = "/tmp/dl250t-" + std::to_string(geteuid()) + "/ports";
    EXPECT_EQ(defaultPortDirectory(), fallback);
    unsetenv("XDG_RUNTIME_DIR");
    EXPECT_EQ(defaultPortDirectory(), fallback);
    if (saved) {
        setenv("XDG_RUNTIME_DIR", savedValue.c_str(), 1);
    }
}

TEST(PortDirectory, IsCreatedPrivateAtBothLevels) {
    testing::TempDir dir;
    const fs::path ports = dir / "dl250t-1" / "ports";
    const mode_t savedMask = umask(0);
    const PortDirectoryState state = preparePortDirectory(ports);
    umask(savedMask);
    ASSERT_EQ(state, PortDirectoryState::Ready);
    for (const fs::path& level : {ports.parent_path(), ports}) {
        EXPECT_EQ(fs::status(level).permissions(), fs::perms::owner_all) << level;
    }
    EXPECT_EQ(preparePortDirectory(ports), PortDirectoryState::Ready);
    EXPECT_EQ(preparePortDirectory(dir / "a" / "b" / "ports"), PortDirectoryState::CreateFailed);
    EXPECT_EQ(checkPortDirectory(dir / "elsewhere" / "ports"), PortDirectoryState::Missing);
}

TEST(PortDirectory, RefusesLinksFilesAndFoldersOfOthers) {
    testing::TempDir dir;
    fs::create_directories(dir / "real" / "ports");
    fs::permissions(dir / "real", fs::perms::owner_all);
    fs::permissions(dir / "real" / "ports", fs::perms::owner_all);
    fs::create_directory_symlink(dir / "real", dir / "linked");
    fs::create_directory_symlink(dir / "real" / "ports", dir / "real" / "ports-link");
    std::ofstream(dir / "real" / "file").put('x');

    EXPECT_EQ(preparePortDirectory(dir / "linked" / "ports"), PortDirectoryState::SymbolicLink);
    EXPECT_EQ(preparePortDirectory(dir / "real" / "ports-link"), PortDirectoryState::SymbolicLink);
    EXPECT_EQ(preparePortDirectory(dir / "real" / "file"), PortDirectoryState::NotADirectory);
    EXPECT_EQ(preparePortDirectory(dir / "real" / "ports"), PortDirectoryState::Ready);

    if (geteuid() != 0) {
        GTEST_SKIP() << "handing a folder to another user needs root";
    }
    ASSERT_EQ(chown((dir / "real" / "ports").c_str(), 65534, 65534), 0);
    EXPECT_EQ(preparePortDirectory(dir / "real" / "ports"), PortDirectoryState::ForeignOwner);
}

}  // namespace
}  // namespace dl250t
