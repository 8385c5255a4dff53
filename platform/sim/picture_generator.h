#pragma once
// Draws the pictures of the simulated receiver's four cameras, packed 4:2:2 (UYVY): a scene of
// its own per camera with a moving object, the channel label "CH1".."CH4" in large letters, and
// a running clock. The picture adjustments (brightness, contrast, saturation, sharpness, hue,
// gamma, white balance, backlight compensation, gain) change the picture as a decoder would.
//
// The still part of each camera's picture is drawn once per size and adjustment setting and
// copied per frame; only the moving object and the clock are drawn per frame, so a frame costs
// little more than one copy. Owned and called by one generator thread.
#include <array>
#include <cstdint>
#include <vector>

#include "platform/media/capture_graph.h"
#include "platform/sim/simulated_receiver.h"
#include "platform/system_time.h"

namespace vidora::sim {

// 5x7 glyph of a character as seven rows of five bits (bit 4 = leftmost column); nullptr for
// characters the generator does not draw.
const uint8_t* glyphRows(char c);

// Where the generator draws its texts (tests read the channel digit back from the pixels).
struct PictureLayout {
    static constexpr int kLabelX = 48;
    static constexpr int kLabelY = 48;
    static constexpr int kLabelScale = 12;   // pixels per glyph dot
    static constexpr int kGlyphAdvance = 6;  // glyph dots per character
    // "CH" then the channel digit (1..4): the digit is the third character.
    static constexpr int kDigitX = kLabelX + 2 * kGlyphAdvance * kLabelScale;
    static constexpr int kClockX = 40;
    static constexpr int kClockScale = 3;
    static int clockY(int height) { return height - 60; }
    // Moving objects stay below this line, clear of the label.
    static constexpr int kSceneTop = 170;
};

struct Yuv {
    uint8_t y = 16;
    uint8_t u = 128;
    uint8_t v = 128;
};

// The colour response of the simulated decoder for one adjustment setting.
class ColorAdjust {
  public:
    explicit ColorAdjust(const media::AdjustTable& table);
    Yuv operator()(Yuv c) const;
    uint8_t luma(uint8_t y) const { return lumaLut_[y]; }
    double sharpening() const { return sharpening_; }

  private:
    std::array<uint8_t, 256> lumaLut_{};
    double cosHue_ = 1.0;
    double sinHue_ = 0.0;
    double saturation_ = 1.0;
    double warmth_ = 0.0;
    double sharpening_ = 0.0;
};

class PictureGenerator {
  public:
    struct Frame {
        int channel = 0;
        VideoMode mode;
        const media::AdjustTable* adjustments = nullptr;
        uint32_t adjustmentVersion = 0;
        int64_t index = 0;  // frame number since the stream started
        SystemTime time;    // drawn as "YYYY-MM-DD HH:MM:SS"
    };

    // Draws one frame into `out` (mode.width x mode.height x 2 bytes).
    void render(uint8_t* out, const Frame& frame);

  private:
    struct Background {
        int width = 0;
        int height = 0;
        uint32_t version = 0;
        std::vector<uint8_t> pixels;
        std::array<Yuv, 3> palette{};  // adjusted: object colour, text colour, highlight
        double highlightGain = 1.0;
    };
    const Background& background(const Frame& frame);
    void drawObject(uint8_t* out, const Frame& frame, const Background& bg) const;
    void drawClock(uint8_t* out, const Frame& frame, const Background& bg) const;

    std::array<Background, 4> backgrounds_;
};

}  // namespace vidora::sim
