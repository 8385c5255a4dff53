#include "ui/qt_canvas.h"

#include <QFontMetrics>
#include <algorithm>

namespace vidora {

QImage wrapBottomUp(const Bitmap24& picture) {
    if (picture.empty())
        return {};
    return QImage(picture.bits().data(), picture.width(), picture.height(), picture.rowSize(),
                  QImage::Format_BGR888);
}

QImage toQImage(const Bitmap24& picture) {
    return wrapBottomUp(picture).mirrored(false, true).convertToFormat(QImage::Format_RGB32);
}

void QtCanvas::fillRect(const Rect& rect, Rgb color) {
    if (rect.empty())
        return;
    painter_.fillRect(QRect(rect.left, rect.top, rect.width(), rect.height()),
                      QColor(color.r, color.g, color.b));
}

void QtCanvas::blit(const Bitmap24& picture, int sx, int sy, int w, int h, int dx, int dy) {
    stretchBlit(picture, sx, sy, w, h, dx, dy, w, h);
}

void QtCanvas::stretchBlit(const Bitmap24& picture, int sx, int sy, int sw, int sh, int dx, int dy,
                           int dw, int dh) {
    if (picture.empty() || sw <= 0 || sh <= 0 || dw <= 0 || dh <= 0)
        return;
    // Keep the source inside the picture, shrinking the destination in proportion.
    const int64_t x0 = std::max<int64_t>(sx, 0), y0 = std::max<int64_t>(sy, 0);
    const int64_t x1 = std::min<int64_t>(int64_t{sx} + sw, picture.width());
    const int64_t y1 = std::min<int64_t>(int64_t{sy} + sh, picture.height());
    if (x1 <= x0 || y1 <= y0)
        return;
    const double scaleX = double(dw) / sw, scaleY = double(dh) / sh;
    const double tx = dx + (x0 - sx) * scaleX, ty = dy + (y0 - sy) * scaleY;
    const double tw = (x1 - x0) * scaleX, th = (y1 - y0) * scaleY;
    const QImage image = wrapBottomUp(picture);
    const QRect source(static_cast<int>(x0), static_cast<int>(picture.height() - y1),
                       static_cast<int>(x1 - x0), static_cast<int>(y1 - y0));
    painter_.save();
    painter_.translate(tx, ty + th);
    painter_.scale(1.0, -1.0);
    painter_.drawImage(QRectF(0, 0, tw, th), image, source);
    painter_.restore();
}

void QtCanvas::drawImage(const Image32View& image, const Rect& source, const Rect& destination) {
    const Rect src = source.intersected({0, 0, image.width, image.height});
    if (image.empty() || src.empty() || destination.empty())
        return;
    // Wraps the pixels without copying them; the view outlives this call.
    const QImage wrapped(reinterpret_cast<const uchar*>(image.pixels), image.width, image.height,
                         static_cast<qsizetype>(image.stride) * 4, QImage::Format_RGB32);
    painter_.drawImage(
        QRect(destination.left, destination.top, destination.width(), destination.height()),
        wrapped, QRect(src.left, src.top, src.width(), src.height()));
}

void QtCanvas::setFont(const TextFont& wanted) {
    QFont font(QString::fromStdString(wanted.family));
    if (wanted.pixelSize > 0)
        font.setPixelSize(wanted.pixelSize);
    font.setBold(wanted.bold);
    font.setStyleHint(QFont::Monospace);
    if (!wanted.antialiased)
        font.setStyleStrategy(QFont::NoAntialias);
    painter_.setFont(font);
}

void QtCanvas::drawText(int x, int y, std::string_view utf8, Rgb color) {
    const QString text = QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
    painter_.setPen(QColor(color.r, color.g, color.b));
    painter_.drawText(x, y + QFontMetrics(painter_.font()).ascent(), text);
}

Size QtCanvas::textExtent(std::string_view utf8) {
    const QString text = QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
    const QFontMetrics metrics(painter_.font());
    return {metrics.horizontalAdvance(text), metrics.height()};
}

}  // namespace vidora
