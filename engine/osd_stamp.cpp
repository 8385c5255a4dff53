#include "engine/osd_stamp.h"

#include <algorithm>
#include <cstdio>

#include "app/settings.h"
#include "engine/osd_font.h"
#include "platform/clock.h"
#include "platform/relaxed.h"

namespace vidora {

TextSize StampTextBitmap::render(std::string_view text) {
    pixels_.fill(0);
    int x0 = 0;
    for (char c : text) {
        if (const uint8_t* rows = osdfont::glyph(c)) {
            for (int r = 0; r < osdfont::kGlyphHeight; ++r) {
                const int y = osdfont::kGlyphTop + r;
                for (int col = 0; col < osdfont::kGlyphWidth; ++col) {
                    const int x = x0 + col;
                    if (x < kWidth && y < kHeight &&
                        (rows[r] & (1u << (osdfont::kGlyphWidth - 1 - col))))
                        pixels_[y * kWidth + x] = 0xFF;
                }
            }
        }
        x0 += osdfont::kCellWidth;
        if (x0 >= kWidth)
            break;
    }
    return {std::min(osdfont::textWidth(text), kWidth), std::min(osdfont::textHeight(), kHeight)};
}

namespace {

void copyInto24(const StampTextBitmap& text, TextSize extent, const PictureDesc& desc,
                uint8_t* pixels, int column, int row) {
    const int64_t stride =
        desc.rowStride > 0 ? desc.rowStride : ((int64_t{desc.width} * 3 + 3) & ~int64_t{3});
    if (stride < int64_t{desc.width} * 3)
        return;
    // Rows are stored bottom-up: the visible top row is the last one in memory.
    const auto paint = [&](int x, int y, uint8_t value) {
        if (x < 0 || y < 0 || x >= desc.width || y >= desc.height)
            return;
        uint8_t* p = pixels + (desc.height - 1 - y) * stride + int64_t{x} * 3;
        p[0] = p[1] = p[2] = value;
    };
    for (int j = 0; j < extent.height; ++j) {
        for (int i = 0; i < extent.width; ++i) {
            if (!text.isSet(i, j))
                continue;
            paint(column + i, row + j, 255);
            paint(column + i + 1, row + j + 1, 0);
        }
    }
}

void copyIntoUyvy(const StampTextBitmap& text, TextSize extent, const PictureDesc& desc,
                  uint8_t* pixels, int column, int row) {
    const int64_t stride = desc.rowStride > 0 ? desc.rowStride : int64_t{desc.width} * 2;
    if (stride < int64_t{desc.width} * 2)
        return;
    const int quads = desc.width / 2;
    // Text column pairs fall on whole pixel pairs of the picture.
    const int firstQuad = column >= 0 ? column / 2 : -((1 - column) / 2);
    const auto quad = [&](int q, int y) -> uint8_t* {
        if (q < 0 || q >= quads || y < 0 || y >= desc.height)
            return nullptr;
        return pixels + y * stride + int64_t{q} * 4;
    };
    for (int j = 0; j < extent.height; ++j) {
        const int y = row + j;
        for (int k = 0; 2 * k < extent.width; ++k) {
            const bool left = text.isSet(2 * k, j);
            const bool right = 2 * k + 1 < extent.width && text.isSet(2 * k + 1, j);
            if (!left && !right)
                continue;
            const int q = firstQuad + k;
            if (uint8_t* p = quad(q, y)) {
                if (left && right) {
                    p[1] = 255;
                    p[3] = 255;
                    p[0] = 128;
                    p[2] = 128;
                } else {
                    const int u = p[0];
                    p[left ? 1 : 3] = 255;
                    p[0] = static_cast<uint8_t>((u + 128) / 2);
                    p[2] = static_cast<uint8_t>(u / 4 + 96);
                }
            }
            if (left) {
                if (uint8_t* s = quad(q, y + 1)) {
                    s[0] /= 2;
                    s[2] /= 2;
                    s[3] = 0;
                }
            }
            if (right) {
                if (uint8_t* s = quad(q + 1, y + 1)) {
                    s[0] /= 2;
                    s[2] /= 2;
                    s[1] = 0;
                }
            }
        }
    }
}

}  // namespace

void copyStampText(const StampTextBitmap& text, TextSize extent, const PictureDesc& desc,
                   uint8_t* pixels, int column, int row) {
    if (!pixels || desc.width <= 0 || desc.height <= 0)
        return;
    extent.width = std::clamp(extent.width, 0, StampTextBitmap::kWidth);
    extent.height = std::clamp(extent.height, 0, StampTextBitmap::kHeight);
    if (desc.compression == 0)
        copyInto24(text, extent, desc, pixels, column, row);
    else if (desc.compression == kFourccUyvy)
        copyIntoUyvy(text, extent, desc, pixels, column, row);
}

void OsdStamp::stamp(const PictureDesc& desc, uint8_t* pixels) {
    if (desc.compression != 0 && desc.compression != kFourccUyvy)
        return;
    Clock& clock = clock_ ? *clock_ : processClock();
    // Fixed buffers: the stamp runs for every recorded picture and allocates nothing.
    char label[16];
    std::snprintf(label, sizeof label, "CH%d", loadRelaxed(gState.currentChannel) + 1);
    const SystemTime t = clock.localTime();
    char when[48];
    std::snprintf(when, sizeof when, "%04hd/%02hd/%02hd %02hd:%02hd:%02hd",
                  static_cast<short>(t.year), static_cast<short>(t.month),
                  static_cast<short>(t.day), static_cast<short>(t.hour),
                  static_cast<short>(t.minute), static_cast<short>(t.second));
    std::lock_guard lock(mutex_);
    TextSize extent = text_.render(label);
    copyStampText(text_, extent, desc, pixels, desc.width - 60, 10);
    extent = text_.render(when);
    copyStampText(text_, extent, desc, pixels, desc.width - 150, desc.height - 25);
}

PictureStamp& osdPictureStamp() {
    static OsdStamp stamp;
    return stamp;
}

}  // namespace vidora
