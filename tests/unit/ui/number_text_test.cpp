#include "ui/number_text.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <optional>
#include <string>

namespace dl250t {
namespace {

constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();

struct IntegerCase {
    std::string text;
    std::optional<std::int32_t> expected;
};

TEST(ParseIntegerText, FollowsTheEditRules) {
    const std::string digits31(31, '9');
    const IntegerCase cases[] = {
        {"42", 42},
        {"  42  ", 42},
        {"\t42\t", 42},
        {" \t+42", 42},
        {"-42", -42},
        {"0", 0},
        {"00", 0},
        {" 0 ", 0},
        {"007", 7},
        // Not numbers.
        {"", std::nullopt},
        {"   ", std::nullopt},
        {"12abc", std::nullopt},
        {"abc", std::nullopt},
        {"0x10", std::nullopt},
        {"1 2", std::nullopt},
        {"1.5", std::nullopt},
        {"+", std::nullopt},
        {"- 5", std::nullopt},
        {"+-5", std::nullopt},
        {"４２", std::nullopt},  // full-width digits
        // Only blanks and tabs count as space around the number.
        {"\n42", std::nullopt},
        {"42\r\n", std::nullopt},
        {"\v42", std::nullopt},
        // A zero has to be written starting with the digit 0.
        {"-0", std::nullopt},
        {"+0", std::nullopt},
        {"-00", std::nullopt},
        // Beyond 32 bits: the nearest limit, not a failure.
        {"2147483647", kMax},
        {"2147483648", kMax},
        {"12345678901", kMax},
        {"-2147483648", kMin},
        {"-2147483649", kMin},
        {"-99999999999", kMin},
        // Only the first 31 characters are looked at.
        {digits31 + "x", kMax},
        {std::string(30, '9') + "x", std::nullopt},
        {std::string(30, '0') + "1", 1},
        {std::string(30, '0') + "12", 1},
        {std::string(31, ' ') + "5", std::nullopt},
        {"  5" + std::string(28, ' ') + "junk", 5},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(parseIntegerText(c.text), c.expected) << '"' << c.text << '"';
    }
}

struct RealCase {
    std::string text;
    std::optional<double> expected;
};

TEST(ParseRealText, FollowsTheEditRules) {
    const RealCase cases[] = {
        {"433.92", 433.92},
        {" 433 ", 433.0},
        {"\t-74.5", -74.5},
        {"+1.5", 1.5},
        {".5", 0.5},
        {"1.", 1.0},
        {"1e3", 1000.0},
        {"1E3", 1000.0},
        {"2.5e-3", 0.0025},
        {"-1e+2", -100.0},
        {"0", 0.0},
        {"0.0", 0.0},
        {"0e5", 0.0},
        {"1" + std::string(30, '0') + "x", 1e30},
        // Not numbers.
        {"", std::nullopt},
        {" ", std::nullopt},
        {"433,92", std::nullopt},
        {"12abc", std::nullopt},
        {"0x10", std::nullopt},
        {"inf", std::nullopt},
        {"nan", std::nullopt},
        {".", std::nullopt},
        {"1e", std::nullopt},
        {"1e+", std::nullopt},
        {"1 2", std::nullopt},
        {"\n1.5", std::nullopt},
        // Zero written without a leading digit 0.
        {"-0.0", std::nullopt},
        {"+0", std::nullopt},
        {".0", std::nullopt},
        // Beyond the range of a double, or vanishing below it.
        {"1e999", std::nullopt},
        {"-1e999", std::nullopt},
        {"01e999", std::nullopt},
        {"1e-999", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(parseRealText(c.text), c.expected) << '"' << c.text << '"';
    }
}

TEST(FormatNumberText, IntegersAsPlainDecimal) {
    EXPECT_EQ(formatIntegerText(0), "0");
    EXPECT_EQ(formatIntegerText(433), "433");
    EXPECT_EQ(formatIntegerText(-5), "-5");
    EXPECT_EQ(formatIntegerText(kMax), "2147483647");
    EXPECT_EQ(formatIntegerText(kMin), "-2147483648");
}

TEST(FormatNumberText, RealsWithFifteenSignificantDigits) {
    EXPECT_EQ(formatRealText(433.0), "433");
    EXPECT_EQ(formatRealText(-74.5), "-74.5");
    EXPECT_EQ(formatRealText(0.0), "0");
    EXPECT_EQ(formatRealText(433.92), "433.92");
    EXPECT_EQ(formatRealText(432.99981689453125), "432.999816894531");
    EXPECT_EQ(formatRealText(950.0001525878906), "950.000152587891");
    EXPECT_EQ(formatRealText(1e20), "1e+20");
    EXPECT_EQ(formatRealText(1e-5), "1e-05");
    EXPECT_EQ(formatRealText(0.0001), "0.0001");
}

TEST(FormatNumberText, WhatIsShownParsesBack) {
    for (const std::int32_t value : {0, 1, -1, 65535, kMax, kMin}) {
        EXPECT_EQ(parseIntegerText(formatIntegerText(value)), value);
    }
    for (const double value : {433.0, 433.92, -74.5, -100.0, 0.0, 1e20, 1e-5}) {
        EXPECT_EQ(parseRealText(formatRealText(value)), value);
    }
}

}  // namespace
}  // namespace dl250t
