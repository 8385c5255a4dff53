#include "engine/video_transfer.h"

#include <algorithm>
#include <chrono>
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
// Room for the largest picture of the receiver (720 x 576), plus the same 1024 bytes of slack
// that the record encoder adds to its own picture buffers.
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
    const int32_t storedSize = loadRelaxed(gConfig.recordImageSize);
    {
        std::scoped_lock lock(pictureLock_, copyLock_);
        ensureBuffers(static_cast<std::size_t>(format.width) * format.height * 2 + 1024);
        if (format.width != width_ || format.height != height_)
            havePicture_ = false;
        width_ = format.width;
        height_ = format.height;
        formatKnown_ = true;
        interlaced_ = (format.width == 720);
        sizeMode_ = sizeModeOf(storedSize);
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
    port_.setVideoFormat(video, storedSize);
    return true;
}

void VideoTransfer::renderVideo(const uint8_t* data, std::size_t length) {
    const int64_t entered = std::chrono::duration_cast<std::chrono::nanoseconds>(
                                std::chrono::steady_clock::now().time_since_epoch())
                                .count();
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
        present(data, entered);
        pictures_.fetch_add(1, std::memory_order_relaxed);
        if (loadRelaxed(gState.recordingOn) || port_.keepingPreAlarm()) {
            switch (sizeMode_) {
                case SizeMode::Full:
                    port_.onPicture(full_.get(), bytes);
                    break;
                case SizeMode::HalfWidth:
                    port_.onPicture(halfWidth_.get(), bytes / 2);
                    break;
                case SizeMode::HalfSize:
                    port_.onPicture(halfSize_.get(), bytes / 4);
                    break;
            }
        }
        if (liveFeed_) {
            // The network stream shows what a recording would hold: the record size and rate.
            const int fps = std::max(1, loadRelaxed(gConfig.recordFps));
            switch (sizeMode_) {
                case SizeMode::Full:
                    liveFeed_->onLivePicture(full_.get(), bytes, width_, height_, fps);
                    break;
                case SizeMode::HalfWidth:
                    liveFeed_->onLivePicture(halfWidth_.get(), bytes / 2, width_ / 2, height_, fps);
                    break;
                case SizeMode::HalfSize:
                    liveFeed_->onLivePicture(halfSize_.get(), bytes / 4, width_ / 2, height_ / 2,
                                             fps);
                    break;
            }
        }
    }
    const int64_t pause = pacingUs_.load(std::memory_order_relaxed);
    if (pause > 0)
        std::this_thread::sleep_for(std::chrono::microseconds(pause));
}

void VideoTransfer::setLiveFeed(LiveFeed* feed) {
    std::lock_guard picture(pictureLock_);
    liveFeed_ = feed;
}

void VideoTransfer::present(const uint8_t* data, int64_t enteredNs) {
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
    picture.enteredNs = enteredNs;
    picture.width = width_;
    // A 720-wide picture is interlaced: show its first field only.
    picture.rows = interlaced_ ? height_ / 2 : height_;
    picture.pitch = interlaced_ ? width_ * 4 : width_ * 2;
    window->presentLivePicture(picture);
}

StoredPicture VideoTransfer::makeStoredPicture(int sizeKind) {
    if (sizeKind < static_cast<int>(SizeMode::Full) ||
        sizeKind > static_cast<int>(SizeMode::HalfSize))
        return StoredPicture();
    return makeStoredPicture(sizeModeOf(sizeKind));
}

StoredPicture VideoTransfer::makeStoredPicture(SizeMode mode) {
    std::lock_guard lock(copyLock_);
    const int w = formatKnown_ ? width_ : nominalWidth_;
    const int h = formatKnown_ ? height_ : nominalHeight_;
    const int pw = mode == SizeMode::Full ? w : w / 2;
    const int ph = mode == SizeMode::HalfSize ? h / 2 : h;
    if (!active_.load(std::memory_order_relaxed) || !havePicture_ || !formatKnown_) {
        return StoredPicture(pw, ph);
    }
    const uint8_t* source = mode == SizeMode::Full        ? full_.get()
                            : mode == SizeMode::HalfWidth ? halfWidth_.get()
                                                          : halfSize_.get();
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
    int32_t storedSize = 0;
    {
        std::scoped_lock lock(pictureLock_, copyLock_);
        if (!formatKnown_)
            return;
        storedSize = loadRelaxed(gConfig.recordImageSize);
        sizeMode_ = sizeModeOf(storedSize);
        video = format_;
    }
    port_.setVideoFormat(video, storedSize);
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
