#include "platform/sound/gst_sound_player.h"

#include <pthread.h>

#include <cstring>
#include <filesystem>

#include "platform/log/log.h"

namespace vidora {

namespace {

constexpr GstClockTime kPrerollWait = 3 * GST_SECOND;
constexpr const char* kStopMessage = "vidora-stop";

using media::adoptFloating;
using media::adoptRef;
using media::GstPtr;
using media::isPlaceholderSink;

}  // namespace

GstSoundPlayer::GstSoundPlayer() {
    media::ensureGstInitialized();
}

GstSoundPlayer::~GstSoundPlayer() {
    stopAll();
}

bool GstSoundPlayer::playLoop(const std::string& wavPath) {
    std::lock_guard lock(mutex_);
    stopLocked();
    std::error_code ec;
    if (!std::filesystem::is_regular_file(wavPath, ec))
        return false;

    GstPtr<GstElement> pipeline = adoptFloating(gst_pipeline_new("alarm sound"));
    GstElement* src = gst_element_factory_make("filesrc", nullptr);
    GstElement* parse = gst_element_factory_make("wavparse", nullptr);
    GstElement* convert = gst_element_factory_make("audioconvert", nullptr);
    GstElement* resample = gst_element_factory_make("audioresample", nullptr);
    GstPtr<GstElement> out = adoptFloating(gst_element_factory_make("autoaudiosink", nullptr));
    bool device = false;
    if (out && gst_element_set_state(out.get(), GST_STATE_READY) != GST_STATE_CHANGE_FAILURE &&
        !isPlaceholderSink(out.get())) {
        device = true;
    } else {
        if (out)
            gst_element_set_state(out.get(), GST_STATE_NULL);
        out = adoptFloating(gst_element_factory_make("fakesink", nullptr));
        if (out)
            g_object_set(out.get(), "sync", TRUE, nullptr);
    }
    if (!pipeline || !src || !parse || !convert || !resample || !out) {
        qCWarning(log::media) << "alarm sound: a GStreamer element is missing (filesrc, wavparse,"
                              << "audioconvert, audioresample, autoaudiosink or fakesink)";
        for (GstElement* e : {src, parse, convert, resample}) {
            if (e)
                gst_object_unref(gst_object_ref_sink(e));
        }
        if (out)
            gst_element_set_state(out.get(), GST_STATE_NULL);
        return false;
    }
    g_object_set(src, "location", wavPath.c_str(), nullptr);
    gst_bin_add_many(GST_BIN(pipeline.get()), src, parse, convert, resample, out.get(), nullptr);
    if (!gst_element_link_many(src, parse, convert, resample, out.get(), nullptr)) {
        gst_element_set_state(pipeline.get(), GST_STATE_NULL);
        return false;
    }
    // Preroll first: a file that is no WAV fails here, and playLoop reports it.
    gst_element_set_state(pipeline.get(), GST_STATE_PAUSED);
    if (gst_element_get_state(pipeline.get(), nullptr, nullptr, kPrerollWait) !=
            GST_STATE_CHANGE_SUCCESS ||
        gst_element_set_state(pipeline.get(), GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
        GstPtr<GstBus> bus = adoptRef(gst_element_get_bus(pipeline.get()));
        media::GstMessagePtr error(gst_bus_pop_filtered(bus.get(), GST_MESSAGE_ERROR));
        if (error)
            media::logBusMessage(error.get());
        else
            qCWarning(log::media) << "alarm sound: cannot play" << wavPath.c_str();
        gst_element_set_state(pipeline.get(), GST_STATE_NULL);
        return false;
    }
    loops_.store(0, std::memory_order_relaxed);
    hasSoundDevice_.store(device, std::memory_order_relaxed);
    playing_.store(true, std::memory_order_relaxed);
    pipeline_ = std::move(pipeline);
    watcher_ = std::thread([this, p = pipeline_.get()] { watch(p); });
    return true;
}

void GstSoundPlayer::watch(GstElement* pipeline) {
    pthread_setname_np(pthread_self(), "alarm sound");
    GstPtr<GstBus> bus = adoptRef(gst_element_get_bus(pipeline));
    for (;;) {
        media::GstMessagePtr message(gst_bus_timed_pop_filtered(
            bus.get(), GST_CLOCK_TIME_NONE,
            GstMessageType(GST_MESSAGE_EOS | GST_MESSAGE_ERROR | GST_MESSAGE_APPLICATION)));
        if (!message)
            continue;
        switch (GST_MESSAGE_TYPE(message.get())) {
            case GST_MESSAGE_EOS:
                loops_.fetch_add(1, std::memory_order_relaxed);
                if (!gst_element_seek_simple(pipeline, GST_FORMAT_TIME, GST_SEEK_FLAG_FLUSH, 0)) {
                    playing_.store(false, std::memory_order_relaxed);
                    return;
                }
                break;
            case GST_MESSAGE_ERROR:
                media::logBusMessage(message.get());
                playing_.store(false, std::memory_order_relaxed);
                return;
            default: {
                const GstStructure* s = gst_message_get_structure(message.get());
                if (s && gst_structure_has_name(s, kStopMessage))
                    return;
                break;
            }
        }
    }
}

void GstSoundPlayer::stopAll() {
    std::lock_guard lock(mutex_);
    stopLocked();
}

void GstSoundPlayer::stopLocked() {
    if (!pipeline_)
        return;
    if (watcher_.joinable()) {
        gst_element_post_message(
            pipeline_.get(), gst_message_new_application(GST_OBJECT(pipeline_.get()),
                                                         gst_structure_new_empty(kStopMessage)));
        watcher_.join();
    }
    gst_element_set_state(pipeline_.get(), GST_STATE_NULL);
    pipeline_.reset();
    playing_.store(false, std::memory_order_relaxed);
}

bool GstSoundPlayer::playing() const {
    return playing_.load(std::memory_order_relaxed);
}

std::unique_ptr<SoundPlayer> createSoundPlayer() {
    return std::make_unique<GstSoundPlayer>();
}

}  // namespace vidora
