#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "link/port_name.hpp"

namespace dl250t {

// Device-interface notifications as a desktop platform delivers them: an event
// code, and a broadcast record that starts with three 32-bit fields (size,
// device type, reserved), then the interface class (16 bytes) and, from byte
// 28 on, the zero-terminated device interface path.
inline constexpr std::uint32_t kDeviceArrival = 0x8000;
inline constexpr std::uint32_t kDeviceRemoveComplete = 0x8004;
inline constexpr std::uint32_t kDeviceTypeInterface = 5;
inline constexpr std::size_t kDeviceInterfacePathOffset = 28;

// Where the platform keeps a device's settings, derived from its interface
// path: "\\?\USB#VID_1234&PID_5678#6&2A3B4C5D&0&1#{class}" gives
// "SYSTEM\CurrentControlSet\Enum\USB\VID_1234&PID_5678\6&2A3B4C5D&0&1\Device Parameters".
// Nothing for a path with fewer than three '#' or a key longer than
// kMaxPortNameLength characters.
std::optional<std::string> deviceParametersKeyPath(std::string_view interfacePath);

// Looks up the "PortName" value stored under a device's key.
class DevicePortNames {
public:
    virtual ~DevicePortNames() = default;
    virtual std::optional<std::string> portNameAt(std::string_view keyPath) = 0;
};

}  // namespace dl250t
