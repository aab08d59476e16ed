#include "config/settings_codec.hpp"

#include <array>
#include <functional>
#include <optional>
#include <span>
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

// A setting stored as it is, in one byte or in one little-endian word.
struct PlainField {
    enum class Width { Byte, Word };
    IntField field;
    std::size_t offset;
    Width width;
};

constexpr auto kByte = PlainField::Width::Byte;
constexpr auto kWord = PlainField::Width::Word;

// The plain settings of each group, which the encode stores once the group's
// values have been range-adjusted. The other settings of a group are
// converted by field_codec.
constexpr std::array<PlainField, 14> kBasicPlainFields = {{
    {&ModuleSettings::mainChannel, block::kMainChannel, kByte},
    {&ModuleSettings::auxChannelStart, block::kAuxChannelStart, kByte},
    {&ModuleSettings::auxChannelSpacing, block::kAuxChannelSpacing, kByte},
    {&ModuleSettings::defaultRateIndex, block::kDefaultRate, kByte},
    {&ModuleSettings::rateUpperIndex, block::kRateUpper, kByte},
    {&ModuleSettings::rateLowerIndex, block::kRateLower, kByte},
    {&ModuleSettings::rfPowerIndex, block::kRfPower, kByte},
    {&ModuleSettings::repeatEnabled, block::kRepeatEnabled, kByte},
    {&ModuleSettings::deviceCountIndex, block::kDeviceCount, kByte},
    {&ModuleSettings::flowControl, block::kFlowControl, kByte},
    {&ModuleSettings::sleepRatio, block::kSleepRatio, kWord},
    {&ModuleSettings::hostBootTimeMs, block::kHostBootTime, kWord},
    {&ModuleSettings::responseTimeoutMs, block::kResponseTimeout, kWord},
    {&ModuleSettings::syncIntervalS, block::kSyncInterval, kWord},
}};

constexpr std::array<PlainField, 11> kFramePlainFields = {{
    {&ModuleSettings::frameStartSync, block::kFrameStartSync, kByte},
    {&ModuleSettings::frameEndSync, block::kFrameEndSync, kByte},
    {&ModuleSettings::frameModeIndex, block::kFrameMode, kByte},
    {&ModuleSettings::addressLength, block::kAddressLength, kByte},
    {&ModuleSettings::downlinkAddressOffset, block::kDownlinkAddressOffset, kByte},
    {&ModuleSettings::uplinkAddressOffset, block::kUplinkAddressOffset, kByte},
    {&ModuleSettings::broadcastWildcard, block::kBroadcastWildcard, kByte},
    {&ModuleSettings::multicastWildcard, block::kMulticastWildcard, kByte},
    {&ModuleSettings::lengthOffset, block::kLengthOffset, kByte},
    {&ModuleSettings::lengthCorrection, block::kLengthCorrection, kByte},
    {&ModuleSettings::frameCheckIndex, block::kFrameCheck, kByte},
}};

constexpr std::array<PlainField, 4> kAdvancedPlainFields = {{
    {&ModuleSettings::sleepCompTicks, block::kSleepCompensation, kByte},
    {&ModuleSettings::syncDurationTicks, block::kSyncDuration, kWord},
    {&ModuleSettings::wakeSlotTicks, block::kWakeSlot, kWord},
    {&ModuleSettings::beaconDurationTicks, block::kBeaconDuration, kWord},
}};

void decodePlainFields(const ConfigBlock& block, std::span<const PlainField> fields,
                       ModuleSettings& settings) {
    for (const PlainField& plain : fields) {
        settings.*plain.field = plain.width == kByte ? decodeByte(block, plain.offset)
                                                     : decodeWord(block, plain.offset);
    }
}

void encodePlainFields(const ModuleSettings& settings, std::span<const PlainField> fields,
                       ConfigBlock& block) {
    for (const PlainField& plain : fields) {
        if (plain.width == kByte) {
            encodeByte(block, plain.offset, settings.*plain.field);
        } else {
            encodeWord(block, plain.offset, settings.*plain.field);
        }
    }
}

class Adjuster {
public:
    Adjuster(ModuleSettings& settings, const EncodeHooks& hooks)
        : settings_(settings), hooks_(hooks) {}

    void operator()(const IntRange& range) { (*this)(range, range.low, range.high); }

    void operator()(const IntRange& range, std::int32_t low, std::int32_t high) {
        report(adjustRange(settings_.*range.field, low, high, range.label, range.unit));
    }

    void real(double& value, double low, double high, std::string_view label, std::string_view unit,
              const std::function<std::int64_t(double)>& stored = {}) {
        report(stored ? adjustRange(value, low, high, label, unit, stored)
                      : adjustRange(value, low, high, label, unit));
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

    decodePlainFields(block, kBasicPlainFields, s);
    s.networkId = decodeNetworkId(block);
    // Plain when read; the encode stores 0 for a module that never wakes.
    s.sleepEnabled = decodeByte(block, block::kSleepEnabled);
    const OptionFlags flags = decodeOptionFlags(block);
    s.actInverted = flags.actInverted;
    s.appendRouteInfo = flags.appendRouteInfo;
    const PinAndWake pinAndWake = decodePinAndWake(block);
    s.actPinFunction = pinAndWake.actPinFunction;

    s.startFrequencyMHz = decodeFrequencyMHz(block, crystal);
    s.auxChannelCountIndex = decodeAuxChannelCountIndex(block);

    s.uartBaudIndex = decodeUartBaudIndex(block, crystal);
    const UartFraming framing = decodeUartControl(block);
    s.uartStartBitIndex = framing.startBitIndex;
    s.uartStopBitsIndex = framing.stopBitsIndex;
    s.uartParityIndex = framing.parityIndex;
    decodePlainFields(block, kFramePlainFields, s);
    s.uartWakeBytes = pinAndWake.uartWakeBytes;

    s.ackPacketHex = decodeCommandSlot(block, 0);
    s.hostAddressCommandHex = decodeCommandSlot(block, 1);
    s.broadcastCommand1Hex = decodeCommandSlot(block, 2);
    s.broadcastCommand2Hex = decodeCommandSlot(block, 3);

    s.carrierThresholdDbm = decodeCarrierThresholdDbm(block);
    s.tickUs = decodeTickUs(block, crystal);
    s.autoSleepTimeoutMs = decodeTimeoutMs(block, block::kAutoSleepTimeout, s.tickUs);
    s.uplinkTimeoutMs = decodeTimeoutMs(block, block::kUplinkTimeout, s.tickUs);
    s.downlinkTimeoutMs = decodeTimeoutMs(block, block::kDownlinkTimeout, s.tickUs);
    decodePlainFields(block, kAdvancedPlainFields, s);
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
    encodePlainFields(s, kBasicPlainFields, block);
    encodeNetworkId(block, s.networkId);
    encodeOptionFlags(block, {s.actInverted, s.appendRouteInfo});
    // A module that never wakes cannot sleep.
    if (s.sleepRatio == 0) {
        s.sleepEnabled = 0;
        encodeByte(block, block::kSleepEnabled, 0);
    } else {
        encodeByte(block, block::kSleepEnabled, s.sleepEnabled);
    }

    // Frequency group: the band chooses the range. The band's edge is stored
    // in steps of crystal / 65536 and read back a little beyond it (410 MHz
    // as 409.99988 MHz): that is the edge, and no cause for a warning.
    const bool lowBand = identity.bandBaseMHz < 500;
    adjust.real(s.startFrequencyMHz, lowBand ? 410.0 : 770.0, lowBand ? 480.0 : 950.0, "起始频点",
                "MHz", [crystal](double MHz) { return frequencyWord(MHz, crystal); });
    encodeFrequencyMHz(block, s.startFrequencyMHz, crystal);
    encodeAuxChannelCountIndex(block, s.auxChannelCountIndex);

    // UART and frame group.
    encodeUartBaudIndex(block, s.uartBaudIndex, crystal);
    encodeUartControl(block, {s.uartStartBitIndex, s.uartParityIndex, s.uartStopBitsIndex});
    for (const IntRange& range : kFrameRanges) {
        adjust(range);
    }
    encodePlainFields(s, kFramePlainFields, block);
    encodePinAndWake(block, {s.actPinFunction, s.uartWakeBytes});

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
    encodePlainFields(s, kAdvancedPlainFields, block);
    encodeSleepPeriod(block, decodeWord(block, block::kSleepRatio), s.wakeSlotTicks, crystal,
                      s.tickUs);
}

}  // namespace dl250t
