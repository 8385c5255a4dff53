#pragma once
// The leaky hand-over between the live picture and the network stream. The video and audio
// transfers put every picture and sound block in (their streaming threads, through LiveFeed);
// the stream's feeder takes the latest picture and the sound gathered since, at its own pace.
// Nothing waits: a newer picture replaces one the feeder has not taken (counted as dropped), and
// sound beyond a second is dropped from the oldest end. While no client watches (taking off),
// nothing is copied at all.
//
// Owned by the stream service for the viewer's whole life; thread-safe.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <vector>

#include "engine/live_feed.h"
#include "recording/picture_stamp.h"

namespace vidora {

struct StreamPicture {
    std::vector<uint8_t> pixels;  // packed 4:2:2, top-down
    int width = 0;
    int height = 0;
    int rate = 0;  // pictures per second the viewer records at
};

struct StreamSoundFormat {
    int samplesPerSecond = 0;
    int channels = 0;
    bool operator==(const StreamSoundFormat&) const = default;
};

class LiveHandOver final : public LiveFeed {
  public:
    LiveHandOver() = default;

    // Copies are made only while taking is on (the feeders of the connected clients).
    void setTaking(bool taking) { taking_.store(taking, std::memory_order_relaxed); }
    bool taking() const { return taking_.load(std::memory_order_relaxed); }

    // Streaming threads.
    void onLivePicture(const uint8_t* data, std::size_t length, int width, int height,
                       int rate) override;
    void onLiveSound(const uint8_t* data, std::size_t length, int samplesPerSecond,
                     int channels) override;

    // The feeder. Copies the latest picture into `out` when a newer one than `generation` came
    // (and updates `generation`); returns whether it did.
    bool takePicture(StreamPicture& out, uint64_t& generation);
    // The size and rate of the latest picture (zero before the first), without copying it.
    StreamPicture latestShape() const;
    // The format of the sound that arrives (zero before the first block).
    StreamSoundFormat soundFormat() const;
    // Fills `out` with exactly `bytes` bytes of sound in `format`: what arrived, then silence
    // for what did not (sound of another format is dropped). Returns the bytes of real sound.
    std::size_t takeSound(std::vector<uint8_t>& out, std::size_t bytes,
                          const StreamSoundFormat& format);

    uint64_t picturesIn() const { return picturesIn_.load(std::memory_order_relaxed); }
    uint64_t picturesDropped() const { return picturesDropped_.load(std::memory_order_relaxed); }
    uint64_t soundBytesDropped() const { return soundDropped_.load(std::memory_order_relaxed); }

  private:
    std::atomic<bool> taking_{false};

    mutable std::mutex pictureLock_;
    StreamPicture latest_;
    struct Shape {
        int width = 0;
        int height = 0;
        int rate = 0;
    } shape_;
    uint64_t generation_ = 0;
    uint64_t takenGeneration_ = 0;

    mutable std::mutex soundLock_;
    StreamSoundFormat soundFormat_;
    std::deque<uint8_t> sound_;

    std::atomic<uint64_t> picturesIn_{0};
    std::atomic<uint64_t> picturesDropped_{0};
    std::atomic<uint64_t> soundDropped_{0};
};

}  // namespace vidora
