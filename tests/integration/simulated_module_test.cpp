#include "sim/simulated_module.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <mutex>

#include "config/config_file.hpp"
#include "config/encoding_tables.hpp"
#include "config/field_codec.hpp"
#include "config/rate_defaults.hpp"
#include "config/settings_codec.hpp"
#include "link/module_exchange.hpp"
#include "platform/posix/posix_file_store.hpp"
#include "platform/posix/posix_serial_port.hpp"
#include "support/recording_reporter.hpp"
#include "support/temp_dir.hpp"

namespace dl250t {
namespace {

// Files on disk, as the programs have them.
PosixFileStore files;

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

TEST(SimulatedFault, ReadsEveryFaultAndWritesItBack) {
    for (const char* text :
         {"none", "silent", "short:300", "pause:100:40", "bad-crc", "bad-keyword", "no-ack",
          "short-ack", "wrong-ack", "garbage", "hangup:0", "bursts:62:5", "corrupt-store"}) {
        const auto fault = parseSimulatedFault(text);
        ASSERT_TRUE(fault.has_value()) << text;
        EXPECT_EQ(simulatedFaultText(*fault), text);
    }
    EXPECT_EQ(parseSimulatedFault("pause:7:25"),
              (SimulatedFault{SimulatedFault::Kind::Pause, 7, std::chrono::milliseconds(25)}));
    for (const char* text :
         {"", "short", "short:", "short:x", "pause:1", "silent:1", "hangup:-1", "loud"}) {
        EXPECT_FALSE(parseSimulatedFault(text).has_value()) << text;
    }
}

// A plugged-in module that has never been configured by the tool looks like
// one from the factory: a known type and band, a network, a host UART of 9600
// 8N1 and a serial number; and its block is one the tool itself writes, with
// the timings that its default rate derives.
TEST(SimulatedModuleBlock, IsAFactoryNodeThatTheToolWouldWriteAgain) {
    const ConfigBlock block = defaultSimulatedBlock();
    ASSERT_EQ(validateBlock(block, kBlockSize), BlockCheck::Ok);

    ModuleSettings settings;
    ModuleIdentity identity;
    decodeSettings(block, settings, identity);
    EXPECT_EQ(settings.typeText, "NODE");
    EXPECT_EQ(settings.bandText, "433MHz");
    EXPECT_EQ(identity.bandBaseMHz, 433);
    EXPECT_NE(settings.networkId, 0);
    EXPECT_NE(settings.serialText, "00 00 00 00 00 00");
    ASSERT_GE(settings.uartBaudIndex, 0);
    ASSERT_LT(settings.uartBaudIndex, static_cast<std::int32_t>(kUartRates.size()));
    EXPECT_EQ(kUartRates[static_cast<std::size_t>(settings.uartBaudIndex)].baud, 9600);
    EXPECT_EQ(decodeUartControl(block), UartFraming{});  // start bit low, no parity, one stop bit

    deriveDefaultRateTimings(settings);
    deriveRateUpperLimitValues(settings);
    applyChannelPlan(settings, false);
    std::vector<std::string> warnings;
    EncodeHooks hooks;
    hooks.warn = [&warnings](const std::string& warning) { warnings.push_back(warning); };
    ConfigBlock rewritten = block;
    encodeSettings(settings, identity, rewritten, hooks);
    stampHeaderAndCrc(rewritten);
    EXPECT_THAT(warnings, ::testing::IsEmpty());
    EXPECT_EQ(rewritten, block);
}

class SimulatedModuleTest : public ::testing::Test {
protected:
    SimulatedModuleOptions options() {
        SimulatedModuleOptions o;
        o.portDirectory = ports;
        o.onEvent = [this](std::string_view line) {
            std::lock_guard lock(eventsMutex);
            events.emplace_back(line);
        };
        return o;
    }

    testing::TempDir dir;
    fs::path ports = dir / "ports";
    std::mutex eventsMutex;
    std::vector<std::string> events;
};

TEST_F(SimulatedModuleTest, PlugsInUnderTheLowestFreeNameAndUnplugsCleanly) {
    SimulatedModule first(options());
    ASSERT_TRUE(first.plugIn()) << first.lastError();
    fs::create_symlink(dir / "gone", ports / "COM2");  // left behind by a module that is gone
    fs::create_symlink("/dev/null", ports / "COM3");   // alive
    SimulatedModule second(options());
    SimulatedModule third(options());
    ASSERT_TRUE(second.plugIn());
    ASSERT_TRUE(third.plugIn());

    EXPECT_EQ(first.portName(), "COM1");
    EXPECT_EQ(second.portName(), "COM2");
    EXPECT_EQ(third.portName(), "COM4");
    EXPECT_EQ(fs::read_symlink(ports / "COM2"), fs::path(second.devicePath()));

    second.unplug();
    EXPECT_FALSE(fs::is_symlink(fs::symlink_status(ports / "COM2")));
    EXPECT_FALSE(second.isPluggedIn());
    EXPECT_THAT(events, ::testing::Contains("plugged in as COM2 -> " + second.devicePath()));
    EXPECT_EQ(events.back(), "unplugged COM2");

    SimulatedModuleOptions taken = options();
    taken.comNumber = 1;
    SimulatedModule clash(taken);
    EXPECT_FALSE(clash.plugIn());
    EXPECT_THAT(clash.lastError(), HasSubstr("COM1"));
}

TEST_F(SimulatedModuleTest, KeepsAWrittenBlockForTheNextReadAndInItsStoreFile) {
    SimulatedModuleOptions o = options();
    o.storeFile = dir / "stored.cfg";
    SimulatedModule module(o);
    ASSERT_TRUE(module.plugIn());
    PosixSerialPortFactory factory(ports);
    testing::RecordingReporter reporter;

    ConfigBlock working = makeInitialWorkingBlock();
    working[block::kSerial + 4] = 0x01;
    ASSERT_EQ(writeExchange(factory, module.portName(), working, {}, reporter),
              Outcome::ModuleWritten);
    ConfigBlock readBack;
    ASSERT_EQ(readExchange(factory, module.portName(), readBack, reporter), Outcome::ModuleRead);

    EXPECT_EQ(readBack, working);
    EXPECT_EQ(module.storedCount(), 1u);
    const LoadedConfigFile saved = loadConfigFile(files, dir / "stored.cfg");
    EXPECT_EQ(saved.check, BlockCheck::Ok);
    EXPECT_EQ(saved.block, working);
    std::lock_guard lock(eventsMutex);
    EXPECT_THAT(events, ::testing::Contains("block stored, serial number 00 00 00 00 01 00"));
}

TEST_F(SimulatedModuleTest, RefusesAWrittenBlockThatFailsItsChecks) {
    SimulatedModule module(options());
    ASSERT_TRUE(module.plugIn());
    PosixSerialPortFactory factory(ports);
    testing::RecordingReporter reporter;
    ConfigBlock working;  // no block keyword
    EXPECT_EQ(writeExchange(factory, module.portName(), working, {}, reporter),
              Outcome::ModuleWriteFailed);
    EXPECT_EQ(module.storedCount(), 0u);
    EXPECT_EQ(module.block(), defaultSimulatedBlock());
}

// The program as a user runs it: plugged in at start, answering, and gone
// again when its time is up.
TEST_F(SimulatedModuleTest, TheProgramPlugsInAnswersAndUnplugs) {
    const std::string command = std::string(DL250T_SIM_PROGRAM) + " --port COM107 --port-dir " +
                                ports.string() + " --unplug-after 1.5";
    std::FILE* program = popen(command.c_str(), "r");
    ASSERT_NE(program, nullptr);
    std::array<char, 256> line{};
    ASSERT_NE(std::fgets(line.data(), line.size(), program), nullptr);
    EXPECT_THAT(std::string(line.data()),
                ::testing::StartsWith("plugged in as COM107 -> /dev/pts/"));

    PosixSerialPortFactory factory(ports);
    testing::RecordingReporter reporter;
    ConfigBlock target;
    EXPECT_EQ(readExchange(factory, "COM107", target, reporter), Outcome::ModuleRead);
    EXPECT_EQ(target, defaultSimulatedBlock());

    std::string rest;
    while (std::fgets(line.data(), line.size(), program) != nullptr) {
        rest += line.data();
    }
    EXPECT_EQ(pclose(program), 0);
    EXPECT_EQ(rest, "request ATR0\nblock sent (518 bytes)\nunplugged COM107\n");
    EXPECT_FALSE(fs::exists(fs::symlink_status(ports / "COM107")));
}

}  // namespace
}  // namespace dl250t
