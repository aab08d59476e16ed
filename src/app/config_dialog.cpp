#include "app/config_dialog.hpp"

#include <algorithm>
#include <array>

#include "config/config_file.hpp"
#include "config/module_identity.hpp"
#include "link/module_exchange.hpp"
#include "link/port_name.hpp"
#include "production/serial_number.hpp"
#include "ui/form_exchange.hpp"
#include "ui/form_template.hpp"
#include "ui/message_titles.hpp"

namespace dl250t {

namespace {

constexpr std::string_view kRegistrationFailed =
    "Failed to register notification of device change, please enable UPnP!";
// The port directory cannot be watched (gone, refused, or no watch to be
// had): modules plugged in through it go unnoticed until it is back.
constexpr std::string_view kPortWatchLost = "串口目录无法监视！";

FileRequest configFileRequest(FileRequest::Mode mode) {
    return {mode, "*.cfg", {{"配置文件(*.cfg)", "*.cfg"}, {"所有文件(*.*)", "*.*"}}};
}

}  // namespace

// Marks a command as running. Port events that arrive meanwhile wait, and the
// outermost command handles them when it ends.
class ConfigDialog::CommandScope {
public:
    explicit CommandScope(ConfigDialog& dialog) : dialog_(dialog) { ++dialog_.commandDepth_; }
    ~CommandScope() {
        if (--dialog_.commandDepth_ == 0) {
            dialog_.drainPortEvents();
        }
    }
    CommandScope(const CommandScope&) = delete;
    CommandScope& operator=(const CommandScope&) = delete;

private:
    ConfigDialog& dialog_;
};

ConfigDialog::ConfigDialog(Services services)
    : view_(services.view),
      prompter_(services.prompter),
      host_(services.host),
      ports_(services.ports),
      files_(services.files),
      onModuleRecord_(std::move(services.onModuleRecord)),
      diagnostics_(std::move(services.diagnostics)),
      writer_(services.ports, reporter_),
      form_(services.view, prompter_, std::move(services.programName)),
      working_(makeInitialWorkingBlock()) {
    form_.settings().serialText = defaultSerialText(services.clock.secondsSince1970());
    writer_.useJournal(services.journal);
    writer_.useClaims(services.claims);
}

void ConfigDialog::initialise() {
    CommandScope scope(*this);
    form_.fill();
    if (!host_.registerPortNotifications()) {
        prompter_.showMessage(kRegistrationFailed, kToolMessageTitle, MessageIcon::Error);
        view_.setEnabled(ctl::AutoConfigure, false);
    }
    host_.showCollapsedHeight();
}

void ConfigDialog::handleControlEvent(ControlEvent event, ctl::ControlId id) {
    using Handler = void (*)(ConfigDialog&);
    struct Route {
        ControlEvent event;
        ctl::ControlId id;
        Handler handler;  // nullptr: the event is known and needs nothing
    };
    // Every control event the tool reacts to; all others only change the
    // control. A command has shown its outcome by the time it returns.
    static constexpr std::array<Route, 10> kCommandTable = {{
        {ControlEvent::Clicked, ctl::ReadButton, [](ConfigDialog& d) { d.read(); }},
        {ControlEvent::Clicked, ctl::WriteButton, [](ConfigDialog& d) { d.write(); }},
        {ControlEvent::Clicked, ctl::OpenButton, [](ConfigDialog& d) { d.open(); }},
        {ControlEvent::Clicked, ctl::SaveButton, [](ConfigDialog& d) { d.save(); }},
        {ControlEvent::Clicked, ctl::AdvancedButton, [](ConfigDialog& d) { d.toggleAdvanced(); }},
        {ControlEvent::Clicked, ctl::AutoConfigure,
         [](ConfigDialog& d) { d.onAutoConfigureClicked(); }},
        {ControlEvent::Clicked, ctl::ApplyButton, [](ConfigDialog& d) { d.apply(); }},
        {ControlEvent::SelectionChanged, ctl::DefaultRate,
         [](ConfigDialog& d) { d.defaultRateChanged(); }},
        {ControlEvent::SelectionChanged, ctl::RateUpper,
         [](ConfigDialog& d) { d.rateUpperChanged(); }},
        {ControlEvent::TextChanged, ctl::ModuleName, nullptr},
    }};
    for (const Route& route : kCommandTable) {
        if (route.event == event && route.id == id) {
            if (route.handler != nullptr) {
                route.handler(*this);
            }
            return;
        }
    }
}

void ConfigDialog::defaultRateChanged() {
    CommandScope scope(*this);
    form_.applyDefaultRate();
}

void ConfigDialog::rateUpperChanged() {
    CommandScope scope(*this);
    form_.applyRateUpperLimit();
}

std::string ConfigDialog::chosenPort() const {
    std::string text = view_.text(ctl::Port);
    if (text.size() > kMaxPortNameLength) {
        text.resize(kMaxPortNameLength);
    }
    return text;
}

void ConfigDialog::status(std::string_view text) {
    view_.setText(ctl::StatusLine, text);
}

Outcome ConfigDialog::report(Outcome outcome) {
    lastOutcome_ = outcome;
    const OutcomeDisplay display = outcomeDisplay(outcome);
    if (display == OutcomeDisplay::StatusLine || display == OutcomeDisplay::StatusLineAndErrorBox) {
        status(outcomeText(outcome));
    }
    if (display == OutcomeDisplay::StatusLineAndErrorBox || display == OutcomeDisplay::ErrorBox) {
        std::string text(outcomeText(outcome));
        // A journal's failure is one of many (a file that is no journal, a
        // full disk, a database that refuses): the box says which.
        const ProductionJournal* journal = writer_.journal();
        if (outcome == Outcome::JournalFailed && journal != nullptr) {
            if (const std::string problem = journal->problem(); !problem.empty()) {
                text += '\n' + problem;
            }
            if (diagnostics_) {
                diagnostics_(text);
            }
        }
        prompter_.showMessage(text, kToolMessageTitle, MessageIcon::Error);
    }
    return outcome;
}

Outcome ConfigDialog::read() {
    CommandScope scope(*this);
    const std::string port = chosenPort();
    if (port.empty()) {
        return report(Outcome::NoPortChosen);
    }
    return readExchange(ports_, port, working_, reporter_, [this](const ConfigBlock& block) {
        if (!autoConfigure()) {
            form_.decodeBlock(block);
        }
    });
}

Outcome ConfigDialog::write() {
    return writeModule({});
}

Outcome ConfigDialog::writeModule(const std::string& board) {
    CommandScope scope(*this);
    const std::string port = chosenPort();
    if (port.empty()) {
        return report(Outcome::NoPortChosen);
    }
    const SerialNumber serial = SerialNumber::fromText(view_.text(ctl::Serial));
    const ModuleWriter::Steps steps{
        .encode = [this](ConfigBlock& block) { form_.encodeForStoring(block); },
        .numberTaken =
            [this, serial](SerialNumber taken) {
                // The number the line gives is the one the form shows.
                if (taken != serial) {
                    view_.setText(ctl::Serial, taken.text());
                }
            },
        .moduleRead =
            [this](const ConfigBlock& module) {
                // The connected module's identity, shown without touching the record.
                view_.setText(ctl::ModuleName, identityName(module));
                view_.setText(ctl::Version, identityVersion(module));
                view_.setText(ctl::Type, identityType(module));
                view_.setText(ctl::MaxPower, identityMaxPower(module));
            },
        .journalHolding =
            [this](bool holding) {
                // Until the module is recorded its boxes wait: the journal may
                // be holding a line's numbering that other stations wait for.
                if (holding) {
                    prompter_.hold();
                } else {
                    prompter_.release();
                }
            },
        .recorded =
            [this](const ModuleRecord& record) {
                if (record.outcome == Outcome::ModuleWritten) {
                    // The module holds its number now: the next one gets the
                    // number after it.
                    const SerialNumber next = SerialNumber::fromBlock(working_).next();
                    next.storeIn(working_);
                    view_.setText(ctl::Serial, next.text());
                } else if (record.reserved && record.serial) {
                    // The journal used the number up for a module that may
                    // hold it: it is never given again.
                    view_.setText(ctl::Serial, record.serial->next().text());
                }
                if (onModuleRecord_) {
                    onModuleRecord_(record);
                }
            },
        .board = board,
    };
    return writer_.write(port, serial, working_, scratch_, steps);
}

bool ConfigDialog::useJournal(ProductionJournal* journal) {
    CommandScope scope(*this);
    writer_.useJournal(journal);
    if (journal == nullptr) {
        return true;
    }
    if (!journal->open()) {
        report(Outcome::JournalFailed);
        return false;
    }
    if (const auto next = journal->resumeSerial()) {
        view_.setText(ctl::Serial, next->text());
    }
    return true;
}

Outcome ConfigDialog::open() {
    CommandScope scope(*this);
    const auto path = prompter_.chooseFile(configFileRequest(FileRequest::Mode::Open));
    if (!path || path->empty()) {
        return report(Outcome::Cancelled);
    }
    const LoadedConfigFile loaded = loadConfigFile(files_, *path);
    // A file that cannot be read to its end counts as one that cannot be
    // opened: there is nothing to check.
    if (!loaded.opened || loaded.readFailed) {
        return report(Outcome::FileOpenFailed);
    }
    report(Outcome::FileOpened);
    scratch_ = loaded.block;
    if (const auto failure = blockCheckFailure(loaded.check)) {
        return report(*failure);
    }
    report(Outcome::FileRead);
    form_.decodeBlock(scratch_);
    return Outcome::FileRead;
}

Outcome ConfigDialog::save() {
    CommandScope scope(*this);
    const auto path = prompter_.chooseFile(configFileRequest(FileRequest::Mode::Save));
    if (!path || path->empty()) {
        return report(Outcome::Cancelled);
    }
    const std::unique_ptr<FileReplacement> file = files_.beginReplacing(*path);
    if (file == nullptr) {
        return report(Outcome::FileOpenFailed);
    }
    report(Outcome::FileOpened);
    form_.encodeForStoring(working_);
    stampHeaderAndCrc(working_);
    return report(writeConfigFile(*file, working_) ? Outcome::FileWritten
                                                   : Outcome::FileWriteFailed);
}

void ConfigDialog::apply() {
    CommandScope scope(*this);
    form_.encodeBlock(working_);
    form_.decodeBlock(working_);
}

void ConfigDialog::toggleAdvanced() {
    CommandScope scope(*this);
    form_.advancedShown = !form_.advancedShown;
    if (form_.advancedShown) {
        host_.showFullHeight();
        view_.setText(ctl::AdvancedButton, kAdvancedCaptionShown);
    } else {
        host_.showCollapsedHeight();
        view_.setText(ctl::AdvancedButton, kAdvancedCaptionHidden);
    }
}

void ConfigDialog::onAutoConfigureClicked() {
    CommandScope scope(*this);
    form_.read();
    setFrozenControlsEnabled(view_, !autoConfigure());
    // Modules that waited for codes are no longer to be written, and a code
    // scanned before is not one the operator still has in mind.
    codes_.clear();
}

void ConfigDialog::setScanBoardCodes(bool scan) {
    scanBoardCodes_ = scan;
    codes_.clear();
}

void ConfigDialog::handleScannerKeys(std::string_view bytes) {
    if (!takesScannerKeys()) {
        return;
    }
    for (BoardCodes::Scan& scan : codes_.feed(bytes)) {
        if (scan.kind == BoardCodes::Scan::Kind::Paired) {
            pendingPairs_.push_back(std::move(scan));
        } else {
            showScan(scan);
        }
    }
    if (commandDepth_ == 0) {
        drainPortEvents();
    }
}

void ConfigDialog::showScan(const BoardCodes::Scan& scan) {
    switch (scan.kind) {
        case BoardCodes::Scan::Kind::Refused:
            status(std::string(scan.refusal == BoardCodes::Refusal::TooLong
                                   ? "板号超过64个字符，未采用"
                                   : "板号含有无法打印的字符，未采用"));
            break;
        case BoardCodes::Scan::Kind::Replaced:
            status("板号" + scan.code + "（代替" + scan.replaced + "），等待模块插入");
            break;
        case BoardCodes::Scan::Kind::Waiting:
            status("板号" + scan.code + "，等待模块插入");
            break;
        case BoardCodes::Scan::Kind::Paired:
            break;
    }
}

bool ConfigDialog::accept() {
    CommandScope scope(*this);
    return form_.read();
}

void ConfigDialog::about() {
    CommandScope scope(*this);
    host_.showAbout();
}

void ConfigDialog::handlePortEvent(const PortEvent& event) {
    // Names shorter than "COMn" carry no number.
    if (event.kind != PortEvent::Kind::WatchLost && event.portName.size() < 4) {
        return;
    }
    pendingPortEvents_.push(event);
    if (commandDepth_ == 0) {
        drainPortEvents();
    }
}

void ConfigDialog::drainPortEvents() {
    if (draining_) {
        return;
    }
    draining_ = true;
    for (;;) {
        if (const auto event = pendingPortEvents_.pop()) {
            handlePortEventNow(*event);
        } else if (!pendingPairs_.empty()) {
            const BoardCodes::Scan pair = std::move(pendingPairs_.front());
            pendingPairs_.pop_front();
            view_.setText(ctl::Port, pair.port);
            if (autoConfigure()) {
                writeModule(pair.code);
            }
        } else {
            break;
        }
    }
    draining_ = false;
}

void ConfigDialog::handlePortEventNow(const PortEvent& event) {
    CommandScope scope(*this);
    if (event.kind == PortEvent::Kind::WatchLost) {
        status(kPortWatchLost);
        return;
    }
    const int number = portNumberFromName(event.portName);
    const std::string com = comName(number);
    PortClaims* claims = writer_.claims();
    if (event.kind == PortEvent::Kind::Removal) {
        codes_.removed(com);
        std::erase_if(pendingPairs_,
                      [&](const BoardCodes::Scan& pair) { return pair.port == com; });
        if (claims != nullptr) {
            claims->release(com);
        }
        status("模块从" + com + "拔出");
        return;
    }
    status("模块从" + com + "插入");
    view_.setText(ctl::Port, com);
    if (!autoConfigure()) {
        return;
    }
    // The module another program holds (a station, another window) is
    // that program's: the status line says so, and no box waits.
    if (claims != nullptr && claims->claim(com) == PortClaims::Claim::Refused) {
        report(Outcome::PortInUse);
        return;
    }
    if (!scanBoardCodes_) {
        write();
    } else if (const auto code = codes_.arrived(com)) {
        writeModule(*code);
    } else {
        status("模块从" + com + "插入，等待扫描板号");
    }
}

}  // namespace dl250t
