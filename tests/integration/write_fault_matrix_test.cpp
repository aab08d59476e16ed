#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <thread>

#include "app/config_dialog.hpp"
#include "app/headless_window_host.hpp"
#include "config/field_codec.hpp"
#include "link/serial_link.hpp"
#include "platform/posix/posix_file_store.hpp"
#include "platform/posix/posix_serial_port.hpp"
#include "sim/simulated_module.hpp"
#include "support/outcome_printer.hpp"
#include "support/recording_prompter.hpp"
#include "support/temp_dir.hpp"
#include "ui/in_memory_form_view.hpp"

namespace dl250t {
namespace {

using std::chrono::milliseconds;
using ::testing::ElementsAre;

class FixedClock final : public Clock {
public:
    std::int64_t secondsSince1970() const override { return 0x12345678; }
};

// Real ports, with a hook that runs before each new port is made: the Write
// command makes one for its read exchange and one for its write exchange.
class HookedPorts final : public SerialPortFactory {
public:
    explicit HookedPorts(std::filesystem::path directory) : real_(std::move(directory)) {}
    std::unique_ptr<SerialPort> createPort() override {
        if (beforePort) {
            beforePort(++made_);
        }
        return real_.createPort();
    }
    std::function<void(int)> beforePort;

private:
    PosixSerialPortFactory real_;
    int made_ = 0;
};

enum class Setup { Fault, HeldByAnother, Missing, RemovedBetweenExchanges };

struct FaultCase {
    const char* name;
    Setup setup;
    const char* fault;  // for Setup::Fault
    Outcome outcome;
    bool failsBeforeEncoding;
    bool portRemains;
};

void PrintTo(const FaultCase& c, std::ostream* os) {
    *os << c.name;
}

// Every way a module or its port can let a Write down. Whatever happens, the
// operator sees the one message for it, within a bounded time; the serial
// number is not advanced; the working block is untouched when the command
// stopped before encoding; and the port is free again afterwards.
const FaultCase kFaultMatrix[] = {
    {"Silent", Setup::Fault, "silent", Outcome::ResponseTimeout, true, true},
    {"ShortBlock", Setup::Fault, "short:300", Outcome::LengthMismatch, true, true},
    {"PauseMidBlock", Setup::Fault, "pause:200:150", Outcome::LengthMismatch, true, true},
    {"BadCrc", Setup::Fault, "bad-crc", Outcome::CrcMismatch, true, true},
    {"BadKeyword", Setup::Fault, "bad-keyword", Outcome::KeywordMismatch, true, true},
    {"Garbage", Setup::Fault, "garbage", Outcome::KeywordMismatch, true, true},
    {"HangupMidBlock", Setup::Fault, "hangup:100", Outcome::PortReadFailed, true, false},
    {"NoAcknowledgement", Setup::Fault, "no-ack", Outcome::ModuleWriteFailed, false, true},
    {"ShortAcknowledgement", Setup::Fault, "short-ack", Outcome::ModuleWriteFailed, false, true},
    {"WrongAcknowledgement", Setup::Fault, "wrong-ack", Outcome::ModuleWriteFailed, false, true},
    {"PortHeldByAnother", Setup::HeldByAnother, "", Outcome::PortOpenFailed, true, true},
    {"PortMissing", Setup::Missing, "", Outcome::PortOpenFailed, true, false},
    {"PortRemovedBetweenExchanges", Setup::RemovedBetweenExchanges, "", Outcome::PortOpenFailed,
     true, false},
};

class WriteFaultMatrix : public ::testing::TestWithParam<FaultCase> {
protected:
    WriteFaultMatrix() {
        SimulatedModuleOptions options;
        options.portDirectory = dir / "ports";
        options.comNumber = 210;  // outside the fixed map: gone means gone
        module = std::make_unique<SimulatedModule>(options);
        EXPECT_TRUE(module->plugIn()) << module->lastError();
        dialog.initialise();
        view.setText(ctl::Port, "COM210");
        view.setText(ctl::Serial, "00 00 00 00 00 2A");
    }

    testing::TempDir dir;
    std::unique_ptr<SimulatedModule> module;
    HookedPorts ports{dir / "ports"};
    InMemoryFormView view;
    testing::RecordingPrompter prompter;
    HeadlessWindowHost host;
    FixedClock clock;
    PosixFileStore files;
    ConfigDialog dialog{{view, prompter, host, ports, clock, files, "dl250t-config"}};
};

TEST_P(WriteFaultMatrix, FailsWithItsMessageAndLosesNothing) {
    const FaultCase& c = GetParam();
    std::unique_ptr<SerialLink> otherOpener;
    switch (c.setup) {
        case Setup::Fault:
            module->setFault(*parseSimulatedFault(c.fault));
            break;
        case Setup::HeldByAnother:
            otherOpener = std::make_unique<SerialLink>(ports);
            ASSERT_TRUE(otherOpener->open("COM210"));
            break;
        case Setup::Missing:
            module->unplug();
            break;
        case Setup::RemovedBetweenExchanges:
            ports.beforePort = [this](int n) {
                if (n == 2) {
                    module->unplug();
                }
            };
            break;
    }
    const ConfigBlock before = dialog.workingBlock();

    const auto start = std::chrono::steady_clock::now();
    const Outcome outcome = dialog.write();
    const auto elapsed = std::chrono::steady_clock::now() - start;

    EXPECT_EQ(outcome, c.outcome);
    EXPECT_THAT(prompter.messageTexts(), ElementsAre(outcomeText(c.outcome)));
    EXPECT_EQ(view.text(ctl::StatusLine), outcomeText(c.outcome));
    EXPECT_LT(elapsed, milliseconds(3000)) << "a failing module must not hold up the line";
    EXPECT_EQ(view.text(ctl::Serial), "00 00 00 00 00 2A");
    if (c.failsBeforeEncoding) {
        EXPECT_EQ(dialog.workingBlock(), before);
    } else {
        EXPECT_EQ(decodeSerialText(dialog.workingBlock()), "00 00 00 00 00 2A");
        EXPECT_EQ(validateBlock(dialog.workingBlock(), kBlockSize), BlockCheck::Ok);
    }
    otherOpener.reset();
    if (c.portRemains) {
        SerialLink again(ports);
        EXPECT_TRUE(again.open("COM210")) << "the port must be free again";
    }

    // The next module on the line gets the same serial number. A module that
    // paused mid-block sends the rest of it late; let it finish first.
    if (std::string_view(c.fault).starts_with("pause")) {
        std::this_thread::sleep_for(milliseconds(300));
    }
    if (!module->isPluggedIn()) {
        ASSERT_TRUE(module->plugIn()) << module->lastError();
    }
    module->setFault({});
    ports.beforePort = nullptr;
    prompter.clearRecord();
    dialog.write();
    EXPECT_THAT(prompter.messageTexts(), ElementsAre());
    ASSERT_TRUE(module->lastStored());
    EXPECT_EQ(decodeSerialText(*module->lastStored()), "00 00 00 00 00 2A");
    EXPECT_EQ(view.text(ctl::Serial), "00 00 00 00 00 2B");
}

INSTANTIATE_TEST_SUITE_P(Faults, WriteFaultMatrix, ::testing::ValuesIn(kFaultMatrix),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace dl250t
