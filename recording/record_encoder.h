#pragma once
// The recording end of the live pipeline: while a recording runs it thins the pictures to the
// record frame rate, stamps them, compresses them to MPEG-4 and hands them on; it folds the sound
// to mono and hands it on in 512-byte blocks. Both go out through the record sink it derives
// from, so the AVI record writer attached to it gets its own copy of everything.
//
// The engine owns exactly one for its whole life. onPicture and onSound run on the capture
// graph's streaming threads; setVideoFormat/setAudioFormat on the thread that sets the media
// type; start/stop, attach and detach on the engine's threads. Locks, outermost first: the state
// lock (start, stop, sound), the picture lock (start, stop, pictures), then the sink's consumer
// lock.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>

#include <optional>
#include "platform/clock.h"

#include "recording/picture_stamp.h"
#include "recording/prealarm_ring.h"
#include "recording/record_sink.h"
#include "recording/stream_format.h"
#include "recording/xvid_encoder.h"

namespace vidora {

class RecordEncoder : public RecordSink {
  public:
    static constexpr std::size_t kSoundBlockBytes = 512;

    // The clock gives the multimedia time that paces the pictures.
    explicit RecordEncoder(Clock& clock = processClock(), PictureStamp& stamp = noPictureStamp());
    ~RecordEncoder() override;

    // The stamp for the following pictures (the on-screen display's, once it exists).
    void setPictureStamp(PictureStamp& stamp);

    // The video transfer filter's format (width x height UYVY) and its record size mode
    // (1 full, 2 half width, 3 half width and height). The frame rate becomes recordFps.
    void setVideoFormat(const StreamFormat& format, int sizeMode);
    // The audio format is taken once; later calls are ignored.
    void setAudioFormat(const StreamFormat& format);

    // Starts a recording: takes recordFps and the encode size from the settings, sizes the
    // buffers, opens the encoder (a failure leaves the recording without video). Returns 0.
    int start();
    // Ends the recording: finishes every consumer and closes the encoder. Returns 0.
    int stop();
    bool isRunning() const { return running_.load(std::memory_order_acquire); }

    // Keeps the last `seconds` encoded in the ring while no recording runs (a running recording
    // is left alone and nothing is kept). Starting again empties the ring and takes the current
    // size mode, frame rate and format.
    void startBuffering(uint32_t seconds);
    // Stops keeping pictures: closes the encoder and gives the ring's memory back.
    void stopBuffering();
    // Empties the ring; it starts again at the next key frame (another channel's pictures are
    // not this alarm's past).
    void clearRing();
    bool isBuffering() const { return buffering_.load(std::memory_order_acquire); }
    // Starts a recording that begins with what the ring holds and goes on live with the same
    // encoder. Returns the multimedia time of the ring's first picture, or nullopt when the ring
    // held none (without a ring, this is start()).
    std::optional<uint32_t> startFromRing();
    // The ring's memory (index and arena) and what it holds now.
    std::size_t ringMemoryBytes();
    std::size_t ringPictures();
    std::size_t ringBytesHeld();

    // One UYVY picture in the buffer that matches the size mode (streaming thread). Pictures
    // that are not due at the record frame rate, or that are shorter than the encode size, are
    // dropped.
    void onPicture(const uint8_t* data, std::size_t length);
    // 16-bit PCM frames whose samples all hold the mixed sound (streaming thread; the capture
    // graph mixes it), reduced to mono in place by keeping each frame's first sample and handed
    // on in blocks of 512 bytes; pieces of any length are fine, nothing is lost or repeated
    // between calls.
    void onSound(uint8_t* data, std::size_t length);

    // What the current (or last) recording uses.
    int encodeWidth();
    int encodeHeight();
    int recordFps();
    std::size_t bufferBytes();  // each of the picture and bitstream buffers
    bool encoderOpen();
    uint32_t encodedPictures();

  protected:
    void stopProducer() override { stop(); }

  private:
    static constexpr int kMaxChannels = 8;

    // The set-up both a recording and the ring use: size, rate, buffers, format, encoder.
    void openLocked();
    void appendMono(uint8_t* mono, std::size_t bytes);  // cuts mono sound into blocks
    void emitSoundBlock(const uint8_t* block);

    Clock& clock_;
    std::atomic<PictureStamp*> stamp_;
    std::atomic<bool> running_{false};
    std::atomic<bool> buffering_{false};  // changed under both locks, like running_

    std::mutex stateLock_;
    std::mutex pictureLock_;

    // Under the state lock.
    StreamFormat sourceFormat_{};  // as the video transfer filter gave it
    bool sourceKnown_ = false;
    int sizeMode_ = 3;
    int audioChannels_ = 2;
    int audioBits_ = 16;
    uint8_t carry_[kSoundBlockBytes] = {};  // mono sound short of a whole block
    std::size_t carryFill_ = 0;
    uint8_t partial_[kMaxChannels * 2] = {};  // the start of a frame cut by the caller
    std::size_t partialFill_ = 0;

    // Set at start under both locks; used under the picture lock.
    int width_ = 0;
    int height_ = 0;
    int fps_ = 25;
    std::size_t bufferBytes_ = 0;
    std::unique_ptr<uint8_t[]> picture_;
    std::unique_ptr<uint8_t[]> bitstream_;
    XvidEncoder encoder_;
    bool haveStartTime_ = false;
    uint32_t startTime_ = 0;
    uint32_t picturesTaken_ = 0;
    uint32_t encodedPictures_ = 0;
    PreAlarmRing ring_;  // under the picture lock
};

}  // namespace vidora
