#pragma once

#include <QFont>
#include <QStringList>

namespace dl250t {

// The Simplified Chinese families the form is drawn in, best first. They are
// named outright because fontconfig, asked for a generic family under an
// English locale, tends to pick Japanese glyph forms for the Han characters.
// AR PL UMing CN comes first: a Song typeface whose 9-point size has the very
// metrics the form was laid out for (6 x 12 pixels at 96 DPI), with crisp
// embedded bitmaps at that size. The others are wider, and the window grows
// with them.
QStringList formFontFamilies();

// 9 points in the first of the families above that is installed.
QFont formFont();

}  // namespace dl250t
