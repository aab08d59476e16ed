// A module answers a read request with whatever it has: any reply, any port
// failure, must end in exactly one report, a released port, and a caller's
// block that is either untouched or replaced by a valid block.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "fuzz_check.hpp"
#include "link/module_exchange.hpp"
#include "module_script.hpp"
#include "support/recording_prompter.hpp"
#include "support/recording_reporter.hpp"
#include "support/scripted_serial_port.hpp"
#include "ui/in_memory_form_view.hpp"
#include "ui/settings_form.hpp"

namespace dl250t {
namespace {

using testing::PortCall;

// What the caller's block holds before the exchange: recognisably not a block.
ConfigBlock callersBlock() {
    ConfigBlock block;
    block.bytes.fill(0x5A);
    return block;
}

// The one outcome the exchange must report, worked out from the script alone.
Outcome expectedOutcome(const testing::ScriptedDevice& script) {
    if (fuzzing::openFailsByScript(script)) {
        return Outcome::PortOpenFailed;
    }
    if (script.failingCall == PortCall::Write) {
        return Outcome::PortWriteFailed;
    }
    if (script.failingCall == PortCall::Read ||
        (!script.replies.empty() && script.replies.front().platformError)) {
        return Outcome::PortReadFailed;
    }
    if (script.replies.empty() || script.replies.front().bytes.empty()) {
        return Outcome::ResponseTimeout;
    }
    const auto& bytes = script.replies.front().bytes;
    ConfigBlock received = callersBlock();
    const std::size_t count = std::min(bytes.size(), kBlockSize);
    std::copy_n(bytes.begin(), count, received.bytes.begin());
    return blockCheckFailure(validateBlock(received, count)).value_or(Outcome::ModuleRead);
}

}  // namespace
}  // namespace dl250t

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace dl250t;
    testing::ScriptedPortFactory ports;
    fuzzing::scriptModule(std::span(data, size), ports.device);
    const testing::ScriptedDevice script = ports.device;
    const std::optional<std::vector<std::uint8_t>> firstReply =
        script.replies.empty() ? std::nullopt : std::optional(script.replies.front().bytes);

    testing::RecordingReporter reporter;
    std::vector<bool> heldDuringReports;
    reporter.whileShown = [&](Outcome) { heldDuringReports.push_back(ports.device.held); };

    // As the window does: a block that read well is decoded into the form.
    InMemoryFormView view;
    testing::RecordingPrompter prompter;
    SettingsForm form(view, prompter, "dl250t-config");
    int decodes = 0;
    ConfigBlock target = callersBlock();
    const ConfigBlock before = target;
    const Outcome outcome =
        readExchange(ports, "COM3", target, reporter, [&](const ConfigBlock& block) {
            ++decodes;
            DL250T_FUZZ_CHECK(ports.device.held);
            form.decodeBlock(block);
        });

    const Outcome expected = expectedOutcome(script);
    DL250T_FUZZ_CHECK(outcome == expected);
    DL250T_FUZZ_CHECK(reporter.reports.size() == 1);
    DL250T_FUZZ_CHECK(reporter.reports.front() == expected);
    if (outcome == Outcome::ModuleRead) {
        DL250T_FUZZ_CHECK(validateBlock(target, kBlockSize) == BlockCheck::Ok);
        DL250T_FUZZ_CHECK(firstReply && firstReply->size() >= kBlockSize);
        DL250T_FUZZ_CHECK(
            std::equal(target.bytes.begin(), target.bytes.end(), firstReply->begin()));
        DL250T_FUZZ_CHECK(decodes == 1);
        DL250T_FUZZ_CHECK(prompter.messages().empty());
    } else {
        DL250T_FUZZ_CHECK(target == before);
        DL250T_FUZZ_CHECK(decodes == 0);
    }

    // The port is used in order and let go on every path; reports come while
    // it is still held, unless it could not be opened at all.
    const testing::ScriptedDevice& device = ports.device;
    DL250T_FUZZ_CHECK(device.misuse.empty());
    DL250T_FUZZ_CHECK(!device.held);
    DL250T_FUZZ_CHECK(device.portsCreated == 1);
    DL250T_FUZZ_CHECK(heldDuringReports.size() == 1);
    DL250T_FUZZ_CHECK(heldDuringReports.front() == !fuzzing::openFailsByScript(script));
    if (!fuzzing::openFailsByScript(script)) {
        DL250T_FUZZ_CHECK(device.openedName == "COM3");
        DL250T_FUZZ_CHECK(device.writtenTexts().size() <= 1);
        DL250T_FUZZ_CHECK(device.writtenTexts().empty() || device.writtenTexts().front() == "ATR0");
        DL250T_FUZZ_CHECK(device.readsWanted.size() <= 1);
        DL250T_FUZZ_CHECK(device.readsWanted.empty() || device.readsWanted.front() == kBlockSize);
    }
    return 0;
}
