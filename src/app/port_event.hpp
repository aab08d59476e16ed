#pragma once

#include <string>

namespace dl250t {

// A serial port that appeared or went away, named as the tool names ports
// ("COM3"). Hot-plug sources deliver these; the controller handles them.
struct PortEvent {
    enum class Kind { Arrival, Removal };
    Kind kind = Kind::Arrival;
    std::string portName;

    friend bool operator==(const PortEvent&, const PortEvent&) = default;
};

}  // namespace dl250t
