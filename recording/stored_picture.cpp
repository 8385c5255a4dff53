#include "recording/stored_picture.h"

#include <algorithm>
#include <cstring>

#include "platform/le_bytes.h"

namespace vidora {

StoredPicture::StoredPicture(int width, int height)
    : width_(std::max(0, width)), height_(std::max(0, height)) {
    size_ = kHeaderBytes + rowStride(width_) * static_cast<std::size_t>(height_);
    data_ = std::make_unique<uint8_t[]>(size_);  // zeroed: black, and header fields 0
    uint8_t* h = data_.get();
    putLe32(h + 0, 40);                              // biSize
    putLe32(h + 4, static_cast<uint32_t>(width_));   // biWidth
    putLe32(h + 8, static_cast<uint32_t>(height_));  // biHeight: positive, bottom-up
    putLe16(h + 12, 1);                              // biPlanes
    putLe16(h + 14, 24);                             // biBitCount
    // biCompression 0 (uncompressed) and every other field stay 0.
}

}  // namespace vidora
