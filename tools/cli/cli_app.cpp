#include "cli_app.hpp"

#include <array>
#include <iostream>
#include <nlohmann/json.hpp>
#include <optional>
#include <sstream>

#include "config/config_file.hpp"
#include "config/module_identity.hpp"
#include "module_commands.hpp"
#include "output_file.hpp"
#include "platform/module_text.hpp"
#include "platform/serial_ports.hpp"
#include "platform/system_files.hpp"
#include "production/module_reader.hpp"
#include "settings_diff.hpp"
#include "settings_json.hpp"
#include "station_command.hpp"
#include "text_encoding.hpp"
#include "ui/offscreen_form.hpp"

namespace dl250t::cli {

namespace {

constexpr std::string_view kProgramName = "dl250t-cli";

constexpr std::string_view kHelp =
    R"(dl250t-cli: the QF-DL250T configuration tool for scripts and production lines.

Usage:
  dl250t-cli show [--json] FILE.cfg
      Checks a configuration file and prints every setting with its label.
      --json prints {"check", "settings", "rfPowerItems"} instead.
  dl250t-cli export FILE.cfg
      Prints the file's settings as a JSON object that import takes.
  dl250t-cli import SETTINGS.json -o OUT.cfg [--base BASE.cfg]
      Writes a configuration file from settings in JSON (any subset of the
      fields that export prints; "-" reads standard input). The fields not
      given, and the module identity, come from BASE.cfg, or else from the
      tool's initial block. Every value is range-adjusted as the tool's Save
      does with the advanced panel shown; each adjustment is printed on
      standard error. A list index must lie in its list, or be -1 for none.
  dl250t-cli diff A.cfg B.cfg
  dl250t-cli diff A.cfg --port PORT
      Compares the settings of two files, or of a file and the module on
      PORT, as the tool shows them (the module identity and serial number
      included) and prints one line per setting that differs, in the tool's
      order: "LABEL: A-VALUE -> B-VALUE", label and values as show prints
      them. Status 0 when none differ, 12 when some do.

  dl250t-cli read --port PORT -o FILE.cfg [--journal JOURNAL [--line NAME]] [--verify] [--json]
      Reads the module on PORT and saves its block as a configuration file.
      --verify asks the module a second time and compares the two blocks.
  dl250t-cli write --port PORT FILE.cfg [--serial HEX] [--journal JOURNAL [--line NAME]]
                  [--verify] [--label TEMPLATE --printer DEST] [--json]
      Writes the settings of FILE.cfg to the module on PORT as the desktop
      tool's Write does: the module keeps its identity and version, and the
      numbers stored and next are printed. The serial number is HEX (six hex
      bytes, blanks between them optional, such as "00 00 00 00 01 00" or
      000000000100), else the one after the journal's last module written,
      else the file's.
      --verify reads the block back once the module has acknowledged it and
      compares all 518 bytes; a module that holds anything else has failed
      (status 10), the settings it holds otherwise are printed on standard
      error as diff prints them, and its number is given to the next module.
  dl250t-cli station FILE.cfg [--serial HEX] [--journal JOURNAL [--line NAME]] [--verify]
                   [--count N] [--label TEMPLATE --printer DEST] [--json]
                   [--scan SOURCE]
      Auto-configure without a window, for a production line: every module
      plugged in (a serial port that udev reports, or a link in the port
      directory) is written as write does, with consecutive serial numbers
      from HEX, else from the one after the journal's last module written,
      else from the window's default. One line per module on standard
      output: time, port, outcome, serial number stored (- when none).
      SIGINT or SIGTERM ends it once the module in hand is done (a second
      one at once), --count N after N modules written; it then prints how
      many were written and failed and the first and last serial number.
      --scan SOURCE writes every module with a board code scanned before or
      after it: SOURCE "-" is standard input (a scanner that types into the
      terminal, or a pipe), a PORT a scanner in serial mode (9600 8N1). One
      code a line, printable ASCII, at most 64 characters; others are
      refused. A module waits for its code, a code for the next module (a
      second code replaces it). The code goes to the journal's board column
      and ends the module's line. When no more codes can come (input ended,
      the port gone) the station stops (status 14).
  PORT is COMn or a device name. On Linux COMn goes through the port directory,
  then /dev/ttyS*, ttyUSB*, ttyACM*, and a name with a / is a device path; on
  Windows COMn is the port of that number, and a name starting \\.\ is used as it is.
  Files are regular files; "-o -" writes the file to standard output instead.
  --journal FILE.csv appends one line per module to a production journal, a
  CSV file (created with its header) with the columns time, station, port,
  module, version, serial, outcome, verify, milliseconds, crc, board and label.
  A module's number is reserved by a line ("reserved") before its block
  leaves and settled by another; a number reserved is never given again. Each
  line is on disk before the next module is handled. A journal that cannot take a
  line stops the command before it touches another module (status 11).
  --journal postgresql://… (or postgres://…, a libpq connection URI) keeps the
  journal in a PostgreSQL database instead, for several stations that share a
  production line: --line NAME (default "default") names the line, whose
  stations take their serial numbers from the database side by side, never
  one number twice, every gap recorded. A new line starts at --serial, or where the
  command would start without a journal; on a line that exists the database's
  number wins, and a --serial that disagrees with it is refused (status 11).
  A database that cannot be reached or stops answering stops the command
  likewise. (On Windows the database is reached through ODBC and PostgreSQL's
  ODBC driver, psqlODBC.)
  --label TEMPLATE --printer DEST prints a label for every module written (and
  verified, with --verify), before its journal line is settled, whose label
  column then says sent or failed. TEMPLATE is read at the start and sent as it
  is (ZPL, or any printer language), with {serial} (000000005000),
  {serial_text} (00 00 00 00 50 00), {board}, {module}, {version}, {line},
  {station} and {time} replaced; a value keeps only letters, digits, blanks,
  - . _ : / + # ( ) and non-ASCII characters, anything else becomes ?. DEST is
  tcp://HOST:PORT (a network printer's raw port, usually 9100), printer:NAME
  (a Windows printer, raw data through the spooler) or a file or device,
  appended to (/dev/usb/lp0). A label that cannot be sent within a few seconds
  stops the station before the next module (status 13); write then fails with
  status 13 too, the module written and recorded.
  --json prints one JSON object per line on standard output instead of the
  text lines, which go to standard error: one per module attempt, with the keys
  time, station, line, port, module, version, serial (as 00 00 00 00 50 00),
  board, outcome ("ok" or the failure's text), verify, milliseconds, crc and
  label (null where the attempt has none; verify, crc and label as in the
  journal), and at the end of a station {"written", "failed", "first", "last"}.

Exit status:
  0  success
  1  wrong command line
  2  a block failed its length, keyword or CRC check
  3  a file could not be opened or read
  4  the settings JSON is malformed, or names an unknown field or a value of the wrong type
  5  the output file, or standard output, could not be written
  6  the serial port does not exist or is held by another program
  7  the serial port failed to write or read
  8  the module did not answer
  9  the module did not acknowledge the written block
  10 the block read back differs from the one written (--verify)
  11 the production journal cannot be written, or refuses --serial
  12 diff found settings that differ
  13 a module's label could not be sent to its printer (--label)
  14 the station can get no more board codes (--scan)
)";

int usage(std::ostream& err, std::string_view problem) {
    err << kProgramName << ": " << problem << "\n\n" << kHelp;
    return kExitUsage;
}

// The form and record a command works on: the same code the desktop window
// runs, over a form kept in memory.
// The settings form of the window, without one: warnings and messages go to
// the stream given.
struct Workbench {
    explicit Workbench(std::ostream& warnings)
        : offscreen([&warnings](std::string_view text) { warnings << text << '\n'; },
                    std::string(kProgramName)) {}

    OffscreenForm offscreen;
    SettingsForm& form = offscreen.form();
};

// Loads and checks a file. A file that cannot be read or fails its checks is
// reported on err, and the exit status for it is left in status.
std::optional<ConfigBlock> loadChecked(const std::string& path, std::ostream& err, int& status) {
    const LoadedConfigFile loaded = loadConfigFile(*makeSystemFileStore(), path);
    if (!loaded.opened || loaded.readFailed) {
        err << path << ": " << outcomeText(Outcome::FileOpenFailed) << '\n';
        status = exitStatusFor(Outcome::FileOpenFailed);
        return std::nullopt;
    }
    if (const auto failure = blockCheckFailure(loaded.check)) {
        err << path << ": " << blockCheckName(loaded.check) << ": " << outcomeText(*failure)
            << '\n';
        status = exitStatusFor(*failure);
        return std::nullopt;
    }
    return loaded.block;
}

// What the window would show, control by control, in tab order.
void printForm(const FormView& view, std::ostream& out) {
    for (const ShownSetting& setting : shownSettings(view)) {
        out << setting.label << ": " << setting.value << '\n';
    }
}

int show(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    bool json = false;
    std::optional<std::string> path;
    for (const std::string& arg : args) {
        if (arg == "--json") {
            json = true;
        } else if (!path && !arg.starts_with("--")) {
            path = arg;
        } else {
            return usage(err, "show: unexpected argument " + arg);
        }
    }
    if (!path) {
        return usage(err, "show: no file given");
    }
    const LoadedConfigFile loaded = loadConfigFile(*makeSystemFileStore(), *path);
    if (!loaded.opened || loaded.readFailed) {
        err << *path << ": " << outcomeText(Outcome::FileOpenFailed) << '\n';
        return exitStatusFor(Outcome::FileOpenFailed);
    }
    if (const auto failure = blockCheckFailure(loaded.check)) {
        if (json) {
            nlohmann::ordered_json result;
            result["check"] = blockCheckName(loaded.check);
            result["message"] = outcomeText(*failure);
            out << result.dump(2) << '\n';
        } else {
            out << "check: " << blockCheckName(loaded.check) << '\n'
                << outcomeText(*failure) << '\n';
        }
        return exitStatusFor(*failure);
    }
    Workbench bench(err);
    bench.form.decodeBlock(loaded.block);
    if (json) {
        nlohmann::ordered_json result;
        result["check"] = blockCheckName(BlockCheck::Ok);
        result["settings"] = settingsToJson(bench.form.settings(), bench.form.identity());
        result["rfPowerItems"] = rfPowerItems(bench.form.identity());
        out << result.dump(2) << '\n';
    } else {
        out << "check: Ok\n";
        printForm(bench.offscreen.controls(), out);
    }
    return kExitOk;
}

int exportSettings(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (args.size() != 1 || args[0].starts_with("--")) {
        return usage(err, "export: give exactly one file");
    }
    int status = kExitOk;
    const auto block = loadChecked(args[0], err, status);
    if (!block) {
        return status;
    }
    Workbench bench(err);
    bench.form.decodeBlock(*block);
    const ModuleSettings shown =
        settingsAsTheFormShows(bench.form.settings(), bench.form.identity());
    out << settingsToJson(shown, bench.form.identity()).dump(2) << '\n';
    return kExitOk;
}

// dl250t-cli diff A.cfg B.cfg, or diff A.cfg --port P: one line per setting
// the two show differently, "LABEL: A -> B".
int diffSettings(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    std::vector<std::string> paths;
    std::optional<std::string> port;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--port" && i + 1 < args.size() && !port) {
            port = args[++i];
        } else if (paths.size() < 2 && !args[i].starts_with("-")) {
            paths.push_back(args[i]);
        } else {
            return usage(err, "diff: unexpected argument " + args[i]);
        }
    }
    if (paths.size() != (port ? 1u : 2u)) {
        return usage(err, "diff: give two files, or a file and --port P");
    }
    int status = kExitOk;
    const auto a = loadChecked(paths[0], err, status);
    if (!a) {
        return status;
    }
    std::optional<ConfigBlock> b;
    if (port) {
        const auto ports = makeSystemSerialPortFactory();
        // Only failures are told; the differences are the output.
        PrintingReporter failures(out, err, true);
        ModuleReader reader(*ports, failures);
        ConfigBlock read;
        if (const Outcome outcome = reader.read(*port, read, {}); outcome != Outcome::ModuleRead) {
            return exitStatusFor(outcome);
        }
        b = read;
    } else {
        b = loadChecked(paths[1], err, status);
        if (!b) {
            return status;
        }
    }
    if (printDifferences(*a, *b, out) == 0) {
        return kExitOk;
    }
    // Status 12 says the lines are there to read; lines lost say so instead.
    return out.flush() ? kExitSettingsDiffer : statusAfterOutput(false, kExitOk, err);
}

// Settings texts are a few kilobytes; anything much larger is no settings
// text, and reading on would let /dev/zero on standard input fill the memory.
constexpr std::size_t kMaxSettingsBytes = std::size_t{1} << 20;

// The whole settings text, so that anything after the JSON is seen too.
// Nothing, with the exit status in status, when it cannot be read.
std::optional<std::string> readSettingsText(const std::string& input, std::istream& in,
                                            std::ostream& err, int& status) {
    std::string text;
    if (input == "-") {
        std::array<char, 4096> chunk{};
        while (in && text.size() <= kMaxSettingsBytes) {
            in.read(chunk.data(), chunk.size());
            text.append(chunk.data(), static_cast<std::size_t>(in.gcount()));
        }
        // A read error (a folder or a closed descriptor as standard input)
        // marks the stream bad; the end of the input only ends it.
        if (in.bad()) {
            err << "standard input: cannot be read\n";
            status = kExitFileUnreadable;
            return std::nullopt;
        }
    } else {
        FileStart start = makeSystemFileStore()->readStart(input, kMaxSettingsBytes + 1);
        if (start.status != FileStart::Status::Ok) {
            err << input << ": " << outcomeText(Outcome::FileOpenFailed) << '\n';
            status = kExitFileUnreadable;
            return std::nullopt;
        }
        text.assign(start.bytes.begin(), start.bytes.end());
    }
    if (text.size() > kMaxSettingsBytes) {
        err << input << ": more than " << kMaxSettingsBytes << " bytes, no settings\n";
        status = kExitBadSettings;
        return std::nullopt;
    }
    return text;
}

int importSettings(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
                   std::ostream& err) {
    std::optional<std::string> input;
    std::optional<std::string> output;
    std::optional<std::string> base;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if ((arg == "-o" || arg == "--base") && i + 1 < args.size()) {
            (arg == "-o" ? output : base) = args[++i];
        } else if (!input && (arg == "-" || !arg.starts_with("-"))) {
            input = arg;
        } else {
            return usage(err, "import: unexpected argument " + arg);
        }
    }
    if (!input || !output) {
        return usage(err, "import: give a settings file and -o OUT.cfg");
    }

    int status = kExitOk;
    const auto text = readSettingsText(*input, in, err, status);
    if (!text) {
        return status;
    }
    // The parser would take a NUL byte for the end of the text and ignore
    // whatever follows it; JSON text never holds one.
    nlohmann::json settingsJson = text->find('\0') == std::string::npos
                                      ? nlohmann::json::parse(*text, nullptr, false)
                                      : nlohmann::json(nlohmann::json::value_t::discarded);
    if (settingsJson.is_discarded()) {
        err << *input << ": not valid JSON\n";
        return kExitBadSettings;
    }
    // The whole output of show --json is accepted too.
    if (settingsJson.is_object() && settingsJson.contains("settings") &&
        settingsJson["settings"].is_object()) {
        settingsJson = settingsJson["settings"];
    }

    ConfigBlock block = makeInitialWorkingBlock();
    if (base) {
        const auto loaded = loadChecked(*base, err, status);
        if (!loaded) {
            return status;
        }
        block = *loaded;
    }

    Workbench bench(err);
    bench.form.decodeBlock(block);
    const auto errors =
        overlaySettingsJson(settingsJson, bench.form.settings(), bench.form.identity());
    if (!errors.empty()) {
        for (const std::string& error : errors) {
            err << *input << ": " << error << '\n';
        }
        return kExitBadSettings;
    }
    // As Save does it: the record goes through the form, and the encode reads it back.
    bench.form.fill();
    bench.form.advancedShown = true;
    bench.form.encodeForStoring(block);

    return saveOutput(*output, block, out, err);
}

}  // namespace

int exitStatusFor(Outcome outcome) {
    switch (outcome) {
        case Outcome::ModuleRead:
        case Outcome::ModuleWritten:
        case Outcome::FileOpened:
        case Outcome::FileRead:
        case Outcome::FileWritten:
            return kExitOk;
        case Outcome::LengthMismatch:
        case Outcome::KeywordMismatch:
        case Outcome::CrcMismatch:
            return kExitInvalidBlock;
        case Outcome::FileOpenFailed:
            return kExitFileUnreadable;
        case Outcome::FileWriteFailed:
            return kExitFileNotWritten;
        case Outcome::PortOpenFailed:
        case Outcome::PortInUse:
            return kExitPortOpenFailed;
        case Outcome::PortWriteFailed:
        case Outcome::PortReadFailed:
            return kExitSerialFailed;
        case Outcome::ResponseTimeout:
            return kExitModuleSilent;
        case Outcome::ModuleWriteFailed:
            return kExitModuleRefused;
        case Outcome::ModuleVerifyFailed:
            return kExitModuleMismatch;
        case Outcome::JournalFailed:
            return kExitJournalFailed;
        case Outcome::NoPortChosen:
        case Outcome::Cancelled:
            return kExitUsage;
    }
    return kExitUsage;
}

namespace {

int runCommand(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
               std::ostream& err) {
    if (args.empty()) {
        return usage(err, "no command given");
    }
    const std::string& command = args[0];
    const std::vector<std::string> rest(args.begin() + 1, args.end());
    if (command == "--help" || command == "-h" || command == "help") {
        out << kHelp;
        return kExitOk;
    }
    if (command == "show") {
        return show(rest, out, err);
    }
    if (command == "export") {
        return exportSettings(rest, out, err);
    }
    if (command == "diff") {
        return diffSettings(rest, out, err);
    }
    if (command == "import") {
        return importSettings(rest, in, out, err);
    }
    if (command == "read") {
        return readModule(rest, out, err);
    }
    if (command == "write") {
        return writeModule(rest, out, err);
    }
    if (command == "station") {
        return runStation(rest, out, err);
    }
    return usage(err, "unknown command " + command);
}

}  // namespace

int statusAfterOutput(bool outputArrived, int status, std::ostream& err) {
    if (outputArrived || status != kExitOk) {
        return status;
    }
    err << kProgramName << ": standard output: " << outcomeText(Outcome::FileWriteFailed) << '\n';
    return kExitFileNotWritten;
}

int runCli(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
           std::ostream& err) {
    const int status = runCommand(args, in, out, err);
    return statusAfterOutput(static_cast<bool>(out.flush()), status, err);
}

}  // namespace dl250t::cli
