#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "config/config_block.hpp"

namespace dl250t {

// Conversions between the settings in the operator's units and the radio-level
// forms the module keeps in its block. Each is a pure function of the block
// bytes, the value and, where the radio clock matters, the crystal frequency
// (26 or 27 MHz). Integer arithmetic is exact: products are formed in 64 bits.

// Plain byte and little-endian word fields: the low 8 or 16 bits are stored.
std::int32_t decodeByte(const ConfigBlock& block, std::size_t offset);
void encodeByte(ConfigBlock& block, std::size_t offset, std::int64_t value);
std::int32_t decodeWord(const ConfigBlock& block, std::size_t offset);
void encodeWord(ConfigBlock& block, std::size_t offset, std::int64_t value);

// Start frequency as a 24-bit carrier word: MHz x 65536 / crystal, rounded.
double decodeFrequencyMHz(const ConfigBlock& block, std::int32_t crystalMHz);
void encodeFrequencyMHz(ConfigBlock& block, double frequencyMHz, std::int32_t crystalMHz);
// The carrier word that encodeFrequencyMHz stores.
std::int64_t frequencyWord(double frequencyMHz, std::int32_t crystalMHz);

// Network ID: the low byte as it is, the high byte as its sync word. A sync
// word found nowhere among entries 0..254 reads back as high byte 255.
std::int32_t decodeNetworkId(const ConfigBlock& block);
void encodeNetworkId(ConfigBlock& block, std::int32_t networkId);

// UART rate as the row index of the rate table. A pair that matches no row
// reads back as 13, one past the last row. An index outside 0..12 leaves the
// two bytes as they are, so a rate the tool cannot show passes through.
inline constexpr std::int32_t kUnknownUartBaudIndex = 13;
std::int32_t decodeUartBaudIndex(const ConfigBlock& block, std::int32_t crystalMHz);
void encodeUartBaudIndex(ConfigBlock& block, std::int32_t baudIndex, std::int32_t crystalMHz);

struct UartFraming {
    std::int32_t startBitIndex = 0;  // 0 low, 1 high
    std::int32_t parityIndex = 0;    // 0 none, 1 odd, 2 even
    std::int32_t stopBitsIndex = 0;  // 0 one, 1 two
    friend bool operator==(const UartFraming&, const UartFraming&) = default;
};
UartFraming decodeUartControl(const ConfigBlock& block);
void encodeUartControl(ConfigBlock& block, const UartFraming& framing);

// Auxiliary channel count (1, 2, 4, 8, 16 at indexes 0..4) as a bit mask of
// index bits. Reading gives the number of significant bits, which may exceed 4.
// An index outside 0..4 leaves the byte as it is.
std::int32_t decodeAuxChannelCountIndex(const ConfigBlock& block);
void encodeAuxChannelCountIndex(ConfigBlock& block, std::int32_t countIndex);

// Carrier-detect threshold in half-dB steps around -74 dBm, as a signed byte,
// truncated toward -74 dBm. Values beyond the byte store its nearest end, so
// the top of the range, -10.0 dBm, stores -10.5 dBm.
double decodeCarrierThresholdDbm(const ConfigBlock& block);
void encodeCarrierThresholdDbm(ConfigBlock& block, double thresholdDbm);

// Clock tick as mantissa m and exponent e: tick = m x 2^(e+7) / crystal us.
// The mantissa is rounded up so a stored tick is never shorter than asked.
// Ticks beyond what the fields hold store the longest tick: e 7, m 255.
std::int32_t decodeTickUs(const ConfigBlock& block, std::int32_t crystalMHz);
void encodeTickUs(ConfigBlock& block, std::int32_t tickUs, std::int32_t crystalMHz);

// Timeouts counted in whole ticks, rounded up when stored.
std::int32_t decodeTimeoutMs(const ConfigBlock& block, std::size_t offset, std::int32_t tickUs);
void encodeTimeoutMs(ConfigBlock& block, std::size_t offset, std::int32_t timeMs,
                     std::int32_t tickUs);

// The sleep period the module derives its wake-up from, written with every
// encode and never read: ratio x wake slot x crystal x tick / 768000, of
// which the word keeps the low 16 bits; byte 100 is the constant 6.
void encodeSleepPeriod(ConfigBlock& block, std::int32_t sleepRatio, std::int32_t wakeSlotTicks,
                       std::int32_t crystalMHz, std::int32_t tickUs);

// Byte 68: ACT pin function in bits 0-1, UART wake-up byte count in bits 2-7.
// A function index outside 0..3 leaves bits 0-1 as they are.
struct PinAndWake {
    std::int32_t actPinFunction = 0;
    std::int32_t uartWakeBytes = 0;
    friend bool operator==(const PinAndWake&, const PinAndWake&) = default;
};
PinAndWake decodePinAndWake(const ConfigBlock& block);
void encodePinAndWake(ConfigBlock& block, const PinAndWake& value);

// Byte 72: bit 0 ACT level inverted, bit 1 append routing information; the
// other six bits belong to the module and are carried. A flag reads back as
// the bit's own value, so routing information reads as 2.
struct OptionFlags {
    std::int32_t actInverted = 0;
    std::int32_t appendRouteInfo = 0;
    friend bool operator==(const OptionFlags&, const OptionFlags&) = default;
};
OptionFlags decodeOptionFlags(const ConfigBlock& block);
void encodeOptionFlags(ConfigBlock& block, const OptionFlags& flags);

// Serial number, bytes 38..43, as hex byte text. A short text fills the most
// significant bytes and the rest become 0.
std::string decodeSerialText(const ConfigBlock& block);
void encodeSerialText(ConfigBlock& block, std::string_view text);
// Adds one to the 48-bit big-endian counter; FF FF FF FF FF FF wraps to zero.
void incrementSerial(ConfigBlock& block);

// Command slots 0..3 (ACK, read host address, broadcast 1, broadcast 2): a
// length byte and 48 data bytes. A length above 48 shows the 48 bytes there
// are. Data bytes beyond a new length keep what they held.
std::string decodeCommandSlot(const ConfigBlock& block, std::size_t slot);
void encodeCommandSlot(ConfigBlock& block, std::size_t slot, std::string_view text);

}  // namespace dl250t
