#include "hotplug/tty_port_tracker.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/posix/port_names.hpp"
#include "support/port_event_printer.hpp"
#include "support/temp_dir.hpp"

namespace dl250t {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;

PortEvent arrival(std::string name) {
    return {PortEvent::Kind::Arrival, std::move(name)};
}

PortEvent removal(std::string name) {
    return {PortEvent::Kind::Removal, std::move(name)};
}

TtyDeviceFacts tty(std::string sysname, std::string action = "add") {
    TtyDeviceFacts facts;
    facts.action = std::move(action);
    facts.subsystem = "tty";
    facts.devnode = "/dev/" + sysname;
    facts.sysname = std::move(sysname);
    facts.hasParent = true;
    return facts;
}

TtyDeviceFacts uart(std::string sysname, std::optional<long> type, bool belowSerial8250) {
    TtyDeviceFacts facts = tty(std::move(sysname));
    facts.uartType = type;
    facts.belowSerial8250Platform = belowSerial8250;
    return facts;
}

TEST(SerialPortDevice, AdaptersAndModemsByNameOnly) {
    EXPECT_TRUE(isSerialPortDevice(tty("ttyUSB0")));
    EXPECT_TRUE(isSerialPortDevice(tty("ttyUSB15")));
    EXPECT_TRUE(isSerialPortDevice(tty("ttyACM3")));
    for (const char* other : {"tty0", "tty63", "console", "ptmx", "ttyUSB", "ttyUSBx", "ttyACM0a",
                              "ttyAMA0", "ttyprintk", "ttyS"}) {
        EXPECT_FALSE(isSerialPortDevice(tty(other))) << other;
    }
    TtyDeviceFacts notTty = tty("ttyUSB0");
    notTty.subsystem = "usb-serial";
    EXPECT_FALSE(isSerialPortDevice(notTty));
}

TEST(SerialPortDevice, UartOnlyWhenAChipAnswered) {
    // The UART type the driver found decides, wherever the port hangs.
    EXPECT_TRUE(isSerialPortDevice(uart("ttyS0", 4, false)));
    EXPECT_TRUE(isSerialPortDevice(uart("ttyS0", 4, true))) << "a legacy port that answers";
    EXPECT_FALSE(isSerialPortDevice(uart("ttyS1", 0, true))) << "a reserved port";
    EXPECT_FALSE(isSerialPortDevice(uart("ttyS1", 0, false)));
    // Without the type, only a port below the 8250 placeholder is taken for reserved.
    EXPECT_TRUE(isSerialPortDevice(uart("ttyS4", std::nullopt, false)));
    EXPECT_FALSE(isSerialPortDevice(uart("ttyS4", std::nullopt, true)));
    TtyDeviceFacts orphan = uart("ttyS5", std::nullopt, false);
    orphan.hasParent = false;
    EXPECT_FALSE(isSerialPortDevice(orphan));
}

struct TrackerFixture : ::testing::Test {
    std::map<std::string, std::string> comNames{{"/dev/ttyUSB0", "COM33"},
                                                {"/dev/ttyUSB1", "COM5"},
                                                {"/dev/ttyACM0", "COM49"},
                                                {"/dev/ttyS0", "COM1"},
                                                {"/dev/ttyS1", "COM2"}};
    TtyPortTracker tracker{[this](const fs::path& device) -> std::optional<std::string> {
        const auto found = comNames.find(device.string());
        if (found == comNames.end()) {
            return std::nullopt;
        }
        return found->second;
    }};
};

TEST_F(TrackerFixture, AddAndRemoveAreArrivalAndRemoval) {
    EXPECT_EQ(tracker.handle(tty("ttyUSB1")), arrival("COM5"));
    EXPECT_EQ(tracker.handle(tty("ttyACM0")), arrival("COM49"));
    EXPECT_EQ(tracker.handle(tty("ttyUSB1", "remove")), removal("COM5"));
    EXPECT_EQ(tracker.handle(tty("ttyACM0", "remove")), removal("COM49"));
    EXPECT_EQ(tracker.handle(uart("ttyS0", 4, false)), arrival("COM1"));
    EXPECT_EQ(tracker.handle(uart("ttyS1", 0, true)), std::nullopt);
    EXPECT_EQ(tracker.handle(tty("ttyS1", "remove")), std::nullopt) << "never reported";
}

TEST_F(TrackerFixture, RemovalKeepsTheNameGivenOnArrival) {
    ASSERT_EQ(tracker.handle(tty("ttyUSB1")), arrival("COM5"));
    comNames.erase("/dev/ttyUSB1");  // the link that named it leads nowhere now
    EXPECT_EQ(tracker.nameOf("/dev/ttyUSB1"), "COM5");
    EXPECT_EQ(tracker.handle(tty("ttyUSB1", "remove")), removal("COM5"));
    EXPECT_EQ(tracker.nameOf("/dev/ttyUSB1"), std::nullopt);
    EXPECT_EQ(tracker.handle(tty("ttyUSB1", "remove")), std::nullopt) << "removed once";
}

TEST_F(TrackerFixture, OnlyPlugsThatChangeSomethingCount) {
    ASSERT_EQ(tracker.handle(tty("ttyUSB0")), arrival("COM33"));
    EXPECT_EQ(tracker.handle(tty("ttyUSB0")), std::nullopt) << "a repeated add is no new plug";
    EXPECT_EQ(tracker.handle(tty("ttyUSB0", "change")), std::nullopt);
    EXPECT_EQ(tracker.handle(tty("ttyUSB0", "bind")), std::nullopt);
    EXPECT_EQ(tracker.handle(tty("ttyUSB7")), std::nullopt) << "no COM name";
    EXPECT_EQ(tracker.handle(tty("ttyUSB7", "remove")), std::nullopt);
    EXPECT_EQ(tracker.handle(tty("tty3")), std::nullopt);
    EXPECT_EQ(tracker.handle(tty("ttyUSB0", "remove")), removal("COM33"));
    EXPECT_EQ(tracker.handle(tty("ttyUSB0")), arrival("COM33")) << "plugged in again";
}

TEST_F(TrackerFixture, PortsPresentAtStartAreKnownButNotReported) {
    tracker.notePresent(tty("ttyUSB1", ""));
    tracker.notePresent(uart("ttyS0", 4, false));
    tracker.notePresent(uart("ttyS1", 0, true));
    EXPECT_EQ(tracker.handle(tty("ttyUSB1")), std::nullopt);
    EXPECT_EQ(tracker.handle(tty("ttyS0", "remove")), removal("COM1"));
    EXPECT_EQ(tracker.handle(tty("ttyS1", "remove")), std::nullopt);
}

TEST_F(TrackerFixture, DeviceFileFallsBackToTheSysname) {
    TtyDeviceFacts bare = tty("ttyUSB1");
    bare.devnode.clear();
    EXPECT_EQ(bare.deviceFile(), fs::path("/dev/ttyUSB1"));
    EXPECT_EQ(tracker.handle(bare), arrival("COM5"));
    EXPECT_EQ(tracker.handle(tty("ttyUSB1", "remove")), removal("COM5"));
}

TEST_F(TrackerFixture, ReconcileReportsWhatLostNotificationsHid) {
    tracker.notePresent(tty("ttyUSB0", ""));
    tracker.notePresent(tty("ttyUSB1", ""));
    // ttyUSB0 went and ttyACM0 came while nothing was heard.
    const std::vector<TtyDeviceFacts> now{tty("ttyACM0", ""), tty("ttyUSB1", ""),
                                          uart("ttyS1", 0, true)};
    EXPECT_THAT(tracker.reconcile(now), ElementsAre(removal("COM33"), arrival("COM49")));
    EXPECT_TRUE(tracker.reconcile(now).empty());
    EXPECT_EQ(tracker.handle(tty("ttyACM0", "remove")), removal("COM49"));
}

// With the real naming: a link in the port directory that leads to the
// device through a by-id style link names it; by the time of the removal
// both links lead nowhere, and the name given on arrival still holds.
TEST(TrackerWithPortDirectory, ByIdLinkNamesTheArrivalAndItsRemoval) {
    testing::TempDir dir;
    const fs::path ports = dir / "ports";
    fs::create_directory(ports);
    fs::permissions(ports, fs::perms::owner_all);
    const fs::path device = dir / "ttyUSB9";
    const fs::path byId = dir / "usb-FTDI_FT232R_A1B2C3-if00-port0";
    testing::writeAll(device, {});
    fs::create_symlink(device, byId);
    fs::create_symlink(byId, ports / "COM7");

    TtyPortTracker tracker(
        [&ports](const fs::path& file) { return comNameForDevice(file, ports); });
    TtyDeviceFacts facts = tty("ttyUSB9");
    facts.devnode = device.string();
    EXPECT_EQ(tracker.handle(facts), arrival("COM7"));

    fs::remove(byId);
    fs::remove(device);
    facts.action = "remove";
    EXPECT_EQ(tracker.handle(facts), removal("COM7"));
}

}  // namespace
}  // namespace dl250t
