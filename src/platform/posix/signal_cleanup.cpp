#include "platform/posix/signal_cleanup.hpp"

#include <errno.h>
#include <limits.h>
#include <pthread.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cstring>

namespace dl250t {

namespace {

// Fixed tables, so that the handler never meets a lock or an allocation.
// More temporaries or ports than this at once are not registered.
constexpr std::size_t kSlots = 16;

enum SlotState : int { kFree, kFilling, kSet };

struct TemporarySlot {
    std::atomic<int> state{kFree};
    char path[PATH_MAX] = {};
};

struct PortSlot {
    std::atomic<int> fd{-1};
};

std::array<TemporarySlot, kSlots> temporaries;
std::array<PortSlot, kSlots> heldPorts;

std::atomic<int> onStopAction{static_cast<int>(SignalCleanup::OnStop::CleanUpAndEnd)};
std::atomic<int> stopSignal{0};

static_assert(std::atomic<int>::is_always_lock_free, "the handler reads these atomics");

constexpr std::array<int, 3> kSignals = {SIGINT, SIGTERM, SIGHUP};

sigset_t handledSignals() {
    sigset_t set;
    sigemptyset(&set);
    for (int signalNumber : kSignals) {
        sigaddset(&set, signalNumber);
    }
    return set;
}

extern "C" void onSignal(int signalNumber) {
    const int savedErrno = errno;
    if (signalNumber != SIGHUP &&
        onStopAction.load() == static_cast<int>(SignalCleanup::OnStop::RaiseFlag)) {
        int none = 0;
        if (stopSignal.compare_exchange_strong(none, signalNumber)) {
            errno = savedErrno;
            return;
        }
    }
    SignalCleanup::cleanUpNow();
    // Then the signal's own action: the parent sees the program ended by it.
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    sigaction(signalNumber, &fallback, nullptr);
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, signalNumber);
    pthread_sigmask(SIG_UNBLOCK, &only, nullptr);
    raise(signalNumber);
    _exit(128 + signalNumber);
}

}  // namespace

void SignalCleanup::install(OnStop onStop) {
    setOnStop(onStop);
    struct sigaction action {};
    action.sa_handler = onSignal;
    action.sa_mask = handledSignals();
    action.sa_flags = SA_RESTART;
    for (int signalNumber : kSignals) {
        struct sigaction previous {};
        if (sigaction(signalNumber, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN) {
            continue;
        }
        sigaction(signalNumber, &action, nullptr);
    }
}

void SignalCleanup::setOnStop(OnStop onStop) {
    onStopAction.store(static_cast<int>(onStop));
}

int SignalCleanup::stopRequested() {
    return stopSignal.load();
}

void SignalCleanup::cleanUpNow() {
    for (TemporarySlot& slot : temporaries) {
        if (slot.state.load(std::memory_order_acquire) == kSet) {
            unlink(slot.path);
        }
    }
    for (const PortSlot& held : heldPorts) {
        const int fd = held.fd.load();
        if (fd >= 0) {
            // Unsent bytes would hold up the close at exit for as long as the
            // driver waits for them to drain.
            tcflush(fd, TCIOFLUSH);
            ioctl(fd, TIOCNXCL);
            flock(fd, LOCK_UN);
        }
    }
}

SignalCleanup::TemporaryFile::TemporaryFile(const std::string& path) {
    if (path.size() >= PATH_MAX) {
        return;
    }
    for (std::size_t i = 0; i < temporaries.size(); ++i) {
        int free = kFree;
        if (temporaries[i].state.compare_exchange_strong(free, kFilling)) {
            std::memcpy(temporaries[i].path, path.c_str(), path.size() + 1);
            temporaries[i].state.store(kSet, std::memory_order_release);
            slot_ = static_cast<int>(i);
            return;
        }
    }
}

SignalCleanup::TemporaryFile::~TemporaryFile() {
    if (slot_ >= 0) {
        temporaries[static_cast<std::size_t>(slot_)].state.store(kFree, std::memory_order_release);
    }
}

SignalCleanup::HeldPort::HeldPort(int fd) {
    for (std::size_t i = 0; i < heldPorts.size() && fd >= 0; ++i) {
        int free = -1;
        if (heldPorts[i].fd.compare_exchange_strong(free, fd)) {
            slot_ = static_cast<int>(i);
            return;
        }
    }
}

SignalCleanup::HeldPort::~HeldPort() {
    if (slot_ >= 0) {
        heldPorts[static_cast<std::size_t>(slot_)].fd.store(-1);
    }
}

}  // namespace dl250t
