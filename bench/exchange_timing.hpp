#pragma once

// The Read and Write commands timed against the wire time, as every benchmark
// of the module exchange prints them.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "ui/prompter.hpp"

namespace dl250t::bench {

// One byte is 10 bits at 115200 baud. A Read moves "ATR0" and a block, a
// Write a Read's bytes, the written block and "ATOK".
inline constexpr double kByteMs = 10.0 / 115.2;
inline constexpr double kReadWireMs = (4 + 518) * kByteMs;
inline constexpr double kWriteWireMs = (4 + 518 + 518 + 4) * kByteMs;

// A timed command must not stop for a message box; any that would have
// appeared is counted and shown.
class QuietPrompter final : public Prompter {
public:
    void showMessage(std::string_view text, std::string_view, MessageIcon) override {
        std::fprintf(stderr, "unexpected message: %.*s\n", static_cast<int>(text.size()),
                     text.data());
        ++messages;
    }
    std::optional<std::string> chooseFile(const FileRequest&) override { return std::nullopt; }
    int messages = 0;
};

struct Summary {
    double median, min, max;
};

// Runs a command `runs` times and summarises the milliseconds each took.
template <typename Command>
Summary timeRuns(int runs, Command command) {
    std::vector<double> ms;
    for (int i = 0; i < runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        command();
        ms.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count());
    }
    std::sort(ms.begin(), ms.end());
    return {ms[ms.size() / 2], ms.front(), ms.back()};
}

// The target is the wire time plus a tenth.
inline void printFigure(const char* what, const Summary& s, double wireMs, int runs) {
    const double target = 1.10 * wireMs;
    std::printf(
        "%-22s median %7.2f ms  (min %7.2f, max %7.2f, %d runs)  wire %6.1f ms  ratio %.3f  "
        "target <= %.1f ms: %s\n",
        what, s.median, s.min, s.max, runs, wireMs, s.median / wireMs, target,
        s.median <= target ? "met" : "NOT met");
}

}  // namespace dl250t::bench
