#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string_view>

#include "app/config_dialog.hpp"
#include "hotplug/port_event.hpp"
#include "platform/win32/device_notifications.hpp"
#include "win32gui/win32_form_view.hpp"

namespace dl250t {

// The main window: a dialog made at run time from the form template, with
// the template's initial list items, the About entry in its system menu, the
// production entries in its context menu and the program icon. The window
// only shows and forwards; what happens is decided by the controller through
// the handlers.
class ConfigWindow {
public:
    struct Handlers {
        // The window exists, hidden, with its lists filled: the controller
        // sets itself up.
        std::function<void()> created = {};
        // A click, a selection change or an edit by the operator.
        std::function<void(ControlEvent, ctl::ControlId)> controlEvent = {};
        // Enter: true when the window may close.
        std::function<bool()> accept = {};
        // The About entry of the system menu or the context menu, or F1.
        std::function<void()> about = {};
        // A serial port arrived or went.
        std::function<void(const PortEvent&)> portEvent = {};
        // The context menu's production entries: verification ticked or
        // unticked, and the journal to be chosen.
        std::function<void(bool)> verifyChanged = {};
        std::function<void()> chooseJournal = {};
        // Board codes scanned ticked or unticked; while takesScannerKeys says
        // so, what is typed anywhere in the window goes to scannerKeys (Enter
        // as CR) and not to the controls: a scanner that types like a
        // keyboard, into a form that auto-configure has frozen.
        std::function<void(bool)> scanChanged = {};
        std::function<bool()> takesScannerKeys = {};
        std::function<void(std::string_view)> scannerKeys = {};
    };

    // The production entries of the context menu, as in the Linux window.
    static constexpr std::string_view kVerifyMenuText = "写入后校验";
    static constexpr std::string_view kJournalMenuText = "生产记录…";
    static constexpr std::string_view kScanMenuText = "扫描板号";
    // Their commands, apart from the control IDs and the system's.
    static constexpr UINT kVerifyCommand = 0x7001;
    static constexpr UINT kJournalCommand = 0x7002;
    static constexpr UINT kAboutMenuCommand = 0x7003;
    static constexpr UINT kScanCommand = 0x7004;

    ConfigWindow(HINSTANCE instance, Win32FormView& view);
    ~ConfigWindow();
    ConfigWindow(const ConfigWindow&) = delete;
    ConfigWindow& operator=(const ConfigWindow&) = delete;

    void setHandlers(Handlers handlers) { handlers_ = std::move(handlers); }

    // Makes the window, hidden; the handler `created` has run when it returns.
    // Nothing when Windows refused it.
    HWND create();
    // Shows it centred on its screen, with the focus on the port field.
    void showCentred();
    HWND handle() const { return window_; }

    bool verifyChecked() const { return verify_; }
    void setVerifyChecked(bool verify) { verify_ = verify; }
    bool scanChecked() const { return scan_; }

    // Runs the window's messages until it is closed; the program's status.
    int runMessageLoop();

private:
    static INT_PTR CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR handleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void initialise();
    void command(WPARAM wParam, LPARAM lParam);
    void showContextMenu(LPARAM position);
    // A keystroke of the window taken for the scanner; false for one that is
    // the window's own.
    bool takeScannerKey(const MSG& message);
    void paintIcon();
    void close();

    HINSTANCE instance_;
    Win32FormView& view_;
    Handlers handlers_;
    RegistryPortNames portNames_;
    HWND window_ = nullptr;
    HICON bigIcon_ = nullptr;
    HICON smallIcon_ = nullptr;
    bool verify_ = false;
    bool scan_ = false;
};

}  // namespace dl250t
