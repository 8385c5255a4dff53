#pragma once
// The record's stored choices as the dialog's pages read them. The viewer takes an unknown
// stored value as its default; the dialog instead shows it as no choice and keeps it unless
// the user picks one, so that confirming the dialog never rewrites a value nobody touched.
#include <cstdint>
#include <optional>

#include "app/record_values.h"
#include "platform/media/picture_settings.h"

namespace vidora::settingsui {

using media::VideoStandard;

// The integer a choice is stored as.
template <typename Choice>
constexpr int32_t storedValue(Choice choice) {
    return static_cast<int32_t>(choice);
}

// The stored standard when it is one of the two the receiver knows.
constexpr std::optional<VideoStandard> knownStandard(int32_t stored) {
    if (stored == storedValue(VideoStandard::Pal))
        return VideoStandard::Pal;
    if (stored == storedValue(VideoStandard::Ntsc))
        return VideoStandard::Ntsc;
    return std::nullopt;
}

// The standard list shows PAL in its first row and NTSC in its second.
constexpr int standardRow(VideoStandard standard) {
    return standard == VideoStandard::Pal ? 0 : 1;
}
constexpr VideoStandard standardAtRow(int row) {
    return row == 0 ? VideoStandard::Pal : VideoStandard::Ntsc;
}

// The highest frame rate the standard carries.
constexpr int maxFramesPerSecond(std::optional<VideoStandard> standard) {
    return standard == VideoStandard::Pal ? 25 : 30;
}

}  // namespace vidora::settingsui
