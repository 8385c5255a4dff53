#include "ui/canvas.h"

#include <cstdint>
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

void BitmapCanvas::drawImage(const Image32View& image, const Rect& source,
                             const Rect& destination) {
    const Rect src = source.intersected({0, 0, image.width, image.height});
    if (image.empty() || src.empty() || destination.empty())
        return;
    // Nearest pixel, mapping the centre of each destination pixel into the source.
    const Rect dst = destination.intersected(target_.bounds());
    for (int y = dst.top; y < dst.bottom; ++y) {
        const int64_t sy = src.top + (int64_t{y - destination.top} * 2 + 1) * src.height() /
                                         (int64_t{destination.height()} * 2);
        const uint32_t* row = image.pixels + sy * image.stride;
        for (int x = dst.left; x < dst.right; ++x) {
            const int64_t sx = src.left + (int64_t{x - destination.left} * 2 + 1) * src.width() /
                                              (int64_t{destination.width()} * 2);
            const uint32_t p = row[sx];
            target_.setPixel(x, y,
                             {static_cast<uint8_t>(p >> 16), static_cast<uint8_t>(p >> 8),
                              static_cast<uint8_t>(p)});
        }
    }
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
