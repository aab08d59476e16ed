#pragma once

#include <memory>

#include "link/serial_port.hpp"
#include "production/port_claims.hpp"

namespace dl250t {

// The serial ports of the system the program runs on, by the names its users
// know them under: COMn and device paths on Linux, COMn and \\.\ names on
// Windows.
std::unique_ptr<SerialPortFactory> makeSystemSerialPortFactory();

// The claims on those ports that every program of the tool on this machine
// sees (see PortClaims): lock files on Linux, named kernel objects on Windows.
std::unique_ptr<PortClaims> makeSystemPortClaims();

}  // namespace dl250t
