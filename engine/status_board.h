#pragma once
// What the engine tells the user interface beyond the shared records: the receiver's link, the
// latest alarm with its channel and kind and the number of alarms today, the latest snapshot
// and the moment the running recording started. The status band and the picture's feedback
// read it. One process-wide board (statusBoard()); written by the UI thread (link, snapshot,
// recording start) and the alarm-poll thread (alarms), read by the UI thread. Every field group
// is copied whole under the board's lock.
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

#include "platform/system_time.h"

namespace vidora {

// Where the viewer stands with the receiver.
enum class ReceiverLink : int32_t {
    Searching,     // before the first attempt to connect
    NotFound,      // no receiver found, or its graph could not be built
    Connected,     // the graph is built (live view on or paused)
    Unplugged,     // the receiver went away while it was in use
    Reconnecting,  // a receiver arrived after an unplug: the viewer connects again
};

enum class AlarmKind : int32_t { Motion, Sound };

struct AlarmRecord {
    int channel = 0;  // 0..3
    AlarmKind kind = AlarmKind::Motion;
    SystemTime time{};
};

struct SnapshotRecord {
    uint64_t sequence = 0;  // 0: none taken yet; grows by one per snapshot taken
    std::string path;
    uint32_t tick = 0;  // tick count when it was taken
};

class StatusBoard {
  public:
    void setLink(ReceiverLink link);
    ReceiverLink link() const;

    // An alarm began (the alarm-poll thread saw its bit rise).
    void alarmRaised(int channel, AlarmKind kind, const SystemTime& now);
    std::optional<AlarmRecord> lastAlarm() const;
    // Alarms raised on the calendar day of `today` (earlier days do not count).
    int alarmsOn(const SystemTime& today) const;

    void snapshotTaken(const std::string& path, uint32_t tick);
    SnapshotRecord lastSnapshot() const;

    // The recording's start (tick count), or none while nothing records.
    void setRecordingStart(std::optional<uint32_t> tick);
    std::optional<uint32_t> recordingStart() const;

    // Back to the state of a fresh process (tests).
    void reset();

  private:
    mutable std::mutex lock_;
    ReceiverLink link_ = ReceiverLink::Searching;
    std::optional<AlarmRecord> lastAlarm_;
    SystemTime countDay_{};
    int countToday_ = 0;
    SnapshotRecord snapshot_;
    std::optional<uint32_t> recordingStart_;
};

StatusBoard& statusBoard();

}  // namespace vidora
