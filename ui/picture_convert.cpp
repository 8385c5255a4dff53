#include "ui/picture_convert.h"

#include <algorithm>

namespace vidora {

namespace {

// Full-range BT.601 contributions of the chroma bytes, in 1/65536.
struct ChromaTables {
    int32_t rFromV[256];
    int32_t gFromU[256];
    int32_t gFromV[256];
    int32_t bFromU[256];
    uint8_t clamp[256 + 2 * 512];  // index value + 512

    ChromaTables() {
        for (int i = 0; i < 256; ++i) {
            const double c = i - 128;
            rFromV[i] = static_cast<int32_t>(1.402 * c * 65536.0);
            gFromU[i] = static_cast<int32_t>(-0.344136 * c * 65536.0);
            gFromV[i] = static_cast<int32_t>(-0.714136 * c * 65536.0);
            bFromU[i] = static_cast<int32_t>(1.772 * c * 65536.0);
        }
        for (int i = 0; i < static_cast<int>(sizeof clamp); ++i)
            clamp[i] = static_cast<uint8_t>(std::clamp(i - 512, 0, 255));
    }
};

const ChromaTables& tables() {
    static const ChromaTables t;
    return t;
}

inline uint32_t pixelOf(const ChromaTables& t, int y, int r, int g, int b) {
    const uint32_t rr = t.clamp[y + (r >> 16) + 512];
    const uint32_t gg = t.clamp[y + (g >> 16) + 512];
    const uint32_t bb = t.clamp[y + (b >> 16) + 512];
    return 0xFF000000u | (rr << 16) | (gg << 8) | bb;
}

}  // namespace

Size convertPacked422(const PackedPicture422& picture, const Rect& source, uint32_t* out,
                      int outStride) {
    const int left = std::clamp(source.left, 0, std::max(0, picture.width));
    const int top = std::clamp(source.top, 0, std::max(0, picture.rows));
    const int width = std::clamp(source.right - left, 0, std::max(0, picture.width - left));
    const int height = std::clamp(source.bottom - top, 0, std::max(0, picture.rows - top));
    if (!picture.data || width <= 0 || height <= 0)
        return {};
    const ChromaTables& t = tables();
    for (int row = 0; row < height; ++row) {
        const uint8_t* line = picture.data + static_cast<std::size_t>(top + row) * picture.pitch;
        uint32_t* o = out + static_cast<std::size_t>(row) * outStride;
        int x = left;
        const int end = left + width;
        // Each group (U, Y0, V, Y1) carries two pixels; a region may start or end inside one.
        while (x < end) {
            const uint8_t* group = line + static_cast<std::size_t>(x >> 1) * 4;
            const int u = group[0], v = group[2];
            const int r = t.rFromV[v], g = t.gFromU[u] + t.gFromV[v], b = t.bFromU[u];
            if ((x & 1) == 0) {
                *o++ = pixelOf(t, group[1], r, g, b);
                ++x;
                if (x >= end)
                    break;
            }
            *o++ = pixelOf(t, group[3], r, g, b);
            ++x;
        }
    }
    return {width, height};
}

}  // namespace vidora
