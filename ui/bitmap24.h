#pragma once
// A 24-bit picture in the layout of a bottom-up Windows DIB: rows of blue-green-red bytes, each
// row padded to a multiple of 4 bytes, the last picture row first. Skin pictures, group drawing
// buffers and the window surfaces of the headless host all use it. Coordinates given to the
// accessors count from the top-left corner; every accessor and copy stays inside the picture.
// A plain value owned by whoever holds it; not thread-safe.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "ui/geometry.h"

namespace vidora {

class Bitmap24 {
  public:
    Bitmap24() = default;
    // A black picture; non-positive or oversized dimensions give an empty picture.
    Bitmap24(int width, int height);

    // Reads a BMP file image: the 40-byte header at byte 14, pixel rows at byte 54. Anything
    // other than an uncompressed, bottom-up, 24-bit picture whose rows are all present is
    // refused (nullopt).
    static std::optional<Bitmap24> fromBmpBytes(std::span<const uint8_t> file);
    // False when the path is empty, the file cannot be read or is not such a picture.
    static std::optional<Bitmap24> loadBmp(const std::string& path);

    std::vector<uint8_t> toBmpBytes() const;
    bool saveBmp(const std::string& path) const;

    int width() const { return width_; }
    int height() const { return height_; }
    int rowSize() const { return rowSize_; }
    bool empty() const { return width_ <= 0 || height_ <= 0; }
    Rect bounds() const { return {0, 0, width_, height_}; }
    bool contains(int x, int y) const { return x >= 0 && y >= 0 && x < width_ && y < height_; }

    // Address of pixel (x, y) counted from the top-left corner; null outside the picture.
    const uint8_t* pixelAt(int x, int y) const;
    uint8_t* pixelAt(int x, int y);
    // Black outside the picture.
    Rgb pixel(int x, int y) const;
    void setPixel(int x, int y, Rgb color);  // ignored outside the picture
    void fill(Rgb color);

    // The raw bottom-up rows (rowSize() * height() bytes).
    std::span<const uint8_t> bits() const { return bits_; }
    std::span<uint8_t> bits() { return bits_; }

    static int rowSizeFor(int width) { return (width * 3 + 3) & ~3; }
    // Largest picture we accept: far above any skin, far below what would exhaust memory or
    // overflow coordinate arithmetic when a skin names absurd sizes.
    static constexpr int kMaxSide = 16384;
    static constexpr int64_t kMaxPixels = int64_t{1} << 24;

  private:
    int width_ = 0;
    int height_ = 0;
    int rowSize_ = 0;
    std::vector<uint8_t> bits_;
};

// Copies a w x h block from (sx, sy) of src to (dx, dy) of dst. Pixels that fall outside either
// picture are left out; the rest keeps its place.
void copyBlock(Bitmap24& dst, int dx, int dy, const Bitmap24& src, int sx, int sy, int w, int h);
// As copyBlock, leaving out source pixels of the transparent colour.
void copyBlockTransparent(Bitmap24& dst, int dx, int dy, const Bitmap24& src, int sx, int sy, int w,
                          int h, Rgb transparent);
// Scales the sw x sh block at (sx, sy) of src to dw x dh at (dx, dy) of dst (nearest pixel).
void stretchBlock(Bitmap24& dst, int dx, int dy, int dw, int dh, const Bitmap24& src, int sx,
                  int sy, int sw, int sh);

}  // namespace vidora
