#include "config/field_codec.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <span>

#include "config/encoding_tables.hpp"
#include "config/hex_text.hpp"

namespace dl250t {

std::int32_t decodeByte(const ConfigBlock& block, std::size_t offset) {
    return block[offset];
}

void encodeByte(ConfigBlock& block, std::size_t offset, std::int64_t value) {
    block[offset] = static_cast<std::uint8_t>(value & 0xFF);
}

std::int32_t decodeWord(const ConfigBlock& block, std::size_t offset) {
    return block[offset] | (block[offset + 1] << 8);
}

void encodeWord(ConfigBlock& block, std::size_t offset, std::int64_t value) {
    block[offset] = static_cast<std::uint8_t>(value & 0xFF);
    block[offset + 1] = static_cast<std::uint8_t>((value >> 8) & 0xFF);
}

double decodeFrequencyMHz(const ConfigBlock& block, std::int32_t crystalMHz) {
    const std::int64_t word = block[block::kFrequencyWord] |
                              (block[block::kFrequencyWord + 1] << 8) |
                              (block[block::kFrequencyWord + 2] << 16);
    return static_cast<double>(word) * crystalMHz / 65536.0;
}

std::int64_t frequencyWord(double frequencyMHz, std::int32_t crystalMHz) {
    const double scaled = std::trunc(frequencyMHz * 65536.0 / crystalMHz + 0.5);
    // The frequency arrives inside its band, far from either end of the word;
    // the bounds only keep a value that never should reach here from wrapping.
    return scaled >= 0.0 ? static_cast<std::int64_t>(std::min(scaled, 16777215.0)) : 0;
}

void encodeFrequencyMHz(ConfigBlock& block, double frequencyMHz, std::int32_t crystalMHz) {
    const std::int64_t word = frequencyWord(frequencyMHz, crystalMHz);
    block[block::kFrequencyWord] = static_cast<std::uint8_t>(word & 0xFF);
    block[block::kFrequencyWord + 1] = static_cast<std::uint8_t>((word >> 8) & 0xFF);
    block[block::kFrequencyWord + 2] = static_cast<std::uint8_t>((word >> 16) & 0xFF);
}

std::int32_t decodeNetworkId(const ConfigBlock& block) {
    const std::uint16_t syncWord = static_cast<std::uint16_t>(decodeWord(block, block::kSyncWord));
    // Entry 255 is never compared: it and every unknown word read back as 255.
    const auto searched = std::span(kNetworkSyncWords).first(255);
    const auto found = std::find(searched.begin(), searched.end(), syncWord);
    const std::int32_t high = static_cast<std::int32_t>(found - searched.begin());
    return high * 256 + block[block::kNetworkIdLow];
}

void encodeNetworkId(ConfigBlock& block, std::int32_t networkId) {
    const std::uint16_t id = static_cast<std::uint16_t>(networkId & 0xFFFF);
    block[block::kNetworkIdLow] = static_cast<std::uint8_t>(id & 0xFF);
    encodeWord(block, block::kSyncWord, kNetworkSyncWords[id >> 8]);
}

std::int32_t decodeUartBaudIndex(const ConfigBlock& block, std::int32_t crystalMHz) {
    const std::uint8_t mantissa = block[block::kUartMantissa];
    const std::uint8_t exponent = block[block::kUartExponent];
    for (std::size_t i = 0; i < kUartRates.size(); ++i) {
        if (uartMantissa(kUartRates[i], crystalMHz) == mantissa &&
            kUartRates[i].exponent == exponent) {
            return static_cast<std::int32_t>(i);
        }
    }
    return kUnknownUartBaudIndex;
}

void encodeUartBaudIndex(ConfigBlock& block, std::int32_t baudIndex, std::int32_t crystalMHz) {
    if (baudIndex < 0 || baudIndex >= static_cast<std::int32_t>(kUartRates.size())) {
        return;
    }
    const UartRate& rate = kUartRates[static_cast<std::size_t>(baudIndex)];
    block[block::kUartMantissa] = uartMantissa(rate, crystalMHz);
    block[block::kUartExponent] = rate.exponent;
}

UartFraming decodeUartControl(const ConfigBlock& block) {
    const std::uint8_t b = block[block::kUartControl];
    UartFraming framing;
    framing.startBitIndex = b & 0x01;
    framing.stopBitsIndex = (b >> 2) & 0x01;
    framing.parityIndex = (b & 0x08) == 0 ? 0 : ((b & 0x20) != 0 ? 1 : 2);
    return framing;
}

void encodeUartControl(ConfigBlock& block, const UartFraming& framing) {
    std::uint8_t b = framing.parityIndex == 0 ? 0x80 : (framing.parityIndex == 1 ? 0xB8 : 0x98);
    b |= framing.startBitIndex != 0 ? 0x01 : 0x02;
    if (framing.stopBitsIndex != 0) {
        b |= 0x04;
    }
    block[block::kUartControl] = b;
}

std::int32_t decodeAuxChannelCountIndex(const ConfigBlock& block) {
    return std::bit_width(block[block::kAuxChannelMask]);
}

void encodeAuxChannelCountIndex(ConfigBlock& block, std::int32_t countIndex) {
    if (countIndex < 0 || countIndex > 4) {
        return;
    }
    block[block::kAuxChannelMask] = static_cast<std::uint8_t>((1 << countIndex) - 1);
}

double decodeCarrierThresholdDbm(const ConfigBlock& block) {
    const auto code = static_cast<std::int8_t>(block[block::kCarrierThreshold]);
    return code * 0.5 - 74.0;
}

void encodeCarrierThresholdDbm(ConfigBlock& block, double thresholdDbm) {
    const double code = std::trunc((thresholdDbm + 74.0) * 2.0);
    const double clamped = std::isnan(code) ? 0.0 : std::clamp(code, -128.0, 127.0);
    block[block::kCarrierThreshold] =
        static_cast<std::uint8_t>(static_cast<std::int8_t>(static_cast<int>(clamped)));
}

std::int32_t decodeTickUs(const ConfigBlock& block, std::int32_t crystalMHz) {
    const int exponent = block[block::kTickExponent] >> 5;
    const std::int64_t mantissa = block[block::kTickMantissa];
    return static_cast<std::int32_t>((mantissa << exponent) * 128 / crystalMHz);
}

namespace {

constexpr std::int64_t ceilShift(std::int64_t value, int shift) {
    return (value + (std::int64_t{1} << shift) - 1) >> shift;
}

}  // namespace

void encodeTickUs(ConfigBlock& block, std::int32_t tickUs, std::int32_t crystalMHz) {
    const std::int64_t x = std::int64_t{crystalMHz} * std::max<std::int32_t>(tickUs, 1);
    const std::int64_t n = ceilShift(x, 15);
    int exponent = 0;
    if (n > 1) {
        exponent = std::bit_width(static_cast<std::uint64_t>(n - 1));  // smallest e with 2^e >= n
    }
    std::int64_t mantissa = ceilShift(x, exponent + 7);
    // Rounding up can reach 256, one past the byte: the next exponent holds it.
    if (mantissa > 255) {
        ++exponent;
        mantissa = ceilShift(x, exponent + 7);
    }
    if (exponent > 7) {
        exponent = 7;
        mantissa = 255;
    }
    block[block::kTickMantissa] = static_cast<std::uint8_t>(mantissa);
    block[block::kTickExponent] = static_cast<std::uint8_t>((exponent << 5) | 0x1E);
}

std::int32_t decodeTimeoutMs(const ConfigBlock& block, std::size_t offset, std::int32_t tickUs) {
    const std::int64_t ticks = decodeWord(block, offset);
    return static_cast<std::int32_t>(ticks * tickUs / 1000);
}

void encodeTimeoutMs(ConfigBlock& block, std::size_t offset, std::int32_t timeMs,
                     std::int32_t tickUs) {
    const std::int64_t tick = std::max<std::int32_t>(tickUs, 1);
    const std::int64_t ticks = (std::int64_t{timeMs} * 1000 + tick - 1) / tick;
    encodeWord(block, offset, ticks);
}

void encodeSleepPeriod(ConfigBlock& block, std::int32_t sleepRatio, std::int32_t wakeSlotTicks,
                       std::int32_t crystalMHz, std::int32_t tickUs) {
    // Each factor is held to what its own field can store, which keeps the
    // product below 2^55.
    const std::int64_t ratio = std::clamp<std::int64_t>(sleepRatio, 0, 0xFFFF);
    const std::int64_t slot = std::clamp<std::int64_t>(wakeSlotTicks, 0, 0xFFFF);
    const std::int64_t tick = std::clamp<std::int64_t>(tickUs, 0, 160000);
    const std::int64_t period = ratio * slot * crystalMHz * tick / 768000;
    encodeWord(block, block::kSleepPeriod, period);
    block[block::kSleepPeriodMarker] = 6;
}

PinAndWake decodePinAndWake(const ConfigBlock& block) {
    const std::uint8_t b = block[block::kPinAndWake];
    return {b & 0x03, b >> 2};
}

void encodePinAndWake(ConfigBlock& block, const PinAndWake& value) {
    std::uint8_t b = block[block::kPinAndWake];
    if (value.actPinFunction >= 0 && value.actPinFunction <= 3) {
        b = static_cast<std::uint8_t>((b & ~0x03) | value.actPinFunction);
    }
    b = static_cast<std::uint8_t>((b & 0x03) | ((value.uartWakeBytes & 0x3F) << 2));
    block[block::kPinAndWake] = b;
}

OptionFlags decodeOptionFlags(const ConfigBlock& block) {
    const std::uint8_t b = block[block::kOptionFlags];
    return {b & 0x01, b & 0x02};
}

void encodeOptionFlags(ConfigBlock& block, const OptionFlags& flags) {
    std::uint8_t b = block[block::kOptionFlags] & 0xFC;
    if (flags.actInverted != 0) {
        b |= 0x01;
    }
    if (flags.appendRouteInfo != 0) {
        b |= 0x02;
    }
    block[block::kOptionFlags] = b;
}

std::string decodeSerialText(const ConfigBlock& block) {
    return formatHexBytes(block.span().subspan(block::kSerial, block::kSerialSize));
}

void encodeSerialText(ConfigBlock& block, std::string_view text) {
    const auto serial = block.span().subspan(block::kSerial, block::kSerialSize);
    const std::size_t count = parseHexBytes(text, serial, block::kSerialSize);
    std::fill(serial.begin() + static_cast<std::ptrdiff_t>(count), serial.end(), 0);
}

void incrementSerial(ConfigBlock& block) {
    for (std::size_t i = block::kSerial + block::kSerialSize; i-- > block::kSerial;) {
        if (++block[i] != 0) {
            return;
        }
    }
}

namespace {

std::span<std::uint8_t> slotData(ConfigBlock& block, std::size_t slot) {
    return block.span().subspan(block::kSlotData + slot * block::kSlotCapacity,
                                block::kSlotCapacity);
}

}  // namespace

std::string decodeCommandSlot(const ConfigBlock& block, std::size_t slot) {
    const std::size_t length =
        std::min<std::size_t>(block[block::kSlotLengths + slot], block::kSlotCapacity);
    return formatHexBytes(
        block.span().subspan(block::kSlotData + slot * block::kSlotCapacity, length));
}

void encodeCommandSlot(ConfigBlock& block, std::size_t slot, std::string_view text) {
    const std::size_t count = parseHexBytes(text, slotData(block, slot), block::kSlotCapacity);
    block[block::kSlotLengths + slot] = static_cast<std::uint8_t>(count);
}

}  // namespace dl250t
