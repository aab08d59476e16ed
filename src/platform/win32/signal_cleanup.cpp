#include "platform/signal_cleanup.hpp"

#include <windows.h>

#include <array>
#include <atomic>
#include <csignal>
#include <mutex>
#include <optional>

#include "platform/win32/stop_event.hpp"
#include "platform/win32/wide_text.hpp"

namespace dl250t {

namespace {

// Windows calls the handler on a thread of its own while the program's
// threads go on, so the tables are guarded by a lock. The handler that ends
// the program keeps that lock to the end: a temporary about to be made, or a
// port about to be closed by its owner, then waits instead of racing the
// clean-up. Recursive, so that nothing the ending thread runs can wait for
// itself. More temporaries or ports than this at once are not registered.
constexpr std::size_t kSlots = 16;

struct Registry {
    std::recursive_mutex lock;
    std::array<std::optional<std::wstring>, kSlots> temporaries;
    std::array<HANDLE, kSlots> heldPorts{};
};

Registry& registry() {
    // Never destroyed: the handler may still use it while the program ends.
    static Registry* const instance = new Registry;
    return *instance;
}

std::atomic<int> onStopAction{static_cast<int>(SignalCleanup::OnStop::CleanUpAndEnd)};
std::atomic<int> stopSignal{0};

// What Windows itself ends a program with on Ctrl+C, Ctrl+Break and the
// closing of its console.
constexpr UINT kStoppedExitCode = STATUS_CONTROL_C_EXIT;

void cleanUpLocked(Registry& r) {
    for (const std::optional<std::wstring>& path : r.temporaries) {
        if (path) {
            // The file may be open for writing still: it goes once that
            // handle is closed, at the latest when the program ends.
            DeleteFileW(path->c_str());
        }
    }
    for (HANDLE& port : r.heldPorts) {
        if (port != nullptr) {
            // Pending transfers end at once and unsent bytes are dropped,
            // so that closing the port waits for nothing.
            PurgeComm(port, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);
            CloseHandle(port);
            port = nullptr;
        }
    }
}

BOOL WINAPI onConsoleEvent(DWORD event) {
    const bool interrupt = event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT;
    if (interrupt && onStopAction.load() == static_cast<int>(SignalCleanup::OnStop::RaiseFlag)) {
        int none = 0;
        if (stopSignal.compare_exchange_strong(none, event == CTRL_C_EVENT ? SIGINT : SIGBREAK)) {
            SetEvent(stopRequestedEvent());
            return TRUE;
        }
    }
    Registry& r = registry();
    r.lock.lock();  // kept: nothing is registered or closed from now on
    cleanUpLocked(r);
    // At once, as Windows would end the program: no exit handlers of the
    // program's own, which could wait for a lock that one of its stopped
    // threads holds.
    TerminateProcess(GetCurrentProcess(), kStoppedExitCode);
    return TRUE;
}

}  // namespace

HANDLE stopRequestedEvent() {
    // Made once and never closed: the handler may set it while the program ends.
    static const HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    return event;
}

void SignalCleanup::install(OnStop onStop) {
    setOnStop(onStop);
    registry();
    stopRequestedEvent();
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

void SignalCleanup::setOnStop(OnStop onStop) {
    onStopAction.store(static_cast<int>(onStop));
}

int SignalCleanup::stopRequested() {
    return stopSignal.load();
}

void SignalCleanup::cleanUpNow() {
    Registry& r = registry();
    const std::lock_guard<std::recursive_mutex> guard(r.lock);
    cleanUpLocked(r);
}

SignalCleanup::TemporaryFile::TemporaryFile(const std::string& path) {
    auto wide = utf8ToWide(path);
    if (!wide) {
        return;
    }
    Registry& r = registry();
    const std::lock_guard<std::recursive_mutex> guard(r.lock);
    for (std::size_t i = 0; i < r.temporaries.size(); ++i) {
        if (!r.temporaries[i]) {
            r.temporaries[i] = std::move(*wide);
            slot_ = static_cast<int>(i);
            return;
        }
    }
}

SignalCleanup::TemporaryFile::~TemporaryFile() {
    if (slot_ >= 0) {
        Registry& r = registry();
        const std::lock_guard<std::recursive_mutex> guard(r.lock);
        r.temporaries[static_cast<std::size_t>(slot_)].reset();
    }
}

SignalCleanup::HeldPort::HeldPort(PortHandle port) {
    if (port == nullptr || port == INVALID_HANDLE_VALUE) {
        return;
    }
    Registry& r = registry();
    const std::lock_guard<std::recursive_mutex> guard(r.lock);
    for (std::size_t i = 0; i < r.heldPorts.size(); ++i) {
        if (r.heldPorts[i] == nullptr) {
            r.heldPorts[i] = port;
            slot_ = static_cast<int>(i);
            return;
        }
    }
}

SignalCleanup::HeldPort::~HeldPort() {
    if (slot_ >= 0) {
        Registry& r = registry();
        const std::lock_guard<std::recursive_mutex> guard(r.lock);
        r.heldPorts[static_cast<std::size_t>(slot_)] = nullptr;
    }
}

}  // namespace dl250t
