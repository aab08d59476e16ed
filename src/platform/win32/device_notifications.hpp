#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "hotplug/device_change.hpp"
#include "hotplug/port_event.hpp"

namespace dl250t {

// The "PortName" value that a serial device's driver keeps under its key in
// HKEY_LOCAL_MACHINE.
class RegistryPortNames final : public DevicePortNames {
public:
    std::optional<std::string> portNameAt(std::string_view keyPath) override;
};

// Asks Windows to send `window` WM_DEVICECHANGE whenever a serial port
// interface (GUID_DEVINTERFACE_COMPORT) arrives or goes. Nothing on failure.
// The registration lasts as long as the window; UnregisterDeviceNotification
// ends it earlier.
HDEVNOTIFY registerForSerialPorts(HWND window);

// The port event of a WM_DEVICECHANGE message, with the port name looked up in
// `names`; nothing for every other device change.
std::optional<PortEvent> portEventOfMessage(WPARAM eventCode, LPARAM record,
                                            DevicePortNames& names);

}  // namespace dl250t
