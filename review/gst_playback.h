#pragma once
// Plays one recording file through GStreamer: playbin (avidemux and the libav MPEG-4 decoder
// for our recordings) with its pictures converted to packed 4:2:2 and handed to a PictureSink,
// the sound to an audio sink of its own. Owned by the player on the GUI thread; the sink runs
// on the graph's streaming thread and must not wait on the GUI.
#include <gst/gst.h>

#include <atomic>
#include <mutex>
#include <string>

#include "platform/media/gst_support.h"
#include "review/playback.h"

namespace vidora {

class GstPlayback final : public Playback {
  public:
    // audioSink: the factory name of the sound output ("autoaudiosink"; tests pass "fakesink").
    GstPlayback(PictureSink sink, std::string audioSink = "autoaudiosink");
    ~GstPlayback() override;
    GstPlayback(const GstPlayback&) = delete;
    GstPlayback& operator=(const GstPlayback&) = delete;

    std::string open(const std::string& path) override;
    void close() override;
    void play() override;
    void pause() override;
    void seek(int64_t ms) override;
    void step() override;
    void setRate(double rate) override;
    void setMuted(bool muted) override;
    int64_t durationMs() override;
    int64_t positionMs() override;
    PlaybackNotice poll() override;
    std::string failure() const override;

    // Whether the graph's sound is off.
    bool soundMuted() const;
    // Pictures handed to the sink since the file was opened.
    uint64_t pictures() const { return pictures_.load(std::memory_order_relaxed); }

  private:
    static GstFlowReturn onSample(GstElement* appsink, gpointer self);
    static GstFlowReturn onPreroll(GstElement* appsink, gpointer self);
    void deliver(GstSample* sample);
    void seekTo(int64_t ms, GstSeekFlags flags);

    PictureSink sink_;
    std::string audioSinkName_;
    media::GstPtr<GstElement> pipeline_;
    GstElement* appsink_ = nullptr;  // owned by the pipeline
    double rate_ = 1.0;
    bool playing_ = false;
    std::atomic<int64_t> positionMs_{0};
    std::atomic<uint64_t> pictures_{0};
    mutable std::mutex failureLock_;
    std::string failure_;
};

}  // namespace vidora
