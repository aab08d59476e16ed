#include "link/module_exchange.hpp"

#include "link/serial_link.hpp"

namespace dl250t {

namespace {

// The steps after a successful open. The caller reports the outcome while it
// still holds the link.
Outcome readOverLink(SerialLink& link, ConfigBlock& target) {
    if (!link.write(kReadRequest)) {
        return Outcome::PortWriteFailed;
    }
    ConfigBlock received = target;
    const ReadResult reply = link.read(received.span());
    if (!reply.ok) {
        return Outcome::PortReadFailed;
    }
    if (reply.count == 0) {
        return Outcome::ResponseTimeout;
    }
    if (const auto failure = blockCheckFailure(validateBlock(received, reply.count))) {
        return *failure;
    }
    target = received;
    return Outcome::ModuleRead;
}

Outcome writeOverLink(SerialLink& link, ConfigBlock& working,
                      const std::function<void(ConfigBlock&)>& encode) {
    if (encode) {
        encode(working);
    }
    stampHeaderAndCrc(working);
    if (!link.write(working.span())) {
        return Outcome::PortWriteFailed;
    }
    std::array<std::uint8_t, kWriteAcknowledgement.size()> answer{};
    const ReadResult reply = link.read(answer);
    if (!reply.ok) {
        // A failed read of the acknowledgement is worded as silence.
        return Outcome::ResponseTimeout;
    }
    if (reply.count != answer.size() || answer != kWriteAcknowledgement) {
        return Outcome::ModuleWriteFailed;
    }
    return Outcome::ModuleWritten;
}

}  // namespace

Outcome readExchange(SerialPortFactory& ports, std::string_view portName, ConfigBlock& target,
                     ExchangeReporter& reporter,
                     const std::function<void(const ConfigBlock&)>& onSuccess) {
    SerialLink link(ports);
    if (!link.open(portName)) {
        reporter.report(Outcome::PortOpenFailed);
        return Outcome::PortOpenFailed;
    }
    const Outcome outcome = readOverLink(link, target);
    reporter.report(outcome);
    if (outcome == Outcome::ModuleRead && onSuccess) {
        onSuccess(target);
    }
    link.close();
    return outcome;
}

Outcome writeExchange(SerialPortFactory& ports, std::string_view portName, ConfigBlock& working,
                      const std::function<void(ConfigBlock&)>& encode, ExchangeReporter& reporter) {
    SerialLink link(ports);
    if (!link.open(portName)) {
        reporter.report(Outcome::PortOpenFailed);
        return Outcome::PortOpenFailed;
    }
    const Outcome outcome = writeOverLink(link, working, encode);
    reporter.report(outcome);
    link.close();
    return outcome;
}

}  // namespace dl250t
