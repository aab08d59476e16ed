#pragma once

#include <filesystem>
#include <memory>
#include <vector>

#include "hotplug/port_event.hpp"

namespace dl250t {

// A source of serial-port arrivals and removals that a window's event loop can
// watch without threads: its descriptor becomes readable when events wait,
// and drainEvents() takes them all without blocking.
class PortEventSource {
public:
    virtual ~PortEventSource() = default;
    virtual int descriptor() const = 0;
    virtual std::vector<PortEvent> drainEvents() = 0;
};

// Starts every hot-plug source this machine offers: the device manager's tty
// monitor and the watch on the port directory. Empty when none could start.
std::vector<std::unique_ptr<PortEventSource>> startHotPlugSources(
    const std::filesystem::path& portDirectory);

}  // namespace dl250t
