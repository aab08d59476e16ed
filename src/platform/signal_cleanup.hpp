#pragma once

#include <string>

namespace dl250t {

// What a stop from outside leaves behind: SIGINT, SIGTERM and SIGHUP on POSIX
// systems; Ctrl+C, Ctrl+Break and the closing of the console (or the end of
// the session) on Windows. A program installs this at start; from then on the
// temporary files being written and the serial ports in use register
// themselves here, and a stop that ends the program first removes those
// temporaries and releases those ports (drops their unsent bytes and gives up
// the exclusive hold on them), then ends the program as the stop would have
// without a handler. On POSIX systems the handler makes only
// async-signal-safe calls; on Windows it runs on a thread of its own and
// keeps later registrations waiting until the program has ended.
class SignalCleanup {
public:
    // What SIGINT and SIGTERM (Ctrl+C and Ctrl+Break) do. SIGHUP and the
    // closing of the console always end the program: the terminal or session
    // it belonged to is gone.
    enum class OnStop {
        CleanUpAndEnd,
        // Remember the stop and carry on, so that the program can finish
        // what it is doing and then end; a second one ends it at once.
        RaiseFlag,
    };

    // Installs the handlers. A stop that was ignored when the program
    // started (nohup, a background job, a process group without Ctrl+C)
    // stays ignored.
    static void install(OnStop onStop = OnStop::CleanUpAndEnd);
    static void setOnStop(OnStop onStop);
    // The stop remembered under RaiseFlag, as a signal number (SIGINT or
    // SIGTERM; on Windows SIGINT for Ctrl+C, SIGBREAK for Ctrl+Break); 0 when
    // none came.
    static int stopRequested();

    // Removes the registered temporaries and releases the registered ports
    // now, as the handler does: for a program that is about to end (on
    // Windows the ports are closed).
    static void cleanUpNow();

    // A temporary file that must not outlive the program, by its UTF-8 path.
    // Register it before the file is made, and let the registration go once
    // the file has been renamed or removed: a stop in between then finds
    // nothing to remove.
    class TemporaryFile {
    public:
        explicit TemporaryFile(const std::string& path);
        ~TemporaryFile();
        TemporaryFile(const TemporaryFile&) = delete;
        TemporaryFile& operator=(const TemporaryFile&) = delete;

    private:
        int slot_ = -1;
    };

#ifdef _WIN32
    using PortHandle = void*;  // a HANDLE
#else
    using PortHandle = int;  // a file descriptor
#endif

    // A serial port held exclusively. Register it as soon as it is open, and
    // let the registration go after it has been released and before it is
    // closed, so that the handle cannot be someone else's by then.
    class HeldPort {
    public:
        explicit HeldPort(PortHandle port);
        ~HeldPort();
        HeldPort(const HeldPort&) = delete;
        HeldPort& operator=(const HeldPort&) = delete;

    private:
        int slot_ = -1;
    };
};

}  // namespace dl250t
