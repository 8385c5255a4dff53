#pragma once
// The 16-byte description of one recorded stream. The transfer filters fill it, the record sink
// keeps it and hands it to its consumers, and the AVI record writer builds its stream headers
// from it. The layout is fixed (little-endian, packed as asserted below).
#include <cstddef>
#include <cstdint>

namespace vidora {

enum class StreamKind : uint8_t { Video = 0, Audio = 1 };

struct StreamFormat {
    uint8_t kind = 0;              // StreamKind
    uint8_t present = 0;           // 1 once filled
    uint16_t rate = 0;             // video: frames per second; audio: samples per second
    uint16_t height = 0;           // video: picture height in pixels
    uint16_t width = 0;            // video: picture width in pixels
    uint32_t bytesPerPicture = 0;  // video: width x height x 2
    uint8_t bitsPerSample = 0;     // video: bits per pixel (16); audio: bits per sample
    uint8_t channels = 0;          // audio
    uint8_t kbitPerSecond = 0;     // audio: average bytes per second / 125; video: 0
    uint8_t reserved = 0;

    bool isVideo() const { return kind == static_cast<uint8_t>(StreamKind::Video); }
    bool isAudio() const { return kind == static_cast<uint8_t>(StreamKind::Audio); }
};

static_assert(sizeof(StreamFormat) == 16);
static_assert(offsetof(StreamFormat, kind) == 0);
static_assert(offsetof(StreamFormat, present) == 1);
static_assert(offsetof(StreamFormat, rate) == 2);
static_assert(offsetof(StreamFormat, height) == 4);
static_assert(offsetof(StreamFormat, width) == 6);
static_assert(offsetof(StreamFormat, bytesPerPicture) == 8);
static_assert(offsetof(StreamFormat, bitsPerSample) == 12);
static_assert(offsetof(StreamFormat, channels) == 13);
static_assert(offsetof(StreamFormat, kbitPerSecond) == 14);
static_assert(offsetof(StreamFormat, reserved) == 15);

// Convenience constructors for the two kinds.
inline StreamFormat videoStreamFormat(uint16_t width, uint16_t height, uint16_t framesPerSecond) {
    StreamFormat f;
    f.kind = static_cast<uint8_t>(StreamKind::Video);
    f.present = 1;
    f.rate = framesPerSecond;
    f.width = width;
    f.height = height;
    f.bytesPerPicture = uint32_t{width} * height * 2u;
    f.bitsPerSample = 16;
    return f;
}

inline StreamFormat audioStreamFormat(uint16_t samplesPerSecond, uint8_t bitsPerSample,
                                      uint8_t channels) {
    StreamFormat f;
    f.kind = static_cast<uint8_t>(StreamKind::Audio);
    f.present = 1;
    f.rate = samplesPerSecond;
    f.bitsPerSample = bitsPerSample;
    f.channels = channels;
    uint32_t averageBytes = uint32_t{samplesPerSecond} * channels * bitsPerSample / 8u;
    uint32_t kbit = averageBytes / 125u;
    f.kbitPerSecond = static_cast<uint8_t>(kbit > 255 ? 255 : kbit);  // one byte in the record
    return f;
}

}  // namespace vidora
