#pragma once

#include <string_view>

namespace dl250t {

// Where the exchanges report their outcomes: the status line, and for a
// failure also a modal error box titled "Lorandix Configure Tool". The exchanges keep
// their port open while a report is on screen.
class ExchangeReporter {
public:
    virtual ~ExchangeReporter() = default;

    // Puts a success text on the status line.
    virtual void status(std::string_view text) = 0;

    // Puts the text on the status line, then shows it in the error box;
    // returns when the box has been closed.
    virtual void failure(std::string_view text) = 0;
};

}  // namespace dl250t
