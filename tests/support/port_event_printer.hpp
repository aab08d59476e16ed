#pragma once

#include <ostream>

#include "app/port_event.hpp"

namespace dl250t {

// Readable port events in test failures: "arrival COM3".
inline void PrintTo(const PortEvent& event, std::ostream* out) {
    *out << (event.kind == PortEvent::Kind::Arrival ? "arrival " : "removal ") << event.portName;
}

}  // namespace dl250t
