#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "app/config_dialog.hpp"
#include "app/headless_window_host.hpp"
#include "platform/linux/port_directory_source.hpp"
#include "platform/posix/posix_file_store.hpp"
#include "platform/posix/posix_serial_port.hpp"
#include "sim/simulated_module.hpp"
#include "ui/in_memory_form_view.hpp"

namespace dl250t {

// A production line on one machine: the controller in auto-configure mode,
// told about ports by the real watch on a port directory of its own, writing
// simulated modules that plug themselves in there one after another.
class ProductionLine {
public:
    struct Options {
        bool pace = false;  // modules send at the real line rate
        int comNumber = 240;
    };

    explicit ProductionLine(Options options);
    ~ProductionLine();

    bool ready() const { return source_ != nullptr; }

    struct Module {
        bool written = false;      // stored exactly one block and the tool saw it succeed
        std::uint64_t serial = 0;  // the serial number the module stored
        std::chrono::duration<double, std::milli> plugToAcknowledged{};
        std::string problem;  // why not written
    };

    // Plugs one module in, lets the controller configure it, unplugs it.
    Module configureOne();

    // The serial number the next module will get.
    std::uint64_t nextSerial() const;
    int messagesShown() const { return prompter_.shown; }

private:
    class CountingPrompter final : public Prompter {
    public:
        void showMessage(std::string_view text, std::string_view, MessageIcon) override;
        std::optional<std::string> chooseFile(const FileRequest&) override { return {}; }
        int shown = 0;
    };

    // Waits for the watch to report and hands the events to the controller.
    int pumpPortEvents();

    Options options_;
    std::filesystem::path root_;
    std::filesystem::path ports_;
    std::unique_ptr<PortDirectorySource> source_;
    InMemoryFormView view_;
    CountingPrompter prompter_;
    HeadlessWindowHost host_;
    PosixSerialPortFactory serialPorts_;
    SystemClock clock_;
    PosixFileStore files_;
    std::unique_ptr<ConfigDialog> dialog_;
};

// "00 00 65 00 00 01" as the number it counts.
std::uint64_t serialNumber(const std::string& hexText);

// Open descriptors and resident memory of this process.
int openDescriptors();
long residentKilobytes();

}  // namespace dl250t
