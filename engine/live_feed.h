#pragma once
// A taker of the live picture and sound beyond the viewer's own window and recording (the
// network stream). The video and audio transfers call it on their streaming threads for every
// picture and sound block, whether or not a recording runs; an implementation returns at once
// (it copies what it needs and never waits on a disk, a network or the user interface).
#include <cstddef>
#include <cstdint>

namespace vidora {

class LiveFeed {
  public:
    virtual ~LiveFeed() = default;
    // A picture of packed 4:2:2 (UYVY), top-down, width x height x 2 bytes, at `rate` pictures
    // per second; valid only during the call.
    virtual void onLivePicture(const uint8_t* data, std::size_t length, int width, int height,
                               int rate) = 0;
    // A block of 16-bit interleaved sound frames; valid only during the call.
    virtual void onLiveSound(const uint8_t* data, std::size_t length, int samplesPerSecond,
                             int channels) = 0;
};

}  // namespace vidora
