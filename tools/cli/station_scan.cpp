#include "station_scan.hpp"

#include <ostream>

#include "cli_app.hpp"
#include "platform/board_scanner.hpp"

namespace dl250t::cli {

int StationScan::start(const std::string& source, SerialPortFactory& ports, std::ostream& err) {
    std::string problem;
    reader_ = startBoardScanner(source, ports, feed_, problem);
    if (reader_ == nullptr) {
        err << "dl250t-cli station: no board codes can be read (" << problem << ")\n";
        return kExitPortOpenFailed;
    }
    return kExitOk;
}

Station::Run StationScan::attach(Station::Run run, std::ostream& out, std::ostream& err) {
    if (reader_ == nullptr) {
        return run;
    }
    run.scanner = feed_.get();
    run.onCodeAwaited = [&out](const std::string& port) {
        out << port << " waits for the board's code\n" << std::flush;
    };
    run.onScan = [&out, &err](const BoardCodes::Scan& scan) {
        using Kind = BoardCodes::Scan::Kind;
        switch (scan.kind) {
            case Kind::Refused:
                err << "board code refused, "
                    << (scan.refusal == BoardCodes::Refusal::TooLong ? "longer than 64 characters"
                                                                     : "not printable ASCII")
                    << ": " << scan.code << '\n'
                    << std::flush;
                break;
            case Kind::Replaced:
                out << "board code " << scan.code << " replaces " << scan.replaced
                    << ", waits for a module\n"
                    << std::flush;
                break;
            case Kind::Waiting:
                out << "board code " << scan.code << " waits for a module\n" << std::flush;
                break;
            case Kind::Paired:
                break;  // the module's line tells
        }
    };
    return run;
}

int StationScan::ended(const Station& station, std::ostream& err) const {
    const BoardCodes& codes = station.boardCodes();
    // Modules written before the end are in the summary that follows.
    err << "dl250t-cli station: stopped, no more board codes can come (" << station.scannerEnd()
        << ")\n";
    if (codes.partLine()) {
        err << "the last code was not ended by a line end and is not used\n";
    }
    if (codes.waitingCode()) {
        err << "board code " << *codes.waitingCode() << " is not used\n";
    }
    for (const std::string& port : codes.waitingModules()) {
        err << port << " is not written: it has no board code\n";
    }
    err << std::flush;
    return kExitScannerEnded;
}

}  // namespace dl250t::cli
