#pragma once

#include "config/outcome.hpp"

namespace dl250t {

// Where the exchanges report their outcomes: the status line, and for a
// failure also a modal error box titled "Lorandix Configure Tool" (as
// outcomeDisplay says). The exchanges keep their port open while a report is
// on screen.
class ExchangeReporter {
public:
    virtual ~ExchangeReporter() = default;

    // Tells the operator how the exchange ended; returns when the error box,
    // if there is one, has been closed.
    virtual void report(Outcome outcome) = 0;
};

// Passes on failures only: a read-back after a write tells of nothing else,
// so that the status line keeps the write's success.
class FailuresOnlyReporter final : public ExchangeReporter {
public:
    explicit FailuresOnlyReporter(ExchangeReporter& reporter) : reporter_(reporter) {}
    void report(Outcome outcome) override {
        if (!isSuccess(outcome)) {
            reporter_.report(outcome);
        }
    }

private:
    ExchangeReporter& reporter_;
};

}  // namespace dl250t
