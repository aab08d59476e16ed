#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/config_dialog.hpp"
#include "production/production_journal.hpp"

namespace dl250t {

// The journal a window records in, not opened yet: the one its program's
// options name (a CSV file, or a database and its line), or the CSV file the
// operator chose (no line). nullptr when it cannot be made of these.
using JournalFactory = std::function<std::unique_ptr<ProductionJournal>(
    const std::string& journal, const std::optional<std::string>& line)>;

// The controller of a window with the production services around it, set up
// alike for every window: the journal that the program's options name or the
// operator chooses from the context menu, and verification. The window's
// adapters and the system's pieces (ports, clock, files, journals) come from
// the window's program.
class WindowServices {
public:
    // What the program's options asked for: the journal every module written
    // is recorded in, none when empty, and the line of a database journal;
    // verification of every block written.
    struct Production {
        std::string journal = {};
        std::optional<std::string> line = {};
        bool verify = false;
    };

    WindowServices(ConfigDialog::Services services, JournalFactory makeJournal,
                   Production production);

    ConfigDialog& dialog() { return dialog_; }

    // When the window has been created: initialises the controller, then
    // opens the journal of the options. Both tell the operator of what fails
    // before the window shows.
    void initialise();

    // The context menu's journal entry: the file chooser, then the journal.
    void chooseJournal();

private:
    // Records every Write in this journal from now on.
    void useJournal(std::unique_ptr<ProductionJournal> journal);

    Prompter& prompter_;
    JournalFactory makeJournal_;
    std::string journalName_;
    std::optional<std::string> line_;
    // Before the controller, which records in it until the end.
    std::unique_ptr<ProductionJournal> journal_;
    ConfigDialog dialog_;
};

}  // namespace dl250t
