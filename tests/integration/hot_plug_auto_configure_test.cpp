#include <poll.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <sstream>

#include "app/config_dialog.hpp"
#include "app/headless_window_host.hpp"
#include "config/field_codec.hpp"
#include "platform/linux/port_directory_source.hpp"
#include "platform/posix/posix_file_store.hpp"
#include "platform/posix/posix_serial_port.hpp"
#include "sim/simulated_module.hpp"
#include "support/outcome_printer.hpp"
#include "support/port_event_printer.hpp"
#include "support/recording_prompter.hpp"
#include "support/temp_dir.hpp"
#include "ui/in_memory_form_view.hpp"

namespace dl250t {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::Field;
using ::testing::IsEmpty;
using testing::RecordedMessage;

class FixedClock final : public Clock {
public:
    std::int64_t secondsSince1970() const override { return 0x65000000; }
};

PortEvent arrival(std::string name) {
    return {PortEvent::Kind::Arrival, std::move(name)};
}

PortEvent removal(std::string name) {
    return {PortEvent::Kind::Removal, std::move(name)};
}

// "00 00 65 00 00 01" as the number it counts.
std::uint64_t serialNumber(const std::string& text) {
    std::istringstream groups(text);
    std::uint64_t number = 0;
    unsigned byte = 0;
    while (groups >> std::hex >> byte) {
        number = number << 8 | byte;
    }
    return number;
}

std::uint64_t storedSerial(const SimulatedModule& module) {
    const auto stored = module.lastStored();
    return stored ? serialNumber(decodeSerialText(*stored)) : 0;
}

// The controller in auto-configure mode, told about ports by the watch on a
// port directory of its own, talking to simulated modules over ptys.
class AutoConfigureOverPorts : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(source, nullptr);
        dialog.initialise();
        view.setChecked(ctl::AutoConfigure, true);
        dialog.handleControlEvent(ControlEvent::Clicked, ctl::AutoConfigure);
        ASSERT_TRUE(dialog.autoConfigure());
        prompter.clearRecord();
    }

    SimulatedModuleOptions module(int comNumber) {
        SimulatedModuleOptions options;
        options.portDirectory = ports;
        options.comNumber = comNumber;
        return options;
    }

    // What the window's event loop does when the source's descriptor becomes
    // readable. The timeout only keeps a broken watch from hanging the test.
    std::vector<PortEvent> pumpPortEvents() {
        pollfd watched{source->descriptor(), POLLIN, 0};
        if (poll(&watched, 1, 5000) != 1) {
            return {};
        }
        const std::vector<PortEvent> events = source->drainEvents();
        for (const PortEvent& event : events) {
            dialog.handlePortEvent(event);
        }
        return events;
    }

    testing::TempDir dir;
    fs::path ports = dir / "dl250t" / "ports";
    std::unique_ptr<PortDirectorySource> source = PortDirectorySource::start(ports);
    InMemoryFormView view;
    testing::RecordingPrompter prompter;
    HeadlessWindowHost host;
    PosixSerialPortFactory serialPorts{ports};
    FixedClock clock;
    PosixFileStore files;
    ConfigDialog dialog{{view, prompter, host, serialPorts, clock, files, "dl250t-config"}};
};

TEST_F(AutoConfigureOverPorts, ModulesPluggedInOneAfterAnotherGetConsecutiveSerials) {
    const std::uint64_t first = serialNumber(view.text(ctl::Serial));
    std::vector<std::uint64_t> written;
    for (int com : {3, 4, 5}) {
        const std::string name = "COM" + std::to_string(com);
        SimulatedModule simulated(module(com));
        ASSERT_TRUE(simulated.plugIn()) << simulated.lastError();

        EXPECT_THAT(pumpPortEvents(), ElementsAre(arrival(name)));
        EXPECT_EQ(view.text(ctl::Port), name);
        EXPECT_EQ(dialog.lastOutcome(), Outcome::ModuleWritten);
        EXPECT_EQ(simulated.readRequests(), 1u);
        ASSERT_EQ(simulated.storedCount(), 1u) << name;
        written.push_back(storedSerial(simulated));

        simulated.unplug();
        EXPECT_THAT(pumpPortEvents(), ElementsAre(removal(name)));
        EXPECT_EQ(view.text(ctl::StatusLine), "模块从" + name + "拔出");
    }
    EXPECT_THAT(written, ElementsAre(first, first + 1, first + 2));
    EXPECT_EQ(serialNumber(view.text(ctl::Serial)), first + 3);
    EXPECT_THAT(prompter.messages(), IsEmpty());
}

// The first module's write shows a range warning; while that box is open the
// next module is plugged in. It is configured after the first one is done,
// never inside its write and never twice.
TEST_F(AutoConfigureOverPorts, ModulePluggedInDuringABoxIsWrittenAfterTheFirst) {
    view.setText(ctl::StartFrequency, "300");
    const std::uint64_t first = serialNumber(view.text(ctl::Serial));
    SimulatedModule one(module(3));
    SimulatedModule two(module(4));
    int boxesWhileTwoArrived = 0;
    prompter.whileMessageOpen([&](const RecordedMessage&) {
        if (two.isPluggedIn()) {
            return;
        }
        ASSERT_TRUE(two.plugIn()) << two.lastError();
        EXPECT_THAT(pumpPortEvents(), ElementsAre(arrival("COM4")));
        ++boxesWhileTwoArrived;
        EXPECT_EQ(one.storedCount(), 0u) << "the first write is still under way";
        EXPECT_EQ(two.readRequests(), 0u) << "nothing may run inside the box";
    });

    ASSERT_TRUE(one.plugIn()) << one.lastError();
    EXPECT_THAT(pumpPortEvents(), ElementsAre(arrival("COM3")));

    EXPECT_EQ(boxesWhileTwoArrived, 1);
    EXPECT_EQ(one.storedCount(), 1u);
    EXPECT_EQ(two.storedCount(), 1u);
    EXPECT_EQ(storedSerial(one), first);
    EXPECT_EQ(storedSerial(two), first + 1);
    EXPECT_EQ(serialNumber(view.text(ctl::Serial)), first + 2);
    EXPECT_EQ(view.text(ctl::Port), "COM4");
    EXPECT_EQ(dialog.lastOutcome(), Outcome::ModuleWritten);
    ASSERT_FALSE(prompter.messages().empty());
    EXPECT_THAT(prompter.messages(),
                ::testing::Each(Field(&RecordedMessage::icon, MessageIcon::Warning)));
    EXPECT_THAT(prompter.messages().front().text, ::testing::StartsWith("起始频点为300.0000MHz"));
}

// Removing the folder above the port directory left auto-configure deaf for
// the rest of the run, without a word: modules plugged in later were never
// written while the box stayed ticked.
TEST_F(AutoConfigureOverPorts, ModulesAreWrittenAgainOnceTheFoldersAreBack) {
    fs::remove_all(dir / "dl250t");
    pumpPortEvents();
    EXPECT_EQ(view.text(ctl::StatusLine), "串口目录无法监视！");

    fs::create_directories(ports);
    fs::permissions(dir / "dl250t", fs::perms::owner_all, fs::perm_options::replace);
    fs::permissions(ports, fs::perms::owner_all, fs::perm_options::replace);
    SimulatedModule simulated(module(3));
    ASSERT_TRUE(simulated.plugIn()) << simulated.lastError();
    for (int pump = 0; pump < 3 && simulated.storedCount() == 0; ++pump) {
        pumpPortEvents();
    }
    EXPECT_EQ(simulated.storedCount(), 1u);
    EXPECT_EQ(view.text(ctl::StatusLine), outcomeText(Outcome::ModuleWritten));
    EXPECT_THAT(prompter.messages(), IsEmpty());
}

}  // namespace
}  // namespace dl250t
