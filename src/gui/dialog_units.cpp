#include "gui/dialog_units.hpp"

#include <QGuiApplication>
#include <QScreen>
#include <cmath>

namespace dl250t {

int DialogUnits::x(int units) const {
    return static_cast<int>(std::lround(units * kBaseUnitWidth / 4.0 * scale_));
}

int DialogUnits::y(int units) const {
    return static_cast<int>(std::lround(units * kBaseUnitHeight / 8.0 * scale_));
}

QRect DialogUnits::rect(const DialogRect& r) const {
    const int left = x(r.x);
    const int top = y(r.y);
    return {left, top, x(r.x + r.width) - left, y(r.y + r.height) - top};
}

QSize DialogUnits::size(const DialogSize& s) const {
    return {x(s.width), y(s.height)};
}

int DialogUnits::pixels(int pixelsAt96Dpi) const {
    return static_cast<int>(std::lround(pixelsAt96Dpi * scale_));
}

double primaryScreenScale() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr || screen->logicalDotsPerInchY() <= 0) {
        return 1.0;
    }
    return screen->logicalDotsPerInchY() / 96.0;
}

}  // namespace dl250t
