#include "engine/picture_conversion.h"

#include <array>

namespace vidora {

namespace {

struct ConversionTables {
    std::array<int16_t, 256> first;     // 1.40... x (c0 - 128)
    std::array<int16_t, 256> secondC0;  // -0.71... x (c0 - 128)
    std::array<int16_t, 256> secondC2;  // -0.34... x (c2 - 128)
    std::array<int16_t, 256> third;     // 1.77... x (c2 - 128)
    // clamp(v) for v in [-512, 767], indexed by v + 512.
    std::array<uint8_t, 1280> clamp;

    ConversionTables() {
        for (int i = 0; i < 256; ++i) {
            const int offset = i - 128;  // always within -128..127
            // Conversion to int truncates toward zero.
            first[i] = static_cast<int16_t>(1.4013377926421404 * offset);
            secondC0[i] = static_cast<int16_t>(-0.7136038186157518 * offset);
            secondC2[i] = static_cast<int16_t>(-0.34441087613293053 * offset);
            third[i] = static_cast<int16_t>(1.7734138972809665 * offset);
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
            const int c0 = s[0];
            const int c2 = s[2];
            const int a = t.first[c0];
            const int b = t.secondC0[c0] + t.secondC2[c2];
            const int c = t.third[c2];
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
