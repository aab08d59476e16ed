#include "platform/board_scanner.hpp"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <thread>

namespace dl250t {

namespace {

// Standard input on a thread that a pipe of its own ends, so that the
// program's end never waits for a line that does not come.
class StandardInputScanner final : public ScannerReader {
public:
    explicit StandardInputScanner(std::shared_ptr<ScannerFeed> feed) : feed_(std::move(feed)) {}

    bool start() {
        if (pipe2(stop_, O_CLOEXEC) != 0) {
            return false;
        }
        thread_ = std::thread([this] { read(); });
        return true;
    }

    ~StandardInputScanner() override {
        if (thread_.joinable()) {
            const char stop = 0;
            [[maybe_unused]] const ssize_t written = ::write(stop_[1], &stop, 1);
            thread_.join();
        }
        for (const int fd : stop_) {
            if (fd >= 0) {
                ::close(fd);
            }
        }
    }

private:
    void read() {
        char buffer[256];
        for (;;) {
            pollfd watched[2] = {{STDIN_FILENO, POLLIN, 0}, {stop_[0], POLLIN, 0}};
            if (poll(watched, 2, -1) < 0) {
                if (errno == EINTR) {
                    continue;
                }
                feed_->end("standard input cannot be read");
                return;
            }
            if (watched[1].revents != 0) {
                return;
            }
            if (watched[0].revents == 0) {
                continue;
            }
            const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
            if (n > 0) {
                feed_->deliver(std::string_view(buffer, static_cast<std::size_t>(n)));
            } else if (n == 0) {
                feed_->end("end of standard input");
                return;
            } else if (errno != EINTR && errno != EAGAIN) {
                feed_->end("standard input cannot be read");
                return;
            }
        }
    }

    std::shared_ptr<ScannerFeed> feed_;
    int stop_[2] = {-1, -1};
    std::thread thread_;
};

// The stop signals stay with the main thread, whose wait lets them in at
// the one moment it can act on them: a reader's thread inherits this mask.
class StopSignalsHeldBack {
public:
    StopSignalsHeldBack() {
        sigset_t stops;
        sigemptyset(&stops);
        sigaddset(&stops, SIGINT);
        sigaddset(&stops, SIGTERM);
        sigaddset(&stops, SIGHUP);
        pthread_sigmask(SIG_BLOCK, &stops, &before_);
    }
    ~StopSignalsHeldBack() { pthread_sigmask(SIG_SETMASK, &before_, nullptr); }
    StopSignalsHeldBack(const StopSignalsHeldBack&) = delete;
    StopSignalsHeldBack& operator=(const StopSignalsHeldBack&) = delete;

private:
    sigset_t before_;
};

}  // namespace

std::unique_ptr<ScannerReader> startBoardScanner(const std::string& source,
                                                 SerialPortFactory& ports,
                                                 std::shared_ptr<ScannerFeed> feed,
                                                 std::string& problem) {
    const StopSignalsHeldBack heldBack;
    if (source == "-") {
        auto scanner = std::make_unique<StandardInputScanner>(std::move(feed));
        if (!scanner->start()) {
            problem = "standard input cannot be watched";
            return nullptr;
        }
        return scanner;
    }
    auto scanner = startSerialScanner(ports, source, std::move(feed));
    if (scanner == nullptr) {
        problem = "the port " + source + " cannot be opened";
    }
    return scanner;
}

}  // namespace dl250t
