// Hex byte text is typed by the operator and carried in files and JSON: the
// tolerant parse must stay inside its destination and agree with the format.

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "config/hex_text.hpp"
#include "fuzz_check.hpp"

namespace dl250t {
namespace {

constexpr std::uint8_t kUntouched = 0xC5;

bool isHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// The bytes the text stands for, taken the plain way: every maximal run of
// hex digits is one byte, worth its last two digits.
std::vector<std::uint8_t> runsOf(std::string_view text) {
    std::vector<std::uint8_t> bytes;
    std::size_t i = 0;
    while (i < text.size()) {
        if (!isHexDigit(text[i])) {
            ++i;
            continue;
        }
        std::size_t end = i;
        while (end < text.size() && isHexDigit(text[end])) {
            ++end;
        }
        const std::string lastTwo(text.substr(end - std::min<std::size_t>(end - i, 2), 2));
        bytes.push_back(static_cast<std::uint8_t>(std::stoul(lastTwo, nullptr, 16)));
        i = end;
    }
    return bytes;
}

void checkParse(std::string_view text, std::size_t destinationSize, std::size_t maxCount) {
    // Exactly the destination's size, so that a write past it is caught.
    std::vector<std::uint8_t> destination(destinationSize, kUntouched);
    const std::size_t count = parseHexBytes(text, destination, maxCount);

    const std::vector<std::uint8_t> runs = runsOf(text);
    DL250T_FUZZ_CHECK(count == std::min({runs.size(), maxCount, destinationSize}));
    DL250T_FUZZ_CHECK(std::equal(destination.begin(),
                                 destination.begin() + static_cast<std::ptrdiff_t>(count),
                                 runs.begin()));
    DL250T_FUZZ_CHECK(std::all_of(destination.begin() + static_cast<std::ptrdiff_t>(count),
                                  destination.end(),
                                  [](std::uint8_t b) { return b == kUntouched; }));
}

// Formatting gives "XX XX ..." and reads back as the same bytes.
void checkRoundTrip(const std::vector<std::uint8_t>& bytes) {
    const std::string text = formatHexBytes(bytes);
    DL250T_FUZZ_CHECK(text.size() == (bytes.empty() ? 0 : bytes.size() * 3 - 1));
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (i % 3 == 2) {
            DL250T_FUZZ_CHECK(c == ' ');
        } else {
            DL250T_FUZZ_CHECK((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'));
        }
    }
    std::vector<std::uint8_t> parsed(bytes.size());
    DL250T_FUZZ_CHECK(parseHexBytes(text, parsed, parsed.size()) == bytes.size());
    DL250T_FUZZ_CHECK(parsed == bytes);
}

}  // namespace
}  // namespace dl250t

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace dl250t;
    FuzzedDataProvider provider(data, size);
    const auto destinationSize = provider.ConsumeIntegralInRange<std::size_t>(0, 64);
    // Counts far beyond any destination too: the smaller bound must win.
    const std::size_t maxCount = provider.ConsumeBool()
                                     ? provider.ConsumeIntegralInRange<std::size_t>(0, 64)
                                     : provider.ConsumeIntegral<std::size_t>();
    const std::string text = provider.ConsumeRemainingBytesAsString();

    checkParse(text, destinationSize, maxCount);

    // Whatever the text says, as bytes, formats and reads back unchanged.
    std::vector<std::uint8_t> bytes(std::min<std::size_t>(text.size(), 64));
    bytes.resize(parseHexBytes(text, bytes, bytes.size()));
    checkRoundTrip(bytes);
    checkRoundTrip(std::vector<std::uint8_t>(text.begin(), text.end()));
    return 0;
}
