#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>
#include <vector>

#include "platform/media/audio_fold.h"

namespace vidora::media {
namespace {

std::vector<uint8_t> frames(std::initializer_list<std::pair<int16_t, int16_t>> samples) {
    std::vector<uint8_t> bytes;
    for (auto [l, r] : samples) {
        for (int16_t s : {l, r}) {
            const auto u = static_cast<uint16_t>(s);
            bytes.push_back(uint8_t(u & 0xFF));
            bytes.push_back(uint8_t(u >> 8));
        }
    }
    return bytes;
}

int16_t sampleAt(const std::vector<uint8_t>& bytes, std::size_t i) {
    return static_cast<int16_t>(bytes[i * 2] | (bytes[i * 2 + 1] << 8));
}

TEST(AudioFold, StoresTheClampedSumInBothSamplesOfEveryFrame) {
    auto data = frames({{100, 23},
                        {-300, 50},
                        {30000, 10000},
                        {-30000, -10000},
                        {-1, 1},
                        {32767, 32767},
                        {-32768, -32768},
                        {32767, -32768},
                        {20000, 12767}});
    foldToDoubledMono(data.data(), data.size());
    const int16_t expected[] = {123, -250, 32767, -32768, 0, 32767, -32768, -1, 32767};
    for (std::size_t f = 0; f < std::size(expected); ++f) {
        EXPECT_EQ(sampleAt(data, f * 2), expected[f]) << "frame " << f;
        EXPECT_EQ(sampleAt(data, f * 2 + 1), expected[f]) << "frame " << f;
    }
}

TEST(AudioFold, ALoudSineClipsAtFullScaleAndNeverJumpsSign) {
    // 1 kHz at 48 kHz, both channels near full scale: the sum reaches twice full scale.
    const double amplitude = 32000;
    std::vector<uint8_t> data;
    double maxStep = 0;
    double previous = 0;
    for (int i = 0; i < 480; ++i) {
        const double s = amplitude * std::sin(2 * M_PI * i / 48.0);
        const auto sample = static_cast<int16_t>(std::lround(s));
        auto frame = frames({{sample, sample}});
        data.insert(data.end(), frame.begin(), frame.end());
        if (i > 0)
            maxStep = std::max(maxStep, std::abs(2 * s - 2 * previous));
        previous = s;
    }
    foldToDoubledMono(data.data(), data.size());
    int highest = 0, lowest = 0, clipped = 0;
    for (std::size_t f = 0; f < data.size() / 4; ++f) {
        const int v = sampleAt(data, f * 2);
        highest = std::max(highest, v);
        lowest = std::min(lowest, v);
        clipped += v == 32767 || v == -32768;
        if (f > 0) {
            const int before = sampleAt(data, (f - 1) * 2);
            ASSERT_LE(std::abs(v - before), maxStep + 2) << "frame " << f;
        }
    }
    EXPECT_EQ(highest, 32767);
    EXPECT_EQ(lowest, -32768);
    EXPECT_GT(clipped, 100);  // the tops of every wave are flat
}

TEST(AudioFold, LeavesATrailingPartialFrameAlone) {
    auto data = frames({{1, 2}});
    data.push_back(0x7F);
    data.push_back(0x11);
    data.push_back(0x22);
    foldToDoubledMono(data.data(), data.size());
    EXPECT_EQ(sampleAt(data, 0), 3);
    EXPECT_EQ(sampleAt(data, 1), 3);
    EXPECT_EQ(data[4], 0x7F);
    EXPECT_EQ(data[5], 0x11);
    EXPECT_EQ(data[6], 0x22);
    foldToDoubledMono(data.data(), 0);  // an empty block is fine
}

TEST(Volume, HundredthsOfDecibelMapToTheLinearFactor) {
    EXPECT_EQ(linearVolume(-10000), 0.0);
    EXPECT_EQ(linearVolume(-12000), 0.0);
    EXPECT_EQ(linearVolume(0), 1.0);
    EXPECT_EQ(linearVolume(500), 1.0);
    EXPECT_NEAR(linearVolume(-2000), 0.1, 1e-12);
    EXPECT_NEAR(linearVolume(-2500), std::pow(10.0, -1.25), 1e-12);  // volume 50 of 100
    EXPECT_NEAR(linearVolume(-600), 0.501187, 1e-6);
    EXPECT_NEAR(linearVolume(-9999), std::pow(10.0, -9999 / 2000.0), 1e-15);
}

}  // namespace
}  // namespace vidora::media
