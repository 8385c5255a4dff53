#pragma once
// Reads texts back from UYVY pictures of the simulated receiver: each character cell is
// sampled at the centre of its 5x7 dots and matched against the glyphs the receiver draws.
#include <cstdint>
#include <string>

#include "platform/sim/picture_generator.h"

namespace vidora::sim::testing {

inline uint8_t lumaAt(const uint8_t* picture, int width, int x, int y) {
    return picture[(static_cast<std::size_t>(y) * width + x) * 2 + 1];
}

// The characters at (x, y) drawn at `scale`; '?' for a cell that matches no glyph.
inline std::string readText(const uint8_t* picture, int width, int x, int y, int scale, int count) {
    static const char kAlphabet[] = "0123456789:-CH ";
    std::string text;
    for (int i = 0; i < count; ++i) {
        const int cellX = x + i * PictureLayout::kGlyphAdvance * scale;
        char found = '?';
        for (const char* c = kAlphabet; *c && found == '?'; ++c) {
            const uint8_t* rows = glyphRows(*c);
            bool match = true;
            for (int r = 0; r < 7 && match; ++r) {
                for (int col = 0; col < 5 && match; ++col) {
                    const bool lit = lumaAt(picture, width, cellX + col * scale + scale / 2,
                                            y + r * scale + scale / 2) > 128;
                    match = lit == bool(rows[r] & (0x10 >> col));
                }
            }
            if (match)
                found = *c;
        }
        text += found;
    }
    return text;
}

// "CH1".."CH4" as drawn in the picture's corner.
inline std::string readChannelLabel(const uint8_t* picture, int width) {
    return readText(picture, width, PictureLayout::kLabelX, PictureLayout::kLabelY,
                    PictureLayout::kLabelScale, 3);
}

}  // namespace vidora::sim::testing
