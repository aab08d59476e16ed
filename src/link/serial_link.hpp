#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string_view>

#include "link/port_name.hpp"
#include "link/serial_port.hpp"

namespace dl250t {

// Interval 1 ms, 1 ms per wanted byte plus 50 ms in all; writes unbounded.
inline constexpr SerialTimeouts kLinkTimeouts{1, 1, 50, 0, 0};

// Driver buffer sizes, receive and send.
inline constexpr std::size_t kLinkBufferBytes = 1024;

// The bounds of a read of `wanted` bytes under kLinkTimeouts: 568 ms for a
// configuration block, 54 ms for an acknowledgement.
ReadTimeouts readTimeoutsFor(std::size_t wanted);

// One open serial port for the length of one exchange: open, one write, one
// read, close. The port is held exclusively while the link is open and
// released when it is closed or destroyed.
class SerialLink {
public:
    explicit SerialLink(SerialPortFactory& ports);
    ~SerialLink();
    SerialLink(const SerialLink&) = delete;
    SerialLink& operator=(const SerialLink&) = delete;

    // Opens, configures (115200 8N1, timeouts, buffer sizes) and purges the
    // port. A port that refuses any configuration step is closed again before
    // this returns false, so a failed attempt never leaves it held. Fails on
    // a link that is already open.
    bool open(std::string_view portName);

    bool isOpen() const { return port_ != nullptr; }

    // One platform write of all the bytes. False on a platform error or when
    // the link is closed.
    bool write(std::span<const std::uint8_t> bytes);

    // One platform read of up to buffer.size() bytes, bounded by
    // readTimeoutsFor(buffer.size()).
    ReadResult read(std::span<std::uint8_t> buffer);

    // Releases the port; does nothing when the link is closed.
    void close();

private:
    SerialPortFactory& ports_;
    std::unique_ptr<SerialPort> port_;
};

}  // namespace dl250t
