#include "engine/audio_transfer.h"

#include <algorithm>
#include <thread>

#include "app/settings.h"
#include "platform/relaxed.h"

namespace vidora {

bool AudioTransfer::acceptAudioFormat(const media::AudioFormat& format) {
    // Sound arrives as 16-bit frames (two samples each after the fold to doubled mono).
    if (format.bitsPerSample != 16 || format.channels < 1 || format.samplesPerSecond <= 0 ||
        format.samplesPerSecond > 65535) {
        return false;
    }
    // Kilobits per second saturate at 255: the record has one byte for them.
    const StreamFormat audio = audioStreamFormat(static_cast<uint16_t>(format.samplesPerSecond),
                                                 static_cast<uint8_t>(format.bitsPerSample),
                                                 static_cast<uint8_t>(format.channels));
    {
        std::lock_guard lock(soundLock_);
        format_ = audio;
        formatKnown_ = true;
    }
    port_.setAudioFormat(audio);
    return true;
}

void AudioTransfer::renderAudio(const uint8_t* data, std::size_t length) {
    {
        std::lock_guard lock(soundLock_);
        blocks_.fetch_add(1, std::memory_order_relaxed);
        if (data && length > 0 && (loadRelaxed(gState.recordingOn) || port_.keepingPreAlarm()))
            port_.onSound(data, length);
        if (liveFeed_ && data && length > 0 && formatKnown_)
            liveFeed_->onLiveSound(data, length, format_.rate, format_.channels);
    }
    const int64_t pause = pacingUs_.load(std::memory_order_relaxed);
    if (pause > 0)
        std::this_thread::sleep_for(std::chrono::microseconds(pause));
}

void AudioTransfer::setLiveFeed(LiveFeed* feed) {
    std::lock_guard lock(soundLock_);
    liveFeed_ = feed;
}

void AudioTransfer::passFormat() {
    StreamFormat audio;
    {
        std::lock_guard lock(soundLock_);
        if (!formatKnown_)
            return;
        audio = format_;
    }
    port_.setAudioFormat(audio);
}

bool AudioTransfer::formatKnown() const {
    std::lock_guard lock(soundLock_);
    return formatKnown_;
}

StreamFormat AudioTransfer::format() const {
    std::lock_guard lock(soundLock_);
    return format_;
}

}  // namespace vidora
