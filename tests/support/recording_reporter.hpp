#pragma once

#include <functional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "link/exchange_reporter.hpp"

namespace dl250t::testing {

struct Report {
    enum class Kind { Status, Failure } kind = Kind::Status;
    std::string text;

    friend bool operator==(const Report&, const Report&) = default;
    friend std::ostream& operator<<(std::ostream& out, const Report& report) {
        return out << (report.kind == Kind::Status ? "status: " : "failure: ") << report.text;
    }
};

inline Report statusReport(std::string_view text) {
    return {Report::Kind::Status, std::string(text)};
}

inline Report failureReport(std::string_view text) {
    return {Report::Kind::Failure, std::string(text)};
}

// Keeps every report in order. `whileShown` runs inside each report, as if
// the box were still on screen.
class RecordingReporter : public ExchangeReporter {
public:
    std::vector<Report> reports;
    std::function<void(const Report&)> whileShown;

    void status(std::string_view text) override { add(statusReport(text)); }
    void failure(std::string_view text) override { add(failureReport(text)); }

private:
    void add(Report report) {
        reports.push_back(report);
        if (whileShown) {
            whileShown(report);
        }
    }
};

}  // namespace dl250t::testing
