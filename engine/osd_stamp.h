#pragma once
// The stamp: burns the channel label and the date and time into picture data, for every recorded
// picture (packed 4:2:2, top-down) and every snapshot (24-bit, bottom-up). The texts are written
// white into a 400 x 50 text bitmap with the stamp's own font and copied into the picture with a
// dark shadow one row lower, clipped to the picture. One stamp per process (osdPictureStamp());
// stamp() may be called from several threads at once (the streaming thread while recording, the
// capture timer for snapshots).
#include <array>
#include <cstdint>
#include <mutex>
#include <string_view>

#include "engine/osd.h"
#include "recording/picture_stamp.h"

namespace vidora {

class Clock;

// Where the stamp writes, as text bitmaps with one byte per pixel (non-zero: set).
class StampTextBitmap {
  public:
    static constexpr int kWidth = 400;
    static constexpr int kHeight = 50;

    // Clears the bitmap, writes the text at (0, 0) and returns its extent (clipped to the bitmap).
    TextSize render(std::string_view text);
    bool isSet(int x, int y) const {
        return x >= 0 && y >= 0 && x < kWidth && y < kHeight && pixels_[y * kWidth + x] != 0;
    }

  private:
    std::array<uint8_t, kWidth * kHeight> pixels_{};
};

// Copies the extent's rows and columns of the text bitmap into the picture with its top-left at
// (column, row), rows counted from the top of the visible picture, processing rows from the top:
//  - 24-bit: a set pixel becomes white and the pixel one row lower and one column to the right
//    black;
//  - 4:2:2, one byte quadruple (U, Y0, V, Y1) per text column pair (2k, 2k + 1): both set gives
//    Y0 = Y1 = 255 and U = V = 128; one set gives 255 in its own Y, U := (U + 128) / 2 and
//    V := U / 4 + 96 from the old U; below a set left pixel the quadruple of the next row gets U
//    and V halved and Y1 := 0, below a set right pixel the next quadruple of the next row gets U
//    and V halved and Y0 := 0.
// Pictures of other kinds are left unchanged. Nothing is written outside the picture.
void copyStampText(const StampTextBitmap& text, TextSize extent, const PictureDesc& desc,
                   uint8_t* pixels, int column, int row);

class OsdStamp final : public PictureStamp {
  public:
    // Takes the time from the process clock, or from `clock` when one is given.
    OsdStamp() = default;
    explicit OsdStamp(Clock& clock) : clock_(&clock) {}

    // "CH%d" of the current channel at (W - 60, 10), the local date and time now as
    // "%04hd/%02hd/%02hd %02hd:%02hd:%02hd" at (W - 150, H - 25); the display settings are not
    // consulted.
    void stamp(const PictureDesc& desc, uint8_t* pixels) override;

  private:
    Clock* clock_ = nullptr;
    std::mutex mutex_;  // the one text bitmap
    StampTextBitmap text_;
};

// The process's stamp, on the process clock; the record encoder and the snapshots use it.
PictureStamp& osdPictureStamp();

}  // namespace vidora
