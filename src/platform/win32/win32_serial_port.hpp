#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "link/serial_port.hpp"
#include "platform/signal_cleanup.hpp"
#include "platform/win32/comm_api.hpp"

namespace dl250t {

// The device name CreateFile takes for a port name: "COMn" (any case, any n
// without leading zeros) is \\.\COMn, which reaches COM10 and above as well; a
// name that starts with \\.\ is used as it is. Nothing for any other name.
std::optional<std::wstring> win32DevicePath(std::string_view portName);

// A serial port through the Win32 communications calls, synchronous, opened
// exclusively (share mode 0). The line is raw 115200 8N1: after the line
// description, every member of the DCB that decides whether a byte value passes
// unchanged is set explicitly, because implementations of BuildCommDCB differ
// in what they keep of the port's previous settings (Wine keeps XON/XOFF, and
// then 0x11 and 0x13 vanish from a block). A read ends on a pause of
// kMinimumReadGap, and a write is bounded by its time on the line and
// kWriteMargin (serial_bounds.hpp). While open, the port is registered with
// SignalCleanup, so that Ctrl+C ends a transfer at once and releases the port.
class Win32SerialPort final : public SerialPort {
public:
    explicit Win32SerialPort(CommApi& api);
    ~Win32SerialPort() override;
    Win32SerialPort(const Win32SerialPort&) = delete;
    Win32SerialPort& operator=(const Win32SerialPort&) = delete;

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
    bool applyTimeouts(const COMMTIMEOUTS& timeouts);

    CommApi& api_;
    HANDLE handle_ = INVALID_HANDLE_VALUE;
    std::unique_ptr<SignalCleanup::HeldPort> held_;
    DCB dcb_{};
    COMMTIMEOUTS timeouts_{};  // as last set on the port
};

class Win32SerialPortFactory final : public SerialPortFactory {
public:
    Win32SerialPortFactory();
    explicit Win32SerialPortFactory(CommApi& api);

    std::unique_ptr<SerialPort> createPort() override;

private:
    CommApi& api_;
};

}  // namespace dl250t
