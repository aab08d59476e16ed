#include "win32gui/config_app.hpp"

#include "platform/journal_files.hpp"
#include "platform/module_text.hpp"
#include "platform/serial_ports.hpp"
#include "platform/system_files.hpp"
#include "production/csv_journal.hpp"

namespace dl250t {

ConfigApp::ConfigApp(HINSTANCE instance, Options options)
    : host_(instance),
      window_(instance, view_),
      systemPorts_(options.ports == nullptr ? makeSystemSerialPortFactory() : nullptr),
      files_(makeSystemFileStore()),
      journalPath_(std::move(options.journal)) {
    dialog_ = std::make_unique<ConfigDialog>(ConfigDialog::Services{
        .view = view_,
        .prompter = prompter_,
        .host = host_,
        .ports = options.ports != nullptr ? *options.ports : *systemPorts_,
        .clock = options.clock != nullptr ? *options.clock : systemClock_,
        .files = *files_,
        .programName = std::move(options.programName),
    });
    window_.setVerifyChecked(options.verify);
    dialog_->setVerify(options.verify);
    window_.setHandlers({
        .created = [this] { created(); },
        .controlEvent = [this](ControlEvent event,
                               ctl::ControlId id) { dialog_->handleControlEvent(event, id); },
        .accept = [this] { return dialog_->accept(); },
        .about = [this] { dialog_->about(); },
        .portEvent = [this](const PortEvent& event) { dialog_->handlePortEvent(event); },
        .verifyChanged = [this](bool verify) { dialog_->setVerify(verify); },
        .chooseJournal = [this] { chooseJournal(); },
    });
}

ConfigApp::~ConfigApp() {
    // The controller goes first; nothing may reach it after that.
    window_.setHandlers({});
}

void ConfigApp::created() {
    const HWND window = window_.handle();
    prompter_.setOwner(window);
    host_.setDialog(window);
    dialog_->initialise();
    if (!journalPath_.empty()) {
        useJournalAt(journalPath_);
    }
}

bool ConfigApp::start() {
    if (window_.create() == nullptr) {
        return false;
    }
    window_.showCentred();
    return true;
}

void ConfigApp::useJournalAt(const std::string& path) {
    auto journal = makeCsvJournal(path, moduleTextToUtf8);
    // Kept even when it cannot be written yet: Write then refuses modules
    // until it can.
    dialog_->useJournal(journal.get());
    journal_ = std::move(journal);
}

void ConfigApp::chooseJournal() {
    const auto path = prompter_.chooseFile(journalFileRequest());
    if (path && !path->empty()) {
        useJournalAt(*path);
    }
}

int ConfigApp::run() {
    if (!start()) {
        return 1;
    }
    return window_.runMessageLoop();
}

}  // namespace dl250t
