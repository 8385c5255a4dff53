#pragma once
// What the engine needs from the recording side (record encoder, AVI writer, snapshots). The
// recording layer implements it; the default does nothing, so live view runs without it.
// The engine owns the port for its whole life.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "app/event_sink.h"
#include "platform/result.h"
#include "recording/record_file_info.h"
#include "recording/snapshot.h"
#include "recording/stream_format.h"

namespace vidora {

// What the pictures kept before an alarm are kept for: the seconds (0: nothing is kept) and what
// they were taken and encoded with. Any change starts the ring afresh.
struct PreAlarmPlan {
    uint32_t seconds = 0;
    int channel = 0;
    int sizeMode = 0;
    int fps = 0;
    int width = 0;
    int height = 0;
    bool operator==(const PreAlarmPlan&) const = default;
};

class RecordingPort {
  public:
    virtual ~RecordingPort() = default;

    // Streaming threads. The video sink passes its format (and recordImageSize as the size
    // mode 1..3) whenever its format is set and after the record settings change; the audio
    // sink passes its format likewise.
    virtual void setVideoFormat(const StreamFormat& /*format*/, int /*sizeMode*/) {}
    virtual void setAudioFormat(const StreamFormat& /*format*/) {}
    // While recordingOn or keepingPreAlarm(): every picture in the size of the size mode
    // (width x height x 2 bytes of packed 4:2:2), and every sound block (16-bit frames,
    // left = right = folded mono).
    // The bytes are valid only during the call.
    virtual void onPicture(const uint8_t* /*data*/, std::size_t /*length*/) {}
    virtual void onSound(const uint8_t* /*data*/, std::size_t /*length*/) {}

    // UI or timer threads, serialised by the engine.
    // The writer's folder (recordFolder, as stored) and maximum single-file size in bytes.
    virtual void setWriterSettings(const std::string& /*recordFolder*/, uint64_t /*maxFileBytes*/) {
    }
    // Live start hands the writer to the encoder; the graph teardown takes it back.
    virtual void attachWriter() {}
    virtual void detachWriter() {}
    // Why the next recording runs (each of its files is logged with it). Before startRecording.
    virtual void setRecordingCause(CaptureReason /*reason*/) {}
    // How the running recording's file ends when it is next stopped (the receiver went away);
    // files otherwise end as closed, cut by size or failed, as the writer sees them.
    virtual void setRecordingEnd(RecordingEnd /*how*/) {}
    // Starts the encoder, then the writer: success when recording runs, the writer's failure
    // when it refused (it has shown its message; the encoder is stopped again).
    virtual Result startRecording() { return Result::success(); }
    // Stops the encoder, then the writer.
    virtual void stopRecording() {}
    // A recording for an alarm: like startRecording, but it begins with the pictures and sound
    // kept before the alarm (when any are), and its first file is named by its first picture.
    virtual Result startAlarmRecording() { return startRecording(); }
    // Keeps the last plan.seconds of the live channel encoded while no recording runs, or stops
    // keeping them (seconds 0). The same plan again changes nothing.
    virtual void setPreAlarm(const PreAlarmPlan& /*plan*/) {}
    // Empties what is kept (the channel changed, a setting changed); it fills again.
    virtual void clearPreAlarm() {}
    // Pictures and sound are kept before an alarm: the transfer sinks pass them on (any thread).
    virtual bool keepingPreAlarm() { return false; }
    // The running recording's writer gave up at the record folder's limit (it could not make
    // room, or the policy is to stop): the recording logic stops the recording.
    virtual bool recordingEndedAtLimit() { return false; }
    // The running recording is not being written (its folder is missing, read-only, full or was
    // removed; the user has been told). It goes on by itself in a new file once it can. Any
    // thread; the user interface shows it with the record marks.
    virtual bool recordingStalled() { return false; }
    // Called (on the writer's thread) whenever recordingStalled() changes. Set once, before live
    // view starts, and cleared after it ended.
    virtual void setStallNotice(std::function<void()> /*notice*/) {}
    // The record folder's watcher saw the folder go away (watcher thread).
    virtual void recordFolderGone() {}
    // Takes one picture now and writes it under an automatic name; tells the user nothing but
    // the picture folder's limit (the caller tells about a file that could not be written).
    // The source is the video sink (its latest picture as a stored picture of a size kind).
    virtual PictureWriteResult takeSnapshot(StoredPictureSource& /*source*/) { return {}; }
    // The file the running recording is written into, and its size so far (any thread).
    virtual RecordFileInfo recordFile() { return {}; }
};

}  // namespace vidora
