#include "app/config_dialog.hpp"

#include <algorithm>
#include <array>
#include <chrono>

#include "config/config_file.hpp"
#include "config/field_codec.hpp"
#include "config/module_identity.hpp"
#include "link/module_exchange.hpp"
#include "link/port_name.hpp"
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

// Reports of the module exchanges: the status line, and an error box for
// failures. A read-back tells only of failures.
class ConfigDialog::Reporter final : public ExchangeReporter {
public:
    explicit Reporter(ConfigDialog& dialog, bool failuresOnly = false)
        : dialog_(dialog), failuresOnly_(failuresOnly) {}
    void report(Outcome outcome) override {
        if (!failuresOnly_ || !isSuccess(outcome)) {
            dialog_.report(outcome);
        }
    }

private:
    ConfigDialog& dialog_;
    bool failuresOnly_;
};

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
      journal_(services.journal),
      onModuleRecord_(std::move(services.onModuleRecord)),
      form_(services.view, prompter_, std::move(services.programName)),
      working_(makeInitialWorkingBlock()) {
    form_.settings().serialText = defaultSerialText(services.clock.secondsSince1970());
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
        prompter_.showMessage(outcomeText(outcome), kToolMessageTitle, MessageIcon::Error);
    }
    return outcome;
}

Outcome ConfigDialog::read() {
    CommandScope scope(*this);
    const std::string port = chosenPort();
    if (port.empty()) {
        return report(Outcome::NoPortChosen);
    }
    Reporter reporter(*this);
    return readExchange(ports_, port, working_, reporter, [this](const ConfigBlock& block) {
        if (!autoConfigure()) {
            form_.decodeBlock(block);
        }
    });
}

Outcome ConfigDialog::write() {
    CommandScope scope(*this);
    const std::string port = chosenPort();
    if (port.empty()) {
        return report(Outcome::NoPortChosen);
    }
    if (journal_ != nullptr) {
        // A journal that cannot take the module's line stops the module
        // before it is touched.
        const auto serial = journal_->beginModule(view_.text(ctl::Serial));
        if (!serial) {
            return report(Outcome::JournalFailed);
        }
        if (*serial != view_.text(ctl::Serial)) {
            view_.setText(ctl::Serial, *serial);
        }
        // Until the module is recorded its boxes wait: the journal may be
        // holding a line's numbering that other stations wait for.
        prompter_.hold();
    }
    ModuleRecord record;
    record.time = std::chrono::system_clock::now();
    record.port = port;
    const auto started = std::chrono::steady_clock::now();
    record.outcome = writeModule(port, record);
    record.milliseconds = std::chrono::duration_cast<std::chrono::milliseconds>(
                              std::chrono::steady_clock::now() - started)
                              .count();
    const bool recorded = journal_ == nullptr || journal_->finishModule(record);
    prompter_.release();
    if (onModuleRecord_) {
        onModuleRecord_(record);
    }
    if (!recorded) {
        return report(Outcome::JournalFailed);
    }
    return record.outcome;
}

Outcome ConfigDialog::writeModule(const std::string& port, ModuleRecord& record) {
    {
        // The number as the encode will read it from the form.
        ConfigBlock serial;
        encodeSerialText(serial, view_.text(ctl::Serial));
        record.serial = decodeSerialText(serial);
    }
    Reporter reporter(*this);
    const Outcome read = readExchange(ports_, port, scratch_, reporter);
    if (read != Outcome::ModuleRead) {
        return read;
    }
    record.moduleName = identityName(scratch_);
    record.moduleVersion = identityVersion(scratch_);

    // The connected module's identity, shown without touching the record.
    view_.setText(ctl::ModuleName, record.moduleName);
    view_.setText(ctl::Version, record.moduleVersion);
    view_.setText(ctl::Type, identityType(scratch_));
    view_.setText(ctl::MaxPower, identityMaxPower(scratch_));
    bool encoded = false;
    const Outcome written = writeExchange(
        ports_, port, working_,
        [this, &encoded](ConfigBlock& block) {
            // The module keeps its own identity string and version. They are
            // taken only once the port is open again, so that a module pulled
            // out between the two exchanges leaves the working block as it was.
            std::copy(scratch_.bytes.begin() + block::kIdentity,
                      scratch_.bytes.begin() + block::kSerial,
                      block.bytes.begin() + block::kIdentity);
            form_.encodeForStoring(block);
            encoded = true;
        },
        reporter);
    if (encoded) {
        // Stamped by now: the block as it went to the module.
        record.serial = decodeSerialText(working_);
        record.crc =
            static_cast<std::uint16_t>(working_[block::kCrc] | working_[block::kCrc + 1] << 8);
    }
    if (written != Outcome::ModuleWritten) {
        return written;
    }
    if (verify_) {
        const Outcome verified = verifyStored(port, record);
        if (verified != Outcome::ModuleWritten) {
            return verified;
        }
    }
    incrementSerial(working_);
    view_.setText(ctl::Serial, decodeSerialText(working_));
    return written;
}

Outcome ConfigDialog::verifyStored(const std::string& port, ModuleRecord& record) {
    // A block of its own, so that the working block stays as it was sent.
    // The status line keeps the write's success unless the read-back fails.
    ConfigBlock stored;
    Reporter reporter(*this, true);
    const Outcome read = readExchange(ports_, port, stored, reporter);
    if (read != Outcome::ModuleRead) {
        return read;
    }
    if (stored != working_) {
        record.verify = ModuleRecord::Verify::Mismatch;
        return report(Outcome::ModuleVerifyFailed);
    }
    record.verify = ModuleRecord::Verify::Ok;
    return Outcome::ModuleWritten;
}

bool ConfigDialog::useJournal(ProductionJournal* journal) {
    CommandScope scope(*this);
    journal_ = journal;
    if (journal_ == nullptr) {
        return true;
    }
    if (!journal_->open()) {
        report(Outcome::JournalFailed);
        return false;
    }
    if (const auto next = journal_->resumeSerial()) {
        view_.setText(ctl::Serial, *next);
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
    queuePortEvent(event);
    if (commandDepth_ == 0) {
        drainPortEvents();
    }
}

void ConfigDialog::queuePortEvent(const PortEvent& event) {
    const auto samePort = [&](const PortEvent& waiting) {
        const bool watch = waiting.kind == PortEvent::Kind::WatchLost;
        if (watch || event.kind == PortEvent::Kind::WatchLost) {
            return watch && event.kind == PortEvent::Kind::WatchLost;
        }
        return portNumberFromName(waiting.portName) == portNumberFromName(event.portName);
    };
    const auto waiting =
        std::find_if(pendingPortEvents_.begin(), pendingPortEvents_.end(), samePort);
    if (waiting == pendingPortEvents_.end()) {
        pendingPortEvents_.push_back(event);
    } else if (waiting->kind != event.kind) {
        // An arrival and its removal: nothing is left to write. A removal and
        // a new arrival: the module there now is the one to write, and the
        // removal has nothing left to tell.
        pendingPortEvents_.erase(waiting);
        if (event.kind == PortEvent::Kind::Arrival) {
            pendingPortEvents_.push_back(event);
        }
    }
}

void ConfigDialog::drainPortEvents() {
    if (draining_) {
        return;
    }
    draining_ = true;
    while (!pendingPortEvents_.empty()) {
        const PortEvent event = pendingPortEvents_.front();
        pendingPortEvents_.pop_front();
        handlePortEventNow(event);
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
    if (event.kind == PortEvent::Kind::Removal) {
        status("模块从" + com + "拔出");
        return;
    }
    status("模块从" + com + "插入");
    view_.setText(ctl::Port, com);
    if (autoConfigure()) {
        write();
    }
}

}  // namespace dl250t
