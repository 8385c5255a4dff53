#pragma once
// The sound path's fold step and the volume curve of the sound output.
#include <cstddef>
#include <cstdint>

namespace vidora::media {

// Folds 16-bit little-endian stereo to doubled mono in place: every 4-byte frame (left, right)
// becomes (left + right, left + right), the sum clamped to -32768..32767. Trailing bytes that do
// not make a whole frame are left as they are.
void foldToDoubledMono(uint8_t* data, std::size_t length);

// Hundredths of a decibel (-10000 = silence .. 0 = full) to the volume element's linear factor:
// 10^(hundredths / 2000); -10000 and below give exactly 0, values above 0 give 1.
double linearVolume(int32_t hundredthsOfDb);

}  // namespace vidora::media
