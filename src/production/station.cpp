#include "production/station.hpp"

#include <utility>

#include "link/port_name.hpp"

namespace dl250t {

Station::Station(ModuleWriter& writer, ModuleWriter::Steps steps, SerialNumber first)
    : writer_(writer), steps_(std::move(steps)), next_(first) {}

std::optional<Outcome> Station::handle(const PortEvent& event,
                                       const std::function<void(const ModuleRecord&)>& onRecord,
                                       const std::string& board) {
    // Names shorter than "COMn" carry no number.
    if (event.kind != PortEvent::Kind::Arrival || event.portName.size() < 4) {
        return std::nullopt;
    }
    const std::string port = comName(portNumberFromName(event.portName));
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
        if (onRecord) {
            onRecord(record);
        }
    };
    return writer_.write(port, next_, working_, module_, steps);
}

Station::End Station::run(PortEventWatch& watch, const Run& run) {
    const auto counted = [&] { return run.count && tally_.written >= *run.count; };
    const auto stopped = [&] { return run.stopRequested && run.stopRequested(); };
    const auto ending = [&] { return counted() || stopped(); };
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
    // A module written with its code; true when the run must end here.
    const auto write = [&](const std::string& port, const std::string& board) {
        return handle({PortEvent::Kind::Arrival, port}, run.onRecord, board) ==
               Outcome::JournalFailed;
    };
    while (!ending()) {
        const auto events = watch.wait();
        if (!events) {
            return End::WaitFailed;
        }
        for (const PortEvent& event : *events) {
            if (ending()) {
                break;
            }
            if (run.scanner == nullptr) {
                // A module whose line could not be recorded is the last one.
                if (handle(event, run.onRecord) == Outcome::JournalFailed) {
                    return End::JournalFailed;
                }
                continue;
            }
            if (event.kind == PortEvent::Kind::WatchLost || event.portName.size() < 4) {
                continue;
            }
            const std::string port = comName(portNumberFromName(event.portName));
            if (event.kind == PortEvent::Kind::Removal) {
                codes_.removed(port);
            } else if (const auto code = codes_.arrived(port)) {
                if (write(port, *code)) {
                    return End::JournalFailed;
                }
            } else if (run.onCodeAwaited) {
                run.onCodeAwaited(port);
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
            if (scan.kind == BoardCodes::Scan::Kind::Paired && write(scan.port, scan.code)) {
                return End::JournalFailed;
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
