#include "platform/sim/picture_generator.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <numbers>

namespace vidora::sim {

namespace {

struct Glyph {
    char c;
    uint8_t rows[7];
};
constexpr Glyph kFont[] = {
    {'0', {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}},
    {'1', {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E}},
    {'2', {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}},
    {'3', {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E}},
    {'4', {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}},
    {'5', {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E}},
    {'6', {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}},
    {'7', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08}},
    {'8', {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}},
    {'9', {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C}},
    {':', {0x00, 0x0C, 0x0C, 0x00, 0x0C, 0x0C, 0x00}},
    {'-', {0x00, 0x00, 0x00, 0x1F, 0x00, 0x00, 0x00}},
    {'C', {0x0E, 0x11, 0x10, 0x10, 0x10, 0x11, 0x0E}},
    {'H', {0x11, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11}},
    {' ', {0, 0, 0, 0, 0, 0, 0}},
};

constexpr Yuv kBlack{16, 128, 128};
constexpr Yuv kWhite{235, 128, 128};
constexpr int kClockChars = 19;  // "YYYY-MM-DD HH:MM:SS"

uint8_t clampByte(double v, double lo = 0.0, double hi = 255.0) {
    return static_cast<uint8_t>(std::lround(std::clamp(v, lo, hi)));
}

// Drawing on a UYVY picture: each pixel pair shares one U and one V.
struct Canvas {
    uint8_t* pixels;
    int width;
    int height;

    void fill(int x, int y, int w, int h, Yuv c) const {
        const int x0 = std::max(x, 0), x1 = std::min(x + w, width);
        const int y0 = std::max(y, 0), y1 = std::min(y + h, height);
        for (int row = y0; row < y1; ++row) {
            uint8_t* line = pixels + std::size_t(row) * width * 2;
            for (int col = x0; col < x1; ++col) {
                uint8_t* pair = line + (col & ~1) * 2;
                pair[0] = c.u;
                pair[2] = c.v;
                pair[(col & 1) ? 3 : 1] = c.y;
            }
        }
    }

    void text(int x, int y, int scale, const char* s, Yuv c) const {
        for (; *s; ++s, x += PictureLayout::kGlyphAdvance * scale) {
            const uint8_t* rows = glyphRows(*s);
            if (!rows)
                continue;
            for (int r = 0; r < 7; ++r) {
                for (int col = 0; col < 5; ++col) {
                    if (rows[r] & (0x10 >> col))
                        fill(x + col * scale, y + r * scale, scale, scale, c);
                }
            }
        }
    }
};

// A triangle wave over [0, span]: the position of something bouncing between two walls.
int bounce(int64_t travelled, int span) {
    if (span <= 0)
        return 0;
    const int64_t t = travelled % (2 * int64_t(span));
    return static_cast<int>(t <= span ? t : 2 * span - t);
}

const media::AdjustRange& range(const media::AdjustTable& t, media::AdjustProperty p) {
    return t[p];
}

// Relative setting of a property: current / default (1 when the default is 0).
double relative(const media::AdjustTable& t, media::AdjustProperty p) {
    const auto& r = range(t, p);
    return r.defaultValue != 0 ? double(r.current) / r.defaultValue : 1.0;
}

}  // namespace

const uint8_t* glyphRows(char c) {
    for (const Glyph& g : kFont) {
        if (g.c == c)
            return g.rows;
    }
    return nullptr;
}

ColorAdjust::ColorAdjust(const media::AdjustTable& t) {
    const double contrast = relative(t, media::kContrast);
    const auto& b = range(t, media::kBrightness);
    const double brightness = double(b.current - b.defaultValue) * 160.0 / 10000.0;
    const auto& g = range(t, media::kGamma);
    const double exponent = g.current > 0 ? 100.0 / g.current : 1.0;
    const auto& bl = range(t, media::kBacklightCompensation);
    const double lift = double(bl.current - bl.defaultValue) * 12.0;
    const double gain = 1.0 + range(t, media::kGain).current / 100.0;
    for (int y = 0; y < 256; ++y) {
        double v = 255.0 * std::pow(y / 255.0, exponent);
        v = (v - 128.0) * contrast + 128.0 + brightness + lift * (1.0 - y / 255.0);
        lumaLut_[y] = clampByte(v * gain, 16, 235);
    }
    const double hue = range(t, media::kHue).current * std::numbers::pi / 180.0;
    cosHue_ = std::cos(hue);
    sinHue_ = std::sin(hue);
    saturation_ = relative(t, media::kSaturation);
    const auto& wb = range(t, media::kWhiteBalance);
    warmth_ = double(wb.defaultValue - wb.current) / 1900.0 * 12.0;
    const auto& sh = range(t, media::kSharpness);
    sharpening_ = sh.maximum > 0 ? 1.5 * sh.current / sh.maximum : 0.0;
}

Yuv ColorAdjust::operator()(Yuv c) const {
    const double u = c.u - 128.0, v = c.v - 128.0;
    const double u1 = (u * cosHue_ - v * sinHue_) * saturation_ - warmth_;
    const double v1 = (u * sinHue_ + v * cosHue_) * saturation_ + warmth_;
    return {lumaLut_[c.y], clampByte(u1 + 128.0, 16, 240), clampByte(v1 + 128.0, 16, 240)};
}

const PictureGenerator::Background& PictureGenerator::background(const Frame& frame) {
    const int channel = frame.channel & 3;
    Background& bg = backgrounds_[channel];
    const int w = frame.mode.width, h = frame.mode.height;
    if (bg.width == w && bg.height == h && bg.version == frame.adjustmentVersion &&
        !bg.pixels.empty()) {
        return bg;
    }
    bg.width = w;
    bg.height = h;
    bg.version = frame.adjustmentVersion;
    bg.pixels.assign(std::size_t(w) * h * 2, 0);
    Canvas c{bg.pixels.data(), w, h};
    Yuv object;
    switch (channel) {
        case 0: {  // a street: sky, verge, road with lane marks; a red car drives by
            const int horizon = h * 6 / 10;
            for (int y = 0; y < horizon; ++y) {
                c.fill(0, y, w, 1, {uint8_t(100 + 70 * y / horizon), 150, 115});
            }
            c.fill(0, horizon, w, h / 20, {110, 90, 100});
            c.fill(0, horizon + h / 20, w, h, {70, 128, 128});
            for (int x = 0; x < w; x += 100)
                c.fill(x, h * 8 / 10, 60, 6, {200, 128, 128});
            object = {82, 90, 240};
            break;
        }
        case 1: {  // a grey ramp over colour bars; a white ball bounces
            for (int x = 0; x < w; ++x)
                c.fill(x, 0, 1, h / 2, {uint8_t(16 + 219 * x / w), 128, 128});
            static constexpr Yuv kBars[8] = {{180, 128, 128}, {162, 44, 142}, {131, 156, 44},
                                             {112, 72, 58},   {84, 184, 198}, {65, 100, 212},
                                             {35, 212, 114},  {16, 128, 128}};
            for (int i = 0; i < 8; ++i)
                c.fill(i * w / 8, h / 2, w / 8 + 1, h - h / 2, kBars[i]);
            object = kWhite;
            break;
        }
        case 2: {  // a green checkerboard; a yellow square circles
            for (int y = 0; y < h; y += 48) {
                for (int x = 0; x < w; x += 48) {
                    const bool odd = ((x / 48) + (y / 48)) & 1;
                    c.fill(x, y, 48, 48, odd ? Yuv{150, 90, 110} : Yuv{120, 100, 100});
                }
            }
            object = {210, 16, 146};
            break;
        }
        default: {  // a dark yard at night; a searchlight sweeps, a red lamp blinks
            for (int y = 0; y < h; ++y) {
                for (int x = 0; x < w; x += 8) {
                    c.fill(x, y, 8, 1, {uint8_t(30 + 40 * (x + y) / (w + h)), 140, 120});
                }
            }
            object = {82, 90, 240};
            break;
        }
    }
    // The channel label on a dark plate, and the plate under the clock.
    using L = PictureLayout;
    c.fill(L::kLabelX - 12, L::kLabelY - 12, 3 * L::kGlyphAdvance * L::kLabelScale + 12,
           7 * L::kLabelScale + 24, kBlack);
    const char label[] = {'C', 'H', char('1' + channel), 0};
    c.text(L::kLabelX, L::kLabelY, L::kLabelScale, label, kWhite);
    c.fill(L::kClockX - 6, L::clockY(h) - 6, kClockChars * L::kGlyphAdvance * L::kClockScale + 9,
           7 * L::kClockScale + 12, kBlack);

    // The decoder's adjustments apply to everything the camera sees.
    static const media::AdjustTable kNeutral{};
    const ColorAdjust adjust(frame.adjustments ? *frame.adjustments : kNeutral);
    uint8_t* p = bg.pixels.data();
    for (std::size_t i = 0; i < bg.pixels.size(); i += 4) {
        const Yuv first = adjust({p[i + 1], p[i], p[i + 2]});
        p[i] = first.u;
        p[i + 1] = first.y;
        p[i + 2] = first.v;
        p[i + 3] = adjust.luma(p[i + 3]);
    }
    if (adjust.sharpening() > 0) {
        // Unsharp mask along each row's luma samples: edges get a visible over- and undershoot.
        std::vector<uint8_t> row(static_cast<std::size_t>(w));
        for (int y = 0; y < h; ++y) {
            uint8_t* line = p + std::size_t(y) * w * 2;
            for (int x = 0; x < w; ++x)
                row[x] = line[x * 2 + 1];
            for (int x = 1; x + 1 < w; ++x) {
                const double blur = (row[x - 1] + 2.0 * row[x] + row[x + 1]) / 4.0;
                line[x * 2 + 1] =
                    clampByte(row[x] + adjust.sharpening() * (row[x] - blur), 16, 235);
            }
        }
    }
    bg.palette = {adjust(object), adjust(kWhite), adjust({200, 128, 128})};
    return bg;
}

void PictureGenerator::drawObject(uint8_t* out, const Frame& frame, const Background& bg) const {
    const int w = bg.width, h = bg.height;
    const Canvas c{out, w, h};
    const int top = PictureLayout::kSceneTop;
    const int bottom = PictureLayout::clockY(h) - 20;
    const int64_t n = frame.index;
    switch (frame.channel & 3) {
        case 0: {
            const int x = static_cast<int>((n * 5) % (w + 120)) - 120;
            const int y = h * 8 / 10 - 60;
            c.fill(x, y, 120, 50, bg.palette[0]);
            c.fill(x + 10, y + 44, 24, 12, {bg.palette[1].y, 128, 128});
            c.fill(x + 86, y + 44, 24, 12, {bg.palette[1].y, 128, 128});
            break;
        }
        case 1: {
            constexpr int r = 30;
            const int cx = r + bounce(n * 6, w - 2 * r);
            const int cy = top + r + bounce(n * 4, bottom - top - 2 * r);
            for (int dy = -r; dy <= r; ++dy) {
                const int half = static_cast<int>(std::sqrt(double(r * r - dy * dy)));
                c.fill(cx - half, cy + dy, 2 * half + 1, 1, bg.palette[0]);
            }
            break;
        }
        case 2: {
            const double angle = double(n % 100) * 2.0 * std::numbers::pi / 100.0;
            const int radius = std::min(140, (bottom - top) / 2 - 40);
            const int cx = w / 2 + 80 + static_cast<int>(radius * std::cos(angle));
            const int cy = (top + bottom) / 2 + static_cast<int>(radius * std::sin(angle));
            c.fill(cx - 35, cy - 35, 70, 70, bg.palette[0]);
            break;
        }
        default: {
            const int x0 = bounce(n * 8, w - 48);
            for (int y = top; y < bottom; ++y) {
                uint8_t* line = out + std::size_t(y) * w * 2;
                for (int x = x0; x < x0 + 48; ++x) {
                    uint8_t& luma = line[x * 2 + 1];
                    luma = static_cast<uint8_t>(std::min(235, luma + 70));
                }
            }
            if ((n / 12) % 2 == 0)
                c.fill(w - 60, top + 10, 16, 16, bg.palette[0]);
            break;
        }
    }
}

void PictureGenerator::drawClock(uint8_t* out, const Frame& frame, const Background& bg) const {
    const SystemTime& t = frame.time;
    char text[32];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", unsigned(t.year) % 10000u,
                  unsigned(t.month) % 100u, unsigned(t.day) % 100u, unsigned(t.hour) % 100u,
                  unsigned(t.minute) % 100u, unsigned(t.second) % 100u);
    const Canvas c{out, bg.width, bg.height};
    c.text(PictureLayout::kClockX, PictureLayout::clockY(bg.height), PictureLayout::kClockScale,
           text, bg.palette[1]);
}

void PictureGenerator::render(uint8_t* out, const Frame& frame) {
    const Background& bg = background(frame);
    std::memcpy(out, bg.pixels.data(), bg.pixels.size());
    drawObject(out, frame, bg);
    drawClock(out, frame, bg);
}

}  // namespace vidora::sim
