#pragma once

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace dl250t {

// A way for the simulated module to misbehave. Written as text on the
// command line: "none", "silent", "short:N", "pause:OFFSET:MS", "bad-crc",
// "bad-keyword", "no-ack", "short-ack", "wrong-ack", "garbage", "hangup:OFFSET",
// "bursts:SIZE:MS", "corrupt-store".
// "corrupt-store".
struct SimulatedFault {
    enum class Kind {
        None,
        Silent,      // never answers anything
        Short,       // sends only the first `offset` bytes of the block
        Pause,       // stops for `pause` after `offset` bytes of an answer
        BadCrc,      // the block's CRC is wrong
        BadKeyword,  // the block keyword is wrong (the CRC matches it)
        NoAck,       // stores a written block but does not acknowledge it
        ShortAck,    // acknowledges with "ATO"
        WrongAck,    // acknowledges with "ATER"
        Garbage,     // random bytes instead of the block
        Hangup,      // sends `offset` bytes of an answer, then the line goes dead
        Bursts,      // sends answers `offset` bytes at a time, `pause` apart, as USB
                     // adapters deliver them (an FTDI chip: 62 bytes, about 5 ms)
        // acknowledges a written block but stores it with one setting byte
        // changed (and a CRC to match), as a module with a weak cell might
        CorruptStore,
    };

    Kind kind = Kind::None;
    std::size_t offset = 0;
    std::chrono::milliseconds pause{0};

    friend bool operator==(const SimulatedFault&, const SimulatedFault&) = default;
};

std::optional<SimulatedFault> parseSimulatedFault(std::string_view text);
std::string simulatedFaultText(const SimulatedFault& fault);

}  // namespace dl250t
