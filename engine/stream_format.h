#pragma once
// The 16-byte description of one recorded stream. The transfer sinks fill it, the recording
// side keeps it with its packets and the AVI writer reads it; the layout is shared with
// recording/, so it stays a plain record with every offset asserted.
#include <cstddef>
#include <cstdint>

namespace vidora {

#pragma pack(push, 1)
struct StreamFormat {
    uint8_t kind;               // 0 = video, 1 = audio
    uint8_t present;            // 1
    uint16_t rate;              // video: frames per second; audio: samples per second
    uint16_t height;            // video: picture height in pixels
    uint16_t width;             // video: picture width in pixels
    uint32_t bytesPerPicture;   // video: width x height x 2
    uint8_t bits;               // video: bits per pixel (16); audio: bits per sample
    uint8_t channels;           // audio: channels
    uint8_t kilobitsPerSecond;  // audio: average bytes per second / 125; video: 0
    uint8_t spare;              // 0
};
#pragma pack(pop)

static_assert(sizeof(StreamFormat) == 16);
static_assert(offsetof(StreamFormat, kind) == 0);
static_assert(offsetof(StreamFormat, present) == 1);
static_assert(offsetof(StreamFormat, rate) == 2);
static_assert(offsetof(StreamFormat, height) == 4);
static_assert(offsetof(StreamFormat, width) == 6);
static_assert(offsetof(StreamFormat, bytesPerPicture) == 8);
static_assert(offsetof(StreamFormat, bits) == 12);
static_assert(offsetof(StreamFormat, channels) == 13);
static_assert(offsetof(StreamFormat, kilobitsPerSecond) == 14);
static_assert(offsetof(StreamFormat, spare) == 15);

inline constexpr uint8_t kStreamVideo = 0;
inline constexpr uint8_t kStreamAudio = 1;

}  // namespace vidora
