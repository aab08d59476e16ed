#pragma once

#include <string_view>

#include "ui/form_template.hpp"

namespace dl250t {

// The About box, opened from the system menu (or its stand-in where the
// desktop has none). Modal, title bar with system menu, fixed dialog frame.

// The text of the menu entry that opens the About box.
inline constexpr std::string_view kAboutMenuText = "About QF-DL250T Configure Tool";

inline constexpr std::string_view kAboutTitle = "About QF-DL250T Configure Tool";
inline constexpr FontSpec kAboutFont{"Tahoma", 9};
inline constexpr DialogSize kAboutClientSize{235, 55};
inline constexpr WindowFrame kAboutFrame{};

// The program icon; the rectangle is a placeholder, the icon shows at its own size.
inline constexpr DialogRect kAboutIconRect{11, 17, 20, 20};

// Left-aligned static text.
inline constexpr std::string_view kAboutVersionText = "Version: 1.2";
inline constexpr DialogRect kAboutVersionRect{40, 10, 119, 8};

// The default button, with the accept ID 1. It, the cancel key and the close box
// all just close the box.
inline constexpr std::string_view kAboutOkCaption = "OK";
inline constexpr int kAboutOkId = 1;
inline constexpr DialogRect kAboutOkRect{178, 7, 50, 14};

}  // namespace dl250t
