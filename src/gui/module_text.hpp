#pragma once

#include <QString>
#include <string_view>

namespace dl250t {

// The core's texts are UTF-8, except those that come from a module: its
// identity string is single-byte text in the Chinese code page of the
// machines the modules are made with. Valid UTF-8 (isValidUtf8; plain ASCII
// always is) is shown as it is; anything else is read as GB18030, or as
// Latin-1 where this Qt has no GB18030 decoder.
QString displayText(std::string_view bytes);

}  // namespace dl250t
