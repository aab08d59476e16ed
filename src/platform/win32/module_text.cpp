#include "platform/module_text.hpp"

#include <windows.h>

#include "config/utf8_text.hpp"
#include "platform/win32/wide_text.hpp"

namespace dl250t {

namespace {

// Windows knows GB18030 as code page 54936. Where that is missing (Wine has
// none), GBK, code page 936, reads the same one- and two-byte characters that
// module texts are written in.
constexpr UINT kGb18030CodePage = 54936;
constexpr UINT kGbkCodePage = 936;

}  // namespace

// One character at a time, 1, 2 or 4 bytes long: a byte that starts none
// becomes U+FFFD and is skipped, as iconv does it on POSIX systems, so that
// both systems make the same text.
std::string moduleTextToUtf8(std::string_view text) {
    if (isValidUtf8(text)) {
        return std::string(text);
    }
    const UINT codePage = IsValidCodePage(kGb18030CodePage) ? kGb18030CodePage : kGbkCodePage;
    std::string result;
    std::size_t i = 0;
    while (i < text.size()) {
        wchar_t wide[2];
        int units = 0;
        std::size_t length = 1;
        for (const std::size_t candidate : {1, 2, 4}) {
            if (i + candidate > text.size()) {
                break;
            }
            units = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, text.data() + i,
                                        static_cast<int>(candidate), wide, 2);
            if (units > 0) {
                length = candidate;
                break;
            }
        }
        if (units <= 0) {
            result += "\xEF\xBF\xBD";
            ++i;
            continue;
        }
        result += wideToUtf8(std::wstring_view(wide, static_cast<std::size_t>(units)));
        i += length;
    }
    return result;
}

}  // namespace dl250t
