#include "production/station.hpp"

#include <chrono>
#include <utility>

#include "link/port_name.hpp"

namespace dl250t {

Station::Station(ModuleWriter& writer, ModuleWriter::Steps steps, SerialNumber first)
    : writer_(writer), steps_(std::move(steps)), next_(first) {}

bool Station::claim(const std::string& port,
                    const std::function<void(const ModuleRecord&)>& onRecord) {
    // Held from arrival to removal, so that a program that sees the port
    // arrive later leaves the module alone even after it has been written.
    PortClaims* claims = writer_.claims();
    if (claims == nullptr || claims->claim(port) != PortClaims::Claim::Refused) {
        return true;
    }
    ModuleRecord refused;
    refused.time = std::chrono::system_clock::now();
    refused.port = port;
    refused.outcome = Outcome::PortInUse;
    if (onRecord) {
        onRecord(refused);
    }
    return false;
}

std::optional<Outcome> Station::handle(const PortEvent& event,
                                       const std::function<void(const ModuleRecord&)>& onRecord,
                                       const std::string& board) {
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
    if (!claim(port, onRecord)) {
        return Outcome::PortInUse;
    }
    ModuleWriter::Steps steps = steps_;
    steps.board = board;
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

std::optional<Outcome> Station::handleScanned(const PortEvent& event, const Run& run) {
    if (event.kind == PortEvent::Kind::WatchLost || event.portName.size() < 4) {
        return std::nullopt;
    }
    const std::string port = comName(portNumberFromName(event.portName));
    if (event.kind == PortEvent::Kind::Removal) {
        codes_.removed(port);
        return handle(event, run.onRecord);
    }
    // A module waiting for its code is this program's from its arrival on.
    if (!claim(port, run.onRecord)) {
        return Outcome::PortInUse;
    }
    if (const auto code = codes_.arrived(port)) {
        return handle(event, run.onRecord, *code);
    }
    if (run.onCodeAwaited) {
        run.onCodeAwaited(port);
    }
    return std::nullopt;
}

Station::End Station::run(PortEventWatch& watch, const Run& run) {
    const auto counted = [&] { return run.count && tally_.written >= *run.count; };
    const auto stopped = [&] { return run.stopRequested && run.stopRequested(); };
    const auto ending = [&] { return counted() || stopped(); };
    // What a module's end means for the run: nothing, or why it ends here.
    const auto after = [&](std::optional<Outcome> outcome) -> std::optional<End> {
        // A module whose line could not be recorded is the last one.
        if (outcome == Outcome::JournalFailed) {
            return End::JournalFailed;
        }
        // A module without its label breaks the trace from board to
        // number: the line stops before the next one.
        if (labelFailed_) {
            return End::LabelFailed;
        }
        return std::nullopt;
    };
    // The scanner's thread wakes the wait, and never once the run is over.
    struct Waking {
        ScannerFeed* scanner;
        ~Waking() {
            if (scanner != nullptr) {
                scanner->setWake({});
            }
        }
    } waking{run.scanner};
    if (run.scanner != nullptr) {
        run.scanner->setWake([&watch] { watch.wake(); });
    }
    while (!ending()) {
        const auto events = watch.wait();
        if (!events) {
            return End::WaitFailed;
        }
        for (const PortEvent& event : *events) {
            if (ending()) {
                break;
            }
            const auto outcome =
                run.scanner == nullptr ? handle(event, run.onRecord) : handleScanned(event, run);
            if (const auto end = after(outcome)) {
                return *end;
            }
        }
        if (run.scanner == nullptr || ending()) {
            continue;
        }
        // Port events first: a module that came while the last one was being
        // written takes the first code scanned meanwhile.
        ScannerFeed::Taken taken = run.scanner->take();
        for (const BoardCodes::Scan& scan : codes_.feed(taken.bytes)) {
            if (ending()) {
                break;
            }
            if (run.onScan) {
                run.onScan(scan);
            }
            if (scan.kind == BoardCodes::Scan::Kind::Paired) {
                const auto outcome =
                    handle({PortEvent::Kind::Arrival, scan.port}, run.onRecord, scan.code);
                if (const auto end = after(outcome)) {
                    return *end;
                }
            }
        }
        if (taken.ended) {
            scannerEnd_ = *taken.ended;
            return End::ScannerEnded;
        }
    }
    return counted() ? End::Counted : End::Stopped;
}

}  // namespace dl250t
