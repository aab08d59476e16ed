#pragma once

#include <memory>
#include <string>

#include "production/port_event_watch.hpp"

namespace dl250t {

// Starts every source of port events this system offers: the device manager
// and the port directory on Linux, device notifications on Windows. A stop
// that SignalCleanup only remembers (OnStop::RaiseFlag: SIGINT or SIGTERM,
// Ctrl+C or Ctrl+Break) ends a wait. Nothing, and why in `problem`, when none
// could start.
std::unique_ptr<PortEventWatch> startPortEventWatch(std::string& problem);

}  // namespace dl250t
