#include "platform/serial_ports.hpp"
#include "platform/win32/win32_serial_port.hpp"

namespace dl250t {

std::unique_ptr<SerialPortFactory> makeSystemSerialPortFactory() {
    return std::make_unique<Win32SerialPortFactory>();
}

}  // namespace dl250t
