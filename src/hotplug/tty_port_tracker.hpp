#pragma once

#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "hotplug/port_event.hpp"

namespace dl250t {

// What the device manager tells about one tty device, gathered from its
// notification and from sysfs while the device is still there.
struct TtyDeviceFacts {
    std::string action;     // "add", "remove", "change", ...; empty for a device found present
    std::string subsystem;  // "tty"
    std::string sysname;    // "ttyUSB0"
    std::string devnode;    // "/dev/ttyUSB0"; empty when the notification carries none
    // The "type" attribute of a serial-core port: the UART found at the port,
    // 0 when no chip answered. Nothing when it cannot be read (gone, or not a
    // serial-core device).
    std::optional<long> uartType;
    bool hasParent = false;
    // Some ancestor is the "serial8250" platform device, under which the 8250
    // driver hangs the ports it reserves in advance.
    bool belowSerial8250Platform = false;

    // The device file: devnode, or /dev/<sysname> when there is none.
    std::filesystem::path deviceFile() const;
};

// ttyUSB<n> and ttyACM<n> always; ttyS<n> only when a UART is really there.
bool isSerialPortDevice(const TtyDeviceFacts& device);

// Turns tty notifications into port arrivals and removals. A port is named
// once, when it arrives (or is found present at start), and that name is
// kept for its removal: by then a link that named it through
// /dev/serial/by-id/... leads nowhere any more.
class TtyPortTracker {
public:
    // The COM name of a device file, if it has one.
    using NameLookup = std::function<std::optional<std::string>(const std::filesystem::path&)>;

    explicit TtyPortTracker(NameLookup lookup);

    // A device present before watching started: remembered, not reported.
    void notePresent(const TtyDeviceFacts& device);

    // The event a notification stands for, if any.
    std::optional<PortEvent> handle(const TtyDeviceFacts& notification);

    // After notifications were lost: the events that bring the remembered
    // ports in line with the devices present now (removals first).
    std::vector<PortEvent> reconcile(const std::vector<TtyDeviceFacts>& present);

    // The COM name remembered for a device file.
    std::optional<std::string> nameOf(const std::filesystem::path& deviceFile) const;

private:
    std::optional<std::string> nameFor(const TtyDeviceFacts& device) const;

    NameLookup lookup_;
    std::map<std::string, std::string> names_;  // device file -> COM name
};

}  // namespace dl250t
