#include "link/module_exchange.hpp"

#include "link/exchange_messages.hpp"
#include "link/serial_link.hpp"

namespace dl250t {

namespace {

// The steps after a successful open; each failure is reported here, while
// the caller still holds the link.
bool readOverLink(SerialLink& link, ConfigBlock& target, ExchangeReporter& reporter,
                  const std::function<void(const ConfigBlock&)>& onSuccess) {
    if (!link.write(kReadRequest)) {
        reporter.failure(kPortWriteFailedText);
        return false;
    }
    ConfigBlock received = target;
    const ReadResult reply = link.read(received.span());
    if (!reply.ok) {
        reporter.failure(kPortReadFailedText);
        return false;
    }
    if (reply.count == 0) {
        reporter.failure(kResponseTimeoutText);
        return false;
    }
    const BlockCheck check = validateBlock(received, reply.count);
    if (check != BlockCheck::Ok) {
        reporter.failure(blockCheckMessage(check));
        return false;
    }
    target = received;
    reporter.status(kModuleReadOkText);
    if (onSuccess) {
        onSuccess(target);
    }
    return true;
}

bool writeOverLink(SerialLink& link, ConfigBlock& working,
                   const std::function<void(ConfigBlock&)>& encode, ExchangeReporter& reporter) {
    if (encode) {
        encode(working);
    }
    stampHeaderAndCrc(working);
    if (!link.write(working.span())) {
        reporter.failure(kPortWriteFailedText);
        return false;
    }
    std::array<std::uint8_t, kWriteAcknowledgement.size()> answer{};
    const ReadResult reply = link.read(answer);
    if (!reply.ok) {
        reporter.failure(kResponseTimeoutText);
        return false;
    }
    if (reply.count != answer.size() || answer != kWriteAcknowledgement) {
        reporter.failure(kModuleWriteFailedText);
        return false;
    }
    reporter.status(kModuleWriteOkText);
    return true;
}

}  // namespace

bool readExchange(SerialPortFactory& ports, std::string_view portName, ConfigBlock& target,
                  ExchangeReporter& reporter,
                  const std::function<void(const ConfigBlock&)>& onSuccess) {
    SerialLink link(ports);
    if (!link.open(portName)) {
        reporter.failure(kPortOpenFailedText);
        return false;
    }
    const bool ok = readOverLink(link, target, reporter, onSuccess);
    link.close();
    return ok;
}

bool writeExchange(SerialPortFactory& ports, std::string_view portName, ConfigBlock& working,
                   const std::function<void(ConfigBlock&)>& encode, ExchangeReporter& reporter) {
    SerialLink link(ports);
    if (!link.open(portName)) {
        reporter.failure(kPortOpenFailedText);
        return false;
    }
    const bool ok = writeOverLink(link, working, encode, reporter);
    link.close();
    return ok;
}

}  // namespace dl250t
