#include "platform/module_text.hpp"

#include <iconv.h>

#include <cerrno>

#include "config/utf8_text.hpp"

namespace dl250t {

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

}  // namespace

std::string moduleTextToUtf8(std::string_view text) {
    if (isValidUtf8(text)) {
        return std::string(text);
    }
    std::string result;
    iconv_t converter = iconv_open("UTF-8", "GB18030");
    if (converter == reinterpret_cast<iconv_t>(-1)) {
        for (const char c : text) {
            result += static_cast<unsigned char>(c) < 0x80 ? std::string(1, c) : kReplacement;
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
            result += kReplacement;  // a byte GB18030 cannot read: skip it
            ++in;
            --inLeft;
        }
    }
    iconv_close(converter);
    return result;
}

}  // namespace dl250t
