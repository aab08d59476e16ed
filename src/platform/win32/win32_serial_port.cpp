#include "platform/win32/win32_serial_port.hpp"

#include <algorithm>
#include <chrono>
#include <limits>

#include "link/serial_bounds.hpp"
#include "platform/win32/wide_text.hpp"

namespace dl250t {

namespace {

using Clock = std::chrono::steady_clock;
using Milliseconds = std::chrono::milliseconds;

constexpr std::wstring_view kDevicePrefix = L"\\\\.\\";

bool isComName(std::string_view name) {
    if (name.size() < 4) {
        return false;
    }
    const auto upper = [](char c) { return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c; };
    if (upper(name[0]) != 'C' || upper(name[1]) != 'O' || upper(name[2]) != 'M') {
        return false;
    }
    const std::string_view digits = name.substr(3);
    return digits.front() != '0' &&
           std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; });
}

DWORD toDword(std::size_t value) {
    return static_cast<DWORD>(std::min<std::size_t>(value, std::numeric_limits<DWORD>::max()));
}

// How long `count` bytes take on the line as the port is set: a start bit,
// the data bits, a parity bit if any and the stop bits for each byte.
std::chrono::microseconds lineTime(const DCB& dcb, std::size_t count) {
    const std::uint64_t baudRate = dcb.BaudRate > 0 ? dcb.BaudRate : CBR_110;
    const std::uint64_t dataBits = dcb.ByteSize > 0 ? dcb.ByteSize : 8;
    // Halves of a bit, for one and a half stop bits.
    const std::uint64_t stopHalves = dcb.StopBits == TWOSTOPBITS    ? 4
                                     : dcb.StopBits == ONE5STOPBITS ? 3
                                                                    : 2;
    const std::uint64_t halves = 2 * (1 + dataBits + (dcb.Parity != NOPARITY ? 1 : 0)) + stopHalves;
    return std::chrono::microseconds((count * halves * 500'000 + baudRate - 1) / baudRate);
}

bool operator==(const COMMTIMEOUTS& a, const COMMTIMEOUTS& b) {
    return a.ReadIntervalTimeout == b.ReadIntervalTimeout &&
           a.ReadTotalTimeoutMultiplier == b.ReadTotalTimeoutMultiplier &&
           a.ReadTotalTimeoutConstant == b.ReadTotalTimeoutConstant &&
           a.WriteTotalTimeoutMultiplier == b.WriteTotalTimeoutMultiplier &&
           a.WriteTotalTimeoutConstant == b.WriteTotalTimeoutConstant;
}

}  // namespace

std::optional<std::wstring> win32DevicePath(std::string_view portName) {
    if (isComName(portName)) {
        std::wstring path(kDevicePrefix);
        path += L"COM";
        for (const char digit : portName.substr(3)) {
            path += static_cast<wchar_t>(digit);
        }
        return path;
    }
    auto wide = utf8ToWide(portName);
    if (wide && wide->size() > kDevicePrefix.size() && wide->starts_with(kDevicePrefix)) {
        return wide;
    }
    return std::nullopt;
}

Win32SerialPort::Win32SerialPort(CommApi& api) : api_(api) {}

Win32SerialPort::~Win32SerialPort() {
    close();
}

bool Win32SerialPort::openExisting(std::string_view name) {
    if (handle_ != INVALID_HANDLE_VALUE) {
        return false;
    }
    const auto path = win32DevicePath(name);
    if (!path) {
        return false;
    }
    // Share mode 0: nobody else may open the port while we hold it. No flags:
    // transfers are synchronous.
    const HANDLE handle = api_.createFile(path->c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                          OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE || handle == nullptr) {
        return false;
    }
    handle_ = handle;
    held_ = std::make_unique<SignalCleanup::HeldPort>(handle);
    timeouts_ = COMMTIMEOUTS{};
    return true;
}

bool Win32SerialPort::readLineSettings() {
    if (handle_ == INVALID_HANDLE_VALUE) {
        return false;
    }
    dcb_ = DCB{};
    dcb_.DCBlength = sizeof(DCB);
    return api_.getCommState(handle_, &dcb_) != FALSE;
}

bool Win32SerialPort::applyLineDescription(std::string_view description) {
    const auto text = utf8ToWide(description);
    if (handle_ == INVALID_HANDLE_VALUE || !text) {
        return false;
    }
    DCB dcb = dcb_;
    if (!api_.buildCommDcb(text->c_str(), &dcb)) {
        return false;
    }
    // Raw bytes both ways, whatever the port was left with: no software or
    // hardware flow control, no byte replaced or dropped on a line error, and
    // the modem lines up as a terminal program leaves them.
    dcb.fBinary = TRUE;
    dcb.fParity = FALSE;
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fErrorChar = FALSE;
    dcb.fNull = FALSE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    dcb.fAbortOnError = FALSE;
    dcb_ = dcb;
    return true;
}

bool Win32SerialPort::writeLineSettings() {
    return handle_ != INVALID_HANDLE_VALUE && api_.setCommState(handle_, &dcb_) != FALSE;
}

bool Win32SerialPort::applyTimeouts(const COMMTIMEOUTS& timeouts) {
    if (timeouts == timeouts_) {
        return true;
    }
    COMMTIMEOUTS wanted = timeouts;
    if (!api_.setCommTimeouts(handle_, &wanted)) {
        return false;
    }
    timeouts_ = timeouts;
    return true;
}

bool Win32SerialPort::setTimeouts(const SerialTimeouts& timeouts) {
    if (handle_ == INVALID_HANDLE_VALUE) {
        return false;
    }
    COMMTIMEOUTS wanted{timeouts.readIntervalMs, timeouts.readTotalMultiplierMs,
                        timeouts.readTotalConstantMs, timeouts.writeTotalMultiplierMs,
                        timeouts.writeTotalConstantMs};
    if (!api_.setCommTimeouts(handle_, &wanted)) {
        return false;
    }
    timeouts_ = wanted;
    return true;
}

bool Win32SerialPort::setBufferSizes(std::size_t receiveBytes, std::size_t sendBytes) {
    return handle_ != INVALID_HANDLE_VALUE &&
           api_.setupComm(handle_, toDword(receiveBytes), toDword(sendBytes)) != FALSE;
}

bool Win32SerialPort::purge() {
    return handle_ != INVALID_HANDLE_VALUE &&
           api_.purgeComm(handle_, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR) !=
               FALSE;
}

bool Win32SerialPort::write(std::span<const std::uint8_t> bytes) {
    if (handle_ == INVALID_HANDLE_VALUE || bytes.size() > std::numeric_limits<DWORD>::max()) {
        return false;
    }
    // The bytes must have left within their time on the line and a margin:
    // an adapter that stops taking bytes must not hold the program for ever.
    const auto bound = std::chrono::ceil<Milliseconds>(lineTime(dcb_, bytes.size())) + kWriteMargin;
    COMMTIMEOUTS bounded = timeouts_;
    bounded.WriteTotalTimeoutMultiplier = 0;
    bounded.WriteTotalTimeoutConstant = static_cast<DWORD>(
        std::min<std::int64_t>(bound.count(), std::numeric_limits<DWORD>::max() - 1));
    if (!applyTimeouts(bounded)) {
        return false;
    }
    const DWORD wanted = static_cast<DWORD>(bytes.size());
    DWORD written = 0;
    if (api_.writeFile(handle_, bytes.data(), wanted, &written, nullptr) && written == wanted) {
        return true;
    }
    // Dropped, so that closing the port does not wait for the bytes either.
    api_.purgeComm(handle_, PURGE_TXABORT | PURGE_TXCLEAR);
    return false;
}

ReadResult Win32SerialPort::read(std::span<std::uint8_t> buffer, const ReadTimeouts& timeouts) {
    if (handle_ == INVALID_HANDLE_VALUE) {
        return {};
    }
    // A ReadFile ends when the port's interval timeout passes without a byte,
    // and USB adapters pause about 5 ms between the 62-byte packets of one
    // reply. So the read goes on call after call until the wanted bytes are
    // in, the total bound has passed, or nothing has come for kMinimumReadGap,
    // as on the POSIX port. Each call waits no longer than the nearer of those
    // two bounds; the port's interval timeout still ends it after a burst.
    const Milliseconds gap = std::max(timeouts.interval, kMinimumReadGap);
    const Milliseconds interval = std::clamp(timeouts.interval, Milliseconds(1), gap);
    const Clock::time_point deadline = Clock::now() + timeouts.total;
    Clock::time_point lastByte{};
    std::size_t count = 0;

    while (count < buffer.size()) {
        const Clock::time_point until = count == 0 ? deadline : std::min(deadline, lastByte + gap);
        const auto left = std::chrono::ceil<Milliseconds>(until - Clock::now());
        if (left <= Milliseconds::zero()) {
            break;
        }
        // A zero total timeout would mean none at all, so every call has one.
        COMMTIMEOUTS bounded = timeouts_;
        bounded.ReadIntervalTimeout = static_cast<DWORD>(interval.count());
        bounded.ReadTotalTimeoutMultiplier = 0;
        bounded.ReadTotalTimeoutConstant = static_cast<DWORD>(left.count());
        if (!applyTimeouts(bounded)) {
            return {false, count};
        }
        const DWORD wanted = toDword(buffer.size() - count);
        DWORD received = 0;
        if (!api_.readFile(handle_, buffer.data() + count, wanted, &received, nullptr)) {
            return {false, count};
        }
        if (received > 0) {
            count += std::min(received, wanted);
            lastByte = Clock::now();
        }
    }
    return {true, count};
}

void Win32SerialPort::close() {
    if (handle_ != INVALID_HANDLE_VALUE) {
        held_.reset();
        api_.closeHandle(handle_);
        handle_ = INVALID_HANDLE_VALUE;
    }
}

Win32SerialPortFactory::Win32SerialPortFactory() : api_(systemCommApi()) {}

Win32SerialPortFactory::Win32SerialPortFactory(CommApi& api) : api_(api) {}

std::unique_ptr<SerialPort> Win32SerialPortFactory::createPort() {
    return std::make_unique<Win32SerialPort>(api_);
}

}  // namespace dl250t
