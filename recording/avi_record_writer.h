#pragma once
// Stores a recording as a series of AVI files in the record folder. It is the consumer the
// engine attaches to the record encoder: the sink hands it the stream formats and a copy of
// every packet, which it only queues; a thread of its own (one per recording) writes the queue
// into the current file, cuts to a new file at a key frame when the file reaches its maximum
// size, and keeps the record folder within its limit with the user's policy.
//
// Owned by the engine. The consumer operations run on the streaming threads (under the sink's
// consumer lock); start, stop, setMaxFileSize and setFolder on the engine's threads. Locks,
// outermost first: the sink's consumer lock, the state lock, the queue lock. The writer thread
// takes only the queue lock, so stop can wait for it while holding the state lock. The thread
// sleeps on the queue's condition until a packet arrives, stop is asked for or a watched folder
// goes away; the streaming threads never wait on it (a full queue drops and counts instead).
//
// File names are the local start time, "YYYYMMDDhhmmss.avi" (for a recording that begins with
// pictures taken before it started, the time of its first picture); a file started in the same
// second as an existing one gets "_01", "_02", ... before the extension, which still sorts after it
// and before the next second (the folder limit deletes in name order).
//
// A file that cannot be created or written (the folder is missing, read-only, full, or was
// removed while the file was open) is closed with what reached it, so it plays; the user is told
// once per recording, without the writer waiting for the box; packets are dropped (and counted)
// until a key frame can be written again, which starts a new file named by that moment, so no
// file hides a gap in time. Meanwhile stalled() is set.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>

#include "app/event_sink.h"
#include "app/message_poster.h"
#include "platform/clock.h"
#include "platform/result.h"
#include "platform/worker_thread.h"
#include "recording/avi_file.h"
#include "recording/record_consumer.h"
#include "recording/record_file_info.h"

namespace vidora {

class AviRecordWriter final : public RecordConsumer {
  public:
    static constexpr uint64_t kDefaultMaxFileBytes = 64ull << 20;
    // Cut at the next key frame once a file would reach this, whatever the maximum file size:
    // the margin keeps it below the 1 GiB that AVI 1.0 readers accept.
    static constexpr uint64_t kAviCutBytes = AviFile::kMaxFileBytes - (16ull << 20);
    // Packets waiting for a stalled disk beyond this are dropped (and counted).
    static constexpr uint64_t kMaxQueuedBytes = 256ull << 20;
    // After the disk was full, writing resumes once this much is free again: a new file that
    // took the last few bytes would only fail again after a picture or two.
    static constexpr uint64_t kResumeFreeBytes = 1ull << 20;

    // `aviCutBytes` and `faults` are for tests, which cannot write a gigabyte or fill a disk.
    explicit AviRecordWriter(const std::string& folder, Clock& clock = processClock(),
                             uint64_t aviCutBytes = kAviCutBytes, DiskFaults* faults = nullptr);
    ~AviRecordWriter() override;

    // RecordConsumer.
    void takeFormats(const StreamFormat* formats, int count) override;
    void finish() override;
    void queueVideoPacket(PacketCopy packet) override;
    void queueAudioPacket(PacketCopy packet) override;
    ConsumerState state() override;

    // Why the next recording runs, for the event log (set before start).
    void setCause(CaptureReason reason) { cause_.store(static_cast<int32_t>(reason)); }
    // How the running recording's file ends at the next stop (the receiver went away); start
    // resets it to closed.
    void setEnding(RecordingEnd how) { ending_.store(static_cast<int32_t>(how)); }

    // The engine sets recordFileMB x 1 MiB before every start; 0 leaves only the AVI limit.
    void setMaxFileSize(uint64_t bytes);
    // Folder for the following recordings (a stored path may use backslashes).
    void setFolder(const std::string& folder);
    // Success when the recording runs (or already ran); a failure when the record folder's
    // limit forbids recording (with policy 2 the user is told "Total size of record files have
    // exceeded the limit(%uMB).", which is then also the failure's reason).
    // `backdateMs`: the recording's first picture was taken that long ago (it begins with the
    // pictures kept before an alarm), and its first file is named by that moment.
    Result start(uint32_t backdateMs = 0);
    // Writes out what is queued, closes the file and ends the thread.
    void stop();

    // The running recording is not being written: its file could not be created or written.
    // It goes on by itself at the first key frame that can be written again.
    bool stalled() const { return stalled_.load(std::memory_order_relaxed); }
    // Called on the writer thread whenever stalled() changes; set before recordings start.
    void setStallNotice(std::function<void()> notice);
    // A watched folder went away (any thread): the writer thread checks at once that its file is
    // still where it was created, and treats it as a failed write when it is not.
    void folderGone();

    // Packets dropped because the thread had ended at the folder limit, the queue was full or the
    // file could not be written.
    uint64_t droppedPackets() const { return dropped_.load(std::memory_order_relaxed); }
    // The last recording's thread ended because the folder limit was reached.
    bool endedAtLimit() const { return endedAtLimit_.load(std::memory_order_acquire); }
    bool threadRunning() const { return thread_.alive(); }
    std::size_t queuedPackets();
    // Waits up to `limit` until the writer thread has handled every packet queued so far (or
    // has ended); false when time ran out. For tests and tools that read the file next.
    bool waitUntilWritten(std::chrono::milliseconds limit);
    // The file being written and its size so far (any thread); empty once the thread ended.
    RecordFileInfo currentFile() const;

  private:
    enum class Step { Idle, Handled, EndThread };

    void threadBody();
    // Sleeps until there is something to do; false when stop was asked for and all is written.
    bool waitForWork();
    Step tick();
    bool handle(PacketCopy& item);                // false: the thread must end
    bool writeVideo(const RecordPacket& packet);  // false: the packet is not in the file
    bool writeAudio(const RecordPacket& packet);
    bool openFile();
    // 0, or the error that kept something from reaching the file. Tells the event log how the
    // file ended.
    int closeFile(RecordingEnd how);
    void writeFailed(int error);
    bool roomToResume();
    void report(int error);
    void setStalled(bool stalled);
    void queuePacket(PacketCopy packet, bool video);
    std::size_t discardQueue();  // returns how many packets it dropped
    std::string composeBaseName(uint32_t backdateMs = 0);
    void stopLocked();

    Clock& clock_;
    const uint64_t aviCutBytes_;
    WorkerThread thread_{"avi-writer"};
    std::atomic<int32_t> state_{static_cast<int32_t>(ConsumerState::NoFormats)};
    std::atomic<uint64_t> maxFileBytes_{kDefaultMaxFileBytes};
    std::atomic<uint64_t> dropped_{0};
    std::atomic<bool> endedAtLimit_{false};
    std::atomic<bool> stalled_{false};
    std::atomic<bool> recheckFile_{false};
    std::atomic<int32_t> cause_{static_cast<int32_t>(CaptureReason::Manual)};
    std::atomic<int32_t> ending_{static_cast<int32_t>(RecordingEnd::Closed)};
    MessagePoster poster_;

    // What currentFile() reports: written by the writer thread, read by the status band.
    mutable std::mutex fileInfoLock_;
    std::string filePath_;  // under the file info lock
    std::atomic<uint64_t> fileBytes_{0};

    std::mutex stateLock_;
    std::string folder_;                 // under the state lock
    std::function<void()> stallNotice_;  // under the state lock

    std::mutex queueLock_;
    std::condition_variable workArrived_;  // a packet, a stop or a folder to check
    std::condition_variable written_;      // the queue became empty with nothing in hand
    // Under the queue lock: the queue, the formats, the queued bytes, the flags.
    std::deque<PacketCopy> queue_;
    uint64_t queuedBytes_ = 0;
    bool stopRequested_ = false;  // write out what is queued, then end
    bool handling_ = false;       // the writer thread holds a packet taken from the queue
    bool videoGap_ = false;       // a video packet was dropped: drop until the next key frame
    StreamFormat videoFormat_{};
    StreamFormat audioFormat_{};

    // The writer thread's own (set by start before the thread runs).
    std::string runFolder_;
    std::string shownFolder_;  // runFolder_ as the user is told it: absolute
    std::function<void()> runStallNotice_;
    CaptureReason runCause_ = CaptureReason::Manual;
    std::string basePath_;  // folder + start time, without extension
    StreamFormat fileVideoFormat_{};
    StreamFormat fileAudioFormat_{};
    DiskFaults* const faults_;
    AviFile file_;
    int videoStream_ = -1;
    int audioStream_ = -1;
    uint64_t picturesWritten_ = 0;
    uint64_t samplesWritten_ = 0;
    uint64_t bytesTaken_ = 0;
    uint64_t folderBaseBytes_ = 0;  // the record folder without the file being written
    bool needKeyFrame_ = false;     // a video write failed: resume at the next key frame
    bool writeFailed_ = false;      // no file: the last one failed; a key frame starts a new one
    int lastFailure_ = 0;           // the error of the last failure
    bool reported_ = false;         // the user was told of a failure during this recording
};

}  // namespace vidora
