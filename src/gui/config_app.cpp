#include "gui/config_app.hpp"

#include <QApplication>
#include <QGuiApplication>
#include <QScreen>

#include "gui/form_font.hpp"

namespace dl250t {

ConfigApp::ConfigApp(Options options)
    : window_(formFont(), options.scale > 0 ? options.scale : primaryScreenScale()),
      view_(window_),
      qtPrompter_(&window_),
      host_(window_, std::move(options.startSources)),
      ports_(options.portDirectory) {
    dialog_ = std::make_unique<ConfigDialog>(ConfigDialog::Services{
        .view = view_,
        .prompter = options.prompter != nullptr ? *options.prompter : qtPrompter_,
        .host = host_,
        .ports = ports_,
        .clock = options.clock != nullptr ? *options.clock : systemClock_,
        .files = files_,
        .programName = std::move(options.programName),
    });
    host_.setPortEventHandler([this](const PortEvent& event) { dialog_->handlePortEvent(event); });
    window_.setHandlers({
        .controlEvent = [this](ControlEvent event,
                               ctl::ControlId id) { dialog_->handleControlEvent(event, id); },
        .accept = [this] { return dialog_->accept(); },
        .systemCommand = [this](std::uint32_t command) { dialog_->handleSystemCommand(command); },
    });
}

ConfigApp::~ConfigApp() {
    // The controller goes first; nothing may reach it after that.
    window_.setHandlers({});
    host_.setPortEventHandler({});
}

void ConfigApp::start() {
    dialog_->initialise();
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
