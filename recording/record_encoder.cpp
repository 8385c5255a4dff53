#include "recording/record_encoder.h"

#include <algorithm>
#include <cstring>

#include "app/settings.h"
#include "platform/relaxed.h"

namespace vidora {

namespace {

int16_t loadSample(const uint8_t* p) {
    int16_t v;
    std::memcpy(&v, p, 2);
    return v;
}

void storeSample(uint8_t* p, int16_t v) {
    std::memcpy(p, &v, 2);
}

}  // namespace

RecordEncoder::RecordEncoder(Clock& clock, PictureStamp& stamp) : clock_(clock), stamp_(&stamp) {}

RecordEncoder::~RecordEncoder() {
    std::scoped_lock lock(stateLock_, pictureLock_);
    running_.store(false, std::memory_order_release);
    encoder_.close();
}

void RecordEncoder::setPictureStamp(PictureStamp& stamp) {
    stamp_.store(&stamp, std::memory_order_release);
}

void RecordEncoder::setVideoFormat(const StreamFormat& format, int sizeMode) {
    StreamFormat record = format;
    record.bitsPerSample = 16;
    record.rate = static_cast<uint16_t>(std::max(1, loadRelaxed(gConfig.recordFps)));
    std::lock_guard lock(stateLock_);
    sourceFormat_ = record;
    sourceKnown_ = true;
    sizeMode_ = sizeMode;
    // A running recording (or ring) keeps describing its stream as it encodes it; the next
    // start takes the new format.
    if (!isRunning() && !isBuffering())
        setVideoFormatRecord(record);
}

void RecordEncoder::setAudioFormat(const StreamFormat& format) {
    std::lock_guard lock(stateLock_);
    if (!setAudioFormatRecordOnce(format))
        return;
    audioChannels_ = std::clamp<int>(format.channels, 1, kMaxChannels);
    audioBits_ = format.bitsPerSample;
}

int RecordEncoder::start() {
    std::lock_guard stateLock(stateLock_);
    std::lock_guard pictureLock(pictureLock_);
    // A recording that does not begin with the ring ends it: its pictures are its own.
    buffering_.store(false, std::memory_order_release);
    ring_.release();
    openLocked();
    running_.store(true, std::memory_order_release);
    return 0;
}

void RecordEncoder::openLocked() {
    haveStartTime_ = false;
    startTime_ = 0;
    picturesTaken_ = 0;
    encodedPictures_ = 0;
    carryFill_ = 0;  // sound of an earlier recording never leaks into this one
    partialFill_ = 0;
    fps_ = std::max(1, loadRelaxed(gConfig.recordFps));

    int w = loadRelaxed(gState.videoWidth);
    int h = loadRelaxed(gState.videoHeight);
    switch (sizeMode_) {
        case 1:
            break;
        case 2:
            w /= 2;
            break;
        case 3:
            w /= 2;
            h /= 2;
            break;
        default:
            w = sourceFormat_.width;
            h = sourceFormat_.height;
            break;
    }
    width_ = std::max(0, w);
    height_ = std::max(0, h);

    bufferBytes_ = static_cast<std::size_t>(width_) * height_ * 2 + 1024;
    picture_ = std::make_unique_for_overwrite<uint8_t[]>(bufferBytes_);
    bitstream_ = std::make_unique_for_overwrite<uint8_t[]>(bufferBytes_);

    encoder_.close();
    if (sourceKnown_) {
        // The writer describes the stream as it is encoded: the encode size and rate.
        StreamFormat record = sourceFormat_;
        record.width = static_cast<uint16_t>(width_);
        record.height = static_cast<uint16_t>(height_);
        record.rate = static_cast<uint16_t>(fps_);
        record.bytesPerPicture = static_cast<uint32_t>(width_) * height_ * 2u;
        setVideoFormatRecord(record);

        XvidSettings settings;
        settings.width = width_;
        settings.height = height_;
        settings.framesPerSecond = fps_;
        encoder_.open(settings);
    }
}

void RecordEncoder::startBuffering(uint32_t seconds) {
    std::lock_guard stateLock(stateLock_);
    std::lock_guard pictureLock(pictureLock_);
    if (running_.load(std::memory_order_relaxed) || seconds == 0)
        return;
    buffering_.store(false, std::memory_order_release);
    openLocked();
    if (!encoder_.isOpen()) {
        ring_.release();
        picture_.reset();
        bitstream_.reset();
        return;
    }
    // Room for the seconds kept plus the key-frame group in progress and one more second. The
    // rate control aims at the bit rate but may exceed it while the quantizer is at its limit,
    // so the arena takes the larger of twice the bit rate and a sixteenth of the raw pictures.
    const XvidSettings xvid;
    const uint64_t keyGroupMs = static_cast<uint64_t>(xvid.maxKeyInterval) * 1000u / fps_;
    const uint64_t spanMs = uint64_t{seconds} * 1000u + keyGroupMs + 1000u;
    const uint64_t rawPerSecond = static_cast<uint64_t>(width_) * height_ * 2u * fps_;
    const uint64_t videoPerSecond =
        std::max<uint64_t>(static_cast<uint64_t>(xvid.bitRate) / 8u * 2u, rawPerSecond / 16u);
    StreamFormat audio{};
    const uint64_t sampleRate = getAudioFormat(&audio) == 0 && audio.rate > 0 ? audio.rate : 48000;
    const uint64_t soundPerSecond = sampleRate * 2u;  // mono, 16 bits
    const uint64_t packetsPerSecond = fps_ + soundPerSecond / kSoundBlockBytes + 1u;
    const uint64_t arena = (videoPerSecond + soundPerSecond) * spanMs / 1000u;
    const uint64_t packets = packetsPerSecond * spanMs / 1000u + 16u;
    ring_.configure(seconds * 1000u, static_cast<std::size_t>(arena),
                    static_cast<std::size_t>(packets));
    buffering_.store(true, std::memory_order_release);
}

void RecordEncoder::stopBuffering() {
    std::lock_guard stateLock(stateLock_);
    std::lock_guard pictureLock(pictureLock_);
    if (!buffering_.load(std::memory_order_relaxed))
        return;
    buffering_.store(false, std::memory_order_release);
    ring_.release();
    picture_.reset();
    bitstream_.reset();
    encoder_.close();
}

void RecordEncoder::clearRing() {
    std::lock_guard pictureLock(pictureLock_);
    ring_.clear();
}

std::optional<uint32_t> RecordEncoder::startFromRing() {
    std::lock_guard stateLock(stateLock_);
    std::lock_guard pictureLock(pictureLock_);
    if (running_.load(std::memory_order_relaxed))
        return std::nullopt;
    if (!buffering_.load(std::memory_order_relaxed)) {
        openLocked();
        running_.store(true, std::memory_order_release);
        return std::nullopt;
    }
    // Handed on in the order taken, so every consumer sees the ring and then the live pictures
    // as one stream; the sound held with it keeps its place beside its pictures.
    const std::optional<uint32_t> first = ring_.firstPictureTime();
    uint32_t number = 0;
    ring_.forEach([&](const RecordPacket& held, uint32_t) {
        RecordPacket packet = held;
        if (packet.isVideo()) {
            packet.extra[0] = number++;
            writeVideoPacket(packet);
        } else {
            writeAudioPacket(packet);
        }
    });
    encodedPictures_ = number;
    ring_.release();
    buffering_.store(false, std::memory_order_release);
    running_.store(true, std::memory_order_release);
    return first;
}

std::size_t RecordEncoder::ringMemoryBytes() {
    std::lock_guard lock(pictureLock_);
    return ring_.memoryBytes();
}

std::size_t RecordEncoder::ringPictures() {
    std::lock_guard lock(pictureLock_);
    return ring_.pictureCount();
}

std::size_t RecordEncoder::ringBytesHeld() {
    std::lock_guard lock(pictureLock_);
    return ring_.bytesHeld();
}

int RecordEncoder::stop() {
    std::lock_guard stateLock(stateLock_);
    std::lock_guard pictureLock(pictureLock_);
    running_.store(false, std::memory_order_release);
    buffering_.store(false, std::memory_order_release);
    ring_.release();
    picture_.reset();
    bitstream_.reset();
    finishAll();
    encoder_.close();
    return 0;
}

void RecordEncoder::onPicture(const uint8_t* data, std::size_t length) {
    if (!isRunning() && !isBuffering())
        return;
    std::lock_guard lock(pictureLock_);
    const bool recording = running_.load(std::memory_order_relaxed);
    if (!recording && !buffering_.load(std::memory_order_relaxed))
        return;

    // Keep a picture only when it is due at the record frame rate, counted from the first one.
    uint32_t now = clock_.multimediaTime();
    if (!haveStartTime_) {
        haveStartTime_ = true;
        startTime_ = now;
    }
    uint32_t elapsed = now - startTime_;  // modulo 2^32: a wrapped timer still counts forward
    uint64_t due = static_cast<uint64_t>(elapsed) * static_cast<uint64_t>(fps_) / 1000u;
    if (due < picturesTaken_)
        return;
    ++picturesTaken_;

    if (!encoder_.isOpen())
        return;
    std::size_t pictureBytes = static_cast<std::size_t>(width_) * height_ * 2;
    if (data == nullptr || length < pictureBytes)
        return;
    std::memcpy(picture_.get(), data, pictureBytes);

    PictureDesc desc;
    desc.width = width_;
    desc.height = height_;
    desc.compression = kFourccUyvy;
    desc.rowStride = width_ * 2;
    stamp_.load(std::memory_order_acquire)->stamp(desc, picture_.get());

    XvidEncoder::Output out = encoder_.encode(picture_.get(), bitstream_.get(), bufferBytes_);
    if (out.length <= 0)
        return;

    RecordPacket packet;
    packet.kind = static_cast<uint32_t>(StreamKind::Video);
    packet.length = static_cast<uint32_t>(out.length);
    packet.data = bitstream_.get();
    packet.keyFrame = out.keyFrame ? 1u : 0u;
    packet.extra[0] = encodedPictures_;  // picture number within the recording
    ++encodedPictures_;
    if (recording)
        writeVideoPacket(packet);
    else
        ring_.push(packet, now);
}

void RecordEncoder::onSound(uint8_t* data, std::size_t length) {
    if ((!isRunning() && !isBuffering()) || data == nullptr)
        return;
    std::lock_guard lock(stateLock_);
    if (!running_.load(std::memory_order_relaxed) && !buffering_.load(std::memory_order_relaxed))
        return;
    if (audioBits_ != 16)
        return;  // the receiver's sound is 16-bit; nothing else is recorded

    const std::size_t channels = static_cast<std::size_t>(audioChannels_);
    const std::size_t frameBytes = channels * 2;
    // Fold one frame to one sample. The capture graph has already mixed the channels (every
    // sample of a frame holds the same clamped sum, which is what the user hears), so the
    // recording keeps the first sample: adding the copies again would record the sound louder
    // than it was heard, and clipped where it was not.
    auto fold = [](const uint8_t* frame) { return loadSample(frame); };

    // A frame split across two calls is completed first.
    std::size_t pos = 0;
    if (partialFill_ > 0) {
        std::size_t take = std::min(frameBytes - partialFill_, length);
        std::memcpy(partial_ + partialFill_, data, take);
        partialFill_ += take;
        pos = take;
        if (partialFill_ < frameBytes)
            return;
        uint8_t sample[2];
        storeSample(sample, fold(partial_));
        partialFill_ = 0;
        appendMono(sample, 2);
    }

    // Whole frames, folded in place (each sample lands at or before its frame).
    uint8_t* frames = data + pos;
    const std::size_t frameCount = (length - pos) / frameBytes;
    if (channels > 1) {
        for (std::size_t i = 0; i < frameCount; ++i) {
            storeSample(frames + i * 2, fold(frames + i * frameBytes));
        }
    }
    // The piece of a frame at the end waits for the next call.
    const std::size_t rest = length - pos - frameCount * frameBytes;
    std::memcpy(partial_, frames + frameCount * frameBytes, rest);
    partialFill_ = rest;

    appendMono(frames, frameCount * 2);
}

void RecordEncoder::appendMono(uint8_t* mono, std::size_t bytes) {
    std::size_t pos = 0;
    if (carryFill_ > 0) {
        std::size_t take = std::min(kSoundBlockBytes - carryFill_, bytes);
        std::memcpy(carry_ + carryFill_, mono, take);
        carryFill_ += take;
        pos = take;
        if (carryFill_ < kSoundBlockBytes)
            return;
        emitSoundBlock(carry_);
        carryFill_ = 0;
    }
    while (bytes - pos >= kSoundBlockBytes) {
        emitSoundBlock(mono + pos);
        pos += kSoundBlockBytes;
    }
    std::memcpy(carry_, mono + pos, bytes - pos);
    carryFill_ = bytes - pos;
}

void RecordEncoder::emitSoundBlock(const uint8_t* block) {
    RecordPacket packet;
    packet.kind = static_cast<uint32_t>(StreamKind::Audio);
    packet.length = kSoundBlockBytes;
    packet.data = block;
    packet.keyFrame = 1;
    if (running_.load(std::memory_order_relaxed)) {
        writeAudioPacket(packet);
        return;
    }
    // Before an alarm: beside the pictures, under the lock that guards the ring.
    std::lock_guard lock(pictureLock_);
    ring_.push(packet, clock_.multimediaTime());
}

int RecordEncoder::encodeWidth() {
    std::lock_guard lock(pictureLock_);
    return width_;
}

int RecordEncoder::encodeHeight() {
    std::lock_guard lock(pictureLock_);
    return height_;
}

int RecordEncoder::recordFps() {
    std::lock_guard lock(pictureLock_);
    return fps_;
}

std::size_t RecordEncoder::bufferBytes() {
    std::lock_guard lock(pictureLock_);
    return bufferBytes_;
}

bool RecordEncoder::encoderOpen() {
    std::lock_guard lock(pictureLock_);
    return encoder_.isOpen();
}

uint32_t RecordEncoder::encodedPictures() {
    std::lock_guard lock(pictureLock_);
    return encodedPictures_;
}

}  // namespace vidora
