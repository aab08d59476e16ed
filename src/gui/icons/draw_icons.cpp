// Draws the program icon at every size the desktop asks for and writes them
// as dl250t-config-<size>.png into the folder given. The PNGs are kept in the
// repository; run this again only when the drawing changes:
//     dl250t-draw-icons src/gui/icons

#include <QColor>
#include <QDir>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <QRectF>
#include <array>
#include <cstdio>

namespace {

constexpr std::array<int, 5> kSizes = {16, 32, 48, 64, 128};

// A radio module with its antenna sending waves, on a rounded tile. Drawn on
// a 128-unit canvas and scaled; the smallest sizes leave out the finer parts.
QImage drawIcon(int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / 128.0, size / 128.0);
    const bool small = size <= 16;

    // The tile.
    QLinearGradient tileFill(0, 0, 0, 128);
    tileFill.setColorAt(0, QColor(0x1F, 0x7A, 0xC9));
    tileFill.setColorAt(1, QColor(0x0B, 0x3C, 0x78));
    painter.setPen(Qt::NoPen);
    painter.setBrush(tileFill);
    painter.drawRoundedRect(QRectF(2, 2, 124, 124), 24, 24);

    // Waves on both sides of the antenna tip.
    const QPointF tip(64, 40);
    const int waves = small ? 1 : 3;
    for (int i = 0; i < waves; ++i) {
        const double radius = small ? 30 : 16 + 15.0 * i;
        QPen pen(QColor(255, 255, 255, 255 - 55 * i), small ? 12 : 7, Qt::SolidLine, Qt::RoundCap);
        painter.setPen(pen);
        painter.setBrush(Qt::NoBrush);
        const QRectF arc(tip.x() - radius, tip.y() - radius, 2 * radius, 2 * radius);
        painter.drawArc(arc, 16 * 135, 16 * 90);  // left
        painter.drawArc(arc, 16 * -45, 16 * 90);  // right
    }

    // The antenna.
    painter.setPen(QPen(Qt::white, small ? 12 : 7, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(QPointF(64, 44), QPointF(64, 84));
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0xFF, 0xC8, 0x3A));
    painter.drawEllipse(tip, small ? 10 : 8, small ? 10 : 8);

    // The module.
    const QRectF body(26, 80, 76, 34);
    painter.setBrush(QColor(0xF4, 0xF7, 0xFB));
    painter.drawRoundedRect(body, 7, 7);
    if (!small) {
        painter.setBrush(QColor(0x2E, 0xC2, 0x6A));
        painter.drawEllipse(QPointF(40, 97), 5, 5);
        painter.setBrush(QColor(0x0B, 0x3C, 0x78));
        for (int i = 0; i < 4; ++i) {
            painter.drawRoundedRect(QRectF(54 + 10 * i, 90, 6, 14), 2, 2);
        }
    }
    painter.end();
    return image;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: dl250t-draw-icons FOLDER\n");
        return 2;
    }
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    for (int size : kSizes) {
        const QString file = folder.filePath(QStringLiteral("dl250t-config-%1.png").arg(size));
        if (!drawIcon(size).save(file, "PNG")) {
            std::fprintf(stderr, "dl250t-draw-icons: cannot write %s\n", qPrintable(file));
            return 1;
        }
    }
    return 0;
}
