#pragma once

#include <QFont>
#include <QRect>
#include <QSize>

#include "ui/form_template.hpp"

namespace dl250t {

// The template's dialog units in pixels. One horizontal unit is a quarter of
// the font's average character width, one vertical unit an eighth of its
// character height, both measured as a Windows dialog measures its font and
// then scaled for the screen: `scale` is the screen's logical DPI over 96.
// The form was laid out for a font of 6 x 12 pixels at 96 DPI, where a unit is
// 1.5 pixels both ways; a wider font makes the whole window larger instead of
// cutting its texts. Edges are rounded, not widths, so that neighbouring
// controls keep their common edges.
class DialogUnits {
public:
    // The metrics the template was laid out for: 9-point "宋体" at 96 DPI.
    static constexpr int kTemplateBaseWidth = 6;
    static constexpr int kTemplateBaseHeight = 12;

    // The template's own metrics.
    explicit DialogUnits(double scale = 1.0)
        : DialogUnits(QSize(kTemplateBaseWidth, kTemplateBaseHeight), scale) {}
    // Base units in pixels at 96 DPI: average character width and height.
    DialogUnits(QSize baseUnits, double scale);

    // The base units of the font the window is drawn in.
    static DialogUnits forFont(const QFont& font, double scale);

    QSize baseUnits() const { return base_; }
    double scale() const { return scale_; }

    int x(int units) const;
    int y(int units) const;
    QRect rect(const DialogRect& rect) const;
    QSize size(const DialogSize& size) const;
    // A length in pixels at 96 DPI on this screen.
    int pixels(int pixelsAt96Dpi) const;

private:
    QSize base_;
    double scale_;
};

// A font's dialog base units at 96 DPI, as Windows takes them: the average
// width of the 52 Latin letters A..Z a..z, rounded as (width / 26 + 1) / 2,
// and the character height. Fonts that Qt cannot measure give the template's
// metrics.
QSize dialogBaseUnits(const QFont& font);

// The screen's logical DPI over 96, for the primary screen.
double primaryScreenScale();

}  // namespace dl250t
