#include "review/gst_playback.h"

#include <gst/app/gstappsink.h>
#include <gst/video/video.h>

#include <QUrl>
#include <algorithm>

namespace vidora {

namespace {

constexpr GstClockTime kOpenTimeout = 10 * GST_SECOND;

GstSeekFlags flagsOf(int flags) {
    return static_cast<GstSeekFlags>(flags);
}

}  // namespace

GstPlayback::GstPlayback(PictureSink sink, std::string audioSink)
    : sink_(std::move(sink)), audioSinkName_(std::move(audioSink)) {
    media::ensureGstInitialized();
}

GstPlayback::~GstPlayback() {
    close();
}

std::string GstPlayback::open(const std::string& path) {
    close();
    auto pipeline = media::adoptFloating(gst_element_factory_make("playbin", nullptr));
    GstElement* convert = gst_element_factory_make("videoconvert", nullptr);
    GstElement* filter = gst_element_factory_make("capsfilter", nullptr);
    GstElement* appsink = gst_element_factory_make("appsink", nullptr);
    GstElement* audio = gst_element_factory_make(audioSinkName_.c_str(), nullptr);
    if (!pipeline || !convert || !filter || !appsink || !audio) {
        for (GstElement* e : {convert, filter, appsink, audio})
            if (e)
                gst_object_unref(gst_object_ref_sink(e));
        return "GStreamer lacks playbin, videoconvert or appsink (gstreamer1.0-plugins-base)";
    }
    // The player converts to the receiver's packed 4:2:2 so that the pictures take the live
    // picture's road to the screen.
    media::GstCapsPtr caps(gst_caps_from_string("video/x-raw,format=UYVY"));
    g_object_set(filter, "caps", caps.get(), nullptr);
    g_object_set(appsink, "emit-signals", TRUE, "sync", TRUE, "max-buffers", 2, "drop", FALSE,
                 "qos", FALSE, nullptr);
    g_signal_connect(appsink, "new-sample", G_CALLBACK(&GstPlayback::onSample), this);
    g_signal_connect(appsink, "new-preroll", G_CALLBACK(&GstPlayback::onPreroll), this);
    GstElement* bin = gst_bin_new("picture");
    gst_bin_add_many(GST_BIN(bin), convert, filter, appsink, nullptr);
    gst_element_link_many(convert, filter, appsink, nullptr);
    media::GstPtr<GstPad> target(gst_element_get_static_pad(convert, "sink"));
    gst_element_add_pad(bin, gst_ghost_pad_new("sink", target.get()));
    const QByteArray uri = QUrl::fromLocalFile(QString::fromStdString(path)).toEncoded();
    g_object_set(pipeline.get(), "uri", uri.constData(), "video-sink", bin, "audio-sink", audio,
                 nullptr);
    appsink_ = appsink;
    pipeline_ = std::move(pipeline);
    positionMs_ = 0;
    pictures_ = 0;
    rate_ = 1.0;
    playing_ = false;
    {
        std::lock_guard lock(failureLock_);
        failure_.clear();
    }
    gst_element_set_state(pipeline_.get(), GST_STATE_PAUSED);
    // A local file prerolls in a few milliseconds; waiting here tells a file that cannot be
    // played at once, with the reason.
    if (gst_element_get_state(pipeline_.get(), nullptr, nullptr, kOpenTimeout) ==
        GST_STATE_CHANGE_FAILURE) {
        std::string reason;
        while (poll() != PlaybackNotice::None) {
        }
        reason = failure();
        close();
        return reason.empty() ? "the file cannot be played: " + path : reason;
    }
    return {};
}

void GstPlayback::close() {
    if (!pipeline_)
        return;
    // Stopping joins the streaming threads, so the sink is not called after this.
    gst_element_set_state(pipeline_.get(), GST_STATE_NULL);
    pipeline_.reset();
    appsink_ = nullptr;
    playing_ = false;
}

void GstPlayback::play() {
    if (!pipeline_)
        return;
    gst_element_set_state(pipeline_.get(), GST_STATE_PLAYING);
    playing_ = true;
}

void GstPlayback::pause() {
    if (!pipeline_)
        return;
    gst_element_set_state(pipeline_.get(), GST_STATE_PAUSED);
    playing_ = false;
}

void GstPlayback::seekTo(int64_t ms, GstSeekFlags flags) {
    if (!pipeline_)
        return;
    const gint64 at = std::max<int64_t>(0, ms) * GST_MSECOND;
    gst_element_seek(pipeline_.get(), rate_, GST_FORMAT_TIME, flags, GST_SEEK_TYPE_SET, at,
                     GST_SEEK_TYPE_NONE, GST_CLOCK_TIME_NONE);
}

void GstPlayback::seek(int64_t ms) {
    // Key frames only: the picture appears at once instead of after decoding up to the target.
    seekTo(ms, flagsOf(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_KEY_UNIT | GST_SEEK_FLAG_SNAP_BEFORE));
}

void GstPlayback::step() {
    if (!pipeline_ || !appsink_)
        return;
    if (playing_)
        pause();
    gst_element_send_event(appsink_, gst_event_new_step(GST_FORMAT_BUFFERS, 1, 1.0, TRUE, FALSE));
}

void GstPlayback::setRate(double rate) {
    rate_ = std::clamp(rate, 0.25, 8.0);
    // Up to normal speed every picture is shown (a slow machine falls behind instead); faster,
    // the decoder leaves out pictures that would come too late, so that the speed holds.
    if (appsink_)
        g_object_set(appsink_, "qos", rate_ > 1.0 ? TRUE : FALSE, nullptr);
    // Accurate, so the speed changes at the picture shown rather than at a key frame.
    seekTo(positionMs_.load(), flagsOf(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE));
}

void GstPlayback::setMuted(bool muted) {
    if (pipeline_)
        g_object_set(pipeline_.get(), "mute", muted ? TRUE : FALSE, nullptr);
}

bool GstPlayback::soundMuted() const {
    gboolean muted = FALSE;
    if (pipeline_)
        g_object_get(pipeline_.get(), "mute", &muted, nullptr);
    return muted != FALSE;
}

int64_t GstPlayback::durationMs() {
    gint64 duration = 0;
    if (pipeline_ && gst_element_query_duration(pipeline_.get(), GST_FORMAT_TIME, &duration) &&
        duration > 0)
        return duration / GST_MSECOND;
    return 0;
}

int64_t GstPlayback::positionMs() {
    return positionMs_.load();
}

PlaybackNotice GstPlayback::poll() {
    if (!pipeline_)
        return PlaybackNotice::None;
    media::GstPtr<GstBus> bus(gst_element_get_bus(pipeline_.get()));
    for (;;) {
        media::GstMessagePtr message(gst_bus_pop_filtered(
            bus.get(), static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR)));
        if (!message)
            return PlaybackNotice::None;
        if (GST_MESSAGE_TYPE(message.get()) == GST_MESSAGE_EOS) {
            playing_ = false;
            return PlaybackNotice::EndOfFile;
        }
        GError* error = nullptr;
        gst_message_parse_error(message.get(), &error, nullptr);
        {
            std::lock_guard lock(failureLock_);
            failure_ = error ? error->message : "playback failed";
        }
        if (error)
            g_error_free(error);
        return PlaybackNotice::Failed;
    }
}

std::string GstPlayback::failure() const {
    std::lock_guard lock(failureLock_);
    return failure_;
}

GstFlowReturn GstPlayback::onSample(GstElement* appsink, gpointer self) {
    media::GstSamplePtr sample(gst_app_sink_pull_sample(GST_APP_SINK(appsink)));
    if (sample)
        static_cast<GstPlayback*>(self)->deliver(sample.get());
    return GST_FLOW_OK;
}

GstFlowReturn GstPlayback::onPreroll(GstElement* appsink, gpointer self) {
    media::GstSamplePtr sample(gst_app_sink_pull_preroll(GST_APP_SINK(appsink)));
    if (sample)
        static_cast<GstPlayback*>(self)->deliver(sample.get());
    return GST_FLOW_OK;
}

void GstPlayback::deliver(GstSample* sample) {
    GstBuffer* buffer = gst_sample_get_buffer(sample);
    GstVideoInfo info;
    if (!buffer || !gst_video_info_from_caps(&info, gst_sample_get_caps(sample)))
        return;
    const GstSegment* segment = gst_sample_get_segment(sample);
    if (GST_BUFFER_PTS_IS_VALID(buffer)) {
        const guint64 at =
            segment ? gst_segment_to_stream_time(segment, GST_FORMAT_TIME, GST_BUFFER_PTS(buffer))
                    : GST_BUFFER_PTS(buffer);
        if (at != GST_CLOCK_TIME_NONE)
            positionMs_ = static_cast<int64_t>(at / GST_MSECOND);
    }
    GstVideoFrame frame;
    if (!gst_video_frame_map(&frame, &info, buffer, GST_MAP_READ))
        return;
    PlaybackPicture picture;
    picture.picture.data = static_cast<const uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&frame, 0));
    picture.picture.width = GST_VIDEO_FRAME_WIDTH(&frame);
    picture.picture.rows = GST_VIDEO_FRAME_HEIGHT(&frame);
    picture.picture.pitch = GST_VIDEO_FRAME_PLANE_STRIDE(&frame, 0);
    picture.positionMs = positionMs_.load();
    pictures_.fetch_add(1, std::memory_order_relaxed);
    if (sink_)
        sink_(picture);
    gst_video_frame_unmap(&frame);
}

}  // namespace vidora
