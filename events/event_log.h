#pragma once
// The event log: events.db in the working folder, written by one thread of its own. Producers
// (the engine's streaming, timer and alarm threads, the record writer, the user interface) call
// the EventSink operations, which copy the event into a bounded queue and return at once: when
// the queue is full the oldest waiting event is dropped and counted, so no producer ever waits
// on the disk. The writer thread's tick() writes everything waiting in one transaction.
//
// Owned by the program for its whole run: opened once the settings are loaded (so that a damaged
// file can be rebuilt from the record and picture folders), installed as the process's event
// sink before the modules start, and stopped after they ended (the destructor writes out what
// is still queued).
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

#include "app/event_sink.h"
#include "events/database.h"
#include "events/folder_index.h"
#include "platform/worker_thread.h"

namespace vidora::events {

inline constexpr const char* kEventLogFileName = "events.db";

// What the user is told once when the log was damaged and rebuilt (caption "Vidora").
std::string damagedLogText(const std::filesystem::path& damagedCopy);

struct EventLogOptions {
    std::size_t queueCapacity = 4096;
    uint32_t periodMs = 250;  // the writer thread's pause between ticks
    // After a folder changed, the folders are looked at again at most this often: listing a
    // day of 60 000 files costs some tens of milliseconds, and a recording changes its folder
    // every second or two.
    uint32_t folderCheckMs = 30000;
};

struct EventLogOpened {
    std::string failure;  // empty: the log is open
    // Set when the file was damaged: where the damaged copy now lies (the log was rebuilt).
    std::optional<std::filesystem::path> damagedCopy;
};

class EventLog final : public EventSink {
  public:
    // The clock paces the folder checks.
    explicit EventLog(std::filesystem::path file, EventLogOptions options = {},
                      Clock& clock = processClock());
    ~EventLog() override;
    EventLog(const EventLog&) = delete;
    EventLog& operator=(const EventLog&) = delete;

    // Opens, creates or migrates the file; a file SQLite cannot read (or that fails its check)
    // is moved aside as "events.db.broken-YYYYMMDDhhmmss" and a new one is built from the
    // folders. Recordings left open by a crash become interrupted. On the caller's thread,
    // before start().
    EventLogOpened open(const StoreFolders& folders);
    bool isOpen() const { return db_.isOpen(); }
    const std::filesystem::path& file() const { return file_; }

    // The folders the log checks after foldersChanged() (the settings may change them while
    // the program runs). Before start().
    void setFolders(std::function<StoreFolders()> folders);

    // The writer thread: start after open(); stop writes out what is queued and ends it.
    void start();
    void stop();

    // Writes every waiting event in one transaction; returns how many rows it wrote. A
    // transaction that fails puts its events back in front of the queue (the oldest may then be
    // dropped) and the next tick tries again. After a folder changed, and at most once per
    // folderCheckMs, the folders are then indexed again (rows of vanished files become gone).
    std::size_t tick();

    // Events dropped because the queue was full (since the start of this run).
    uint64_t dropped() const;
    std::size_t waiting() const;

    // EventSink: any thread, never waits on the disk.
    void alarmStarted(EventTime at, EventChannel channel, AlarmKind kind) override;
    void alarmEnded(EventTime at, EventChannel channel, AlarmKind kind) override;
    void recordingStarted(EventTime at, const std::string& path, EventChannel channel,
                          CaptureReason reason) override;
    void recordingEnded(EventTime at, const std::string& path, RecordingEnd how) override;
    void snapshotTaken(EventTime at, const std::string& path, EventChannel channel,
                       CaptureReason reason) override;
    void receiver(EventTime at, ReceiverEvent what) override;
    void messageShown(EventTime at, const std::string& caption, const std::string& text) override;
    void fileGone(EventTime at, const std::string& path) override;
    void foldersChanged(EventTime at) override;

  private:
    enum class Kind {
        AlarmStart,
        AlarmEnd,
        RecordingStart,
        RecordingEnd,
        Snapshot,
        Receiver,
        Message,
        Gone
    };
    struct Event {
        Kind kind = Kind::Message;
        EventTime at = 0;
        int32_t channel = 0;
        int32_t code = 0;  // alarm kind, capture reason, recording end or receiver event
        std::string path;  // or the caption
        std::string text;
    };

    void push(Event event);
    std::size_t writeQueued();
    bool write(const Event& event);
    std::string openFile();

    const std::filesystem::path file_;
    const EventLogOptions options_;
    Clock& clock_;
    std::function<StoreFolders()> folders_;
    std::atomic<bool> folderCheckDue_{false};  // single flag: relaxed
    std::optional<uint32_t> lastFolderCheck_;  // the writer's: tick count of the last check

    mutable std::mutex queueLock_;
    std::deque<Event> queue_;     // under the queue lock
    uint64_t dropped_ = 0;        // under the queue lock
    uint64_t droppedStored_ = 0;  // the writer's: what the counters table holds of this run's

    Database db_;  // the writer thread's (the caller's until start)
    WorkerThread thread_{"event-log"};
};

}  // namespace vidora::events
