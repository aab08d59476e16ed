#include "platform/posix/posix_serial_port.hpp"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#if defined(__linux__)
#include <linux/serial.h>
#endif

#include <algorithm>
#include <array>
#include <optional>
#include <thread>

#include "link/line_description.hpp"
#include "link/serial_bounds.hpp"
#include "platform/posix/port_directory.hpp"
#include "platform/posix/port_names.hpp"

namespace dl250t {

namespace {

using Clock = std::chrono::steady_clock;

struct BaudCode {
    std::uint32_t baudRate;
    speed_t code;
};

constexpr std::array<BaudCode, 18> kBaudCodes{{
    {1200, B1200},
    {2400, B2400},
    {4800, B4800},
    {9600, B9600},
    {19200, B19200},
    {38400, B38400},
    {57600, B57600},
    {115200, B115200},
    {230400, B230400},
    {460800, B460800},
    {500000, B500000},
    {576000, B576000},
    {921600, B921600},
    {1000000, B1000000},
    {1152000, B1152000},
    {1500000, B1500000},
    {2000000, B2000000},
    {3000000, B3000000},
}};

std::optional<speed_t> baudCode(std::uint32_t baudRate) {
    for (const BaudCode& entry : kBaudCodes) {
        if (entry.baudRate == baudRate) {
            return entry.code;
        }
    }
    return std::nullopt;
}

// How long `count` bytes take on the line as the port is set now: a start
// bit, the data bits, a parity bit if any and the stop bits for each byte.
// A speed the table does not know counts as its slowest.
std::chrono::microseconds lineTime(int fd, std::size_t count) {
    termios t{};
    std::uint64_t baudRate = kBaudCodes.front().baudRate;
    std::uint64_t bitsPerByte = 10;
    if (tcgetattr(fd, &t) == 0) {
        const speed_t code = cfgetospeed(&t);
        for (const BaudCode& entry : kBaudCodes) {
            if (entry.code == code) {
                baudRate = entry.baudRate;
            }
        }
        const tcflag_t size = t.c_cflag & CSIZE;
        const std::uint64_t dataBits = size == CS5 ? 5 : size == CS6 ? 6 : size == CS7 ? 7 : 8;
        bitsPerByte = 1 + dataBits + ((t.c_cflag & PARENB) != 0 ? 1 : 0) +
                      ((t.c_cflag & CSTOPB) != 0 ? 2 : 1);
    }
    return std::chrono::microseconds((count * bitsPerByte * 1'000'000 + baudRate - 1) / baudRate);
}

// Milliseconds until `deadline`, rounded up so that poll never wakes early.
int millisecondsUntil(Clock::time_point deadline) {
    const auto left = deadline - Clock::now();
    if (left <= Clock::duration::zero()) {
        return 0;
    }
    return static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(left).count());
}

}  // namespace

PosixSerialPort::PosixSerialPort(std::filesystem::path portDirectory)
    : portDirectory_(std::move(portDirectory)) {}

PosixSerialPort::~PosixSerialPort() {
    close();
}

bool PosixSerialPort::openExisting(std::string_view name) {
    if (fd_ >= 0) {
        return false;
    }
    const auto path = resolvePortName(name, portDirectory_);
    if (!path) {
        return false;
    }
    // Non-blocking, so that opening a modem line with no carrier cannot hang;
    // every transfer waits in poll() instead.
    const int fd = ::open(path->c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    struct stat info {};
    if (fstat(fd, &info) != 0 || !S_ISCHR(info.st_mode) || !isatty(fd) ||
        flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return false;
    }
    // Ours now. Registered before it is made exclusive, so that no signal
    // finds it exclusive and unregistered.
    auto held = std::make_unique<SignalCleanup::HeldPort>(fd);
    if (ioctl(fd, TIOCEXCL) != 0) {
        held.reset();
        ::close(fd);
        return false;
    }
    fd_ = fd;
    held_ = std::move(held);
    lowLatencySet_ = setLowLatency(fd_, true);
    return true;
}

bool PosixSerialPort::setLowLatency(int fd, bool on) {
#if defined(__linux__)
    // USB adapters such as FTDI's hold a short reply back for their latency
    // timer, 16 ms unless told otherwise; low latency makes it 1 ms, so that
    // the module's acknowledgement comes in at once. Only where the driver
    // knows the flag and lets this user set it; elsewhere (a pseudo-terminal,
    // another driver, no permission) the port stays as it is, and so does a
    // port that had it set already.
    serial_struct serial{};
    if (ioctl(fd, TIOCGSERIAL, &serial) != 0 || ((serial.flags & ASYNC_LOW_LATENCY) != 0) == on) {
        return false;
    }
    serial.flags = on ? serial.flags | ASYNC_LOW_LATENCY : serial.flags & ~ASYNC_LOW_LATENCY;
    return ioctl(fd, TIOCSSERIAL, &serial) == 0;
#else
    (void)fd;
    (void)on;
    return false;
#endif
}

bool PosixSerialPort::readLineSettings() {
    return fd_ >= 0 && tcgetattr(fd_, &settings_) == 0;
}

bool PosixSerialPort::applyLineDescription(std::string_view description) {
    const auto line = parseLineDescription(description);
    if (fd_ < 0 || !line) {
        return false;
    }
    const auto speed = baudCode(line->baudRate);
    if (!speed || line->parity == 'M' || line->parity == 'S') {
        return false;
    }
    termios t = settings_;
    // Raw bytes: no line editing, no translation of CR/LF, no signals, no
    // software or hardware flow control. A read returns what is there.
    cfmakeraw(&t);
    t.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
    t.c_cflag |= CLOCAL | CREAD;
    switch (line->dataBits) {
        case 5:
            t.c_cflag |= CS5;
            break;
        case 6:
            t.c_cflag |= CS6;
            break;
        case 7:
            t.c_cflag |= CS7;
            break;
        default:
            t.c_cflag |= CS8;
            break;
    }
    if (line->parity == 'E' || line->parity == 'O') {
        t.c_cflag |= PARENB;
        if (line->parity == 'O') {
            t.c_cflag |= PARODD;
        }
    }
    if (line->stopBits == 2) {
        t.c_cflag |= CSTOPB;
    }
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    if (cfsetispeed(&t, *speed) != 0 || cfsetospeed(&t, *speed) != 0) {
        return false;
    }
    settings_ = t;
    return true;
}

bool PosixSerialPort::writeLineSettings() {
    if (fd_ < 0 || tcsetattr(fd_, TCSANOW, &settings_) != 0) {
        return false;
    }
    // tcsetattr succeeds when any part of the request was taken; the line is
    // only right when all of it was.
    termios actual{};
    if (tcgetattr(fd_, &actual) != 0) {
        return false;
    }
    const tcflag_t lineBits = CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS;
    return cfgetospeed(&actual) == cfgetospeed(&settings_) &&
           cfgetispeed(&actual) == cfgetispeed(&settings_) &&
           (actual.c_cflag & lineBits) == (settings_.c_cflag & lineBits) &&
           (actual.c_iflag & (IXON | IXOFF | IXANY)) == 0;
}

bool PosixSerialPort::setTimeouts(const SerialTimeouts&) {
    // Each read brings its own bounds; there is nothing to set on the device.
    return fd_ >= 0;
}

bool PosixSerialPort::setBufferSizes(std::size_t, std::size_t) {
    // Linux sizes tty buffers itself and offers no call to change them.
    return fd_ >= 0;
}

bool PosixSerialPort::purge() {
    return fd_ >= 0 && tcflush(fd_, TCIOFLUSH) == 0;
}

bool PosixSerialPort::write(std::span<const std::uint8_t> bytes) {
    if (fd_ < 0) {
        return false;
    }
    // The bytes cannot have left before their time on the line, and must
    // have left within that time and a margin: an adapter that stops taking
    // bytes must not hold the program for ever.
    const Clock::time_point onTheLine = Clock::now() + lineTime(fd_, bytes.size());
    const Clock::time_point deadline = onTheLine + kWriteMargin;
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && errno != EAGAIN) {
            return abandonWrite();
        }
        // The output buffer is full: wait until the device takes more, goes
        // away or runs out of time.
        pollfd p{fd_, POLLOUT, 0};
        const int ready = poll(&p, 1, millisecondsUntil(deadline));
        if (ready < 0 && errno != EINTR) {
            return abandonWrite();
        }
        if (ready == 0 && Clock::now() >= deadline) {
            return abandonWrite();
        }
        if ((p.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) {
            return abandonWrite();
        }
    }
    // A write counts as done when the bytes have left, not when the kernel has
    // queued them: the module's answer is awaited for only 54 ms after the
    // write, and a 518-byte block alone takes 45 ms on the line. tcdrain()
    // would wait without a limit; the output queue is watched instead.
    for (;;) {
        int queued = 0;
        if (ioctl(fd_, TIOCOUTQ, &queued) != 0) {
            queued = 0;  // a device that cannot tell: the line time decides
        }
        const Clock::time_point now = Clock::now();
        if (queued == 0 && now >= onTheLine) {
            return true;
        }
        if (now >= deadline) {
            return abandonWrite();
        }
        std::this_thread::sleep_until(
            queued == 0 ? onTheLine : std::min(deadline, now + std::chrono::milliseconds(1)));
    }
}

bool PosixSerialPort::abandonWrite() {
    // Dropped, so that closing the port does not wait for the bytes either.
    tcflush(fd_, TCOFLUSH);
    return false;
}

ReadResult PosixSerialPort::read(std::span<std::uint8_t> buffer, const ReadTimeouts& timeouts) {
    if (fd_ < 0) {
        return {};
    }
    // Gaps shorter than kMinimumReadGap never end a read (serial_bounds.hpp); the
    // total bound is kept.
    const auto gap = std::max<std::chrono::milliseconds>(timeouts.interval, kMinimumReadGap);
    const Clock::time_point deadline = Clock::now() + timeouts.total;
    Clock::time_point lastByte{};
    std::size_t count = 0;

    while (count < buffer.size()) {
        Clock::time_point until = deadline;
        if (count > 0) {
            until = std::min(until, lastByte + gap);
        }
        const int waitMs = millisecondsUntil(until);
        if (waitMs == 0 && Clock::now() >= until) {
            break;
        }
        pollfd p{fd_, POLLIN, 0};
        const int ready = poll(&p, 1, waitMs);
        if (ready < 0) {
            if (errno == EINTR) {
                continue;
            }
            return {false, count};
        }
        if (ready == 0) {
            continue;  // the loop head decides whether time is up
        }
        if ((p.revents & POLLIN) != 0) {
            const ssize_t n = ::read(fd_, buffer.data() + count, buffer.size() - count);
            if (n > 0) {
                count += static_cast<std::size_t>(n);
                lastByte = Clock::now();
                continue;
            }
            if (n < 0 && errno != EAGAIN && errno != EINTR) {
                return {false, count};  // EIO: the device is gone
            }
        }
        if ((p.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) {
            return {false, count};
        }
    }
    return {true, count};
}

void PosixSerialPort::close() {
    if (fd_ >= 0) {
        // The exclusive flag belongs to the tty, not to this descriptor, and
        // would outlive it while anyone else has the device open.
        ioctl(fd_, TIOCNXCL);
        // Left as it was found for the programs that use the port after us.
        if (lowLatencySet_) {
            setLowLatency(fd_, false);
            lowLatencySet_ = false;
        }
        flock(fd_, LOCK_UN);
        held_.reset();
        ::close(fd_);
        fd_ = -1;
    }
}

PosixSerialPortFactory::PosixSerialPortFactory() : portDirectory_(defaultPortDirectory()) {}

PosixSerialPortFactory::PosixSerialPortFactory(std::filesystem::path portDirectory)
    : portDirectory_(std::move(portDirectory)) {}

std::unique_ptr<SerialPort> PosixSerialPortFactory::createPort() {
    return std::make_unique<PosixSerialPort>(portDirectory_);
}

}  // namespace dl250t
