#include "production/station.hpp"

#include <chrono>
#include <utility>

#include "link/port_name.hpp"

namespace dl250t {

Station::Station(ModuleWriter& writer, ModuleWriter::Steps steps, SerialNumber first)
    : writer_(writer), steps_(std::move(steps)), next_(first) {}

std::optional<Outcome> Station::handle(const PortEvent& event,
                                       const std::function<void(const ModuleRecord&)>& onRecord) {
    // Names shorter than "COMn" carry no number.
    if (event.kind == PortEvent::Kind::WatchLost || event.portName.size() < 4) {
        return std::nullopt;
    }
    const std::string port = comName(portNumberFromName(event.portName));
    PortClaims* claims = writer_.claims();
    if (event.kind == PortEvent::Kind::Removal) {
        if (claims != nullptr) {
            claims->release(port);
        }
        return std::nullopt;
    }
    // Held from arrival to removal, so that a program that sees the port
    // arrive later leaves the module alone even after it has been written.
    if (claims != nullptr && claims->claim(port) == PortClaims::Claim::Refused) {
        ModuleRecord refused;
        refused.time = std::chrono::system_clock::now();
        refused.port = port;
        refused.outcome = Outcome::PortInUse;
        if (onRecord) {
            onRecord(refused);
        }
        return Outcome::PortInUse;
    }
    ModuleWriter::Steps steps = steps_;
    steps.recorded = [&](const ModuleRecord& record) {
        // The next module gets the number after this one when it is
        // stored, even when its line could not be recorded, or when the
        // journal reserved it: either way it is taken.
        if ((record.outcome == Outcome::ModuleWritten || record.reserved) && record.serial) {
            next_ = record.serial->next();
        }
        if (record.outcome == Outcome::ModuleWritten && record.serial) {
            tally_.first = tally_.first.value_or(*record.serial);
            tally_.last = record.serial;
            ++tally_.written;
        } else {
            ++tally_.failed;
        }
        labelFailed_ = record.label == ModuleRecord::Label::Failed;
        if (onRecord) {
            onRecord(record);
        }
    };
    return writer_.write(port, next_, working_, module_, steps);
}

Station::End Station::run(PortEventWatch& watch, const Run& run) {
    const auto counted = [&] { return run.count && tally_.written >= *run.count; };
    const auto stopped = [&] { return run.stopRequested && run.stopRequested(); };
    while (!counted() && !stopped()) {
        const auto events = watch.wait();
        if (!events) {
            return End::WaitFailed;
        }
        for (const PortEvent& event : *events) {
            // A module whose line could not be recorded is the last one.
            if (handle(event, run.onRecord) == Outcome::JournalFailed) {
                return End::JournalFailed;
            }
            // A module without its label breaks the trace from board to
            // number: the line stops before the next one.
            if (labelFailed_) {
                return End::LabelFailed;
            }
            if (counted() || stopped()) {
                break;
            }
        }
    }
    return counted() ? End::Counted : End::Stopped;
}

}  // namespace dl250t
