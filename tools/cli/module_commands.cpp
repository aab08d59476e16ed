#include "module_commands.hpp"

#include <cctype>
#include <charconv>
#include <ostream>
#include <utility>

#include "cli_app.hpp"
#include "config/clock.hpp"
#include "config/config_file.hpp"
#include "config/field_codec.hpp"
#include "config/module_identity.hpp"
#include "json_records.hpp"
#include "link/port_name.hpp"
#include "module_labels.hpp"
#include "output_file.hpp"
#include "platform/production_journals.hpp"
#include "platform/serial_ports.hpp"
#include "platform/system_files.hpp"
#include "production/module_reader.hpp"
#include "production/module_writer.hpp"
#include "settings_diff.hpp"
#include "text_encoding.hpp"

namespace dl250t::cli {

namespace {

constexpr std::string_view kProgramName = "dl250t-cli";

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
                                               std::optional<SerialNumber> startSerial,
                                               std::optional<SerialNumber> newLineSerial = {}) {
    return makeProductionJournal({
        .journal = *args.journal,
        .line = args.line,
        .startSerial = std::move(startSerial),
        .moduleText = moduleTextToUtf8,
        .newLineSerial = std::move(newLineSerial),
    });
}

}  // namespace

std::optional<ModuleArgs> parseModuleArgs(const std::vector<std::string>& args,
                                          ModuleCommand command, std::ostream& err) {
    // A --journal or --line without its value is an unexpected argument here.
    static constexpr ProductionOptionRules kProductionRules = {
        .journalWithoutValue = {},
        .emptyJournal = "--journal takes a file or a postgresql:// URI",
        .lineWithoutJournal = "--line goes with --journal postgresql://…",
    };
    const bool reads = command == ModuleCommand::Read;
    const bool station = command == ModuleCommand::Station;
    const auto complain = [&](const std::string& problem) {
        err << "dl250t-cli " << commandName(command) << ": " << problem << '\n';
        return std::nullopt;
    };
    ModuleArgs parsed;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const TakenOption production = takeProductionOption(args, i, parsed, kProductionRules);
        if (!production.problem.empty()) {
            return complain(production.problem);
        }
        if (production.taken) {
            continue;
        }
        if (const TakenOption trace = takeTraceOption(args, i, parsed, !reads); trace.taken) {
            if (!trace.problem.empty()) {
                return complain(trace.problem);
            }
            continue;
        }
        const std::string& arg = args[i];
        const bool hasValue = i + 1 < args.size();
        if (arg == "--port" && hasValue && !station) {
            parsed.port = args[++i];
        } else if (arg == "-o" && hasValue && reads) {
            parsed.output = args[++i];
        } else if (arg == "--serial" && hasValue && !reads) {
            parsed.serial = args[++i];
        } else if (arg == "--count" && hasValue && station) {
            parsed.count = parseCount(args[++i]);
            if (!parsed.count) {
                return complain("--count takes a number of modules from 1");
            }
        } else if (arg == "--scan" && hasValue && station && !args[i + 1].empty()) {
            parsed.scan = args[++i];
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
    if (const std::string problem = productionOptionsProblem(
            parsed, kProductionRules,
            [](const std::string& journal, const std::optional<std::string>& line) {
                return journalChoiceProblem({.journal = journal, .line = line});
            });
        !problem.empty()) {
        return complain(problem);
    }
    if (const std::string problem = traceOptionsProblem(parsed, parsed.output == "-");
        !problem.empty()) {
        return complain(problem);
    }
    if (parsed.serial) {
        parsed.serial = strictSerialText(*parsed.serial);
        if (!parsed.serial) {
            return complain("--serial takes six hex bytes, such as \"00 00 00 00 01 00\"");
        }
    }
    return parsed;
}

int prepareLine(const ModuleArgs& args, SerialStart start, std::ostream& err, PreparedLine& line) {
    const LoadedConfigFile loaded = loadConfigFile(*makeSystemFileStore(), *args.file);
    // A file that cannot be read to its end counts as one that cannot be
    // opened, as in the window's Open.
    if (!loaded.opened || loaded.readFailed) {
        err << outcomeText(Outcome::FileOpenFailed) << '\n';
        return exitStatusFor(Outcome::FileOpenFailed);
    }
    if (const auto failure = blockCheckFailure(loaded.check)) {
        err << outcomeText(*failure) << '\n';
        return exitStatusFor(*failure);
    }
    std::optional<SerialNumber> startSerial;
    if (args.serial) {
        startSerial = SerialNumber::fromText(*args.serial);
    }
    line.settings = std::make_unique<LineSettings>(
        loaded.block, [&err](std::string_view warning) { err << warning << '\n'; },
        std::string(kProgramName));
    line.firstSerial =
        start == SerialStart::File
            ? line.settings->fileSerial()
            : SerialNumber::fromText(defaultSerialText(SystemClock().secondsSince1970()));
    if (args.journal) {
        // A line that is new starts where the command would start without it.
        line.journal = openJournal(args, startSerial, line.firstSerial);
        if (!line.journal->open()) {
            err << outcomeText(Outcome::JournalFailed) << '\n' << line.journal->problem() << '\n';
            return kExitJournalFailed;
        }
        if (const auto next = line.journal->resumeSerial()) {
            line.firstSerial = *next;
        }
    }
    if (startSerial) {
        line.firstSerial = *startSerial;
    }
    return kExitOk;
}

int readModule(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    const auto parsed = parseModuleArgs(args, ModuleCommand::Read, err);
    if (!parsed) {
        return kExitUsage;
    }
    std::unique_ptr<ProductionJournal> journal;
    if (parsed->journal) {
        journal = openJournal(*parsed, std::nullopt);
        if (!journal->open()) {
            err << outcomeText(Outcome::JournalFailed) << '\n' << journal->problem() << '\n';
            return kExitJournalFailed;
        }
    }
    const auto ports = makeSystemSerialPortFactory();
    // With the file itself on standard output, what the exchange says goes
    // to standard error.
    std::ostream& said = *parsed->output == "-" || parsed->json ? err : out;
    PrintingReporter reporter(said, err);
    ModuleReader reader(*ports, reporter);
    reader.useJournal(journal.get());
    reader.setVerify(parsed->verify);
    int saved = kExitOk;
    ConfigBlock block;
    const Outcome outcome = reader.read(
        parsed->port, block,
        [&](const ConfigBlock& read) {
            ConfigBlock copy = read;
            saved = saveOutput(*parsed->output, copy, out, err);
            return saved == kExitOk;
        },
        [&](const ModuleRecord& record) {
            if (parsed->json) {
                out << moduleRecordJson(record, productionLineName(*parsed)) << '\n';
            }
        });
    if (outcome == Outcome::JournalFailed) {
        err << journal->problem() << '\n';
        return kExitJournalFailed;
    }
    return outcome == Outcome::FileWriteFailed ? saved : exitStatusFor(outcome);
}

int writeModule(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    const auto parsed = parseModuleArgs(args, ModuleCommand::Write, err);
    if (!parsed) {
        return kExitUsage;
    }
    std::unique_ptr<ModuleLabels> labels;
    if (const int status =
            prepareLabels(*parsed, productionLineName(*parsed).value_or(""), "write", err, labels);
        status != kExitOk) {
        return status;
    }
    PreparedLine line;
    if (const int status = prepareLine(*parsed, SerialStart::File, err, line); status != kExitOk) {
        return status;
    }
    const auto ports = makeSystemSerialPortFactory();
    // What the window shows in boxes goes to standard error; its status line
    // is not printed.
    PrintingReporter failures(out, err, true);
    ModuleWriter writer(*ports, failures);
    // A port a station or window holds is theirs: nothing is written there.
    const auto claims = makeSystemPortClaims();
    writer.useClaims(claims.get());
    writer.useJournal(line.journal.get());
    writer.setVerify(parsed->verify);
    std::optional<ModuleRecord> record;
    ConfigBlock working = makeInitialWorkingBlock();
    ConfigBlock module;
    // The port field of the window holds at most this many characters.
    const std::string port = parsed->port.substr(0, kMaxPortNameLength);
    const Outcome written = writer.write(
        port, line.firstSerial, working, module,
        {
            .encode = [&line](ConfigBlock& block) { line.settings->encode(block); },
            .mismatch = [&err](const ConfigBlock& sent,
                               const ConfigBlock& stored) { printDifferences(sent, stored, err); },
            .label = labelStep(labels.get()),
            .recorded = [&record](const ModuleRecord& r) { record = r; },
        });
    if (parsed->json && record) {
        out << moduleRecordJson(*record, productionLineName(*parsed)) << '\n';
    }
    // With JSON on standard output, the texts go to standard error.
    std::ostream& said = parsed->json ? err : out;
    if (written == Outcome::JournalFailed) {
        err << line.journal->problem() << '\n';
        if (record && isSuccess(record->outcome) && record->serial) {
            err << "the module was written with serial number " << record->serial->text()
                << " but its line is not in the journal\n";
        }
        return kExitJournalFailed;
    }
    if (written != Outcome::ModuleWritten) {
        return exitStatusFor(written);
    }
    said << outcomeText(written) << '\n';
    said << "serial number stored: " << record->serial->text() << '\n';
    said << "next serial number: " << record->serial->next().text() << '\n';
    if (record->label == ModuleRecord::Label::Failed) {
        err << "the module was written with serial number " << record->serial->text()
            << " but its label was not printed: " << labels->problem() << '\n';
        return kExitLabelFailed;
    }
    return kExitOk;
}

}  // namespace dl250t::cli
