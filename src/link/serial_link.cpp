#include "link/serial_link.hpp"

#include <algorithm>
#include <string>

#include "link/line_description.hpp"

namespace dl250t {

ReadTimeouts readTimeoutsFor(std::size_t wanted) {
    const auto multiplier = std::chrono::milliseconds(kLinkTimeouts.readTotalMultiplierMs);
    const auto constant = std::chrono::milliseconds(kLinkTimeouts.readTotalConstantMs);
    return ReadTimeouts{multiplier * static_cast<std::chrono::milliseconds::rep>(wanted) + constant,
                        std::chrono::milliseconds(kLinkTimeouts.readIntervalMs)};
}

SerialLink::SerialLink(SerialPortFactory& ports) : ports_(ports) {}

SerialLink::~SerialLink() {
    close();
}

bool SerialLink::open(std::string_view portName) {
    if (port_ != nullptr) {
        return false;
    }
    std::unique_ptr<SerialPort> port = ports_.createPort();
    if (port == nullptr) {
        return false;
    }
    if (!port->openExisting(portName.substr(0, kMaxPortNameLength))) {
        return false;
    }
    const std::string description = formatLineDescription(kModuleLine);
    const bool configured = port->readLineSettings() && port->applyLineDescription(description) &&
                            port->writeLineSettings() && port->setTimeouts(kLinkTimeouts) &&
                            port->setBufferSizes(kLinkBufferBytes, kLinkBufferBytes);
    if (!configured) {
        port->close();
        return false;
    }
    // Whatever the purge reports, the port is usable; stale bytes at worst
    // make the coming exchange fail its own checks.
    port->purge();
    port_ = std::move(port);
    return true;
}

bool SerialLink::write(std::span<const std::uint8_t> bytes) {
    return port_ != nullptr && port_->write(bytes);
}

ReadResult SerialLink::read(std::span<std::uint8_t> buffer) {
    if (port_ == nullptr) {
        return {};
    }
    ReadResult result = port_->read(buffer, readTimeoutsFor(buffer.size()));
    result.count = std::min(result.count, buffer.size());
    return result;
}

void SerialLink::close() {
    if (port_ != nullptr) {
        port_->close();
        port_.reset();
    }
}

}  // namespace dl250t
