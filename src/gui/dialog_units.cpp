#include "gui/dialog_units.hpp"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QScreen>
#include <cmath>

namespace dl250t {

DialogUnits::DialogUnits(QSize baseUnits, double scale) : base_(baseUnits), scale_(scale) {}

DialogUnits DialogUnits::forFont(const QFont& font, double scale) {
    return DialogUnits(dialogBaseUnits(font), scale);
}

int DialogUnits::x(int units) const {
    return static_cast<int>(std::lround(units * base_.width() / 4.0 * scale_));
}

int DialogUnits::y(int units) const {
    return static_cast<int>(std::lround(units * base_.height() / 8.0 * scale_));
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

QSize dialogBaseUnits(const QFont& font) {
    // Measured on a 96-DPI device whatever the screen, so that the screen's
    // scale is applied once, by DialogUnits, as for every other length.
    constexpr int kDotsPerMeterAt96Dpi = 3780;
    QImage device(1, 1, QImage::Format_ARGB32);
    device.setDotsPerMeterX(kDotsPerMeterAt96Dpi);
    device.setDotsPerMeterY(kDotsPerMeterAt96Dpi);
    const QFontMetrics metrics(font, &device);

    QString letters;
    for (char c = 'A'; c <= 'Z'; ++c) {
        letters += QLatin1Char(c);
    }
    for (char c = 'a'; c <= 'z'; ++c) {
        letters += QLatin1Char(c);
    }
    const int averageWidth = (metrics.horizontalAdvance(letters) / 26 + 1) / 2;
    const int height = metrics.height();
    if (averageWidth <= 0 || height <= 0) {
        return {DialogUnits::kTemplateBaseWidth, DialogUnits::kTemplateBaseHeight};
    }
    return {averageWidth, height};
}

double primaryScreenScale() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr || screen->logicalDotsPerInchY() <= 0) {
        return 1.0;
    }
    return screen->logicalDotsPerInchY() / 96.0;
}

}  // namespace dl250t
