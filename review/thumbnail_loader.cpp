#include "review/thumbnail_loader.h"

#include <gst/app/gstappsink.h>
#include <gst/gst.h>
#include <gst/video/video.h>
#include <pthread.h>

#include <algorithm>

#include "platform/media/gst_support.h"

namespace vidora {

namespace {

constexpr GstClockTime kDecodeTimeout = 5 * GST_SECOND;

QImage firstKeyFrame(const std::string& path) {
    media::ensureGstInitialized();
    // Only the video stream is linked; avidemux then leaves the sound alone.
    GError* error = nullptr;
    const std::string description =
        "filesrc name=file ! avidemux name=demux demux.video_0 ! queue ! decodebin ! videoconvert "
        "! videoscale ! video/x-raw,format=BGRx,width=" +
        std::to_string(kThumbnailWidth) + ",height=" + std::to_string(kThumbnailHeight) +
        ",pixel-aspect-ratio=1/1 ! appsink name=out sync=false max-buffers=1";
    auto pipeline = media::adoptFloating(gst_parse_launch(description.c_str(), &error));
    if (error) {
        g_error_free(error);
        return {};
    }
    if (!pipeline)
        return {};
    media::GstPtr<GstElement> file(gst_bin_get_by_name(GST_BIN(pipeline.get()), "file"));
    media::GstPtr<GstElement> out(gst_bin_get_by_name(GST_BIN(pipeline.get()), "out"));
    g_object_set(file.get(), "location", path.c_str(), nullptr);
    QImage image;
    gst_element_set_state(pipeline.get(), GST_STATE_PAUSED);
    // Prerolled on the first picture, or failed (a file that is not there or not an AVI).
    media::GstPtr<GstBus> bus(gst_element_get_bus(pipeline.get()));
    media::GstMessagePtr outcome(gst_bus_timed_pop_filtered(
        bus.get(), kDecodeTimeout,
        static_cast<GstMessageType>(GST_MESSAGE_ASYNC_DONE | GST_MESSAGE_ERROR | GST_MESSAGE_EOS)));
    media::GstSamplePtr sample;
    if (outcome && GST_MESSAGE_TYPE(outcome.get()) == GST_MESSAGE_ASYNC_DONE)
        sample.reset(gst_app_sink_try_pull_preroll(GST_APP_SINK(out.get()), 0));
    if (sample) {
        GstBuffer* buffer = gst_sample_get_buffer(sample.get());
        GstVideoInfo info;
        GstVideoFrame frame;
        if (buffer && gst_video_info_from_caps(&info, gst_sample_get_caps(sample.get())) &&
            gst_video_frame_map(&frame, &info, buffer, GST_MAP_READ)) {
            image = QImage(static_cast<const uchar*>(GST_VIDEO_FRAME_PLANE_DATA(&frame, 0)),
                           GST_VIDEO_FRAME_WIDTH(&frame), GST_VIDEO_FRAME_HEIGHT(&frame),
                           GST_VIDEO_FRAME_PLANE_STRIDE(&frame, 0), QImage::Format_RGB32)
                        .copy();
            gst_video_frame_unmap(&frame);
        }
    }
    gst_element_set_state(pipeline.get(), GST_STATE_NULL);
    return image;
}

}  // namespace

QImage makeThumbnail(const CatalogItem& item) {
    if (item.kind == CatalogItemKind::Snapshot) {
        QImage image(QString::fromStdString(item.path));
        if (image.isNull())
            return {};
        return image.scaled(kThumbnailWidth, kThumbnailHeight, Qt::IgnoreAspectRatio,
                            Qt::SmoothTransformation);
    }
    return firstKeyFrame(item.path);
}

ThumbnailLoader::ThumbnailLoader(Ready ready) : ready_(std::move(ready)) {}

ThumbnailLoader::~ThumbnailLoader() {
    stop();
}

void ThumbnailLoader::start() {
    if (thread_.joinable())
        return;
    {
        std::lock_guard lock(lock_);
        stopping_ = false;
    }
    thread_ = std::thread([this] {
        pthread_setname_np(pthread_self(), "vidora-thumbs");
        run();
    });
}

void ThumbnailLoader::stop() {
    {
        std::lock_guard lock(lock_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable())
        thread_.join();
}

void ThumbnailLoader::request(const CatalogItem& item) {
    {
        std::lock_guard lock(lock_);
        const auto same = [&item](const CatalogItem& other) { return other.id == item.id; };
        queue_.erase(std::remove_if(queue_.begin(), queue_.end(), same), queue_.end());
        queue_.push_front(item);
        if (queue_.size() > kMaxPending) {
            queue_.pop_back();
            ++dropped_;
        }
    }
    wake_.notify_one();
}

void ThumbnailLoader::clear() {
    std::lock_guard lock(lock_);
    queue_.clear();
}

bool ThumbnailLoader::tick() {
    CatalogItem item;
    {
        std::lock_guard lock(lock_);
        if (queue_.empty())
            return false;
        item = std::move(queue_.front());
        queue_.pop_front();
    }
    const QImage image = makeThumbnail(item);
    if (ready_)
        ready_(item.id, image);
    return true;
}

void ThumbnailLoader::run() {
    for (;;) {
        {
            std::unique_lock lock(lock_);
            wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
            if (stopping_)
                return;
        }
        tick();
    }
}

std::size_t ThumbnailLoader::pending() const {
    std::lock_guard lock(lock_);
    return queue_.size();
}

uint64_t ThumbnailLoader::dropped() const {
    std::lock_guard lock(lock_);
    return dropped_;
}

}  // namespace vidora
