#pragma once
// Colour bars for the picture tests: eight bars of known RGB colours turned into a packed 4:2:2
// picture with full-range BT.601 (how the live view reads the receiver's pictures), and the
// places to compare them at once a picture has been converted, scaled or compressed.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace vidora::test {

struct Rgb8 {
    int r = 0, g = 0, b = 0;
};

// 75 % bars: white, yellow, cyan, green, magenta, red, blue, black. Below full scale, so no
// channel of a correct conversion clamps and an error shows in every channel it touches.
inline constexpr std::array<Rgb8, 8> kColourBars = {{{191, 191, 191},
                                                     {191, 191, 0},
                                                     {0, 191, 191},
                                                     {0, 191, 0},
                                                     {191, 0, 191},
                                                     {191, 0, 0},
                                                     {0, 0, 191},
                                                     {0, 0, 0}}};

struct Yuv8 {
    uint8_t y = 0, u = 128, v = 128;
};

inline uint8_t toByte(double v) {
    return static_cast<uint8_t>(std::clamp(std::lround(v), 0L, 255L));
}

// Full-range BT.601 (Kr 0.299, Kb 0.114): luma 0-255, chroma centred on 128.
inline Yuv8 fullRangeYuv(Rgb8 c) {
    const double y = 0.299 * c.r + 0.587 * c.g + 0.114 * c.b;
    return {toByte(y), toByte(128 + (c.b - y) / 1.772), toByte(128 + (c.r - y) / 1.402)};
}

// A width x height packed 4:2:2 picture of the eight bars side by side, bar i from column
// i * width / 8 (each pixel pair takes the bar of its left pixel).
inline std::vector<uint8_t> colourBarsUyvy(int width, int height) {
    std::vector<uint8_t> p(static_cast<std::size_t>(width) * height * 2);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; x += 2) {
            const Yuv8 c = fullRangeYuv(kColourBars[static_cast<std::size_t>(x * 8 / width)]);
            uint8_t* q = &p[(static_cast<std::size_t>(y) * width + x) * 2];
            q[0] = c.u;
            q[1] = c.y;
            q[2] = c.v;
            q[3] = c.y;
        }
    }
    return p;
}

// The middle column of bar i in a picture `width` pixels wide.
inline int barCentre(int bar, int width) {
    return (2 * bar + 1) * width / 16;
}

// Largest channel difference between two colours.
inline int colourDistance(Rgb8 a, Rgb8 b) {
    return std::max({std::abs(a.r - b.r), std::abs(a.g - b.g), std::abs(a.b - b.b)});
}

inline std::string describe(Rgb8 c) {
    return "(" + std::to_string(c.r) + "," + std::to_string(c.g) + "," + std::to_string(c.b) + ")";
}

}  // namespace vidora::test
