#include "link/module_exchange.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>

#include "support/recording_reporter.hpp"
#include "support/scripted_serial_port.hpp"

namespace dl250t {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using testing::PortCall;
using testing::RecordingReporter;
using testing::ScriptedPortFactory;
using testing::ScriptedReply;

// A block as a module sends it: every byte value somewhere in the payload.
ConfigBlock moduleBlock() {
    ConfigBlock block = makeInitialWorkingBlock();
    for (std::size_t i = block::kSerial; i < block::kPayloadEnd; ++i) {
        block[i] = static_cast<std::uint8_t>(i * 7 + 3);
    }
    stampHeaderAndCrc(block);
    return block;
}

// What the caller's block holds before an exchange: recognisably different.
ConfigBlock callersBlock() {
    ConfigBlock block;
    block.bytes.fill(0x5A);
    return block;
}

class ExchangeTest : public ::testing::Test {
protected:
    void SetUp() override {
        // Every report is made while the port is still held, except that of
        // an open that failed, when nothing is held.
        reporter.whileShown = [this](Outcome) { heldDuringReports.push_back(ports.device.held); };
    }
    void TearDown() override {
        EXPECT_THAT(ports.device.misuse, IsEmpty());
        EXPECT_FALSE(ports.device.held) << "the port is released on every path";
    }

    std::size_t closes() const {
        return static_cast<std::size_t>(
            std::count(ports.device.calls.begin(), ports.device.calls.end(), PortCall::Close));
    }

    ScriptedPortFactory ports;
    RecordingReporter reporter;
    std::vector<bool> heldDuringReports;
};

// --- read exchange ---------------------------------------------------------

class ReadExchangeTest : public ExchangeTest {
protected:
    Outcome runRead() {
        return readExchange(ports, "COM5", target, reporter, [this](const ConfigBlock& block) {
            decoded.push_back(block);
            heldWhenDecoding = ports.device.held;
            reportsBeforeDecoding = reporter.reports.size();
        });
    }

    ConfigBlock target = callersBlock();
    std::vector<ConfigBlock> decoded;
    bool heldWhenDecoding = false;
    std::size_t reportsBeforeDecoding = 0;
};

TEST_F(ReadExchangeTest, SendsTheRequestAndTakesAValidBlock) {
    ports.device.replies = {ScriptedReply::block(moduleBlock())};
    EXPECT_EQ(runRead(), Outcome::ModuleRead);

    EXPECT_EQ(ports.device.openedName, "COM5");
    EXPECT_THAT(ports.device.writtenTexts(), ElementsAre("ATR0"));
    EXPECT_THAT(ports.device.readsWanted, ElementsAre(518u));
    EXPECT_EQ(target, moduleBlock());
    EXPECT_THAT(reporter.reports, ElementsAre(Outcome::ModuleRead));
    // The caller decodes after the success is shown and before the port goes.
    ASSERT_EQ(decoded.size(), 1u);
    EXPECT_EQ(decoded[0], moduleBlock());
    EXPECT_EQ(reportsBeforeDecoding, 1u);
    EXPECT_TRUE(heldWhenDecoding);
    EXPECT_EQ(ports.device.calls.back(), PortCall::Close);
    EXPECT_EQ(closes(), 1u);
}

TEST_F(ReadExchangeTest, WorksWithoutASuccessHook) {
    ports.device.replies = {ScriptedReply::block(moduleBlock())};
    EXPECT_EQ(readExchange(ports, "COM5", target, reporter), Outcome::ModuleRead);
    EXPECT_EQ(target, moduleBlock());
}

struct ReadFailureCase {
    const char* name;
    std::optional<PortCall> failingCall;
    std::optional<ScriptedReply> reply;
    Outcome outcome;
    bool portOpened;

    friend void PrintTo(const ReadFailureCase& c, std::ostream* out) { *out << c.name; }
};

ConfigBlock withByte(std::size_t index, std::uint8_t value) {
    ConfigBlock block = moduleBlock();
    block[index] = value;
    return block;
}

const ReadFailureCase kReadFailures[] = {
    {"OpenFails", PortCall::OpenExisting, std::nullopt, Outcome::PortOpenFailed, false},
    {"ConfigurationRefused", PortCall::SetTimeouts, std::nullopt, Outcome::PortOpenFailed, false},
    {"WriteFails", PortCall::Write, std::nullopt, Outcome::PortWriteFailed, true},
    {"ReadFails", std::nullopt, ScriptedReply::error(), Outcome::PortReadFailed, true},
    {"Silent", std::nullopt, std::nullopt, Outcome::ResponseTimeout, true},
    {"Short", std::nullopt, ScriptedReply::block(moduleBlock(), 300), Outcome::LengthMismatch,
     true},
    {"OneByteMissing", std::nullopt, ScriptedReply::block(moduleBlock(), 517),
     Outcome::LengthMismatch, true},
    {"WrongKeyword", std::nullopt, ScriptedReply::block(withByte(11, 'y')),
     Outcome::KeywordMismatch, true},
    {"WrongCrc", std::nullopt, ScriptedReply::block(withByte(300, 0x00)), Outcome::CrcMismatch,
     true},
};

class ReadFailureTest : public ReadExchangeTest,
                        public ::testing::WithParamInterface<ReadFailureCase> {};

TEST_P(ReadFailureTest, ReportsOnceWhileHoldingThePortAndLeavesTheTargetAlone) {
    const ReadFailureCase& c = GetParam();
    ports.device.failingCall = c.failingCall;
    if (c.reply) {
        ports.device.replies = {*c.reply};
    }
    EXPECT_EQ(runRead(), c.outcome);

    EXPECT_THAT(reporter.reports, ElementsAre(c.outcome));
    EXPECT_THAT(heldDuringReports, ElementsAre(c.portOpened));
    EXPECT_EQ(target, callersBlock());
    EXPECT_TRUE(decoded.empty());
    if (c.portOpened) {
        EXPECT_EQ(ports.device.calls.back(), PortCall::Close);
        EXPECT_EQ(closes(), 1u);
    }
    if (c.failingCall == PortCall::Write) {
        EXPECT_TRUE(ports.device.readsWanted.empty()) << "no read after a failed write";
    }
}

INSTANTIATE_TEST_SUITE_P(EveryOutcome, ReadFailureTest, ::testing::ValuesIn(kReadFailures),
                         [](const auto& info) { return std::string(info.param.name); });

// --- write exchange --------------------------------------------------------

class WriteExchangeTest : public ExchangeTest {
protected:
    Outcome runWrite() {
        return writeExchange(
            ports, "COM5", working,
            [this](ConfigBlock& block) {
                ++encodes;
                heldWhenEncoding = ports.device.held;
                block[block::kNetworkIdLow] = 0x42;
                block[block::kReserved + 10] = 0xFF;
            },
            reporter);
    }

    // The block the module must receive: the working block as the encode
    // leaves it, with the write header and a CRC over the new payload.
    ConfigBlock expectedSent() const {
        ConfigBlock block = callersBlock();
        block[block::kNetworkIdLow] = 0x42;
        block[block::kReserved + 10] = 0xFF;
        stampHeaderAndCrc(block);
        return block;
    }

    std::vector<std::uint8_t> sentBytes() const {
        ConfigBlock block = expectedSent();
        return {block.bytes.begin(), block.bytes.end()};
    }

    ConfigBlock working = callersBlock();
    int encodes = 0;
    bool heldWhenEncoding = false;
};

TEST_F(WriteExchangeTest, EncodesStampsSendsAndTakesTheAcknowledgement) {
    ports.device.replies = {ScriptedReply::text("ATOK")};
    EXPECT_EQ(runWrite(), Outcome::ModuleWritten);

    EXPECT_EQ(encodes, 1);
    EXPECT_TRUE(heldWhenEncoding) << "the form is encoded only once the port is open";
    EXPECT_THAT(ports.device.writes, ElementsAre(sentBytes()));
    EXPECT_EQ(working, expectedSent());
    EXPECT_EQ(std::string(working.bytes.begin(), working.bytes.begin() + 4), "ATW0");
    EXPECT_THAT(ports.device.readsWanted, ElementsAre(4u));
    EXPECT_EQ(ports.device.readTimeouts[0].total, std::chrono::milliseconds(54));
    EXPECT_THAT(reporter.reports, ElementsAre(Outcome::ModuleWritten));
    EXPECT_EQ(ports.device.calls.back(), PortCall::Close);
    EXPECT_EQ(closes(), 1u);
}

TEST_F(WriteExchangeTest, AnAcknowledgementFollowedByMoreBytesIsASuccess) {
    ports.device.replies = {ScriptedReply::text("ATOK\r\nREADY")};
    EXPECT_EQ(runWrite(), Outcome::ModuleWritten);
    EXPECT_THAT(reporter.reports, ElementsAre(Outcome::ModuleWritten));
}

TEST_F(WriteExchangeTest, AnUnopenablePortEncodesNothing) {
    ports.device.failingCall = PortCall::OpenExisting;
    EXPECT_EQ(runWrite(), Outcome::PortOpenFailed);
    EXPECT_EQ(encodes, 0);
    EXPECT_EQ(working, callersBlock());
    EXPECT_THAT(reporter.reports, ElementsAre(Outcome::PortOpenFailed));
    EXPECT_THAT(heldDuringReports, ElementsAre(false));
    EXPECT_EQ(closes(), 0u);
}

struct WriteFailureCase {
    const char* name;
    std::optional<PortCall> failingCall;
    std::optional<ScriptedReply> reply;
    Outcome outcome;

    friend void PrintTo(const WriteFailureCase& c, std::ostream* out) { *out << c.name; }
};

const WriteFailureCase kWriteFailures[] = {
    {"WriteFails", PortCall::Write, std::nullopt, Outcome::PortWriteFailed},
    // A platform read error is worded as a timeout by this exchange.
    {"ReadFails", std::nullopt, ScriptedReply::error(), Outcome::ResponseTimeout},
    {"NoAnswer", std::nullopt, std::nullopt, Outcome::ModuleWriteFailed},
    {"ShortAnswer", std::nullopt, ScriptedReply::text("ATO"), Outcome::ModuleWriteFailed},
    {"WrongAnswer", std::nullopt, ScriptedReply::text("ATER"), Outcome::ModuleWriteFailed},
    {"LowerCaseAnswer", std::nullopt, ScriptedReply::text("atok"), Outcome::ModuleWriteFailed},
    {"ShiftedAnswer", std::nullopt, ScriptedReply::text("\nATOK"), Outcome::ModuleWriteFailed},
};

class WriteFailureTest : public WriteExchangeTest,
                         public ::testing::WithParamInterface<WriteFailureCase> {};

TEST_P(WriteFailureTest, ReportsOnceWhileHoldingThePortAndKeepsTheEncodedBlock) {
    const WriteFailureCase& c = GetParam();
    ports.device.failingCall = c.failingCall;
    if (c.reply) {
        ports.device.replies = {*c.reply};
    }
    EXPECT_EQ(runWrite(), c.outcome);

    EXPECT_THAT(reporter.reports, ElementsAre(c.outcome));
    EXPECT_THAT(heldDuringReports, ElementsAre(true));
    EXPECT_EQ(encodes, 1);
    EXPECT_EQ(working, expectedSent());
    EXPECT_EQ(ports.device.calls.back(), PortCall::Close);
    EXPECT_EQ(closes(), 1u);
    if (c.failingCall == PortCall::Write) {
        EXPECT_TRUE(ports.device.readsWanted.empty()) << "no read after a failed write";
    }
}

INSTANTIATE_TEST_SUITE_P(EveryOutcome, WriteFailureTest, ::testing::ValuesIn(kWriteFailures),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace dl250t
