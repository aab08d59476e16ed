#pragma once

#include <string_view>

namespace dl250t {

// One module, one writer: a window in auto-configure and a station on the
// same machine both see every port arrive, and only the program that claims
// the port first writes its module. The other leaves it alone. A claim lasts
// until it is released or its program ends, however it ends, so a crash
// never leaves a port claimed. Ports are named as the engine names them
// ("COM3"), which every program on the machine agrees on.
class PortClaims {
public:
    enum class Claim {
        Taken,        // this program holds the port from now on
        AlreadyHeld,  // this program held it already
        Refused,      // another program holds it
    };

    virtual ~PortClaims() = default;

    // A claim that cannot be checked at all (the system offers no place for
    // it) is Taken: coordination must never stop production.
    virtual Claim claim(std::string_view port) = 0;

    // Gives up this program's claim; a port it does not hold needs nothing.
    virtual void release(std::string_view port) = 0;
};

}  // namespace dl250t
