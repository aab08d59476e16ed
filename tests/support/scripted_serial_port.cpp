#include "support/scripted_serial_port.hpp"

#include <algorithm>

#include "link/line_description.hpp"

namespace dl250t::testing {

std::string_view portCallName(PortCall call) {
    switch (call) {
        case PortCall::OpenExisting:
            return "openExisting";
        case PortCall::ReadLineSettings:
            return "readLineSettings";
        case PortCall::ApplyLineDescription:
            return "applyLineDescription";
        case PortCall::WriteLineSettings:
            return "writeLineSettings";
        case PortCall::SetTimeouts:
            return "setTimeouts";
        case PortCall::SetBufferSizes:
            return "setBufferSizes";
        case PortCall::Purge:
            return "purge";
        case PortCall::Write:
            return "write";
        case PortCall::Read:
            return "read";
        case PortCall::Close:
            return "close";
    }
    return "?";
}

ScriptedReply ScriptedReply::text(std::string_view text) {
    ScriptedReply reply;
    reply.bytes.assign(text.begin(), text.end());
    return reply;
}

ScriptedReply ScriptedReply::block(const ConfigBlock& block, std::size_t count) {
    ScriptedReply reply;
    reply.bytes.assign(block.bytes.begin(), block.bytes.begin() + count);
    return reply;
}

ScriptedReply ScriptedReply::error() {
    ScriptedReply reply;
    reply.platformError = true;
    return reply;
}

ScriptedReply ScriptedReply::stored(std::optional<std::size_t> changedByte) {
    ScriptedReply reply;
    reply.storedBlock = true;
    reply.changedByte = changedByte;
    return reply;
}

std::vector<std::string> ScriptedDevice::writtenTexts() const {
    std::vector<std::string> texts;
    for (const auto& bytes : writes) {
        texts.emplace_back(bytes.begin(), bytes.end());
    }
    return texts;
}

std::unique_ptr<SerialPort> ScriptedPortFactory::createPort() {
    ++device.portsCreated;
    return std::make_unique<ScriptedSerialPort>(device);
}

ScriptedSerialPort::~ScriptedSerialPort() {
    if (open_) {
        device_.misuse.push_back("port destroyed while open");
        device_.held = false;
    }
}

bool ScriptedSerialPort::step(PortCall call) {
    device_.calls.push_back(call);
    const std::string name(portCallName(call));

    if (call == PortCall::OpenExisting) {
        if (used_) {
            device_.misuse.push_back("openExisting on a port that was used before");
        }
        used_ = true;
    } else if (!open_) {
        device_.misuse.push_back(name + " on a closed port");
    } else if (call <= PortCall::Purge) {
        if (call != nextStep_) {
            device_.misuse.push_back(name + " out of order");
        }
        nextStep_ = static_cast<PortCall>(static_cast<int>(call) + 1);
    } else if (call != PortCall::Close && nextStep_ <= PortCall::Purge) {
        device_.misuse.push_back(name + " before the port was purged");
    }
    return device_.failingCall != call;
}

bool ScriptedSerialPort::openExisting(std::string_view name) {
    if (!step(PortCall::OpenExisting) || device_.held) {
        return false;
    }
    device_.openedName = std::string(name);
    device_.held = true;
    open_ = true;
    nextStep_ = PortCall::ReadLineSettings;
    return true;
}

bool ScriptedSerialPort::readLineSettings() {
    return step(PortCall::ReadLineSettings);
}

bool ScriptedSerialPort::applyLineDescription(std::string_view description) {
    device_.lineDescription = std::string(description);
    return step(PortCall::ApplyLineDescription) && parseLineDescription(description).has_value();
}

bool ScriptedSerialPort::writeLineSettings() {
    return step(PortCall::WriteLineSettings);
}

bool ScriptedSerialPort::setTimeouts(const SerialTimeouts& timeouts) {
    device_.timeouts = timeouts;
    return step(PortCall::SetTimeouts);
}

bool ScriptedSerialPort::setBufferSizes(std::size_t receiveBytes, std::size_t sendBytes) {
    device_.receiveBufferBytes = receiveBytes;
    device_.sendBufferBytes = sendBytes;
    return step(PortCall::SetBufferSizes);
}

bool ScriptedSerialPort::purge() {
    return step(PortCall::Purge);
}

bool ScriptedSerialPort::write(std::span<const std::uint8_t> bytes) {
    if (!step(PortCall::Write)) {
        return false;
    }
    device_.writes.emplace_back(bytes.begin(), bytes.end());
    writeSinceRead_ = true;
    return true;
}

ReadResult ScriptedSerialPort::read(std::span<std::uint8_t> buffer, const ReadTimeouts& timeouts) {
    const bool allowed = step(PortCall::Read);
    if (!writeSinceRead_) {
        device_.misuse.push_back("read with no write before it");
    }
    writeSinceRead_ = false;
    device_.readsWanted.push_back(buffer.size());
    device_.readTimeouts.push_back(timeouts);
    if (!allowed) {
        return {false, 0};
    }
    if (device_.replies.empty()) {
        return {true, 0};
    }
    ScriptedReply reply = std::move(device_.replies.front());
    device_.replies.pop_front();
    if (reply.platformError) {
        return {false, 0};
    }
    if (reply.storedBlock) {
        const auto written =
            std::find_if(device_.writes.rbegin(), device_.writes.rend(),
                         [](const auto& bytes) { return bytes.size() == kBlockSize; });
        if (written == device_.writes.rend()) {
            return {true, 0};
        }
        ConfigBlock block;
        std::copy(written->begin(), written->end(), block.bytes.begin());
        if (reply.changedByte) {
            block[*reply.changedByte] ^= 0x01;
            stampHeaderAndCrc(block);
        }
        reply.bytes.assign(block.bytes.begin(), block.bytes.end());
    }
    const std::size_t count = std::min(buffer.size(), reply.bytes.size());
    std::copy_n(reply.bytes.begin(), count, buffer.begin());
    return {true, count};
}

void ScriptedSerialPort::close() {
    step(PortCall::Close);
    if (open_) {
        device_.held = false;
    }
    open_ = false;
}

}  // namespace dl250t::testing
