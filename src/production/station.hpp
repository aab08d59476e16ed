#pragma once

#include <functional>
#include <optional>

#include "config/config_block.hpp"
#include "production/board_codes.hpp"
#include "production/module_writer.hpp"
#include "production/port_event_watch.hpp"
#include "production/scanner_feed.hpp"
#include "production/serial_number.hpp"

namespace dl250t {

// Auto-configure without a window: every module plugged in is written as the
// window's auto-configure writes it, each with the serial number after the
// last one stored (or the one its journal gives).
class Station {
public:
    struct Tally {
        long written = 0;
        long failed = 0;
        std::optional<SerialNumber> first;
        std::optional<SerialNumber> last;
    };

    // LabelFailed: a module was written but its label did not go out.
    enum class End { Stopped, Counted, JournalFailed, LabelFailed, WaitFailed, ScannerEnded };

    struct Run {
        // Asked before every wait and after every module: true ends the run.
        std::function<bool()> stopRequested;
        // Ends the run once this many modules were written.
        std::optional<long> count;
        // Told of every module attempt, once its journal has its line, and of
        // every module left to the program that holds its port (PortInUse,
        // neither recorded nor counted).
        std::function<void(const ModuleRecord&)> onRecord;
        // With a scanner, every module is written with a board code paired
        // with it (BoardCodes), and no module without one. A scanner that
        // can send no more ends the run once the module in hand is done:
        // no module after it could get its code.
        ScannerFeed* scanner = nullptr;
        // Told of every line scanned, and of every module that waits for
        // its code.
        std::function<void(const BoardCodes::Scan&)> onScan = {};
        std::function<void(const std::string& port)> onCodeAwaited = {};
    };

    // `steps` encode a block with the line's settings and may tell of a
    // mismatch; the station keeps the records itself.
    Station(ModuleWriter& writer, ModuleWriter::Steps steps, SerialNumber first);

    // Waits for modules and writes them until the run ends, and says why.
    End run(PortEventWatch& watch, const Run& run);

    // One port event as the run handles it: an arrival is written, anything
    // else needs nothing. The outcome of the write, if there was one. With
    // the writer's claims, an arrival claims its port until its removal, and
    // a port that another program holds is not written (PortInUse). An
    // arrival's module is recorded with `board`.
    std::optional<Outcome> handle(const PortEvent& event,
                                  const std::function<void(const ModuleRecord&)>& onRecord,
                                  const std::string& board = {});

    const Tally& tally() const { return tally_; }
    // The number the next module is to get, unless its journal gives another.
    SerialNumber nextSerial() const { return next_; }
    // The codes and modules waiting, with a scanner.
    const BoardCodes& boardCodes() const { return codes_; }
    // Why the scanner ended the run.
    const std::string& scannerEnd() const { return scannerEnd_; }

private:
    // Claims the module's port; false, told as PortInUse, when another
    // program holds it.
    bool claim(const std::string& port, const std::function<void(const ModuleRecord&)>& onRecord);
    // A port event with a scanner: an arrival is written once it has a code.
    std::optional<Outcome> handleScanned(const PortEvent& event, const Run& run);

    ModuleWriter& writer_;
    ModuleWriter::Steps steps_;
    SerialNumber next_;
    ConfigBlock working_ = makeInitialWorkingBlock();
    ConfigBlock module_;
    Tally tally_;
    bool labelFailed_ = false;
    BoardCodes codes_;
    std::string scannerEnd_;
};

}  // namespace dl250t
