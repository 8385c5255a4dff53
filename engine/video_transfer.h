#pragma once
// The video end of the capture graph ("Video Transfer"): keeps the latest picture in three sizes
// (full, half width, half width and height), shows it in the live cell of the video window and
// hands it to the recording port while recordingOn (or while pictures are kept before an alarm).
// Owned by the CaptureEngine for its whole life (it survives graph rebuilds). acceptVideoFormat and
// renderVideo run on the graph's streaming thread; the other operations on engine threads.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>

#include "app/record_values.h"
#include "engine/layout.h"
#include "engine/live_feed.h"
#include "engine/recording_port.h"
#include "engine/video_window.h"
#include "platform/media/capture_graph.h"
#include "recording/stream_format.h"

namespace vidora {

class VideoTransfer final : public media::VideoTransferSink, public StoredPictureSource {
  public:
    explicit VideoTransfer(RecordingPort& port);
    ~VideoTransfer() override;

    // Streaming thread.
    bool acceptVideoFormat(const media::VideoFormat& format) override;
    void renderVideo(const uint8_t* data, std::size_t length) override;

    // A stored picture in `mode` (any thread). Black when no picture arrived yet or the graph is
    // stopped.
    StoredPicture makeStoredPicture(SizeMode mode);
    // The same for a stored size value (1..3, see SizeMode); empty for any other value.
    StoredPicture makeStoredPicture(int sizeKind) override;

    // The graph is paused or running (pictures may be converted), or stopped.
    void setActive(bool active) { active_.store(active, std::memory_order_relaxed); }
    // Size used for stored pictures while no format has been accepted (the video standard's).
    void setNominalSize(int width, int height);
    void setWindow(VideoWindow* window);
    // Moves the live picture into `cell` of the video window, showing `channel`'s zoom.
    void setLiveCell(const VideoRect& cell, int channel);
    VideoRect liveCell() const;
    // Every picture from now on also goes to `feed` (in the record size, at recordFps), or to
    // none. Once this returns, the previous feed is no longer called.
    void setLiveFeed(LiveFeed* feed);
    // Passes the format (and recordImageSize as the size mode) to the recording port again.
    void passFormat();
    // Pause after each picture, leaving time to the other threads (5 ms; 0 in benchmarks).
    void setPacing(std::chrono::microseconds pause) { pacingUs_.store(pause.count()); }

    bool formatKnown() const;
    int width() const;
    int height() const;
    bool interlaced() const;
    StreamFormat format() const;
    uint64_t picturesShown() const { return pictures_.load(std::memory_order_relaxed); }
    uint64_t picturesDropped() const { return dropped_.load(std::memory_order_relaxed); }

  private:
    void ensureBuffers(std::size_t fullBytes);  // under both locks
    void present(const uint8_t* data, int64_t enteredNs);

    RecordingPort& port_;

    // Picture lock (a whole picture), then copy lock (the three buffers and the format).
    std::mutex pictureLock_;
    mutable std::mutex copyLock_;
    int width_ = 0;
    int height_ = 0;
    bool formatKnown_ = false;
    bool interlaced_ = false;
    SizeMode sizeMode_ = SizeMode::HalfSize;
    StreamFormat format_{};
    int nominalWidth_ = 720;
    int nominalHeight_ = 576;
    std::size_t capacity_ = 0;
    std::unique_ptr<uint8_t[]> full_;
    std::unique_ptr<uint8_t[]> halfWidth_;
    std::unique_ptr<uint8_t[]> halfSize_;
    bool havePicture_ = false;
    LiveFeed* liveFeed_ = nullptr;  // under the picture lock

    // Presentation: where the live picture goes and what part of it is shown.
    mutable std::mutex positionLock_;
    VideoWindow* window_ = nullptr;
    VideoRect liveCell_;
    int liveChannel_ = 0;
    uint32_t lastZoom_[4] = {0, 0, 0, 0};
    VideoRect source_;
    bool sourceValid_ = false;

    std::atomic<bool> active_{false};
    std::atomic<int64_t> pacingUs_{5000};
    std::atomic<uint64_t> pictures_{0};
    std::atomic<uint64_t> dropped_{0};
};

}  // namespace vidora
