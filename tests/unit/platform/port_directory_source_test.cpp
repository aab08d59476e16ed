#include "platform/linux/port_directory_source.hpp"

#include <fcntl.h>
#include <poll.h>
#include <stdio.h>
#include <sys/stat.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>

#include "platform/posix/port_directory.hpp"
#include "support/port_event_printer.hpp"
#include "support/temp_dir.hpp"

namespace dl250t {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::UnorderedElementsAre;

PortEvent arrival(std::string name) {
    return {PortEvent::Kind::Arrival, std::move(name)};
}

PortEvent removal(std::string name) {
    return {PortEvent::Kind::Removal, std::move(name)};
}

PortEvent watchLost() {
    return {PortEvent::Kind::WatchLost, {}};
}

bool readable(int fd) {
    pollfd watched{fd, POLLIN, 0};
    return poll(&watched, 1, 0) == 1;
}

class PortDirectorySourceTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(preparePortDirectory(ports), PortDirectoryState::Ready);
        fs::create_symlink("/dev/null", ports / "COM5");  // plugged in before the start
    }

    std::unique_ptr<PortDirectorySource> startSource() {
        auto source = PortDirectorySource::start(ports);
        EXPECT_NE(source, nullptr);
        return source;
    }

    // Replaces a link at once, the way "ln -sf" does.
    void relink(const std::string& name, const fs::path& target) {
        fs::create_symlink(target, ports / ".new");
        fs::rename(ports / ".new", ports / name);
    }

    testing::TempDir dir;
    fs::path ports = dir / "ports";
};

TEST_F(PortDirectorySourceTest, LinksComingAndGoingArePorts) {
    auto source = startSource();
    ASSERT_NE(source, nullptr);
    EXPECT_THAT(source->drainEvents(), IsEmpty()) << "links found at start are not reported";
    EXPECT_FALSE(readable(source->descriptor()));

    fs::create_symlink("/dev/null", ports / "COM3");
    EXPECT_TRUE(readable(source->descriptor()));
    EXPECT_THAT(source->drainEvents(), ElementsAre(arrival("COM3")));
    EXPECT_FALSE(readable(source->descriptor()));

    fs::remove(ports / "COM3");
    fs::remove(ports / "COM5");
    EXPECT_THAT(source->drainEvents(), ElementsAre(removal("COM3"), removal("COM5")));

    // Moving a finished link in and out counts like creating and deleting it.
    fs::create_symlink("/dev/zero", ports / "staging");
    fs::rename(ports / "staging", ports / "COM12");
    EXPECT_THAT(source->drainEvents(), ElementsAre(arrival("COM12")));
    fs::rename(ports / "COM12", dir / "COM12");
    EXPECT_THAT(source->drainEvents(), ElementsAre(removal("COM12")));
}

TEST_F(PortDirectorySourceTest, OtherEntriesAreNoPorts) {
    auto source = startSource();
    ASSERT_NE(source, nullptr);
    for (const char* name : {"com4", "COM04", "COM", "COM0", "COM256", "COM4.bak", "notes"}) {
        fs::create_symlink("/dev/null", ports / name);
    }
    std::ofstream(ports / "COM6") << "not a link";
    fs::create_directory(ports / "COM7");
    EXPECT_THAT(source->drainEvents(), IsEmpty());
    for (const char* name : {"com4", "COM04", "COM4.bak", "COM6", "COM7"}) {
        fs::remove(ports / name);
    }
    EXPECT_THAT(source->drainEvents(), IsEmpty());
}

TEST_F(PortDirectorySourceTest, ReplacedLinkIsReplugOnlyWhenItLeadsElsewhere) {
    auto source = startSource();
    ASSERT_NE(source, nullptr);
    relink("COM5", "/dev/null");
    EXPECT_THAT(source->drainEvents(), IsEmpty());
    relink("COM5", "/dev/zero");
    EXPECT_THAT(source->drainEvents(), ElementsAre(removal("COM5"), arrival("COM5")));
    // Something that is no link put in its place unplugs it.
    std::ofstream(ports / ".file") << "x";
    fs::rename(ports / ".file", ports / "COM5");
    EXPECT_THAT(source->drainEvents(), ElementsAre(removal("COM5")));
    // Unplugged and plugged in again to the same device before anyone looked.
    fs::remove(ports / "COM5");
    fs::create_symlink("/dev/null", ports / "COM8");
    source->drainEvents();
    fs::remove(ports / "COM8");
    fs::create_symlink("/dev/null", ports / "COM8");
    EXPECT_THAT(source->drainEvents(), ElementsAre(removal("COM8"), arrival("COM8")));
    // Gone again before anyone looked: nothing to configure.
    fs::create_symlink("/dev/null", ports / "COM9");
    fs::remove(ports / "COM9");
    EXPECT_THAT(source->drainEvents(), IsEmpty());
}

TEST_F(PortDirectorySourceTest, RescanSettlesWhatEventsMissedAndEventsDoNotRepeatIt) {
    fs::create_symlink("/dev/null", ports / "COM6");
    auto source = startSource();
    ASSERT_NE(source, nullptr);
    fs::create_symlink("/dev/null", ports / "COM3");
    fs::remove(ports / "COM5");
    relink("COM6", "/dev/zero");
    EXPECT_THAT(source->rescan(),
                ElementsAre(removal("COM5"), removal("COM6"), arrival("COM3"), arrival("COM6")));
    EXPECT_THAT(source->rescan(), IsEmpty());
    EXPECT_THAT(source->drainEvents(), IsEmpty()) << "the queued events say what is known";
}

// Fills the kernel's event queue past its limit with entries that are no
// ports, so that the link made afterwards has no event of its own.
TEST_F(PortDirectorySourceTest, OverflowedQueueIsSettledByARescan) {
    long limit = 0;
    std::ifstream("/proc/sys/fs/inotify/max_queued_events") >> limit;
    if (limit <= 0 || limit > 200000) {
        GTEST_SKIP() << "event queue limit " << limit << " is unknown or too large to fill";
    }
    auto source = startSource();
    ASSERT_NE(source, nullptr);
    for (long i = 0; i <= limit / 2; ++i) {
        const fs::path noise = ports / ("noise" + std::to_string(i));
        std::ofstream{noise};
        ::unlink(noise.c_str());
    }
    fs::create_symlink("/dev/null", ports / "COM2");
    fs::remove(ports / "COM5");
    EXPECT_THAT(source->drainEvents(), ElementsAre(removal("COM5"), arrival("COM2")));
    EXPECT_FALSE(readable(source->descriptor()));
}

TEST_F(PortDirectorySourceTest, DeletedDirectoryUnplugsAndIsWatchedAgainWhenBack) {
    auto source = startSource();
    ASSERT_NE(source, nullptr);
    fs::create_symlink("/dev/null", ports / "COM3");
    source->drainEvents();

    fs::remove_all(ports);
    EXPECT_THAT(source->drainEvents(),
                UnorderedElementsAre(removal("COM3"), removal("COM5"), watchLost()));
    EXPECT_FALSE(source->watchingDirectory());
    EXPECT_FALSE(readable(source->descriptor())) << "a lost directory must not keep it busy";
    EXPECT_THAT(source->drainEvents(), IsEmpty());

    ASSERT_EQ(preparePortDirectory(ports), PortDirectoryState::Ready);
    fs::create_symlink("/dev/null", ports / "COM4");
    EXPECT_THAT(source->drainEvents(), ElementsAre(arrival("COM4")));
    EXPECT_TRUE(source->watchingDirectory());
    fs::remove(ports / "COM4");
    EXPECT_THAT(source->drainEvents(), ElementsAre(removal("COM4")));
}

TEST_F(PortDirectorySourceTest, DirectoryMovedAwayUnplugsItsLinks) {
    auto source = startSource();
    ASSERT_NE(source, nullptr);
    fs::rename(ports, dir / "elsewhere");
    EXPECT_THAT(source->drainEvents(), ElementsAre(removal("COM5"), watchLost()));
    fs::create_symlink("/dev/null", dir / "elsewhere" / "COM3");
    EXPECT_THAT(source->drainEvents(), IsEmpty()) << "no longer the port directory";
    EXPECT_FALSE(readable(source->descriptor()));

    fs::rename(dir / "elsewhere", ports);
    EXPECT_THAT(source->drainEvents(), ElementsAre(arrival("COM3"), arrival("COM5")));
}

// A refused directory is not watched, and says so; it is watched as soon as
// it is put right.
TEST_F(PortDirectorySourceTest, RefusesADirectoryOthersCouldPlantLinksIn) {
    fs::permissions(ports, fs::perms::others_write, fs::perm_options::add);
    auto refused = PortDirectorySource::start(ports);
    ASSERT_NE(refused, nullptr);
    EXPECT_FALSE(refused->watchingDirectory());
    EXPECT_THAT(refused->drainEvents(), ElementsAre(watchLost()));
    fs::permissions(ports, fs::perms::others_write, fs::perm_options::remove);
    EXPECT_THAT(refused->drainEvents(), ElementsAre(arrival("COM5")));
    EXPECT_TRUE(refused->watchingDirectory());

    fs::create_directory(dir / "real");
    fs::create_directory_symlink(dir / "real", dir / "linked");
    auto linked = PortDirectorySource::start(dir / "linked");
    ASSERT_NE(linked, nullptr);
    EXPECT_FALSE(linked->watchingDirectory());
    EXPECT_THAT(linked->drainEvents(), ElementsAre(watchLost()));

    // A missing one is made, private to its owner.
    auto source = PortDirectorySource::start(dir / "fresh");
    ASSERT_NE(source, nullptr);
    EXPECT_TRUE(source->watchingDirectory());
    EXPECT_THAT(source->drainEvents(), IsEmpty());
    EXPECT_EQ(fs::status(dir / "fresh").permissions() & fs::perms::all, fs::perms::owner_all);
    EXPECT_NE(fcntl(source->descriptor(), F_GETFL) & O_NONBLOCK, 0);
    EXPECT_NE(fcntl(source->descriptor(), F_GETFD) & FD_CLOEXEC, 0);
}

// Removing the folder that holds the port directory left nothing watched:
// plug-ins were never seen again. The watch climbs up to a folder that is
// still there and comes back down as the folders come back.
TEST_F(PortDirectorySourceTest, RemovedFoldersAboveAreWatchedAgainWhenBack) {
    const fs::path top = dir / "runtime";
    const fs::path nested = top / "dl250t" / "ports";
    fs::create_directory(top);
    auto source = PortDirectorySource::start(nested);
    ASSERT_NE(source, nullptr);
    ASSERT_TRUE(source->watchingDirectory());
    fs::create_symlink("/dev/null", nested / "COM3");
    EXPECT_THAT(source->drainEvents(), ElementsAre(arrival("COM3")));

    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round == 0 ? "step by step" : "all at once");
        fs::remove_all(top / "dl250t");
        EXPECT_THAT(source->drainEvents(), ElementsAre(removal("COM3"), watchLost()));
        EXPECT_FALSE(source->watchingDirectory());

        if (round == 0) {
            fs::create_directory(top / "dl250t");
            EXPECT_THAT(source->drainEvents(), IsEmpty());
            fs::create_directory(nested);
        } else {
            fs::create_directories(nested);
        }
        fs::permissions(top / "dl250t", fs::perms::owner_all, fs::perm_options::replace);
        fs::permissions(nested, fs::perms::owner_all, fs::perm_options::replace);
        fs::create_symlink("/dev/null", nested / "COM3");
        EXPECT_THAT(source->drainEvents(), ElementsAre(arrival("COM3")));
        EXPECT_TRUE(source->watchingDirectory());
    }
}

TEST_F(PortDirectorySourceTest, LinkMadeWhileOthersMayWriteIsNoArrival) {
    auto source = startSource();
    ASSERT_NE(source, nullptr);
    fs::permissions(ports, fs::perms::group_write, fs::perm_options::add);
    fs::create_symlink("/dev/null", ports / "COM3");
    EXPECT_THAT(source->drainEvents(), IsEmpty());
    fs::permissions(ports, fs::perms::group_write, fs::perm_options::remove);
    fs::remove(ports / "COM5");
    EXPECT_THAT(source->drainEvents(), ElementsAre(removal("COM5")));
}

}  // namespace
}  // namespace dl250t
