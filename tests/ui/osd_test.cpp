// The on-screen display: which texts each cell shows, where and in which colours, and the stamp
// burnt into recorded pictures and snapshots.
#include <gtest/gtest.h>

#include <vector>

#include "app/settings.h"
#include "engine/osd.h"
#include "engine/osd_font.h"
#include "engine/osd_stamp.h"
#include "platform/clock.h"
#include "platform/relaxed.h"

namespace vidora {
namespace {

// A text extent of 8 x 16 pixels per character, as a fixed-cell font gives.
TextSize cells(std::string_view text) {
    return {static_cast<int>(text.size()) * 8, 16};
}

SystemTime at(uint16_t y, uint16_t mo, uint16_t d, uint16_t h, uint16_t mi, uint16_t s) {
    SystemTime t{};
    t.year = y;
    t.month = mo;
    t.day = d;
    t.hour = h;
    t.minute = mi;
    t.second = s;
    return t;
}

constexpr OsdColour kLiveShadow{32, 32, 32};
constexpr OsdColour kFrozenShadow{191, 0, 191};

CellOverlayInput liveCell() {
    CellOverlayInput in;
    in.cell = {421, 0, 419, 312};  // top-right cell of an 841 x 627 quad area
    in.channel = 1;
    in.current = true;
    in.liveRunning = true;
    in.recording = true;
    in.tick = 70'200;  // first half of a second: marks visible
    in.lastAlarmTick = 68'000;
    in.time = at(2026, 12, 6, 20, 41, 8);
    in.showDate = in.showTime = in.showChannelName = true;
    in.channelName = "Garage";
    return in;
}

TEST(Overlay, LiveCellShowsEveryMarkAtItsAnchor) {
    const auto texts = overlayTexts(liveCell(), cells);
    // Anchor: x + w - 60 = 780, y + 10 = 10.
    const std::vector<OverlayText> expected = {
        {"REC", 745, 10, {255, 255, 0}, {0, 0, 255}},
        {"ALARM", 690, 10, {255, 0, 0}, {0, 255, 255}},
        {"CH2", 780, 10, {223, 223, 223}, kLiveShadow},
        {"Garage", 421 + 419 - 48 - 25, 16 + 15, {223, 223, 223}, kLiveShadow},
        {"2026/12/06 20:41:08", 421 + 419 - 150, 312 - 25, {223, 223, 223}, kLiveShadow},
    };
    EXPECT_EQ(texts, expected);
}

TEST(Overlay, MarksBlinkAndTheAlarmRunsOutAfterFiveSeconds) {
    CellOverlayInput in = liveCell();
    in.showDate = in.showTime = in.showChannelName = false;
    in.tick = 70'500;  // second half of the second
    EXPECT_TRUE(overlayTexts(in, cells).empty());

    in.tick = 72'400;  // 4400 ms after the alarm, in the visible half
    ASSERT_EQ(overlayTexts(in, cells).size(), 2u);
    in.tick = 73'000;  // 5000 ms after: over
    auto texts = overlayTexts(in, cells);
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0].text, "REC");

    in.lastAlarmTick = 0;  // no alarm seen
    in.tick = 1'200;
    texts = overlayTexts(in, cells);
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0].text, "REC");
}

TEST(Overlay, APausedPictureShowsNoAlarm) {
    CellOverlayInput in = liveCell();
    in.liveRunning = false;
    in.recording = false;
    const auto texts = overlayTexts(in, cells);
    ASSERT_EQ(texts.size(), 3u);
    EXPECT_EQ(texts[0].text, "CH2");
    EXPECT_EQ(texts[2].text, "2026/12/06 20:41:08");
}

TEST(Overlay, FrozenCellsAreGreenWithTheirFreezeTimeAndNoMarks) {
    CellOverlayInput in = liveCell();
    in.current = false;
    in.channel = 3;
    in.cell = {421, 314, 419, 312};
    in.channelName = "CH4";  // the default name is not drawn a second time
    in.time = at(2026, 1, 2, 3, 4, 5);
    const auto texts = overlayTexts(in, cells);
    const std::vector<OverlayText> expected = {
        {"CH4", 780, 324, {64, 255, 64}, kFrozenShadow},
        {"2026/01/02 03:04:05", 690, 314 + 312 - 25, {64, 255, 64}, kFrozenShadow},
    };
    EXPECT_EQ(texts, expected);
}

TEST(Overlay, DateAndTimeFormatsAndWhatTheFlagsLeaveOut) {
    CellOverlayInput in = liveCell();
    in.recording = false;
    in.lastAlarmTick = 0;
    in.cell = {0, 0, 841, 627};
    in.channelName = "";
    in.time = at(2027, 3, 9, 7, 5, 2);

    in.showTime = false;
    auto texts = overlayTexts(in, cells);
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[1], (OverlayText{"2027/03/09", 841 - 90, 602, kLiveTextColour, kLiveShadow}));

    in.showTime = true;
    in.showDate = false;
    texts = overlayTexts(in, cells);
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[1], (OverlayText{"07:05:02", 841 - 90, 602, kLiveTextColour, kLiveShadow}));

    in.showTime = false;
    in.showChannelName = false;
    EXPECT_TRUE(overlayTexts(in, cells).empty());

    // A cell that was never frozen has no time to show.
    in.showDate = in.showTime = in.showChannelName = true;
    in.time = SystemTime{};
    texts = overlayTexts(in, cells);
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0].text, "CH2");
}

// ---- stamp ------------------------------------------------------------------------------

TEST(StampFont, TextsFitTheirPlacesInThePicture) {
    StampTextBitmap bitmap;
    EXPECT_EQ(bitmap.render("CH1").width, 22);
    const TextSize date = bitmap.render("2026/12/06 20:41:08");
    EXPECT_EQ(date.width, 150);  // exactly the room left of the right edge
    EXPECT_EQ(date.height, 12);  // above the bottom 25 rows, shadow included
    // The last glyph's right stroke reaches the last column, nothing lies beyond it.
    EXPECT_TRUE(bitmap.isSet(149, osdfont::kGlyphTop + 1));
    for (int y = 0; y < StampTextBitmap::kHeight; ++y)
        EXPECT_FALSE(bitmap.isSet(150, y));
    // A text longer than the bitmap is cut at its edge.
    EXPECT_EQ(bitmap.render(std::string(80, '8')).width, StampTextBitmap::kWidth);
}

struct Quad {
    uint8_t u, y0, v, y1;
    friend bool operator==(const Quad&, const Quad&) = default;
};
std::ostream& operator<<(std::ostream& os, const Quad& q) {
    return os << "{" << int(q.u) << "," << int(q.y0) << "," << int(q.v) << "," << int(q.y1) << "}";
}

class UyvyPicture {
  public:
    UyvyPicture(int w, int h) : w_(w), h_(h), bytes_(static_cast<size_t>(w) * h * 2) {
        for (size_t i = 0; i < bytes_.size(); i += 4) {
            bytes_[i] = 100;
            bytes_[i + 1] = 50;
            bytes_[i + 2] = 200;
            bytes_[i + 3] = 50;
        }
    }
    PictureDesc desc() const { return {w_, h_, kFourccUyvy, w_ * 2}; }
    uint8_t* data() { return bytes_.data(); }
    Quad quad(int q, int row) const {
        const uint8_t* p = &bytes_[static_cast<size_t>(row) * w_ * 2 + q * 4];
        return {p[0], p[1], p[2], p[3]};
    }
    const std::vector<uint8_t>& bytes() const { return bytes_; }

  private:
    int w_, h_;
    std::vector<uint8_t> bytes_;
};

TEST(Stamp, PackedPicturesGetWhitePairsHalfPairsAndAShadowRowBelow) {
    StampTextBitmap text;
    // '/': row 0 "....##" (a whole pair), row 2 "...##." (a right half, then a left half).
    const TextSize extent = text.render("/");
    UyvyPicture picture(64, 40);
    copyStampText(text, extent, picture.desc(), picture.data(), 10, 5);
    const Quad untouched{100, 50, 200, 50};
    const int top = 5 + osdfont::kGlyphTop;  // picture row of glyph row 0
    // Text columns 4, 5 land on picture columns 14, 15: quadruple 7.
    EXPECT_EQ(picture.quad(7, top), (Quad{128, 255, 128, 255}));
    EXPECT_EQ(picture.quad(6, top), untouched);
    EXPECT_EQ(picture.quad(8, top), untouched);
    // Glyph row 1 is the same pair again; the right pixel above shadowed the next quadruple.
    EXPECT_EQ(picture.quad(7, top + 1), (Quad{128, 255, 128, 255}));
    EXPECT_EQ(picture.quad(8, top + 1), (Quad{50, 0, 100, 50}));
    // Glyph row 2: column 3 alone (right half of quadruple 6) on an untouched quadruple...
    EXPECT_EQ(picture.quad(6, top + 2), (Quad{114, 50, 121, 255}));
    // ... column 4 alone (left half of quadruple 7) on the shadow of the pair above: U and V
    // halved, Y1 cleared, then the left-only rule from the halved U.
    EXPECT_EQ(picture.quad(7, top + 2), (Quad{89, 255, 108, 0}));
    // Below glyph row 2 both shadows land on quadruple 7 (U and V halved twice, both Y cleared);
    // glyph row 3 then sets its left half from the twice-halved U.
    EXPECT_EQ(picture.quad(7, top + 3), (Quad{(25 + 128) / 2, 255, 25 / 4 + 96, 0}));
    // Nothing above the text and nothing far from it changes.
    for (int q = 0; q < 32; ++q)
        EXPECT_EQ(picture.quad(q, top - 1), untouched) << q;
    EXPECT_EQ(picture.quad(20, top + 2), untouched);
}

class Rgb24Picture {
  public:
    Rgb24Picture(int w, int h) : w_(w), h_(h), stride_((w * 3 + 3) & ~3) {
        bytes_.assign(static_cast<size_t>(stride_) * h, 90);
    }
    PictureDesc desc() const { return {w_, h_, 0, stride_}; }
    uint8_t* data() { return bytes_.data(); }
    // Pixel (x, y) counted from the top of the visible picture (rows are stored bottom-up).
    int at(int x, int y) const {
        const uint8_t* p = &bytes_[static_cast<size_t>(h_ - 1 - y) * stride_ + x * 3];
        EXPECT_TRUE(p[0] == p[1] && p[1] == p[2]);
        return p[0];
    }

  private:
    int w_, h_, stride_;
    std::vector<uint8_t> bytes_;
};

TEST(Stamp, TwentyFourBitPicturesGetWhiteTextWithABlackShadowDownRight) {
    StampTextBitmap text;
    const TextSize extent = text.render("/");
    Rgb24Picture picture(30, 20);
    copyStampText(text, extent, picture.desc(), picture.data(), 3, 2);
    const int top = 2 + osdfont::kGlyphTop;
    // Glyph row 0 "....##": columns 7 and 8 white; the shadow row below is overwritten where
    // row 1 ("....##") is set and stays black where it is not (column 9).
    EXPECT_EQ(picture.at(7, top), 255);
    EXPECT_EQ(picture.at(8, top), 255);
    EXPECT_EQ(picture.at(6, top), 90);
    EXPECT_EQ(picture.at(8, top + 1), 255);
    EXPECT_EQ(picture.at(9, top + 1), 0);
    // Glyph row 2 "...##." moves one column left: the shadows of row 1 stay black beside it.
    EXPECT_EQ(picture.at(6, top + 2), 255);
    EXPECT_EQ(picture.at(7, top + 2), 255);
    EXPECT_EQ(picture.at(8, top + 2), 0);
    EXPECT_EQ(picture.at(9, top + 2), 0);
    EXPECT_EQ(picture.at(10, top + 2), 90);
    // The rows above and the columns far left are untouched.
    EXPECT_EQ(picture.at(7, top - 1), 90);
    EXPECT_EQ(picture.at(0, top + 5), 90);
}

TEST(Stamp, WritesTheLabelAndTheDateTimeAtTheirPlacesClippedToThePicture) {
    ManualClock clock(1796558400 + 3600 * 8 + 61);  // 2026-12-06 20:01:01 UTC
    OsdStamp stamp(clock);
    storeRelaxed(gState.currentChannel, 2);

    Rgb24Picture full(720, 576);
    stamp.stamp(full.desc(), full.data());
    // "CH3" at (660, 10): 'C' starts ".####." in its first glyph row.
    const int labelRow = 10 + osdfont::kGlyphTop;
    EXPECT_EQ(full.at(660, labelRow), 90);
    EXPECT_EQ(full.at(661, labelRow), 255);
    EXPECT_EQ(full.at(664, labelRow), 255);
    // 'H' is the second cell: "##..##" at 668.
    EXPECT_EQ(full.at(668, labelRow), 255);
    EXPECT_EQ(full.at(670, labelRow), 90);
    // '3' is the third: ".####." at 676.
    EXPECT_EQ(full.at(677, labelRow), 255);
    // The time ends on the last column: the final '1' is "######" in its last glyph row.
    const int dateLast = 576 - 25 + osdfont::kGlyphTop + osdfont::kGlyphHeight - 1;
    EXPECT_EQ(full.at(719, dateLast), 255);
    EXPECT_EQ(full.at(714, dateLast), 255);
    // The first date digit '2' starts at column 570 with ".####.".
    const int dateTop = 576 - 25 + osdfont::kGlyphTop;
    EXPECT_EQ(full.at(570, dateTop), 90);
    EXPECT_EQ(full.at(571, dateTop), 255);

    // A picture too small for the places: whatever lands inside is written, nothing else (the
    // sanitizer build checks the bounds).
    UyvyPicture tiny(40, 16);
    stamp.stamp(tiny.desc(), tiny.data());
    UyvyPicture packed(360, 288);
    stamp.stamp(packed.desc(), packed.data());
    EXPECT_EQ(packed.quad((360 - 60) / 2 + 0, 10 + osdfont::kGlyphTop), (Quad{114, 50, 121, 255}))
        << "'C' starts with its second column: the right half of the first pair";

    // Other picture kinds are left alone.
    UyvyPicture other(64, 40);
    const auto before = other.bytes();
    PictureDesc yuy2 = other.desc();
    yuy2.compression = 0x32595559;
    stamp.stamp(yuy2, other.data());
    EXPECT_EQ(other.bytes(), before);
    storeRelaxed(gState.currentChannel, 0);
}

}  // namespace
}  // namespace vidora
