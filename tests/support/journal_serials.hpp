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

// Begins a module with the form's number (empty: a module only read), as the
// engine does; the number the module is to get as text, nothing when the
// journal refused.
inline std::optional<std::string> beginWith(ProductionJournal& journal,
                                            std::string_view formSerial) {
    std::optional<SerialNumber> serial;
    if (!formSerial.empty()) {
        serial = SerialNumber::fromText(formSerial);
    }
    if (!journal.beginModule(serial)) {
        return std::nullopt;
    }
    return serial ? serial->text() : std::string();
}

inline std::optional<std::string> resumeText(const ProductionJournal& journal) {
    const auto resume = journal.resumeSerial();
    return resume ? std::optional(resume->text()) : std::nullopt;
}

}  // namespace dl250t::testing
