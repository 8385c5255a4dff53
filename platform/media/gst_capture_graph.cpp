#include "platform/media/gst_capture_graph.h"

#include <gst/audio/audio.h>
#include <gst/video/video.h>

#include <algorithm>
#include <cstring>
#include <exception>
#include <utility>

#include "platform/log/log.h"
#include "platform/media/audio_fold.h"
#include "platform/media/handoff.h"

namespace vidora::media {

namespace {

constexpr uint32_t kFourccUyvy = 0x59565955;  // 'U' 'Y' 'V' 'Y'
constexpr const char* kVideoCaps = "video/x-raw,format=UYVY";
constexpr const char* kAudioCaps = "audio/x-raw,format=S16LE,layout=interleaved,channels=2";
// Waiting for PLAYING: live sinks commit only with their first buffer, which a device that
// cannot stream never delivers; the graph then counts as running and reports the error later.
constexpr GstClockTime kStateWait = 2 * GST_SECOND;

GstElement* makeElement(const char* factory, const char* name) {
    GstElement* element = gst_element_factory_make(factory, name);
    if (!element)
        qCWarning(log::media) << "the GStreamer element" << factory << "is not installed";
    return element;
}

GstElement* makeCapsFilter(const char* name, const char* caps) {
    GstElement* filter = makeElement("capsfilter", name);
    if (filter) {
        GstCapsPtr c(gst_caps_from_string(caps));
        g_object_set(filter, "caps", c.get(), nullptr);
    }
    return filter;
}

GstElement* makeTransferSink(const char* name, const char* caps) {
    GstElement* sink = makeElement("appsink", name);
    if (sink) {
        GstCapsPtr c(gst_caps_from_string(caps));
        // The transfer sinks take data as it comes (the engine paces itself); a stalled sink
        // drops the oldest block instead of piling up memory.
        g_object_set(sink, "caps", c.get(), "sync", FALSE, "max-buffers", 4u, "drop", TRUE,
                     "enable-last-sample", FALSE, "emit-signals", FALSE, nullptr);
    }
    return sink;
}

// A picture format in the words a user knows it by.
std::string formatName(const GstStructure* format) {
    const std::string type = gst_structure_get_name(format);
    if (type == "video/x-raw") {
        const gchar* name = gst_structure_get_string(format, "format");
        return name ? std::string("raw video in ") + name : std::string("raw video");
    }
    if (type == "video/mpeg") {
        gint version = 0;
        gst_structure_get_int(format, "mpegversion", &version);
        return version > 0 ? "MPEG-" + std::to_string(version) : std::string("MPEG video");
    }
    static constexpr std::pair<const char*, const char*> kNames[] = {
        {"image/jpeg", "MJPEG"},
        {"video/x-h264", "H.264"},
        {"video/x-h265", "H.265"},
        {"video/x-bayer", "Bayer"},
        {"video/x-vp8", "VP8"},
        {"video/x-vp9", "VP9"},
        {"video/x-dv", "DV"},
        {"video/mpegts", "MPEG transport stream"},
        {"video/x-pwc1", "Philips webcam compression"},
        {"video/x-pwc2", "Philips webcam compression"},
        {"video/x-sonix", "Sonix compression"},
    };
    for (const auto& [media, name] : kNames) {
        if (type == media)
            return name;
    }
    return type;
}

// The formats of a source's caps in plain words, each once, in the source's order.
std::string formatNames(const GstCaps* offered) {
    std::vector<std::string> names;
    const guint count = offered && !gst_caps_is_any(offered) ? gst_caps_get_size(offered) : 0;
    for (guint i = 0; i < count; ++i) {
        std::string name = formatName(gst_caps_get_structure(offered, i));
        if (std::find(names.begin(), names.end(), name) == names.end())
            names.push_back(std::move(name));
    }
    std::string text;
    for (const std::string& name : names)
        text += (text.empty() ? "" : ", ") + name;
    return text;
}

// Whether an element of `factory` takes some of the offered formats in ordinary memory (what
// v4l2src hands over; other memory would need an element of its own to be read).
bool takesAnyOf(const char* factory, const GstCaps* offered) {
    GstPtr<GstElementFactory> found = adoptRef(gst_element_factory_find(factory));
    if (!found)
        return false;
    for (const GList* item = gst_element_factory_get_static_pad_templates(found.get()); item;
         item = item->next) {
        auto* pad = static_cast<GstStaticPadTemplate*>(item->data);
        if (pad->direction != GST_PAD_SINK)
            continue;
        GstCapsPtr accepted(gst_static_pad_template_get_caps(pad));
        GstCapsPtr common(gst_caps_intersect(const_cast<GstCaps*>(offered), accepted.get()));
        for (guint i = 0; i < gst_caps_get_size(common.get()); ++i) {
            const GstCapsFeatures* features = gst_caps_get_features(common.get(), i);
            if (!features ||
                gst_caps_features_is_equal(features, GST_CAPS_FEATURES_MEMORY_SYSTEM_MEMORY))
                return true;
        }
    }
    return false;
}

enum class PictureRoute { Convert, DecodeJpeg, Unusable };

// Raw video is converted whenever the device offers it; only a device without it is decoded.
PictureRoute routeOf(const GstCaps* offered) {
    if (!offered)
        return PictureRoute::Unusable;
    if (gst_caps_is_any(offered) || takesAnyOf("videoconvert", offered))
        return PictureRoute::Convert;
    if (takesAnyOf("jpegdec", offered))
        return PictureRoute::DecodeJpeg;
    return PictureRoute::Unusable;
}

// An error that says a format was not agreed on or not delivered, rather than that the device
// failed: a source's flow ending "not negotiated", or an element's own negotiation or format
// error.
bool isFormatRefusal(GstMessage* message) {
    GError* error = nullptr;
    gst_message_parse_error(message, &error, nullptr);
    bool refused = error && (g_error_matches(error, GST_CORE_ERROR, GST_CORE_ERROR_NEGOTIATION) ||
                             g_error_matches(error, GST_STREAM_ERROR, GST_STREAM_ERROR_FORMAT));
    g_clear_error(&error);
    const GstStructure* details = nullptr;
    gst_message_parse_error_details(message, &details);
    gint flow = GST_FLOW_OK;
    if (details && gst_structure_get_int(details, "flow-return", &flow))
        refused = refused || flow == GST_FLOW_NOT_NEGOTIATED;
    return refused;
}

GstElement* makeSilentOutput() {
    GstElement* fake = makeElement("fakesink", "Sound Output");
    // Consumes sound at its real pace, as a sound card would.
    if (fake)
        g_object_set(fake, "sync", TRUE, "async", FALSE, nullptr);
    return fake;
}

}  // namespace

// GStreamer runs the callbacks on pooled threads, handed their work under GLib's own locks;
// this pairs with handOverToStreaming() so that the hand-over is visible to the race detector.
GstCaptureGraph* GstCaptureGraph::onStreamingThread(gpointer self) {
    handoffAcquire(self);
    return static_cast<GstCaptureGraph*>(self);
}

void GstCaptureGraph::handOverToStreaming() {
    handoffRelease(this);
}

GstCaptureGraph::GstCaptureGraph(std::unique_ptr<CaptureSource> source,
                                 std::shared_ptr<DeviceWatch> watch)
    : source_(std::move(source)), watch_(std::move(watch)) {
    ensureGstInitialized();
}

GstCaptureGraph::~GstCaptureGraph() {
    teardown();
}

BuildResult GstCaptureGraph::build(const DeviceInfo& device, VideoStandard standard,
                                   VideoTransferSink* video, AudioTransferSink* audio) {
    if (built_)
        return BuildResult::Ok;
    offeredFormats_.clear();
    pipeline_ = adoptFloating(gst_pipeline_new("capture graph"));
    if (!pipeline_ || !source_) {
        teardown();
        return BuildResult::GraphCreateFailed;
    }
    if (!source_->bind(device)) {
        teardown();
        return BuildResult::BindFailed;
    }
    {
        std::lock_guard lock(videoState_.mutex);
        videoSink_ = video;
    }
    {
        std::lock_guard lock(audioState_.mutex);
        audioSink_ = audio;
    }
    GstPtr<GstBus> bus = adoptRef(gst_pipeline_get_bus(GST_PIPELINE(pipeline_.get())));
    handOverToStreaming();
    gst_bus_set_sync_handler(bus.get(), &GstCaptureGraph::onBusMessage, this, nullptr);

    if (const BuildResult video = buildVideoPath(standard); video != BuildResult::Ok) {
        teardown();
        return video;
    }
    hasAudio_ = buildAudioPath();
    // Open the devices now: a video device that cannot be opened fails the build like a video
    // stream that cannot be rendered.
    if (gst_element_set_state(pipeline_.get(), GST_STATE_READY) == GST_STATE_CHANGE_FAILURE) {
        teardown();
        return BuildResult::VideoRenderFailed;
    }
    if (watch_)
        watchToken_ = watch_->attach(device.path, [this](const GraphEvent& e) { postEvent(e); });
    {
        std::lock_guard lock(eventMutex_);
        events_.clear();
        reportEvents_ = true;
    }
    built_ = true;
    return BuildResult::Ok;
}

BuildResult GstCaptureGraph::buildVideoPath(VideoStandard standard) {
    GstPtr<GstElement> src = source_->createVideoSource(standard);
    if (!src)
        return BuildResult::VideoRenderFailed;
    gst_element_set_name(src.get(), "Capture");
    gst_bin_add(GST_BIN(pipeline_.get()), src.get());
    {
        std::lock_guard lock(eventMutex_);
        videoPath_.push_back(src.get());
    }
    // A device names the formats it can deliver only once it is open.
    if (gst_element_set_state(src.get(), GST_STATE_READY) == GST_STATE_CHANGE_FAILURE)
        return BuildResult::VideoRenderFailed;
    GstPtr<GstPad> pad = adoptRef(gst_element_get_static_pad(src.get(), "src"));
    GstCapsPtr offered(pad ? gst_pad_query_caps(pad.get(), nullptr) : nullptr);
    offeredFormats_ = formatNames(offered.get());
    const PictureRoute route = routeOf(offered.get());
    qCInfo(log::media).noquote() << "the video source offers"
                                 << (offeredFormats_.empty() ? "no format"
                                                             : offeredFormats_.c_str());
    if (route == PictureRoute::Unusable) {
        qCWarning(log::media).noquote()
            << "no offered picture format can be shown" << (offered ? "" : "(no caps answer)");
        return BuildResult::FormatUnusable;
    }
    return linkVideoPath(src.get(), route == PictureRoute::DecodeJpeg)
               ? BuildResult::Ok
               : BuildResult::VideoRenderFailed;
}

bool GstCaptureGraph::linkVideoPath(GstElement* src, bool decodeJpeg) {
    GstElement* decoder = decodeJpeg ? makeElement("jpegdec", "Picture Decoder") : nullptr;
    GstElement* convert = makeElement("videoconvert", "Video Convert");
    GstElement* caps = makeCapsFilter("Video Format", kVideoCaps);
    GstElement* sink = makeTransferSink("Video Transfer", kVideoCaps);
    if ((decodeJpeg && !decoder) || !convert || !caps || !sink) {
        for (GstElement* e : {decoder, convert, caps, sink}) {
            if (e)
                gst_object_unref(gst_object_ref_sink(e));
        }
        return false;
    }
    GstBin* bin = GST_BIN(pipeline_.get());
    gst_bin_add_many(bin, convert, caps, sink, nullptr);
    {
        std::lock_guard lock(eventMutex_);
        videoPath_.insert(videoPath_.end(), {convert, caps, sink});
        if (decoder)
            videoPath_.push_back(decoder);
    }
    if (decoder) {
        gst_bin_add(bin, decoder);
        if (!gst_element_link(src, decoder) || !gst_element_link(decoder, convert))
            return false;
    } else if (!gst_element_link(src, convert)) {
        return false;
    }
    if (!gst_element_link_many(convert, caps, sink, nullptr))
        return false;

    GstAppSinkCallbacks callbacks{};
    callbacks.new_sample = &GstCaptureGraph::onVideoSample;
    gst_app_sink_set_callbacks(GST_APP_SINK(sink), &callbacks, this, nullptr);
    return true;
}

bool GstCaptureGraph::fromVideoPath(GstMessage* message) const {
    GstObject* origin = GST_MESSAGE_SRC(message);
    if (!origin)
        return false;
    std::lock_guard lock(eventMutex_);
    for (GstElement* element : videoPath_) {
        if (gst_object_has_as_ancestor(origin, GST_OBJECT(element)))
            return true;
    }
    return false;
}

GstPtr<GstElement> GstCaptureGraph::makeSoundOutput() {
    hasSoundDevice_ = false;
    GstPtr<GstElement> out = adoptFloating(makeElement("autoaudiosink", "Sound Output"));
    if (out) {
        if (gst_element_set_state(out.get(), GST_STATE_READY) != GST_STATE_CHANGE_FAILURE &&
            !isPlaceholderSink(out.get())) {
            hasSoundDevice_ = true;
            return out;
        }
        gst_element_set_state(out.get(), GST_STATE_NULL);
    }
    return adoptFloating(makeSilentOutput());
}

bool GstCaptureGraph::buildAudioPath() {
    GstPtr<GstElement> src = source_->createAudioSource();
    if (!src)
        return false;
    // A sound device that cannot be opened costs the sound, not the graph.
    if (gst_element_set_state(src.get(), GST_STATE_READY) == GST_STATE_CHANGE_FAILURE) {
        gst_element_set_state(src.get(), GST_STATE_NULL);
        return false;
    }
    GstPtr<GstElement> out = makeSoundOutput();
    std::vector<GstPtr<GstElement>> parts;
    auto add = [&parts](GstElement* e) {
        parts.push_back(adoptFloating(e));
        return e;
    };
    GstElement* convert = add(makeElement("audioconvert", "Audio Convert"));
    GstElement* format = add(makeCapsFilter("Audio Format", kAudioCaps));
    GstElement* fold = add(makeElement("identity", "audio transform"));
    GstElement* tee = add(makeElement("tee", "Audio Tee"));
    GstElement* outQueue = add(makeElement("queue", "Sound Queue"));
    GstElement* volume = add(makeElement("volume", "Volume"));
    GstElement* outConvert = add(makeElement("audioconvert", "Sound Convert"));
    GstElement* outResample = add(makeElement("audioresample", "Sound Resample"));
    GstElement* transferQueue = add(makeElement("queue", "Transfer Queue"));
    GstElement* transfer = add(makeTransferSink("Audio Transfer", kAudioCaps));
    bool ok = out != nullptr;
    for (const auto& p : parts)
        ok = ok && p != nullptr;
    if (!ok) {
        gst_element_set_state(src.get(), GST_STATE_NULL);
        if (out)
            gst_element_set_state(out.get(), GST_STATE_NULL);
        return false;
    }
    gst_element_set_name(src.get(), "Capture Audio");
    // Neither branch may hold up the other (or the source): a stalled branch drops old sound.
    for (GstElement* q : {outQueue, transferQueue})
        g_object_set(q, "leaky", 2, nullptr);
    g_object_set(volume, "volume", volumeFactor_, nullptr);

    GstBin* bin = GST_BIN(pipeline_.get());
    gst_bin_add(bin, src.get());
    gst_bin_add(bin, out.get());
    for (const auto& p : parts)
        gst_bin_add(bin, p.get());

    ok =
        gst_element_link_many(src.get(), convert, format, fold, tee, nullptr) &&
        gst_element_link_many(tee, outQueue, volume, outConvert, outResample, out.get(), nullptr) &&
        gst_element_link_many(tee, transferQueue, transfer, nullptr);
    if (!ok) {
        for (GstElement* e : {src.get(), out.get()}) {
            gst_element_set_state(e, GST_STATE_NULL);
            gst_bin_remove(bin, e);
        }
        for (const auto& p : parts) {
            gst_element_set_state(p.get(), GST_STATE_NULL);
            gst_bin_remove(bin, p.get());
        }
        hasSoundDevice_ = false;
        return false;
    }

    GstPtr<GstPad> foldPad = adoptRef(gst_element_get_static_pad(fold, "sink"));
    gst_pad_add_probe(foldPad.get(),
                      GstPadProbeType(GST_PAD_PROBE_TYPE_BUFFER | GST_PAD_PROBE_TYPE_BUFFER_LIST),
                      &GstCaptureGraph::onFoldProbe, this, nullptr);
    GstAppSinkCallbacks callbacks{};
    callbacks.new_sample = &GstCaptureGraph::onAudioSample;
    gst_app_sink_set_callbacks(GST_APP_SINK(transfer), &callbacks, this, nullptr);
    volume_ = addRef(volume);
    soundOutput_ = std::move(out);
    soundResample_ = addRef(outResample);
    return true;
}

bool GstCaptureGraph::replaceSoundOutputWithSilence() {
    if (!soundOutput_ || !hasSoundDevice_)
        return false;
    GstBin* bin = GST_BIN(pipeline_.get());
    gst_element_set_state(pipeline_.get(), GST_STATE_NULL);
    gst_element_unlink(soundResample_.get(), soundOutput_.get());
    gst_bin_remove(bin, soundOutput_.get());
    soundOutput_ = adoptFloating(makeSilentOutput());
    hasSoundDevice_ = false;
    if (!soundOutput_)
        return false;
    gst_bin_add(bin, soundOutput_.get());
    return gst_element_link(soundResample_.get(), soundOutput_.get());
}

bool GstCaptureGraph::run() {
    if (!built_)
        return false;
    handOverToStreaming();
    GstStateChangeReturn ret = gst_element_set_state(pipeline_.get(), GST_STATE_PLAYING);
    if (ret == GST_STATE_CHANGE_FAILURE && replaceSoundOutputWithSilence()) {
        // The sound device opened but would not play: keep the pictures, lose the sound.
        ret = gst_element_set_state(pipeline_.get(), GST_STATE_PLAYING);
    }
    if (ret == GST_STATE_CHANGE_FAILURE)
        return false;
    source_->started();
    if (ret == GST_STATE_CHANGE_ASYNC &&
        gst_element_get_state(pipeline_.get(), nullptr, nullptr, kStateWait) ==
            GST_STATE_CHANGE_FAILURE) {
        source_->stopping();
        gst_element_set_state(pipeline_.get(), GST_STATE_READY);
        return false;
    }
    playing_ = true;
    return true;
}

bool GstCaptureGraph::pause() {
    if (!built_)
        return false;
    if (playing_)
        source_->stopping();
    playing_ = false;
    return gst_element_set_state(pipeline_.get(), GST_STATE_PAUSED) != GST_STATE_CHANGE_FAILURE;
}

void GstCaptureGraph::stop() {
    if (!pipeline_)
        return;
    if (playing_)
        source_->stopping();
    playing_ = false;
    gst_element_set_state(pipeline_.get(), GST_STATE_NULL);
}

void GstCaptureGraph::teardown() {
    stop();
    if (watch_ && watchToken_)
        watch_->detach(watchToken_);
    watchToken_ = 0;
    {
        std::lock_guard lock(eventMutex_);
        reportEvents_ = false;
        videoPath_.clear();
    }
    if (pipeline_) {
        GstPtr<GstBus> bus = adoptRef(gst_pipeline_get_bus(GST_PIPELINE(pipeline_.get())));
        gst_bus_set_sync_handler(bus.get(), nullptr, nullptr, nullptr);
    }
    volume_.reset();
    soundOutput_.reset();
    soundResample_.reset();
    pipeline_.reset();
    for (SinkState* s : {&videoState_, &audioState_}) {
        std::lock_guard lock(s->mutex);
        if (s->caps)
            gst_caps_unref(s->caps);
        s->caps = nullptr;
        s->accepted = false;
        s->scratch.clear();
    }
    {
        std::lock_guard lock(videoState_.mutex);
        videoSink_ = nullptr;
    }
    {
        std::lock_guard lock(audioState_.mutex);
        audioSink_ = nullptr;
    }
    built_ = false;
    hasAudio_ = false;
    hasSoundDevice_ = false;
}

void GstCaptureGraph::setVolume(int32_t hundredthsOfDb) {
    volumeFactor_ = linearVolume(hundredthsOfDb);
    if (volume_)
        g_object_set(volume_.get(), "volume", volumeFactor_, nullptr);
}

double GstCaptureGraph::volumeFactor() const {
    if (!volume_)
        return volumeFactor_;
    gdouble v = 0;
    g_object_get(volume_.get(), "volume", &v, nullptr);
    return v;
}

bool GstCaptureGraph::readAdjustments(AdjustTable& table) {
    table = AdjustTable{};
    return built_ && source_->readAdjustments(table);
}

bool GstCaptureGraph::setAdjustment(AdjustmentKind kind, int32_t value) {
    switch (kind) {
        case AdjustmentKind::Brightness:
            return built_ && source_->setAdjustment(kBrightness, value);
        case AdjustmentKind::Sharpness:
            return built_ && source_->setAdjustment(kSharpness, value);
        case AdjustmentKind::Contrast:
            return built_ && source_->setAdjustment(kContrast, value);
        case AdjustmentKind::Saturation:
            return built_ && source_->setAdjustment(kSaturation, value);
        case AdjustmentKind::Hue:
            return built_ && source_->setAdjustment(kHue, value);
    }
    return false;  // a value outside the kinds, cast from a callback code
}

void GstCaptureGraph::setEventNotify(std::function<void()> notify) {
    std::lock_guard lock(eventMutex_);
    notify_ = std::move(notify);
}

bool GstCaptureGraph::nextEvent(GraphEvent& event) {
    std::lock_guard lock(eventMutex_);
    if (events_.empty())
        return false;
    event = events_.front();
    events_.pop_front();
    return true;
}

void GstCaptureGraph::postEvent(const GraphEvent& event) {
    std::function<void()> notify;
    {
        std::lock_guard lock(eventMutex_);
        if (!reportEvents_)
            return;
        events_.push_back(event);
        notify = notify_;
    }
    if (notify)
        notify();
}

int32_t GstCaptureGraph::vendorCmdRW(uint8_t* block, int32_t* length) {
    if (!source_ || !block || !length)
        return -1;
    try {
        return source_->vendorCmdRW(block, length);
    } catch (const std::exception& error) {
        qCWarning(log::media) << "vendor request failed:" << error.what();
        return -1;
    }
}

GstBusSyncReply GstCaptureGraph::onBusMessage(GstBus*, GstMessage* message, gpointer self) {
    auto* graph = onStreamingThread(self);
    logBusMessage(message);
    switch (GST_MESSAGE_TYPE(message)) {
        case GST_MESSAGE_ERROR:
            graph->postEvent(GraphEvent{isFormatRefusal(message) && graph->fromVideoPath(message)
                                            ? kEventFormatRejected
                                            : kEventErrorAbort,
                                        false, false});
            break;
        case GST_MESSAGE_EOS:
            graph->postEvent(GraphEvent{kEventComplete, false, false});
            break;
        default:
            break;
    }
    // Nobody pops the bus: everything we need was taken here.
    return GST_BUS_DROP;
}

GstPadProbeReturn GstCaptureGraph::onFoldProbe(GstPad*, GstPadProbeInfo* info, gpointer) {
    auto foldBuffer = [](GstBuffer* buffer) {
        BufferMap map(buffer, GST_MAP_READWRITE);
        if (!map.ok())
            return;
        handoffAcquire(map.data());
        foldToDoubledMono(map.data(), map.size());
        handoffRelease(map.data());
    };
    if (info->type & GST_PAD_PROBE_TYPE_BUFFER) {
        GstBuffer* buffer = gst_buffer_make_writable(GST_PAD_PROBE_INFO_BUFFER(info));
        GST_PAD_PROBE_INFO_DATA(info) = buffer;
        foldBuffer(buffer);
    } else if (info->type & GST_PAD_PROBE_TYPE_BUFFER_LIST) {
        GstBufferList* list = gst_buffer_list_make_writable(GST_PAD_PROBE_INFO_BUFFER_LIST(info));
        GST_PAD_PROBE_INFO_DATA(info) = list;
        gst_buffer_list_foreach(
            list,
            [](GstBuffer** buffer, guint, gpointer fold) -> gboolean {
                *buffer = gst_buffer_make_writable(*buffer);
                (*static_cast<decltype(foldBuffer)*>(fold))(*buffer);
                return TRUE;
            },
            &foldBuffer);
    }
    return GST_PAD_PROBE_OK;
}

GstFlowReturn GstCaptureGraph::onVideoSample(GstAppSink* appsink, gpointer self) {
    auto* graph = onStreamingThread(self);
    GstSamplePtr sample(gst_app_sink_pull_sample(appsink));
    if (!sample)
        return GST_FLOW_OK;
    SinkState& state = graph->videoState_;
    std::lock_guard lock(state.mutex);
    VideoTransferSink* sink = graph->videoSink_;
    if (!sink)
        return GST_FLOW_OK;

    GstCaps* caps = gst_sample_get_caps(sample.get());
    if (caps && (!state.caps || !gst_caps_is_equal(caps, state.caps))) {
        gst_caps_replace(&state.caps, caps);
        GstVideoInfo info;
        state.accepted = false;
        if (gst_video_info_from_caps(&info, caps)) {
            VideoFormat format;
            format.width = GST_VIDEO_INFO_WIDTH(&info);
            format.height = GST_VIDEO_INFO_HEIGHT(&info);
            format.fourcc = kFourccUyvy;
            if (GST_VIDEO_INFO_FPS_N(&info) > 0 && GST_VIDEO_INFO_FPS_D(&info) > 0) {
                format.framesPerSecond =
                    (GST_VIDEO_INFO_FPS_N(&info) + GST_VIDEO_INFO_FPS_D(&info) / 2) /
                    GST_VIDEO_INFO_FPS_D(&info);
            }
            state.width = format.width;
            state.height = format.height;
            state.stride = GST_VIDEO_INFO_PLANE_STRIDE(&info, 0);
            // Padded rows are packed into this buffer; it is sized once per format.
            state.scratch.assign(
                state.stride == state.width * 2 ? 0 : std::size_t(state.width) * state.height * 2,
                0);
            state.accepted = sink->acceptVideoFormat(format);
        }
    }
    if (!state.accepted)
        return GST_FLOW_OK;

    BufferMap map(gst_sample_get_buffer(sample.get()), GST_MAP_READ);
    const std::size_t rowBytes = std::size_t(state.width) * 2;
    const std::size_t picture = rowBytes * state.height;
    if (!map.ok() || state.stride <= 0 ||
        map.size() < std::size_t(state.stride) * (state.height - 1) + rowBytes) {
        return GST_FLOW_OK;  // a short picture is not passed on
    }
    handoffAcquire(map.data());
    if (state.scratch.empty()) {
        sink->renderVideo(map.data(), picture);
    } else {
        for (int y = 0; y < state.height; ++y) {
            std::memcpy(state.scratch.data() + y * rowBytes, map.data() + y * state.stride,
                        rowBytes);
        }
        sink->renderVideo(state.scratch.data(), picture);
    }
    handoffRelease(map.data());
    return GST_FLOW_OK;
}

GstFlowReturn GstCaptureGraph::onAudioSample(GstAppSink* appsink, gpointer self) {
    auto* graph = onStreamingThread(self);
    GstSamplePtr sample(gst_app_sink_pull_sample(appsink));
    if (!sample)
        return GST_FLOW_OK;
    SinkState& state = graph->audioState_;
    std::lock_guard lock(state.mutex);
    AudioTransferSink* sink = graph->audioSink_;
    if (!sink)
        return GST_FLOW_OK;

    GstCaps* caps = gst_sample_get_caps(sample.get());
    if (caps && (!state.caps || !gst_caps_is_equal(caps, state.caps))) {
        gst_caps_replace(&state.caps, caps);
        GstAudioInfo info;
        state.accepted = false;
        if (gst_audio_info_from_caps(&info, caps)) {
            AudioFormat format;
            format.samplesPerSecond = GST_AUDIO_INFO_RATE(&info);
            format.bitsPerSample = GST_AUDIO_INFO_WIDTH(&info);
            format.channels = GST_AUDIO_INFO_CHANNELS(&info);
            format.averageBytesPerSecond = GST_AUDIO_INFO_RATE(&info) * GST_AUDIO_INFO_BPF(&info);
            state.accepted = sink->acceptAudioFormat(format);
        }
    }
    if (!state.accepted)
        return GST_FLOW_OK;

    BufferMap map(gst_sample_get_buffer(sample.get()), GST_MAP_READ);
    if (!map.ok() || map.size() == 0)
        return GST_FLOW_OK;
    handoffAcquire(map.data());
    sink->renderAudio(map.data(), map.size());
    handoffRelease(map.data());
    return GST_FLOW_OK;
}

}  // namespace vidora::media
