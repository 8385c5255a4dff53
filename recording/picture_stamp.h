#pragma once
// The stamp burns the channel label and the date and time into picture data: every recorded
// picture (packed 4:2:2, top-down) and every snapshot (24-bit, bottom-up). The on-screen display
// provides the real one; recording and snapshots only see this interface, so they can be built
// and tested without it.
#include <cstdint>

namespace vidora {

// 'UYVY' as a little-endian four-character code.
inline constexpr uint32_t kFourccUyvy = 0x59565955u;

struct PictureDesc {
    int32_t width = 0;
    int32_t height = 0;
    // 0: 24-bit bottom-up rows of three bytes per pixel (blue, green, red);
    // kFourccUyvy: packed 4:2:2, top-down, two bytes per pixel. Others are left unchanged.
    uint32_t compression = 0;
    // Bytes from one row to the next (24-bit rows are padded to 4 bytes, 4:2:2 rows are not).
    int32_t rowStride = 0;
};

// Called on the thread that makes the picture (a streaming thread while recording, the engine's
// or the capture timer's thread for snapshots); implementations must be thread-safe.
class PictureStamp {
  public:
    virtual ~PictureStamp() = default;
    virtual void stamp(const PictureDesc& desc, uint8_t* pixels) = 0;
};

// Stamps nothing: the default until the on-screen display provides the real stamp.
class NoPictureStamp final : public PictureStamp {
  public:
    void stamp(const PictureDesc&, uint8_t*) override {}
};

// The process's no-op stamp.
PictureStamp& noPictureStamp();

}  // namespace vidora
