#include "platform/port_event_watch.hpp"

#include <errno.h>
#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>

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
        // Last in the list: a wake from another thread.
        wakeFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        watched_.push_back({wakeFd_, POLLIN, 0});
        sigemptyset(&stopSignals_);
        sigaddset(&stopSignals_, SIGINT);
        sigaddset(&stopSignals_, SIGTERM);
    }

    ~PollingPortEventWatch() override {
        if (wakeFd_ >= 0) {
            ::close(wakeFd_);
        }
    }

    bool wakeable() const { return wakeFd_ >= 0; }

    void wake() override {
        const std::uint64_t one = 1;
        // A counter that is already set wakes the wait all the same.
        [[maybe_unused]] const ssize_t written = ::write(wakeFd_, &one, sizeof one);
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
            if (watched_.back().revents != 0) {
                std::uint64_t count = 0;
                [[maybe_unused]] const ssize_t read = ::read(wakeFd_, &count, sizeof count);
                return events;
            }
        }
        return events;
    }

private:
    std::vector<std::unique_ptr<PortEventSource>> sources_;
    std::vector<pollfd> watched_;
    sigset_t stopSignals_;
    int wakeFd_ = -1;
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
    auto watch = std::make_unique<PollingPortEventWatch>(std::move(sources));
    if (!watch->wakeable()) {
        problem = "no event descriptor to wake the wait";
        return nullptr;
    }
    return watch;
}

}  // namespace dl250t
