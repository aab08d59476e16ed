#include "win32gui/config_app.hpp"

#include "platform/module_text.hpp"
#include "platform/production_journals.hpp"
#include "platform/serial_ports.hpp"
#include "platform/system_files.hpp"

namespace dl250t {

ConfigApp::ConfigApp(HINSTANCE instance, Options options)
    : host_(instance),
      window_(instance, view_),
      systemPorts_(options.ports == nullptr ? makeSystemSerialPortFactory() : nullptr),
      systemClaims_(options.ports == nullptr ? makeSystemPortClaims() : nullptr),
      files_(makeSystemFileStore()),
      services_(
          {
              .view = view_,
              .prompter = prompter_,
              .host = host_,
              .ports = options.ports != nullptr ? *options.ports : *systemPorts_,
              .clock = options.clock != nullptr ? *options.clock : systemClock_,
              .files = *files_,
              .programName = std::move(options.programName),
              .claims = systemClaims_.get(),
          },
          [](const std::string& journal, const std::optional<std::string>& line) {
              return makeProductionJournal(
                  {.journal = journal, .line = line, .moduleText = moduleTextToUtf8});
          },
          {.journal = std::move(options.journal),
           .line = std::move(options.line),
           .verify = options.verify}) {
    window_.setVerifyChecked(options.verify);
    window_.setHandlers({
        .created = [this] { created(); },
        .controlEvent = [this](ControlEvent event,
                               ctl::ControlId id) { dialog().handleControlEvent(event, id); },
        .accept = [this] { return dialog().accept(); },
        .about = [this] { dialog().about(); },
        .portEvent = [this](const PortEvent& event) { dialog().handlePortEvent(event); },
        .verifyChanged = [this](bool verify) { dialog().setVerify(verify); },
        .chooseJournal = [this] { services_.chooseJournal(); },
        .scanChanged = [this](bool scan) { dialog().setScanBoardCodes(scan); },
        .takesScannerKeys = [this] { return dialog().takesScannerKeys(); },
        .scannerKeys = [this](std::string_view typed) { dialog().handleScannerKeys(typed); },
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
    services_.initialise();
}

bool ConfigApp::start() {
    if (window_.create() == nullptr) {
        return false;
    }
    window_.showCentred();
    return true;
}

int ConfigApp::run() {
    if (!start()) {
        return 1;
    }
    return window_.runMessageLoop();
}

}  // namespace dl250t
