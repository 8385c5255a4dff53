#pragma once
// The texts of one task's row in the Plan task list.
#include <QString>

#include "app/records.h"

namespace vidora::settingsui {

QString taskChannelText(const TaskRecord& task);    // "CH1" .. "CH4", "ALL"
QString taskTimingText(const TaskRecord& task);     // "Weekly Tuesday 07:05:00", ...
QString taskOperationText(const TaskRecord& task);  // "Record video in 01:30:00.", ...

// Names of the weekdays, Sunday first, as the weekday list and the timing texts show them.
QString weekdayName(int weekday);

}  // namespace vidora::settingsui
