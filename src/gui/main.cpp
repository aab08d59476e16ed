// dl250t-config: the desktop configuration tool.

#include <QApplication>

#include "gui/config_app.hpp"
#include "gui/form_font.hpp"
#include "gui/program_icon.hpp"
#include "gui/qt_text.hpp"
#include "platform/port_event_source.hpp"
#include "platform/posix/port_directory.hpp"
#include "platform/signal_cleanup.hpp"

int main(int argc, char** argv) {
    // Ended by a signal, the window leaves neither a half-saved temporary
    // file nor a port that the next program finds busy.
    dl250t::SignalCleanup::install();
    QApplication application(argc, argv);
    // Message boxes and the file chooser show Chinese texts too.
    QApplication::setFont(dl250t::formFont());
    QApplication::setWindowIcon(dl250t::programIcon());

    const std::filesystem::path portDirectory = dl250t::defaultPortDirectory();
    dl250t::ConfigApp app({
        .portDirectory = portDirectory,
        .startSources = [portDirectory] { return dl250t::startHotPlugSources(portDirectory); },
        .programName = dl250t::stdText(QCoreApplication::applicationName()),
    });
    app.run();
    return 0;
}
