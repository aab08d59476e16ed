#include "config/rate_defaults.hpp"

#include <gtest/gtest.h>

#include <limits>

namespace dl250t {
namespace {

ModuleSettings withRates(std::int32_t defaultRate, std::int32_t upper, std::int32_t ratio) {
    ModuleSettings s;
    s.defaultRateIndex = defaultRate;
    s.rateUpperIndex = upper;
    s.sleepRatio = ratio;
    s.mainChannel = 77;
    return s;
}

TEST(DefaultRate, NinePointSixKbpsWithRatio100) {
    ModuleSettings s = withRates(7, 11, 100);
    deriveDefaultRateTimings(s);
    applyChannelPlan(s, false);
    EXPECT_EQ(s.tickUs, 2176);
    EXPECT_DOUBLE_EQ(s.carrierThresholdDbm, -76.0);
    EXPECT_EQ(s.wakeSlotTicks, 25);
    EXPECT_EQ(s.beaconDurationTicks, 1250);
    EXPECT_EQ(s.autoSleepTimeoutMs, 10880);
    EXPECT_EQ(s.uplinkTimeoutMs, 5440);
    EXPECT_EQ(s.downlinkTimeoutMs, 5440);
    EXPECT_EQ(s.syncDurationTicks, 25);
    EXPECT_EQ(s.mainChannel, 0);
    EXPECT_EQ(s.auxChannelStart, 1);
    EXPECT_EQ(s.auxChannelSpacing, 1);
    EXPECT_EQ(s.auxChannelCountIndex, 3);
}

TEST(DefaultRate, ZeroOrNegativeRatioTakesTheFloors) {
    for (std::int32_t rate = 0; rate < 12; ++rate) {
        for (std::int32_t ratio : {0, -1, -5000, std::numeric_limits<std::int32_t>::min()}) {
            ModuleSettings s = withRates(rate, rate, ratio);
            deriveDefaultRateTimings(s);
            EXPECT_EQ(s.beaconDurationTicks, 35) << rate << "/" << ratio;
            EXPECT_EQ(s.autoSleepTimeoutMs, 2000) << rate << "/" << ratio;
            EXPECT_EQ(s.uplinkTimeoutMs, 4000) << rate << "/" << ratio;
            EXPECT_EQ(s.downlinkTimeoutMs, 4000) << rate << "/" << ratio;
        }
    }
}

TEST(DefaultRate, CeilingAppliesOnlyAboveTheFloor) {
    ModuleSettings fast = withRates(0, 0, 2500);
    deriveDefaultRateTimings(fast);
    EXPECT_EQ(fast.beaconDurationTicks, 18750);
    EXPECT_EQ(fast.autoSleepTimeoutMs, 7077);
    EXPECT_EQ(fast.uplinkTimeoutMs, 4050);

    ModuleSettings slow = withRates(11, 11, 5000);
    deriveDefaultRateTimings(slow);
    EXPECT_EQ(slow.autoSleepTimeoutMs, 1140833);
    EXPECT_EQ(slow.uplinkTimeoutMs, 1140833);
    EXPECT_EQ(slow.downlinkTimeoutMs, 1140833);
    EXPECT_EQ(slow.beaconDurationTicks, 62500);
}

TEST(DefaultRate, HugeRatioKeepsTheBeaconWithin32Bits) {
    ModuleSettings s = withRates(11, 11, std::numeric_limits<std::int32_t>::max());
    deriveDefaultRateTimings(s);
    EXPECT_EQ(s.beaconDurationTicks, std::numeric_limits<std::int32_t>::max());
    EXPECT_EQ(s.autoSleepTimeoutMs, 1140833);
}

TEST(DefaultRate, IndexOutsideTheTableKeepsTheTimingButResetsTheChannel) {
    for (std::int32_t rate : {-1, 12, 255}) {
        ModuleSettings s = withRates(rate, 0, 100);
        s.tickUs = 1;
        s.carrierThresholdDbm = -50.5;
        s.wakeSlotTicks = 2;
        s.beaconDurationTicks = 3;
        s.autoSleepTimeoutMs = 4;
        s.uplinkTimeoutMs = 5;
        s.downlinkTimeoutMs = 6;
        s.syncDurationTicks = 7;
        ModuleSettings expected = s;
        expected.mainChannel = 0;
        deriveDefaultRateTimings(s);
        EXPECT_EQ(s, expected) << rate;
    }
}

TEST(ChannelPlan, FollowsTheSlowerRate) {
    const struct {
        std::int32_t defaultRate, upper, startAndSpacing, countIndex;
    } cases[] = {
        {0, 4, 10, 2}, {3, 1, 5, 2}, {2, 9, 3, 2},  {3, 3, 2, 2},
        {4, 11, 2, 2}, {5, 5, 1, 3}, {7, 11, 1, 3}, {6, -1, 1, 3},
    };
    for (const auto& c : cases) {
        ModuleSettings s = withRates(c.defaultRate, c.upper, 0);
        applyChannelPlan(s, false);
        EXPECT_EQ(s.auxChannelStart, c.startAndSpacing) << c.defaultRate << "/" << c.upper;
        EXPECT_EQ(s.auxChannelSpacing, c.startAndSpacing) << c.defaultRate << "/" << c.upper;
        EXPECT_EQ(s.auxChannelCountIndex, c.countIndex) << c.defaultRate << "/" << c.upper;
    }
}

TEST(ChannelPlan, WritingKeepsTheChannelCount) {
    ModuleSettings s = withRates(0, 0, 0);
    s.auxChannelCountIndex = 4;
    applyChannelPlan(s, true);
    EXPECT_EQ(s.auxChannelStart, 10);
    EXPECT_EQ(s.auxChannelSpacing, 10);
    EXPECT_EQ(s.auxChannelCountIndex, 4);
}

TEST(UpperLimit, SetsCompensationAndMainChannelOnly) {
    ModuleSettings s = withRates(3, 1, 100);
    deriveDefaultRateTimings(s);
    s.mainChannel = 9;
    ModuleSettings expected = s;
    expected.sleepCompTicks = 200;
    expected.mainChannel = 0;
    deriveRateUpperLimitValues(s);
    EXPECT_EQ(s, expected);
}

}  // namespace
}  // namespace dl250t
