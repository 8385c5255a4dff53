#pragma once
// What the engine, the recorder, the snapshot code and the user interface report as it happens:
// the event log (events/) implements this and writes rows on its own thread; everything else
// holds only this interface. Calls are cheap and never wait on a disk: an implementation copies
// the event into a bounded queue and returns. Times are wall-clock seconds since the epoch with
// milliseconds (the same clock the file names use).
#include <cstdint>
#include <string>

#include "platform/clock.h"

namespace vidora {

// Channels as the user sees them: 1 to 4.
enum class EventChannel : int32_t { None = 0, Ch1 = 1, Ch2 = 2, Ch3 = 3, Ch4 = 4 };

enum class AlarmKind : int32_t { Motion = 1, Sound = 2 };

// Why a recording or a snapshot was made.
enum class CaptureReason : int32_t { Manual = 1, Alarm = 2, Task = 3 };

// How a recording file ended.
enum class RecordingEnd : int32_t {
    Closed = 1,      // stopped by the user, the task or the alarm's end
    CutBySize = 2,   // the file reached its size and recording went on in a new file
    Failed = 3,      // a create or write failed (folder missing, read-only, full)
    Unplugged = 4,   // the receiver went away
    Interrupted = 5  // the program ended (crash or kill) before the file was closed
};

enum class ReceiverEvent : int32_t { Connected = 1, Unplugged = 2, NotFound = 3 };

using EventTime = int64_t;  // milliseconds since 1970-01-01 UTC

class EventSink {
  public:
    virtual ~EventSink() = default;

    virtual void alarmStarted(EventTime at, EventChannel channel, AlarmKind kind) = 0;
    virtual void alarmEnded(EventTime at, EventChannel channel, AlarmKind kind) = 0;

    // A recording file was created (path is absolute) and later ended.
    virtual void recordingStarted(EventTime at, const std::string& path, EventChannel channel,
                                  CaptureReason reason) = 0;
    virtual void recordingEnded(EventTime at, const std::string& path, RecordingEnd how) = 0;

    virtual void snapshotTaken(EventTime at, const std::string& path, EventChannel channel,
                               CaptureReason reason) = 0;

    virtual void receiver(EventTime at, ReceiverEvent what) = 0;

    // A message box the user was shown (caption and text as shown).
    virtual void messageShown(EventTime at, const std::string& caption,
                              const std::string& text) = 0;

    // A recording or snapshot file was removed (by the folder limits, by the user in the
    // recordings window, or by anyone else, as the folder watchers see it).
    virtual void fileGone(EventTime at, const std::string& path) = 0;

    // A watched record or picture folder changed (files came or went, by whoever): the log
    // looks at the folders again, now and then, so that rows of files removed behind its back
    // are marked gone. The folder watchers' threads call it.
    virtual void foldersChanged(EventTime /*at*/) {}
};

// The sink used where no event log is attached (tests, tools): drops everything.
class NullEventSink final : public EventSink {
  public:
    void alarmStarted(EventTime, EventChannel, AlarmKind) override {}
    void alarmEnded(EventTime, EventChannel, AlarmKind) override {}
    void recordingStarted(EventTime, const std::string&, EventChannel, CaptureReason) override {}
    void recordingEnded(EventTime, const std::string&, RecordingEnd) override {}
    void snapshotTaken(EventTime, const std::string&, EventChannel, CaptureReason) override {}
    void receiver(EventTime, ReceiverEvent) override {}
    void messageShown(EventTime, const std::string&, const std::string&) override {}
    void fileGone(EventTime, const std::string&) override {}
};

// The sink the program's producers report to. The program installs its event log before the
// modules start and removes it (nullptr) after they stopped; until then, and in tests that
// install none, reports go to a NullEventSink. The pointer is read and swapped atomically; the
// installer keeps the sink alive while it is installed.
EventSink& eventSink();
void installEventSink(EventSink* sink);

// Now on `clock`, in the event log's time (milliseconds since the epoch).
EventTime eventTimeNow(Clock& clock = processClock());

}  // namespace vidora
