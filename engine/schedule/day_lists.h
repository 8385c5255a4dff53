#pragma once
// The scheduled tasks due today, as two lists (recordings, photo series) of start and end times
// in calendar seconds. Built from the task list for one local date and then consumed entry by
// entry as the tasks start or pass. Owned by the schedule supervisor; used on its thread only.
#include <cstdint>
#include <vector>

#include "app/records.h"
#include "platform/system_time.h"

namespace vidora {

struct DayEntry {
    int64_t start = 0;  // calendar seconds
    int64_t end = 0;
    int32_t channel = 0;  // 0..3, 4 = whichever channel is live
    int32_t fps = 0;      // photo rate of a capture task
};

struct DayLists {
    std::vector<DayEntry> record;
    std::vector<DayEntry> capture;
    // The local date the lists were built for.
    uint16_t year = 0;
    uint16_t month = 0;
    uint16_t day = 0;

    bool builtFor(const SystemTime& today) const {
        return year == today.year && month == today.month && day == today.day;
    }
};

// Calendar seconds of a local date and time of day (the process's time zone).
int64_t localCalendarSeconds(int year, int month, int day, int hour, int minute, int second);

// The tasks that are due today (`today`, the local date and time at calendar second `now`) and
// have not ended yet: daily ones, weekly ones on their weekday, monthly ones on their day of the
// month, once ones on their date; each at its time of day, for its length. An occurrence of
// yesterday that runs past midnight and has not ended yet is due as well (for what is left of
// it), as at start-up after midnight.
DayLists buildDayLists(const std::vector<TaskRecord>& tasks, int64_t now, const SystemTime& today);

// The lists for a new local date, when `previous` were yesterday's: today's occurrences, and
// the entries of `previous` that have not ended and not started yet (blocked at midnight by
// alarm work). Yesterday's tasks that started keep running in the timer state and are not
// brought back, so that one which was ended (for instance by a channel switch) stays ended.
DayLists buildNextDayLists(const DayLists& previous, const std::vector<TaskRecord>& tasks,
                           int64_t now, const SystemTime& today);

// One evaluation (the capture list first, then the record list): entries that have ended go;
// entries whose start has come become the running capture or record task in the timer state,
// unless alarm work is due and the task is bound to a channel other than the live one. The
// caller holds the timer lock while threads run.
void evaluateDayLists(DayLists& lists, int64_t now, int liveChannel);

}  // namespace vidora
