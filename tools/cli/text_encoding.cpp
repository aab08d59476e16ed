#include "text_encoding.hpp"

#include <iconv.h>

#include <cerrno>

#include "config/utf8_text.hpp"

namespace dl250t::cli {

std::string moduleTextToUtf8(std::string_view text) {
    if (isValidUtf8(text)) {
        return std::string(text);
    }
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
}

std::string escapeControls(std::string_view text) {
    static constexpr std::string_view kHex = "0123456789abcdef";
    std::string result;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        const auto next = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0;
        if (c == '\\') {
            result += "\\\\";
        } else if (c < 0x20 || c == 0x7F) {
            result += "\\x";
            result += kHex[c >> 4];
            result += kHex[c & 0x0F];
        } else if (c == 0xC2 && next >= 0x80 && next <= 0x9F) {
            // U+0080..U+009F, which some terminals obey like ESC sequences.
            result += "\\u00";
            result += kHex[next >> 4];
            result += kHex[next & 0x0F];
            ++i;
        } else {
            result += text[i];
        }
    }
    return result;
}

}  // namespace dl250t::cli
