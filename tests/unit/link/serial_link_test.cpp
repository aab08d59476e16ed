#include "link/serial_link.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "support/scripted_serial_port.hpp"

namespace dl250t {
namespace {

using testing::PortCall;
using testing::ScriptedPortFactory;
using testing::ScriptedReply;

const std::vector<PortCall> kOpenSequence{
    PortCall::OpenExisting,
    PortCall::ReadLineSettings,
    PortCall::ApplyLineDescription,
    PortCall::WriteLineSettings,
    PortCall::SetTimeouts,
    PortCall::SetBufferSizes,
    PortCall::Purge,
};

class SerialLinkTest : public ::testing::Test {
protected:
    void TearDown() override { EXPECT_THAT(ports.device.misuse, ::testing::IsEmpty()); }

    ScriptedPortFactory ports;
};

TEST_F(SerialLinkTest, OpenRunsEveryStepOnceInOrderWithTheModuleLine) {
    SerialLink link(ports);
    ASSERT_TRUE(link.open("COM3"));
    EXPECT_TRUE(link.isOpen());
    EXPECT_EQ(ports.device.calls, kOpenSequence);
    EXPECT_EQ(ports.device.openedName, "COM3");
    EXPECT_EQ(ports.device.lineDescription, "baud=115200 parity=N data=8 stop=1");
    EXPECT_EQ(ports.device.timeouts, (SerialTimeouts{1, 1, 50, 0, 0}));
    EXPECT_EQ(ports.device.receiveBufferBytes, 1024u);
    EXPECT_EQ(ports.device.sendBufferBytes, 1024u);
    EXPECT_TRUE(ports.device.held);
}

TEST_F(SerialLinkTest, FailedOpenOfThePortHoldsNothingAndClosesNothing) {
    ports.device.failingCall = PortCall::OpenExisting;
    SerialLink link(ports);
    EXPECT_FALSE(link.open("COM9"));
    EXPECT_FALSE(link.isOpen());
    EXPECT_EQ(ports.device.calls, std::vector<PortCall>{PortCall::OpenExisting});
    EXPECT_FALSE(ports.device.held);
}

class RefusedStepTest : public SerialLinkTest, public ::testing::WithParamInterface<PortCall> {};

TEST_P(RefusedStepTest, ClosesThePortAtOnceSoTheNextOpenMeetsTheSameRefusal) {
    ports.device.failingCall = GetParam();
    std::vector<PortCall> expected(kOpenSequence.begin(),
                                   kOpenSequence.begin() + static_cast<int>(GetParam()) + 1);
    expected.push_back(PortCall::Close);

    for (int attempt = 0; attempt < 2; ++attempt) {
        ports.device.calls.clear();
        SerialLink link(ports);
        EXPECT_FALSE(link.open("COM3"));
        EXPECT_FALSE(link.isOpen());
        EXPECT_FALSE(ports.device.held);
        EXPECT_EQ(ports.device.calls, expected) << "attempt " << attempt;
    }
}

INSTANTIATE_TEST_SUITE_P(
    EveryConfigurationStep, RefusedStepTest,
    ::testing::Values(PortCall::ReadLineSettings, PortCall::ApplyLineDescription,
                      PortCall::WriteLineSettings, PortCall::SetTimeouts, PortCall::SetBufferSizes),
    [](const auto& info) { return std::string(testing::portCallName(info.param)); });

TEST_F(SerialLinkTest, AFailedPurgeDoesNotStopTheOpen) {
    ports.device.failingCall = PortCall::Purge;
    SerialLink link(ports);
    EXPECT_TRUE(link.open("COM3"));
    EXPECT_EQ(ports.device.calls, kOpenSequence);
}

TEST_F(SerialLinkTest, PortNamesAreCutTo255Characters) {
    const std::string name255 = "/dev/" + std::string(250, 'x');
    {
        SerialLink link(ports);
        ASSERT_TRUE(link.open(name255 + "tail"));
        EXPECT_EQ(ports.device.openedName, name255);
    }
    {
        SerialLink link(ports);
        ASSERT_TRUE(link.open(name255));
        EXPECT_EQ(ports.device.openedName, name255);
    }
}

TEST_F(SerialLinkTest, ASecondOpenerOfAHeldPortFails) {
    SerialLink first(ports);
    SerialLink second(ports);
    ASSERT_TRUE(first.open("COM3"));
    EXPECT_FALSE(second.open("COM3"));
    first.close();
    EXPECT_TRUE(second.open("COM3"));
}

TEST_F(SerialLinkTest, ReadsAreBoundedByTheWantedCount) {
    ports.device.replies = {ScriptedReply::text("0123456789"), ScriptedReply::text("AB")};
    SerialLink link(ports);
    ASSERT_TRUE(link.open("COM3"));

    std::array<std::uint8_t, 518> block{};
    ASSERT_TRUE(link.write(std::array<std::uint8_t, 1>{1}));
    EXPECT_EQ(link.read(block).count, 10u);

    std::array<std::uint8_t, 4> ack{'.', '.', '.', '.'};
    ASSERT_TRUE(link.write(std::array<std::uint8_t, 1>{2}));
    const ReadResult reply = link.read(ack);
    EXPECT_TRUE(reply.ok);
    EXPECT_EQ(reply.count, 2u);
    // Bytes not received leave the buffer as it was.
    EXPECT_EQ(std::string(ack.begin(), ack.end()), "AB..");

    using std::chrono::milliseconds;
    EXPECT_EQ(ports.device.readTimeouts,
              (std::vector<ReadTimeouts>{{milliseconds(568), milliseconds(1)},
                                         {milliseconds(54), milliseconds(1)}}));
}

TEST_F(SerialLinkTest, PlatformErrorsReachTheCallerAndLeaveTheLinkOpen) {
    ports.device.replies = {ScriptedReply::error()};
    SerialLink link(ports);
    ASSERT_TRUE(link.open("COM3"));
    std::array<std::uint8_t, 4> buffer{};
    ASSERT_TRUE(link.write(buffer));
    EXPECT_FALSE(link.read(buffer).ok);
    ports.device.failingCall = PortCall::Write;
    EXPECT_FALSE(link.write(buffer));
    EXPECT_TRUE(link.isOpen());
}

TEST_F(SerialLinkTest, ClosesOnceWhenClosedAndWhenDestroyed) {
    {
        SerialLink link(ports);
        ASSERT_TRUE(link.open("COM3"));
        link.close();
        link.close();
        EXPECT_FALSE(ports.device.held);
    }
    {
        SerialLink link(ports);
        ASSERT_TRUE(link.open("COM3"));
    }
    EXPECT_FALSE(ports.device.held);
    EXPECT_EQ(std::count(ports.device.calls.begin(), ports.device.calls.end(), PortCall::Close), 2);
}

TEST_F(SerialLinkTest, AClosedLinkNeitherWritesNorReads) {
    SerialLink link(ports);
    std::array<std::uint8_t, 4> buffer{};
    EXPECT_FALSE(link.write(buffer));
    EXPECT_FALSE(link.read(buffer).ok);
    EXPECT_EQ(ports.device.portsCreated, 0);
}

}  // namespace
}  // namespace dl250t
