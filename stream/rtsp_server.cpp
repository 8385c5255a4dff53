#include "stream/rtsp_server.h"

#include <gst/app/gstappsrc.h>
#include <gst/gst.h>
#include <gst/rtsp-server/rtsp-server.h>

#include <chrono>
#include <cstring>
#include <vector>

#include "platform/log/log.h"
#include "platform/media/gst_support.h"
#include "platform/media/handoff.h"
#include "platform/worker_thread.h"

namespace vidora {

namespace {

constexpr int kDefaultWidth = 360;
constexpr int kDefaultHeight = 288;
constexpr int kDefaultRate = 25;
constexpr const char* kRole = "viewer";

// H.264 with a key frame at most every second (a new client starts within one), no B-frames and
// the lowest latency x264 has; G.711 A-law at 8 kHz, which every RTSP client plays.
std::string launchLine() {
    return "( appsrc name=vsrc is-live=true format=time block=false leaky-type=downstream "
           "max-bytes=3000000 ! queue leaky=downstream max-size-buffers=2 ! videoconvert ! "
           "videoscale ! capsfilter name=vsize ! x264enc name=venc tune=zerolatency "
           "speed-preset=ultrafast bitrate=1500 ! rtph264pay name=pay0 pt=96 "
           "appsrc name=asrc is-live=true format=time block=false leaky-type=downstream "
           "max-bytes=200000 ! audioconvert ! audioresample ! "
           "audio/x-raw,rate=8000,channels=1 ! alawenc ! rtppcmapay name=pay1 pt=8 )";
}

GstCaps* videoCaps(int width, int height, int rate) {
    return gst_caps_new_simple("video/x-raw", "format", G_TYPE_STRING, "UYVY", "width", G_TYPE_INT,
                               width, "height", G_TYPE_INT, height, "framerate", GST_TYPE_FRACTION,
                               rate, 1, "interlace-mode", G_TYPE_STRING, "progressive", nullptr);
}

GstCaps* soundCaps(const StreamSoundFormat& f) {
    return gst_caps_new_simple("audio/x-raw", "format", G_TYPE_STRING, "S16LE", "layout",
                               G_TYPE_STRING, "interleaved", "rate", G_TYPE_INT, f.samplesPerSecond,
                               "channels", G_TYPE_INT, f.channels, nullptr);
}

GstRTSPStatusCode refuseRequest(GstRTSPClient*, GstRTSPContext*, gpointer) {
    return GST_RTSP_STS_SERVICE_UNAVAILABLE;
}

GstRTSPFilterResult removeClient(GstRTSPServer*, GstRTSPClient*, gpointer) {
    return GST_RTSP_FILTER_REMOVE;
}

GstRTSPFilterResult removeSession(GstRTSPSessionPool*, GstRTSPSession*, gpointer) {
    return GST_RTSP_FILTER_REMOVE;
}

}  // namespace

// Pushes pictures and sound into one pipeline's two sources at the stream's rate. Its thread
// never waits for the pipeline: the sources drop their oldest buffers when the encoder or the
// network lags. Owned by the RtspServer, one per built pipeline.
class StreamFeeder {
  public:
    StreamFeeder(RtspServer& server, GstElement* video, GstElement* audio, int width, int height,
                 int rate)
        : server_(server),
          video_(media::addRef(video)),
          audio_(media::addRef(audio)),
          width_(width),
          height_(height),
          rate_(rate),
          worker_("vidora-rtsp-feed") {
        // Black until the first picture arrives.
        picture_.width = width;
        picture_.height = height;
        picture_.pixels.resize(static_cast<std::size_t>(width) * height * 2);
        for (std::size_t i = 0; i + 1 < picture_.pixels.size(); i += 2) {
            picture_.pixels[i] = 0x80;
            picture_.pixels[i + 1] = 0x10;
        }
        gst_app_src_set_caps(GST_APP_SRC(video_.get()),
                             media::GstCapsPtr(videoCaps(width, height, rate)).get());
        setSoundFormat(server_.handOver_.soundFormat());
        worker_.start([this](WorkerThread& self) { run(self); });
    }
    ~StreamFeeder() { worker_.stop(std::chrono::milliseconds(5)); }

    // One picture period: the newest picture (or the last one again) and the sound of one
    // period, both stamped with the pipeline's running time.
    void tick() {
        GstClock* clock = gst_element_get_clock(video_.get());
        if (!clock)
            return;  // not playing yet
        const GstClockTime now = gst_clock_get_time(clock);
        gst_object_unref(clock);
        const GstClockTime base = gst_element_get_base_time(video_.get());
        const GstClockTime running = now > base ? now - base : 0;
        const GstClockTime duration = GST_SECOND / static_cast<GstClockTime>(rate_);
        // Pictures sit on a grid of whole periods, so no two share a time; when the feeder fell
        // behind (a loaded machine), the grid moves forward to now, never back.
        GstClockTime pts = havePts_ ? lastPts_ + duration : running;
        if (pts + 2 * duration < running)
            pts = running;
        havePts_ = true;
        lastPts_ = pts;

        if (server_.handOver_.takePicture(picture_, generation_)) {
            // Burnt in here, on our copy, so the live path pays nothing for it.
            PictureDesc desc{picture_.width, picture_.height, kFourccUyvy, picture_.width * 2};
            server_.stamp_.load(std::memory_order_acquire)->stamp(desc, picture_.pixels.data());
        }
        if (picture_.width != capsWidth_ || picture_.height != capsHeight_) {
            capsWidth_ = picture_.width;
            capsHeight_ = picture_.height;
            gst_app_src_set_caps(
                GST_APP_SRC(video_.get()),
                media::GstCapsPtr(videoCaps(capsWidth_, capsHeight_, rate_)).get());
        }
        // GLib recycles buffer structures between threads in ways the thread sanitizer cannot
        // see: the marks tell it that this thread owns the new buffer until it is pushed.
        GstBuffer* picture = gst_buffer_new_memdup(picture_.pixels.data(), picture_.pixels.size());
        media::handoffAcquire(picture);
        GST_BUFFER_PTS(picture) = pts;
        GST_BUFFER_DURATION(picture) = duration;
        media::handoffRelease(picture);
        gst_app_src_push_buffer(GST_APP_SRC(video_.get()), picture);
        server_.picturesSent_.fetch_add(1, std::memory_order_relaxed);

        const StreamSoundFormat arrived = server_.handOver_.soundFormat();
        if (arrived.samplesPerSecond > 0 && !(arrived == sound_))
            setSoundFormat(arrived);
        // Whole frames per period, the remainder carried so the sound keeps its exact rate.
        samplesOwed_ += sound_.samplesPerSecond;
        const int64_t samples = samplesOwed_ / rate_;
        samplesOwed_ -= samples * rate_;
        const std::size_t bytes = static_cast<std::size_t>(samples) * sound_.channels * 2;
        server_.handOver_.takeSound(soundBlock_, bytes, sound_);
        GstBuffer* sound = gst_buffer_new_memdup(soundBlock_.data(), soundBlock_.size());
        media::handoffAcquire(sound);
        GST_BUFFER_PTS(sound) = pts;
        GST_BUFFER_DURATION(sound) = duration;
        media::handoffRelease(sound);
        gst_app_src_push_buffer(GST_APP_SRC(audio_.get()), sound);
    }

  private:
    void setSoundFormat(const StreamSoundFormat& format) {
        sound_ = format.samplesPerSecond > 0 ? format : StreamSoundFormat{8000, 1};
        samplesOwed_ = 0;
        gst_app_src_set_caps(GST_APP_SRC(audio_.get()), media::GstCapsPtr(soundCaps(sound_)).get());
    }

    void run(WorkerThread& self) {
        using namespace std::chrono;
        const auto period = duration_cast<steady_clock::duration>(duration<double>(1.0 / rate_));
        auto next = steady_clock::now();
        while (self.running()) {
            tick();
            next += period;
            const auto now = steady_clock::now();
            // Behind by more than a period (a loaded machine): start counting afresh rather
            // than pushing a burst.
            if (next + period < now)
                next = now;
            if (next > now && !self.sleepFor(duration_cast<milliseconds>(next - now)))
                break;
        }
    }

    RtspServer& server_;
    media::GstPtr<GstElement> video_;
    media::GstPtr<GstElement> audio_;
    int width_;
    int height_;
    int rate_;
    StreamPicture picture_;
    uint64_t generation_ = 0;
    int capsWidth_ = 0;
    int capsHeight_ = 0;
    bool havePts_ = false;
    GstClockTime lastPts_ = 0;
    StreamSoundFormat sound_;
    int64_t samplesOwed_ = 0;
    std::vector<uint8_t> soundBlock_;
    WorkerThread worker_;
};

RtspServer::RtspServer(LiveHandOver& handOver) : handOver_(handOver), stamp_(&noPictureStamp()) {
    media::ensureGstInitialized();
}

RtspServer::~RtspServer() {
    stop();
}

std::string RtspServer::start(const StreamSettings& settings) {
    stop();
    if (std::string problem = streamSettingsProblem(settings); !problem.empty())
        return problem;
    settings_ = settings;

    context_ = g_main_context_new();
    server_ = gst_rtsp_server_new();
    gst_rtsp_server_set_address(server_, settings.allowOthers ? "0.0.0.0" : "127.0.0.1");
    const std::string service = std::to_string(settings.port);
    gst_rtsp_server_set_service(server_, service.c_str());

    GstRTSPMediaFactory* factory = gst_rtsp_media_factory_new();
    factory_ = factory;
    gst_rtsp_media_factory_set_launch(factory, launchLine().c_str());
    gst_rtsp_media_factory_set_shared(factory, TRUE);
    g_signal_connect(factory, "media-configure", G_CALLBACK(&RtspServer::onMediaConfigure), this);
    if (settings.needsLogin()) {
        GstRTSPAuth* auth = gst_rtsp_auth_new();
        gst_rtsp_auth_set_supported_methods(auth, GST_RTSP_AUTH_DIGEST);
        GstRTSPToken* token =
            gst_rtsp_token_new(GST_RTSP_TOKEN_MEDIA_FACTORY_ROLE, G_TYPE_STRING, kRole, nullptr);
        gst_rtsp_auth_add_digest(auth, settings.user.c_str(), settings.password.c_str(), token);
        gst_rtsp_token_unref(token);
        gst_rtsp_server_set_auth(server_, auth);
        g_object_unref(auth);
        gst_rtsp_media_factory_add_role(factory, kRole, GST_RTSP_PERM_MEDIA_FACTORY_ACCESS,
                                        G_TYPE_BOOLEAN, TRUE, GST_RTSP_PERM_MEDIA_FACTORY_CONSTRUCT,
                                        G_TYPE_BOOLEAN, TRUE, nullptr);
    }
    GstRTSPMountPoints* mounts = gst_rtsp_server_get_mount_points(server_);
    gst_rtsp_mount_points_add_factory(mounts, kStreamPath, factory);  // takes the factory
    g_object_unref(mounts);
    g_signal_connect(server_, "client-connected", G_CALLBACK(&RtspServer::onClientConnected), this);

    GError* error = nullptr;
    GSource* source = gst_rtsp_server_create_source(server_, nullptr, &error);
    if (!source) {
        std::string reason =
            "cannot listen on port " + service + ": " + (error ? error->message : "unknown error");
        g_clear_error(&error);
        factory_ = nullptr;
        g_object_unref(server_);
        server_ = nullptr;
        g_main_context_unref(context_);
        context_ = nullptr;
        return reason;
    }
    sourceId_ = g_source_attach(source, context_);
    g_source_unref(source);
    // Sessions of clients that vanished without a goodbye end when they time out.
    GstRTSPSessionPool* pool = gst_rtsp_server_get_session_pool(server_);
    GSource* watch = gst_rtsp_session_pool_create_watch(pool);
    g_source_attach(watch, context_);
    g_source_unref(watch);
    g_object_unref(pool);

    boundPort_.store(gst_rtsp_server_get_bound_port(server_), std::memory_order_relaxed);
    loop_ = g_main_loop_new(context_, FALSE);
    thread_ = std::thread([this] {
        pthread_setname_np(pthread_self(), "vidora-rtsp");
        g_main_context_push_thread_default(context_);
        g_main_loop_run(loop_);
        g_main_context_pop_thread_default(context_);
    });
    running_.store(true, std::memory_order_relaxed);
    qCInfo(log::media) << "network stream listening on"
                       << (settings.allowOthers ? "0.0.0.0" : "127.0.0.1") << boundPort();
    return {};
}

void RtspServer::stopOnLoop() {
    // On the server's loop: no new connections, every client and session gone.
    GSource* source = g_main_context_find_source_by_id(context_, sourceId_);
    if (source)
        g_source_destroy(source);
    {
        std::lock_guard lock(lock_);
        for (GstRTSPClient* client : clients_)
            g_signal_handlers_disconnect_by_data(client, this);
        clients_.clear();
    }
    gst_rtsp_server_client_filter(server_, removeClient, nullptr);
    GstRTSPSessionPool* pool = gst_rtsp_server_get_session_pool(server_);
    gst_rtsp_session_pool_filter(pool, removeSession, nullptr);
    g_object_unref(pool);
    g_main_loop_quit(loop_);
}

void RtspServer::stop() {
    if (!server_)
        return;
    g_main_context_invoke(
        context_,
        [](gpointer self) -> gboolean {
            static_cast<RtspServer*>(self)->stopOnLoop();
            return G_SOURCE_REMOVE;
        },
        this);
    thread_.join();
    running_.store(false, std::memory_order_relaxed);

    // Pipelines the sessions left behind stop here; their handlers no longer reach us.
    std::map<GstRTSPMedia*, std::unique_ptr<StreamFeeder>> feeders;
    {
        std::lock_guard lock(lock_);
        feeders.swap(feeders_);
    }
    for (auto& [media, feeder] : feeders) {
        feeder.reset();
        g_signal_handlers_disconnect_by_data(media, this);
        gst_rtsp_media_unprepare(media);
        g_object_unref(media);
    }
    handOver_.setTaking(false);

    g_signal_handlers_disconnect_by_data(factory_, this);
    factory_ = nullptr;
    GstRTSPMountPoints* mounts = gst_rtsp_server_get_mount_points(server_);
    gst_rtsp_mount_points_remove_factory(mounts, kStreamPath);
    g_object_unref(mounts);
    g_signal_handlers_disconnect_by_data(server_, this);
    g_object_unref(server_);
    server_ = nullptr;
    g_main_loop_unref(loop_);
    loop_ = nullptr;
    // Drain what the loop left (sources that hold references) before the context goes.
    while (g_main_context_iteration(context_, FALSE)) {
    }
    g_main_context_unref(context_);
    context_ = nullptr;
    boundPort_.store(0, std::memory_order_relaxed);
}

int RtspServer::clientCount() const {
    std::lock_guard lock(lock_);
    return static_cast<int>(clients_.size());
}

int RtspServer::pipelineCount() const {
    std::lock_guard lock(lock_);
    return static_cast<int>(feeders_.size());
}

void RtspServer::onClientConnected(GstRTSPServer*, GstRTSPClient* client, void* data) {
    auto* self = static_cast<RtspServer*>(data);
    bool admitted = false;
    {
        std::lock_guard lock(self->lock_);
        if (static_cast<int>(self->clients_.size()) < self->settings_.maxClients) {
            self->clients_.insert(client);
            admitted = true;
        }
    }
    if (admitted) {
        g_signal_connect(client, "closed", G_CALLBACK(&RtspServer::onClientClosed), self);
        return;
    }
    // One over the limit: every request gets "503 Service Unavailable", and the client goes.
    self->refused_.fetch_add(1, std::memory_order_relaxed);
    for (const char* request :
         {"pre-options-request", "pre-describe-request", "pre-setup-request", "pre-play-request"}) {
        g_signal_connect(client, request, G_CALLBACK(refuseRequest), nullptr);
    }
}

void RtspServer::onClientClosed(GstRTSPClient* client, void* data) {
    auto* self = static_cast<RtspServer*>(data);
    g_signal_handlers_disconnect_by_data(client, self);
    std::lock_guard lock(self->lock_);
    self->clients_.erase(client);
}

void RtspServer::onMediaConfigure(GstRTSPMediaFactory*, GstRTSPMedia* media, void* data) {
    auto* self = static_cast<RtspServer*>(data);
    media::GstPtr<GstElement> bin = media::adoptRef(gst_rtsp_media_get_element(media));
    media::GstPtr<GstElement> video =
        media::adoptRef(gst_bin_get_by_name_recurse_up(GST_BIN(bin.get()), "vsrc"));
    media::GstPtr<GstElement> audio =
        media::adoptRef(gst_bin_get_by_name_recurse_up(GST_BIN(bin.get()), "asrc"));
    media::GstPtr<GstElement> size =
        media::adoptRef(gst_bin_get_by_name_recurse_up(GST_BIN(bin.get()), "vsize"));
    media::GstPtr<GstElement> encoder =
        media::adoptRef(gst_bin_get_by_name_recurse_up(GST_BIN(bin.get()), "venc"));
    if (!video || !audio || !size || !encoder)
        return;

    // The record size and rate of the moment; later changes of size are scaled to it.
    StreamPicture shape = self->handOver_.latestShape();
    const int width = shape.width > 0 ? shape.width : kDefaultWidth;
    const int height = shape.height > 0 ? shape.height : kDefaultHeight;
    const int rate = shape.rate > 0 ? shape.rate : kDefaultRate;
    media::GstCapsPtr caps(
        gst_caps_new_simple("video/x-raw", "format", G_TYPE_STRING, "I420", "width", G_TYPE_INT,
                            width, "height", G_TYPE_INT, height, "framerate", GST_TYPE_FRACTION,
                            rate, 1, "pixel-aspect-ratio", GST_TYPE_FRACTION, 1, 1, nullptr));
    g_object_set(size.get(), "caps", caps.get(), nullptr);
    g_object_set(encoder.get(), "key-int-max", static_cast<guint>(rate), nullptr);

    auto feeder =
        std::make_unique<StreamFeeder>(*self, video.get(), audio.get(), width, height, rate);
    g_object_ref(media);
    g_signal_connect(media, "unprepared", G_CALLBACK(&RtspServer::onMediaUnprepared), self);
    {
        std::lock_guard lock(self->lock_);
        self->feeders_[media] = std::move(feeder);
    }
    self->updateTaking();
}

void RtspServer::onMediaUnprepared(GstRTSPMedia* media, void* data) {
    auto* self = static_cast<RtspServer*>(data);
    std::unique_ptr<StreamFeeder> feeder;
    {
        std::lock_guard lock(self->lock_);
        auto it = self->feeders_.find(media);
        if (it == self->feeders_.end())
            return;
        feeder = std::move(it->second);
        self->feeders_.erase(it);
    }
    feeder.reset();
    g_signal_handlers_disconnect_by_data(media, self);
    g_object_unref(media);
    self->updateTaking();
}

void RtspServer::updateTaking() {
    handOver_.setTaking(pipelineCount() > 0);
}

}  // namespace vidora
