#pragma once

#include <algorithm>
#include <cstddef>

#include "config/config_block.hpp"
#include "fuzz_check.hpp"

namespace dl250t::fuzzing {

// An encode of the form writes the settings and nothing else: header,
// identity, version, reserved bytes and CRC stay as they were, and so do the
// module's own bits of the option byte and the slot data past each slot's
// new length.
inline void checkOnlySettingsChanged(const ConfigBlock& before, const ConfigBlock& after) {
    DL250T_FUZZ_CHECK(std::equal(before.bytes.begin(), before.bytes.begin() + block::kSerial,
                                 after.bytes.begin()));
    DL250T_FUZZ_CHECK(std::equal(before.bytes.begin() + block::kReserved, before.bytes.end(),
                                 after.bytes.begin() + block::kReserved));
    DL250T_FUZZ_CHECK((after[block::kOptionFlags] & 0xFC) == (before[block::kOptionFlags] & 0xFC));
    for (std::size_t slot = 0; slot < block::kSlotCount; ++slot) {
        const std::size_t length = after[block::kSlotLengths + slot];
        DL250T_FUZZ_CHECK(length <= block::kSlotCapacity);
        const auto begin =
            static_cast<std::ptrdiff_t>(block::kSlotData + slot * block::kSlotCapacity);
        const auto kept = begin + static_cast<std::ptrdiff_t>(length);
        const auto end = begin + static_cast<std::ptrdiff_t>(block::kSlotCapacity);
        DL250T_FUZZ_CHECK(std::equal(before.bytes.begin() + kept, before.bytes.begin() + end,
                                     after.bytes.begin() + kept));
    }
}

inline bool hasKeyword(const ConfigBlock& block) {
    return std::equal(kBlockKeyword.begin(), kBlockKeyword.end(),
                      block.bytes.begin() + block::kIdentity);
}

}  // namespace dl250t::fuzzing
