#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "config/config_block.hpp"
#include "link/serial_port.hpp"

namespace dl250t::testing {

// Every call a port can receive, the open steps first in their required order.
enum class PortCall {
    OpenExisting,
    ReadLineSettings,
    ApplyLineDescription,
    WriteLineSettings,
    SetTimeouts,
    SetBufferSizes,
    Purge,
    Write,
    Read,
    Close,
};

std::string_view portCallName(PortCall call);

// What the module does in answer to one read.
struct ScriptedReply {
    bool platformError = false;
    // Delivered up to the number of bytes wanted; the rest is never seen.
    std::vector<std::uint8_t> bytes;
    // Answers instead with the last block written to the device, as a module
    // that stored it does; with `changedByte`, one byte of it altered (and
    // its CRC made to match), as a module that stored it wrongly does.
    bool storedBlock = false;
    std::optional<std::size_t> changedByte;

    static ScriptedReply text(std::string_view text);
    static ScriptedReply block(const ConfigBlock& block, std::size_t count = kBlockSize);
    static ScriptedReply error();
    static ScriptedReply stored(std::optional<std::size_t> changedByte = std::nullopt);
};

// One device behind a ScriptedPortFactory: the script its ports follow and
// the record of everything done to them. Only one port can hold the device at
// a time, as with a real serial port.
struct ScriptedDevice {
    // Script.
    std::optional<PortCall> failingCall;  // that call reports failure every time
    std::deque<ScriptedReply> replies;    // one per read; none left: silence

    // Record.
    std::vector<PortCall> calls;
    std::string openedName;
    std::string lineDescription;
    std::optional<SerialTimeouts> timeouts;
    std::size_t receiveBufferBytes = 0;
    std::size_t sendBufferBytes = 0;
    std::vector<std::vector<std::uint8_t>> writes;
    std::vector<std::size_t> readsWanted;
    std::vector<ReadTimeouts> readTimeouts;
    bool held = false;  // a port has it open
    int portsCreated = 0;
    // Calls a well-behaved user never makes: steps out of order, a read with
    // no write before it, use of a closed port, a port dropped while open.
    std::vector<std::string> misuse;

    std::vector<std::string> writtenTexts() const;
};

class ScriptedPortFactory : public SerialPortFactory {
public:
    ScriptedDevice device;

    std::unique_ptr<SerialPort> createPort() override;
};

// A port over a ScriptedDevice; made by ScriptedPortFactory.
class ScriptedSerialPort : public SerialPort {
public:
    explicit ScriptedSerialPort(ScriptedDevice& device) : device_(device) {}
    ~ScriptedSerialPort() override;

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
    // Records the call, checks that it comes in order; true when the script
    // lets it succeed.
    bool step(PortCall call);

    ScriptedDevice& device_;
    bool used_ = false;
    bool open_ = false;
    PortCall nextStep_ = PortCall::OpenExisting;  // the open step due next
    bool writeSinceRead_ = false;
};

}  // namespace dl250t::testing
