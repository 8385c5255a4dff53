#pragma once
// The capture graph both backends share, as one GStreamer pipeline:
//
//   [video source] ! [jpegdec] ! videoconvert ! video/x-raw,format=UYVY ! appsink "Video Transfer"
//   [audio source] ! audioconvert ! S16LE stereo ! identity "audio transform" (fold probe)
//       ! tee "Audio Tee" ! queue ! volume ! audioconvert ! audioresample ! sound output
//                         ! queue ! appsink "Audio Transfer"
//
// The sources come from the backend's CaptureSource. The video source is opened while the graph
// is built and asked for the formats it offers: raw video is converted, a device that offers
// only MJPEG is decoded first (raw video never is), and a device with neither fails the build
// with BuildResult::FormatUnusable and the offered formats in plain words. A device that later
// refuses the format it offered reports kEventFormatRejected rather than a failure of its own. The
// sound output is autoaudiosink, or a clock-synchronised fakesink when no sound device can be
// opened. Audio failures leave a graph without sound, never a failed build.
//
// Owned by the engine (through CaptureGraph); its operations run on the engine's thread. The
// transfer sinks are called on the pipeline's streaming threads; events arrive from streaming
// threads and the device monitor and are queued for nextEvent.
#include <gst/app/gstappsink.h>
#include <gst/gst.h>

#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/media/capture_graph.h"
#include "platform/media/capture_source.h"
#include "platform/media/device_watch.h"
#include "platform/media/gst_support.h"

namespace vidora::media {

class GstCaptureGraph final : public CaptureGraph {
  public:
    GstCaptureGraph(std::unique_ptr<CaptureSource> source, std::shared_ptr<DeviceWatch> watch);
    ~GstCaptureGraph() override;

    BuildResult build(const DeviceInfo& device, VideoStandard standard, VideoTransferSink* video,
                      AudioTransferSink* audio) override;
    bool hasAudio() const override { return hasAudio_; }
    std::string offeredFormats() const override { return offeredFormats_; }

    bool run() override;
    bool pause() override;
    void stop() override;

    void setVolume(int32_t hundredthsOfDb) override;
    bool readAdjustments(AdjustTable& table) override;
    bool setAdjustment(AdjustmentKind kind, int32_t value) override;

    void setEventNotify(std::function<void()> notify) override;
    bool nextEvent(GraphEvent& event) override;

    int32_t vendorCmdRW(uint8_t* block, int32_t* length) override;

    // Queues an event and calls the notify; any thread.
    void postEvent(const GraphEvent& event);
    // Whether the sound output is a real device (false: the silent fallback or no sound).
    bool hasSoundDevice() const { return hasSoundDevice_; }
    // The linear factor the volume element has now (1.0 before any setVolume).
    double volumeFactor() const;
    // The factories of the graph's elements, space-separated (empty before build).
    std::string elementFactoryNames() const { return childFactoryNames(pipeline_.get()); }

  private:
    BuildResult buildVideoPath(VideoStandard standard);
    bool linkVideoPath(GstElement* src, bool decodeJpeg);
    bool fromVideoPath(GstMessage* message) const;
    bool buildAudioPath();
    void teardown();
    GstPtr<GstElement> makeSoundOutput();
    bool replaceSoundOutputWithSilence();

    static GstCaptureGraph* onStreamingThread(gpointer self);
    void handOverToStreaming();
    static GstFlowReturn onVideoSample(GstAppSink* sink, gpointer self);
    static GstFlowReturn onAudioSample(GstAppSink* sink, gpointer self);
    static GstBusSyncReply onBusMessage(GstBus* bus, GstMessage* message, gpointer self);
    static GstPadProbeReturn onFoldProbe(GstPad* pad, GstPadProbeInfo* info, gpointer self);

    std::unique_ptr<CaptureSource> source_;
    std::shared_ptr<DeviceWatch> watch_;
    int watchToken_ = 0;

    GstPtr<GstElement> pipeline_;
    GstPtr<GstElement> volume_;
    GstPtr<GstElement> soundOutput_;
    GstPtr<GstElement> soundResample_;
    bool built_ = false;
    bool hasAudio_ = false;
    bool hasSoundDevice_ = false;
    bool playing_ = false;
    double volumeFactor_ = 1.0;
    std::string offeredFormats_;

    // Streaming-thread state of each transfer sink, under its own lock: the sink, the format
    // last offered and whether it was accepted. Also orders the calls of one sink across the
    // pool threads GStreamer may move it between.
    struct SinkState {
        std::mutex mutex;
        GstCaps* caps = nullptr;  // owned reference to the last format offered
        bool accepted = false;
        int width = 0;  // video: the accepted picture size and row stride
        int height = 0;
        int stride = 0;
        std::vector<uint8_t> scratch;  // video: packs padded rows; empty when rows are packed
    };
    SinkState videoState_;
    VideoTransferSink* videoSink_ = nullptr;  // under videoState_.mutex
    SinkState audioState_;
    AudioTransferSink* audioSink_ = nullptr;  // under audioState_.mutex

    mutable std::mutex eventMutex_;
    std::deque<GraphEvent> events_;
    std::function<void()> notify_;
    bool reportEvents_ = false;  // under eventMutex_: set once the graph is built
    // Under eventMutex_: the elements of the video path (owned by the pipeline), to tell a
    // picture format refused from other errors of the graph.
    std::vector<GstElement*> videoPath_;
};

}  // namespace vidora::media
