#include "recording/stored_picture.h"

#include <algorithm>
#include <cstring>

namespace vidora {

StoredPicture::StoredPicture(int width, int height)
    : width_(std::max(0, width)), height_(std::max(0, height)) {
    size_ = kHeaderBytes + rowStride(width_) * static_cast<std::size_t>(height_);
    data_ = std::make_unique<uint8_t[]>(size_);  // zeroed: black, and header fields 0
    uint8_t* h = data_.get();
    auto put16 = [](uint8_t* p, uint16_t v) {
        p[0] = static_cast<uint8_t>(v);
        p[1] = static_cast<uint8_t>(v >> 8);
    };
    auto put32 = [&](uint8_t* p, uint32_t v) {
        put16(p, static_cast<uint16_t>(v));
        put16(p + 2, static_cast<uint16_t>(v >> 16));
    };
    put32(h + 0, 40);                              // biSize
    put32(h + 4, static_cast<uint32_t>(width_));   // biWidth
    put32(h + 8, static_cast<uint32_t>(height_));  // biHeight: positive, bottom-up
    put16(h + 12, 1);                              // biPlanes
    put16(h + 14, 24);                             // biBitCount
    // biCompression 0 (uncompressed) and every other field stay 0.
}

}  // namespace vidora
