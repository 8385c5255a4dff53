#include "engine/recording_bridge.h"

#include <cstring>

#include "app/settings.h"
#include "platform/relaxed.h"
#include "recording/relaxed_string.h"
#include "recording/snapshot.h"

namespace vidora {

RecordingBridge::RecordingBridge(Clock& clock)
    : clock_(clock),
      stamp_(&noPictureStamp()),
      writer_(loadRelaxedString(gConfig.recordFolder), clock),
      encoder_(clock) {}

RecordingBridge::~RecordingBridge() {
    // Stops a recording that still runs (the encoder finishes the writer) and lets the writer go
    // before either is destroyed.
    encoder_.detachAllConsumers();
    writer_.stop();
}

void RecordingBridge::setPictureStamp(PictureStamp& stamp) {
    stamp_.store(&stamp, std::memory_order_release);
    encoder_.setPictureStamp(stamp);
}

void RecordingBridge::setVideoFormat(const StreamFormat& format, int sizeMode) {
    encoder_.setVideoFormat(format, sizeMode);
}

void RecordingBridge::setAudioFormat(const StreamFormat& format) {
    encoder_.setAudioFormat(format);
}

void RecordingBridge::onPicture(const uint8_t* data, std::size_t length) {
    encoder_.onPicture(data, length);
}

void RecordingBridge::onSound(const uint8_t* data, std::size_t length) {
    if (data == nullptr || length == 0 || (!encoder_.isRunning() && !encoder_.isBuffering()))
        return;
    std::lock_guard lock(soundLock_);
    // Grows to the largest block once; nothing is allocated per block after that.
    if (soundScratch_.size() < length)
        soundScratch_.resize(length);
    std::memcpy(soundScratch_.data(), data, length);
    encoder_.onSound(soundScratch_.data(), length);
}

void RecordingBridge::setWriterSettings(const std::string& recordFolder, uint64_t maxFileBytes) {
    writer_.setFolder(recordFolder);
    writer_.setMaxFileSize(maxFileBytes);
}

void RecordingBridge::attachWriter() {
    encoder_.attachConsumer(&writer_);
}

void RecordingBridge::detachWriter() {
    // The last consumer going stops the encoder; the writer then ends a file it still writes.
    encoder_.detachConsumer(&writer_);
    writer_.stop();
}

void RecordingBridge::setRecordingCause(CaptureReason reason) {
    writer_.setCause(reason);
}

void RecordingBridge::setRecordingEnd(RecordingEnd how) {
    writer_.setEnding(how);
}

Result RecordingBridge::startRecording() {
    encoder_.start();
    Result started = writer_.start();
    if (!started.ok())
        encoder_.stop();
    return started;
}

void RecordingBridge::stopRecording() {
    // Stopping the encoder finishes the writer, which first writes out what was queued.
    encoder_.stop();
    writer_.stop();
}

Result RecordingBridge::startAlarmRecording() {
    const std::optional<uint32_t> first = encoder_.startFromRing();
    const uint32_t backdate = first ? clock_.multimediaTime() - *first : 0;
    Result started = writer_.start(backdate);
    if (!started.ok())
        encoder_.stop();
    return started;
}

void RecordingBridge::setPreAlarm(const PreAlarmPlan& plan) {
    if (plan.seconds == 0) {
        encoder_.stopBuffering();
        preAlarm_ = plan;
        return;
    }
    if (encoder_.isRunning())
        return;  // the recording's own pictures; the ring starts again after it
    if (plan == preAlarm_ && encoder_.isBuffering())
        return;
    encoder_.startBuffering(plan.seconds);
    preAlarm_ = plan;
}

void RecordingBridge::clearPreAlarm() {
    encoder_.clearRing();
}

bool RecordingBridge::recordingEndedAtLimit() {
    return encoder_.isRunning() && writer_.endedAtLimit();
}

bool RecordingBridge::recordingStalled() {
    return encoder_.isRunning() && writer_.stalled();
}

void RecordingBridge::setStallNotice(std::function<void()> notice) {
    writer_.setStallNotice(std::move(notice));
}

void RecordingBridge::recordFolderGone() {
    writer_.folderGone();
}

PictureWriteResult RecordingBridge::takeSnapshot(StoredPictureSource& source) {
    std::optional<StoredPicture> picture =
        takeSnapshotPicture(source, *stamp_.load(std::memory_order_acquire));
    if (!picture)
        return {};
    return writePictureFile(&*picture, loadRelaxed(gConfig.pictureFormat), std::nullopt, clock_);
}

}  // namespace vidora
