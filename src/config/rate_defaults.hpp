#pragma once

#include <array>
#include <cstdint>

#include "config/module_settings.hpp"

namespace dl250t {

// The module's timing follows from its RF data rate. Rows follow the rate list,
// fastest first.
struct RateTiming {
    std::int32_t tickUs;
    std::int32_t wakeSlotTicks;
    double carrierThresholdDbm;
};

inline constexpr std::array<RateTiming, 12> kRateTimings = {{
    {108, 15, -74.0},    // 500kbps
    {128, 18, -74.0},    // 250kbps
    {137, 24, -74.0},    // 175kbps
    {216, 25, -74.0},    // 100kbps
    {280, 25, -74.0},    // 76.8kbps
    {551, 25, -74.0},    // 38.4kbps
    {1092, 25, -75.0},   // 19.2kbps
    {2176, 25, -76.0},   // 9.6kbps
    {2914, 25, -77.0},   // 7.2kbps
    {4352, 25, -78.0},   // 4.8kbps
    {8704, 25, -79.0},   // 2.4kbps
    {17408, 25, -80.0},  // 1.2kbps
}};

// Channel plan by the faster of the default rate and the upper rate limit
// (the smaller index): the first auxiliary channel and the spacing share one
// value; the count is an index into the auxiliary channel list (2 = 4
// channels, 3 = 8 channels). Any other index, no selection included, takes
// kSlowChannelPlan.
struct ChannelPlan {
    std::int32_t startAndSpacing;
    std::int32_t countIndex;
};

inline constexpr std::array<ChannelPlan, 5> kChannelPlans = {{
    {10, 2},
    {5, 2},
    {3, 2},
    {2, 2},
    {2, 2},
}};
inline constexpr ChannelPlan kSlowChannelPlan = {1, 3};

inline constexpr std::int32_t kBeaconDurationFloorTicks = 35;
inline constexpr std::int32_t kAutoSleepTimeoutFloorMs = 2000;
inline constexpr std::int32_t kUplinkTimeoutFloorMs = 4000;
inline constexpr std::int32_t kSyncDurationTicks = 25;
inline constexpr std::int32_t kSleepCompensationTicks = 200;

// The timing values that choosing a default rate derives from the rate and
// the sleep ratio, and the main channel reset. A rate index outside the table
// leaves the eight timing values as they are.
void deriveDefaultRateTimings(ModuleSettings& settings);

// Choosing an upper rate limit resets the sleep compensation and main channel.
void deriveRateUpperLimitValues(ModuleSettings& settings);

// Sets the auxiliary channels from the faster of the two rates. The channel
// count is left alone while a module write or a save encodes the form.
void applyChannelPlan(ModuleSettings& settings, bool writingFlag);

}  // namespace dl250t
