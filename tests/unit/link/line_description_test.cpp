#include "link/line_description.hpp"

#include <gtest/gtest.h>

namespace dl250t {
namespace {

TEST(LineDescription, ModuleLineReadsAsTheFixedText) {
    EXPECT_EQ(formatLineDescription(kModuleLine), "baud=115200 parity=N data=8 stop=1");
}

TEST(LineDescription, ParsesWhatItFormatsInAnyKeyOrder) {
    EXPECT_EQ(parseLineDescription(formatLineDescription(kModuleLine)), kModuleLine);
    EXPECT_EQ(parseLineDescription("  stop=2 data=7 parity=e  baud=9600"),
              (LineSettings{9600, 'E', 7, 2}));
}

TEST(LineDescription, RefusesIncompleteRepeatedOrOutOfRangeDescriptions) {
    for (const char* text :
         {"", "baud=115200 parity=N data=8", "baud=115200 parity=N data=8 stop=1 x=1",
          "baud=115200 baud=9600 parity=N data=8 stop=1", "baud=0 parity=N data=8 stop=1",
          "baud=-5 parity=N data=8 stop=1", "baud=115200 parity=X data=8 stop=1",
          "baud=115200 parity=N data=9 stop=1", "baud=115200 parity=N data=8 stop=3",
          "baud=115200 parity=N data=8 stop", "baud=12x parity=N data=8 stop=1"}) {
        EXPECT_FALSE(parseLineDescription(text).has_value()) << text;
    }
}

}  // namespace
}  // namespace dl250t
