#pragma once

#include <chrono>
#include <cstdint>

namespace dl250t {

// The current time, read once at start for the default serial number.
class Clock {
public:
    virtual ~Clock() = default;
    virtual std::int64_t secondsSince1970() const = 0;
};

class SystemClock final : public Clock {
public:
    std::int64_t secondsSince1970() const override {
        return std::chrono::duration_cast<std::chrono::seconds>(
                   std::chrono::system_clock::now().time_since_epoch())
            .count();
    }
};

}  // namespace dl250t
