#pragma once
// The engine's recording side built from the recording layer: the record encoder with the AVI
// record writer attached while live view runs, and snapshots written under automatic names.
// Owned by the CaptureEngine (as its RecordingPort) for the engine's whole life.
//
// setVideoFormat, setAudioFormat, onPicture and onSound run on the capture graph's streaming
// threads; the others on the engine's threads (UI, timers), serialised by the engine. Lock
// order: the encoder's locks, then the sink's consumer lock, then the writer's locks (see
// RecordEncoder and AviRecordWriter); the sound scratch lock is taken before all of them.
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "engine/recording_port.h"
#include "platform/clock.h"
#include "recording/avi_record_writer.h"
#include "recording/picture_stamp.h"
#include "recording/record_encoder.h"

namespace vidora {

class RecordingBridge final : public RecordingPort {
  public:
    // The clock paces the pictures and names the files; the writer starts with recordFolder.
    explicit RecordingBridge(Clock& clock = processClock());
    ~RecordingBridge() override;

    // The stamp for recorded pictures and snapshots from now on (the on-screen display's).
    void setPictureStamp(PictureStamp& stamp);

    void setVideoFormat(const StreamFormat& format, int sizeMode) override;
    void setAudioFormat(const StreamFormat& format) override;
    void onPicture(const uint8_t* data, std::size_t length) override;
    void onSound(const uint8_t* data, std::size_t length) override;

    void setWriterSettings(const std::string& recordFolder, uint64_t maxFileBytes) override;
    void attachWriter() override;
    void detachWriter() override;
    void setRecordingCause(CaptureReason reason) override;
    void setRecordingEnd(RecordingEnd how) override;
    Result startRecording() override;
    void stopRecording() override;
    Result startAlarmRecording() override;
    void setPreAlarm(const PreAlarmPlan& plan) override;
    void clearPreAlarm() override;
    bool keepingPreAlarm() override { return encoder_.isBuffering(); }
    bool recordingEndedAtLimit() override;
    bool recordingStalled() override;
    void setStallNotice(std::function<void()> notice) override;
    void recordFolderGone() override;
    PictureWriteResult takeSnapshot(StoredPictureSource& source) override;
    RecordFileInfo recordFile() override { return writer_.currentFile(); }

    RecordEncoder& encoder() { return encoder_; }
    AviRecordWriter& writer() { return writer_; }

  private:
    Clock& clock_;
    std::atomic<PictureStamp*> stamp_;
    // The writer is destroyed after the encoder it is attached to has let it go.
    AviRecordWriter writer_;
    RecordEncoder encoder_;
    // The encoder folds sound in place; the transfer sink's block is read-only.
    std::mutex soundLock_;
    std::vector<uint8_t> soundScratch_;
    // The plan the ring was last started with (the engine's threads, serialised by the engine).
    PreAlarmPlan preAlarm_{};
};

}  // namespace vidora
