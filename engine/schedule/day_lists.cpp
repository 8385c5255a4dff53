#include "engine/schedule/day_lists.h"

#include <algorithm>
#include <ctime>
#include <limits>

#include "engine/timer_state.h"
#include "platform/relaxed.h"

namespace vidora {

namespace {

enum Operation : int32_t { kRecordVideo = 1, kCapturePhotos = 2 };
enum Frequency : int32_t { kDaily = 1, kWeekly = 2, kMonthly = 3, kOnce = 4 };

bool dueToday(const TaskRecord& task, const SystemTime& today) {
    switch (task.frequency) {
        case kWeekly:
            return task.weekday == today.dayOfWeek;
        case kMonthly:
            return task.monthDay == today.day;
        case kOnce:
            return task.startTime.year == today.year && task.startTime.month == today.month &&
                   task.startTime.day == today.day;
        default:
            return true;  // daily, and anything else
    }
}

int32_t millisecondsLeft(int64_t end, int64_t now) {
    // A length of more than 24 days saturates instead of overflowing the counter.
    const int64_t ms = (end - now) * 1000;
    return static_cast<int32_t>(std::min<int64_t>(ms, std::numeric_limits<int32_t>::max()));
}

}  // namespace

int64_t localCalendarSeconds(int year, int month, int day, int hour, int minute, int second) {
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    t.tm_isdst = -1;  // whatever applies on that date
    return static_cast<int64_t>(std::mktime(&t));
}

DayLists buildDayLists(const std::vector<TaskRecord>& tasks, int64_t now, const SystemTime& today) {
    DayLists lists;
    lists.year = today.year;
    lists.month = today.month;
    lists.day = today.day;
    for (const TaskRecord& task : tasks) {
        if (task.operation != kRecordVideo && task.operation != kCapturePhotos)
            continue;
        // A channel that does not exist, or a time of day that does not, never comes.
        if (task.channel < 0 || task.channel > 4)
            continue;
        const SystemTime& at = task.startTime;
        if (at.hour > 23 || at.minute > 59 || at.second > 59)
            continue;
        const int64_t start =
            localCalendarSeconds(today.year, today.month, today.day, at.hour, at.minute, at.second);
        const int64_t end = start + task.durationSeconds;
        if (now >= end)
            continue;
        if (!dueToday(task, today))
            continue;
        DayEntry entry{start, end, task.channel, task.captureFps};
        (task.operation == kRecordVideo ? lists.record : lists.capture).push_back(entry);
    }
    return lists;
}

void evaluateDayLists(DayLists& lists, int64_t now, int liveChannel) {
    const bool alarmWorkDue =
        loadRelaxed(gTimer.alarmCaptureLeftMs) > 0 || loadRelaxed(gTimer.alarmRecordLeftMs) > 0;
    auto evaluate = [&](std::vector<DayEntry>& list, bool capture) {
        for (auto it = list.begin(); it != list.end();) {
            if (now >= it->end) {
                it = list.erase(it);
                continue;
            }
            const bool blocked = alarmWorkDue && it->channel != 4 && it->channel != liveChannel;
            if (now < it->start || blocked) {
                ++it;
                continue;
            }
            if (capture) {
                storeRelaxed(gTimer.captureTaskStart, it->start);
                storeRelaxed(gTimer.captureTaskFps, it->fps);
                storeRelaxed(gTimer.captureTaskLeftMs, millisecondsLeft(it->end, now));
                storeRelaxed(gTimer.captureTaskChannel, it->channel);
            } else {
                storeRelaxed(gTimer.recordTaskStart, it->start);
                storeRelaxed(gTimer.recordTaskLeftMs, millisecondsLeft(it->end, now));
                storeRelaxed(gTimer.recordTaskChannel, it->channel);
            }
            it = list.erase(it);
        }
    };
    evaluate(lists.capture, true);
    evaluate(lists.record, false);
}

}  // namespace vidora
