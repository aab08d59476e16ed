#include "station_command.hpp"

#include <ostream>

#include "cli_app.hpp"
#include "json_records.hpp"
#include "module_commands.hpp"
#include "module_labels.hpp"
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
    std::unique_ptr<ModuleLabels> labels;
    if (const int status = prepareLabels(*parsed, productionLineName(*parsed).value_or(""),
                                         "station", err, labels);
        status != kExitOk) {
        return status;
    }
    PreparedLine line;
    if (const int status = prepareLine(*parsed, SerialStart::WindowDefault, err, line);
        status != kExitOk) {
        return status;
    }
    const auto ports = makeSystemSerialPortFactory();
    // What the window shows in boxes goes to standard error.
    PrintingReporter failures(out, err, true);
    ModuleWriter writer(*ports, failures);
    // Each port from its arrival to its removal, so that a window or another
    // station on this machine leaves the module alone.
    const auto claims = makeSystemPortClaims();
    writer.useClaims(claims.get());
    writer.useJournal(line.journal.get());
    writer.setVerify(parsed->verify);
    Station station(
        writer,
        {
            .encode = [&line](ConfigBlock& block) { line.settings->encode(block); },
            .mismatch = [&err](const ConfigBlock& sent,
                               const ConfigBlock& stored) { printDifferences(sent, stored, err); },
            .label = labelStep(labels.get()),
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
    // With JSON records on standard output, the texts go to standard error.
    std::ostream& said = parsed->json ? err : out;
    said << "station ready: " << *parsed->file
         << ", first serial number: " << station.nextSerial().text() << ", journal: " << journal
         << ", verify: " << (parsed->verify ? "on" : "off")
         << (parsed->scan ? ", board codes: " + *parsed->scan : std::string()) << '\n'
         << std::flush;

    const Station::End end = station.run(
        *watch,
        scan.attach(
            {
                .stopRequested = [] { return SignalCleanup::stopRequested() != 0; },
                .count = parsed->count,
                .onRecord =
                    [&out, &parsed](const ModuleRecord& record) {
                        if (parsed->json) {
                            out << moduleRecordJson(record, productionLineName(*parsed)) << '\n'
                                << std::flush;
                            return;
                        }
                        const bool written = isSuccess(record.outcome);
                        out << localTimeText(record.time) << ' ' << record.port << ' '
                            << outcomeText(record.outcome) << ' '
                            << (written && record.serial ? record.serial->text() : std::string("-"))
                            << (record.board.empty() ? std::string() : ' ' + record.board) << '\n'
                            << std::flush;
                    },
            },
            said, err));
    if (end == Station::End::WaitFailed) {
        err << "dl250t-cli station: waiting for ports failed\n";
    }
    if (end == Station::End::JournalFailed) {
        err << "dl250t-cli station: stopped before the next module: " << line.journal->problem()
            << '\n';
    }
    if (end == Station::End::LabelFailed) {
        err << "dl250t-cli station: stopped before the next module: its label was not printed: "
            << labels->problem() << '\n';
    }
    const int scannerStatus =
        end == Station::End::ScannerEnded ? scan.ended(station, err) : kExitOk;
    if (parsed->json) {
        out << stationSummaryJson(station.tally()) << '\n' << std::flush;
    } else {
        printSummary(station.tally(), out);
    }
    if (end == Station::End::LabelFailed) {
        return kExitLabelFailed;
    }
    if (end == Station::End::ScannerEnded) {
        return scannerStatus;
    }
    return end == Station::End::JournalFailed ? kExitJournalFailed : kExitOk;
}

}  // namespace dl250t::cli
