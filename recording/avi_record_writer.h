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
// takes only the queue lock, so stop can wait for it while holding the state lock.
//
// File names are the local start time, "YYYYMMDDhhmmss.avi"; a file started in the same second
// as an existing one gets "_01", "_02", ... before the extension, which still sorts after it and
// before the next second (the folder limit deletes in name order).
#include <atomic>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>

#include "platform/clock.h"
#include "platform/worker_thread.h"
#include "recording/avi_file.h"
#include "recording/record_consumer.h"

namespace vidora {

class AviRecordWriter final : public RecordConsumer {
  public:
    static constexpr uint64_t kDefaultMaxFileBytes = 64ull << 20;
    // Cut at the next key frame once a file would reach this, whatever the maximum file size:
    // the margin keeps it below the 1 GiB that AVI 1.0 readers accept.
    static constexpr uint64_t kAviCutBytes = AviFile::kMaxFileBytes - (16ull << 20);
    // Packets waiting for a stalled disk beyond this are dropped (and counted).
    static constexpr uint64_t kMaxQueuedBytes = 256ull << 20;

    // `aviCutBytes` is for tests, which cannot write a gigabyte.
    explicit AviRecordWriter(const std::string& folder, Clock& clock = processClock(),
                             uint64_t aviCutBytes = kAviCutBytes);
    ~AviRecordWriter() override;

    // RecordConsumer.
    void takeFormats(const StreamFormat* formats, int count) override;
    void finish() override;
    void queueVideoPacket(PacketCopy packet) override;
    void queueAudioPacket(PacketCopy packet) override;
    ConsumerState state() override;

    // The engine sets recordFileMB x 1 MiB before every start; 0 leaves only the AVI limit.
    void setMaxFileSize(uint64_t bytes);
    // Folder for the following recordings (a stored path may use backslashes).
    void setFolder(const std::string& folder);
    // 1 on success; -1 when the record folder's limit forbids recording (with policy 2 the user
    // is told "Total size of record files have exceeded the limit(%uMB).").
    int start();
    // Writes out what is queued, closes the file and ends the thread. Returns 1.
    int stop();

    // Packets dropped because the thread had ended at the folder limit or the queue was full.
    uint64_t droppedPackets() const { return dropped_.load(std::memory_order_relaxed); }
    // The last recording's thread ended because the folder limit was reached.
    bool endedAtLimit() const { return endedAtLimit_.load(std::memory_order_acquire); }
    bool threadRunning() const { return thread_.alive(); }
    std::size_t queuedPackets();

  private:
    enum class Step { Idle, Handled, EndThread };

    void threadBody(WorkerThread& self);
    Step tick();
    bool handle(PacketCopy& item);  // false: the thread must end
    void writeVideo(const RecordPacket& packet);
    void writeAudio(const RecordPacket& packet);
    bool openFile();
    void closeFile();
    void queuePacket(PacketCopy packet, bool video);
    std::size_t discardQueue();  // returns how many packets it dropped
    std::string composeBaseName();
    void stopLocked();

    Clock& clock_;
    const uint64_t aviCutBytes_;
    WorkerThread thread_{"avi-writer"};
    std::atomic<int32_t> state_{static_cast<int32_t>(ConsumerState::NoFormats)};
    std::atomic<uint64_t> maxFileBytes_{kDefaultMaxFileBytes};
    std::atomic<uint64_t> dropped_{0};
    std::atomic<bool> endedAtLimit_{false};

    std::mutex stateLock_;
    std::string folder_;  // under the state lock

    std::mutex queueLock_;
    // Under the queue lock: the queue, the formats, the queued bytes.
    std::deque<PacketCopy> queue_;
    uint64_t queuedBytes_ = 0;
    bool videoGap_ = false;  // a video packet was dropped: drop until the next key frame
    StreamFormat videoFormat_{};
    StreamFormat audioFormat_{};

    // The writer thread's own (set by start before the thread runs).
    std::string runFolder_;
    std::string basePath_;  // folder + start time, without extension
    StreamFormat fileVideoFormat_{};
    StreamFormat fileAudioFormat_{};
    AviFile file_;
    int videoStream_ = -1;
    int audioStream_ = -1;
    uint64_t picturesWritten_ = 0;
    uint64_t samplesWritten_ = 0;
    uint64_t bytesTaken_ = 0;
    uint64_t folderBaseBytes_ = 0;  // the record folder without the file being written
    bool needKeyFrame_ = false;     // a video write failed: resume at the next key frame
};

}  // namespace vidora
