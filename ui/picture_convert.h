#pragma once
// The one conversion from the receiver's packed 4:2:2 pictures (U Y0 V Y1) to the 32-bit pixels
// the canvas draws. The live presenter and the recordings player both paint through it, so a
// recorded picture looks exactly as it did live.
#include <cstdint>

#include "ui/geometry.h"

namespace vidora {

// Packed 4:2:2 rows: `width` pixels per row, `rows` rows, `pitch` bytes from one row to the next.
struct PackedPicture422 {
    const uint8_t* data = nullptr;
    int width = 0;
    int rows = 0;
    int pitch = 0;
};

// Converts the `source` part of the picture into pixels 0xffRRGGBB (full-range BT.601),
// `outStride` pixels per row. The source is first kept inside the picture; returns the size
// converted (empty when nothing was).
Size convertPacked422(const PackedPicture422& picture, const Rect& source, uint32_t* out,
                      int outStride);

}  // namespace vidora
