#include "link/port_name.hpp"

#include <gtest/gtest.h>

#include <optional>

namespace dl250t {
namespace {

TEST(PortNames, NumberFromName) {
    EXPECT_EQ(portNumberFromName("COM3"), 3);
    EXPECT_EQ(portNumberFromName("COM12"), 12);
    EXPECT_EQ(portNumberFromName("COM007"), 7);
    EXPECT_EQ(portNumberFromName("COMX"), 0);
    EXPECT_EQ(portNumberFromName("XYZ 42abc"), 42);
    EXPECT_EQ(portNumberFromName("COM-2"), -2);
    EXPECT_EQ(portNumberFromName("COM99999999999999"), 2147483647);
}

// Both readings of the same names: the number a port event carries, and
// whether the name is one under which a port can be named and opened.
TEST(PortNames, OnlyTheExactSpellingNamesAPort) {
    struct Case {
        const char* name;
        int reported;
        std::optional<int> named;
    };
    const Case cases[] = {
        {"COM1", 1, 1},
        {"COM255", 255, 255},
        {"com7", 7, 7},
        {"cOm7", 7, 7},
        {"COM256", 256, std::nullopt},
        {"COM0", 0, std::nullopt},
        {"COM007", 7, std::nullopt},
        {"COM04", 4, std::nullopt},
        {"COM 7", 7, std::nullopt},
        {"COM+7", 7, std::nullopt},
        {"COM-7", -7, std::nullopt},
        {"COM7 ", 7, std::nullopt},
        {"COM4.bak", 4, std::nullopt},
        {"XOM7", 7, std::nullopt},
        {"COMX", 0, std::nullopt},
        {"COM", 0, std::nullopt},
        {"", 0, std::nullopt},
        {"COM2147483647", 2147483647, std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(portNumberFromName(c.name), c.reported) << c.name;
        EXPECT_EQ(parseComName(c.name), c.named) << c.name;
    }
    EXPECT_EQ(comName(12), "COM12");
}

}  // namespace
}  // namespace dl250t
