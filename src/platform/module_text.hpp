#pragma once

#include <string>
#include <string_view>

namespace dl250t {

// The module's identity string is single-byte text in the Chinese code page of
// the machines the modules are made with. Text that is already valid UTF-8
// (plain ASCII always is) is returned unchanged; anything else is read as
// GB18030, and a byte that starts no character becomes U+FFFD and is skipped.
// Every program and journal reads a module's text through here, so that the
// same module is the same text on every system and in every program.
std::string moduleTextToUtf8(std::string_view text);

}  // namespace dl250t
