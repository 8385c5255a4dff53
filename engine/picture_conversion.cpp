#include "engine/picture_conversion.h"

#include <array>

namespace vidora {

namespace {

// Full-range BT.601, as the live view reads the same pictures: each chroma byte's
// contribution to the pixel bytes, truncated toward zero.
struct ConversionTables {
    std::array<int16_t, 256> blueFromU;   // 1.772 x (U - 128)
    std::array<int16_t, 256> greenFromU;  // -0.344136 x (U - 128)
    std::array<int16_t, 256> greenFromV;  // -0.714136 x (V - 128)
    std::array<int16_t, 256> redFromV;    // 1.402 x (V - 128)
    // clamp(v) for v in [-512, 767], indexed by v + 512.
    std::array<uint8_t, 1280> clamp;

    ConversionTables() {
        for (int i = 0; i < 256; ++i) {
            const int offset = i - 128;  // always within -128..127
            // Conversion to int truncates toward zero.
            blueFromU[i] = static_cast<int16_t>(1.772 * offset);
            greenFromU[i] = static_cast<int16_t>(-0.344136 * offset);
            greenFromV[i] = static_cast<int16_t>(-0.714136 * offset);
            redFromV[i] = static_cast<int16_t>(1.402 * offset);
        }
        for (int v = -512; v < 768; ++v) {
            clamp[v + 512] = static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v));
        }
    }
};

const ConversionTables& tables() {
    static const ConversionTables t;
    return t;
}

}  // namespace

void convertUyvyToBottomUpRgb24(const uint8_t* uyvy, int width, int height, uint8_t* out,
                                std::size_t outStride) {
    const ConversionTables& t = tables();
    const uint8_t* clamp = t.clamp.data() + 512;
    const int groups = width / 2;
    const std::size_t inPitch = static_cast<std::size_t>(width) * 2;
    for (int row = 0; row < height; ++row) {
        const uint8_t* s = uyvy + row * inPitch;
        uint8_t* d = out + static_cast<std::size_t>(height - 1 - row) * outStride;
        for (int g = 0; g < groups; ++g, s += 4, d += 6) {
            const int u = s[0];
            const int v = s[2];
            const int a = t.blueFromU[u];
            const int b = t.greenFromU[u] + t.greenFromV[v];
            const int c = t.redFromV[v];
            const int y0 = s[1];
            const int y1 = s[3];
            d[0] = clamp[y0 + a];
            d[1] = clamp[y0 + b];
            d[2] = clamp[y0 + c];
            d[3] = clamp[y1 + a];
            d[4] = clamp[y1 + b];
            d[5] = clamp[y1 + c];
        }
    }
}

StoredPicture storedPictureFromUyvy(const uint8_t* uyvy, int width, int height) {
    StoredPicture picture(width, height);
    if (uyvy && width > 0 && height > 0) {
        convertUyvyToBottomUpRgb24(uyvy, width, height, picture.pixels(), picture.rowStride());
    }
    return picture;
}

}  // namespace vidora
