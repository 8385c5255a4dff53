#pragma once
// The 16-byte calendar record that the settings file and the task records store
// (year, month, day of week, day, hour, minute, second, milliseconds; 16 bits each).
#include <cstdint>

namespace vidora {

struct SystemTime {
    uint16_t year;
    uint16_t month;      // 1..12
    uint16_t dayOfWeek;  // 0 = Sunday
    uint16_t day;        // 1..31
    uint16_t hour;
    uint16_t minute;
    uint16_t second;
    uint16_t milliseconds;
};
static_assert(sizeof(SystemTime) == 16);

}  // namespace vidora
