#pragma once

#include <string>

namespace dl250t {

// A serial port that appeared or went away, named as the tool names ports
// ("COM3"). Hot-plug sources deliver these; the controller handles them.
// WatchLost, with no port name, says that a source can no longer see ports
// come and go (the port directory is gone, refused or cannot be watched),
// so that the operator learns why plug-ins go unnoticed.
struct PortEvent {
    enum class Kind { Arrival, Removal, WatchLost };
    Kind kind = Kind::Arrival;
    std::string portName;

    friend bool operator==(const PortEvent&, const PortEvent&) = default;
};

}  // namespace dl250t
