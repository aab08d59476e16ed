#pragma once

#include <string>
#include <string_view>

namespace dl250t {

// A text as the window shows it: the program's own texts are UTF-8; a
// module's identity that is not is read in the Chinese code page (GB18030),
// as the Linux window reads it.
std::wstring displayText(std::string_view bytes);

}  // namespace dl250t
