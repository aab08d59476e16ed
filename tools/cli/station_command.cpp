#include "station_command.hpp"

#include <ostream>

#include "cli_app.hpp"
#include "module_commands.hpp"
#include "platform/journal_files.hpp"
#include "platform/port_event_watch.hpp"
#include "platform/production_journals.hpp"
#include "platform/serial_ports.hpp"
#include "platform/signal_cleanup.hpp"
#include "production/module_writer.hpp"
#include "production/station.hpp"
#include "settings_diff.hpp"
#include "station_scan.hpp"

namespace dl250t::cli {

namespace {

void printSummary(const Station::Tally& tally, std::ostream& out) {
    const auto shown = [](const std::optional<SerialNumber>& serial) {
        return serial ? serial->text() : std::string("-");
    };
    out << "modules written: " << tally.written << '\n'
        << "modules failed: " << tally.failed << '\n'
        << "first serial number: " << shown(tally.first) << '\n'
        << "last serial number: " << shown(tally.last) << '\n'
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
    PreparedLine line;
    if (const int status = prepareLine(*parsed, SerialStart::WindowDefault, err, line);
        status != kExitOk) {
        return status;
    }
    const auto ports = makeSystemSerialPortFactory();
    // What the window shows in boxes goes to standard error.
    PrintingReporter failures(out, err, true);
    ModuleWriter writer(*ports, failures);
    writer.useJournal(line.journal.get());
    writer.setVerify(parsed->verify);
    Station station(
        writer,
        {
            .encode = [&line](ConfigBlock& block) { line.settings->encode(block); },
            .mismatch = [&err](const ConfigBlock& sent,
                               const ConfigBlock& stored) { printDifferences(sent, stored, err); },
        },
        line.firstSerial);

    StationScan scan;
    if (parsed->scan) {
        if (const int status = scan.start(*parsed->scan, *ports, err); status != kExitOk) {
            return status;
        }
    }
    std::string watchProblem;
    const std::unique_ptr<PortEventWatch> watch = startPortEventWatch(watchProblem);
    if (watch == nullptr) {
        err << "dl250t-cli station: no port arrivals can be watched (" << watchProblem << ")\n";
        return kExitPortOpenFailed;
    }
    // A database's URI is shown without its password.
    std::string journal = parsed->journal ? journalDisplayName(*parsed->journal) : "none";
    if (parsed->journal && isDatabaseJournal(*parsed->journal)) {
        journal += " (line " + parsed->line.value_or(std::string(kDefaultLine)) + ")";
    }
    out << "station ready: " << *parsed->file
        << ", first serial number: " << station.nextSerial().text() << ", journal: " << journal
        << ", verify: " << (parsed->verify ? "on" : "off")
        << (parsed->scan ? ", board codes: " + *parsed->scan : std::string()) << '\n'
        << std::flush;

    const Station::End end = station.run(
        *watch, scan.attach({
                                .stopRequested = [] { return SignalCleanup::stopRequested() != 0; },
                                .count = parsed->count,
                                .onRecord =
                                    [&out, &parsed](const ModuleRecord& record) {
                                        const bool written = isSuccess(record.outcome);
                                        out << localTimeText(record.time) << ' ' << record.port
                                            << ' ' << outcomeText(record.outcome) << ' '
                                            << (written && record.serial ? record.serial->text()
                                                                         : std::string("-"))
                                            << (parsed->scan ? ' ' + record.board : std::string())
                                            << '\n'
                                            << std::flush;
                                    },
                            },
                            out, err));
    if (end == Station::End::WaitFailed) {
        err << "dl250t-cli station: waiting for ports failed\n";
    }
    if (end == Station::End::JournalFailed) {
        err << "dl250t-cli station: stopped before the next module: " << line.journal->problem()
            << '\n';
    }
    const int status = end == Station::End::ScannerEnded    ? scan.ended(station, err)
                       : end == Station::End::JournalFailed ? kExitJournalFailed
                                                            : kExitOk;
    printSummary(station.tally(), out);
    return status;
}

}  // namespace dl250t::cli
