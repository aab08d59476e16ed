#include "hotplug/tty_port_tracker.hpp"

#include <algorithm>
#include <set>
#include <string_view>

namespace dl250t {

namespace fs = std::filesystem;

namespace {

// "ttyUSB0" for the prefix "ttyUSB": the prefix and nothing but digits after it.
bool isNumbered(std::string_view name, std::string_view prefix) {
    if (name.size() <= prefix.size() || !name.starts_with(prefix)) {
        return false;
    }
    const std::string_view digits = name.substr(prefix.size());
    return std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace

fs::path TtyDeviceFacts::deviceFile() const {
    return devnode.empty() ? fs::path("/dev") / sysname : fs::path(devnode);
}

bool isSerialPortDevice(const TtyDeviceFacts& device) {
    if (device.subsystem != "tty") {
        return false;
    }
    if (isNumbered(device.sysname, "ttyUSB") || isNumbered(device.sysname, "ttyACM")) {
        return true;
    }
    if (!isNumbered(device.sysname, "ttyS")) {
        return false;
    }
    // The 8250 driver reserves ttyS0..ttyS<nr_uarts-1> whether or not a chip
    // is there, and probes each: the port's "type" attribute is the UART it
    // found, 0 when nothing answered. That is the one fact that tells a real
    // port from a reserved one. The parent device does not: reserved ports
    // hang below the serial8250 platform device, but since serial-core got
    // its own port devices the direct parent is one of those, and a legacy
    // port that does answer can sit below serial8250 as well. The "port"
    // attribute does not either: it holds the legacy I/O address even when
    // no chip is there. Only when "type" cannot be read does the ancestry
    // decide: a port below serial8250 is taken for a reserved one.
    if (device.uartType) {
        return *device.uartType != 0;
    }
    return device.hasParent && !device.belowSerial8250Platform;
}

TtyPortTracker::TtyPortTracker(NameLookup lookup) : lookup_(std::move(lookup)) {}

std::optional<std::string> TtyPortTracker::nameFor(const TtyDeviceFacts& device) const {
    if (!isSerialPortDevice(device)) {
        return std::nullopt;
    }
    return lookup_(device.deviceFile());
}

void TtyPortTracker::notePresent(const TtyDeviceFacts& device) {
    if (auto name = nameFor(device)) {
        names_[device.deviceFile().string()] = std::move(*name);
    }
}

std::optional<PortEvent> TtyPortTracker::handle(const TtyDeviceFacts& notification) {
    const std::string file = notification.deviceFile().string();
    if (notification.action == "add") {
        // A port that is already there is not plugged in again: repeated
        // "add" notifications (a re-trigger of the device manager) must not
        // set off a write to every module attached.
        if (names_.contains(file)) {
            return std::nullopt;
        }
        auto name = nameFor(notification);
        if (!name) {
            return std::nullopt;
        }
        names_[file] = *name;
        return PortEvent{PortEvent::Kind::Arrival, std::move(*name)};
    }
    if (notification.action == "remove" && notification.subsystem == "tty") {
        const auto known = names_.find(file);
        if (known == names_.end()) {
            return std::nullopt;
        }
        PortEvent event{PortEvent::Kind::Removal, known->second};
        names_.erase(known);
        return event;
    }
    return std::nullopt;
}

std::vector<PortEvent> TtyPortTracker::reconcile(const std::vector<TtyDeviceFacts>& present) {
    std::set<std::string> presentFiles;
    for (const TtyDeviceFacts& device : present) {
        if (isSerialPortDevice(device)) {
            presentFiles.insert(device.deviceFile().string());
        }
    }
    std::vector<PortEvent> events;
    for (auto it = names_.begin(); it != names_.end();) {
        if (presentFiles.contains(it->first)) {
            ++it;
        } else {
            events.push_back({PortEvent::Kind::Removal, it->second});
            it = names_.erase(it);
        }
    }
    for (const TtyDeviceFacts& device : present) {
        const std::string file = device.deviceFile().string();
        if (names_.contains(file)) {
            continue;
        }
        if (auto name = nameFor(device)) {
            names_[file] = *name;
            events.push_back({PortEvent::Kind::Arrival, std::move(*name)});
        }
    }
    return events;
}

std::optional<std::string> TtyPortTracker::nameOf(const fs::path& deviceFile) const {
    const auto known = names_.find(deviceFile.string());
    if (known == names_.end()) {
        return std::nullopt;
    }
    return known->second;
}

}  // namespace dl250t
