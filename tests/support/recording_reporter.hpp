#pragma once

#include <functional>
#include <vector>

#include "link/exchange_reporter.hpp"
#include "support/outcome_printer.hpp"

namespace dl250t::testing {

// Keeps every outcome reported, in order. `whileShown` runs inside each
// report, as if its box were still on screen.
class RecordingReporter : public ExchangeReporter {
public:
    std::vector<Outcome> reports;
    std::function<void(Outcome)> whileShown;

    void report(Outcome outcome) override {
        reports.push_back(outcome);
        if (whileShown) {
            whileShown(outcome);
        }
    }
};

}  // namespace dl250t::testing
