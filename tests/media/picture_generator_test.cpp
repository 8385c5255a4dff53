#include "platform/sim/picture_generator.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "tests/media/picture_reading.h"

namespace vidora::sim {
namespace {

using testing::lumaAt;
using testing::readChannelLabel;
using testing::readText;

class PictureGeneratorTest : public ::testing::Test {
  protected:
    std::vector<uint8_t> render(int channel, VideoStandard standard = VideoStandard::Pal,
                                int64_t index = 0) {
        PictureGenerator::Frame f;
        f.channel = channel;
        f.mode = videoModeOf(standard);
        f.adjustments = &table_;
        f.adjustmentVersion = version_;
        f.index = index;
        f.time = SystemTime{2026, 12, 0, 6, 12, 34, 56, 0};
        std::vector<uint8_t> out(std::size_t(f.mode.width) * f.mode.height * 2);
        generator_.render(out.data(), f);
        return out;
    }
    void adjust(media::AdjustProperty p, int32_t value) {
        table_[p].current = value;
        ++version_;
    }
    // Mean luma and mean chroma distance from grey over a rectangle.
    static std::pair<double, double> stats(const std::vector<uint8_t>& pic, int width, int x0,
                                           int y0, int w, int h) {
        double luma = 0, chroma = 0;
        for (int y = y0; y < y0 + h; ++y) {
            for (int x = x0; x < x0 + w; x += 2) {
                const uint8_t* pair = &pic[(std::size_t(y) * width + x) * 2];
                luma += pair[1] + pair[3];
                chroma += std::abs(pair[0] - 128) + std::abs(pair[2] - 128);
            }
        }
        const double n = double(w) * h;
        return {luma / n, chroma / n};
    }

    media::AdjustTable table_ = SimulatedReceiver().adjustments();
    uint32_t version_ = 1;
    PictureGenerator generator_;
};

TEST_F(PictureGeneratorTest, EveryCameraShowsItsChannelNumberAndTheClock) {
    for (VideoStandard standard : {VideoStandard::Pal, VideoStandard::Ntsc}) {
        const VideoMode mode = videoModeOf(standard);
        for (int c = 0; c < 4; ++c) {
            const auto pic = render(c, standard);
            EXPECT_EQ(readChannelLabel(pic.data(), mode.width), "CH" + std::to_string(c + 1));
            EXPECT_EQ(readText(pic.data(), mode.width, PictureLayout::kClockX,
                               PictureLayout::clockY(mode.height), PictureLayout::kClockScale, 19),
                      "2026-12-06 12:34:56");
        }
    }
}

TEST_F(PictureGeneratorTest, TheFourCamerasLookDifferent) {
    std::vector<std::pair<double, double>> looks;
    for (int c = 0; c < 4; ++c)
        looks.push_back(stats(render(c), 720, 0, 200, 720, 300));
    for (int a = 0; a < 4; ++a) {
        for (int b = a + 1; b < 4; ++b) {
            EXPECT_GT(std::abs(looks[a].first - looks[b].first) +
                          std::abs(looks[a].second - looks[b].second),
                      5.0)
                << "cameras " << a + 1 << " and " << b + 1;
        }
    }
}

TEST_F(PictureGeneratorTest, TheSceneMovesWhileTheLabelStays) {
    for (int c = 0; c < 4; ++c) {
        const auto first = render(c, VideoStandard::Pal, 0);
        const auto later = render(c, VideoStandard::Pal, 10);
        std::size_t changed = 0;
        for (std::size_t i = 0; i < first.size(); ++i)
            changed += first[i] != later[i];
        EXPECT_GT(changed, 2000u) << "camera " << c + 1;
        EXPECT_EQ(readChannelLabel(later.data(), 720), "CH" + std::to_string(c + 1));
    }
}

TEST_F(PictureGeneratorTest, AdjustmentsChangeThePicture) {
    const auto neutral = stats(render(0), 720, 0, 0, 720, 576);
    adjust(media::kBrightness, 8000);
    const auto bright = stats(render(0), 720, 0, 0, 720, 576);
    EXPECT_GT(bright.first, neutral.first + 30);
    adjust(media::kBrightness, 2119);

    adjust(media::kSaturation, 0);
    const auto grey = stats(render(1), 720, 0, 300, 720, 200);
    EXPECT_LT(grey.second, 1.0) << "no colour left in the bars";
    adjust(media::kSaturation, 3765);
    EXPECT_GT(stats(render(1), 720, 0, 300, 720, 200).second, 20.0);

    const auto ramp = render(1);  // the grey ramp spreads with contrast
    adjust(media::kContrast, 9000);
    const auto steep = render(1);
    EXPECT_LT(lumaAt(steep.data(), 720, 100, 260), lumaAt(ramp.data(), 720, 100, 260));
    EXPECT_GT(lumaAt(steep.data(), 720, 680, 260), lumaAt(ramp.data(), 720, 680, 260));
    adjust(media::kContrast, 4667);

    const auto soft = render(2);
    adjust(media::kSharpness, 10);
    const auto sharp = render(2);
    EXPECT_NE(soft, sharp) << "sharpening shows at the checkerboard's edges";
    EXPECT_EQ(readChannelLabel(sharp.data(), 720), "CH3");
}

}  // namespace
}  // namespace vidora::sim
