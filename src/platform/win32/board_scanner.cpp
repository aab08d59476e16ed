#include "platform/board_scanner.hpp"

#include <windows.h>

#include <thread>

#include "platform/signal_cleanup.hpp"

namespace dl250t {

namespace {

// Standard input on a thread of its own. A read of a console or a pipe
// cannot be ended from outside everywhere, so the thread is let go at the
// end, holding the feed that it alone still fills; the program's end takes it
// with it.
class StandardInputScanner final : public ScannerReader {
public:
    explicit StandardInputScanner(std::shared_ptr<ScannerFeed> feed)
        : thread_([feed = std::move(feed)] { read(*feed); }) {}

    ~StandardInputScanner() override { thread_.detach(); }

private:
    static void read(ScannerFeed& feed) {
        const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
        if (input == nullptr || input == INVALID_HANDLE_VALUE) {
            feed.end("standard input is closed");
            return;
        }
        DWORD mode = 0;
        const bool console = GetConsoleMode(input, &mode) != 0;
        char buffer[256];
        for (;;) {
            DWORD count = 0;
            if (!ReadFile(input, buffer, sizeof buffer, &count, nullptr)) {
                const DWORD error = GetLastError();
                if (error == ERROR_OPERATION_ABORTED) {
                    continue;
                }
                feed.end(error == ERROR_BROKEN_PIPE ? "end of standard input"
                                                    : "standard input cannot be read");
                return;
            }
            if (count > 0) {
                feed.deliver(std::string_view(buffer, count));
                continue;
            }
            // Ctrl+C ends a console read with nothing as Ctrl+Z does; the
            // stop it also raises comes on a thread of its own, a moment later.
            if (console) {
                Sleep(200);
                if (SignalCleanup::stopRequested() != 0) {
                    return;
                }
            }
            feed.end("end of standard input");
            return;
        }
    }

    std::thread thread_;
};

}  // namespace

std::unique_ptr<ScannerReader> startBoardScanner(const std::string& source,
                                                 SerialPortFactory& ports,
                                                 std::shared_ptr<ScannerFeed> feed,
                                                 std::string& problem) {
    if (source == "-") {
        return std::make_unique<StandardInputScanner>(std::move(feed));
    }
    auto scanner = startSerialScanner(ports, source, std::move(feed));
    if (scanner == nullptr) {
        problem = "the port " + source + " cannot be opened";
    }
    return scanner;
}

}  // namespace dl250t
