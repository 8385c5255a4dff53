#include "ui/status_band.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <system_error>

#include "app/preferences.h"
#include "app/settings.h"
#include "app/storage.h"
#include "app/task_list.h"
#include "engine/capture_engine.h"
#include "engine/schedule/day_lists.h"
#include "platform/clock.h"
#include "platform/relaxed.h"
#include "recording/relaxed_string.h"
#include "stream/stream_settings.h"

namespace vidora {

namespace {

std::string channelLabel(int channel) {
    return "CH" + std::to_string(std::clamp(channel, 0, 3) + 1);
}

std::string fileNameOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string timeOfDay(const SystemTime& t, bool seconds) {
    char text[24];
    if (seconds)
        std::snprintf(text, sizeof text, "%02u:%02u:%02u", t.hour, t.minute, t.second);
    else
        std::snprintf(text, sizeof text, "%02u:%02u", t.hour, t.minute);
    return text;
}

std::string receiverText(const StatusBandState& s) {
    switch (s.link) {
        case ReceiverLink::Searching:
            return "Looking for the receiver...";
        case ReceiverLink::NotFound:
            return "No receiver found";
        case ReceiverLink::Unplugged:
            return "Receiver unplugged";
        case ReceiverLink::Reconnecting:
            return "Reconnecting...";
        case ReceiverLink::Connected:
            break;
    }
    if (s.paused)
        return "Paused on " + channelLabel(s.channel);
    if (s.live)
        return "Live on " + channelLabel(s.channel);
    return "Receiver connected";
}

BandTone receiverTone(const StatusBandState& s) {
    switch (s.link) {
        case ReceiverLink::Connected:
            return s.live ? BandTone::Good : BandTone::Normal;
        case ReceiverLink::NotFound:
        case ReceiverLink::Unplugged:
            return BandTone::Warning;
        default:
            return BandTone::Normal;
    }
}

struct NextStart {
    int64_t start = 0;
    const char* verb = "";
    int32_t channel = 0;
};

// The earliest entry of the day's lists that starts at or after `from`.
std::optional<NextStart> earliest(const DayLists& lists, int64_t from) {
    std::optional<NextStart> best;
    const auto consider = [&](const std::vector<DayEntry>& entries, const char* verb) {
        for (const DayEntry& e : entries)
            if (e.start >= from && (!best || e.start < best->start))
                best = NextStart{e.start, verb, e.channel};
    };
    consider(lists.record, "record");
    consider(lists.capture, "capture");
    return best;
}

}  // namespace

std::string formatElapsed(uint32_t seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%02u:%02u:%02u", seconds / 3600, seconds / 60 % 60,
                  seconds % 60);
    return text;
}

std::string formatBytes(uint64_t bytes) {
    char text[32];
    constexpr double kKiB = 1024.0, kMiB = kKiB * 1024, kGiB = kMiB * 1024;
    const double b = static_cast<double>(bytes);
    if (b >= kGiB)
        std::snprintf(text, sizeof text, "%.2f GB", b / kGiB);
    else if (b >= kMiB)
        std::snprintf(text, sizeof text, "%.1f MB", b / kMiB);
    else
        std::snprintf(text, sizeof text, "%" PRIu64 " KB", (bytes + 1023) / 1024);
    return text;
}

std::vector<StatusSegment> statusBandSegments(const StatusBandState& s) {
    std::vector<StatusSegment> out;
    out.push_back({receiverText(s), receiverTone(s)});
    if (s.noReceiverPermission)
        out.push_back({"No permission: channel select and alarms unavailable", BandTone::Warning});
    if (s.recording) {
        std::string text = "REC " + formatElapsed(s.recordingSeconds);
        if (s.recordingStalled) {
            out.push_back({text + "  Recording is not being written", BandTone::Alarm});
        } else {
            if (!s.recordFile.empty())
                text += "  " + s.recordFile + "  " + formatBytes(s.recordFileBytes);
            out.push_back({text, BandTone::Alarm});
        }
    }
    if (!s.snapshotFile.empty())
        out.push_back({"Snapshot " + s.snapshotFile, BandTone::Good});
    if (s.lastAlarm) {
        const AlarmRecord& a = *s.lastAlarm;
        std::string text = std::string("Alarm: ") +
                           (a.kind == AlarmKind::Motion ? "motion" : "sound") + " on " +
                           channelLabel(a.channel) + " at " + timeOfDay(a.time, true);
        if (s.alarmsToday > 0)
            text += " (" + std::to_string(s.alarmsToday) + " today)";
        out.push_back({text, BandTone::Warning});
    }
    if (!s.nextTask.empty())
        out.push_back({s.nextTask, BandTone::Normal});
    std::string storage;
    if (s.freeBytes)
        storage = formatBytes(*s.freeBytes) + " free";
    if (s.recordLimitMB > 0) {
        if (!storage.empty())
            storage += ", ";
        storage += "records " + std::to_string(s.recordFolderMB) + " of " +
                   std::to_string(s.recordLimitMB) + " MB";
    }
    if (!storage.empty())
        out.push_back({storage, BandTone::Dim});
    if (!s.streamAddress.empty())
        out.push_back({"Stream " + s.streamAddress, BandTone::Dim});
    return out;
}

std::string statusBandLine(const StatusBandState& state) {
    std::string line;
    for (const StatusSegment& segment : statusBandSegments(state)) {
        if (!line.empty())
            line += "  |  ";
        line += segment.text;
    }
    return line;
}

std::string nextTaskText(const std::vector<TaskRecord>& tasks, int64_t now,
                         const SystemTime& today) {
    if (tasks.empty())
        return {};
    std::optional<NextStart> next = earliest(buildDayLists(tasks, now, today), now + 1);
    bool tomorrow = false;
    if (!next) {
        // Midnight of the next local day, whatever the length of today.
        const int64_t midnight =
            localCalendarSeconds(today.year, today.month, today.day, 0, 0, 0) + 36 * 3600;
        const SystemTime day = toLocalSystemTime(midnight);
        const int64_t start = localCalendarSeconds(day.year, day.month, day.day, 0, 0, 0);
        SystemTime at = day;
        at.hour = at.minute = at.second = 0;
        next = earliest(buildDayLists(tasks, start, at), start);
        tomorrow = true;
    }
    if (!next)
        return {};
    const std::string channel =
        next->channel >= 0 && next->channel <= 3 ? channelLabel(next->channel) : "live channel";
    return std::string("Next: ") + next->verb + " " + channel + (tomorrow ? " tomorrow" : "") +
           " at " + timeOfDay(toLocalSystemTime(next->start), false);
}

std::string elideText(std::string_view text, int maxWidth, const TextWidthFn& width) {
    if (width(text) <= maxWidth)
        return std::string(text);
    static constexpr std::string_view kEllipsis = "\xE2\x80\xA6";
    if (width(kEllipsis) > maxWidth)
        return {};
    // Character boundaries: bytes that do not continue a UTF-8 sequence.
    std::size_t keep = text.size();
    while (keep > 0) {
        do
            --keep;
        while (keep > 0 && (static_cast<unsigned char>(text[keep]) & 0xC0) == 0x80);
        std::string candidate(text.substr(0, keep));
        while (!candidate.empty() && candidate.back() == ' ')
            candidate.pop_back();
        candidate += kEllipsis;
        if (width(candidate) <= maxWidth)
            return candidate;
    }
    return std::string(kEllipsis);
}

std::vector<BandItem> layoutStatusBand(const std::vector<StatusSegment>& segments, int bandWidth,
                                       const TextWidthFn& width) {
    std::vector<BandItem> items;
    int x = 0;
    for (const StatusSegment& segment : segments) {
        const int left = items.empty() ? 0 : x + kBandGap;
        const int room = bandWidth - left;
        if (room <= 0)
            break;
        const int w = width(segment.text);
        if (w <= room) {
            items.push_back({left, w, segment.text, segment.tone});
            x = left + w;
            continue;
        }
        std::string shortened = elideText(segment.text, room, width);
        if (!shortened.empty()) {
            const int sw = width(shortened);
            items.push_back({left, sw, std::move(shortened), segment.tone});
        }
        break;
    }
    return items;
}

StatusBandState gatherStatusBand(Clock& clock, FreeSpaceCache& cache) {
    StatusBandState s;
    const StatusBoard& board = statusBoard();
    s.link = board.link();
    s.live = loadRelaxed(gState.liveViewOn) && !loadRelaxed(gState.livePaused);
    s.paused = loadRelaxed(gState.livePaused) != 0;
    s.channel = std::clamp(loadRelaxed(gState.currentChannel), 0, 3);
    const uint32_t tick = clock.tickCount();
    CaptureEngine* engine = CaptureEngine::instance();
    s.recording = loadRelaxed(gState.recordingOn) != 0;
    if (s.recording) {
        if (const auto start = board.recordingStart())
            s.recordingSeconds = (tick - *start) / 1000;
        if (engine) {
            s.recordingStalled = engine->recordingStalled();
            const RecordFileInfo file = engine->recordingPort().recordFile();
            s.recordFile = fileNameOf(file.path);
            s.recordFileBytes = file.bytes;
        }
    }
    const SnapshotRecord snapshot = board.lastSnapshot();
    if (snapshot.sequence != 0 && tick - snapshot.tick < kSnapshotNoticeMs)
        s.snapshotFile = fileNameOf(snapshot.path);

    const std::string folder = nativeFolderPath(loadRelaxedString(gConfig.recordFolder).c_str());
    if (!cache.asked || cache.folder != folder || tick - cache.askedTick >= 5000) {
        std::error_code error;
        const std::filesystem::space_info space = std::filesystem::space(folder, error);
        cache.freeBytes = error ? std::nullopt : std::optional<uint64_t>(space.available);
        cache.folder = folder;
        cache.askedTick = tick;
        cache.asked = true;
    }
    s.freeBytes = cache.freeBytes;
    s.recordFolderMB = loadRelaxed(gState.recordFolderMB);
    s.recordLimitMB = loadRelaxed(gConfig.recordLimitMB);

    const std::vector<TaskRecord> tasks = taskList().snapshot();
    if (!tasks.empty()) {
        if (loadRelaxed(gState.planTasksOn))
            s.nextTask = nextTaskText(tasks, clock.calendarSeconds(), clock.localTime());
        else
            s.nextTask = "Scheduled tasks off";
    }
    s.lastAlarm = board.lastAlarm();
    s.alarmsToday = board.alarmsOn(clock.localTime());
    s.noReceiverPermission = engine && engine->receiver().noPermission();
    if (const StreamSettings stream = readStreamSettings(preferences()); stream.enabled)
        s.streamAddress = streamAddress(stream, thisHostName());
    return s;
}

TextFont statusBandFont() {
    return {"DejaVu Sans", 12, false, true};
}

Rgb bandToneColour(BandTone tone) {
    switch (tone) {
        case BandTone::Dim:
            return {0x8a, 0x93, 0xa3};
        case BandTone::Good:
            return {0x7c, 0xd9, 0x92};
        case BandTone::Warning:
            return {0xff, 0xc1, 0x5c};
        case BandTone::Alarm:
            return {0xff, 0x76, 0x76};
        case BandTone::Normal:
            break;
    }
    return {0xd8, 0xdc, 0xe4};
}

void paintStatusBand(Canvas& canvas, const Rect& band, const StatusBandState& state) {
    canvas.setFont(statusBandFont());
    const auto width = [&canvas](std::string_view text) { return canvas.textExtent(text).width; };
    const int height = canvas.textExtent("Ag").height;
    const int y = band.top + (band.height() - height) / 2;
    for (const BandItem& item : layoutStatusBand(statusBandSegments(state), band.width(), width))
        canvas.drawText(band.left + item.x, y, item.text, bandToneColour(item.tone));
}

}  // namespace vidora
