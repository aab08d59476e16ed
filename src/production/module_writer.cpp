#include "production/module_writer.hpp"

#include <algorithm>
#include <chrono>

#include "config/module_identity.hpp"
#include "link/module_exchange.hpp"
#include "production/read_back.hpp"

namespace dl250t {

namespace {

// The look at a module whose write failed reports nothing: the operator has
// been told of the failure, and what the look found goes into the journal.
class SilentReporter final : public ExchangeReporter {
public:
    void report(Outcome) override {}
};

}  // namespace

Outcome ModuleWriter::write(std::string_view port, SerialNumber serial, ConfigBlock& block,
                            ConfigBlock& module, const Steps& steps) {
    if (claims_ == nullptr) {
        return writeClaimed(port, serial, block, module, steps);
    }
    const PortClaims::Claim claim = claims_->claim(port);
    if (claim == PortClaims::Claim::Refused) {
        reporter_.report(Outcome::PortInUse);
        return Outcome::PortInUse;
    }
    const Outcome outcome = writeClaimed(port, serial, block, module, steps);
    if (claim == PortClaims::Claim::Taken) {
        claims_->release(port);
    }
    return outcome;
}

Outcome ModuleWriter::writeClaimed(std::string_view port, SerialNumber serial, ConfigBlock& block,
                                   ConfigBlock& module, const Steps& steps) {
    const auto holding = [&steps](bool held) {
        if (steps.journalHolding) {
            steps.journalHolding(held);
        }
    };
    // A journal that cannot take the module's line stops the module before
    // it is touched.
    if (journal_ != nullptr && !journal_->beginModule()) {
        reporter_.report(Outcome::JournalFailed);
        return Outcome::JournalFailed;
    }
    ModuleRecord record;
    record.time = std::chrono::system_clock::now();
    record.port = std::string(port);
    record.serial = serial;
    record.board = steps.board;
    const auto started = std::chrono::steady_clock::now();
    bool reserveFailed = false;
    InnerSteps numbered;
    numbered.moduleRead = [&](const ConfigBlock& read) {
        if (steps.moduleRead) {
            steps.moduleRead(read);
        }
        if (journal_ == nullptr) {
            return true;
        }
        // The number is the module's from here on, before its block leaves.
        if (!journal_->reserveSerial(record)) {
            reserveFailed = true;
            return false;
        }
        record.reserved = true;
        serial = record.serial.value_or(serial);
        if (steps.numberTaken) {
            steps.numberTaken(serial);
        }
        holding(true);
        return true;
    };
    numbered.encode = [&steps, &serial](ConfigBlock& target) {
        steps.encode(target);
        serial.storeIn(target);
    };
    numbered.mismatch = steps.mismatch;
    record.outcome = writeModule(port, block, module, numbered, record);
    if (reserveFailed) {
        reporter_.report(Outcome::JournalFailed);
        return Outcome::JournalFailed;
    }
    record.milliseconds = std::chrono::duration_cast<std::chrono::milliseconds>(
                              std::chrono::steady_clock::now() - started)
                              .count();
    if (record.outcome == Outcome::ModuleWritten && steps.label) {
        record.label =
            steps.label(record) ? ModuleRecord::Label::Sent : ModuleRecord::Label::Failed;
    }
    const bool recorded = journal_ == nullptr || journal_->finishModule(record);
    if (record.reserved) {
        holding(false);
    }
    if (steps.recorded) {
        steps.recorded(record);
    }
    if (!recorded) {
        reporter_.report(Outcome::JournalFailed);
        return Outcome::JournalFailed;
    }
    return record.outcome;
}

Outcome ModuleWriter::writeModule(std::string_view port, ConfigBlock& block, ConfigBlock& module,
                                  const InnerSteps& steps, ModuleRecord& record) {
    const Outcome read = readExchange(ports_, port, module, reporter_);
    if (read != Outcome::ModuleRead) {
        return read;
    }
    record.moduleName = identityName(module);
    record.moduleVersion = identityVersion(module);
    if (!steps.moduleRead(module)) {
        return Outcome::JournalFailed;
    }
    bool encoded = false;
    const Outcome written = writeExchange(
        ports_, port, block,
        [&](ConfigBlock& target) {
            // The module keeps its own identity string and version.
            std::copy(module.bytes.begin() + block::kIdentity,
                      module.bytes.begin() + block::kSerial,
                      target.bytes.begin() + block::kIdentity);
            steps.encode(target);
            encoded = true;
        },
        reporter_);
    if (encoded) {
        // Stamped by now: the block as it went to the module.
        record.serial = SerialNumber::fromBlock(block);
        record.crc = static_cast<std::uint16_t>(block[block::kCrc] | block[block::kCrc + 1] << 8);
    }
    if (written != Outcome::ModuleWritten) {
        if (encoded && record.reserved) {
            lookAtUnacknowledged(port, block, record);
        }
        return written;
    }
    if (!verify_) {
        return written;
    }
    const Outcome verified = readBackAndCompare(ports_, port, block, reporter_, record.verify,
                                                [&](const ConfigBlock& stored) {
                                                    if (steps.mismatch) {
                                                        steps.mismatch(block, stored);
                                                    }
                                                });
    return verified == Outcome::ModuleRead ? Outcome::ModuleWritten : verified;
}

void ModuleWriter::lookAtUnacknowledged(std::string_view port, const ConfigBlock& sent,
                                        ModuleRecord& record) {
    // The block may have reached the module all the same: one read tells
    // whether it holds it, for the journal. A module that is gone or does not
    // answer leaves the question open.
    SilentReporter silent;
    ConfigBlock found;
    if (readExchange(ports_, port, found, silent) == Outcome::ModuleRead) {
        record.verify = found.bytes == sent.bytes ? ModuleRecord::Verify::Stored
                                                  : ModuleRecord::Verify::NotStored;
    }
}

}  // namespace dl250t
