#include "production_line.hpp"

#include <poll.h>
#include <stdlib.h>

#include <cstdio>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>

#include "config/field_codec.hpp"

namespace dl250t {

namespace fs = std::filesystem;

namespace {

fs::path makeTemporaryRoot() {
    std::string pattern = (fs::temp_directory_path() / "dl250t-line-XXXXXX").string();
    return mkdtemp(pattern.data()) != nullptr ? fs::path(pattern) : fs::path();
}

}  // namespace

void ProductionLine::CountingPrompter::showMessage(std::string_view text, std::string_view,
                                                   MessageIcon) {
    std::fprintf(stderr, "message: %.*s\n", static_cast<int>(text.size()), text.data());
    ++shown;
}

ProductionLine::ProductionLine(Options options)
    : options_(options),
      root_(makeTemporaryRoot()),
      ports_(root_ / "ports"),
      source_(root_.empty() ? nullptr : PortDirectorySource::start(ports_)),
      serialPorts_(ports_) {
    dialog_ = std::make_unique<ConfigDialog>(ConfigDialog::Services{
        view_, prompter_, host_, serialPorts_, clock_, files_, "dl250t-config"});
    dialog_->initialise();
    // Settle the defaults first, as an operator would before a run, so that
    // no module waits for a warning.
    dialog_->apply();
    view_.setChecked(ctl::AutoConfigure, true);
    dialog_->handleControlEvent(ControlEvent::Clicked, ctl::AutoConfigure);
}

ProductionLine::~ProductionLine() {
    dialog_.reset();
    source_.reset();
    std::error_code ec;
    fs::remove_all(root_, ec);
}

int ProductionLine::pumpPortEvents() {
    pollfd watched{source_->descriptor(), POLLIN, 0};
    if (poll(&watched, 1, 5000) != 1) {
        return 0;
    }
    const auto events = source_->drainEvents();
    for (const PortEvent& event : events) {
        dialog_->handlePortEvent(event);
    }
    return static_cast<int>(events.size());
}

ProductionLine::Module ProductionLine::configureOne() {
    Module result;
    SimulatedModuleOptions moduleOptions;
    moduleOptions.portDirectory = ports_;
    moduleOptions.comNumber = options_.comNumber;
    moduleOptions.pace = options_.pace;
    SimulatedModule module(moduleOptions);

    const auto start = std::chrono::steady_clock::now();
    if (!module.plugIn()) {
        result.problem = "cannot plug in: " + module.lastError();
        return result;
    }
    if (pumpPortEvents() != 1) {
        result.problem = "the arrival was not reported";
        return result;
    }
    result.plugToAcknowledged = std::chrono::steady_clock::now() - start;

    const auto stored = module.lastStored();
    const std::optional<Outcome> outcome = dialog_->lastOutcome();
    if (module.storedCount() != 1 || !stored || outcome != Outcome::ModuleWritten) {
        result.problem =
            "not written: " + (outcome ? std::string(outcomeText(*outcome)) : "no outcome");
    } else {
        result.written = true;
        result.serial = serialNumber(decodeSerialText(*stored));
    }
    module.unplug();
    if (pumpPortEvents() != 1 && result.problem.empty()) {
        result.problem = "the removal was not reported";
        result.written = false;
    }
    return result;
}

std::uint64_t ProductionLine::nextSerial() const {
    return serialNumber(view_.text(ctl::Serial));
}

std::uint64_t serialNumber(const std::string& hexText) {
    std::istringstream groups(hexText);
    std::uint64_t number = 0;
    unsigned byte = 0;
    while (groups >> std::hex >> byte) {
        number = number << 8 | byte;
    }
    return number;
}

int openDescriptors() {
    int count = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator("/proc/self/fd")) {
        ++count;
    }
    return count - 1;  // the iterator's own
}

long residentKilobytes() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) {
            return std::strtol(line.c_str() + 6, nullptr, 10);
        }
    }
    return -1;
}

}  // namespace dl250t
