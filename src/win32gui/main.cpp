// dl250t-config.exe: the desktop configuration tool as a native Windows dialog.

#include <windows.h>

#include <commctrl.h>
#include <shellapi.h>

#include <optional>
#include <string>
#include <vector>

#include "app/window_command_line.hpp"
#include "platform/production_journals.hpp"
#include "platform/signal_cleanup.hpp"
#include "platform/win32/wide_text.hpp"
#include "win32gui/config_app.hpp"

namespace {

constexpr const char* kUsage =
    "usage: dl250t-config [--journal FILE.csv | --journal postgresql://... [--line NAME]]\n"
    "                     [--verify]\n"
    "  --journal FILE.csv  record every module written in this production journal\n"
    "  --journal postgresql://...\n"
    "                      record them in a PostgreSQL database (a libpq connection URI,\n"
    "                      reached through PostgreSQL's ODBC driver) that the stations of\n"
    "                      a production line share, and take each module's serial number\n"
    "                      from there\n"
    "  --line NAME         the production line in that database (default: default)\n"
    "  --verify            read back every block written and compare it\n";

constexpr dl250t::ProductionOptionRules kProductionRules = {
    .journalWithoutValue = "--journal takes a file or a URI",
    .emptyJournal = "--journal takes a file or a URI",
    .lineWithoutJournal = "--line goes with --journal postgresql://...",
};

// The arguments after the program's name, in UTF-8.
std::vector<std::string> arguments() {
    std::vector<std::string> result;
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide == nullptr) {
        return result;
    }
    for (int i = 1; i < count; ++i) {
        result.push_back(dl250t::wideToUtf8(wide[i]));
    }
    LocalFree(wide);
    return result;
}

// The program's file name without its folder and extension.
std::string programName() {
    std::wstring path(MAX_PATH, L'\0');
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), MAX_PATH);
    path.resize(length);
    const auto slash = path.find_last_of(L"\\/");
    std::wstring name = slash == std::wstring::npos ? path : path.substr(slash + 1);
    if (const auto dot = name.rfind(L'.'); dot != std::wstring::npos && dot > 0) {
        name.resize(dot);
    }
    return name.empty() ? "dl250t-config" : dl250t::wideToUtf8(name);
}

// A window program has a standard error only when it was started from a
// console or with one given; otherwise the text goes into a message box.
void tell(const std::string& text, bool failure) {
    const HANDLE error = GetStdHandle(failure ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
    DWORD written = 0;
    if (error != nullptr && error != INVALID_HANDLE_VALUE &&
        WriteFile(error, text.data(), static_cast<DWORD>(text.size()), &written, nullptr)) {
        return;
    }
    MessageBoxW(nullptr, dl250t::utf8ToWide(text).value_or(L"").c_str(), L"dl250t-config",
                MB_OK | (failure ? MB_ICONERROR : MB_ICONINFORMATION));
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    // Ended by Ctrl+C or a closed console, the window leaves neither a
    // half-saved temporary file nor a port that the next program finds busy.
    dl250t::SignalCleanup::install();
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES};
    InitCommonControlsEx(&controls);

    const dl250t::WindowCommandLine command = dl250t::readWindowCommandLine(
        arguments(), kProductionRules,
        [](const std::string& journal, const std::optional<std::string>& line) {
            return dl250t::journalChoiceProblem({.journal = journal, .line = line});
        });
    if (command.help) {
        tell(kUsage, false);
        return 0;
    }
    if (!command.problem.empty()) {
        tell("dl250t-config: " + command.problem + "\n" + kUsage, true);
        return 1;
    }
    dl250t::ConfigApp::Options options;
    options.programName = programName();
    options.journal = command.production.journal.value_or("");
    options.line = command.production.line;
    options.verify = command.production.verify;
    dl250t::ConfigApp app(instance, std::move(options));
    return app.run();
}
