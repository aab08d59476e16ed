#include "sim/simulated_fault.hpp"

#include <array>
#include <charconv>

namespace dl250t {

namespace {

struct FaultName {
    SimulatedFault::Kind kind;
    std::string_view name;
    int numbers;  // how many ":N" parts follow the name
};

constexpr std::array<FaultName, 13> kFaultNames{{
    {SimulatedFault::Kind::None, "none", 0},
    {SimulatedFault::Kind::Silent, "silent", 0},
    {SimulatedFault::Kind::Short, "short", 1},
    {SimulatedFault::Kind::Pause, "pause", 2},
    {SimulatedFault::Kind::BadCrc, "bad-crc", 0},
    {SimulatedFault::Kind::BadKeyword, "bad-keyword", 0},
    {SimulatedFault::Kind::NoAck, "no-ack", 0},
    {SimulatedFault::Kind::ShortAck, "short-ack", 0},
    {SimulatedFault::Kind::WrongAck, "wrong-ack", 0},
    {SimulatedFault::Kind::Garbage, "garbage", 0},
    {SimulatedFault::Kind::Hangup, "hangup", 1},
    {SimulatedFault::Kind::Bursts, "bursts", 2},
    {SimulatedFault::Kind::CorruptStore, "corrupt-store", 0},
}};

std::optional<std::size_t> parseCount(std::string_view text) {
    std::size_t value = 0;
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc{} || ptr != end || value > 1'000'000) {
        return std::nullopt;
    }
    return value;
}

}  // namespace

std::optional<SimulatedFault> parseSimulatedFault(std::string_view text) {
    const std::string_view name = text.substr(0, text.find(':'));
    for (const FaultName& entry : kFaultNames) {
        if (entry.name != name) {
            continue;
        }
        std::array<std::size_t, 2> numbers{};
        std::string_view rest = text.substr(name.size());
        for (int i = 0; i < entry.numbers; ++i) {
            if (rest.empty() || rest.front() != ':') {
                return std::nullopt;
            }
            rest.remove_prefix(1);
            const std::string_view part = rest.substr(0, rest.find(':'));
            const auto value = parseCount(part);
            if (!value) {
                return std::nullopt;
            }
            numbers[static_cast<std::size_t>(i)] = *value;
            rest.remove_prefix(part.size());
        }
        if (!rest.empty()) {
            return std::nullopt;
        }
        SimulatedFault fault;
        fault.kind = entry.kind;
        if (entry.numbers > 0) {
            fault.offset = numbers[0];
        }
        if (entry.numbers > 1) {
            fault.pause = std::chrono::milliseconds(numbers[1]);
        }
        return fault;
    }
    return std::nullopt;
}

std::string simulatedFaultText(const SimulatedFault& fault) {
    for (const FaultName& entry : kFaultNames) {
        if (entry.kind != fault.kind) {
            continue;
        }
        // Appended piece by piece: GCC 12 at -O3 takes "x" + std::string for
        // an overlapping copy (-Wrestrict).
        std::string text(entry.name);
        if (entry.numbers > 0) {
            text += ':';
            text += std::to_string(fault.offset);
        }
        if (entry.numbers > 1) {
            text += ':';
            text += std::to_string(fault.pause.count());
        }
        return text;
    }
    return "?";
}

}  // namespace dl250t
