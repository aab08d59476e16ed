#pragma once

#include <ostream>

#include "config/outcome.hpp"

namespace dl250t {

// Readable outcomes in test failures: "outcome 9 (配置块长度不匹配！)".
inline void PrintTo(Outcome outcome, std::ostream* out) {
    *out << "outcome " << static_cast<int>(outcome) << " (" << outcomeText(outcome) << ")";
}

}  // namespace dl250t
