#include "module_commands.hpp"

#include <cctype>
#include <optional>
#include <ostream>
#include <utility>

#include "app/config_dialog.hpp"
#include "app/headless_window_host.hpp"
#include "cli_app.hpp"
#include "config/config_file.hpp"
#include "config/field_codec.hpp"
#include "link/module_exchange.hpp"
#include "output_file.hpp"
#include "platform/serial_ports.hpp"
#include "platform/system_files.hpp"
#include "stream_prompter.hpp"
#include "ui/in_memory_form_view.hpp"

namespace dl250t::cli {

namespace {

// Success texts go to standard output, failures to standard error.
class PrintingReporter final : public ExchangeReporter {
public:
    PrintingReporter(std::ostream& out, std::ostream& err) : out_(out), err_(err) {}
    void report(Outcome outcome) override {
        (isSuccess(outcome) ? out_ : err_) << outcomeText(outcome) << '\n';
    }

private:
    std::ostream& out_;
    std::ostream& err_;
};

// A prompter whose file chooser answers with one given path.
class ScriptPrompter final : public Prompter {
public:
    explicit ScriptPrompter(std::ostream& err) : messages_(err) {}
    void showMessage(std::string_view text, std::string_view title, MessageIcon icon) override {
        messages_.showMessage(text, title, icon);
    }
    std::optional<std::string> chooseFile(const FileRequest&) override {
        return std::exchange(answer, std::nullopt);
    }
    std::optional<std::string> answer;

private:
    StreamPrompter messages_;
};

struct ModuleArgs {
    std::string port;
    std::optional<std::string> output;
    std::optional<std::string> file;
    std::optional<std::string> serial;
};

// A serial number given on the command line: exactly six bytes of two hex
// digits each, with blanks allowed between bytes and nowhere else. The
// window's tolerant reading would make 00 00 00 00 00 00 of a typo, and a
// production line would then repeat serial numbers. Returned as hex byte text.
std::optional<std::string> strictSerialText(std::string_view text) {
    const auto hexDigit = [](char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; };
    std::string bytes;
    std::size_t i = 0;
    for (int count = 0; count < 6; ++count) {
        while (count > 0 && i < text.size() && (text[i] == ' ' || text[i] == '\t')) {
            ++i;
        }
        if (i + 2 > text.size() || !hexDigit(text[i]) || !hexDigit(text[i + 1])) {
            return std::nullopt;
        }
        if (count > 0) {
            bytes += ' ';
        }
        bytes += static_cast<char>(std::toupper(static_cast<unsigned char>(text[i])));
        bytes += static_cast<char>(std::toupper(static_cast<unsigned char>(text[i + 1])));
        i += 2;
    }
    if (i != text.size()) {
        return std::nullopt;
    }
    return bytes;
}

std::optional<ModuleArgs> parseModuleArgs(const std::vector<std::string>& args, bool wantsOutput,
                                          std::ostream& err, std::string_view command) {
    ModuleArgs parsed;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const bool hasValue = i + 1 < args.size();
        if (arg == "--port" && hasValue) {
            parsed.port = args[++i];
        } else if (arg == "-o" && hasValue && wantsOutput) {
            parsed.output = args[++i];
        } else if (arg == "--serial" && hasValue && !wantsOutput) {
            parsed.serial = args[++i];
        } else if (!wantsOutput && !parsed.file && !arg.starts_with("-")) {
            parsed.file = arg;
        } else {
            err << "dl250t-cli " << command << ": unexpected argument " << arg << '\n';
            return std::nullopt;
        }
    }
    if (parsed.port.empty() ||
        (wantsOutput ? !parsed.output : !parsed.file || parsed.file->empty())) {
        err << "dl250t-cli " << command << ": "
            << (wantsOutput ? "give --port P and -o FILE.cfg" : "give --port P and FILE.cfg")
            << '\n';
        return std::nullopt;
    }
    if (parsed.serial) {
        parsed.serial = strictSerialText(*parsed.serial);
        if (!parsed.serial) {
            err << "dl250t-cli " << command
                << ": --serial takes six hex bytes, such as \"00 00 00 00 01 00\"\n";
            return std::nullopt;
        }
    }
    return parsed;
}

}  // namespace

int readModule(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    const auto parsed = parseModuleArgs(args, true, err, "read");
    if (!parsed) {
        return kExitUsage;
    }
    const auto ports = makeSystemSerialPortFactory();
    // With the file itself on standard output, what the exchange says goes
    // to standard error.
    PrintingReporter reporter(*parsed->output == "-" ? err : out, err);
    ConfigBlock block;
    const Outcome read = readExchange(*ports, parsed->port, block, reporter);
    if (read != Outcome::ModuleRead) {
        return exitStatusFor(read);
    }
    return saveOutput(*parsed->output, block, out, err);
}

int writeModule(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    const auto parsed = parseModuleArgs(args, false, err, "write");
    if (!parsed) {
        return kExitUsage;
    }
    // The desktop tool's own sequence: Open the file, show the advanced panel
    // so the file's timing is sent as it is, then Write.
    InMemoryFormView view;
    ScriptPrompter prompter(err);
    HeadlessWindowHost host;
    const auto ports = makeSystemSerialPortFactory();
    SystemClock clock;
    const auto files = makeSystemFileStore();
    ConfigDialog dialog({view, prompter, host, *ports, clock, *files, "dl250t-cli"});
    dialog.initialise();

    prompter.answer = *parsed->file;
    const Outcome opened = dialog.open();
    if (opened != Outcome::FileRead) {
        return exitStatusFor(opened);
    }
    dialog.toggleAdvanced();
    if (parsed->serial) {
        view.setText(ctl::Serial, *parsed->serial);
    }
    view.setText(ctl::Port, parsed->port);
    const Outcome written = dialog.write();
    if (written != Outcome::ModuleWritten) {
        return exitStatusFor(written);
    }
    ConfigBlock stored;
    encodeSerialText(stored, dialog.form().settings().serialText);
    out << outcomeText(written) << '\n';
    out << "serial number stored: " << decodeSerialText(stored) << '\n';
    out << "next serial number: " << view.text(ctl::Serial) << '\n';
    return kExitOk;
}

}  // namespace dl250t::cli
