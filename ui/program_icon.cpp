#include "ui/program_icon.h"

#include <QLinearGradient>

#include "ui/window_ids.h"

namespace vidora {

void paintProgramLogo(QPainter& p, QPointF c, qreal radius) {
    // Proportions of the 11-pixel caption logo.
    const qreal unit = radius / 11.0;
    const QColor blue(0x2f, 0x7d, 0xf6);
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient ring(c - QPointF(radius, radius), c + QPointF(radius, radius));
    ring.setColorAt(0, blue.lighter(130));
    ring.setColorAt(1, QColor(0x6b, 0x4c, 0xe6));
    p.setPen(Qt::NoPen);
    p.setBrush(ring);
    p.drawEllipse(c, radius, radius);
    p.setBrush(QColor(0x12, 0x14, 0x18));
    p.drawEllipse(c, 6.8 * unit, 6.8 * unit);
    p.setBrush(blue.lighter(115));
    p.drawEllipse(c, 3.2 * unit, 3.2 * unit);
    p.setBrush(QColor(255, 255, 255, 200));
    p.drawEllipse(c + QPointF(-1.3 * unit, -1.3 * unit), 1.1 * unit, 1.1 * unit);
    p.restore();
}

QImage programIconImage(int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        paintProgramLogo(painter, QPointF(size / 2.0, size / 2.0), size / 2.0 - size / 32.0);
    }
    return image;
}

QIcon programIcon(int resource) {
    if (resource != IDI_PROGRAM)
        return {};
    QIcon icon;
    for (const int size : {16, 24, 32, 48, 64, 128, 256})
        icon.addPixmap(QPixmap::fromImage(programIconImage(size)));
    return icon;
}

}  // namespace vidora
