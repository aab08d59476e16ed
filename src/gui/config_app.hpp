#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "app/window_services.hpp"
#include "config/clock.hpp"
#include "gui/config_window.hpp"
#include "gui/qt_form_view.hpp"
#include "gui/qt_prompter.hpp"
#include "gui/qt_window_host.hpp"
#include "platform/posix/posix_file_store.hpp"
#include "platform/posix/posix_port_claims.hpp"
#include "platform/posix/posix_serial_port.hpp"

namespace dl250t {

// The application: the window, its adapters and the controller, wired
// together. A QApplication must exist first.
class ConfigApp {
public:
    struct Options {
        // COM names are looked up here; the hot-plug sources watch it too.
        std::filesystem::path portDirectory = {};
        QtWindowHost::SourceStarter startSources = {};
        // The title of the number messages: the program's file name.
        std::string programName = "dl250t-config";
        // Leave unset for the Qt dialogs and the system clock; tests put
        // their own in.
        Prompter* prompter = nullptr;
        const Clock* clock = nullptr;
        // The screen's logical DPI over 96; 0 asks the primary screen.
        double scale = 0;
        // The production journal that every Write is recorded in: a CSV
        // file or a postgresql:// URI, none when empty; the line of a
        // database journal (see JournalChoice). Verification of every block
        // written.
        std::string journal = {};
        std::optional<std::string> line = {};
        bool verify = false;
    };

    explicit ConfigApp(Options options);
    ~ConfigApp();
    ConfigApp(const ConfigApp&) = delete;
    ConfigApp& operator=(const ConfigApp&) = delete;

    // Initialises the controller (its registration message, and that of a
    // journal that cannot be written, come before the window), then shows the
    // window centred with the focus on the port field.
    void start();

    // start(), then the event loop until the window closes.
    int run();

    ConfigWindow& window() { return window_; }
    QtFormView& view() { return view_; }
    QtWindowHost& host() { return host_; }
    ConfigDialog& dialog() { return services_.dialog(); }

private:
    ConfigWindow window_;
    QtFormView view_;
    QtPrompter qtPrompter_;
    QtWindowHost host_;
    PosixSerialPortFactory ports_;
    PosixPortClaims claims_;
    PosixFileStore files_;
    SystemClock systemClock_;
    WindowServices services_;
};

}  // namespace dl250t
