#pragma once

#include <ostream>

#include "hotplug/port_event.hpp"

namespace dl250t {

// Readable port events in test failures: "arrival COM3".
inline void PrintTo(const PortEvent& event, std::ostream* out) {
    switch (event.kind) {
        case PortEvent::Kind::Arrival:
            *out << "arrival " << event.portName;
            return;
        case PortEvent::Kind::Removal:
            *out << "removal " << event.portName;
            return;
        case PortEvent::Kind::WatchLost:
            *out << "watch lost";
            return;
    }
}

}  // namespace dl250t
