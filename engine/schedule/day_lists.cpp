#include "engine/schedule/day_lists.h"

#include <algorithm>
#include <ctime>
#include <limits>

#include "app/record_values.h"
#include "engine/timer_state.h"
#include "platform/clock.h"
#include "platform/relaxed.h"

namespace vidora {

namespace {

enum Operation : int32_t { kRecordVideo = 1, kCapturePhotos = 2 };
enum Frequency : int32_t { kDaily = 1, kWeekly = 2, kMonthly = 3, kOnce = 4 };

// Whether the task has an occurrence on the local date `day` (its weekday in `dayOfWeek`).
bool dueOn(const TaskRecord& task, int year, int month, int day, int dayOfWeek) {
    switch (task.frequency) {
        case kWeekly:
            return task.weekday == dayOfWeek;
        case kMonthly:
            return task.monthDay == day;
        case kOnce:
            return task.startTime.year == year && task.startTime.month == month &&
                   task.startTime.day == day;
        default:
            return true;  // daily, and anything else
    }
}

bool usable(const TaskRecord& task) {
    if (task.operation != kRecordVideo && task.operation != kCapturePhotos)
        return false;
    // A channel that does not exist, or a time of day that does not, never comes.
    if (task.channel < 0 || task.channel > kWhicheverChannelIsLive)
        return false;
    const SystemTime& at = task.startTime;
    return at.hour <= 23 && at.minute <= 59 && at.second <= 59;
}

// Appends the task's occurrence on the given local date unless it has ended by `now`.
void addOccurrence(DayLists& lists, const TaskRecord& task, int64_t now, int year, int month,
                   int day, int dayOfWeek) {
    const SystemTime& at = task.startTime;
    const int64_t start = localCalendarSeconds(year, month, day, at.hour, at.minute, at.second);
    const int64_t end = start + task.durationSeconds;
    if (now >= end)
        return;
    if (!dueOn(task, year, month, day, dayOfWeek))
        return;
    DayEntry entry{start, end, task.channel, task.captureFps};
    (task.operation == kRecordVideo ? lists.record : lists.capture).push_back(entry);
}

// Today's occurrences of the tasks that have not ended yet.
DayLists todaysOccurrences(const std::vector<TaskRecord>& tasks, int64_t now,
                           const SystemTime& today) {
    DayLists lists;
    lists.year = today.year;
    lists.month = today.month;
    lists.day = today.day;
    for (const TaskRecord& task : tasks) {
        if (usable(task))
            addOccurrence(lists, task, now, today.year, today.month, today.day, today.dayOfWeek);
    }
    return lists;
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
    // Yesterday's occurrences that run past midnight into `now` come first, so that one of
    // today's that is due as well (it started later) is the one left running.
    const SystemTime yesterday =
        toLocalSystemTime(localCalendarSeconds(today.year, today.month, today.day - 1, 12, 0, 0));
    DayLists lists;
    for (const TaskRecord& task : tasks) {
        if (usable(task))
            addOccurrence(lists, task, now, yesterday.year, yesterday.month, yesterday.day,
                          yesterday.dayOfWeek);
    }
    DayLists todays = todaysOccurrences(tasks, now, today);
    todays.record.insert(todays.record.begin(), lists.record.begin(), lists.record.end());
    todays.capture.insert(todays.capture.begin(), lists.capture.begin(), lists.capture.end());
    return todays;
}

DayLists buildNextDayLists(const DayLists& previous, const std::vector<TaskRecord>& tasks,
                           int64_t now, const SystemTime& today) {
    DayLists lists = todaysOccurrences(tasks, now, today);
    auto carry = [now](const std::vector<DayEntry>& from, std::vector<DayEntry>& to) {
        std::vector<DayEntry> waiting;
        for (const DayEntry& entry : from) {
            if (now < entry.end)
                waiting.push_back(entry);
        }
        to.insert(to.begin(), waiting.begin(), waiting.end());
    };
    carry(previous.record, lists.record);
    carry(previous.capture, lists.capture);
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
            const bool blocked = alarmWorkDue && !taskChannelMatches(it->channel, liveChannel);
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
