// The simulated receiver as a media backend: its graphs are GstCaptureGraphs whose sources are
// two appsrc elements, fed by a generator thread at the receiver's picture rate and in 20 ms
// sound blocks.
#include <gst/app/gstappsrc.h>
#include <pthread.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>

#include "platform/media/device_watch.h"
#include "platform/media/gst_capture_graph.h"
#include "platform/media/gst_support.h"
#include "platform/media/handoff.h"
#include "platform/sim/picture_generator.h"
#include "platform/sim/simulated_receiver.h"

namespace vidora::sim {

namespace {

using media::GstPtr;
using Steady = std::chrono::steady_clock;

constexpr auto kAudioBlock = std::chrono::milliseconds(kAudioFramesPerBlock * 1000 / kSampleRate);

// A buffer pool of fixed-size buffers for one stream, active for the pool's life.
class BufferPool {
  public:
    BufferPool(GstCaps* caps, guint size) : pool_(media::adoptFloating(gst_buffer_pool_new())) {
        GstStructure* config = gst_buffer_pool_get_config(pool_.get());
        gst_buffer_pool_config_set_params(config, caps, size, 3, 0);
        active_ = gst_buffer_pool_set_config(pool_.get(), config) &&
                  gst_buffer_pool_set_active(pool_.get(), TRUE);
    }
    ~BufferPool() {
        if (active_)
            gst_buffer_pool_set_active(pool_.get(), FALSE);
    }
    BufferPool(const BufferPool&) = delete;
    BufferPool& operator=(const BufferPool&) = delete;

    GstBuffer* acquire() {
        GstBuffer* buffer = nullptr;
        if (!active_ ||
            gst_buffer_pool_acquire_buffer(pool_.get(), &buffer, nullptr) != GST_FLOW_OK) {
            return nullptr;
        }
        return buffer;
    }

  private:
    GstPtr<GstBufferPool> pool_;
    bool active_ = false;
};

GstPtr<GstElement> makeLiveAppSrc(const char* capsText, guint maxBuffers, GstClockTime latency) {
    GstPtr<GstElement> src = media::adoptFloating(gst_element_factory_make("appsrc", nullptr));
    if (!src)
        return nullptr;
    media::GstCapsPtr caps(gst_caps_from_string(capsText));
    // Live, stamped with the pipeline's running time when a block leaves the source, like a
    // capture driver; when the graph falls behind the oldest blocks are dropped, as a device's
    // own buffers would overflow.
    g_object_set(src.get(), "caps", caps.get(), "is-live", TRUE, "format", GST_FORMAT_TIME,
                 "do-timestamp", TRUE, "block", FALSE, "max-buffers", guint64(maxBuffers),
                 "leaky-type", 2, "min-latency", gint64(latency), "max-latency", gint64(latency),
                 nullptr);
    return src;
}

// The simulated receiver's part of one capture graph.
class SimCaptureSource final : public media::CaptureSource {
  public:
    explicit SimCaptureSource(std::shared_ptr<SimulatedReceiver> receiver)
        : receiver_(std::move(receiver)) {}
    ~SimCaptureSource() override { stopping(); }

    bool bind(const media::DeviceInfo& device) override {
        return device.path == kReceiverPath && receiver_->plugged();
    }

    GstPtr<GstElement> createVideoSource(media::VideoStandard standard) override {
        receiver_->setVideoStandard(standard);
        mode_ = videoModeOf(receiver_->videoStandard());
        const std::string caps = "video/x-raw,format=UYVY,width=" + std::to_string(mode_.width) +
                                 ",height=" + std::to_string(mode_.height) +
                                 ",framerate=" + std::to_string(mode_.framesPerSecond) +
                                 "/1,pixel-aspect-ratio=1/1,interlace-mode=progressive";
        videoSrc_ = makeLiveAppSrc(caps.c_str(), 3, GST_SECOND / mode_.framesPerSecond);
        if (!videoSrc_)
            return nullptr;
        media::GstCapsPtr c(gst_caps_from_string(caps.c_str()));
        videoPool_ = std::make_unique<BufferPool>(c.get(), guint(mode_.width * mode_.height * 2));
        return GstPtr<GstElement>(GST_ELEMENT(gst_object_ref(videoSrc_.get())));
    }

    GstPtr<GstElement> createAudioSource() override {
        if (!receiver_->soundOutput())
            return nullptr;
        const std::string caps =
            "audio/x-raw,format=S16LE,layout=interleaved,rate=" + std::to_string(kSampleRate) +
            ",channels=2,channel-mask=(bitmask)0x3";
        audioSrc_ = makeLiveAppSrc(
            caps.c_str(), 10,
            std::chrono::duration_cast<std::chrono::nanoseconds>(kAudioBlock).count());
        if (!audioSrc_)
            return nullptr;
        media::GstCapsPtr c(gst_caps_from_string(caps.c_str()));
        audioPool_ = std::make_unique<BufferPool>(c.get(), guint(kAudioFramesPerBlock * 4));
        return GstPtr<GstElement>(GST_ELEMENT(gst_object_ref(audioSrc_.get())));
    }

    void started() override {
        std::lock_guard lock(threadMutex_);
        if (thread_.joinable())
            return;
        stopRequested_ = false;
        thread_ = std::thread([this] { generate(); });
    }

    void stopping() override {
        std::lock_guard lock(threadMutex_);
        if (!thread_.joinable())
            return;
        {
            std::lock_guard wake(wakeMutex_);
            stopRequested_ = true;
        }
        wake_.notify_all();
        thread_.join();
    }

    bool readAdjustments(media::AdjustTable& table) override {
        table = receiver_->adjustments();
        return true;
    }
    bool setAdjustment(media::AdjustProperty property, int32_t value) override {
        return receiver_->setAdjustment(property, value);
    }
    int32_t vendorCmdRW(uint8_t* block, int32_t* length) override {
        return receiver_->vendorRequest(block, length);
    }

  private:
    void generate() {
        pthread_setname_np(pthread_self(), "sim receiver");
        const auto frameInterval =
            std::chrono::duration_cast<Steady::duration>(std::chrono::seconds(1)) /
            mode_.framesPerSecond;
        auto nextVideo = Steady::now();
        auto nextAudio = nextVideo;
        std::unique_lock lock(wakeMutex_);
        while (!stopRequested_) {
            lock.unlock();
            const auto now = Steady::now();
            if (now >= nextVideo) {
                pushPicture();
                nextVideo += frameInterval;
                if (const uint32_t delay = receiver_->takeFrameDelay()) {
                    // Counted from this picture, however far behind the schedule was.
                    nextVideo = std::max(nextVideo, now) + std::chrono::milliseconds(delay);
                }
                if (nextVideo < now - std::chrono::milliseconds(200))
                    nextVideo = now;  // stalled: start afresh
            }
            if (now >= nextAudio) {
                pushSound();
                nextAudio += kAudioBlock;
                if (nextAudio < now - std::chrono::milliseconds(200))
                    nextAudio = now;
            }
            lock.lock();
            wake_.wait_until(lock, std::min(nextVideo, nextAudio),
                             [this] { return stopRequested_; });
        }
    }

    void pushPicture() {
        const int64_t index = frameIndex_++;
        if (!receiver_->plugged() || !videoSrc_ || !videoPool_)
            return;
        if (receiver_->takeStreamFailure()) {
            GST_ELEMENT_ERROR(videoSrc_.get(), RESOURCE, READ,
                              ("The receiver stopped delivering pictures."),
                              ("simulated transfer failure"));
            return;
        }
        GstBuffer* buffer = videoPool_->acquire();
        if (!buffer)
            return;
        {
            media::BufferMap map(buffer, GST_MAP_WRITE);
            if (!map.ok() || map.size() < std::size_t(mode_.width) * mode_.height * 2) {
                gst_buffer_unref(buffer);
                return;
            }
            const uint32_t version = receiver_->adjustmentVersion();
            if (version != adjustVersion_) {
                adjustments_ = receiver_->adjustments();
                adjustVersion_ = version;
            }
            PictureGenerator::Frame frame;
            frame.channel = receiver_->channel();
            frame.mode = mode_;
            frame.adjustments = &adjustments_;
            frame.adjustmentVersion = adjustVersion_;
            frame.index = index;
            frame.time = receiver_->clock().localTime();
            media::handoffAcquire(map.data());
            pictures_.render(map.data(), frame);
            media::handoffRelease(map.data());
        }
        GST_BUFFER_DURATION(buffer) = GST_SECOND / mode_.framesPerSecond;
        gst_app_src_push_buffer(GST_APP_SRC(videoSrc_.get()), buffer);
    }

    void pushSound() {
        const int64_t first = sampleIndex_;
        sampleIndex_ += kAudioFramesPerBlock;
        if (!receiver_->plugged() || !audioSrc_ || !audioPool_)
            return;
        GstBuffer* buffer = audioPool_->acquire();
        if (!buffer)
            return;
        {
            media::BufferMap map(buffer, GST_MAP_WRITE);
            if (!map.ok() || map.size() < std::size_t(kAudioFramesPerBlock) * 4) {
                gst_buffer_unref(buffer);
                return;
            }
            const int channel = receiver_->channel();
            const auto amplitude = receiver_->toneAmplitudes();
            if (channel != toneChannel_ || amplitude != toneAmplitude_) {
                // One period of the tone, computed when the channel or level changes.
                toneChannel_ = channel;
                toneAmplitude_ = amplitude;
                const int period = kSampleRate / SimulatedReceiver::toneFrequencyHz(channel);
                toneLength_ = period;
                for (int i = 0; i < period; ++i) {
                    tone_[i] =
                        SimulatedReceiver::toneSample(channel, i, amplitude[0], amplitude[1]);
                }
            }
            media::handoffAcquire(map.data());
            uint8_t* out = map.data();
            for (int i = 0; i < kAudioFramesPerBlock; ++i) {
                const auto& s = tone_[(first + i) % toneLength_];
                const uint16_t l = static_cast<uint16_t>(s[0]), r = static_cast<uint16_t>(s[1]);
                out[i * 4 + 0] = uint8_t(l & 0xFF);
                out[i * 4 + 1] = uint8_t(l >> 8);
                out[i * 4 + 2] = uint8_t(r & 0xFF);
                out[i * 4 + 3] = uint8_t(r >> 8);
            }
            media::handoffRelease(map.data());
        }
        GST_BUFFER_DURATION(buffer) = GST_SECOND * kAudioFramesPerBlock / kSampleRate;
        GST_BUFFER_OFFSET(buffer) = guint64(first);
        gst_app_src_push_buffer(GST_APP_SRC(audioSrc_.get()), buffer);
    }

    std::shared_ptr<SimulatedReceiver> receiver_;
    VideoMode mode_;
    GstPtr<GstElement> videoSrc_;
    GstPtr<GstElement> audioSrc_;
    std::unique_ptr<BufferPool> videoPool_;
    std::unique_ptr<BufferPool> audioPool_;

    std::mutex threadMutex_;  // start/stop of the generator
    std::thread thread_;
    std::mutex wakeMutex_;
    std::condition_variable wake_;
    bool stopRequested_ = false;

    // Generator thread only.
    PictureGenerator pictures_;
    media::AdjustTable adjustments_{};
    uint32_t adjustVersion_ = 0;
    int64_t frameIndex_ = 0;
    int64_t sampleIndex_ = 0;
    int toneChannel_ = -1;
    std::array<int16_t, 2> toneAmplitude_{};
    std::array<std::array<int16_t, 2>, kSampleRate / 400> tone_{};  // the longest period
    int toneLength_ = 1;
};

class SimBackend final : public media::MediaBackend, private SimulatedReceiver::PlugListener {
  public:
    explicit SimBackend(std::shared_ptr<SimulatedReceiver> receiver)
        : receiver_(std::move(receiver)), watch_(std::make_shared<media::DeviceWatch>()) {
        media::ensureGstInitialized();
        receiver_->addPlugListener(this);
    }
    ~SimBackend() override { receiver_->removePlugListener(this); }

    std::optional<std::vector<media::DeviceInfo>> enumerateVideoInputs() override {
        std::vector<media::DeviceInfo> devices;
        if (receiver_->listUnrelatedDevice()) {
            devices.push_back({kUnrelatedDeviceName, kUnrelatedDevicePath});
        }
        if (receiver_->plugged())
            devices.push_back({media::kReceiverName, kReceiverPath});
        return devices;
    }

    std::unique_ptr<media::CaptureGraph> createGraph() override {
        return std::make_unique<media::GstCaptureGraph>(
            std::make_unique<SimCaptureSource>(receiver_), watch_);
    }

    void setArrivalNotify(std::function<void()> notify) override {
        watch_->setArrivalNotify(std::move(notify));
    }

  private:
    void onUnplugged() override { watch_->deviceRemoved(kReceiverPath); }
    void onReplugged() override { watch_->deviceAdded(kReceiverPath); }

    std::shared_ptr<SimulatedReceiver> receiver_;
    std::shared_ptr<media::DeviceWatch> watch_;
};

}  // namespace

std::unique_ptr<media::MediaBackend> createSimulatedBackend(
    std::shared_ptr<SimulatedReceiver> receiver) {
    if (!receiver)
        return nullptr;
    return std::make_unique<SimBackend>(std::move(receiver));
}

}  // namespace vidora::sim
