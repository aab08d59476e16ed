#include "app/window_services.hpp"

#include <iostream>
#include <stdexcept>
#include <utility>

#include "production/csv_journal.hpp"

namespace dl250t {

namespace {

// A failure's reason on standard error as well, on one line after the
// program's name: whoever looks at the line's logs sees why a window stopped
// writing modules.
ConfigDialog::Services withDiagnostics(ConfigDialog::Services services) {
    if (!services.diagnostics) {
        services.diagnostics = [program = services.programName](std::string_view text) {
            std::string line = program + ": ";
            for (const char c : text) {
                line += c == '\n' ? std::string(": ") : std::string(1, c);
            }
            std::cerr << line << std::endl;
        };
    }
    return services;
}

}  // namespace

WindowServices::WindowServices(ConfigDialog::Services services, JournalFactory makeJournal,
                               Production production)
    : prompter_(services.prompter),
      makeJournal_(std::move(makeJournal)),
      journalName_(std::move(production.journal)),
      line_(std::move(production.line)),
      dialog_(withDiagnostics(std::move(services))) {
    dialog_.setVerify(production.verify);
}

void WindowServices::initialise() {
    dialog_.initialise();
    if (journalName_.empty()) {
        return;
    }
    auto journal = makeJournal_(journalName_, line_);
    if (journal == nullptr) {
        // The program's options are checked before the window is made.
        throw std::invalid_argument("--journal names no journal this program can make");
    }
    useJournal(std::move(journal));
}

void WindowServices::useJournal(std::unique_ptr<ProductionJournal> journal) {
    // Kept even when it cannot be written yet (or its database cannot be
    // reached): Write then refuses modules until it can.
    dialog_.useJournal(journal.get());
    journal_ = std::move(journal);
}

void WindowServices::chooseJournal() {
    const auto path = prompter_.chooseFile(journalFileRequest());
    if (path && !path->empty()) {
        useJournal(makeJournal_(*path, std::nullopt));
    }
}

}  // namespace dl250t
