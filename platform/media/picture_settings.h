#pragma once
// The receiver's picture settings as the settings record stores them: the video standard and
// the adjustment kinds. The values are the stored integers, so a record field converts with
// one call where it is read and the rest of the code works with names.
#include <cstdint>

namespace vidora::media {

// VidoraConfig::videoStandard.
enum class VideoStandard : int32_t { Pal = 1, Ntsc = 2 };

// Loading the settings keeps the stored field at 1 or 2; anything else is taken as PAL, the
// receiver's default.
constexpr VideoStandard videoStandardOf(int32_t stored) {
    return stored == static_cast<int32_t>(VideoStandard::Ntsc) ? VideoStandard::Ntsc
                                                               : VideoStandard::Pal;
}

// The picture size the standard gives before the receiver reports its format.
inline constexpr int kNominalVideoWidth = 720;
constexpr int nominalVideoHeight(VideoStandard standard) {
    return standard == VideoStandard::Ntsc ? 480 : 576;
}

// The adjustments the viewer applies; the values are the settings dialog's callback codes
// (brightness .. saturation), and hue, which only the receiver's own defaults set.
enum class AdjustmentKind : int32_t {
    Brightness = 1,
    Sharpness = 2,
    Contrast = 3,
    Saturation = 4,
    Hue = 5,
};

}  // namespace vidora::media
