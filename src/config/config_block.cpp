#include "config/config_block.hpp"

#include <algorithm>

#include "config/crc16.hpp"

namespace dl250t {

std::optional<Outcome> blockCheckFailure(BlockCheck check) {
    switch (check) {
        case BlockCheck::Ok:
            return std::nullopt;
        case BlockCheck::LengthMismatch:
            return Outcome::LengthMismatch;
        case BlockCheck::KeywordMismatch:
            return Outcome::KeywordMismatch;
        case BlockCheck::CrcMismatch:
            return Outcome::CrcMismatch;
    }
    return std::nullopt;
}

std::string_view blockCheckName(BlockCheck check) {
    switch (check) {
        case BlockCheck::Ok:
            return "Ok";
        case BlockCheck::LengthMismatch:
            return "LengthMismatch";
        case BlockCheck::KeywordMismatch:
            return "KeywordMismatch";
        case BlockCheck::CrcMismatch:
            return "CrcMismatch";
    }
    return {};
}

std::uint16_t storedCrc(const ConfigBlock& block) {
    return static_cast<std::uint16_t>(block[block::kCrc] | (block[block::kCrc + 1] << 8));
}

void stampHeaderAndCrc(ConfigBlock& block) {
    std::copy(kWriteHeader.begin(), kWriteHeader.end(), block.bytes.begin() + block::kHeader);
    const std::uint16_t crc = computeCrc(block.payload());
    block[block::kCrc] = static_cast<std::uint8_t>(crc & 0xFF);
    block[block::kCrc + 1] = static_cast<std::uint8_t>(crc >> 8);
}

BlockCheck validateBlock(const ConfigBlock& block, std::size_t receivedCount) {
    if (receivedCount != kBlockSize) {
        return BlockCheck::LengthMismatch;
    }
    if (!std::equal(kBlockKeyword.begin(), kBlockKeyword.end(),
                    block.bytes.begin() + block::kIdentity)) {
        return BlockCheck::KeywordMismatch;
    }
    if (computeCrc(block.payload()) != storedCrc(block)) {
        return BlockCheck::CrcMismatch;
    }
    return BlockCheck::Ok;
}

void scrambleBytes(std::span<std::uint8_t> bytes) {
    for (std::uint8_t& b : bytes) {
        b ^= kFileKey;
    }
}

ConfigBlock makeInitialWorkingBlock() {
    ConfigBlock block;
    std::copy(kDefaultIdentity.begin(), kDefaultIdentity.end(),
              block.bytes.begin() + block::kIdentity);
    block[block::kVersionMinor] = 6;
    block[block::kVersionMajor] = 1;
    return block;
}

}  // namespace dl250t
