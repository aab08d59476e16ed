#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "config/outcome.hpp"

namespace dl250t {

inline constexpr std::size_t kBlockSize = 518;

// Byte offsets of the regions of a configuration block. Multi-byte values are
// little-endian, except the serial number, which is a big-endian counter.
namespace block {
inline constexpr std::size_t kHeader = 0;
inline constexpr std::size_t kHeaderSize = 4;
inline constexpr std::size_t kPayloadBegin = 4;
inline constexpr std::size_t kPayloadEnd = 516;  // one past the last payload byte
inline constexpr std::size_t kIdentity = 4;
inline constexpr std::size_t kIdentitySize = 32;
inline constexpr std::size_t kKeywordSize = 8;
inline constexpr std::size_t kTypeChar = 28;
inline constexpr std::size_t kPowerClassChar = 30;
inline constexpr std::size_t kBandChar = 31;
inline constexpr std::size_t kBandSecondChar = 32;
inline constexpr std::size_t kCrystalChar = 34;
inline constexpr std::size_t kVersionMinor = 36;
inline constexpr std::size_t kVersionMajor = 37;
inline constexpr std::size_t kSerial = 38;
inline constexpr std::size_t kSerialSize = 6;
inline constexpr std::size_t kNetworkIdLow = 44;
inline constexpr std::size_t kSyncWord = 45;
inline constexpr std::size_t kFrequencyWord = 47;
inline constexpr std::size_t kDefaultRate = 50;
inline constexpr std::size_t kRateUpper = 51;
inline constexpr std::size_t kRateLower = 52;
inline constexpr std::size_t kCarrierThreshold = 53;
inline constexpr std::size_t kMainChannel = 54;
inline constexpr std::size_t kAuxChannelStart = 55;
inline constexpr std::size_t kAuxChannelSpacing = 56;
inline constexpr std::size_t kAuxChannelMask = 57;
inline constexpr std::size_t kRfPower = 58;
inline constexpr std::size_t kSleepEnabled = 59;
inline constexpr std::size_t kDeviceCount = 60;
inline constexpr std::size_t kFlowControl = 61;
inline constexpr std::size_t kSleepRatio = 62;
inline constexpr std::size_t kHostBootTime = 64;
inline constexpr std::size_t kResponseTimeout = 66;
inline constexpr std::size_t kPinAndWake = 68;
inline constexpr std::size_t kUartMantissa = 69;
inline constexpr std::size_t kUartExponent = 70;
inline constexpr std::size_t kUartControl = 71;
inline constexpr std::size_t kOptionFlags = 72;
inline constexpr std::size_t kFrameStartSync = 73;
inline constexpr std::size_t kFrameEndSync = 74;
inline constexpr std::size_t kFrameMode = 75;
inline constexpr std::size_t kAddressLength = 76;
inline constexpr std::size_t kDownlinkAddressOffset = 77;
inline constexpr std::size_t kUplinkAddressOffset = 78;
inline constexpr std::size_t kBroadcastWildcard = 79;
inline constexpr std::size_t kMulticastWildcard = 80;
inline constexpr std::size_t kLengthOffset = 81;
inline constexpr std::size_t kLengthCorrection = 82;
inline constexpr std::size_t kFrameCheck = 83;
inline constexpr std::size_t kTickMantissa = 84;
inline constexpr std::size_t kTickExponent = 85;
inline constexpr std::size_t kAutoSleepTimeout = 86;
inline constexpr std::size_t kUplinkTimeout = 88;
inline constexpr std::size_t kDownlinkTimeout = 90;
inline constexpr std::size_t kSyncDuration = 92;
inline constexpr std::size_t kBeaconDuration = 94;
inline constexpr std::size_t kWakeSlot = 96;
inline constexpr std::size_t kSleepPeriod = 98;
inline constexpr std::size_t kSleepPeriodMarker = 100;
inline constexpr std::size_t kSleepCompensation = 101;
inline constexpr std::size_t kSyncInterval = 102;
inline constexpr std::size_t kRepeatEnabled = 104;
inline constexpr std::size_t kSlotLengths = 105;  // four length bytes, 105..108
inline constexpr std::size_t kSlotData = 109;     // four slots of 48 bytes, 109..300
inline constexpr std::size_t kSlotCount = 4;
inline constexpr std::size_t kSlotCapacity = 48;
inline constexpr std::size_t kReserved = 301;  // 301..515, carried untouched
inline constexpr std::size_t kCrc = 516;
}  // namespace block

inline constexpr std::string_view kBlockKeyword = "Lorandix";
inline constexpr std::string_view kWriteHeader = "ATW0";
inline constexpr std::uint8_t kFileKey = 0xA7;

// One module configuration: 4 header bytes, 512 payload bytes covered by the
// CRC, and the CRC itself. A plain value; copying it copies all 518 bytes.
struct ConfigBlock {
    std::array<std::uint8_t, kBlockSize> bytes{};

    std::uint8_t& operator[](std::size_t i) { return bytes[i]; }
    const std::uint8_t& operator[](std::size_t i) const { return bytes[i]; }
    std::uint8_t* data() { return bytes.data(); }
    const std::uint8_t* data() const { return bytes.data(); }
    static constexpr std::size_t size() { return kBlockSize; }
    std::span<std::uint8_t, kBlockSize> span() { return bytes; }
    std::span<const std::uint8_t, kBlockSize> span() const { return bytes; }
    std::span<const std::uint8_t> payload() const {
        return std::span<const std::uint8_t>(bytes).subspan(
            block::kPayloadBegin, block::kPayloadEnd - block::kPayloadBegin);
    }

    friend bool operator==(const ConfigBlock&, const ConfigBlock&) = default;
};

// Results of validating a received or loaded block, in the order the checks run.
enum class BlockCheck { Ok, LengthMismatch, KeywordMismatch, CrcMismatch };

// The outcome callers report for a failed check; nothing for Ok.
std::optional<Outcome> blockCheckFailure(BlockCheck check);
std::string_view blockCheckName(BlockCheck check);

// The CRC stored at bytes 516..517 (little-endian).
std::uint16_t storedCrc(const ConfigBlock& block);

// Writes "ATW0" into bytes 0..3 and the CRC of the payload into 516..517.
void stampHeaderAndCrc(ConfigBlock& block);

// Length, keyword, CRC, stopping at the first failure. The header is never examined.
BlockCheck validateBlock(const ConfigBlock& block, std::size_t receivedCount);

// XORs every byte with the file key; applying it twice restores the bytes.
void scrambleBytes(std::span<std::uint8_t> bytes);

// The block a fresh start works on: zero-filled, with the default identity
// string and version 1.6.
inline constexpr std::string_view kDefaultIdentity = "Lorandix AMR Ver Moudle U 13306";
ConfigBlock makeInitialWorkingBlock();

}  // namespace dl250t
