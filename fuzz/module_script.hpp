#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <utility>

#include "support/scripted_serial_port.hpp"

namespace dl250t::fuzzing {

// A fuzz input as the behaviour of a module behind a scripted port.
//
// Byte 0 chooses a port call that fails every time: with bit 7 set, the call
// numbered by the low four bits (open first, close last; 10..15 none).
// Then come the module's replies, one per read, in order: a kind byte (bit 0:
// the platform reports an error), a little-endian 16-bit length and that
// many bytes, the last reply cut short where the input ends.
inline void scriptModule(std::span<const std::uint8_t> input, testing::ScriptedDevice& device) {
    if (input.empty()) {
        return;
    }
    const std::uint8_t failure = input[0];
    if ((failure & 0x80) != 0 && (failure & 0x0F) <= static_cast<int>(testing::PortCall::Close)) {
        device.failingCall = static_cast<testing::PortCall>(failure & 0x0F);
    }
    std::size_t pos = 1;
    while (pos < input.size()) {
        const bool platformError = (input[pos] & 0x01) != 0;
        std::size_t length = 0;
        if (pos + 1 < input.size()) {
            length = input[pos + 1];
        }
        if (pos + 2 < input.size()) {
            length |= std::size_t{input[pos + 2]} << 8;
        }
        pos = std::min(pos + 3, input.size());
        length = std::min(length, input.size() - pos);
        testing::ScriptedReply reply;
        reply.platformError = platformError;
        reply.bytes.assign(input.begin() + static_cast<std::ptrdiff_t>(pos),
                           input.begin() + static_cast<std::ptrdiff_t>(pos + length));
        device.replies.push_back(std::move(reply));
        pos += length;
    }
}

// Whether the script refuses one of the calls that open a link (a failed
// purge does not stop an open).
inline bool openFailsByScript(const testing::ScriptedDevice& device) {
    return device.failingCall && *device.failingCall < testing::PortCall::Purge;
}

}  // namespace dl250t::fuzzing
