#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "production/production_journal.hpp"

namespace dl250t::testing {

// Serial numbers as the journals' tests write them: hex byte text, empty for
// none.
inline std::optional<SerialNumber> serialOf(std::string_view text) {
    return SerialNumber::fromExactText(text);
}

// Begins a module and, unless it is only read (an empty number), reserves
// the form's number for it at COM3, as the engine does once the module
// answered; the number reserved as text, nothing when the journal refused.
inline std::optional<std::string> beginWith(ProductionJournal& journal,
                                            std::string_view formSerial) {
    if (!journal.beginModule()) {
        return std::nullopt;
    }
    if (formSerial.empty()) {
        return std::string();
    }
    ModuleRecord record;
    record.port = "COM3";
    record.serial = SerialNumber::fromText(formSerial);
    if (!journal.reserveSerial(record)) {
        return std::nullopt;
    }
    return record.serial->text();
}

inline std::optional<std::string> resumeText(const ProductionJournal& journal) {
    const auto resume = journal.resumeSerial();
    return resume ? std::optional(resume->text()) : std::nullopt;
}

}  // namespace dl250t::testing
