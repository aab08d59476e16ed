#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <thread>

#include "link/module_exchange.hpp"
#include "link/serial_link.hpp"
#include "platform/posix/posix_serial_port.hpp"
#include "sim/simulated_module.hpp"
#include "support/recording_reporter.hpp"
#include "support/temp_dir.hpp"

namespace dl250t {
namespace {

using namespace std::chrono_literals;
using ::testing::ElementsAre;
using testing::RecordingReporter;

// A module whose block holds every byte value, control characters included.
ConfigBlock moduleBlock() {
    ConfigBlock block = makeInitialWorkingBlock();
    for (std::size_t i = block::kSerial; i < block::kPayloadEnd; ++i) {
        block[i] = static_cast<std::uint8_t>(i * 3 + 1);
    }
    stampHeaderAndCrc(block);
    return block;
}

ConfigBlock callersBlock() {
    ConfigBlock block;
    block.bytes.fill(0xC3);
    return block;
}

SimulatedFault fault(std::string_view text) {
    const auto parsed = parseSimulatedFault(text);
    EXPECT_TRUE(parsed.has_value()) << text;
    return parsed.value_or(SimulatedFault{});
}

class ExchangeOverPtyTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(module.plugIn()) << module.lastError();
        port = module.portName();
        // While a failure box is on screen the port must still be held.
        reporter.whileShown = [this](Outcome outcome) {
            if (!isSuccess(outcome)) {
                SerialLink other(ports);
                heldDuringFailure.push_back(!other.open(port));
            }
        };
    }

    bool canOpenAgain() {
        SerialLink link(ports);
        return link.open(port);
    }

    Outcome read() { return readExchange(ports, port, target, reporter); }

    Outcome write() {
        return writeExchange(
            ports, port, working, [](ConfigBlock& block) { block[block::kSerial + 5] = 0x2A; },
            reporter);
    }

    static SimulatedModuleOptions moduleOptions(const std::filesystem::path& portDirectory) {
        SimulatedModuleOptions options;
        options.portDirectory = portDirectory;
        // Beyond the fixed map, so that the name opens nothing once unplugged.
        options.comNumber = 200;
        options.block = moduleBlock();
        return options;
    }

    testing::TempDir dir;
    SimulatedModule module{moduleOptions(dir / "ports")};
    PosixSerialPortFactory ports{dir / "ports"};
    std::string port;
    RecordingReporter reporter;
    std::vector<bool> heldDuringFailure;
    ConfigBlock target = callersBlock();
    ConfigBlock working = moduleBlock();
};

TEST_F(ExchangeOverPtyTest, ReadTakesTheModulesBlock) {
    EXPECT_EQ(read(), Outcome::ModuleRead);
    EXPECT_EQ(target, moduleBlock());
    EXPECT_THAT(reporter.reports, ElementsAre(Outcome::ModuleRead));
    EXPECT_EQ(module.readRequests(), 1u);
    EXPECT_TRUE(canOpenAgain());
}

TEST_F(ExchangeOverPtyTest, ReadTakesABlockSentAtTheLineRate) {
    module.setPace(true);
    EXPECT_EQ(read(), Outcome::ModuleRead);
    EXPECT_EQ(target, moduleBlock());
}

TEST_F(ExchangeOverPtyTest, ShortPausesInTheMiddleOfABlockAreTolerated) {
    module.setFault(fault("pause:200:3"));
    EXPECT_EQ(read(), Outcome::ModuleRead);
    EXPECT_EQ(target, moduleBlock());
}

TEST_F(ExchangeOverPtyTest, StrayBytesBeforeTheOpenDoNotSpoilTheRead) {
    ASSERT_TRUE(module.sendUnsolicited(std::vector<std::uint8_t>{'A', 'T', 'O', 'K', 0, 0xFF}));
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(read(), Outcome::ModuleRead);
    EXPECT_EQ(target, moduleBlock());
}

TEST_F(ExchangeOverPtyTest, WriteIsStoredAndReadBack) {
    EXPECT_EQ(write(), Outcome::ModuleWritten);
    EXPECT_THAT(reporter.reports, ElementsAre(Outcome::ModuleWritten));
    ASSERT_EQ(module.storedCount(), 1u);
    EXPECT_EQ(module.lastStored(), working);
    EXPECT_EQ(working[block::kSerial + 5], 0x2A);
    EXPECT_EQ(std::string(working.bytes.begin(), working.bytes.begin() + 4), "ATW0");

    EXPECT_EQ(read(), Outcome::ModuleRead);
    EXPECT_EQ(target, working);
}

struct ReadFault {
    const char* fault;
    Outcome outcome;

    friend void PrintTo(const ReadFault& f, std::ostream* out) { *out << f.fault; }
};

class ReadFaultTest : public ExchangeOverPtyTest,
                      public ::testing::WithParamInterface<ReadFault> {};

TEST_P(ReadFaultTest, IsReportedWithThePortHeldAndLeavesTheTargetAlone) {
    module.setFault(fault(GetParam().fault));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(read(), GetParam().outcome);
    const auto elapsed = std::chrono::steady_clock::now() - start;

    EXPECT_THAT(reporter.reports, ElementsAre(GetParam().outcome));
    EXPECT_THAT(heldDuringFailure, ElementsAre(true));
    EXPECT_EQ(target, callersBlock());
    EXPECT_LT(elapsed, 3s);
    EXPECT_TRUE(canOpenAgain());
}

INSTANTIATE_TEST_SUITE_P(Faults, ReadFaultTest,
                         ::testing::Values(ReadFault{"silent", Outcome::ResponseTimeout},
                                           ReadFault{"short:300", Outcome::LengthMismatch},
                                           ReadFault{"pause:300:60", Outcome::LengthMismatch},
                                           ReadFault{"bad-keyword", Outcome::KeywordMismatch},
                                           ReadFault{"garbage", Outcome::KeywordMismatch},
                                           ReadFault{"bad-crc", Outcome::CrcMismatch}),
                         [](const auto& info) {
                             std::string name = info.param.fault;
                             std::erase_if(name, [](char c) {
                                 return !std::isalnum(static_cast<unsigned char>(c));
                             });
                             return name;
                         });

TEST_F(ExchangeOverPtyTest, ASilentModuleTimesOutAfterTheWholeReadTimeout) {
    module.setFault(fault("silent"));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(read(), Outcome::ResponseTimeout);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 400ms);  // 518 + 50 ms
}

TEST_F(ExchangeOverPtyTest, AModuleThatVanishesMidBlockIsAReadError) {
    module.setFault(fault("hangup:100"));
    EXPECT_EQ(read(), Outcome::PortReadFailed);
    EXPECT_THAT(reporter.reports, ElementsAre(Outcome::PortReadFailed));
    EXPECT_EQ(target, callersBlock());
    EXPECT_FALSE(module.isPluggedIn());
    EXPECT_FALSE(canOpenAgain());
}

class AckFaultTest : public ExchangeOverPtyTest,
                     public ::testing::WithParamInterface<const char*> {};

TEST_P(AckFaultTest, IsAFailedModuleWrite) {
    module.setFault(fault(GetParam()));
    EXPECT_EQ(write(), Outcome::ModuleWriteFailed);
    EXPECT_THAT(reporter.reports, ElementsAre(Outcome::ModuleWriteFailed));
    EXPECT_THAT(heldDuringFailure, ElementsAre(true));
    EXPECT_TRUE(canOpenAgain());
}

INSTANTIATE_TEST_SUITE_P(Faults, AckFaultTest,
                         ::testing::Values("no-ack", "short-ack", "wrong-ack", "silent"),
                         [](const auto& info) {
                             std::string name = info.param;
                             std::erase(name, '-');
                             return name;
                         });

TEST_F(ExchangeOverPtyTest, APortThatIsMissingOrHeldCannotBeOpened) {
    SerialLink holder(ports);
    ASSERT_TRUE(holder.open(port));
    EXPECT_EQ(read(), Outcome::PortOpenFailed);
    EXPECT_EQ(write(), Outcome::PortOpenFailed);
    holder.close();

    const std::string missing = (dir / "no-such-tty").string();
    EXPECT_EQ(readExchange(ports, missing, target, reporter), Outcome::PortOpenFailed);
    EXPECT_EQ(
        writeExchange(
            ports, missing, working, [](ConfigBlock&) { ADD_FAILURE() << "encoded"; }, reporter),
        Outcome::PortOpenFailed);

    const Outcome openFailed = Outcome::PortOpenFailed;
    EXPECT_THAT(reporter.reports, ElementsAre(openFailed, openFailed, openFailed, openFailed));
    EXPECT_EQ(target, callersBlock());
    EXPECT_EQ(working, moduleBlock());
    EXPECT_EQ(module.readRequests(), 0u);
    EXPECT_TRUE(canOpenAgain());
}

}  // namespace
}  // namespace dl250t
