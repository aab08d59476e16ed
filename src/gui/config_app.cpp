#include "gui/config_app.hpp"

#include <QApplication>
#include <QGuiApplication>
#include <QScreen>
#include <stdexcept>

#include "gui/form_font.hpp"
#include "platform/journal_files.hpp"
#include "platform/module_text.hpp"
#include "platform/production_journals.hpp"
#include "platform/system_menu.hpp"
#include "production/csv_journal.hpp"

namespace dl250t {

ConfigApp::ConfigApp(Options options)
    : window_(formFont(), options.scale > 0 ? options.scale : primaryScreenScale()),
      view_(window_),
      qtPrompter_(&window_),
      host_(window_, std::move(options.startSources)),
      ports_(options.portDirectory),
      prompter_(options.prompter != nullptr ? *options.prompter : qtPrompter_),
      journalName_(std::move(options.journal)),
      line_(std::move(options.line)) {
    dialog_ = std::make_unique<ConfigDialog>(ConfigDialog::Services{
        .view = view_,
        .prompter = prompter_,
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
        .systemCommand =
            [this](std::uint32_t command) {
                if (isAboutCommand(command)) {
                    dialog_->about();
                }
            },
        .verifyChanged = [this](bool verify) { dialog_->setVerify(verify); },
        .chooseJournal = [this] { chooseJournal(); },
    });
    window_.verifyAction()->setChecked(options.verify);
}

ConfigApp::~ConfigApp() {
    // The controller goes first; nothing may reach it after that.
    window_.setHandlers({});
    host_.setPortEventHandler({});
}

void ConfigApp::start() {
    dialog_->initialise();
    if (!journalName_.empty()) {
        auto journal = makeProductionJournal(
            {.journal = journalName_, .line = line_, .moduleText = moduleTextToUtf8});
        if (journal == nullptr) {
            // The program's options are checked before the window is made.
            throw std::invalid_argument(
                journalChoiceProblem({.journal = journalName_, .line = line_}));
        }
        useJournal(std::move(journal));
    }
    if (const QScreen* screen = window_.screen()) {
        QRect frame(QPoint(0, 0), window_.size());
        frame.moveCenter(screen->availableGeometry().center());
        window_.move(frame.topLeft());
    }
    window_.show();
    window_.control(ctl::Port)->setFocus(Qt::OtherFocusReason);
}

void ConfigApp::useJournal(std::unique_ptr<ProductionJournal> journal) {
    // Kept even when it cannot be written yet (or its database cannot be
    // reached): Write then refuses modules until it can.
    dialog_->useJournal(journal.get());
    journal_ = std::move(journal);
}

void ConfigApp::chooseJournal() {
    const auto path = prompter_.chooseFile(journalFileRequest());
    if (path && !path->empty()) {
        useJournal(makeCsvJournal(*path, moduleTextToUtf8));
    }
}

int ConfigApp::run() {
    QObject::connect(&window_, &QDialog::finished, qApp, &QCoreApplication::quit);
    start();
    return QApplication::exec();
}

}  // namespace dl250t
