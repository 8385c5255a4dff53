#pragma once
// Conversion of the live packed 4:2:2 pictures into stored pictures (bottom-up 24-bit bitmaps,
// recording/stored_picture.h) for the frozen channel pictures and the snapshots. Plain
// functions; called under the video sink's copy lock on whichever thread asks for a picture.
#include <cstddef>
#include <cstdint>

#include "recording/stored_picture.h"

namespace vidora {

// Converts top-down packed 4:2:2 rows into bottom-up 24-bit rows of `outStride` bytes (the first
// source row becomes the last bitmap row). Each group (c0, y0, c2, y1) gives two pixels, for
// y = y0 then y1:
//   byte 0 = clamp(y + trunc(1.4013377926421404 * (c0 - 128)))
//   byte 1 = clamp(y + trunc(-0.7136038186157518 * (c0 - 128))
//                    + trunc(-0.34441087613293053 * (c2 - 128)))
//   byte 2 = clamp(y + trunc(1.7734138972809665 * (c2 - 128)))
// The products come from 256-entry tables; stored files depend on these exact values.
void convertUyvyToBottomUpRgb24(const uint8_t* uyvy, int width, int height, uint8_t* out,
                                std::size_t outStride);

// A stored picture of width x height converted from a packed 4:2:2 picture of that size; black
// when there is no source.
StoredPicture storedPictureFromUyvy(const uint8_t* uyvy, int width, int height);

}  // namespace vidora
