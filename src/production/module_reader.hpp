#pragma once

#include <functional>
#include <string_view>

#include "config/config_block.hpp"
#include "config/outcome.hpp"
#include "link/exchange_reporter.hpp"
#include "link/serial_port.hpp"
#include "production/production_journal.hpp"

namespace dl250t {

// The read use case of a production line: the module's block, asked a second
// time and compared when verification is on, and recorded in the journal
// (without a serial number to hand out).
class ModuleReader {
public:
    ModuleReader(SerialPortFactory& ports, ExchangeReporter& reporter)
        : ports_(ports), reporter_(reporter) {}

    // An opened journal; nullptr records nothing.
    void useJournal(ProductionJournal* journal) { journal_ = journal; }
    void setVerify(bool verify) { verify_ = verify; }

    // Reads the module on `port` into `block`. Once it has been read (and
    // read again the same), `keep` stores it; a block that could not be kept
    // makes the attempt FileWriteFailed, which `keep` has told of. Every other
    // outcome is reported, and returned; JournalFailed is a journal that could
    // not take the attempt before the module was asked, or its line after.
    // `recorded` is told of the attempt as it was recorded (or was to be).
    Outcome read(std::string_view port, ConfigBlock& block,
                 const std::function<bool(const ConfigBlock&)>& keep,
                 const std::function<void(const ModuleRecord&)>& recorded = {});

private:
    Outcome readModule(std::string_view port, ConfigBlock& block, ModuleRecord& record);

    SerialPortFactory& ports_;
    ExchangeReporter& reporter_;
    ProductionJournal* journal_ = nullptr;
    bool verify_ = false;
};

}  // namespace dl250t
