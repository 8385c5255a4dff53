#pragma once
// The stamp's own bitmap font: bold digits and the few letters and signs that the channel label
// and the date and time need, 6 x 10 pixels in a cell of 8 x 12. Built into the program so that
// stamped pictures look the same on every machine; characters without a glyph leave a blank
// cell. Constant data, safe on any thread.
#include <cstdint>
#include <string_view>

namespace vidora::osdfont {

inline constexpr int kCellWidth = 8;
inline constexpr int kCellHeight = 12;
inline constexpr int kGlyphWidth = 6;
inline constexpr int kGlyphHeight = 10;
inline constexpr int kGlyphTop = 1;  // the glyph's first row inside the cell

// Rows of the glyph, top first; bit 5 is the leftmost column. Null without a glyph.
const uint8_t* glyph(char c);

// Width and height of a text: the cells side by side, without the spacing after the last one.
inline constexpr int textWidth(std::string_view text) {
    return text.empty() ? 0
                        : static_cast<int>(text.size()) * kCellWidth - (kCellWidth - kGlyphWidth);
}
inline constexpr int textHeight() {
    return kCellHeight;
}

}  // namespace vidora::osdfont
