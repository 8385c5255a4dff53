#pragma once
// The audio end of the capture graph ("Audio Transfer"): passes its format to the recording
// port and, while recordingOn or while sound is kept before an alarm, every sound block (already
// folded to doubled mono by the graph).
// Owned by the CaptureEngine; acceptAudioFormat and renderAudio run on the graph's audio
// streaming thread.
#include <atomic>
#include <chrono>
#include <mutex>

#include "engine/live_feed.h"
#include "engine/recording_port.h"
#include "platform/media/capture_graph.h"
#include "recording/stream_format.h"

namespace vidora {

class AudioTransfer final : public media::AudioTransferSink {
  public:
    explicit AudioTransfer(RecordingPort& port) : port_(port) {}

    bool acceptAudioFormat(const media::AudioFormat& format) override;
    void renderAudio(const uint8_t* data, std::size_t length) override;

    // Every sound block from now on also goes to `feed`, or to none. Once this returns, the
    // previous feed is no longer called.
    void setLiveFeed(LiveFeed* feed);
    // Passes the format to the recording port again (record settings changed).
    void passFormat();
    bool formatKnown() const;
    StreamFormat format() const;
    // Pause after each block (2 ms; 0 in benchmarks).
    void setPacing(std::chrono::microseconds pause) { pacingUs_.store(pause.count()); }
    uint64_t blocksReceived() const { return blocks_.load(std::memory_order_relaxed); }

  private:
    RecordingPort& port_;
    mutable std::mutex soundLock_;
    bool formatKnown_ = false;
    StreamFormat format_{};
    LiveFeed* liveFeed_ = nullptr;  // under the sound lock
    std::atomic<int64_t> pacingUs_{2000};
    std::atomic<uint64_t> blocks_{0};
};

}  // namespace vidora
