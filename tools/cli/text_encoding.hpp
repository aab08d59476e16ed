#pragma once

#include <string>
#include <string_view>

namespace dl250t::cli {

// The module's identity string is single-byte text in the Chinese code page of
// the machines the modules are made with. Text that is already valid UTF-8
// (plain ASCII always is) is returned unchanged; anything else is read as
// GB18030, and bytes that are not even that become U+FFFD.
std::string moduleTextToUtf8(std::string_view text);

}  // namespace dl250t::cli
