#pragma once

#include <termios.h>

#include <chrono>
#include <filesystem>
#include <memory>

#include "link/serial_port.hpp"
#include "platform/signal_cleanup.hpp"

namespace dl250t {

// A tty device through termios. Exclusive use comes from flock(LOCK_EX) on
// the device, which binds every process including root, and TIOCEXCL, which
// also keeps out programs that do not take the lock. The line is raw
// 115200 8N1 without any flow control, so that every byte value passes
// unchanged both ways. A read ends on a pause of kMinimumReadGap, not on
// the interval timeout it is given, and a write is bounded by kWriteMargin
// (serial_bounds.hpp). While open, the port is registered with
// SignalCleanup, so that a program ended by a signal does not leave it
// exclusive for the next opener.
class PosixSerialPort final : public SerialPort {
public:
    // COM names are looked up in `portDirectory` (see port_names.hpp).
    explicit PosixSerialPort(std::filesystem::path portDirectory);
    ~PosixSerialPort() override;
    PosixSerialPort(const PosixSerialPort&) = delete;
    PosixSerialPort& operator=(const PosixSerialPort&) = delete;

    bool openExisting(std::string_view name) override;
    bool readLineSettings() override;
    bool applyLineDescription(std::string_view description) override;
    bool writeLineSettings() override;
    bool setTimeouts(const SerialTimeouts& timeouts) override;
    bool setBufferSizes(std::size_t receiveBytes, std::size_t sendBytes) override;
    bool purge() override;
    bool write(std::span<const std::uint8_t> bytes) override;
    ReadResult read(std::span<std::uint8_t> buffer, const ReadTimeouts& timeouts) override;
    void close() override;

private:
    // Drops what is still queued and reports the write as failed.
    bool abandonWrite();
    // Turns the driver's low-latency mode on or off; true when it changed.
    static bool setLowLatency(int fd, bool on);

    std::filesystem::path portDirectory_;
    int fd_ = -1;
    std::unique_ptr<SignalCleanup::HeldPort> held_;
    termios settings_{};
    // Low latency was turned on at open, and is turned off again at close.
    bool lowLatencySet_ = false;
};

class PosixSerialPortFactory final : public SerialPortFactory {
public:
    // Ports named in the default port directory.
    PosixSerialPortFactory();
    explicit PosixSerialPortFactory(std::filesystem::path portDirectory);

    std::unique_ptr<SerialPort> createPort() override;

private:
    std::filesystem::path portDirectory_;
};

}  // namespace dl250t
