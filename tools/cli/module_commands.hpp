#pragma once

#include <functional>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/config_dialog.hpp"
#include "app/headless_window_host.hpp"
#include "platform/serial_ports.hpp"
#include "platform/system_files.hpp"
#include "stream_prompter.hpp"
#include "ui/in_memory_form_view.hpp"

namespace dl250t::cli {

// dl250t-cli read --port P -o FILE.cfg [--journal JOURNAL [--line NAME]] [--verify]
int readModule(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// dl250t-cli write --port P FILE.cfg [--serial HEX] [--journal JOURNAL [--line NAME]] [--verify]
int writeModule(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

enum class ModuleCommand { Read, Write, Station };

// The command line of the commands that talk to modules.
struct ModuleArgs {
    std::string port;
    std::optional<std::string> output;
    std::optional<std::string> file;
    std::optional<std::string> serial;
    std::optional<std::string> journal;
    std::optional<std::string> line;
    bool verify = false;
    std::optional<long> count;
};

// What the command takes; nothing, with the reason on err, for a command line
// it does not.
std::optional<ModuleArgs> parseModuleArgs(const std::vector<std::string>& args,
                                          ModuleCommand command, std::ostream& err);

// The desktop tool's controller over a form in memory, set up as the window
// is before its Write: the settings of a file opened as Open does, the
// advanced panel shown so that the file's timing is sent as it is, the
// journal, the serial number and verification.
class ModuleSession {
public:
    // Messages and warnings go to err; onModuleRecord is told of every Write.
    ModuleSession(std::ostream& err, std::function<void(const ModuleRecord&)> onModuleRecord = {});

    // Where the serial number starts when neither --serial nor the journal
    // says: write takes the file's, the station the window's default.
    enum class SerialStart { File, WindowDefault };

    // kExitOk, or the exit status of what failed after it has been told on err.
    // The serial number is args.serial, else the one after the journal's last
    // module written, else as `start` says.
    int prepare(const ModuleArgs& args, SerialStart start);

    ConfigDialog& dialog() { return *dialog_; }
    InMemoryFormView& view() { return view_; }
    // Why the journal failed, for the message after JournalFailed.
    std::string journalProblem() const;

private:
    class FilePrompter final : public Prompter {
    public:
        explicit FilePrompter(std::ostream& err) : messages_(err) {}
        void showMessage(std::string_view text, std::string_view title, MessageIcon icon) override {
            messages_.showMessage(text, title, icon);
        }
        std::optional<std::string> chooseFile(const FileRequest&) override;
        std::optional<std::string> answer;

    private:
        StreamPrompter messages_;
    };

    std::ostream& err_;
    InMemoryFormView view_;
    FilePrompter prompter_;
    HeadlessWindowHost host_;
    std::unique_ptr<SerialPortFactory> ports_ = makeSystemSerialPortFactory();
    SystemClock clock_;
    std::unique_ptr<FileStore> files_ = makeSystemFileStore();
    std::unique_ptr<ProductionJournal> journal_;
    std::unique_ptr<ConfigDialog> dialog_;
};

}  // namespace dl250t::cli
