#include "module_commands.hpp"

#include <cctype>
#include <charconv>
#include <chrono>
#include <ostream>
#include <utility>

#include "cli_app.hpp"
#include "config/config_file.hpp"
#include "config/field_codec.hpp"
#include "config/module_identity.hpp"
#include "link/module_exchange.hpp"
#include "output_file.hpp"
#include "platform/production_journals.hpp"
#include "text_encoding.hpp"

namespace dl250t::cli {

namespace {

// Success texts go to standard output, failures to standard error. A
// read-back tells only of failures.
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

std::string_view commandName(ModuleCommand command) {
    switch (command) {
        case ModuleCommand::Read:
            return "read";
        case ModuleCommand::Write:
            return "write";
        case ModuleCommand::Station:
            return "station";
    }
    return "?";
}

std::optional<long> parseCount(std::string_view text) {
    long value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc{} || ptr != end || value < 1) {
        return std::nullopt;
    }
    return value;
}

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

// The journal of the command line; the start number goes to a database
// line, which must agree with it.
std::unique_ptr<ProductionJournal> openJournal(const ModuleArgs& args,
                                               std::optional<std::string> startSerial) {
    return makeProductionJournal({
        .journal = *args.journal,
        .line = args.line,
        .startSerial = std::move(startSerial),
        .moduleText = moduleTextToUtf8,
    });
}

}  // namespace

std::optional<ModuleArgs> parseModuleArgs(const std::vector<std::string>& args,
                                          ModuleCommand command, std::ostream& err) {
    const bool reads = command == ModuleCommand::Read;
    const bool station = command == ModuleCommand::Station;
    const auto complain = [&](const std::string& problem) {
        err << "dl250t-cli " << commandName(command) << ": " << problem << '\n';
        return std::nullopt;
    };
    ModuleArgs parsed;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const bool hasValue = i + 1 < args.size();
        if (arg == "--port" && hasValue && !station) {
            parsed.port = args[++i];
        } else if (arg == "-o" && hasValue && reads) {
            parsed.output = args[++i];
        } else if (arg == "--serial" && hasValue && !reads) {
            parsed.serial = args[++i];
        } else if (arg == "--journal" && hasValue) {
            parsed.journal = args[++i];
            if (parsed.journal->empty()) {
                return complain("--journal takes a file or a postgresql:// URI");
            }
        } else if (arg == "--line" && hasValue) {
            parsed.line = args[++i];
        } else if (arg == "--verify") {
            parsed.verify = true;
        } else if (arg == "--count" && hasValue && station) {
            parsed.count = parseCount(args[++i]);
            if (!parsed.count) {
                return complain("--count takes a number of modules from 1");
            }
        } else if (!reads && !parsed.file && !arg.starts_with("-")) {
            parsed.file = arg;
        } else {
            return complain("unexpected argument " + arg);
        }
    }
    if (reads && (parsed.port.empty() || !parsed.output)) {
        return complain("give --port P and -o FILE.cfg");
    }
    if (command == ModuleCommand::Write &&
        (parsed.port.empty() || !parsed.file || parsed.file->empty())) {
        return complain("give --port P and FILE.cfg");
    }
    if (station && (!parsed.file || parsed.file->empty())) {
        return complain("give FILE.cfg");
    }
    if (parsed.line && !parsed.journal) {
        return complain("--line goes with --journal postgresql://…");
    }
    if (parsed.journal) {
        if (const std::string problem =
                journalChoiceProblem({.journal = *parsed.journal, .line = parsed.line});
            !problem.empty()) {
            return complain(problem);
        }
    }
    if (parsed.serial) {
        parsed.serial = strictSerialText(*parsed.serial);
        if (!parsed.serial) {
            return complain("--serial takes six hex bytes, such as \"00 00 00 00 01 00\"");
        }
    }
    return parsed;
}

std::optional<std::string> ModuleSession::FilePrompter::chooseFile(const FileRequest&) {
    return std::exchange(answer, std::nullopt);
}

ModuleSession::ModuleSession(std::ostream& err,
                             std::function<void(const ModuleRecord&)> onModuleRecord)
    : err_(err), prompter_(err) {
    dialog_ = std::make_unique<ConfigDialog>(ConfigDialog::Services{
        .view = view_,
        .prompter = prompter_,
        .host = host_,
        .ports = *ports_,
        .clock = clock_,
        .files = *files_,
        .programName = "dl250t-cli",
        .onModuleRecord = std::move(onModuleRecord),
    });
    dialog_->initialise();
}

int ModuleSession::prepare(const ModuleArgs& args, SerialStart start) {
    const std::string windowDefault = view_.text(ctl::Serial);
    prompter_.answer = *args.file;
    const Outcome opened = dialog_->open();
    if (opened != Outcome::FileRead) {
        return exitStatusFor(opened);
    }
    if (start == SerialStart::WindowDefault) {
        view_.setText(ctl::Serial, windowDefault);
    }
    dialog_->toggleAdvanced();
    if (args.journal) {
        journal_ = openJournal(args, args.serial);
        if (!dialog_->useJournal(journal_.get())) {
            err_ << journal_->problem() << '\n';
            return kExitJournalFailed;
        }
    }
    if (args.serial) {
        view_.setText(ctl::Serial, *args.serial);
    }
    dialog_->setVerify(args.verify);
    return kExitOk;
}

std::string ModuleSession::journalProblem() const {
    return journal_ ? journal_->problem() : std::string();
}

int readModule(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    const auto parsed = parseModuleArgs(args, ModuleCommand::Read, err);
    if (!parsed) {
        return kExitUsage;
    }
    std::unique_ptr<ProductionJournal> journal;
    if (parsed->journal) {
        journal = openJournal(*parsed, std::nullopt);
        if (!journal->open() || !journal->beginModule("")) {
            err << outcomeText(Outcome::JournalFailed) << '\n' << journal->problem() << '\n';
            return kExitJournalFailed;
        }
    }
    ModuleRecord record;
    record.time = std::chrono::system_clock::now();
    record.port = parsed->port;
    const auto started = std::chrono::steady_clock::now();

    const auto ports = makeSystemSerialPortFactory();
    // With the file itself on standard output, what the exchange says goes
    // to standard error.
    std::ostream& said = *parsed->output == "-" ? err : out;
    PrintingReporter reporter(said, err);
    ConfigBlock block;
    record.outcome = readExchange(*ports, parsed->port, block, reporter);
    if (record.outcome == Outcome::ModuleRead) {
        record.moduleName = identityName(block);
        record.moduleVersion = identityVersion(block);
        record.serial = decodeSerialText(block);
        if (parsed->verify) {
            // The module asked again must give the same block.
            PrintingReporter quiet(said, err, true);
            ConfigBlock again;
            const Outcome second = readExchange(*ports, parsed->port, again, quiet);
            if (second != Outcome::ModuleRead) {
                record.outcome = second;
            } else if (again != block) {
                record.verify = ModuleRecord::Verify::Mismatch;
                record.outcome = Outcome::ModuleVerifyFailed;
                err << outcomeText(record.outcome) << '\n';
            } else {
                record.verify = ModuleRecord::Verify::Ok;
            }
        }
    }
    int status = exitStatusFor(record.outcome);
    if (record.outcome == Outcome::ModuleRead) {
        status = saveOutput(*parsed->output, block, out, err);
        if (status != kExitOk) {
            record.outcome = Outcome::FileWriteFailed;
        }
    }
    record.milliseconds = std::chrono::duration_cast<std::chrono::milliseconds>(
                              std::chrono::steady_clock::now() - started)
                              .count();
    if (journal && !journal->finishModule(record)) {
        err << outcomeText(Outcome::JournalFailed) << '\n' << journal->problem() << '\n';
        return kExitJournalFailed;
    }
    return status;
}

int writeModule(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    const auto parsed = parseModuleArgs(args, ModuleCommand::Write, err);
    if (!parsed) {
        return kExitUsage;
    }
    std::optional<ModuleRecord> record;
    ModuleSession session(err, [&record](const ModuleRecord& r) { record = r; });
    if (const int status = session.prepare(*parsed, ModuleSession::SerialStart::File);
        status != kExitOk) {
        return status;
    }
    session.view().setText(ctl::Port, parsed->port);
    const Outcome written = session.dialog().write();
    if (written == Outcome::JournalFailed) {
        err << session.journalProblem() << '\n';
        if (record && isSuccess(record->outcome)) {
            err << "the module was written with serial number " << record->serial
                << " but its line is not in the journal\n";
        }
        return kExitJournalFailed;
    }
    if (written != Outcome::ModuleWritten) {
        return exitStatusFor(written);
    }
    out << outcomeText(written) << '\n';
    out << "serial number stored: " << record->serial << '\n';
    out << "next serial number: " << session.view().text(ctl::Serial) << '\n';
    return kExitOk;
}

}  // namespace dl250t::cli
