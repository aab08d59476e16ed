#include "platform/module_text.hpp"

#include <gtest/gtest.h>

namespace dl250t {
namespace {

// Module texts in the Chinese code page read the same on every system, and a
// byte that starts no character is one U+FFFD, whatever follows it.
TEST(ModuleTextToUtf8, ReadsTheChineseCodePageAndMarksBytesItCannotRead) {
    const std::pair<std::string, std::string> texts[] = {
        {"Lorandix AMR", "Lorandix AMR"},
        {"Lorandix\xC4\xA3\xBF\xE9", "Lorandix模块"},
        {"模块", "模块"},  // already UTF-8
        {"AB\xC4", "AB\uFFFD"},
        {"A\xFFZ", "A\uFFFDZ"},
        {"\xC4\xA3\xFF\xC4", "模\uFFFD\uFFFD"},
        {"\xC4\x41", "腁"},
    };
    for (const auto& [text, utf8] : texts) {
        EXPECT_EQ(moduleTextToUtf8(text), utf8) << text;
    }
}

}  // namespace
}  // namespace dl250t
