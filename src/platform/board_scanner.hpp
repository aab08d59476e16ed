#pragma once

#include <memory>
#include <string>

#include "link/serial_port.hpp"
#include "production/scanner_feed.hpp"

namespace dl250t {

// Starts reading the scanner of board codes into `feed`: "-" is standard
// input (a scanner that types like a keyboard into the program's terminal,
// or a pipe), any other name a scanner in serial mode on that port of
// `ports`. The end of standard input, or a port that fails or goes away,
// ends the feed. Stops that SignalCleanup remembers still wake the program's
// waits while the reader runs. Nothing, and why in `problem`, when the
// scanner cannot be read.
std::unique_ptr<ScannerReader> startBoardScanner(const std::string& source,
                                                 SerialPortFactory& ports,
                                                 std::shared_ptr<ScannerFeed> feed,
                                                 std::string& problem);

}  // namespace dl250t
