// dl250t-config: the desktop configuration tool.

#include <QApplication>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "app/window_command_line.hpp"
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

constexpr dl250t::ProductionOptionRules kProductionRules = {
    .journalWithoutValue = "--journal takes a file or a URI",
    .emptyJournal = "--journal takes a file or a URI",
    .lineWithoutJournal = "--line goes with --journal postgresql://...",
};

}  // namespace

int main(int argc, char** argv) {
    // Ended by a signal, the window leaves neither a half-saved temporary
    // file nor a port that the next program finds busy.
    dl250t::SignalCleanup::install();
    QApplication application(argc, argv);
    // Message boxes and the file chooser show Chinese texts too.
    QApplication::setFont(dl250t::formFont());
    QApplication::setWindowIcon(dl250t::programIcon());

    // Whatever Qt did not take.
    const QStringList qtArgs = QCoreApplication::arguments();
    std::vector<std::string> args;
    for (qsizetype i = 1; i < qtArgs.size(); ++i) {
        args.push_back(dl250t::stdText(qtArgs[i]));
    }
    const dl250t::WindowCommandLine command = dl250t::readWindowCommandLine(
        args, kProductionRules,
        [](const std::string& journal, const std::optional<std::string>& line) {
            return dl250t::journalChoiceProblem({.journal = journal, .line = line});
        });
    if (command.help) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (!command.problem.empty()) {
        std::fprintf(stderr, "dl250t-config: %s\n%s", command.problem.c_str(), kUsage);
        return 1;
    }

    const std::filesystem::path portDirectory = dl250t::defaultPortDirectory();
    dl250t::ConfigApp app({
        .portDirectory = portDirectory,
        .startSources = [portDirectory] { return dl250t::startHotPlugSources(portDirectory); },
        .programName = dl250t::stdText(QCoreApplication::applicationName()),
        .journal = command.production.journal.value_or(""),
        .line = command.production.line,
        .verify = command.production.verify,
    });
    app.run();
    return 0;
}
