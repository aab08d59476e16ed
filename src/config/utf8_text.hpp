#pragma once

#include <string_view>

namespace dl250t {

// The tool's own texts are UTF-8; a module's identity string may instead be
// single-byte text in the Chinese code page of the machines the modules are
// made with. Each front end shows valid UTF-8 as it is and reads anything
// else in that code page. Plain ASCII is always valid.
//
// Well-formed UTF-8: no stray continuation bytes, no truncated or overlong
// sequences, no surrogates, nothing above U+10FFFF.
bool isValidUtf8(std::string_view text);

}  // namespace dl250t
