#include "platform/port_event_watch.hpp"

#include <errno.h>
#include <poll.h>
#include <signal.h>

#include "platform/port_event_source.hpp"
#include "platform/posix/port_directory.hpp"
#include "platform/signal_cleanup.hpp"

namespace dl250t {

namespace {

class PollingPortEventWatch final : public PortEventWatch {
public:
    explicit PollingPortEventWatch(std::vector<std::unique_ptr<PortEventSource>> sources)
        : sources_(std::move(sources)) {
        for (const auto& source : sources_) {
            watched_.push_back({source->descriptor(), POLLIN, 0});
        }
        sigemptyset(&stopSignals_);
        sigaddset(&stopSignals_, SIGINT);
        sigaddset(&stopSignals_, SIGTERM);
    }

    std::optional<std::vector<PortEvent>> wait() override {
        std::vector<PortEvent> events;
        while (events.empty()) {
            // Between the look at the stop flag and the wait, SIGINT and
            // SIGTERM are held back, so that none can slip in and leave the
            // wait unwoken; the wait lets them in again.
            sigset_t waiting;
            sigprocmask(SIG_BLOCK, &stopSignals_, &waiting);
            if (SignalCleanup::stopRequested() != 0) {
                sigprocmask(SIG_SETMASK, &waiting, nullptr);
                return events;
            }
            for (pollfd& entry : watched_) {
                entry.revents = 0;
            }
            const int ready = ppoll(watched_.data(), watched_.size(), nullptr, &waiting);
            const int pollError = errno;
            sigprocmask(SIG_SETMASK, &waiting, nullptr);
            if (ready < 0) {
                if (pollError == EINTR) {
                    continue;
                }
                return std::nullopt;
            }
            for (std::size_t i = 0; i < sources_.size(); ++i) {
                if (watched_[i].revents != 0) {
                    for (PortEvent& event : sources_[i]->drainEvents()) {
                        events.push_back(std::move(event));
                    }
                }
            }
        }
        return events;
    }

private:
    std::vector<std::unique_ptr<PortEventSource>> sources_;
    std::vector<pollfd> watched_;
    sigset_t stopSignals_;
};

}  // namespace

std::unique_ptr<PortEventWatch> startPortEventWatch(std::string& problem) {
    const std::filesystem::path portDirectory = defaultPortDirectory();
    auto sources = startHotPlugSources(portDirectory);
    if (sources.empty()) {
        problem = "port directory " + portDirectory.string() + ": ";
        problem += portDirectoryStateText(checkPortDirectory(portDirectory));
        return nullptr;
    }
    return std::make_unique<PollingPortEventWatch>(std::move(sources));
}

}  // namespace dl250t
