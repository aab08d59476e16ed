#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>

#include "app/held_messages.hpp"
#include "app/window_host.hpp"
#include "config/clock.hpp"
#include "config/config_block.hpp"
#include "config/file_store.hpp"
#include "config/outcome.hpp"
#include "hotplug/port_event.hpp"
#include "link/exchange_reporter.hpp"
#include "link/serial_port.hpp"
#include "production/board_codes.hpp"
#include "production/module_writer.hpp"
#include "production/port_event_queue.hpp"
#include "production/production_journal.hpp"
#include "ui/form_view.hpp"
#include "ui/prompter.hpp"
#include "ui/settings_form.hpp"

namespace dl250t {

// Events of the form's controls that the command table routes.
enum class ControlEvent { Clicked, SelectionChanged, TextChanged };

// The window's controller: owns the settings, the working and scratch blocks
// and the flags, routes the window's events to the operator commands, and
// reacts to serial ports that arrive and leave. A module Write is the
// production engine's (ModuleWriter): the controller encodes the form for it
// and shows what it reports. It knows the window, the ports and the clock
// only through their interfaces.
class ConfigDialog {
public:
    struct Services {
        FormView& view;
        Prompter& prompter;
        WindowHost& host;
        SerialPortFactory& ports;
        const Clock& clock;
        // Open and Save read and replace configuration files through it.
        FileStore& files;
        // The program's file name without extension: the title of the number messages.
        std::string programName;
        // Where every module Write is recorded; none by default (see useJournal).
        ProductionJournal* journal = nullptr;
        // Told of every module Write, once the journal has its line.
        std::function<void(const ModuleRecord&)> onModuleRecord = {};
        // Where a failure's reason goes beside the box (the program's
        // standard error), one line at a time.
        std::function<void(std::string_view line)> diagnostics = {};
        // The ports this program writes modules on, claimed so that no other
        // program writes them meanwhile: Write claims its port for the write,
        // auto-configure from arrival to removal. None by default.
        PortClaims* claims = nullptr;
    };

    explicit ConfigDialog(Services services);

    // When the window has been created: fills the form, registers for port
    // notifications (telling the operator and disabling auto-configure when
    // that fails) and collapses the advanced panel.
    void initialise();

    // The command table: a click, selection change or text change of a control.
    void handleControlEvent(ControlEvent event, ctl::ControlId id);

    // A serial port arrived or left. While a command is running (one of its
    // message boxes is open) the event waits and is handled once the command
    // has ended, so that no module is skipped and no command runs inside
    // another. Waiting events are kept in order, at most one for each port:
    // an arrival and the removal of the same port cancel out (there is no
    // module left to write), and a port announced again while its arrival
    // waits is still written once.
    void handlePortEvent(const PortEvent& event);

    // Port events waiting for the running command to end.
    std::size_t waitingPortEvents() const { return pendingPortEvents_.size(); }

    // The About box, asked for from the window's menu.
    void about();

    // Enter: the window may close only when the form reads without error.
    bool accept();

    // The operator commands. Those that end in an outcome have told the
    // operator of it (outcomeDisplay says how) before they return it.
    Outcome read();
    Outcome write();
    Outcome open();
    Outcome save();
    void apply();
    void toggleAdvanced();
    void onAutoConfigureClicked();

    // From now on every Write is recorded in this journal; nullptr records
    // none. The journal is opened here. When it cannot be, that is reported
    // and false returned, and Write writes no module until the journal takes
    // lines again. A journal that has a module written successfully puts the
    // serial number after that one into the form, so that numbering goes on.
    bool useJournal(ProductionJournal* journal);

    // With verification on, Write reads back every block the module
    // acknowledged and compares all its bytes with what was sent; a module
    // that holds something else fails and the serial number stays.
    void setVerify(bool verify) { writer_.setVerify(verify); }
    bool verify() const { return writer_.verify(); }

    // With board codes scanned, auto-configure writes every module with the
    // code scanned before or after it (BoardCodes) and none without one.
    // Turning it on or off forgets codes and modules waiting.
    void setScanBoardCodes(bool scan);
    bool scanBoardCodes() const { return scanBoardCodes_; }
    // Whether the window hands its keystrokes to handleScannerKeys: a scanner
    // that types like a keyboard while auto-configure has frozen the form.
    bool takesScannerKeys() const { return scanBoardCodes_ && autoConfigure(); }
    // What a scanner typed, Enter as CR. A module waiting for its code is
    // written once the code is complete (after the running command).
    void handleScannerKeys(std::string_view bytes);
    const BoardCodes& boardCodes() const { return codes_; }

    const ConfigBlock& workingBlock() const { return working_; }
    const ConfigBlock& scratchBlock() const { return scratch_; }
    SettingsForm& form() { return form_; }
    bool advancedShown() const { return form_.advancedShown; }
    bool autoConfigure() const { return form_.autoConfigure() != 0; }
    // The outcome the operator was told of last, also by a Write that a port
    // arrival ran; nothing before the first.
    std::optional<Outcome> lastOutcome() const { return lastOutcome_; }

private:
    // Reports of the module exchanges: the status line, and an error box for
    // failures.
    class Reporter final : public ExchangeReporter {
    public:
        explicit Reporter(ConfigDialog& dialog) : dialog_(dialog) {}
        void report(Outcome outcome) override { dialog_.report(outcome); }

    private:
        ConfigDialog& dialog_;
    };
    class CommandScope;

    void defaultRateChanged();
    void rateUpperChanged();
    // The port field's text, cut to kMaxPortNameLength characters.
    std::string chosenPort() const;
    // Shows the outcome where outcomeDisplay says, and returns it.
    Outcome report(Outcome outcome);
    void status(std::string_view text);
    void handlePortEventNow(const PortEvent& event);
    void drainPortEvents();
    Outcome writeModule(const std::string& board);
    // Tells of a line scanned on the status line.
    void showScan(const BoardCodes::Scan& scan);

    FormView& view_;
    // Every box goes through here, so that a module Write can hold them.
    HeldMessages prompter_;
    WindowHost& host_;
    SerialPortFactory& ports_;
    FileStore& files_;
    std::function<void(const ModuleRecord&)> onModuleRecord_;
    std::function<void(std::string_view)> diagnostics_;
    Reporter reporter_{*this};
    ModuleWriter writer_;
    SettingsForm form_;
    ConfigBlock working_;
    ConfigBlock scratch_;
    int commandDepth_ = 0;
    bool draining_ = false;
    PortEventQueue pendingPortEvents_;
    bool scanBoardCodes_ = false;
    BoardCodes codes_;
    // Modules paired with their codes, waiting for the running command to end.
    std::deque<BoardCodes::Scan> pendingPairs_;
    std::optional<Outcome> lastOutcome_;
};

}  // namespace dl250t
