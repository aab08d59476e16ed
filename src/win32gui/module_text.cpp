#include "win32gui/module_text.hpp"

#include <windows.h>

#include "config/utf8_text.hpp"
#include "platform/win32/wide_text.hpp"

namespace dl250t {

namespace {

// GB18030, and GBK, its two-byte part, where a system lacks GB18030.
constexpr UINT kGb18030 = 54936;
constexpr UINT kGbk = 936;

std::wstring inCodePage(UINT codePage, std::string_view bytes) {
    const int size = static_cast<int>(bytes.size());
    const int units = MultiByteToWideChar(codePage, 0, bytes.data(), size, nullptr, 0);
    if (units <= 0) {
        return {};
    }
    std::wstring text(static_cast<std::size_t>(units), L'\0');
    MultiByteToWideChar(codePage, 0, bytes.data(), size, text.data(), units);
    return text;
}

}  // namespace

std::wstring displayText(std::string_view bytes) {
    if (bytes.empty()) {
        return {};
    }
    if (isValidUtf8(bytes)) {
        return utf8ToWide(bytes).value_or(L"");
    }
    // Bytes that are not GB18030 either show as replacement characters.
    for (UINT codePage : {kGb18030, kGbk, UINT{CP_ACP}}) {
        if (std::wstring text = inCodePage(codePage, bytes); !text.empty()) {
            return text;
        }
    }
    return {};
}

}  // namespace dl250t
