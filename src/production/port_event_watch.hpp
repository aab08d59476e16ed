#pragma once

#include <optional>
#include <vector>

#include "hotplug/port_event.hpp"

namespace dl250t {

// Serial ports coming and going, for a program without a window: the
// production station waits here for modules to be plugged in. A stop from
// outside that the program only remembers ends a wait; one that arrives
// while the program is busy ends the next wait at once.
class PortEventWatch {
public:
    virtual ~PortEventWatch() = default;

    // Blocks until ports have come or gone, or a stop is remembered. The
    // events that arrived (none when a stop ended the wait); nothing when
    // waiting itself failed.
    virtual std::optional<std::vector<PortEvent>> wait() = 0;

    // Ends the wait in hand, or else the next one, with no events, from any
    // thread: a program that waits for something besides ports (a scanner's
    // codes) is woken for it without polling.
    virtual void wake() = 0;
};

}  // namespace dl250t
