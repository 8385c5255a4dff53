#include "ui/canvas.h"

#include <string>

namespace vidora {

void BitmapCanvas::fillRect(const Rect& rect, Rgb color) {
    const Rect r = rect.intersected(target_.bounds());
    for (int y = r.top; y < r.bottom; ++y)
        for (int x = r.left; x < r.right; ++x)
            target_.setPixel(x, y, color);
}

void BitmapCanvas::blit(const Bitmap24& picture, int sx, int sy, int w, int h, int dx, int dy) {
    copyBlock(target_, dx, dy, picture, sx, sy, w, h);
}

void BitmapCanvas::stretchBlit(const Bitmap24& picture, int sx, int sy, int sw, int sh, int dx,
                               int dy, int dw, int dh) {
    stretchBlock(target_, dx, dy, dw, dh, picture, sx, sy, sw, sh);
}

void BitmapCanvas::drawText(int x, int y, std::string_view utf8, Rgb color) {
    texts_.push_back({x, y, std::string(utf8), color});
}

Size BitmapCanvas::textExtent(std::string_view utf8) {
    int chars = 0;
    for (unsigned char c : utf8)
        if ((c & 0xC0) != 0x80)
            ++chars;
    return {chars * kCellWidth, kCellHeight};
}

}  // namespace vidora
