#pragma once
// The 16-byte calendar record that the settings file and the task records store
// (year, month, day of week, day, hour, minute, second, milliseconds; 16 bits each).
#include <cstdint>

namespace vidora {

struct SystemTime {
    uint16_t year = 0;
    uint16_t month = 0;      // 1..12
    uint16_t dayOfWeek = 0;  // 0 = Sunday
    uint16_t day = 0;        // 1..31
    uint16_t hour = 0;
    uint16_t minute = 0;
    uint16_t second = 0;
    uint16_t milliseconds = 0;
};
static_assert(sizeof(SystemTime) == 16);

}  // namespace vidora
