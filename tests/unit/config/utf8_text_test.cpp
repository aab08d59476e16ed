#include "config/utf8_text.hpp"

#include <gtest/gtest.h>

namespace dl250t {
namespace {

// Where a front end decides between showing bytes as they are and reading
// them in the Chinese code page.
TEST(Utf8Text, TellsWellFormedTextFromTheChineseCodePage) {
    struct Case {
        std::string_view bytes;
        bool valid;
    };
    using namespace std::string_view_literals;
    const Case cases[] = {
        {"", true},
        {"Lorandix AMR Ver Moudle U 13306", true},
        {"a\0b"sv, true},
        {"模块", true},
        {"\xF0\x9F\x93\xA1", true},       // a four-byte character
        {"\xEF\xBF\xBE", true},           // a noncharacter is still well-formed
        {"\xF4\x8F\xBF\xBF", true},       // U+10FFFF, the last code point
        {"\xC4\xA3\xBF\xE9 N", false},    // "模块 N" in GB18030
        {"\x80", false},                  // a continuation byte alone
        {"\xE6\xA8", false},              // cut short
        {"\xE6\xA8\x41", false},          // interrupted
        {"\xC0\x80", false},              // overlong
        {"\xE0\x80\x80", false},          // overlong
        {"\xED\xA0\x80", false},          // a surrogate
        {"\xF4\x90\x80\x80", false},      // above U+10FFFF
        {"\xF8\x88\x80\x80\x80", false},  // five bytes
        {"\xFF", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(isValidUtf8(c.bytes), c.valid) << testing::PrintToString(c.bytes);
    }
}

}  // namespace
}  // namespace dl250t
