#pragma once
// Conversion of the live packed 4:2:2 pictures into stored pictures (bottom-up 24-bit bitmaps,
// recording/stored_picture.h) for the frozen channel pictures and the snapshots. Plain
// functions; called under the video sink's copy lock on whichever thread asks for a picture.
#include <cstddef>
#include <cstdint>

#include "recording/stored_picture.h"

namespace vidora {

// Converts top-down packed 4:2:2 rows into bottom-up 24-bit rows of `outStride` bytes (the first
// source row becomes the last bitmap row). Each group (U, Y0, V, Y1) gives two pixels, blue,
// green, red in memory order, for y = Y0 then Y1, read as full-range BT.601 like the live view:
//   blue  = clamp(y + trunc(1.772 * (U - 128)))
//   green = clamp(y + trunc(-0.344136 * (U - 128)) + trunc(-0.714136 * (V - 128)))
//   red   = clamp(y + trunc(1.402 * (V - 128)))
// The products come from 256-entry tables.
void convertUyvyToBottomUpRgb24(const uint8_t* uyvy, int width, int height, uint8_t* out,
                                std::size_t outStride);

// A stored picture of width x height converted from a packed 4:2:2 picture of that size; black
// when there is no source.
StoredPicture storedPictureFromUyvy(const uint8_t* uyvy, int width, int height);

}  // namespace vidora
