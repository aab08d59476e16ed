#include "production/module_writer.hpp"

#include <algorithm>
#include <chrono>

#include "config/module_identity.hpp"
#include "link/module_exchange.hpp"
#include "production/read_back.hpp"

namespace dl250t {

Outcome ModuleWriter::write(std::string_view port, SerialNumber serial, ConfigBlock& block,
                            ConfigBlock& module, const Steps& steps) {
    const auto holding = [&steps](bool held) {
        if (steps.journalHolding) {
            steps.journalHolding(held);
        }
    };
    if (journal_ != nullptr) {
        // A journal that cannot take the module's line stops the module
        // before it is touched.
        std::optional<SerialNumber> taken = serial;
        if (!journal_->beginModule(taken)) {
            reporter_.report(Outcome::JournalFailed);
            return Outcome::JournalFailed;
        }
        serial = taken.value_or(serial);
        if (steps.numberTaken) {
            steps.numberTaken(serial);
        }
        holding(true);
    }
    ModuleRecord record;
    record.time = std::chrono::system_clock::now();
    record.port = std::string(port);
    record.serial = serial;
    const auto started = std::chrono::steady_clock::now();
    Steps numbered = steps;
    numbered.encode = [&steps, serial](ConfigBlock& target) {
        steps.encode(target);
        serial.storeIn(target);
    };
    record.outcome = writeModule(port, block, module, numbered, record);
    record.milliseconds = std::chrono::duration_cast<std::chrono::milliseconds>(
                              std::chrono::steady_clock::now() - started)
                              .count();
    const bool recorded = journal_ == nullptr || journal_->finishModule(record);
    holding(false);
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
                                  const Steps& steps, ModuleRecord& record) {
    const Outcome read = readExchange(ports_, port, module, reporter_);
    if (read != Outcome::ModuleRead) {
        return read;
    }
    record.moduleName = identityName(module);
    record.moduleVersion = identityVersion(module);
    if (steps.moduleRead) {
        steps.moduleRead(module);
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
    if (written != Outcome::ModuleWritten || !verify_) {
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

}  // namespace dl250t
