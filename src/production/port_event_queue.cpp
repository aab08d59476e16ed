#include "production/port_event_queue.hpp"

#include <algorithm>

#include "link/port_name.hpp"

namespace dl250t {

void PortEventQueue::push(const PortEvent& event) {
    const auto samePort = [&](const PortEvent& waiting) {
        const bool watch = waiting.kind == PortEvent::Kind::WatchLost;
        if (watch || event.kind == PortEvent::Kind::WatchLost) {
            return watch && event.kind == PortEvent::Kind::WatchLost;
        }
        return portNumberFromName(waiting.portName) == portNumberFromName(event.portName);
    };
    const auto waiting = std::find_if(events_.begin(), events_.end(), samePort);
    if (waiting == events_.end()) {
        events_.push_back(event);
    } else if (waiting->kind != event.kind) {
        events_.erase(waiting);
        if (event.kind == PortEvent::Kind::Arrival) {
            events_.push_back(event);
        }
    }
}

std::optional<PortEvent> PortEventQueue::pop() {
    if (events_.empty()) {
        return std::nullopt;
    }
    PortEvent event = events_.front();
    events_.pop_front();
    return event;
}

}  // namespace dl250t
