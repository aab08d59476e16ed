#include "station_command.hpp"

#include <ostream>

#include "cli_app.hpp"
#include "config/field_codec.hpp"
#include "module_commands.hpp"
#include "platform/journal_files.hpp"
#include "platform/port_event_watch.hpp"
#include "platform/production_journals.hpp"
#include "platform/signal_cleanup.hpp"

namespace dl250t::cli {

namespace {

// What the station has done, for its closing lines.
struct StationTally {
    long written = 0;
    long failed = 0;
    std::string firstSerial;
    std::string lastSerial;
};

void printSummary(const StationTally& tally, std::ostream& out) {
    out << "modules written: " << tally.written << '\n'
        << "modules failed: " << tally.failed << '\n'
        << "first serial number: " << (tally.written > 0 ? tally.firstSerial : "-") << '\n'
        << "last serial number: " << (tally.written > 0 ? tally.lastSerial : "-") << '\n'
        << std::flush;
}

}  // namespace

int runStation(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    const auto parsed = parseModuleArgs(args, ModuleCommand::Station, err);
    if (!parsed) {
        return kExitUsage;
    }
    // SIGINT and SIGTERM only raise a flag from here on, so that the module in
    // hand is finished; a second one ends the program at once.
    SignalCleanup::setOnStop(SignalCleanup::OnStop::RaiseFlag);
    struct RestoreOnStop {
        ~RestoreOnStop() { SignalCleanup::setOnStop(SignalCleanup::OnStop::CleanUpAndEnd); }
    } restoreOnStop;
    StationTally tally;
    ModuleSession session(err, [&](const ModuleRecord& record) {
        const bool written = isSuccess(record.outcome);
        out << localTimeText(record.time) << ' ' << record.port << ' '
            << outcomeText(record.outcome) << ' ' << (written ? record.serial : "-") << '\n'
            << std::flush;
        if (!written) {
            ++tally.failed;
            return;
        }
        if (tally.written++ == 0) {
            tally.firstSerial = record.serial;
        }
        tally.lastSerial = record.serial;
    });
    if (const int status = session.prepare(*parsed, ModuleSession::SerialStart::WindowDefault);
        status != kExitOk) {
        return status;
    }
    ConfigDialog& dialog = session.dialog();
    session.view().setChecked(ctl::AutoConfigure, true);
    dialog.handleControlEvent(ControlEvent::Clicked, ctl::AutoConfigure);

    std::string watchProblem;
    const std::unique_ptr<PortEventWatch> watch = startPortEventWatch(watchProblem);
    if (watch == nullptr) {
        err << "dl250t-cli station: no port arrivals can be watched (" << watchProblem << ")\n";
        return kExitPortOpenFailed;
    }
    // The number as the first module will store it.
    ConfigBlock first;
    encodeSerialText(first, session.view().text(ctl::Serial));
    // A database's URI is shown without its password.
    std::string journal = parsed->journal ? journalDisplayName(*parsed->journal) : "none";
    if (parsed->journal && isDatabaseJournal(*parsed->journal)) {
        journal += " (line " + parsed->line.value_or(std::string(kDefaultLine)) + ")";
    }
    out << "station ready: " << *parsed->file
        << ", first serial number: " << decodeSerialText(first) << ", journal: " << journal
        << ", verify: " << (parsed->verify ? "on" : "off") << '\n'
        << std::flush;

    bool journalFailed = false;
    const auto done = [&] {
        return journalFailed || SignalCleanup::stopRequested() != 0 ||
               (parsed->count && tally.written >= *parsed->count);
    };
    while (!done()) {
        const auto events = watch->wait();
        if (!events) {
            err << "dl250t-cli station: waiting for ports failed\n";
            break;
        }
        for (const PortEvent& event : *events) {
            dialog.handlePortEvent(event);
            // A module whose line could not be recorded is the last one.
            if (event.kind == PortEvent::Kind::Arrival &&
                dialog.lastOutcome() == Outcome::JournalFailed) {
                journalFailed = true;
            }
            if (done()) {
                break;
            }
        }
    }
    if (journalFailed) {
        err << "dl250t-cli station: stopped before the next module: " << session.journalProblem()
            << '\n';
    }
    printSummary(tally, out);
    return journalFailed ? kExitJournalFailed : kExitOk;
}

}  // namespace dl250t::cli
