#pragma once
// A picture kept as a device-independent bitmap: a 40-byte BITMAPINFOHEADER (24 bits per pixel,
// uncompressed) followed by the pixels, bottom row first, blue-green-red, in one buffer. Used
// for snapshots and the frozen channel pictures. Rows are padded to a multiple of 4 bytes as
// bitmaps require; the picture widths in use are multiples of 4, so they carry no padding.
//
// A value type: whoever holds it owns the buffer. Not shared between threads.
#include <cstddef>
#include <cstdint>
#include <memory>

namespace vidora {

class StoredPicture {
  public:
    static constexpr std::size_t kHeaderBytes = 40;

    StoredPicture() = default;  // no picture
    // A black picture of the given size with its header filled in.
    StoredPicture(int width, int height);

    bool empty() const { return data_ == nullptr; }
    int width() const { return width_; }
    int height() const { return height_; }
    std::size_t rowStride() const { return rowStride(width_); }
    static std::size_t rowStride(int width) {
        return ((static_cast<std::size_t>(width) * 24 + 31) / 32) * 4;
    }

    // The header followed by the pixels.
    const uint8_t* data() const { return data_.get(); }
    std::size_t size() const { return size_; }
    uint8_t* pixels() { return data_.get() + kHeaderBytes; }
    const uint8_t* pixels() const { return data_.get() + kHeaderBytes; }
    std::size_t pixelBytes() const { return size_ - kHeaderBytes; }

  private:
    std::unique_ptr<uint8_t[]> data_;
    int width_ = 0;
    int height_ = 0;
    std::size_t size_ = 0;
};

}  // namespace vidora
