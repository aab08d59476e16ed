#pragma once

#include <string>
#include <string_view>

namespace dl250t::cli {

// The module's identity string is single-byte text in the Chinese code page of
// the machines the modules are made with. Text that is already valid UTF-8
// (plain ASCII always is) is returned unchanged; anything else is read as
// GB18030, and bytes that are not even that become U+FFFD.
std::string moduleTextToUtf8(std::string_view text);

// UTF-8 text made safe for a terminal: control characters (C0, DEL and the
// C1 range) become escapes such as \x1b and \u009b, and a backslash becomes
// \\, so that a module's identity can neither clear the screen nor retitle
// the window. Everything else is left as it is.
std::string escapeControls(std::string_view text);

}  // namespace dl250t::cli
