#pragma once

#include <cstdint>
#include <string>

namespace dl250t {

// The record behind the settings form. Integers are 32-bit signed, reals are
// doubles, flags are integers bound to check boxes (0 off; 1 and 2 show as
// ticked) and list indexes are positions in a list of the form, -1 meaning
// that the list shows no selection.
struct ModuleSettings {
    // Identity, shown but never written back to a block.
    std::string moduleName = "Lorandix AMR Ver Moudle U 13306";
    std::string versionText = "1.6";
    std::string typeText = "UNKNOWN";
    std::string maxPowerText = "10dBm";
    std::string bandText = "433MHz";
    std::string serialText;  // hex byte text of the six serial bytes

    // Basic group.
    std::int32_t networkId = 0;
    std::int32_t mainChannel = 0;
    std::int32_t auxChannelStart = 0;
    std::int32_t auxChannelSpacing = 1;
    std::int32_t defaultRateIndex = 0;
    std::int32_t rateUpperIndex = 0;
    std::int32_t rateLowerIndex = 0;
    std::int32_t rfPowerIndex = 0;
    std::int32_t sleepEnabled = 0;
    std::int32_t repeatEnabled = 0;
    std::int32_t actInverted = 0;
    std::int32_t appendRouteInfo = 0;
    std::int32_t deviceCountIndex = 0;
    std::int32_t flowControl = 0;
    std::int32_t sleepRatio = 0;
    std::int32_t actPinFunction = 0;
    std::int32_t hostBootTimeMs = 1;
    std::int32_t responseTimeoutMs = 1;
    std::int32_t syncIntervalS = 0;

    // Frequency group.
    double startFrequencyMHz = 433.0;
    std::int32_t auxChannelCountIndex = 0;

    // UART and frame group.
    std::int32_t uartBaudIndex = 0;
    std::int32_t uartStartBitIndex = 0;
    std::int32_t uartStopBitsIndex = 0;
    std::int32_t uartParityIndex = 0;
    std::int32_t frameStartSync = 0;
    std::int32_t frameEndSync = 0;
    std::int32_t frameModeIndex = 0;
    std::int32_t addressLength = 16;
    std::int32_t downlinkAddressOffset = 0;
    std::int32_t uplinkAddressOffset = 0;
    std::int32_t broadcastWildcard = 0;
    std::int32_t multicastWildcard = 0;
    std::int32_t uartWakeBytes = 0;
    std::int32_t lengthOffset = 0;
    std::int32_t lengthCorrection = 0;
    std::int32_t frameCheckIndex = 0;

    // Command slots, as hex byte text.
    std::string ackPacketHex;
    std::string hostAddressCommandHex;
    std::string broadcastCommand1Hex;
    std::string broadcastCommand2Hex;

    // Advanced group.
    double carrierThresholdDbm = 0.0;
    std::int32_t tickUs = 0;
    std::int32_t autoSleepTimeoutMs = 0;
    std::int32_t uplinkTimeoutMs = 0;
    std::int32_t downlinkTimeoutMs = 0;
    std::int32_t sleepCompTicks = 0;
    std::int32_t syncDurationTicks = 0;
    std::int32_t wakeSlotTicks = 0;
    std::int32_t beaconDurationTicks = 0;

    friend bool operator==(const ModuleSettings&, const ModuleSettings&) = default;
};

// What the last decoded identity string says about the module's hardware. It
// changes only when a block is decoded; until then it describes the default
// identity (433 MHz band, 26 MHz crystal, 10 dBm power class).
struct ModuleIdentity {
    std::int32_t bandBaseMHz = 433;
    std::int32_t crystalMHz = 26;
    bool twentyDbmClass = false;  // chooses the RF power list

    friend bool operator==(const ModuleIdentity&, const ModuleIdentity&) = default;
};

}  // namespace dl250t
