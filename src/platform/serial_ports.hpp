#pragma once

#include <memory>

#include "link/serial_port.hpp"

namespace dl250t {

// The serial ports of the system the program runs on, by the names its users
// know them under: COMn and device paths on Linux, COMn and \\.\ names on
// Windows.
std::unique_ptr<SerialPortFactory> makeSystemSerialPortFactory();

}  // namespace dl250t
