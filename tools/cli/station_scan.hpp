#pragma once

#include <iosfwd>
#include <memory>
#include <string>

#include "link/serial_port.hpp"
#include "production/scanner_feed.hpp"
#include "production/station.hpp"

namespace dl250t::cli {

// The station's board codes (--scan): the scanner, read on a thread of its
// own, and what the station tells of every code and every module waiting.
class StationScan {
public:
    // kExitOk once the scanner reads, else the status of what failed, said on err.
    int start(const std::string& source, SerialPortFactory& ports, std::ostream& err);
    bool started() const { return reader_ != nullptr; }

    // The run, pairing modules with codes once the scanner reads, telling of
    // them on out and err.
    Station::Run attach(Station::Run run, std::ostream& out, std::ostream& err);

    // Why the run ended without codes, on err; the exit status.
    int ended(const Station& station, std::ostream& err) const;

private:
    std::shared_ptr<ScannerFeed> feed_ = std::make_shared<ScannerFeed>();
    std::unique_ptr<ScannerReader> reader_;
};

}  // namespace dl250t::cli
