#include "station_command.hpp"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <array>
#include <ostream>

#include "cli_app.hpp"
#include "config/field_codec.hpp"
#include "module_commands.hpp"
#include "platform/port_event_source.hpp"
#include "platform/posix/port_directory.hpp"
#include "platform/posix/posix_journal_file.hpp"

namespace dl250t::cli {

namespace {

// SIGINT and SIGTERM ask the station to stop once the module in hand is
// done: the handler only puts a byte into a pipe that the station's loop
// watches with the hot-plug sources. The handler is reset by its first
// signal, so that a second one ends the program at once. A signal that was
// ignored when the program started (nohup, a background job) stays ignored.
class StopRequests {
public:
    StopRequests() {
        if (pipe2(pipe_.data(), O_CLOEXEC | O_NONBLOCK) != 0) {
            pipe_ = {-1, -1};
            return;
        }
        writeEnd_ = pipe_[1];
        struct sigaction action {};
        action.sa_handler = onSignal;
        action.sa_flags = SA_RESETHAND;
        sigemptyset(&action.sa_mask);
        for (std::size_t i = 0; i < kSignals.size(); ++i) {
            sigaction(kSignals[i], nullptr, &previous_[i]);
            if (previous_[i].sa_handler != SIG_IGN) {
                sigaction(kSignals[i], &action, nullptr);
            }
        }
    }

    ~StopRequests() {
        if (pipe_[0] < 0) {
            return;
        }
        for (std::size_t i = 0; i < kSignals.size(); ++i) {
            sigaction(kSignals[i], &previous_[i], nullptr);
        }
        writeEnd_ = -1;
        ::close(pipe_[0]);
        ::close(pipe_[1]);
    }

    StopRequests(const StopRequests&) = delete;
    StopRequests& operator=(const StopRequests&) = delete;

    bool installed() const { return pipe_[0] >= 0; }
    int descriptor() const { return pipe_[0]; }

private:
    static constexpr std::array<int, 2> kSignals = {SIGINT, SIGTERM};

    static void onSignal(int) {
        const int saved = errno;
        const char byte = 1;
        [[maybe_unused]] const ssize_t n = ::write(writeEnd_, &byte, 1);
        errno = saved;
    }

    static inline volatile sig_atomic_t writeEnd_ = -1;
    std::array<int, 2> pipe_{-1, -1};
    std::array<struct sigaction, 2> previous_{};
};

// What the station has done, for its closing lines.
struct StationTally {
    long written = 0;
    long failed = 0;
    std::string firstSerial;
    std::string lastSerial;
};

void printSummary(const StationTally& tally, std::ostream& out) {
    out << "modules written: " << tally.written << '\n'
        << "modules failed: " << tally.failed << '\n'
        << "first serial number: " << (tally.written > 0 ? tally.firstSerial : "-") << '\n'
        << "last serial number: " << (tally.written > 0 ? tally.lastSerial : "-") << '\n'
        << std::flush;
}

}  // namespace

int runStation(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    const auto parsed = parseModuleArgs(args, ModuleCommand::Station, err);
    if (!parsed) {
        return kExitUsage;
    }
    StopRequests stop;
    if (!stop.installed()) {
        err << "dl250t-cli station: cannot set up the stop signals\n";
        return kExitUsage;
    }

    StationTally tally;
    ModuleSession session(err, [&](const ModuleRecord& record) {
        const bool written = isSuccess(record.outcome);
        out << localTimeText(record.time) << ' ' << record.port << ' '
            << outcomeText(record.outcome) << ' ' << (written ? record.serial : "-") << '\n'
            << std::flush;
        if (!written) {
            ++tally.failed;
            return;
        }
        if (tally.written++ == 0) {
            tally.firstSerial = record.serial;
        }
        tally.lastSerial = record.serial;
    });
    if (const int status = session.prepare(*parsed, ModuleSession::SerialStart::WindowDefault);
        status != kExitOk) {
        return status;
    }
    ConfigDialog& dialog = session.dialog();
    session.view().setChecked(ctl::AutoConfigure, true);
    dialog.handleControlEvent(ControlEvent::Clicked, ctl::AutoConfigure);

    const std::filesystem::path portDirectory = defaultPortDirectory();
    const auto sources = startHotPlugSources(portDirectory);
    if (sources.empty()) {
        err << "dl250t-cli station: no port arrivals can be watched (port directory "
            << portDirectory.string() << ": "
            << portDirectoryStateText(checkPortDirectory(portDirectory)) << ")\n";
        return kExitPortOpenFailed;
    }
    // The number as the first module will store it.
    ConfigBlock first;
    encodeSerialText(first, session.view().text(ctl::Serial));
    out << "station ready: " << *parsed->file
        << ", first serial number: " << decodeSerialText(first)
        << ", journal: " << parsed->journal.value_or("none")
        << ", verify: " << (parsed->verify ? "on" : "off") << '\n'
        << std::flush;

    bool journalFailed = false;
    const auto done = [&] {
        return journalFailed || (parsed->count && tally.written >= *parsed->count);
    };
    std::vector<pollfd> watched;
    for (const auto& source : sources) {
        watched.push_back({source->descriptor(), POLLIN, 0});
    }
    watched.push_back({stop.descriptor(), POLLIN, 0});
    while (!done()) {
        for (pollfd& entry : watched) {
            entry.revents = 0;
        }
        if (poll(watched.data(), watched.size(), -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            err << "dl250t-cli station: waiting for ports failed\n";
            break;
        }
        if (watched.back().revents != 0) {
            break;
        }
        for (std::size_t i = 0; i < sources.size() && !done(); ++i) {
            if (watched[i].revents == 0) {
                continue;
            }
            for (const PortEvent& event : sources[i]->drainEvents()) {
                dialog.handlePortEvent(event);
                // A module whose line could not be recorded is the last one.
                if (event.kind == PortEvent::Kind::Arrival &&
                    dialog.lastOutcome() == Outcome::JournalFailed) {
                    journalFailed = true;
                }
                if (done()) {
                    break;
                }
            }
        }
    }
    if (journalFailed) {
        err << "dl250t-cli station: stopped before the next module: " << session.journalProblem()
            << '\n';
    }
    printSummary(tally, out);
    return journalFailed ? kExitJournalFailed : kExitOk;
}

}  // namespace dl250t::cli
