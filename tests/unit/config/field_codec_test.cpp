#include "config/field_codec.hpp"

#include <gtest/gtest.h>

#include <vector>

#include "config/encoding_tables.hpp"

namespace dl250t {
namespace {

std::vector<std::uint8_t> bytesAt(const ConfigBlock& block, std::size_t offset, std::size_t n) {
    return {block.bytes.begin() + offset, block.bytes.begin() + offset + n};
}

TEST(ByteAndWordFields, StoreTheLowBitsLittleEndian) {
    ConfigBlock block;
    encodeWord(block, 62, 2500);
    EXPECT_EQ(bytesAt(block, 62, 2), (std::vector<std::uint8_t>{0xC4, 0x09}));
    EXPECT_EQ(decodeWord(block, 62), 2500);
    encodeWord(block, 64, 0x12345);
    EXPECT_EQ(decodeWord(block, 64), 0x2345);
    encodeByte(block, 54, 0x1FF);
    EXPECT_EQ(decodeByte(block, 54), 0xFF);
}

TEST(FrequencyWord, RoundsToTheNearestStepOfEachCrystal) {
    ConfigBlock block;
    encodeFrequencyMHz(block, 433.0, 26);
    EXPECT_EQ(bytesAt(block, 47, 3), (std::vector<std::uint8_t>{0x62, 0xA7, 0x10}));
    EXPECT_DOUBLE_EQ(decodeFrequencyMHz(block, 26), 432.99981689453125);

    encodeFrequencyMHz(block, 433.0, 27);
    EXPECT_EQ(bytesAt(block, 47, 3), (std::vector<std::uint8_t>{0x7B, 0x09, 0x10}));
    EXPECT_DOUBLE_EQ(decodeFrequencyMHz(block, 27), 432.99989318847656);
}

TEST(FrequencyWord, BandEdgesDecodeJustOutsideTheBand) {
    ConfigBlock block;
    encodeFrequencyMHz(block, 950.0, 26);
    EXPECT_EQ(block[47] | (block[48] << 8) | (block[49] << 16), 2394585);
    EXPECT_DOUBLE_EQ(decodeFrequencyMHz(block, 26), 950.0001525878906);
    encodeFrequencyMHz(block, 410.0, 26);
    EXPECT_DOUBLE_EQ(decodeFrequencyMHz(block, 26), 409.9998779296875);
}

TEST(NetworkId, HighByteTravelsAsItsSyncWord) {
    ConfigBlock block;
    encodeNetworkId(block, 0);
    EXPECT_EQ(bytesAt(block, 44, 3), (std::vector<std::uint8_t>{0x00, 0xBB, 0x11}));
    encodeNetworkId(block, 65535);
    EXPECT_EQ(bytesAt(block, 44, 3), (std::vector<std::uint8_t>{0xFF, 0xC6, 0xE4}));
    EXPECT_EQ(decodeNetworkId(block), 65535);

    for (std::int32_t id : {1, 255, 256, 0x1234, 0xFE00, 0xFEFF}) {
        encodeNetworkId(block, id);
        EXPECT_EQ(decodeNetworkId(block), id);
    }
}

TEST(NetworkId, UnknownSyncWordReadsAsHighByte255) {
    ConfigBlock block;
    block[44] = 0x12;
    EXPECT_EQ(decodeNetworkId(block), 65298);
    block[45] = 0x34;
    block[46] = 0x12;  // between table entries
    EXPECT_EQ(decodeNetworkId(block) >> 8, 255);
}

TEST(UartRate, PairDependsOnTheCrystal) {
    ConfigBlock block;
    encodeUartBaudIndex(block, 11, 26);
    EXPECT_EQ(block[69], 34);
    EXPECT_EQ(block[70], 12);
    EXPECT_EQ(decodeUartBaudIndex(block, 26), 11);
    EXPECT_EQ(decodeUartBaudIndex(block, 27), kUnknownUartBaudIndex);
    encodeUartBaudIndex(block, 11, 27);
    EXPECT_EQ(block[69], 24);
    EXPECT_EQ(block[70], 12);

    for (int crystal : {26, 27}) {
        for (std::int32_t i = 0; i < 13; ++i) {
            encodeUartBaudIndex(block, i, crystal);
            EXPECT_EQ(decodeUartBaudIndex(block, crystal), i) << "crystal " << crystal;
        }
    }
}

TEST(UartRate, IndexOutsideTheTableLeavesTheBytes) {
    ConfigBlock block;
    block[69] = 99;
    block[70] = 3;
    for (std::int32_t index : {-1, 13, 255}) {
        encodeUartBaudIndex(block, index, 26);
        EXPECT_EQ(block[69], 99);
        EXPECT_EQ(block[70], 3);
    }
}

TEST(UartControl, EncodesParityStartAndStopBits) {
    ConfigBlock block;
    encodeUartControl(block, {0, 0, 0});
    EXPECT_EQ(block[71], 0x82);
    encodeUartControl(block, {1, 1, 1});
    EXPECT_EQ(block[71], 0xBD);
    encodeUartControl(block, {0, 2, 0});
    EXPECT_EQ(block[71], 0x9A);
    block[71] = 0x08;
    EXPECT_EQ(decodeUartControl(block), (UartFraming{0, 2, 0}));

    for (std::int32_t start = 0; start < 2; ++start) {
        for (std::int32_t parity = 0; parity < 3; ++parity) {
            for (std::int32_t stop = 0; stop < 2; ++stop) {
                encodeUartControl(block, {start, parity, stop});
                EXPECT_EQ(decodeUartControl(block), (UartFraming{start, parity, stop}));
            }
        }
    }
}

TEST(AuxChannelMask, CountsSignificantBits) {
    ConfigBlock block;
    const std::uint8_t masks[] = {0x00, 0x01, 0x03, 0x07, 0x0F};
    for (std::int32_t index = 0; index < 5; ++index) {
        encodeAuxChannelCountIndex(block, index);
        EXPECT_EQ(block[57], masks[index]);
        EXPECT_EQ(decodeAuxChannelCountIndex(block), index);
    }
    block[57] = 0x05;
    EXPECT_EQ(decodeAuxChannelCountIndex(block), 3);
    block[57] = 0x80;
    EXPECT_EQ(decodeAuxChannelCountIndex(block), 8);
    encodeAuxChannelCountIndex(block, -1);
    EXPECT_EQ(block[57], 0x80);
    encodeAuxChannelCountIndex(block, 5);
    EXPECT_EQ(block[57], 0x80);
}

TEST(CarrierThreshold, HalfDecibelStepsTruncatedTowardMinus74) {
    ConfigBlock block;
    const struct {
        double dbm;
        std::uint8_t code;
        double decoded;
    } cases[] = {
        {-74.0, 0x00, -74.0}, {-100.0, 0xCC, -100.0}, {-10.5, 0x7F, -10.5},
        {-80.3, 0xF4, -80.0}, {-60.3, 27, -60.5},     {-10.0, 0x7F, -10.5},
    };
    for (const auto& c : cases) {
        encodeCarrierThresholdDbm(block, c.dbm);
        EXPECT_EQ(block[53], c.code) << c.dbm;
        EXPECT_DOUBLE_EQ(decodeCarrierThresholdDbm(block), c.decoded) << c.dbm;
    }
    block[53] = 0x80;
    EXPECT_DOUBLE_EQ(decodeCarrierThresholdDbm(block), -138.0);
}

TEST(TickCode, KnownTicksAtBothCrystals) {
    const struct {
        std::int32_t tickUs;
        std::int32_t crystal;
        std::uint8_t mantissa;
        std::uint8_t exponentByte;
        std::int32_t decoded;
    } cases[] = {
        {108, 26, 22, 0x1E, 108},      {108, 27, 23, 0x1E, 109}, {17408, 26, 221, 0x9E, 17408},
        {17408, 27, 230, 0x9E, 17445}, {1, 26, 1, 0x1E, 4},      {160000, 26, 254, 0xFE, 160059},
    };
    for (const auto& c : cases) {
        ConfigBlock block;
        encodeTickUs(block, c.tickUs, c.crystal);
        EXPECT_EQ(block[84], c.mantissa) << c.tickUs << " at " << c.crystal;
        EXPECT_EQ(block[85], c.exponentByte) << c.tickUs << " at " << c.crystal;
        EXPECT_EQ(decodeTickUs(block, c.crystal), c.decoded) << c.tickUs << " at " << c.crystal;
    }
}

// Every tick of the range must store fields that decode to at least the tick
// asked for, with a mantissa of 1..255 and the low five bits 11110; beyond
// what the fields hold, the longest tick is stored.
TEST(TickCode, EveryTickFitsItsFieldsAndNeverShrinks) {
    for (std::int32_t crystal : {26, 27}) {
        const std::int32_t longest = (255 << 7) * 128 / crystal;
        for (std::int32_t tick = 1; tick <= 160000; ++tick) {
            ConfigBlock block;
            encodeTickUs(block, tick, crystal);
            ASSERT_GE(block[84], 1) << tick;
            ASSERT_EQ(block[85] & 0x1F, 0x1E) << tick;
            const std::int32_t decoded = decodeTickUs(block, crystal);
            if (decoded < tick) {
                ASSERT_EQ(decoded, longest) << tick << " at " << crystal;
                ASSERT_EQ(block[84], 255);
                ASSERT_EQ(block[85] >> 5, 7);
            }
        }
    }
}

TEST(TickCode, MantissaThatRoundsTo256TakesTheNextExponent) {
    // 26 x 2511 = 65286, just above 255 x 256: exponent 1 would need mantissa 256.
    ConfigBlock block;
    encodeTickUs(block, 2511, 26);
    EXPECT_EQ(block[85] >> 5, 2);
    EXPECT_EQ(block[84], 128);
    EXPECT_EQ(decodeTickUs(block, 26), 2520);
    // 160000 us at 27 MHz would need exponent 8.
    encodeTickUs(block, 160000, 27);
    EXPECT_EQ(block[84], 255);
    EXPECT_EQ(block[85], 0xFE);
}

TEST(TimeoutWord, RoundsUpToWholeTicks) {
    ConfigBlock block;
    encodeTimeoutMs(block, 86, 4000, 1092);
    EXPECT_EQ(decodeWord(block, 86), 3664);
    EXPECT_EQ(decodeTimeoutMs(block, 86, 1092), 4001);

    encodeTickUs(block, 108, 26);
    encodeTimeoutMs(block, 88, 2000, 108);
    EXPECT_EQ(decodeWord(block, 88), 18519);
    EXPECT_EQ(decodeTimeoutMs(block, 88, decodeTickUs(block, 26)), 2000);

    encodeTickUs(block, 108, 27);
    encodeTimeoutMs(block, 88, 2000, 108);
    EXPECT_EQ(decodeWord(block, 88), 18519);
    EXPECT_EQ(decodeTimeoutMs(block, 88, decodeTickUs(block, 27)), 2018);
}

TEST(SleepPeriod, ExactBeyond32BitsAndMarksByte100) {
    ConfigBlock block;
    encodeSleepPeriod(block, 2500, 25, 26, 17408);
    EXPECT_EQ(decodeWord(block, 98), 36833);
    EXPECT_EQ(block[100], 6);
    encodeSleepPeriod(block, 0, 25, 26, 17408);
    EXPECT_EQ(decodeWord(block, 98), 0);
    // A quotient beyond 16 bits keeps its low 16 bits: 2500 x 65535 x 27 x
    // 160000 / 768000 = 921,585,937.
    encodeSleepPeriod(block, 2500, 65535, 27, 160000);
    EXPECT_EQ(decodeWord(block, 98), 921585937 & 0xFFFF);
}

TEST(PinAndWakeByte, PacksFunctionAndWakeBytes) {
    ConfigBlock block;
    encodePinAndWake(block, {2, 63});
    EXPECT_EQ(block[68], 0xFE);
    EXPECT_EQ(decodePinAndWake(block), (PinAndWake{2, 63}));
    encodePinAndWake(block, {-1, 5});
    EXPECT_EQ(block[68], (5 << 2) | 2) << "an unknown function keeps the stored one";
}

TEST(OptionFlagsByte, CarriesTheModulesBits) {
    ConfigBlock block;
    block[72] = 0xFE;
    EXPECT_EQ(decodeOptionFlags(block), (OptionFlags{0, 2}));
    encodeOptionFlags(block, {1, 1});
    EXPECT_EQ(block[72], 0xFF);
    encodeOptionFlags(block, {0, 0});
    EXPECT_EQ(block[72], 0xFC);
    encodeOptionFlags(block, {2, 5});
    EXPECT_EQ(block[72], 0xFF);
}

TEST(SerialNumber, ShortTextFillsTheMostSignificantBytes) {
    ConfigBlock block;
    block[43] = 0x77;
    encodeSerialText(block, "12 34");
    EXPECT_EQ(bytesAt(block, 38, 6), (std::vector<std::uint8_t>{0x12, 0x34, 0, 0, 0, 0}));
    encodeSerialText(block, "1");
    EXPECT_EQ(decodeSerialText(block), "01 00 00 00 00 00");
    encodeSerialText(block, "12 34 56 78 9A BC DE");
    EXPECT_EQ(decodeSerialText(block), "12 34 56 78 9A BC");
    EXPECT_EQ(block[44], 0) << "a seventh byte must not spill into the network ID";
}

TEST(SerialNumber, IncrementCarriesAndWraps) {
    ConfigBlock block;
    encodeSerialText(block, "00 00 00 00 00 FF");
    incrementSerial(block);
    EXPECT_EQ(decodeSerialText(block), "00 00 00 00 01 00");
    encodeSerialText(block, "00 FF FF FF FF FF");
    incrementSerial(block);
    EXPECT_EQ(decodeSerialText(block), "01 00 00 00 00 00");
    encodeSerialText(block, "FF FF FF FF FF FF");
    block[37] = 0x42;
    block[44] = 0x43;
    incrementSerial(block);
    EXPECT_EQ(decodeSerialText(block), "00 00 00 00 00 00");
    EXPECT_EQ(block[37], 0x42);
    EXPECT_EQ(block[44], 0x43);
}

TEST(CommandSlot, LengthFollowsTheTextAndDataBeyondIsKept) {
    ConfigBlock block;
    for (std::size_t i = 109; i <= 300; ++i) {
        block[i] = 0xEE;
    }
    encodeCommandSlot(block, 1, "01 02 03");
    EXPECT_EQ(block[106], 3);
    EXPECT_EQ(bytesAt(block, 157, 4), (std::vector<std::uint8_t>{1, 2, 3, 0xEE}));
    EXPECT_EQ(decodeCommandSlot(block, 1), "01 02 03");

    encodeCommandSlot(block, 0, "");
    EXPECT_EQ(block[105], 0);
    EXPECT_EQ(block[109], 0xEE);
    EXPECT_EQ(decodeCommandSlot(block, 0), "");
}

TEST(CommandSlot, SixtyBytesStoreTheFirst48AndStayInTheSlot) {
    ConfigBlock block;
    std::string text;
    for (int i = 0; i < 60; ++i) {
        // Appended piece by piece: GCC 12 at -O3 takes "x" + std::string
        // for an overlapping copy (-Wrestrict).
        if (i > 0) {
            text += ' ';
        }
        text += "0123456789ABCDEF"[i % 16];
        text += '1';
    }
    encodeCommandSlot(block, 3, text);
    EXPECT_EQ(block[108], 48);
    EXPECT_EQ(block[300], 0xF1);
    EXPECT_EQ(block[301], 0) << "the reserved area must stay untouched";
    encodeCommandSlot(block, 2, text);
    EXPECT_EQ(block[253], 0x01) << "slot 2 must not spill into slot 3";
}

TEST(CommandSlot, LengthAbove48ShowsTheWholeSlotOnly) {
    ConfigBlock block;
    block[108] = 200;
    for (std::size_t i = 253; i <= 300; ++i) {
        block[i] = 0xAB;
    }
    block[301] = 0xCD;
    const std::string text = decodeCommandSlot(block, 3);
    EXPECT_EQ(text.size(), 48u * 3 - 1);
    EXPECT_EQ(text.find("CD"), std::string::npos);
}

}  // namespace
}  // namespace dl250t
