#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>

#include "platform/linux/udev_port_source.hpp"
#include "platform/port_event_source.hpp"
#include "platform/posix/port_directory.hpp"
#include "support/temp_dir.hpp"

namespace dl250t {
namespace {

namespace fs = std::filesystem;

TEST(UdevPortSource, StartsOnTheRightSourceAndDrainsWithoutBlocking) {
    testing::TempDir dir;
    auto source = UdevPortSource::start(dir / "ports");
    if (source == nullptr) {
        GTEST_SKIP() << "no device monitor can be started here (no netlink uevent socket)";
    }
    const bool deviceManagerRuns = access("/run/udev/control", F_OK) == 0;
    EXPECT_EQ(source->monitorSource(), deviceManagerRuns ? "udev" : "kernel");
    ASSERT_GE(source->descriptor(), 0);
    EXPECT_NE(fcntl(source->descriptor(), F_GETFL) & O_NONBLOCK, 0);
    EXPECT_NE(fcntl(source->descriptor(), F_GETFD) & FD_CLOEXEC, 0);

    // Whatever a live machine may report meanwhile, taking the events must
    // come back at once; a generous bound only catches a hang.
    const auto before = std::chrono::steady_clock::now();
    for (int i = 0; i < 3; ++i) {
        for (const PortEvent& event : source->drainEvents()) {
            EXPECT_EQ(event.portName.rfind("COM", 0), 0u) << event.portName;
        }
    }
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(5));
    pollfd watched{source->descriptor(), POLLIN, 0};
    EXPECT_GE(poll(&watched, 1, 0), 0);
}

TEST(HotPlugSources, StartWhatThisMachineOffers) {
    testing::TempDir dir;
    const bool devicesWatched = UdevPortSource::start(dir / "ports") != nullptr;

    const auto sources = startHotPlugSources(dir / "ports");
    ASSERT_EQ(sources.size(), devicesWatched ? 2u : 1u);
    for (const auto& source : sources) {
        EXPECT_GE(source->descriptor(), 0);
        EXPECT_NE(fcntl(source->descriptor(), F_GETFL) & O_NONBLOCK, 0);
    }
    EXPECT_NE(sources.front()->descriptor(), sources.back()->descriptor());

    // A port directory others may write to is not watched, and its source
    // says so.
    fs::permissions(dir.path(), fs::perms::others_write, fs::perm_options::add);
    auto refused = startHotPlugSources(dir / "ports");
    ASSERT_EQ(refused.size(), devicesWatched ? 2u : 1u);
    EXPECT_EQ(refused.back()->drainEvents(),
              (std::vector<PortEvent>{{PortEvent::Kind::WatchLost, {}}}));
}

}  // namespace
}  // namespace dl250t
