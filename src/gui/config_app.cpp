#include "gui/config_app.hpp"

#include <QApplication>
#include <QGuiApplication>
#include <QScreen>

#include "gui/form_font.hpp"
#include "platform/module_text.hpp"
#include "platform/production_journals.hpp"
#include "ui/system_menu.hpp"

namespace dl250t {

ConfigApp::ConfigApp(Options options)
    : window_(formFont(), options.scale > 0 ? options.scale : primaryScreenScale()),
      view_(window_),
      qtPrompter_(&window_),
      host_(window_, std::move(options.startSources)),
      ports_(options.portDirectory),
      claims_(options.portDirectory),
      services_(
          {
              .view = view_,
              .prompter = options.prompter != nullptr ? *options.prompter : qtPrompter_,
              .host = host_,
              .ports = ports_,
              .clock = options.clock != nullptr ? *options.clock : systemClock_,
              .files = files_,
              .programName = std::move(options.programName),
              .claims = &claims_,
          },
          [](const std::string& journal, const std::optional<std::string>& line) {
              return makeProductionJournal(
                  {.journal = journal, .line = line, .moduleText = moduleTextToUtf8});
          },
          {.journal = std::move(options.journal),
           .line = std::move(options.line),
           .verify = options.verify}) {
    host_.setPortEventHandler([this](const PortEvent& event) { dialog().handlePortEvent(event); });
    window_.setHandlers({
        .controlEvent = [this](ControlEvent event,
                               ctl::ControlId id) { dialog().handleControlEvent(event, id); },
        .accept = [this] { return dialog().accept(); },
        .systemCommand =
            [this](std::uint32_t command) {
                if (isAboutCommand(command)) {
                    dialog().about();
                }
            },
        .verifyChanged = [this](bool verify) { dialog().setVerify(verify); },
        .chooseJournal = [this] { services_.chooseJournal(); },
        .scanChanged = [this](bool scan) { dialog().setScanBoardCodes(scan); },
        .takesScannerKeys = [this] { return dialog().takesScannerKeys(); },
        .scannerKeys = [this](std::string_view typed) { dialog().handleScannerKeys(typed); },
    });
    window_.verifyAction()->setChecked(options.verify);
}

ConfigApp::~ConfigApp() {
    // The controller goes first; nothing may reach it after that.
    window_.setHandlers({});
    host_.setPortEventHandler({});
}

void ConfigApp::start() {
    services_.initialise();
    if (const QScreen* screen = window_.screen()) {
        QRect frame(QPoint(0, 0), window_.size());
        frame.moveCenter(screen->availableGeometry().center());
        window_.move(frame.topLeft());
    }
    window_.show();
    window_.control(ctl::Port)->setFocus(Qt::OtherFocusReason);
}

int ConfigApp::run() {
    QObject::connect(&window_, &QDialog::finished, qApp, &QCoreApplication::quit);
    start();
    return QApplication::exec();
}

}  // namespace dl250t
