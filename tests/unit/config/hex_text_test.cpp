#include "config/hex_text.hpp"

#include <gtest/gtest.h>

#include <array>
#include <vector>

namespace dl250t {
namespace {

std::vector<std::uint8_t> parse(std::string_view text, std::size_t maxCount = 48) {
    std::array<std::uint8_t, 64> buffer;
    buffer.fill(0xEE);
    const std::size_t n = parseHexBytes(text, buffer, maxCount);
    EXPECT_EQ(buffer[n], 0xEE) << "bytes after the count must not be touched";
    return {buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(n)};
}

using Bytes = std::vector<std::uint8_t>;

TEST(HexText, FormatsUppercasePairsWithSingleSpaces) {
    const std::uint8_t bytes[] = {0x00, 0x1F, 0xA0};
    EXPECT_EQ(formatHexBytes(bytes), "00 1F A0");
    EXPECT_EQ(formatHexBytes({}), "");
}

TEST(HexText, ParseIsTolerantOfSeparatorsAndDigitRuns) {
    EXPECT_EQ(parse("00 1F A0"), (Bytes{0x00, 0x1F, 0xA0}));
    EXPECT_EQ(parse("ab,CD"), (Bytes{0xAB, 0xCD}));
    EXPECT_EQ(parse("5"), (Bytes{0x05}));
    EXPECT_EQ(parse("123"), (Bytes{0x23}));
    EXPECT_EQ(parse("0x12"), (Bytes{0x00, 0x12}));
    EXPECT_EQ(parse("  7  g  8 "), (Bytes{0x07, 0x08}));
    EXPECT_EQ(parse("十六 4F"), (Bytes{0x4F}));
    EXPECT_EQ(parse(""), Bytes{});
    EXPECT_EQ(parse("xyz ghi"), Bytes{});
}

TEST(HexText, StopsAtTheMaximumCount) {
    EXPECT_EQ(parse("12 34 56 78 9A BC DE", 6), (Bytes{0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC}));
    EXPECT_EQ(parse("12 34", 0), Bytes{});
    std::array<std::uint8_t, 2> small{};
    EXPECT_EQ(parseHexBytes("1 2 3 4", small, 48), 2u) << "the destination bounds the count";
}

TEST(HexText, FormatThenParseRoundTrips) {
    std::vector<std::uint8_t> all(48);
    for (int start = 0; start < 256; start += 48) {
        for (std::size_t i = 0; i < all.size(); ++i) {
            all[i] = static_cast<std::uint8_t>(start + i);
        }
        EXPECT_EQ(parse(formatHexBytes(all)), all);
    }
}

}  // namespace
}  // namespace dl250t
