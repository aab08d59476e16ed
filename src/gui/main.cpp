// dl250t-config: the desktop configuration tool.

#include <QApplication>
#include <QFile>
#include <cstdio>
#include <optional>
#include <string>

#include "gui/config_app.hpp"
#include "gui/form_font.hpp"
#include "gui/program_icon.hpp"
#include "gui/qt_text.hpp"
#include "platform/port_event_source.hpp"
#include "platform/posix/port_directory.hpp"
#include "platform/production_journals.hpp"
#include "platform/signal_cleanup.hpp"

namespace {

constexpr const char* kUsage =
    "usage: dl250t-config [--journal FILE.csv | --journal postgresql://... [--line NAME]]\n"
    "                     [--verify]\n"
    "  --journal FILE.csv  record every module written in this production journal\n"
    "  --journal postgresql://...\n"
    "                      record them in a PostgreSQL database (a libpq connection URI)\n"
    "                      that the stations of a production line share, and take each\n"
    "                      module's serial number from there\n"
    "  --line NAME         the production line in that database (default: default)\n"
    "  --verify            read back every block written and compare it\n";

}  // namespace

int main(int argc, char** argv) {
    // Ended by a signal, the window leaves neither a half-saved temporary
    // file nor a port that the next program finds busy.
    dl250t::SignalCleanup::install();
    QApplication application(argc, argv);
    // Message boxes and the file chooser show Chinese texts too.
    QApplication::setFont(dl250t::formFont());
    QApplication::setWindowIcon(dl250t::programIcon());

    // Whatever Qt did not take. A mistyped option must not leave a production
    // line running without its journal, so anything else is refused.
    std::string journal;
    std::optional<std::string> line;
    bool verify = false;
    const QStringList args = QCoreApplication::arguments();
    for (qsizetype i = 1; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--journal")) {
            if (i + 1 == args.size() || args[i + 1].isEmpty()) {
                std::fprintf(stderr, "dl250t-config: --journal takes a file or a URI\n%s", kUsage);
                return 1;
            }
            journal = QFile::encodeName(args[++i]).toStdString();
        } else if (args[i] == QLatin1String("--line") && i + 1 < args.size()) {
            line = args[++i].toStdString();
        } else if (args[i] == QLatin1String("--verify")) {
            verify = true;
        } else if (args[i] == QLatin1String("--help") || args[i] == QLatin1String("-h")) {
            std::fputs(kUsage, stdout);
            return 0;
        } else {
            std::fprintf(stderr, "dl250t-config: unexpected argument %s\n%s",
                         args[i].toLocal8Bit().constData(), kUsage);
            return 1;
        }
    }

    if (line && journal.empty()) {
        std::fprintf(stderr, "dl250t-config: --line goes with --journal postgresql://...\n%s",
                     kUsage);
        return 1;
    }
    if (const std::string problem =
            dl250t::journalChoiceProblem({.journal = journal, .line = line});
        !problem.empty()) {
        std::fprintf(stderr, "dl250t-config: %s\n%s", problem.c_str(), kUsage);
        return 1;
    }

    const std::filesystem::path portDirectory = dl250t::defaultPortDirectory();
    dl250t::ConfigApp app({
        .portDirectory = portDirectory,
        .startSources = [portDirectory] { return dl250t::startHotPlugSources(portDirectory); },
        .programName = dl250t::stdText(QCoreApplication::applicationName()),
        .journal = journal,
        .line = line,
        .verify = verify,
    });
    app.run();
    return 0;
}
