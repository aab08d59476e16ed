#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "link/serial_port.hpp"

namespace dl250t {

// What a board-code scanner sent, handed from the thread that reads it to the
// station, which waits for ports and codes at once: every delivery wakes it.
class ScannerFeed {
public:
    struct Taken {
        std::string bytes;
        // The scanner can send nothing more, and why.
        std::optional<std::string> ended;
    };

    // From now on every delivery calls `wake` (at once when something waits
    // already); an empty function calls nothing. Once this returns, a wake
    // set before is no longer called.
    void setWake(std::function<void()> wake);

    // From the reader's thread.
    void deliver(std::string_view bytes);
    void end(std::string why);

    // What came since the last take, without waiting.
    Taken take();

private:
    std::mutex mutex_;
    std::string bytes_;
    std::optional<std::string> ended_;
    std::function<void()> wake_;
};

// Reads a scanner into a feed on a thread of its own, until it is destroyed.
class ScannerReader {
public:
    virtual ~ScannerReader() = default;
};

// A scanner in serial mode on port `name`, 9600 8N1 (what such scanners send
// unless set otherwise; USB ones that show as a serial port ignore the rate).
// Nothing when the port cannot be opened and set up. A port that fails or
// goes away ends the feed.
std::unique_ptr<ScannerReader> startSerialScanner(SerialPortFactory& ports, std::string_view name,
                                                  std::shared_ptr<ScannerFeed> feed);

}  // namespace dl250t
