#pragma once

#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "link/exchange_reporter.hpp"
#include "production/line_settings.hpp"
#include "production/production_journal.hpp"
#include "production/production_options.hpp"
#include "production/serial_number.hpp"
#include "trace_options.hpp"

namespace dl250t::cli {

// Success texts go to standard output, failures to standard error; with
// failuresOnly, as the window's boxes without its status line, only failures.
class PrintingReporter final : public ExchangeReporter {
public:
    PrintingReporter(std::ostream& out, std::ostream& err, bool failuresOnly = false)
        : out_(out), err_(err), failuresOnly_(failuresOnly) {}
    void report(Outcome outcome) override {
        if (!isSuccess(outcome)) {
            err_ << outcomeText(outcome) << '\n';
        } else if (!failuresOnly_) {
            out_ << outcomeText(outcome) << '\n';
        }
    }

private:
    std::ostream& out_;
    std::ostream& err_;
    bool failuresOnly_;
};

// dl250t-cli read --port P -o FILE.cfg [--journal JOURNAL [--line NAME]] [--verify] [--json]
int readModule(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// dl250t-cli write --port P FILE.cfg [--serial HEX] [--journal JOURNAL [--line NAME]] [--verify]
//                 [--label TEMPLATE --printer DEST] [--json]
int writeModule(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

enum class ModuleCommand { Read, Write, Station };

// The command line of the commands that talk to modules: the production
// options (journal, line, verify) as every program takes them, the
// traceability options, and these.
struct ModuleArgs : ProductionOptions, TraceOptions {
    std::string port;
    std::optional<std::string> output;
    std::optional<std::string> file;
    std::optional<std::string> serial;
    std::optional<long> count;
    // The station's scanner of board codes: "-" or a port.
    std::optional<std::string> scan;
};

// What the command takes; nothing, with the reason on err, for a command line
// it does not.
std::optional<ModuleArgs> parseModuleArgs(const std::vector<std::string>& args,
                                          ModuleCommand command, std::ostream& err);

// What write and the station share before the first module: the file's
// settings as the window's Write encodes them, the journal, opened, and the
// serial number to start from.
struct PreparedLine {
    std::unique_ptr<LineSettings> settings;
    std::unique_ptr<ProductionJournal> journal;
    SerialNumber firstSerial;
};

// Where the serial number starts when neither --serial nor the journal
// says: write takes the file's, the station the window's default.
enum class SerialStart { File, WindowDefault };

// kExitOk with `line` ready, or the exit status of what failed after it has
// been told on err. The serial number is args.serial, else the one after the
// journal's last module written, else as `start` says. The settings' range
// warnings go to err whenever a block is encoded.
int prepareLine(const ModuleArgs& args, SerialStart start, std::ostream& err, PreparedLine& line);

}  // namespace dl250t::cli
