#pragma once
// A stored picture: a 40-byte BITMAPINFOHEADER followed by bottom-up 24-bit pixels (rows not
// padded), all in one allocation. Frozen channel pictures and snapshots are stored pictures.
// A plain value type: whoever holds it owns the bytes; not shared between threads.
#include <cstddef>
#include <cstdint>
#include <memory>

namespace vidora {

#pragma pack(push, 1)
struct BitmapInfoHeader {
    uint32_t size;  // 40
    int32_t width;
    int32_t height;         // positive: bottom-up
    uint16_t planes;        // 1
    uint16_t bitCount;      // 24
    uint32_t compression;   // 0 = uncompressed
    uint32_t sizeImage;     // 0
    int32_t xPelsPerMeter;  // 0
    int32_t yPelsPerMeter;  // 0
    uint32_t clrUsed;       // 0
    uint32_t clrImportant;  // 0
};
#pragma pack(pop)
static_assert(sizeof(BitmapInfoHeader) == 40);

class StoredPicture {
  public:
    StoredPicture() = default;
    // A black picture of w x h (the header filled, the pixels zero).
    static StoredPicture black(int width, int height);
    // Converts a packed 4:2:2 picture (top-down, width x height x 2 bytes) into a stored picture.
    static StoredPicture fromUyvy(const uint8_t* uyvy, int width, int height);

    bool empty() const { return !bytes_; }
    int width() const { return header().width; }
    int height() const { return header().height; }
    const BitmapInfoHeader& header() const;
    // The whole allocation: header, then pixels.
    const uint8_t* data() const { return bytes_.get(); }
    std::size_t size() const { return size_; }
    // The pixels: bottom row first, 3 bytes per pixel.
    const uint8_t* pixels() const { return bytes_.get() + sizeof(BitmapInfoHeader); }
    uint8_t* pixels() { return bytes_.get() + sizeof(BitmapInfoHeader); }
    std::size_t pixelBytes() const { return size_ - sizeof(BitmapInfoHeader); }

  private:
    StoredPicture(int width, int height, bool black);

    std::unique_ptr<uint8_t[]> bytes_;
    std::size_t size_ = 0;
};

// Converts top-down packed 4:2:2 rows into bottom-up 24-bit rows (the first source row becomes
// the last bitmap row). Each group (c0, y0, c2, y1) gives two pixels, for y = y0 then y1:
//   byte 0 = clamp(y + trunc(1.4013377926421404 * (c0 - 128)))
//   byte 1 = clamp(y + trunc(-0.7136038186157518 * (c0 - 128))
//                    + trunc(-0.34441087613293053 * (c2 - 128)))
//   byte 2 = clamp(y + trunc(1.7734138972809665 * (c2 - 128)))
// The products come from 256-entry tables; the stored files depend on these exact values.
void convertUyvyToBottomUpRgb24(const uint8_t* uyvy, int width, int height, uint8_t* out);

}  // namespace vidora
