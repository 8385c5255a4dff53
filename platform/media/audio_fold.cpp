#include "platform/media/audio_fold.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace vidora::media {

void foldToDoubledMono(uint8_t* data, std::size_t length) {
    const std::size_t frames = length / 4;
    for (std::size_t i = 0; i < frames; ++i) {
        uint8_t* frame = data + i * 4;
        // Little-endian samples, assembled byte-wise so the fold does not depend on the host.
        const int left = static_cast<int16_t>(frame[0] | (frame[1] << 8));
        const int right = static_cast<int16_t>(frame[2] | (frame[3] << 8));
        // Loud sound clips at full scale; a wrapped sum would turn it into noise.
        const auto sum = static_cast<uint16_t>(std::clamp(left + right, -32768, 32767));
        frame[0] = frame[2] = static_cast<uint8_t>(sum & 0xFF);
        frame[1] = frame[3] = static_cast<uint8_t>(sum >> 8);
    }
}

double linearVolume(int32_t hundredthsOfDb) {
    if (hundredthsOfDb <= -10000)
        return 0.0;
    if (hundredthsOfDb >= 0)
        return 1.0;
    return std::pow(10.0, static_cast<double>(hundredthsOfDb) / 2000.0);
}

}  // namespace vidora::media
