#pragma once

#include <cstddef>
#include <deque>
#include <optional>

#include "hotplug/port_event.hpp"

namespace dl250t {

// Port events waiting for the command in hand to end, in order and at most
// one for each port: an arrival and the removal of the same port cancel out
// (there is no module left to write), a removal followed by a new arrival
// leaves the arrival (the module there now is the one to write), and a port
// announced again while its arrival waits is still written once. A lost watch
// waits once however often it is told.
class PortEventQueue {
public:
    void push(const PortEvent& event);
    std::optional<PortEvent> pop();
    std::size_t size() const { return events_.size(); }
    bool empty() const { return events_.empty(); }

private:
    std::deque<PortEvent> events_;
};

}  // namespace dl250t
