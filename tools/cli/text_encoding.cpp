#include "text_encoding.hpp"

#ifdef _WIN32
#include <windows.h>
#else
#include <iconv.h>
#endif

#include <cerrno>

namespace dl250t::cli {

#ifdef _WIN32
namespace {

// Windows knows GB18030 as code page 54936. Where that is missing (Wine has
// none), GBK, code page 936, reads the same one- and two-byte characters that
// module texts are written in. A character is 1, 2 or 4 bytes long; a byte
// that starts none becomes U+FFFD and is skipped, as iconv does it elsewhere,
// so that both systems print the same text.
constexpr UINT kGb18030CodePage = 54936;
constexpr UINT kGbkCodePage = 936;

std::string gb18030ToUtf8(std::string_view text) {
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
        char utf8[8];
        const int bytes =
            WideCharToMultiByte(CP_UTF8, 0, wide, units, utf8, sizeof utf8, nullptr, nullptr);
        result.append(utf8, static_cast<std::size_t>(bytes > 0 ? bytes : 0));
        i += length;
    }
    return result;
}

}  // namespace
#endif

bool isValidUtf8(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        std::size_t length;
        char32_t codePoint;
        if (lead < 0x80) {
            ++i;
            continue;
        } else if ((lead & 0xE0) == 0xC0) {
            length = 2;
            codePoint = lead & 0x1F;
        } else if ((lead & 0xF0) == 0xE0) {
            length = 3;
            codePoint = lead & 0x0F;
        } else if ((lead & 0xF8) == 0xF0) {
            length = 4;
            codePoint = lead & 0x07;
        } else {
            return false;
        }
        if (i + length > text.size()) {
            return false;
        }
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) {
                return false;
            }
            codePoint = (codePoint << 6) | (next & 0x3F);
        }
        const char32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
        if (codePoint < smallest[length] || codePoint > 0x10FFFF ||
            (codePoint >= 0xD800 && codePoint <= 0xDFFF)) {
            return false;
        }
        i += length;
    }
    return true;
}

std::string moduleTextToUtf8(std::string_view text) {
    if (isValidUtf8(text)) {
        return std::string(text);
    }
#ifdef _WIN32
    return gb18030ToUtf8(text);
#else
    std::string result;
    iconv_t converter = iconv_open("UTF-8", "GB18030");
    if (converter == reinterpret_cast<iconv_t>(-1)) {
        for (const char c : text) {
            result += static_cast<unsigned char>(c) < 0x80 ? std::string(1, c) : "\xEF\xBF\xBD";
        }
        return result;
    }
    std::string input(text);
    char* in = input.data();
    std::size_t inLeft = input.size();
    while (inLeft > 0) {
        char buffer[64];
        char* out = buffer;
        std::size_t outLeft = sizeof buffer;
        const std::size_t rc = iconv(converter, &in, &inLeft, &out, &outLeft);
        result.append(buffer, static_cast<std::size_t>(out - buffer));
        if (rc == static_cast<std::size_t>(-1) && errno != E2BIG) {
            result += "\xEF\xBF\xBD";  // a byte GB18030 cannot read: skip it
            ++in;
            --inLeft;
        }
    }
    iconv_close(converter);
    return result;
#endif
}

}  // namespace dl250t::cli
