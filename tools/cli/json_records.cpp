#include "json_records.hpp"

#include <cstdio>
#include <nlohmann/json.hpp>

#include "config/outcome.hpp"
#include "platform/journal_files.hpp"
#include "platform/module_text.hpp"

namespace dl250t::cli {

namespace {

nlohmann::ordered_json textOrNull(std::string_view text) {
    return text.empty() ? nlohmann::ordered_json() : nlohmann::ordered_json(text);
}

nlohmann::ordered_json serialOrNull(const std::optional<SerialNumber>& serial) {
    return serial ? nlohmann::ordered_json(serial->text()) : nlohmann::ordered_json();
}

// One line whatever the texts hold: a port or board code that is not UTF-8
// has its stray bytes replaced instead of ending the program.
std::string oneLine(const nlohmann::ordered_json& object) {
    return object.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

}  // namespace

std::string moduleRecordJson(const ModuleRecord& record, const std::optional<std::string>& line) {
    std::string crc;
    if (record.crc) {
        char digits[5];
        std::snprintf(digits, sizeof digits, "%04X", static_cast<unsigned>(*record.crc));
        crc = digits;
    }
    nlohmann::ordered_json object;
    object["time"] = localTimeText(record.time);
    object["station"] = hostName();
    object["line"] = textOrNull(line.value_or(std::string()));
    object["port"] = record.port;
    object["module"] = textOrNull(moduleTextToUtf8(record.moduleName));
    object["version"] = textOrNull(moduleTextToUtf8(record.moduleVersion));
    object["serial"] = serialOrNull(record.serial);
    object["board"] = textOrNull(record.board);
    object["outcome"] = isSuccess(record.outcome) ? "ok" : outcomeText(record.outcome);
    object["verify"] = textOrNull(verifyText(record.verify));
    object["milliseconds"] = record.milliseconds;
    object["crc"] = textOrNull(crc);
    object["label"] = textOrNull(labelText(record.label));
    return oneLine(object);
}

std::string stationSummaryJson(const Station::Tally& tally) {
    nlohmann::ordered_json object;
    object["written"] = tally.written;
    object["failed"] = tally.failed;
    object["first"] = serialOrNull(tally.first);
    object["last"] = serialOrNull(tally.last);
    return oneLine(object);
}

}  // namespace dl250t::cli
