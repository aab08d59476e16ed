#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

#include "config/module_settings.hpp"

namespace dl250t::cli {

// Every field of the settings record under its own name, in record order, so
// that the companion's JSON speaks the same names as the code.
using FieldMember = std::variant<std::string ModuleSettings::*, std::int32_t ModuleSettings::*,
                                 double ModuleSettings::*>;

struct SettingsField {
    std::string_view name;
    FieldMember member;
};

#define DL250T_FIELD(name)           \
    SettingsField {                  \
#name, &ModuleSettings::name \
    }

inline const std::array<SettingsField, 56> kSettingsFields = {
    DL250T_FIELD(moduleName),
    DL250T_FIELD(versionText),
    DL250T_FIELD(typeText),
    DL250T_FIELD(maxPowerText),
    DL250T_FIELD(bandText),
    DL250T_FIELD(serialText),
    DL250T_FIELD(networkId),
    DL250T_FIELD(mainChannel),
    DL250T_FIELD(auxChannelStart),
    DL250T_FIELD(auxChannelSpacing),
    DL250T_FIELD(defaultRateIndex),
    DL250T_FIELD(rateUpperIndex),
    DL250T_FIELD(rateLowerIndex),
    DL250T_FIELD(rfPowerIndex),
    DL250T_FIELD(sleepEnabled),
    DL250T_FIELD(repeatEnabled),
    DL250T_FIELD(actInverted),
    DL250T_FIELD(appendRouteInfo),
    DL250T_FIELD(deviceCountIndex),
    DL250T_FIELD(flowControl),
    DL250T_FIELD(sleepRatio),
    DL250T_FIELD(actPinFunction),
    DL250T_FIELD(hostBootTimeMs),
    DL250T_FIELD(responseTimeoutMs),
    DL250T_FIELD(syncIntervalS),
    DL250T_FIELD(startFrequencyMHz),
    DL250T_FIELD(auxChannelCountIndex),
    DL250T_FIELD(uartBaudIndex),
    DL250T_FIELD(uartStartBitIndex),
    DL250T_FIELD(uartStopBitsIndex),
    DL250T_FIELD(uartParityIndex),
    DL250T_FIELD(frameStartSync),
    DL250T_FIELD(frameEndSync),
    DL250T_FIELD(frameModeIndex),
    DL250T_FIELD(addressLength),
    DL250T_FIELD(downlinkAddressOffset),
    DL250T_FIELD(uplinkAddressOffset),
    DL250T_FIELD(broadcastWildcard),
    DL250T_FIELD(multicastWildcard),
    DL250T_FIELD(uartWakeBytes),
    DL250T_FIELD(lengthOffset),
    DL250T_FIELD(lengthCorrection),
    DL250T_FIELD(frameCheckIndex),
    DL250T_FIELD(ackPacketHex),
    DL250T_FIELD(hostAddressCommandHex),
    DL250T_FIELD(broadcastCommand1Hex),
    DL250T_FIELD(broadcastCommand2Hex),
    DL250T_FIELD(carrierThresholdDbm),
    DL250T_FIELD(tickUs),
    DL250T_FIELD(autoSleepTimeoutMs),
    DL250T_FIELD(uplinkTimeoutMs),
    DL250T_FIELD(downlinkTimeoutMs),
    DL250T_FIELD(sleepCompTicks),
    DL250T_FIELD(syncDurationTicks),
    DL250T_FIELD(wakeSlotTicks),
    DL250T_FIELD(beaconDurationTicks),
};

#undef DL250T_FIELD

}  // namespace dl250t::cli
