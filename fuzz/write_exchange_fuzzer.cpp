// After a block write the module answers with whatever it has: only an
// answer that begins with exactly "ATOK" may count as success, and every
// outcome ends in one report and a released port.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "fuzz_check.hpp"
#include "link/module_exchange.hpp"
#include "module_script.hpp"
#include "support/recording_reporter.hpp"
#include "support/scripted_serial_port.hpp"

namespace dl250t {
namespace {

using testing::PortCall;

bool beginsWithAcknowledgement(const std::vector<std::uint8_t>& bytes) {
    return bytes.size() >= kWriteAcknowledgement.size() &&
           std::equal(kWriteAcknowledgement.begin(), kWriteAcknowledgement.end(), bytes.begin());
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
        return Outcome::ResponseTimeout;
    }
    if (script.replies.empty() || !beginsWithAcknowledgement(script.replies.front().bytes)) {
        return Outcome::ModuleWriteFailed;
    }
    return Outcome::ModuleWritten;
}

}  // namespace
}  // namespace dl250t

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace dl250t;
    testing::ScriptedPortFactory ports;
    fuzzing::scriptModule(std::span(data, size), ports.device);
    const testing::ScriptedDevice script = ports.device;

    testing::RecordingReporter reporter;
    std::vector<bool> heldDuringReports;
    reporter.whileShown = [&](Outcome) { heldDuringReports.push_back(ports.device.held); };

    ConfigBlock working = makeInitialWorkingBlock();
    const ConfigBlock before = working;
    int encodes = 0;
    // Stands in for the form: marks the block so that the bytes sent can be
    // told from the bytes before.
    const auto encode = [&](ConfigBlock& block) {
        ++encodes;
        DL250T_FUZZ_CHECK(ports.device.held);
        block[block::kSerial] ^= 0xFF;
    };
    const Outcome outcome = writeExchange(ports, "COM7", working, encode, reporter);
    const bool ok = outcome == Outcome::ModuleWritten;

    DL250T_FUZZ_CHECK(outcome == expectedOutcome(script));
    DL250T_FUZZ_CHECK(reporter.reports.size() == 1);
    DL250T_FUZZ_CHECK(reporter.reports.front() == outcome);
    DL250T_FUZZ_CHECK(!ok || beginsWithAcknowledgement(script.replies.front().bytes));

    const testing::ScriptedDevice& device = ports.device;
    if (fuzzing::openFailsByScript(script)) {
        // Nothing is encoded for a module that cannot be reached.
        DL250T_FUZZ_CHECK(encodes == 0);
        DL250T_FUZZ_CHECK(working == before);
        DL250T_FUZZ_CHECK(device.writes.empty());
    } else {
        // The block sent is the encoded, stamped block, and it is valid.
        ConfigBlock expectedBlock = before;
        expectedBlock[block::kSerial] ^= 0xFF;
        stampHeaderAndCrc(expectedBlock);
        DL250T_FUZZ_CHECK(encodes == 1);
        DL250T_FUZZ_CHECK(working == expectedBlock);
        DL250T_FUZZ_CHECK(validateBlock(working, kBlockSize) == BlockCheck::Ok);
        DL250T_FUZZ_CHECK(device.openedName == "COM7");
        DL250T_FUZZ_CHECK(device.writes.size() <= 1);
        DL250T_FUZZ_CHECK(device.writes.empty() ||
                          std::equal(device.writes.front().begin(), device.writes.front().end(),
                                     working.bytes.begin(), working.bytes.end()));
        DL250T_FUZZ_CHECK(device.readsWanted.size() <= 1);
        DL250T_FUZZ_CHECK(device.readsWanted.empty() ||
                          device.readsWanted.front() == kWriteAcknowledgement.size());
    }
    DL250T_FUZZ_CHECK(device.misuse.empty());
    DL250T_FUZZ_CHECK(!device.held);
    DL250T_FUZZ_CHECK(device.portsCreated == 1);
    DL250T_FUZZ_CHECK(heldDuringReports.size() == 1);
    DL250T_FUZZ_CHECK(heldDuringReports.front() == !fuzzing::openFailsByScript(script));
    return 0;
}
