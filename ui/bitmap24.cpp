#include "ui/bitmap24.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <utility>

#include "platform/le_bytes.h"

namespace vidora {
namespace {

constexpr size_t kFileHeaderSize = 14;
constexpr size_t kInfoHeaderSize = 40;
constexpr size_t kPixelOffset = kFileHeaderSize + kInfoHeaderSize;

struct FileCloser {
    void operator()(FILE* f) const { std::fclose(f); }
};

}  // namespace

Bitmap24::Bitmap24(int width, int height) {
    if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide ||
        int64_t{width} * height > kMaxPixels)
        return;
    width_ = width;
    height_ = height;
    rowSize_ = rowSizeFor(width);
    bits_.assign(static_cast<size_t>(rowSize_) * static_cast<size_t>(height_), 0);
}

std::optional<Bitmap24> Bitmap24::fromBmpBytes(std::span<const uint8_t> file) {
    if (file.size() < kPixelOffset)
        return std::nullopt;
    const auto width = static_cast<int32_t>(readLe32(file, kFileHeaderSize + 4));
    const auto height = static_cast<int32_t>(readLe32(file, kFileHeaderSize + 8));
    const uint16_t bitCount = readLe16(file, kFileHeaderSize + 14);
    const uint32_t compression = readLe32(file, kFileHeaderSize + 16);
    // Top-down (negative height), palette and compressed pictures are outside the skin format.
    if (bitCount != 24 || compression != 0)
        return std::nullopt;
    if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide ||
        int64_t{width} * height > kMaxPixels)
        return std::nullopt;
    const size_t rowSize = static_cast<size_t>(rowSizeFor(width));
    const size_t needed = rowSize * static_cast<size_t>(height);
    // A truncated file is refused rather than shown with made-up rows.
    if (file.size() - kPixelOffset < needed)
        return std::nullopt;
    Bitmap24 picture(width, height);
    std::memcpy(picture.bits_.data(), file.data() + kPixelOffset, needed);
    return picture;
}

std::optional<Bitmap24> Bitmap24::loadBmp(const std::string& path) {
    if (path.empty())
        return std::nullopt;
    std::unique_ptr<FILE, FileCloser> f(std::fopen(path.c_str(), "rb"));
    if (!f)
        return std::nullopt;
    std::vector<uint8_t> data;
    uint8_t chunk[65536];
    for (;;) {
        const size_t n = std::fread(chunk, 1, sizeof chunk, f.get());
        data.insert(data.end(), chunk, chunk + n);
        if (n < sizeof chunk) {
            if (std::ferror(f.get()))
                return std::nullopt;
            break;
        }
    }
    return fromBmpBytes(data);
}

std::vector<uint8_t> Bitmap24::toBmpBytes() const {
    std::vector<uint8_t> out(kPixelOffset + bits_.size(), 0);
    out[0] = 'B';
    out[1] = 'M';
    putLe32(out.data() + 2, static_cast<uint32_t>(out.size()));
    putLe32(out.data() + 10, static_cast<uint32_t>(kPixelOffset));
    putLe32(out.data() + 14, static_cast<uint32_t>(kInfoHeaderSize));
    putLe32(out.data() + 18, static_cast<uint32_t>(width_));
    putLe32(out.data() + 22, static_cast<uint32_t>(height_));
    putLe16(out.data() + 26, 1);   // planes
    putLe16(out.data() + 28, 24);  // bits per pixel
    putLe32(out.data() + 30, 0);   // BI_RGB
    putLe32(out.data() + 34, static_cast<uint32_t>(bits_.size()));
    putLe32(out.data() + 38, 2835);  // 72 dpi
    putLe32(out.data() + 42, 2835);
    if (!bits_.empty())
        std::memcpy(out.data() + kPixelOffset, bits_.data(), bits_.size());
    return out;
}

bool Bitmap24::saveBmp(const std::string& path) const {
    const std::vector<uint8_t> bytes = toBmpBytes();
    std::unique_ptr<FILE, FileCloser> f(std::fopen(path.c_str(), "wb"));
    if (!f)
        return false;
    return std::fwrite(bytes.data(), 1, bytes.size(), f.get()) == bytes.size();
}

const uint8_t* Bitmap24::pixelAt(int x, int y) const {
    if (!contains(x, y))
        return nullptr;
    return bits_.data() + static_cast<size_t>(height_ - 1 - y) * static_cast<size_t>(rowSize_) +
           static_cast<size_t>(x) * 3;
}

uint8_t* Bitmap24::pixelAt(int x, int y) {
    return const_cast<uint8_t*>(std::as_const(*this).pixelAt(x, y));
}

Rgb Bitmap24::pixel(int x, int y) const {
    const uint8_t* p = pixelAt(x, y);
    if (!p)
        return {};
    return {p[2], p[1], p[0]};
}

void Bitmap24::setPixel(int x, int y, Rgb color) {
    uint8_t* p = pixelAt(x, y);
    if (!p)
        return;
    p[0] = color.b;
    p[1] = color.g;
    p[2] = color.r;
}

void Bitmap24::fill(Rgb color) {
    for (int y = 0; y < height_; ++y)
        for (int x = 0; x < width_; ++x)
            setPixel(x, y, color);
}

namespace {

// Shrinks a block so that both its source and its destination lie inside their pictures.
// Returns false when nothing is left.
bool clipBlock(const Bitmap24& dst, int& dx, int& dy, const Bitmap24& src, int& sx, int& sy, int& w,
               int& h) {
    if (w <= 0 || h <= 0 || dst.empty() || src.empty())
        return false;
    // Work in 64 bits: skin values may be anything an int holds.
    int64_t x0 = 0, y0 = 0, x1 = w, y1 = h;  // block-relative range still kept
    x0 = std::max<int64_t>(x0, std::max<int64_t>(-int64_t{sx}, -int64_t{dx}));
    y0 = std::max<int64_t>(y0, std::max<int64_t>(-int64_t{sy}, -int64_t{dy}));
    x1 = std::min<int64_t>(x1,
                           std::min<int64_t>(int64_t{src.width()} - sx, int64_t{dst.width()} - dx));
    y1 = std::min<int64_t>(
        y1, std::min<int64_t>(int64_t{src.height()} - sy, int64_t{dst.height()} - dy));
    if (x1 <= x0 || y1 <= y0)
        return false;
    sx = static_cast<int>(sx + x0);
    dx = static_cast<int>(dx + x0);
    sy = static_cast<int>(sy + y0);
    dy = static_cast<int>(dy + y0);
    w = static_cast<int>(x1 - x0);
    h = static_cast<int>(y1 - y0);
    return true;
}

}  // namespace

void copyBlock(Bitmap24& dst, int dx, int dy, const Bitmap24& src, int sx, int sy, int w, int h) {
    if (!clipBlock(dst, dx, dy, src, sx, sy, w, h))
        return;
    for (int j = 0; j < h; ++j)
        std::memmove(dst.pixelAt(dx, dy + j), src.pixelAt(sx, sy + j), static_cast<size_t>(w) * 3);
}

void copyBlockTransparent(Bitmap24& dst, int dx, int dy, const Bitmap24& src, int sx, int sy, int w,
                          int h, Rgb transparent) {
    if (!clipBlock(dst, dx, dy, src, sx, sy, w, h))
        return;
    for (int j = 0; j < h; ++j) {
        const uint8_t* s = src.pixelAt(sx, sy + j);
        uint8_t* d = dst.pixelAt(dx, dy + j);
        for (int i = 0; i < w; ++i, s += 3, d += 3) {
            if (s[0] == transparent.b && s[1] == transparent.g && s[2] == transparent.r)
                continue;
            d[0] = s[0];
            d[1] = s[1];
            d[2] = s[2];
        }
    }
}

void stretchBlock(Bitmap24& dst, int dx, int dy, int dw, int dh, const Bitmap24& src, int sx,
                  int sy, int sw, int sh) {
    if (dw <= 0 || dh <= 0 || sw <= 0 || sh <= 0)
        return;
    const int64_t left = std::max<int64_t>(dx, 0);
    const int64_t top = std::max<int64_t>(dy, 0);
    const int64_t right = std::min<int64_t>(int64_t{dx} + dw, dst.width());
    const int64_t bottom = std::min<int64_t>(int64_t{dy} + dh, dst.height());
    for (int y = static_cast<int>(top); y < bottom; ++y) {
        const int64_t srcY = sy + (int64_t{y - dy} * sh) / dh;
        for (int x = static_cast<int>(left); x < right; ++x) {
            const int64_t srcX = sx + (int64_t{x - dx} * sw) / dw;
            if (srcX < 0 || srcY < 0 || srcX >= src.width() || srcY >= src.height())
                continue;
            const uint8_t* s = src.pixelAt(static_cast<int>(srcX), static_cast<int>(srcY));
            uint8_t* d = dst.pixelAt(x, y);
            d[0] = s[0];
            d[1] = s[1];
            d[2] = s[2];
        }
    }
}

}  // namespace vidora
