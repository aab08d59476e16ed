#include "config/settings_codec.hpp"

#include <array>
#include <optional>
#include <string_view>

#include "config/field_codec.hpp"
#include "config/module_identity.hpp"
#include "config/range_adjustment.hpp"

namespace dl250t {

namespace {

using IntField = std::int32_t ModuleSettings::*;

struct IntRange {
    IntField field;
    std::int32_t low;
    std::int32_t high;
    std::string_view label;
    std::string_view unit;
};

// Range rules, in the order the encode applies them.
constexpr std::array<IntRange, 8> kBasicRanges = {{
    {&ModuleSettings::sleepRatio, 0, 2500, "睡醒占空比", ""},
    {&ModuleSettings::networkId, 0, 65535, "网络ID", ""},
    {&ModuleSettings::mainChannel, 0, 255, "主信道号", ""},
    {&ModuleSettings::auxChannelStart, 0, 255, "起始辅助信道号", ""},
    {&ModuleSettings::auxChannelSpacing, 1, 255, "辅助信道间隔", ""},
    {&ModuleSettings::hostBootTimeMs, 1, 65535, "HOST开机时间", "ms"},
    {&ModuleSettings::responseTimeoutMs, 1, 65535, "响应超时时间", "ms"},
    {&ModuleSettings::syncIntervalS, 0, 65535, "同步周期", "s"},
}};

constexpr std::array<IntRange, 10> kFrameRanges = {{
    {&ModuleSettings::frameStartSync, 0, 255, "帧起始同步字", ""},
    {&ModuleSettings::frameEndSync, 0, 255, "帧结束同步字", ""},
    {&ModuleSettings::addressLength, 1, 16, "地址长度", ""},
    {&ModuleSettings::downlinkAddressOffset, 0, 255, "下行报文地址偏移量", ""},
    {&ModuleSettings::uplinkAddressOffset, 0, 255, "上行报文地址偏移量", ""},
    {&ModuleSettings::broadcastWildcard, 0, 255, "广播地址通配符", ""},
    {&ModuleSettings::multicastWildcard, 0, 255, "多播地址通配符", ""},
    {&ModuleSettings::uartWakeBytes, 0, 63, "UART唤醒字节数", ""},
    {&ModuleSettings::lengthOffset, 0, 255, "报文长度偏移量", ""},
    {&ModuleSettings::lengthCorrection, 0, 255, "报文长度修正值", ""},
}};

constexpr IntRange kTickRange = {&ModuleSettings::tickUs, 1, 160000, "时钟周期Tick值", "us"};
constexpr IntRange kSleepCompRange = {&ModuleSettings::sleepCompTicks, 1, 255, "自动休眠补偿粒度",
                                      "ticks"};

// The three timeouts; their bounds follow the tick so that each stores
// between 1 and 65535 ticks.
constexpr std::array<IntRange, 3> kTimeoutRanges = {{
    {&ModuleSettings::autoSleepTimeoutMs, 0, 0, "自动休眠超时", "ms"},
    {&ModuleSettings::uplinkTimeoutMs, 0, 0, "上行超时", "ms"},
    {&ModuleSettings::downlinkTimeoutMs, 0, 0, "下行超时", "ms"},
}};

constexpr std::array<IntRange, 3> kDurationRanges = {{
    {&ModuleSettings::syncDurationTicks, 5, 65535, "同步报文持续时间", "tick"},
    {&ModuleSettings::wakeSlotTicks, 5, 65535, "自动醒来时隙", "tick"},
    {&ModuleSettings::beaconDurationTicks, 5, 65535, "信标报文持续时间", "tick"},
}};

class Adjuster {
public:
    Adjuster(ModuleSettings& settings, const EncodeHooks& hooks)
        : settings_(settings), hooks_(hooks) {}

    void operator()(const IntRange& range) { (*this)(range, range.low, range.high); }

    void operator()(const IntRange& range, std::int32_t low, std::int32_t high) {
        report(adjustRange(settings_.*range.field, low, high, range.label, range.unit));
    }

    void real(double& value, double low, double high, std::string_view label,
              std::string_view unit) {
        report(adjustRange(value, low, high, label, unit));
    }

private:
    void report(const std::optional<std::string>& warning) {
        if (warning && hooks_.warn) {
            hooks_.warn(*warning);
        }
    }

    ModuleSettings& settings_;
    const EncodeHooks& hooks_;
};

}  // namespace

void decodeSettings(const ConfigBlock& block, ModuleSettings& s, ModuleIdentity& identity) {
    decodeIdentity(block, s, identity);
    const std::int32_t crystal = identity.crystalMHz;

    s.networkId = decodeNetworkId(block);
    s.mainChannel = decodeByte(block, block::kMainChannel);
    s.auxChannelStart = decodeByte(block, block::kAuxChannelStart);
    s.auxChannelSpacing = decodeByte(block, block::kAuxChannelSpacing);
    s.defaultRateIndex = decodeByte(block, block::kDefaultRate);
    s.rateUpperIndex = decodeByte(block, block::kRateUpper);
    s.rateLowerIndex = decodeByte(block, block::kRateLower);
    s.rfPowerIndex = decodeByte(block, block::kRfPower);
    s.sleepEnabled = decodeByte(block, block::kSleepEnabled);
    s.repeatEnabled = decodeByte(block, block::kRepeatEnabled);
    const OptionFlags flags = decodeOptionFlags(block);
    s.actInverted = flags.actInverted;
    s.appendRouteInfo = flags.appendRouteInfo;
    s.deviceCountIndex = decodeByte(block, block::kDeviceCount);
    s.flowControl = decodeByte(block, block::kFlowControl);
    s.sleepRatio = decodeWord(block, block::kSleepRatio);
    const PinAndWake pinAndWake = decodePinAndWake(block);
    s.actPinFunction = pinAndWake.actPinFunction;
    s.hostBootTimeMs = decodeWord(block, block::kHostBootTime);
    s.responseTimeoutMs = decodeWord(block, block::kResponseTimeout);
    s.syncIntervalS = decodeWord(block, block::kSyncInterval);

    s.startFrequencyMHz = decodeFrequencyMHz(block, crystal);
    s.auxChannelCountIndex = decodeAuxChannelCountIndex(block);

    s.uartBaudIndex = decodeUartBaudIndex(block, crystal);
    const UartFraming framing = decodeUartControl(block);
    s.uartStartBitIndex = framing.startBitIndex;
    s.uartStopBitsIndex = framing.stopBitsIndex;
    s.uartParityIndex = framing.parityIndex;
    s.frameStartSync = decodeByte(block, block::kFrameStartSync);
    s.frameEndSync = decodeByte(block, block::kFrameEndSync);
    s.frameModeIndex = decodeByte(block, block::kFrameMode);
    s.addressLength = decodeByte(block, block::kAddressLength);
    s.downlinkAddressOffset = decodeByte(block, block::kDownlinkAddressOffset);
    s.uplinkAddressOffset = decodeByte(block, block::kUplinkAddressOffset);
    s.broadcastWildcard = decodeByte(block, block::kBroadcastWildcard);
    s.multicastWildcard = decodeByte(block, block::kMulticastWildcard);
    s.uartWakeBytes = pinAndWake.uartWakeBytes;
    s.lengthOffset = decodeByte(block, block::kLengthOffset);
    s.lengthCorrection = decodeByte(block, block::kLengthCorrection);
    s.frameCheckIndex = decodeByte(block, block::kFrameCheck);

    s.ackPacketHex = decodeCommandSlot(block, 0);
    s.hostAddressCommandHex = decodeCommandSlot(block, 1);
    s.broadcastCommand1Hex = decodeCommandSlot(block, 2);
    s.broadcastCommand2Hex = decodeCommandSlot(block, 3);

    s.carrierThresholdDbm = decodeCarrierThresholdDbm(block);
    s.tickUs = decodeTickUs(block, crystal);
    s.autoSleepTimeoutMs = decodeTimeoutMs(block, block::kAutoSleepTimeout, s.tickUs);
    s.uplinkTimeoutMs = decodeTimeoutMs(block, block::kUplinkTimeout, s.tickUs);
    s.downlinkTimeoutMs = decodeTimeoutMs(block, block::kDownlinkTimeout, s.tickUs);
    s.sleepCompTicks = decodeByte(block, block::kSleepCompensation);
    s.syncDurationTicks = decodeWord(block, block::kSyncDuration);
    s.wakeSlotTicks = decodeWord(block, block::kWakeSlot);
    s.beaconDurationTicks = decodeWord(block, block::kBeaconDuration);
}

void encodeSettings(ModuleSettings& s, const ModuleIdentity& identity, ConfigBlock& block,
                    const EncodeHooks& hooks) {
    Adjuster adjust(s, hooks);
    const std::int32_t crystal = identity.crystalMHz;

    encodeSerialText(block, s.serialText);

    // Basic group.
    for (const IntRange& range : kBasicRanges) {
        adjust(range);
    }
    encodeByte(block, block::kMainChannel, s.mainChannel);
    encodeByte(block, block::kAuxChannelStart, s.auxChannelStart);
    encodeByte(block, block::kAuxChannelSpacing, s.auxChannelSpacing);
    encodeByte(block, block::kDefaultRate, s.defaultRateIndex);
    encodeByte(block, block::kRateUpper, s.rateUpperIndex);
    encodeByte(block, block::kRateLower, s.rateLowerIndex);
    encodeByte(block, block::kRfPower, s.rfPowerIndex);
    encodeNetworkId(block, s.networkId);
    encodeByte(block, block::kRepeatEnabled, s.repeatEnabled);
    encodeByte(block, block::kDeviceCount, s.deviceCountIndex);
    encodeByte(block, block::kFlowControl, s.flowControl);
    encodeWord(block, block::kSleepRatio, s.sleepRatio);
    encodeWord(block, block::kHostBootTime, s.hostBootTimeMs);
    encodeWord(block, block::kResponseTimeout, s.responseTimeoutMs);
    encodeWord(block, block::kSyncInterval, s.syncIntervalS);
    encodeOptionFlags(block, {s.actInverted, s.appendRouteInfo});
    // A module that never wakes cannot sleep.
    if (s.sleepRatio == 0) {
        s.sleepEnabled = 0;
        encodeByte(block, block::kSleepEnabled, 0);
    } else {
        encodeByte(block, block::kSleepEnabled, s.sleepEnabled);
    }

    // Frequency group: the band chooses the range.
    const bool lowBand = identity.bandBaseMHz < 500;
    adjust.real(s.startFrequencyMHz, lowBand ? 410.0 : 770.0, lowBand ? 480.0 : 950.0, "起始频点",
                "MHz");
    encodeFrequencyMHz(block, s.startFrequencyMHz, crystal);
    encodeAuxChannelCountIndex(block, s.auxChannelCountIndex);

    // UART and frame group.
    encodeUartBaudIndex(block, s.uartBaudIndex, crystal);
    encodeUartControl(block, {s.uartStartBitIndex, s.uartParityIndex, s.uartStopBitsIndex});
    for (const IntRange& range : kFrameRanges) {
        adjust(range);
    }
    encodeByte(block, block::kFrameStartSync, s.frameStartSync);
    encodeByte(block, block::kFrameEndSync, s.frameEndSync);
    encodeByte(block, block::kFrameMode, s.frameModeIndex);
    encodeByte(block, block::kAddressLength, s.addressLength);
    encodeByte(block, block::kDownlinkAddressOffset, s.downlinkAddressOffset);
    encodeByte(block, block::kUplinkAddressOffset, s.uplinkAddressOffset);
    encodeByte(block, block::kBroadcastWildcard, s.broadcastWildcard);
    encodeByte(block, block::kMulticastWildcard, s.multicastWildcard);
    encodePinAndWake(block, {s.actPinFunction, s.uartWakeBytes});
    encodeByte(block, block::kLengthOffset, s.lengthOffset);
    encodeByte(block, block::kLengthCorrection, s.lengthCorrection);
    encodeByte(block, block::kFrameCheck, s.frameCheckIndex);

    // Command slots.
    encodeCommandSlot(block, 0, s.ackPacketHex);
    encodeCommandSlot(block, 1, s.hostAddressCommandHex);
    encodeCommandSlot(block, 2, s.broadcastCommand1Hex);
    encodeCommandSlot(block, 3, s.broadcastCommand2Hex);

    // Advanced group.
    if (hooks.beforeAdvancedGroup) {
        hooks.beforeAdvancedGroup();
    }
    adjust(kTickRange);
    encodeTickUs(block, s.tickUs, crystal);

    adjust.real(s.carrierThresholdDbm, -100.0, -10.0, "载波检测绝对门限值", "dBm");
    adjust(kSleepCompRange);
    const std::int32_t timeoutLow = s.tickUs >= 1000 ? s.tickUs / 1000 : 1;
    const auto timeoutHigh = static_cast<std::int32_t>(std::int64_t{s.tickUs} * 65535 / 1000);
    for (const IntRange& range : kTimeoutRanges) {
        adjust(range, timeoutLow, timeoutHigh);
    }
    for (const IntRange& range : kDurationRanges) {
        adjust(range);
    }
    encodeCarrierThresholdDbm(block, s.carrierThresholdDbm);
    encodeTimeoutMs(block, block::kAutoSleepTimeout, s.autoSleepTimeoutMs, s.tickUs);
    encodeTimeoutMs(block, block::kUplinkTimeout, s.uplinkTimeoutMs, s.tickUs);
    encodeTimeoutMs(block, block::kDownlinkTimeout, s.downlinkTimeoutMs, s.tickUs);
    encodeByte(block, block::kSleepCompensation, s.sleepCompTicks);
    encodeWord(block, block::kSyncDuration, s.syncDurationTicks);
    encodeWord(block, block::kWakeSlot, s.wakeSlotTicks);
    encodeWord(block, block::kBeaconDuration, s.beaconDurationTicks);
    encodeSleepPeriod(block, decodeWord(block, block::kSleepRatio), s.wakeSlotTicks, crystal,
                      s.tickUs);
}

}  // namespace dl250t
