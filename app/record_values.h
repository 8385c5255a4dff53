#pragma once
// What the integers stored in the settings and task records mean. The records (app/records.h)
// keep plain int32_t fields because their bytes are the settings file and the settings dialog's
// record; code converts a field once where it reads it and then works with these names.
#include <cstdint>

namespace vidora {

// TaskRecord::channel and the timers' task channels: 0..3 name a channel, this value follows
// whichever channel is live.
inline constexpr int32_t kWhicheverChannelIsLive = 4;

// Whether a task on `taskChannel` runs while `liveChannel` is live.
constexpr bool taskChannelMatches(int32_t taskChannel, int liveChannel) {
    return taskChannel == kWhicheverChannelIsLive || taskChannel == liveChannel;
}

// recordLimitPolicy and pictureLimitPolicy: what happens when a folder reaches its limit.
enum class LimitPolicy : int32_t { DeleteOldest = 1, StopAndNotify = 2 };

// Only 2 stops; any other stored value deletes the oldest files, as the default 1 does.
constexpr LimitPolicy limitPolicyOf(int32_t stored) {
    return stored == static_cast<int32_t>(LimitPolicy::StopAndNotify) ? LimitPolicy::StopAndNotify
                                                                      : LimitPolicy::DeleteOldest;
}

// recordImageSize and pictureSize: the picture kept, from the live picture of w x h.
enum class SizeMode : int32_t {
    Full = 1,       // w x h
    HalfWidth = 2,  // w/2 x h
    HalfSize = 3,   // w/2 x h/2
};

// Loading the settings keeps both fields at 1..3; the recording takes any other value as half
// size, the smallest file.
constexpr SizeMode sizeModeOf(int32_t stored) {
    switch (stored) {
        case static_cast<int32_t>(SizeMode::Full):
            return SizeMode::Full;
        case static_cast<int32_t>(SizeMode::HalfWidth):
            return SizeMode::HalfWidth;
        default:
            return SizeMode::HalfSize;
    }
}

}  // namespace vidora
