#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string_view>

namespace dl250t {

// The five timeouts a port keeps for its transfers, in milliseconds. A read
// of N bytes may take N x readTotalMultiplierMs + readTotalConstantMs in all,
// and ends early when readIntervalMs pass without a byte once bytes have
// started to arrive. Zero write timeouts mean that writes have no time limit.
struct SerialTimeouts {
    std::uint32_t readIntervalMs = 0;
    std::uint32_t readTotalMultiplierMs = 0;
    std::uint32_t readTotalConstantMs = 0;
    std::uint32_t writeTotalMultiplierMs = 0;
    std::uint32_t writeTotalConstantMs = 0;

    friend bool operator==(const SerialTimeouts&, const SerialTimeouts&) = default;
};

// The bounds of one read, worked out from SerialTimeouts for the number of
// bytes wanted: the whole read ends after `total`; once a byte has arrived it
// also ends when `interval` passes without another one.
struct ReadTimeouts {
    std::chrono::milliseconds total{0};
    std::chrono::milliseconds interval{0};

    friend bool operator==(const ReadTimeouts&, const ReadTimeouts&) = default;
};

struct ReadResult {
    bool ok = false;        // false only when the platform reported an error
    std::size_t count = 0;  // bytes placed at the start of the buffer
};

// One serial port of the platform. Opening is a sequence of separate steps,
// called in the order they are declared here, so that a refusal can be told
// apart from the others and the port closed again at once. A port is closed
// when it is destroyed.
class SerialPort {
public:
    virtual ~SerialPort() = default;

    // Opens an existing port by name for reading and writing, shared with no
    // other opener. On failure nothing is held.
    virtual bool openExisting(std::string_view name) = 0;

    // Takes the port's current line settings as the base for the next step.
    virtual bool readLineSettings() = 0;

    // Applies a line description such as "baud=115200 parity=N data=8 stop=1"
    // to the settings taken in the previous step. Nothing reaches the device yet.
    virtual bool applyLineDescription(std::string_view description) = 0;

    // Puts the settings into effect on the device.
    virtual bool writeLineSettings() = 0;

    virtual bool setTimeouts(const SerialTimeouts& timeouts) = 0;

    virtual bool setBufferSizes(std::size_t receiveBytes, std::size_t sendBytes) = 0;

    // Abandons pending transfers in both directions and empties both buffers.
    virtual bool purge() = 0;

    // Hands all bytes to the platform; returns once it has taken them all.
    virtual bool write(std::span<const std::uint8_t> bytes) = 0;

    // Reads up to buffer.size() bytes into the start of the buffer. Bytes not
    // received leave the buffer as it was. A timeout is a success with fewer
    // bytes than wanted, possibly none.
    virtual ReadResult read(std::span<std::uint8_t> buffer, const ReadTimeouts& timeouts) = 0;

    virtual void close() = 0;
};

// Makes closed ports; each exchange asks for a fresh one.
class SerialPortFactory {
public:
    virtual ~SerialPortFactory() = default;
    virtual std::unique_ptr<SerialPort> createPort() = 0;
};

}  // namespace dl250t
