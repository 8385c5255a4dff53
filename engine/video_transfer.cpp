#include "engine/video_transfer.h"

#include <cstring>
#include <thread>

#include "app/live_state.h"
#include "app/settings.h"
#include "engine/picture_conversion.h"
#include "engine/picture_ops.h"
#include "platform/relaxed.h"
#include "recording/picture_stamp.h"

namespace vidora {

namespace {
// Room for the largest picture of the receiver (720 x 576), plus the slack the recording side
// has always been given.
constexpr std::size_t kDefaultCapacity = 720 * 576 * 2 + 1024;
constexpr int kMaxDimension = 4096;
}  // namespace

VideoTransfer::VideoTransfer(RecordingPort& port) : port_(port) {
    std::scoped_lock lock(pictureLock_, copyLock_);
    ensureBuffers(kDefaultCapacity);
}

VideoTransfer::~VideoTransfer() = default;

void VideoTransfer::ensureBuffers(std::size_t fullBytes) {
    if (fullBytes <= capacity_)
        return;
    capacity_ = fullBytes;
    full_ = std::make_unique<uint8_t[]>(capacity_);
    halfWidth_ = std::make_unique<uint8_t[]>(capacity_ / 2 + 1024);
    halfSize_ = std::make_unique<uint8_t[]>(capacity_ / 4 + 1024);
    havePicture_ = false;
}

bool VideoTransfer::acceptVideoFormat(const media::VideoFormat& format) {
    // Only packed 4:2:2 in sizes whose downscales stay whole pixel pairs can be handled.
    if (format.fourcc != kFourccUyvy || format.width <= 0 || format.height <= 0 ||
        format.width % 4 != 0 || format.height % 2 != 0 || format.width > kMaxDimension ||
        format.height > kMaxDimension) {
        return false;
    }
    // The rate is always given as 25; the encoder puts recordFps in its place.
    const StreamFormat video = videoStreamFormat(static_cast<uint16_t>(format.width),
                                                 static_cast<uint16_t>(format.height), 25);
    const int sizeMode = loadRelaxed(gConfig.recordImageSize);
    {
        std::scoped_lock lock(pictureLock_, copyLock_);
        ensureBuffers(static_cast<std::size_t>(format.width) * format.height * 2 + 1024);
        if (format.width != width_ || format.height != height_)
            havePicture_ = false;
        width_ = format.width;
        height_ = format.height;
        formatKnown_ = true;
        interlaced_ = (format.width == 720);
        sizeMode_ = sizeMode;
        format_ = video;
    }
    storeRelaxed(gState.videoWidth, format.width);
    storeRelaxed(gState.videoHeight, format.height);
    {
        std::lock_guard lock(positionLock_);
        for (auto& z : lastZoom_)
            z = 0;  // the next picture positions itself for the new size
        sourceValid_ = false;
    }
    port_.setVideoFormat(video, sizeMode);
    return true;
}

void VideoTransfer::renderVideo(const uint8_t* data, std::size_t length) {
    {
        std::lock_guard picture(pictureLock_);
        const std::size_t bytes = static_cast<std::size_t>(width_) * height_ * 2;
        // A picture shorter than its format announced is dropped rather than read past its end.
        if (!formatKnown_ || !data || length < bytes) {
            dropped_.fetch_add(1, std::memory_order_relaxed);
            return;
        }
        {
            std::lock_guard copy(copyLock_);
            copyAndHalfWidthUyvy(data, width_, height_, full_.get(), halfWidth_.get());
            halfSizeFromHalfWidth(halfWidth_.get(), width_, height_, halfSize_.get());
            havePicture_ = true;
        }
        present(data);
        pictures_.fetch_add(1, std::memory_order_relaxed);
        if (loadRelaxed(gState.recordingOn) || port_.keepingPreAlarm()) {
            switch (sizeMode_) {
                case 1:
                    port_.onPicture(full_.get(), bytes);
                    break;
                case 2:
                    port_.onPicture(halfWidth_.get(), bytes / 2);
                    break;
                default:
                    port_.onPicture(halfSize_.get(), bytes / 4);
                    break;
            }
        }
    }
    const int64_t pause = pacingUs_.load(std::memory_order_relaxed);
    if (pause > 0)
        std::this_thread::sleep_for(std::chrono::microseconds(pause));
}

void VideoTransfer::present(const uint8_t* data) {
    LivePicture picture;
    VideoWindow* window = nullptr;
    {
        std::lock_guard lock(positionLock_);
        window = window_;
        if (!window)
            return;
        const int channel = liveChannel_;
        const uint32_t zoom = clampZoom(loadRelaxed(gState.channelZoom[channel]));
        if (!sourceValid_ || zoom != lastZoom_[channel] ||
            loadRelaxed(gState.videoRepositionPending)) {
            // A drag on the UI thread may set the offset meanwhile: read and clamp it whole.
            ZoomResult z;
            updateChannelPan(channel, [&](ChannelPan& pan) {
                z = zoomSource(width_, height_, interlaced_, zoom, lastZoom_[channel],
                               PanOffset{pan.x, pan.y});
                pan = {z.pan.x, z.pan.y};
            });
            source_ = z.source;
            sourceValid_ = true;
            lastZoom_[channel] = zoom;
            storeRelaxed(gState.videoRepositionPending, 0);
        }
        picture.source = source_;
        picture.destination = liveCell_;
    }
    picture.data = data;
    picture.width = width_;
    // A 720-wide picture is interlaced: show its first field only.
    picture.rows = interlaced_ ? height_ / 2 : height_;
    picture.pitch = interlaced_ ? width_ * 4 : width_ * 2;
    window->presentLivePicture(picture);
}

StoredPicture VideoTransfer::makeStoredPicture(int sizeKind) {
    if (sizeKind < 1 || sizeKind > 3)
        return StoredPicture();
    std::lock_guard lock(copyLock_);
    const int w = formatKnown_ ? width_ : nominalWidth_;
    const int h = formatKnown_ ? height_ : nominalHeight_;
    const int pw = sizeKind == 1 ? w : w / 2;
    const int ph = sizeKind == 3 ? h / 2 : h;
    if (!active_.load(std::memory_order_relaxed) || !havePicture_ || !formatKnown_) {
        return StoredPicture(pw, ph);
    }
    const uint8_t* source =
        sizeKind == 1 ? full_.get() : (sizeKind == 2 ? halfWidth_.get() : halfSize_.get());
    return storedPictureFromUyvy(source, pw, ph);
}

void VideoTransfer::setNominalSize(int width, int height) {
    std::lock_guard lock(copyLock_);
    nominalWidth_ = width;
    nominalHeight_ = height;
}

void VideoTransfer::setWindow(VideoWindow* window) {
    std::lock_guard lock(positionLock_);
    window_ = window;
}

void VideoTransfer::setLiveCell(const VideoRect& cell, int channel) {
    std::lock_guard lock(positionLock_);
    liveCell_ = cell;
    liveChannel_ = (channel >= 0 && channel <= 3) ? channel : 0;
    sourceValid_ = false;  // the next picture computes the zoom of this channel
}

VideoRect VideoTransfer::liveCell() const {
    std::lock_guard lock(positionLock_);
    return liveCell_;
}

void VideoTransfer::passFormat() {
    StreamFormat video;
    int sizeMode;
    {
        std::scoped_lock lock(pictureLock_, copyLock_);
        if (!formatKnown_)
            return;
        sizeMode_ = loadRelaxed(gConfig.recordImageSize);
        sizeMode = sizeMode_;
        video = format_;
    }
    port_.setVideoFormat(video, sizeMode);
}

bool VideoTransfer::formatKnown() const {
    std::lock_guard lock(copyLock_);
    return formatKnown_;
}
int VideoTransfer::width() const {
    std::lock_guard lock(copyLock_);
    return width_;
}
int VideoTransfer::height() const {
    std::lock_guard lock(copyLock_);
    return height_;
}
bool VideoTransfer::interlaced() const {
    std::lock_guard lock(copyLock_);
    return interlaced_;
}
StreamFormat VideoTransfer::format() const {
    std::lock_guard lock(copyLock_);
    return format_;
}

}  // namespace vidora
