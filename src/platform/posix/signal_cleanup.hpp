#pragma once

#include <string>

namespace dl250t {

// What SIGINT, SIGTERM and SIGHUP leave behind. A program installs this at
// start; from then on the temporary files being written and the serial ports
// in use register themselves here, and a signal that ends the program first
// removes those temporaries and releases those ports (clears their exclusive
// flag, gives up their lock, drops unsent bytes), then ends the program as
// the signal would have without a handler. The handler makes only
// async-signal-safe calls.
class SignalCleanup {
public:
    // What SIGINT and SIGTERM do. SIGHUP always ends the program: the
    // terminal or session it belonged to is gone.
    enum class OnStop {
        CleanUpAndEnd,
        // Remember the signal and carry on, so that the program can finish
        // what it is doing and then end; a second one ends it at once.
        RaiseFlag,
    };

    // Installs the handlers. A signal that was ignored when the program
    // started (nohup, a background job) stays ignored.
    static void install(OnStop onStop = OnStop::CleanUpAndEnd);
    static void setOnStop(OnStop onStop);
    // The SIGINT or SIGTERM remembered under RaiseFlag; 0 when none came.
    static int stopRequested();

    // Removes the registered temporaries and releases the registered ports
    // now, as the handler does. Async-signal-safe.
    static void cleanUpNow();

    // A temporary file that must not outlive the program. Register it before
    // the file is made, and let the registration go once the file has been
    // renamed or removed: a signal in between then finds nothing to remove.
    class TemporaryFile {
    public:
        explicit TemporaryFile(const std::string& path);
        ~TemporaryFile();
        TemporaryFile(const TemporaryFile&) = delete;
        TemporaryFile& operator=(const TemporaryFile&) = delete;

    private:
        int slot_ = -1;
    };

    // A serial port held exclusively. Register it as soon as it is open, and
    // let the registration go after it has been released and before it is
    // closed, so that the descriptor cannot be someone else's by then.
    class HeldPort {
    public:
        explicit HeldPort(int fd);
        ~HeldPort();
        HeldPort(const HeldPort&) = delete;
        HeldPort& operator=(const HeldPort&) = delete;

    private:
        int slot_ = -1;
    };
};

}  // namespace dl250t
