#include "stream/live_hand_over.h"

#include <algorithm>
#include <cstring>

namespace vidora {

void LiveHandOver::onLivePicture(const uint8_t* data, std::size_t length, int width, int height,
                                 int rate) {
    if (!data || width <= 0 || height <= 0)
        return;
    const std::size_t bytes = static_cast<std::size_t>(width) * height * 2;
    if (length < bytes)
        return;
    std::lock_guard lock(pictureLock_);
    // The shape is kept even while nobody watches: the first client's stream is built in it.
    shape_ = {width, height, rate};
    if (!taking())
        return;
    // The buffer keeps its size across pictures, so a steady stream allocates nothing.
    latest_.pixels.resize(bytes);
    std::memcpy(latest_.pixels.data(), data, bytes);
    latest_.width = width;
    latest_.height = height;
    latest_.rate = rate;
    if (generation_ > takenGeneration_)
        picturesDropped_.fetch_add(1, std::memory_order_relaxed);
    ++generation_;
    picturesIn_.fetch_add(1, std::memory_order_relaxed);
}

void LiveHandOver::onLiveSound(const uint8_t* data, std::size_t length, int samplesPerSecond,
                               int channels) {
    if (!data || length == 0 || samplesPerSecond <= 0 || channels <= 0)
        return;
    const StreamSoundFormat format{samplesPerSecond, channels};
    std::lock_guard lock(soundLock_);
    if (!(format == soundFormat_)) {
        soundFormat_ = format;
        sound_.clear();
    }
    if (!taking())
        return;
    const std::size_t frameBytes = static_cast<std::size_t>(channels) * 2;
    const std::size_t limit = static_cast<std::size_t>(samplesPerSecond) * frameBytes;
    sound_.insert(sound_.end(), data, data + length - length % frameBytes);
    if (sound_.size() > limit) {
        std::size_t excess = sound_.size() - limit;
        excess += (frameBytes - excess % frameBytes) % frameBytes;
        sound_.erase(sound_.begin(), sound_.begin() + static_cast<std::ptrdiff_t>(excess));
        soundDropped_.fetch_add(excess, std::memory_order_relaxed);
    }
}

bool LiveHandOver::takePicture(StreamPicture& out, uint64_t& generation) {
    std::lock_guard lock(pictureLock_);
    if (generation_ == 0 || generation_ == generation)
        return false;
    out.pixels.assign(latest_.pixels.begin(), latest_.pixels.end());
    out.width = latest_.width;
    out.height = latest_.height;
    out.rate = latest_.rate;
    generation = generation_;
    takenGeneration_ = generation_;
    return true;
}

StreamPicture LiveHandOver::latestShape() const {
    std::lock_guard lock(pictureLock_);
    StreamPicture shape;
    shape.width = shape_.width;
    shape.height = shape_.height;
    shape.rate = shape_.rate;
    return shape;
}

StreamSoundFormat LiveHandOver::soundFormat() const {
    std::lock_guard lock(soundLock_);
    return soundFormat_;
}

std::size_t LiveHandOver::takeSound(std::vector<uint8_t>& out, std::size_t bytes,
                                    const StreamSoundFormat& format) {
    out.assign(bytes, 0);
    std::lock_guard lock(soundLock_);
    if (!(format == soundFormat_)) {
        soundDropped_.fetch_add(sound_.size(), std::memory_order_relaxed);
        sound_.clear();
        return 0;
    }
    const std::size_t n = std::min(bytes, sound_.size());
    std::copy_n(sound_.begin(), n, out.begin());
    sound_.erase(sound_.begin(), sound_.begin() + static_cast<std::ptrdiff_t>(n));
    return n;
}

}  // namespace vidora
