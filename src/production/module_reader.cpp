#include "production/module_reader.hpp"

#include <chrono>

#include "config/module_identity.hpp"
#include "link/module_exchange.hpp"
#include "production/read_back.hpp"
#include "production/serial_number.hpp"

namespace dl250t {

Outcome ModuleReader::read(std::string_view port, ConfigBlock& block,
                           const std::function<bool(const ConfigBlock&)>& keep,
                           const std::function<void(const ModuleRecord&)>& recorded) {
    if (journal_ != nullptr && !journal_->beginModule()) {
        reporter_.report(Outcome::JournalFailed);
        return Outcome::JournalFailed;
    }
    ModuleRecord record;
    record.time = std::chrono::system_clock::now();
    record.port = std::string(port);
    const auto started = std::chrono::steady_clock::now();
    record.outcome = readModule(port, block, record);
    if (record.outcome == Outcome::ModuleRead && keep && !keep(block)) {
        record.outcome = Outcome::FileWriteFailed;
    }
    record.milliseconds = std::chrono::duration_cast<std::chrono::milliseconds>(
                              std::chrono::steady_clock::now() - started)
                              .count();
    const bool journaled = journal_ == nullptr || journal_->finishModule(record);
    if (recorded) {
        recorded(record);
    }
    if (!journaled) {
        reporter_.report(Outcome::JournalFailed);
        return Outcome::JournalFailed;
    }
    return record.outcome;
}

Outcome ModuleReader::readModule(std::string_view port, ConfigBlock& block, ModuleRecord& record) {
    const Outcome read = readExchange(ports_, port, block, reporter_);
    if (read != Outcome::ModuleRead) {
        return read;
    }
    record.moduleName = identityName(block);
    record.moduleVersion = identityVersion(block);
    record.serial = SerialNumber::fromBlock(block);
    if (!verify_) {
        return read;
    }
    // The module asked again must give the same block.
    return readBackAndCompare(ports_, port, block, reporter_, record.verify);
}

}  // namespace dl250t
