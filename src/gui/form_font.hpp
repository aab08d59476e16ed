#pragma once

#include <QFont>
#include <QStringList>

namespace dl250t {

// The Simplified Chinese families the form is drawn in, best first. They are
// named outright because fontconfig, asked for a generic family under an
// English locale, tends to pick Japanese glyph forms for the Han characters.
QStringList formFontFamilies();

// 9 points in the first of the families above that is installed.
QFont formFont();

}  // namespace dl250t
