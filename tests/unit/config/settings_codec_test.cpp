#include "config/settings_codec.hpp"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "config/field_codec.hpp"
#include "config/module_identity.hpp"

namespace dl250t {
namespace {

ConfigBlock blockWithIdentity(std::string_view identity) {
    ConfigBlock block;
    std::copy(identity.begin(), identity.end(), block.bytes.begin() + 4);
    return block;
}

// Encodes and collects the warnings; the advanced group is encoded as typed.
std::vector<std::string> encode(ModuleSettings& s, const ModuleIdentity& identity,
                                ConfigBlock& block) {
    std::vector<std::string> warnings;
    EncodeHooks hooks;
    hooks.warn = [&](const std::string& w) { warnings.push_back(w); };
    encodeSettings(s, identity, block, hooks);
    return warnings;
}

// Values inside every range, so that an encode shows no warning.
ModuleSettings validSettings() {
    ModuleSettings s;
    s.tickUs = 108;
    s.carrierThresholdDbm = -74.0;
    s.sleepCompTicks = 200;
    s.autoSleepTimeoutMs = 2000;
    s.uplinkTimeoutMs = 4000;
    s.downlinkTimeoutMs = 4000;
    s.syncDurationTicks = 25;
    s.wakeSlotTicks = 15;
    s.beaconDurationTicks = 35;
    s.serialText = "00 00 00 00 00 01";
    return s;
}

TEST(DecodeIdentity, DefaultIdentityString) {
    ModuleSettings s;
    s.bandText = "x";
    ModuleIdentity identity{999, 0, true};
    decodeIdentity(makeInitialWorkingBlock(), s, identity);
    EXPECT_EQ(s.moduleName, "Lorandix AMR Ver Moudle U 13306");
    EXPECT_EQ(s.versionText, "1.6");
    EXPECT_EQ(s.typeText, "UNKNOWN");
    EXPECT_EQ(s.maxPowerText, "10dBm");
    EXPECT_EQ(s.bandText, "433MHz");
    EXPECT_EQ(identity, (ModuleIdentity{433, 26, false}));
    EXPECT_EQ(rfPowerItems(identity).front(), "+10dBm");
}

TEST(DecodeIdentity, RootModuleOf868MHzWith20dBmAnd27MHzCrystal) {
    //                                          28 30 31 32 34
    ConfigBlock block = blockWithIdentity("Lorandix AMR Ver Moudle R 26807");
    ModuleSettings s;
    ModuleIdentity identity;
    decodeIdentity(block, s, identity);
    EXPECT_EQ(s.typeText, "ROOT");
    EXPECT_EQ(s.maxPowerText, "20dBm");
    EXPECT_EQ(s.bandText, "868MHz");
    EXPECT_EQ(identity, (ModuleIdentity{868, 27, true}));
    const auto items = rfPowerItems(identity);
    EXPECT_EQ(items, (std::vector<std::string>{"+20dBm", "+17dBm", "+15dBm", "+10dBm", "+05dBm",
                                               "+00dBm", "-05dBm", "-10dBm"}));
}

TEST(DecodeIdentity, EveryBandCharacter) {
    const struct {
        char band, second;
        const char* text;
        std::int32_t base;
    } cases[] = {{'1', '5', "915MHz", 915},
                 {'2', '2', "922MHz", 922},
                 {'3', '3', "433MHz", 433},
                 {'6', '8', "868MHz", 868},
                 {'7', '0', "470MHz", 470}};
    for (const auto& c : cases) {
        ConfigBlock block = makeInitialWorkingBlock();
        block[31] = static_cast<std::uint8_t>(c.band);
        block[32] = static_cast<std::uint8_t>(c.second);
        ModuleSettings s;
        ModuleIdentity identity;
        decodeIdentity(block, s, identity);
        EXPECT_EQ(s.bandText, c.text);
        EXPECT_EQ(identity.bandBaseMHz, c.base);
    }
}

TEST(DecodeIdentity, UnknownBandKeepsThePreviousBand) {
    ConfigBlock block = makeInitialWorkingBlock();
    block[31] = '4';
    ModuleSettings s;
    s.bandText = "868MHz";
    ModuleIdentity identity{868, 26, false};
    decodeIdentity(block, s, identity);
    EXPECT_EQ(s.bandText, "868MHz");
    EXPECT_EQ(identity.bandBaseMHz, 868);
}

TEST(DecodeIdentity, TextsEndAtAZeroCharacterAndNeverLeaveTheIdentity) {
    ConfigBlock block = makeInitialWorkingBlock();
    block[30] = 0;  // power class
    block[32] = 0;  // second band character
    ModuleSettings s;
    ModuleIdentity identity;
    decodeIdentity(block, s, identity);
    EXPECT_EQ(s.maxPowerText, "");
    EXPECT_EQ(s.bandText, "43");
    EXPECT_EQ(s.moduleName, "Lorandix AMR Ver Moudle U ");

    ConfigBlock full;
    for (std::size_t i = 4; i < 36; ++i) {
        full[i] = 'A';
    }
    full[36] = 'B';
    decodeIdentity(full, s, identity);
    EXPECT_EQ(s.moduleName, std::string(32, 'A'));
}

TEST(DefaultSerial, StartTimeBigEndianThenTwoZeroBytes) {
    EXPECT_EQ(defaultSerialText(0x6512ABCD), "65 12 AB CD 00 00");
    EXPECT_EQ(defaultSerialText(0x1'0000'0001LL), "00 00 00 01 00 00");
}

TEST(EncodeSettings, FreshStartShowsNineWarningsInOrder) {
    ModuleSettings s;
    s.serialText = "00 00 00 00 00 00";
    ConfigBlock block = makeInitialWorkingBlock();
    const auto warnings = encode(s, ModuleIdentity{}, block);
    const std::vector<std::string> expected = {
        "时钟周期Tick值为0us超出[1us ~ 160000us]范围，自动调整为1us！",
        "载波检测绝对门限值为0.0000dBm超出[-100.0000dBm ~ "
        "-10.0000dBm]范围，自动调整为-10.0000dBm！",
        "自动休眠补偿粒度为0ticks超出[1ticks ~ 255ticks]范围，自动调整为1ticks！",
        "自动休眠超时为0ms超出[1ms ~ 65ms]范围，自动调整为1ms！",
        "上行超时为0ms超出[1ms ~ 65ms]范围，自动调整为1ms！",
        "下行超时为0ms超出[1ms ~ 65ms]范围，自动调整为1ms！",
        "同步报文持续时间为0tick超出[5tick ~ 65535tick]范围，自动调整为5tick！",
        "自动醒来时隙为0tick超出[5tick ~ 65535tick]范围，自动调整为5tick！",
        "信标报文持续时间为0tick超出[5tick ~ 65535tick]范围，自动调整为5tick！",
    };
    EXPECT_EQ(warnings, expected);
    EXPECT_EQ(s.tickUs, 1);
    EXPECT_DOUBLE_EQ(s.carrierThresholdDbm, -10.0);
    EXPECT_EQ(block[53], 0x7F);
}

TEST(EncodeSettings, BasicGroupAdjustmentsAndTheSleepFlag) {
    ModuleSettings s = validSettings();
    s.sleepRatio = 3000;
    s.hostBootTimeMs = 0;
    ConfigBlock block;
    auto warnings = encode(s, ModuleIdentity{}, block);
    ASSERT_EQ(warnings.size(), 2u);
    EXPECT_EQ(warnings[0], "睡醒占空比为3000超出[0 ~ 2500]范围，自动调整为2500！");
    EXPECT_EQ(warnings[1], "HOST开机时间为0ms超出[1ms ~ 65535ms]范围，自动调整为1ms！");
    EXPECT_EQ(block[62], 0xC4);
    EXPECT_EQ(block[63], 0x09);

    ModuleSettings sleeping = validSettings();
    sleeping.sleepEnabled = 1;
    sleeping.sleepRatio = 0;
    block[59] = 1;
    EXPECT_TRUE(encode(sleeping, ModuleIdentity{}, block).empty());
    EXPECT_EQ(block[59], 0);
    EXPECT_EQ(sleeping.sleepEnabled, 0);
    sleeping.sleepEnabled = 1;
    sleeping.sleepRatio = 10;
    encode(sleeping, ModuleIdentity{}, block);
    EXPECT_EQ(block[59], 1);
}

TEST(EncodeSettings, FrequencyRangeFollowsTheBand) {
    ModuleSettings s = validSettings();
    s.startFrequencyMHz = 300;
    ConfigBlock block;
    auto warnings = encode(s, ModuleIdentity{433, 26, false}, block);
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_EQ(warnings[0],
              "起始频点为300.0000MHz超出[410.0000MHz ~ 480.0000MHz]范围，自动调整为410.0000MHz！");
    s.startFrequencyMHz = 300;
    encode(s, ModuleIdentity{868, 26, false}, block);
    EXPECT_DOUBLE_EQ(s.startFrequencyMHz, 770.0);
}

// A band's edge read back from the block is the edge: no warning, the same
// word. A step further is beyond it.
TEST(EncodeSettings, BandEdgeDecodedFromTheBlockIsTheEdgeAndKeepsItsWord) {
    ConfigBlock block;
    encodeFrequencyMHz(block, 950.0, 26);
    const ConfigBlock before = block;
    ModuleSettings s = validSettings();
    s.startFrequencyMHz = decodeFrequencyMHz(block, 26);
    EXPECT_TRUE(encode(s, ModuleIdentity{868, 26, false}, block).empty());
    EXPECT_EQ(block[47], before[47]);
    EXPECT_EQ(block[48], before[48]);
    EXPECT_EQ(block[49], before[49]);

    encodeFrequencyMHz(block, 410.0, 26);
    s.startFrequencyMHz = decodeFrequencyMHz(block, 26);
    EXPECT_TRUE(encode(s, ModuleIdentity{433, 26, false}, block).empty());
    s.startFrequencyMHz -= 26 / 65536.0;
    const auto warnings = encode(s, ModuleIdentity{433, 26, false}, block);
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_EQ(warnings[0],
              "起始频点为409.9995MHz超出[410.0000MHz ~ 480.0000MHz]范围，自动调整为410.0000MHz！");
}

TEST(EncodeSettings, TimeoutRangeFollowsTheTick) {
    ModuleSettings s = validSettings();
    s.tickUs = 17408;
    s.autoSleepTimeoutMs = 0;
    ConfigBlock block;
    auto warnings = encode(s, ModuleIdentity{}, block);
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_EQ(warnings[0], "自动休眠超时为0ms超出[17ms ~ 1140833ms]范围，自动调整为17ms！");

    s.tickUs = 160000;
    s.autoSleepTimeoutMs = 2000;
    s.uplinkTimeoutMs = 20000000;
    warnings = encode(s, ModuleIdentity{}, block);
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_EQ(warnings[0],
              "上行超时为20000000ms超出[160ms ~ 10485600ms]范围，自动调整为10485600ms！");
    EXPECT_EQ(decodeWord(block, 88), 65535);
}

TEST(EncodeSettings, LeavesTheModulesOwnBytesAlone) {
    ConfigBlock block;
    for (std::size_t i = 0; i < kBlockSize; ++i) {
        block[i] = static_cast<std::uint8_t>(0xA5 ^ i);
    }
    const ConfigBlock before = block;
    ModuleSettings s = validSettings();
    s.ackPacketHex = "01 02";
    encode(s, ModuleIdentity{}, block);
    for (std::size_t i = 0; i < 38; ++i) {
        ASSERT_EQ(block[i], before[i]) << "byte " << i;
    }
    for (std::size_t i = 301; i < kBlockSize; ++i) {
        ASSERT_EQ(block[i], before[i]) << "byte " << i;
    }
    EXPECT_EQ(block[72] & 0xFC, before[72] & 0xFC);
    EXPECT_EQ(block[105], 2);
    EXPECT_EQ(block[111], before[111]);
    EXPECT_EQ(block[100], 6);
}

TEST(EncodeSettings, ListIndexesWithoutSelection) {
    ConfigBlock block;
    block[69] = 0x55;
    block[70] = 0x66;
    block[57] = 0x80;
    block[68] = 0x03;
    ModuleSettings s = validSettings();
    s.rateLowerIndex = -1;
    s.uartBaudIndex = -1;
    s.auxChannelCountIndex = -1;
    s.actPinFunction = -1;
    encode(s, ModuleIdentity{}, block);
    EXPECT_EQ(block[52], 0xFF);
    EXPECT_EQ(block[69], 0x55);
    EXPECT_EQ(block[70], 0x66);
    EXPECT_EQ(block[57], 0x80);
    EXPECT_EQ(block[68] & 0x03, 0x03);
}

TEST(DecodeSettings, FlagsKeepTheirRawValues) {
    ConfigBlock block = makeInitialWorkingBlock();
    block[61] = 5;
    block[72] = 0xFE;
    ModuleSettings s;
    ModuleIdentity identity;
    decodeSettings(block, s, identity);
    EXPECT_EQ(s.flowControl, 5);
    EXPECT_EQ(s.actInverted, 0);
    EXPECT_EQ(s.appendRouteInfo, 2);
}

// An Apply encodes the form and decodes the result. The first one from an
// arbitrary block can still move values (a tick rounds up to one the clock can
// make, which changes the timeouts and sleep period counted in it); from the
// second on, nothing may move. The only warning that can repeat is the start
// frequency at a band edge, whose nearest word lies a hair outside the band.
TEST(SettingsCodec, RepeatedApplyReachesAFixedPoint) {
    std::mt19937 random(12345);
    std::uniform_int_distribution<int> byte(0, 255);
    for (int round = 0; round < 500; ++round) {
        ConfigBlock block = makeInitialWorkingBlock();
        for (std::size_t i = 38; i < kBlockSize; ++i) {
            block[i] = static_cast<std::uint8_t>(byte(random));
        }
        if (round % 2 == 1) {
            block[34] = '7';
            block[31] = '6';
        }
        ModuleSettings s;
        ModuleIdentity identity;
        decodeSettings(block, s, identity);
        for (int apply = 0; apply < 2; ++apply) {
            encode(s, identity, block);
            decodeSettings(block, s, identity);
        }
        const ModuleSettings settled = s;
        ConfigBlock again = block;
        for (const std::string& warning : encode(s, identity, again)) {
            EXPECT_EQ(warning.rfind("起始频点", 0), 0u) << "round " << round << ": " << warning;
        }
        ASSERT_EQ(again, block) << "round " << round;
        decodeSettings(again, s, identity);
        ASSERT_EQ(s, settled) << "round " << round;
    }
}

}  // namespace
}  // namespace dl250t
