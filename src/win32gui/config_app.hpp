#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "app/window_services.hpp"
#include "config/clock.hpp"
#include "win32gui/config_window.hpp"
#include "win32gui/win32_form_view.hpp"
#include "win32gui/win32_prompter.hpp"
#include "win32gui/win32_window_host.hpp"

namespace dl250t {

// The application: the window, its adapters and the controller, wired
// together as in the Linux window.
class ConfigApp {
public:
    struct Options {
        // The title of the number messages: the program's file name.
        std::string programName = "dl250t-config";
        // Leave unset for the system's serial ports and clock; tests put
        // their own in.
        SerialPortFactory* ports = nullptr;
        const Clock* clock = nullptr;
        // The production journal that every Write is recorded in; none when
        // empty. Verification of every block written.
        std::string journal = {};
        bool verify = false;
    };

    ConfigApp(HINSTANCE instance, Options options);
    ~ConfigApp();
    ConfigApp(const ConfigApp&) = delete;
    ConfigApp& operator=(const ConfigApp&) = delete;

    // Makes the window and initialises the controller (its registration
    // message, and that of a journal that cannot be written, come before the
    // window shows), then shows the window centred with the focus on the port
    // field. False when Windows refused the window.
    bool start();

    // start(), then the window's messages until it closes.
    int run();

    ConfigWindow& window() { return window_; }
    Win32FormView& view() { return view_; }
    ConfigDialog& dialog() { return services_.dialog(); }

private:
    void created();

    Win32FormView view_;
    Win32Prompter prompter_;
    Win32WindowHost host_;
    ConfigWindow window_;
    std::unique_ptr<SerialPortFactory> systemPorts_;
    // Claims on the system's ports; none when a test puts its own ports in.
    std::unique_ptr<PortClaims> systemClaims_;
    std::unique_ptr<FileStore> files_;
    SystemClock systemClock_;
    WindowServices services_;
};

}  // namespace dl250t
