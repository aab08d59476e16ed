#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "config/module_settings.hpp"
#include "ui/control_ids.hpp"

namespace dl250t {

// Which control shows which field of the record, grouped by how the value is
// exchanged. Both directions of the form exchange walk the groups in the order
// check, text, real, integer, list, and each group in table order; reading
// stops at the first number that does not parse, so the order decides which
// fields a bad entry leaves untouched.

template <typename Field>
struct FieldBinding {
    ctl::ControlId id;
    Field ModuleSettings::*field;
};

// Check boxes: 0 unticked, 1 and 2 ticked. The auto-configure box is not part
// of the record; it has no field here and binds the controller's flag instead.
using CheckBinding = FieldBinding<std::int32_t>;
using TextBinding = FieldBinding<std::string>;
using RealBinding = FieldBinding<double>;
using IntegerBinding = FieldBinding<std::int32_t>;
using ListBinding = FieldBinding<std::int32_t>;  // selected index, -1 for none

inline constexpr std::array<CheckBinding, 6> kCheckBindings = {{
    {ctl::AutoConfigure, nullptr},
    {ctl::FlowControl, &ModuleSettings::flowControl},
    {ctl::SleepEnabled, &ModuleSettings::sleepEnabled},
    {ctl::RepeatEnabled, &ModuleSettings::repeatEnabled},
    {ctl::ActInverted, &ModuleSettings::actInverted},
    {ctl::AppendRouteInfo, &ModuleSettings::appendRouteInfo},
}};

inline constexpr std::array<TextBinding, 10> kTextBindings = {{
    {ctl::ModuleName, &ModuleSettings::moduleName},
    {ctl::Version, &ModuleSettings::versionText},
    {ctl::Type, &ModuleSettings::typeText},
    {ctl::Band, &ModuleSettings::bandText},
    {ctl::MaxPower, &ModuleSettings::maxPowerText},
    {ctl::Serial, &ModuleSettings::serialText},
    {ctl::AckPacket, &ModuleSettings::ackPacketHex},
    {ctl::BroadcastCommand1, &ModuleSettings::broadcastCommand1Hex},
    {ctl::BroadcastCommand2, &ModuleSettings::broadcastCommand2Hex},
    {ctl::HostAddressCommand, &ModuleSettings::hostAddressCommandHex},
}};

inline constexpr std::array<RealBinding, 2> kRealBindings = {{
    {ctl::StartFrequency, &ModuleSettings::startFrequencyMHz},
    {ctl::CarrierThreshold, &ModuleSettings::carrierThresholdDbm},
}};

inline constexpr std::array<IntegerBinding, 26> kIntegerBindings = {{
    {ctl::MainChannel, &ModuleSettings::mainChannel},
    {ctl::AuxChannelSpacing, &ModuleSettings::auxChannelSpacing},
    {ctl::AuxChannelStart, &ModuleSettings::auxChannelStart},
    {ctl::DownlinkAddressOffset, &ModuleSettings::downlinkAddressOffset},
    {ctl::UplinkAddressOffset, &ModuleSettings::uplinkAddressOffset},
    {ctl::AddressLength, &ModuleSettings::addressLength},
    {ctl::AutoSleepTimeout, &ModuleSettings::autoSleepTimeoutMs},
    {ctl::BeaconDuration, &ModuleSettings::beaconDurationTicks},
    {ctl::SleepCompensation, &ModuleSettings::sleepCompTicks},
    {ctl::HostBootTime, &ModuleSettings::hostBootTimeMs},
    {ctl::LengthCorrection, &ModuleSettings::lengthCorrection},
    {ctl::LengthOffset, &ModuleSettings::lengthOffset},
    {ctl::NetworkId, &ModuleSettings::networkId},
    {ctl::ResponseTimeout, &ModuleSettings::responseTimeoutMs},
    {ctl::DownlinkTimeout, &ModuleSettings::downlinkTimeoutMs},
    {ctl::UplinkTimeout, &ModuleSettings::uplinkTimeoutMs},
    {ctl::SyncDuration, &ModuleSettings::syncDurationTicks},
    {ctl::SleepRatio, &ModuleSettings::sleepRatio},
    {ctl::FrameEndSync, &ModuleSettings::frameEndSync},
    {ctl::FrameStartSync, &ModuleSettings::frameStartSync},
    {ctl::TickUs, &ModuleSettings::tickUs},
    {ctl::WakeSlot, &ModuleSettings::wakeSlotTicks},
    {ctl::BroadcastWildcard, &ModuleSettings::broadcastWildcard},
    {ctl::MulticastWildcard, &ModuleSettings::multicastWildcard},
    {ctl::SyncInterval, &ModuleSettings::syncIntervalS},
    {ctl::UartWakeBytes, &ModuleSettings::uartWakeBytes},
}};

inline constexpr std::array<ListBinding, 13> kListBindings = {{
    {ctl::FrameCheck, &ModuleSettings::frameCheckIndex},
    {ctl::RateUpper, &ModuleSettings::rateUpperIndex},
    {ctl::RateLower, &ModuleSettings::rateLowerIndex},
    {ctl::ActPinFunction, &ModuleSettings::actPinFunction},
    {ctl::DefaultRate, &ModuleSettings::defaultRateIndex},
    {ctl::AuxChannelCount, &ModuleSettings::auxChannelCountIndex},
    {ctl::RfPower, &ModuleSettings::rfPowerIndex},
    {ctl::UartBaud, &ModuleSettings::uartBaudIndex},
    {ctl::UartStartBit, &ModuleSettings::uartStartBitIndex},
    {ctl::FrameMode, &ModuleSettings::frameModeIndex},
    {ctl::UartParity, &ModuleSettings::uartParityIndex},
    {ctl::UartStopBits, &ModuleSettings::uartStopBitsIndex},
    {ctl::DeviceCount, &ModuleSettings::deviceCountIndex},
}};

}  // namespace dl250t
