#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace dl250t {

// The program keeps text in UTF-8; the W API of Windows takes UTF-16.
// Nothing when the text is not valid UTF-8.
std::optional<std::wstring> utf8ToWide(std::string_view text);

// Unpaired surrogates become U+FFFD.
std::string wideToUtf8(std::wstring_view text);

// The system's words for a Win32 error code, in UTF-8 and without the line
// break and full stop Windows ends them with; "error N" when it has none.
std::string systemMessage(unsigned long error);

}  // namespace dl250t
