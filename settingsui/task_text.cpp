#include "settingsui/task_text.h"

namespace vidora::settingsui {

namespace {

QString clockText(const SystemTime& t) {
    return QString::asprintf("%02d:%02d:%02d", t.hour, t.minute, t.second);
}

QString hmsText(std::int32_t seconds) {
    return QString::asprintf("%02d:%02d:%02d", seconds / 3600, seconds % 3600 / 60, seconds % 60);
}

}  // namespace

QString weekdayName(int weekday) {
    static const char* const kNames[7] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                          "Thursday", "Friday", "Saturday"};
    return weekday >= 0 && weekday < 7 ? QString::fromLatin1(kNames[weekday]) : QString();
}

QString taskChannelText(const TaskRecord& task) {
    if (task.channel >= 0 && task.channel < 4) {
        return QStringLiteral("CH%1").arg(task.channel + 1);
    }
    return task.channel == 4 ? QStringLiteral("ALL") : QString();
}

QString taskTimingText(const TaskRecord& task) {
    const SystemTime& t = task.startTime;
    switch (task.frequency) {
        case 1:
            return QStringLiteral("Everyday ") + clockText(t);
        case 2:
            return QStringLiteral("Weekly %1 ").arg(weekdayName(task.weekday)) + clockText(t);
        case 3:
            return QStringLiteral("Monthly %1 ").arg(task.monthDay) + clockText(t);
        case 4:
            return QString::asprintf("Once %04d-%02d-%02d ", t.year, t.month, t.day) + clockText(t);
        default:
            return QString();
    }
}

QString taskOperationText(const TaskRecord& task) {
    if (task.operation == 1) {
        return QStringLiteral("Record video in ") + hmsText(task.durationSeconds) +
               QLatin1Char('.');
    }
    if (task.operation == 2) {
        return QString::asprintf("Capture photos in %d second(s) at %d frames per second.",
                                 task.durationSeconds, task.captureFps);
    }
    return QString();
}

}  // namespace vidora::settingsui
