#pragma once
// Small rules shared by the schedule supervisor and its timers, over the shared timer state.
#include <algorithm>
#include <cstdint>
#include <limits>

#include "engine/timer_state.h"
#include "platform/relaxed.h"

namespace vidora {

// Counts a time left down by the elapsed time, not below 0. The caller holds the timer lock, so
// that a top-up by the supervisor or a clearing switch is not lost in between.
struct CountDown {
    int32_t before = 0;
    int32_t after = 0;
};
inline CountDown countDown(int32_t& counter, uint32_t elapsedMs) {
    const int32_t before = loadRelaxed(counter);
    const int32_t after =
        static_cast<int32_t>(std::max<int64_t>(0, int64_t{before} - int64_t{elapsedMs}));
    storeRelaxed(counter, after);
    return {before, after};
}

// Seconds of the settings as milliseconds, saturating instead of overflowing.
inline int32_t secondsToMs(int32_t seconds) {
    const int64_t ms = int64_t{seconds} * 1000;
    if (ms < 0)
        return 0;
    return static_cast<int32_t>(std::min<int64_t>(ms, std::numeric_limits<int32_t>::max()));
}

// Whether motion or sound was seen during the last `windowMs` before multimedia time `now`. A
// last time of 0 means that kind was never seen (or is switched off).
inline bool alarmSeenWithin(uint32_t now, int32_t windowMs) {
    const uint32_t window = windowMs > 0 ? static_cast<uint32_t>(windowMs) : 0u;
    const uint32_t motion = loadRelaxed(gTimer.lastMotionTime);
    const uint32_t sound = loadRelaxed(gTimer.lastSoundTime);
    return (motion != 0 && now - motion <= window) || (sound != 0 && now - sound <= window);
}

// Whether a task that started at `mine` started strictly later than the other kind's task. A
// task of the other kind that is not running (channel -1) does not compete.
inline bool startedAfterOther(int64_t mine, int32_t otherChannel, int64_t otherStart) {
    return otherChannel == -1 || mine > otherStart;
}

// Whether two running tasks are bound to different definite channels (neither is "whichever
// is live"), so that only one of them can have its channel.
inline bool channelsCompete(int32_t a, int32_t b) {
    return a != -1 && b != -1 && a != 4 && b != 4 && a != b;
}

}  // namespace vidora
