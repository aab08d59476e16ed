#include "config/rate_defaults.hpp"

#include <algorithm>
#include <limits>

namespace dl250t {

namespace {

// Floor first; the ceiling applies only when the floor did not.
std::int32_t withFloorThenCeiling(std::int64_t value, std::int32_t floor, std::int64_t ceiling) {
    if (value < floor) {
        return floor;
    }
    return static_cast<std::int32_t>(std::min(value, ceiling));
}

}  // namespace

void deriveDefaultRateTimings(ModuleSettings& settings) {
    const std::int32_t rate = settings.defaultRateIndex;
    if (rate >= 0 && rate < static_cast<std::int32_t>(kRateTimings.size())) {
        const RateTiming& timing = kRateTimings[static_cast<std::size_t>(rate)];
        const std::int64_t ratio = settings.sleepRatio;
        settings.tickUs = timing.tickUs;
        settings.carrierThresholdDbm = timing.carrierThresholdDbm;
        settings.wakeSlotTicks = timing.wakeSlotTicks;

        const std::int64_t beacon = timing.wakeSlotTicks * ratio / 2;
        settings.beaconDurationTicks = beacon < kBeaconDurationFloorTicks
                                           ? kBeaconDurationFloorTicks
                                           : static_cast<std::int32_t>(std::min<std::int64_t>(
                                                 beacon, std::numeric_limits<std::int32_t>::max()));

        const std::int64_t product = std::int64_t{timing.tickUs} * ratio * timing.wakeSlotTicks;
        const std::int64_t ceiling = std::int64_t{timing.tickUs} * 65535 / 1000;
        settings.autoSleepTimeoutMs =
            withFloorThenCeiling(product / 500, kAutoSleepTimeoutFloorMs, ceiling);
        settings.uplinkTimeoutMs =
            withFloorThenCeiling(product / 1000, kUplinkTimeoutFloorMs, ceiling);
        settings.downlinkTimeoutMs = settings.uplinkTimeoutMs;
        settings.syncDurationTicks = kSyncDurationTicks;
    }
    settings.mainChannel = 0;
}

void deriveRateUpperLimitValues(ModuleSettings& settings) {
    settings.sleepCompTicks = kSleepCompensationTicks;
    settings.mainChannel = 0;
}

void applyChannelPlan(ModuleSettings& settings, bool writingFlag) {
    // Rates are listed fastest first: the smaller index is the faster rate.
    const std::int32_t fasterRateIndex =
        std::min(settings.defaultRateIndex, settings.rateUpperIndex);
    const ChannelPlan plan =
        fasterRateIndex >= 0 && fasterRateIndex < static_cast<std::int32_t>(kChannelPlans.size())
            ? kChannelPlans[static_cast<std::size_t>(fasterRateIndex)]
            : kSlowChannelPlan;
    settings.auxChannelSpacing = plan.startAndSpacing;
    settings.auxChannelStart = plan.startAndSpacing;
    if (!writingFlag) {
        settings.auxChannelCountIndex = plan.countIndex;
    }
}

}  // namespace dl250t
