#include "platform/port_event_watch.hpp"

#include <windows.h>

#include "platform/signal_cleanup.hpp"
#include "platform/win32/device_notifications.hpp"
#include "platform/win32/stop_event.hpp"

namespace dl250t {

namespace {

// The class of the message-only window that receives the notifications. Test
// programs find the window by it (FindWindowEx with HWND_MESSAGE).
constexpr const wchar_t* kWindowClass = L"dl250t.PortEvents";

// A window that is never shown, only there to receive WM_DEVICECHANGE: Windows
// sends device notifications to windows, not to threads. Everything runs on
// the thread that made it.
class DeviceNotificationWatch final : public PortEventWatch {
public:
    static std::unique_ptr<DeviceNotificationWatch> start(std::string& problem) {
        const HINSTANCE instance = GetModuleHandleW(nullptr);
        WNDCLASSEXW windowClass = {};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = &DeviceNotificationWatch::windowProcedure;
        windowClass.hInstance = instance;
        windowClass.lpszClassName = kWindowClass;
        if (RegisterClassExW(&windowClass) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
            problem = "no window for device notifications";
            return nullptr;
        }
        auto watch = std::unique_ptr<DeviceNotificationWatch>(new DeviceNotificationWatch);
        watch->window_ = CreateWindowExW(0, kWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                         instance, watch.get());
        if (watch->window_ == nullptr) {
            problem = "no window for device notifications";
            return nullptr;
        }
        // Auto-reset: one wake ends one wait, and a wake while the program
        // is busy ends the next one.
        watch->wakeEvent_ = CreateEventW(nullptr, FALSE, FALSE, nullptr);
        if (watch->wakeEvent_ == nullptr) {
            problem = "no event to wake the wait";
            return nullptr;
        }
        watch->registration_ = registerForSerialPorts(watch->window_);
        if (watch->registration_ == nullptr) {
            problem = "Windows refused notifications of serial ports";
            return nullptr;
        }
        return watch;
    }

    ~DeviceNotificationWatch() override {
        if (registration_ != nullptr) {
            UnregisterDeviceNotification(registration_);
        }
        if (window_ != nullptr) {
            DestroyWindow(window_);
        }
        if (wakeEvent_ != nullptr) {
            CloseHandle(wakeEvent_);
        }
    }

    void wake() override { SetEvent(wakeEvent_); }

    std::optional<std::vector<PortEvent>> wait() override {
        const HANDLE stop = stopRequestedEvent();
        const HANDLE handles[] = {wakeEvent_, stop};
        const DWORD handleCount = stop != nullptr ? 2 : 1;
        while (events_.empty()) {
            if (SignalCleanup::stopRequested() != 0) {
                break;
            }
            // Messages sent from other threads or programs are delivered
            // inside this wait and inside PeekMessage below.
            const DWORD woken = MsgWaitForMultipleObjectsEx(handleCount, handles, INFINITE,
                                                            QS_ALLINPUT, MWMO_INPUTAVAILABLE);
            if (woken == WAIT_FAILED) {
                return std::nullopt;
            }
            if (woken == WAIT_OBJECT_0) {
                break;
            }
            MSG message;
            while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
                TranslateMessage(&message);
                DispatchMessageW(&message);
            }
        }
        std::vector<PortEvent> events;
        events.swap(events_);
        return events;
    }

private:
    DeviceNotificationWatch() = default;

    static LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam,
                                            LPARAM lParam) {
        if (message == WM_NCCREATE) {
            const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
            SetWindowLongPtrW(window, GWLP_USERDATA,
                              reinterpret_cast<LONG_PTR>(create->lpCreateParams));
        }
        auto* watch =
            reinterpret_cast<DeviceNotificationWatch*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        if (message == WM_DEVICECHANGE && watch != nullptr) {
            if (auto event = portEventOfMessage(wParam, lParam, watch->names_)) {
                watch->events_.push_back(std::move(*event));
            }
            return TRUE;
        }
        return DefWindowProcW(window, message, wParam, lParam);
    }

    HWND window_ = nullptr;
    HDEVNOTIFY registration_ = nullptr;
    HANDLE wakeEvent_ = nullptr;
    RegistryPortNames names_;
    std::vector<PortEvent> events_;
};

}  // namespace

std::unique_ptr<PortEventWatch> startPortEventWatch(std::string& problem) {
    return DeviceNotificationWatch::start(problem);
}

}  // namespace dl250t
