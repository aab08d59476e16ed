#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "hotplug/port_event.hpp"
#include "link/port_name.hpp"

namespace dl250t {

// Serial ports as Windows announces them: a device-change message with an
// event code and a broadcast record (DEV_BROADCAST_DEVICEINTERFACE_W) that
// starts with three 32-bit fields (size, device type, reserved), then the
// interface class (16 bytes) and, from byte 28 on, the zero-terminated device
// interface path in UTF-16. Nothing here calls Windows, so that the parsing
// is the same on every system and tested on all of them.
inline constexpr std::uint32_t kDeviceChangeMessage = 0x0219;  // WM_DEVICECHANGE
inline constexpr std::uint32_t kDeviceArrival = 0x8000;
inline constexpr std::uint32_t kDeviceRemoveComplete = 0x8004;
inline constexpr std::uint32_t kDeviceTypeInterface = 5;
inline constexpr std::size_t kDeviceInterfacePathOffset = 28;

// Where Windows keeps a device's settings, derived from its interface path:
// "\\?\USB#VID_1234&PID_5678#6&2A3B4C5D&0&1#{class}" gives
// "SYSTEM\CurrentControlSet\Enum\USB\VID_1234&PID_5678\6&2A3B4C5D&0&1\Device Parameters".
// Nothing for a path with fewer than three '#' or a key longer than
// kMaxPortNameLength characters.
std::optional<std::string> deviceParametersKeyPath(std::string_view interfacePath);

// Looks up the "PortName" value stored under a device's key (UTF-8).
class DevicePortNames {
public:
    virtual ~DevicePortNames() = default;
    virtual std::optional<std::string> portNameAt(std::string_view keyPath) = 0;
};

// The interface path of a broadcast record, as UTF-8; nothing when the record
// is too short to hold one.
std::optional<std::string> deviceInterfacePath(std::span<const std::uint8_t> record);

// The port event a device-change message stands for: the arrival or the
// removal of a device interface whose key holds a port name. Nothing for other
// event codes, other device types, paths without a key and devices without a
// port name (or one too long to be a port's).
std::optional<PortEvent> portEventFromDeviceChange(std::uint32_t eventCode,
                                                   std::span<const std::uint8_t> record,
                                                   DevicePortNames& names);

}  // namespace dl250t
