#include "production/scanner_feed.hpp"

#include <array>
#include <atomic>
#include <cstdint>
#include <thread>

namespace dl250t {

void ScannerFeed::setWake(std::function<void()> wake) {
    const std::lock_guard lock(mutex_);
    wake_ = std::move(wake);
    if (wake_ && (!bytes_.empty() || ended_)) {
        wake_();
    }
}

void ScannerFeed::deliver(std::string_view bytes) {
    const std::lock_guard lock(mutex_);
    bytes_ += bytes;
    if (wake_) {
        wake_();
    }
}

void ScannerFeed::end(std::string why) {
    const std::lock_guard lock(mutex_);
    if (!ended_) {
        ended_ = std::move(why);
    }
    if (wake_) {
        wake_();
    }
}

ScannerFeed::Taken ScannerFeed::take() {
    const std::lock_guard lock(mutex_);
    Taken taken{std::move(bytes_), ended_};
    bytes_.clear();
    return taken;
}

namespace {

// How long one read waits before the thread looks whether it is to stop: the
// longest the program's end waits for it.
constexpr ReadTimeouts kScannerRead{std::chrono::milliseconds(250), std::chrono::milliseconds(20)};

class SerialScanner final : public ScannerReader {
public:
    SerialScanner(std::unique_ptr<SerialPort> port, std::shared_ptr<ScannerFeed> feed)
        : port_(std::move(port)), feed_(std::move(feed)), thread_([this] { read(); }) {}

    ~SerialScanner() override {
        stop_ = true;
        thread_.join();
    }

private:
    void read() {
        std::array<std::uint8_t, 256> buffer{};
        while (!stop_) {
            const ReadResult result = port_->read(buffer, kScannerRead);
            if (result.count > 0) {
                feed_->deliver(
                    std::string_view(reinterpret_cast<const char*>(buffer.data()), result.count));
            }
            if (!result.ok) {
                feed_->end("the scanner's port failed or is gone");
                return;
            }
        }
    }

    std::unique_ptr<SerialPort> port_;
    std::shared_ptr<ScannerFeed> feed_;
    std::atomic<bool> stop_ = false;
    std::thread thread_;
};

}  // namespace

std::unique_ptr<ScannerReader> startSerialScanner(SerialPortFactory& ports, std::string_view name,
                                                  std::shared_ptr<ScannerFeed> feed) {
    std::unique_ptr<SerialPort> port = ports.createPort();
    const bool open = port->openExisting(name) && port->readLineSettings() &&
                      port->applyLineDescription("baud=9600 parity=N data=8 stop=1") &&
                      port->writeLineSettings() && port->setTimeouts({1, 1, 250, 0, 0}) &&
                      port->purge();
    if (!open) {
        return nullptr;
    }
    return std::make_unique<SerialScanner>(std::move(port), std::move(feed));
}

}  // namespace dl250t
