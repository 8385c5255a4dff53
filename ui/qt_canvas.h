#pragma once
// The canvas over a QPainter, handed to a window's WM_PAINT by the Qt host. Pictures are drawn
// straight from their bottom-up rows (flipped by the painter), with no copy of their pixels.
#include <QPainter>

#include "ui/canvas.h"

namespace vidora {

class QtCanvas : public Canvas {
  public:
    QtCanvas(QPainter& painter, Size size) : painter_(painter), size_(size) {}

    Size size() const override { return size_; }
    void fillRect(const Rect& rect, Rgb color) override;
    void blit(const Bitmap24& picture, int sx, int sy, int w, int h, int dx, int dy) override;
    void stretchBlit(const Bitmap24& picture, int sx, int sy, int sw, int sh, int dx, int dy,
                     int dw, int dh) override;
    void drawImage(const Image32View& image, const Rect& source, const Rect& destination) override;
    void drawText(int x, int y, std::string_view utf8, Rgb color) override;
    Size textExtent(std::string_view utf8) override;
    void setFont(const TextFont& font) override;

  private:
    QPainter& painter_;
    Size size_;
};

// A QImage wrapping the picture's rows without copying them; rows are bottom-up.
QImage wrapBottomUp(const Bitmap24& picture);
// A top-down copy of the picture (for saving or showing elsewhere).
QImage toQImage(const Bitmap24& picture);

}  // namespace vidora
