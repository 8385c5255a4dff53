#pragma once
// Little-endian bytes for the file formats the program writes and reads (AVI, BMP, WAV): every
// field of them is stored least significant byte first whatever the machine's order, so fields
// are put and read byte by byte, never by copying an integer's memory.
//
// putLe16/putLe32 and readLe16/readLe32 work on a fixed place of a buffer the caller has sized;
// LeBytes appends to a growing vector and can fill in a size field once what it counts is known.
// Plain functions and a value that writes into a vector it borrows; not thread-safe.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace vidora {

// A four-character code as the RIFF formats store it: the first character in the lowest byte.
inline constexpr uint32_t fourcc(const char (&s)[5]) {
    return static_cast<uint32_t>(static_cast<uint8_t>(s[0])) |
           static_cast<uint32_t>(static_cast<uint8_t>(s[1])) << 8 |
           static_cast<uint32_t>(static_cast<uint8_t>(s[2])) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(s[3])) << 24;
}

inline void putLe16(uint8_t* at, uint16_t v) {
    at[0] = static_cast<uint8_t>(v);
    at[1] = static_cast<uint8_t>(v >> 8);
}

inline void putLe32(uint8_t* at, uint32_t v) {
    putLe16(at, static_cast<uint16_t>(v));
    putLe16(at + 2, static_cast<uint16_t>(v >> 16));
}

// The caller checks that the field lies inside the bytes.
inline uint16_t readLe16(std::span<const uint8_t> bytes, std::size_t at) {
    return static_cast<uint16_t>(bytes[at] | (bytes[at + 1] << 8));
}

inline uint32_t readLe32(std::span<const uint8_t> bytes, std::size_t at) {
    return static_cast<uint32_t>(readLe16(bytes, at)) |
           static_cast<uint32_t>(readLe16(bytes, at + 2)) << 16;
}

// Appends little-endian fields to a vector it borrows (which must outlive it).
class LeBytes {
  public:
    explicit LeBytes(std::vector<uint8_t>& out) : out_(out) {}

    void u8(uint8_t v) { out_.push_back(v); }
    void u16(uint16_t v) {
        u8(static_cast<uint8_t>(v));
        u8(static_cast<uint8_t>(v >> 8));
    }
    void u32(uint32_t v) {
        u16(static_cast<uint16_t>(v));
        u16(static_cast<uint16_t>(v >> 16));
    }
    void bytes(std::span<const uint8_t> data) { out_.insert(out_.end(), data.begin(), data.end()); }
    std::size_t size() const { return out_.size(); }

    // Reserves a 32-bit field (a chunk's size, say) to fill in with patch32 later.
    std::size_t placeholder32() {
        const std::size_t at = out_.size();
        u32(0);
        return at;
    }
    void patch32(std::size_t at, uint32_t v) { putLe32(out_.data() + at, v); }

  private:
    std::vector<uint8_t>& out_;
};

}  // namespace vidora
