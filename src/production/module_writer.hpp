#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "config/config_block.hpp"
#include "config/outcome.hpp"
#include "link/exchange_reporter.hpp"
#include "link/serial_port.hpp"
#include "production/port_claims.hpp"
#include "production/production_journal.hpp"
#include "production/serial_number.hpp"

namespace dl250t {

// The production line's use case, the same for the window's Write, the
// companion's write and the station: read the module on a port to take over
// its identity, write the block with the settings and the serial number,
// optionally read it back and compare, and record the attempt in the journal.
// It knows the module only through the ports, and the people around it only
// through the reporter and the steps its caller gives.
class ModuleWriter {
public:
    // What a write asks of its caller and tells it as it goes. Only encode is
    // required.
    struct Steps {
        // Fills the block with the settings to store. The block already holds
        // the module's identity and version; the serial number is stored over
        // whatever the encode leaves there. Runs once the port is open for the
        // write.
        std::function<void(ConfigBlock& block)> encode;
        // The journal gave the module this number.
        std::function<void(SerialNumber serial)> numberTaken = {};
        // The module answered the read with this block.
        std::function<void(const ConfigBlock& module)> moduleRead = {};
        // True while the journal holds the module open: a journal that several
        // stations share may keep the line waiting meanwhile, so nothing that
        // waits for a person belongs in between.
        std::function<void(bool holding)> journalHolding = {};
        // The block read back differs from the one sent: what the module holds.
        std::function<void(const ConfigBlock& sent, const ConfigBlock& stored)> mismatch = {};
        // Prints the label of a module written (and verified, with
        // verification on), before its journal line is settled so that the
        // line says whether the label went out; true when it did.
        std::function<bool(const ModuleRecord& record)> label = {};
        // The attempt as it was recorded (or was to be), before a journal
        // failure is reported.
        std::function<void(const ModuleRecord& record)> recorded = {};
        // The code scanned from the module's board, recorded with it.
        std::string board = {};
    };

    ModuleWriter(SerialPortFactory& ports, ExchangeReporter& reporter)
        : ports_(ports), reporter_(reporter) {}

    // Every module from now on is recorded here; nullptr records none.
    void useJournal(ProductionJournal* journal) { journal_ = journal; }
    ProductionJournal* journal() const { return journal_; }

    // Every write from now on claims its port here first, and leaves a module
    // that another program holds alone (PortInUse: nothing touched, nothing
    // recorded); nullptr claims nothing. A port this program held already
    // stays held after the write, one it took for the write is given back.
    void useClaims(PortClaims* claims) { claims_ = claims; }
    PortClaims* claims() const { return claims_; }

    // With verification on, every block the module acknowledged is read back
    // and all its bytes compared with what was sent.
    void setVerify(bool verify) { verify_ = verify; }
    bool verify() const { return verify_; }

    // Writes the module on `port` with `serial`, or with the number the
    // journal gives instead. `block` is the working block: it takes the
    // module's identity, the settings and the stamp, but only once the port
    // is open again, so that a module pulled out in between leaves it as it
    // was. `module` receives what the module held. Every outcome is reported;
    // ModuleWritten is the one success, and JournalFailed a journal that could
    // not take the module (nothing written) or its line (module written);
    // PortInUse a port that another program holds (see useClaims).
    Outcome write(std::string_view port, SerialNumber serial, ConfigBlock& block,
                  ConfigBlock& module, const Steps& steps);

private:
    Outcome writeClaimed(std::string_view port, SerialNumber serial, ConfigBlock& block,
                         ConfigBlock& module, const Steps& steps);

    // The steps as write hands them on: moduleRead answers whether the block
    // may leave (the journal reserved its number).
    struct InnerSteps {
        std::function<bool(const ConfigBlock& module)> moduleRead;
        std::function<void(ConfigBlock& block)> encode;
        std::function<void(const ConfigBlock& sent, const ConfigBlock& stored)> mismatch;
    };
    Outcome writeModule(std::string_view port, ConfigBlock& block, ConfigBlock& module,
                        const InnerSteps& steps, ModuleRecord& record);
    void lookAtUnacknowledged(std::string_view port, const ConfigBlock& sent, ModuleRecord& record);

    SerialPortFactory& ports_;
    ExchangeReporter& reporter_;
    ProductionJournal* journal_ = nullptr;
    PortClaims* claims_ = nullptr;
    bool verify_ = false;
};

}  // namespace dl250t
