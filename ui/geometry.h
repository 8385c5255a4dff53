#pragma once
// Small value types shared by the window framework, the canvas and the skin code.
#include <algorithm>
#include <cstdint>

namespace vidora {

struct Point {
    int x = 0;
    int y = 0;
    friend bool operator==(const Point&, const Point&) = default;
};

struct Size {
    int width = 0;
    int height = 0;
    friend bool operator==(const Size&, const Size&) = default;
};

// Edges in the Windows manner: right and bottom are exclusive.
struct Rect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;

    // Edges that would pass the int range stop at its end (sizes come from skin files).
    static constexpr Rect fromSize(int x, int y, int w, int h) {
        return {x, y, saturate(int64_t{x} + w), saturate(int64_t{y} + h)};
    }
    static constexpr int saturate(int64_t v) {
        return static_cast<int>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
    }
    constexpr int width() const { return saturate(int64_t{right} - left); }
    constexpr int height() const { return saturate(int64_t{bottom} - top); }
    constexpr bool empty() const { return right <= left || bottom <= top; }
    constexpr bool contains(int x, int y) const {
        return x >= left && x < right && y >= top && y < bottom;
    }
    constexpr Rect intersected(const Rect& o) const {
        Rect r{std::max(left, o.left), std::max(top, o.top), std::min(right, o.right),
               std::min(bottom, o.bottom)};
        if (r.empty())
            return {};
        return r;
    }
    friend bool operator==(const Rect&, const Rect&) = default;
};

// A 24-bit colour; Windows COLORREF order when packed (red in the low byte).
struct Rgb {
    uint8_t r = 0;
    uint8_t g = 0;
    uint8_t b = 0;

    static constexpr Rgb fromColorRef(uint32_t v) {
        return {static_cast<uint8_t>(v & 0xFF), static_cast<uint8_t>((v >> 8) & 0xFF),
                static_cast<uint8_t>((v >> 16) & 0xFF)};
    }
    constexpr uint32_t colorRef() const {
        return static_cast<uint32_t>(r) | (static_cast<uint32_t>(g) << 8) |
               (static_cast<uint32_t>(b) << 16);
    }
    friend bool operator==(const Rgb&, const Rgb&) = default;
};

}  // namespace vidora
