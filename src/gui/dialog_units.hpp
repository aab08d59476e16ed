#pragma once

#include <QRect>
#include <QSize>

#include "ui/form_template.hpp"

namespace dl250t {

// The template's dialog units in pixels. The form was laid out for a font
// whose average character is 6 x 12 pixels at 96 DPI, so one horizontal unit
// is 1.5 pixels and one vertical unit 1.5 pixels there; `scale` is the
// screen's logical DPI over 96. Edges are rounded, not widths, so that
// neighbouring controls keep their common edges.
class DialogUnits {
public:
    static constexpr int kBaseUnitWidth = 6;
    static constexpr int kBaseUnitHeight = 12;

    explicit DialogUnits(double scale = 1.0) : scale_(scale) {}

    double scale() const { return scale_; }

    int x(int units) const;
    int y(int units) const;
    QRect rect(const DialogRect& rect) const;
    QSize size(const DialogSize& size) const;
    // A length in pixels at 96 DPI on this screen.
    int pixels(int pixelsAt96Dpi) const;

private:
    double scale_;
};

// The screen's logical DPI over 96, for the primary screen.
double primaryScreenScale();

}  // namespace dl250t
