#include "platform/posix/posix_serial_port.hpp"
#include "platform/serial_ports.hpp"

namespace dl250t {

std::unique_ptr<SerialPortFactory> makeSystemSerialPortFactory() {
    return std::make_unique<PosixSerialPortFactory>();
}

}  // namespace dl250t
