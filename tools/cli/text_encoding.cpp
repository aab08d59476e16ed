#include "text_encoding.hpp"

namespace dl250t::cli {

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
