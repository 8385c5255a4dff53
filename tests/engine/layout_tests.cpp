// Cells of the single and quad layouts, hit-testing and the digital zoom.
#include <gtest/gtest.h>

#include "engine/layout.h"

namespace vidora {
namespace {

TEST(Layout, QuadCellsLeaveTheSeparatorBars) {
    // 704 x 576: cells 351 x 287, the right column at 353, the bottom row at 289.
    EXPECT_EQ(cellOfChannel(0, LayoutMode::Quad, 2, 704, 576), (VideoRect{0, 0, 351, 287}));
    EXPECT_EQ(cellOfChannel(1, LayoutMode::Quad, 2, 704, 576), (VideoRect{353, 0, 351, 287}));
    EXPECT_EQ(cellOfChannel(2, LayoutMode::QuadFullScreen, 2, 704, 576),
              (VideoRect{0, 289, 351, 287}));
    EXPECT_EQ(cellOfChannel(3, LayoutMode::Quad, 2, 704, 576), (VideoRect{353, 289, 351, 287}));
    EXPECT_TRUE(cellOfChannel(0, LayoutMode::None, 0, 704, 576).empty());
}

TEST(Layout, SingleLayoutGivesTheWholeAreaToTheCurrentChannelOnly) {
    for (LayoutMode mode : {LayoutMode::Single, LayoutMode::SingleFullScreen}) {
        EXPECT_EQ(cellOfChannel(2, mode, 2, 640, 480), (VideoRect{0, 0, 640, 480}));
        for (int other : {0, 1, 3})
            EXPECT_TRUE(cellOfChannel(other, mode, 2, 640, 480).empty());
    }
}

TEST(Layout, HitTestUsesHalfOpenCellsInChannelOrder) {
    EXPECT_EQ(hitTestCells(0, 0, LayoutMode::Quad, 0, 704, 576), 0);
    EXPECT_EQ(hitTestCells(350, 286, LayoutMode::Quad, 0, 704, 576), 0);
    EXPECT_EQ(hitTestCells(351, 100, LayoutMode::Quad, 0, 704, 576), -1);  // separator
    EXPECT_EQ(hitTestCells(352, 100, LayoutMode::Quad, 0, 704, 576), -1);
    EXPECT_EQ(hitTestCells(353, 100, LayoutMode::Quad, 0, 704, 576), 1);
    EXPECT_EQ(hitTestCells(10, 289, LayoutMode::Quad, 0, 704, 576), 2);
    EXPECT_EQ(hitTestCells(703, 575, LayoutMode::Quad, 0, 704, 576), 3);
    EXPECT_EQ(hitTestCells(704, 575, LayoutMode::Quad, 0, 704, 576), -1);
    // Single layout: only the current channel's cell can be hit.
    EXPECT_EQ(hitTestCells(500, 500, LayoutMode::Single, 3, 704, 576), 3);
    EXPECT_EQ(hitTestCells(-1, 5, LayoutMode::Single, 3, 704, 576), -1);
}

TEST(Layout, ModeToggles) {
    using enum LayoutMode;
    EXPECT_EQ(toggledQuadMode(Quad), Single);
    EXPECT_EQ(toggledQuadMode(Single), Quad);
    EXPECT_EQ(toggledQuadMode(QuadFullScreen), SingleFullScreen);
    EXPECT_EQ(toggledQuadMode(SingleFullScreen), QuadFullScreen);
    EXPECT_EQ(toggledFullScreenMode(Quad), QuadFullScreen);
    EXPECT_EQ(toggledFullScreenMode(Single), SingleFullScreen);
    EXPECT_EQ(toggledFullScreenMode(QuadFullScreen), Quad);
    EXPECT_EQ(toggledFullScreenMode(SingleFullScreen), Single);
    EXPECT_EQ(toggledQuadMode(None), None);
}

TEST(Zoom, ZoomOneAlwaysResetsThePan) {
    ZoomResult r = zoomSource(704, 576, false, 1, 3, {50, 70});
    EXPECT_EQ(r.pan, (PanOffset{0, 0}));
    EXPECT_EQ(r.source, (VideoRect{0, 0, 704, 576}));
}

TEST(Zoom, ZoomingInCentresAndZoomingOutStaysInsideThePicture) {
    // 2 -> 4: shift by half of what is no longer visible, (352 - 176) / 2 and (288 - 144) / 2.
    ZoomResult in = zoomSource(704, 576, false, 4, 2, {352, 288});
    EXPECT_EQ(in.pan, (PanOffset{440, 360}));
    EXPECT_EQ(in.source, (VideoRect{440, 360, 176, 144}));
    // 4 -> 2 from the bottom-right corner: the pan is clamped to [0, W - W/z] x [0, H - H/z].
    ZoomResult out = zoomSource(704, 576, false, 2, 4, {528, 432});
    EXPECT_EQ(out.pan, (PanOffset{352, 288}));
    EXPECT_EQ(out.source, (VideoRect{352, 288, 352, 288}));
    // Same zoom as last applied: the pan (dragged by the user) stays.
    EXPECT_EQ(zoomSource(704, 576, false, 3, 3, {11, 22}).pan, (PanOffset{11, 22}));
    // Nothing applied yet counts as the same zoom.
    EXPECT_EQ(zoomSource(704, 576, false, 3, 0, {11, 22}).pan, (PanOffset{11, 22}));
    // Stored zoom values outside 1..4 are taken as the nearest valid one, never as divisor 0.
    EXPECT_EQ(zoomSource(704, 576, false, 0, 0, {5, 5}).source, (VideoRect{0, 0, 704, 576}));
}

TEST(Zoom, FrozenPicturesUseThePanHalved) {
    EXPECT_EQ(frozenSource(360, 288, 1, {100, 50}), (VideoRect{0, 0, 360, 288}));
    EXPECT_EQ(frozenSource(360, 288, 2, {100, 50}), (VideoRect{50, 25, 180, 144}));
}

}  // namespace
}  // namespace vidora
