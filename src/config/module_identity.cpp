#include "config/module_identity.hpp"

#include <array>

#include "config/field_codec.hpp"
#include "config/hex_text.hpp"
#include "config/rf_power_lists.hpp"

namespace dl250t {

namespace {

// The identity texts are zero-terminated: a zero character ends them there.
std::string untilZero(std::string text) {
    const auto zero = text.find('\0');
    if (zero != std::string::npos) {
        text.resize(zero);
    }
    return text;
}

char at(const ConfigBlock& block, std::size_t offset) {
    return static_cast<char>(block[offset]);
}

struct BandEntry {
    char character;
    char firstDigit;
    std::int32_t baseMHz;
};

constexpr std::array<BandEntry, 5> kBands = {{
    {'1', '9', 915},
    {'2', '9', 922},
    {'3', '4', 433},
    {'6', '8', 868},
    {'7', '4', 470},
}};

}  // namespace

std::string identityName(const ConfigBlock& block) {
    const auto* begin = reinterpret_cast<const char*>(block.data() + block::kIdentity);
    return untilZero(std::string(begin, block::kIdentitySize));
}

std::string identityVersion(const ConfigBlock& block) {
    return std::to_string(block[block::kVersionMajor]) + "." +
           std::to_string(block[block::kVersionMinor]);
}

std::string identityType(const ConfigBlock& block) {
    switch (at(block, block::kTypeChar)) {
        case 'N':
            return "NODE";
        case 'R':
            return "ROOT";
        default:
            return "UNKNOWN";
    }
}

std::string identityMaxPower(const ConfigBlock& block) {
    return untilZero(std::string(1, at(block, block::kPowerClassChar)) + "0dBm");
}

void decodeIdentity(const ConfigBlock& block, ModuleSettings& settings, ModuleIdentity& identity) {
    settings.moduleName = identityName(block);
    settings.versionText = identityVersion(block);
    settings.typeText = identityType(block);
    settings.maxPowerText = identityMaxPower(block);
    identity.twentyDbmClass = at(block, block::kPowerClassChar) == '2';

    const char band = at(block, block::kBandChar);
    for (const BandEntry& entry : kBands) {
        if (entry.character == band) {
            const std::string text{entry.firstDigit, band, at(block, block::kBandSecondChar)};
            settings.bandText = untilZero(text + "MHz");
            identity.bandBaseMHz = entry.baseMHz;
        }
    }

    identity.crystalMHz = at(block, block::kCrystalChar) == '7' ? 27 : 26;
    settings.serialText = decodeSerialText(block);
}

std::vector<std::string> rfPowerItems(const ModuleIdentity& identity) {
    const auto& items = identity.twentyDbmClass ? kRfPowerItems20Dbm : kRfPowerItems10Dbm;
    return {items.begin(), items.end()};
}

std::string defaultSerialText(std::int64_t secondsSince1970) {
    const auto seconds = static_cast<std::uint32_t>(secondsSince1970);
    const std::array<std::uint8_t, 6> bytes = {static_cast<std::uint8_t>(seconds >> 24),
                                               static_cast<std::uint8_t>(seconds >> 16),
                                               static_cast<std::uint8_t>(seconds >> 8),
                                               static_cast<std::uint8_t>(seconds),
                                               0,
                                               0};
    return formatHexBytes(bytes);
}

}  // namespace dl250t
