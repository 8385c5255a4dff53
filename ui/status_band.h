#pragma once
// The status band: the line of text in the main window's foot that says what the viewer is
// doing. Its text is built by pure functions from a plain StatusBandState, so every state can be
// checked without a window; gatherStatusBand() fills that state from the shared records, the
// engine's status board and the task list, and paintStatusBand() lays the text out in the
// band, eliding what does not fit. Message-loop thread.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/records.h"
#include "engine/status_board.h"
#include "ui/canvas.h"

namespace vidora {

class Clock;

// How long a snapshot's name stays in the band, and the flash over the picture.
inline constexpr uint32_t kSnapshotNoticeMs = 6000;
inline constexpr uint32_t kSnapshotFlashMs = 180;

struct StatusBandState {
    ReceiverLink link = ReceiverLink::Searching;
    bool live = false;  // live view running
    bool paused = false;
    int channel = 0;  // 0..3
    // Recording.
    bool recording = false;
    bool recordingStalled = false;  // it runs, but nothing is being written
    uint32_t recordingSeconds = 0;
    std::string recordFile;  // the current file's name (no folder); empty before it opens
    uint64_t recordFileBytes = 0;
    // The latest snapshot while it is fresh (kSnapshotNoticeMs), by name.
    std::string snapshotFile;
    // The record folder.
    std::optional<uint64_t> freeBytes;  // unknown when the folder cannot be asked
    uint32_t recordFolderMB = 0;
    uint32_t recordLimitMB = 0;
    // "Next: record CH2 at 14:00", "Scheduled tasks off", or empty without tasks.
    std::string nextTask;
    std::optional<AlarmRecord> lastAlarm;
    int alarmsToday = 0;
    // The receiver refused its vendor requests (no udev rule): channel select and alarms are
    // unavailable until it arrives again.
    bool noReceiverPermission = false;
    // The network stream's address while it is switched on, else empty.
    std::string streamAddress;
};

enum class BandTone { Normal, Dim, Good, Warning, Alarm };

struct StatusSegment {
    std::string text;
    BandTone tone = BandTone::Normal;
};

// The band's segments in order of importance: the receiver, the recording (or the fresh
// snapshot), the last alarm, the next task, the record folder.
std::vector<StatusSegment> statusBandSegments(const StatusBandState& state);
// The segments joined as the band shows them at full width.
std::string statusBandLine(const StatusBandState& state);

// "00:01:05", and past 99 hours the hours grow.
std::string formatElapsed(uint32_t seconds);
// "850 KB", "12.3 MB", "4.21 GB" (1024-based, as the folder limits count).
std::string formatBytes(uint64_t bytes);

// The next scheduled start after `now` (calendar seconds; `today` is its local date and time),
// today or tomorrow, as "Next: record CH2 at 14:00" (tomorrow: "... tomorrow at 14:00"); a task
// for whichever channel is live says "live channel". Empty when nothing starts by then.
std::string nextTaskText(const std::vector<TaskRecord>& tasks, int64_t now,
                         const SystemTime& today);

// Shortens UTF-8 text to at most maxWidth with a trailing ellipsis, cutting only between
// characters; empty when not even the ellipsis fits.
using TextWidthFn = std::function<int(std::string_view)>;
std::string elideText(std::string_view text, int maxWidth, const TextWidthFn& width);

struct BandItem {
    int x = 0;  // from the band's left edge
    int width = 0;
    std::string text;
    BandTone tone = BandTone::Normal;
};
// Places the segments from the left with a separator gap; the first one that does not fit is
// elided into what is left and the rest are dropped, so nothing passes `bandWidth`.
std::vector<BandItem> layoutStatusBand(const std::vector<StatusSegment>& segments, int bandWidth,
                                       const TextWidthFn& width);
inline constexpr int kBandGap = 22;

// Reads the shared records, the engine's board and the task list. The record folder's free
// space is asked at most every few seconds (`freeSpaceCache` keeps the answer between calls).
struct FreeSpaceCache {
    uint32_t askedTick = 0;
    bool asked = false;
    std::string folder;
    std::optional<uint64_t> freeBytes;
};
StatusBandState gatherStatusBand(Clock& clock, FreeSpaceCache& freeSpaceCache);

TextFont statusBandFont();
Rgb bandToneColour(BandTone tone);
// Paints the band's text into `band` (window coordinates), vertically centred.
void paintStatusBand(Canvas& canvas, const Rect& band, const StatusBandState& state);

}  // namespace vidora
