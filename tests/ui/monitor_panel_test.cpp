// The monitor panel: painting before and during live view, resizing, double-clicks, the
// graph's and the device's notices, and panning a zoomed picture.
#include <gtest/gtest.h>

#include <thread>

#include "app/settings.h"
#include "platform/relaxed.h"
#include "viewer_fixture.h"

namespace vidora::test {
namespace {

TEST(Panning, FollowsTheMouseAtTheZoomsScaleAndStaysInsideThePicture) {
    const auto drag = [](PanOffset start, Point to, uint32_t zoom, int cw = 841, int ch = 627) {
        return panAfterDrag(start, {400, 300}, to, zoom, cw, ch, 720, 576);
    };
    // 100 pixels up-left at zoom 2: 100 * 720 / 841 / 2 = 42.8 -> 42; 100 * 576 / 627 / 2 -> 45.
    EXPECT_EQ(drag({0, 0}, {300, 200}, 2), (PanOffset{42, 45}));
    // Truncation toward zero in both directions.
    EXPECT_EQ(drag({100, 50}, {410, 310}, 2), (PanOffset{96, 46}));
    // Never past picture - picture / zoom, never below 0.
    EXPECT_EQ(drag({0, 0}, {-1000, -1000}, 2), (PanOffset{360, 288}));
    EXPECT_EQ(drag({0, 0}, {-5000, -5000}, 4), (PanOffset{540, 432}));
    EXPECT_EQ(drag({200, 200}, {2000, 2000}, 2), (PanOffset{0, 0}));
    // At zoom 1 there is nothing to pan.
    EXPECT_EQ(drag({0, 0}, {0, 0}, 1), (PanOffset{0, 0}));
    // A quarter cell moves the picture twice as fast.
    EXPECT_EQ(drag({0, 0}, {300, 300}, 2, 420, 313), (PanOffset{85, 0}));
    // No client area: nothing moves.
    EXPECT_EQ(drag({7, 9}, {0, 0}, 2, 0, 0), (PanOffset{7, 9}));
}

using MonitorPanelTest = ViewerTest;

TEST_F(MonitorPanelTest, BlackUntilLiveViewThenTheEnginePaints) {
    const WindowHandle m = monitor->handle();
    host.paint(m);
    const Bitmap24& surface = host.surface(m);
    for (const Point p : {Point{0, 0}, Point{420, 300}, Point{840, 626}})
        EXPECT_EQ(surface.pixel(p.x, p.y), Rgb({0, 0, 0}));
    EXPECT_TRUE(commands().empty());

    storeRelaxed(gState.liveViewOn, 1);
    host.paint(m);
    storeRelaxed(gState.liveViewOn, 0);
    storeRelaxed(gState.livePaused, 1);
    host.paint(m);
    EXPECT_EQ(commands(), (std::vector<Command>{sent(ENG_PAINT), sent(ENG_PAINT)}));
}

TEST_F(MonitorPanelTest, ANewSizeIsReportedToTheEngine) {
    const WindowHandle m = monitor->handle();
    host.moveWindow(m, Rect::fromSize(10, 49, 600, 400), true);
    EXPECT_EQ(commands(), (std::vector<Command>{posted(ENG_VIDEO_RECT_CHANGED)}));
    EXPECT_EQ(monitor->presenter().clientSize().width, 600);
    EXPECT_EQ(monitor->presenter().clientSize().height, 400);
    host.moveWindow(m, Rect::fromSize(10, 49, 0, 400), true);
    EXPECT_TRUE(commands().empty());
}

TEST_F(MonitorPanelTest, ADoubleClickSelectsTheCellAndSwitchesFullScreenWhileLive) {
    const WindowHandle m = monitor->handle();
    host.mouse(m, WM_LBUTTONDBLCLK, 123, 45, MK_LBUTTON);
    EXPECT_TRUE(commands().empty());
    EXPECT_FALSE(main->fullScreen());

    storeRelaxed(gState.liveViewOn, 1);
    host.mouse(m, WM_LBUTTONDBLCLK, 600, 400, MK_LBUTTON);
    const auto sentNow = commands();
    ASSERT_GE(sentNow.size(), 2u);
    EXPECT_EQ(sentNow.front(), posted(ENG_CLICK_SELECT, packPoint(600, 400)));
    EXPECT_EQ(sentNow.back(), sent(ENG_TOGGLE_FULLSCREEN_LAYOUT));
    EXPECT_TRUE(main->fullScreen());
    // In full screen the same gesture comes back.
    host.mouse(m, WM_LBUTTONDBLCLK, 1500, 900, MK_LBUTTON);
    EXPECT_FALSE(main->fullScreen());
    EXPECT_EQ(commands().front(), posted(ENG_CLICK_SELECT, packPoint(1500, 900)));
}

TEST_F(MonitorPanelTest, GraphAndDeviceNoticesReachTheEngineFromTheMessageLoop) {
    LivePresenter& presenter = monitor->presenter();
    std::thread streaming([&presenter] {
        presenter.postGraphNotify();
        presenter.postDeviceArrival();
    });
    streaming.join();
    EXPECT_TRUE(commands().empty());
    EXPECT_EQ(host.dispatchPosted(), 2);
    EXPECT_EQ(commands(), (std::vector<Command>{sent(ENG_GRAPH_EVENT), sent(ENG_CONNECT)}));
}

TEST_F(MonitorPanelTest, AZoomedPictureIsDraggedWithinItsCell) {
    const WindowHandle m = monitor->handle();
    const auto cursor = [&] { return host.window(m)->cursor; };
    storeRelaxed(gState.liveViewOn, 1);
    storeRelaxed(gState.videoWidth, 720);
    storeRelaxed(gState.videoHeight, 576);

    // Not zoomed: the arrow, and nothing to drag.
    host.mouse(m, WM_MOUSEMOVE, 400, 300);
    EXPECT_EQ(cursor(), CursorShape::Arrow);
    host.mouse(m, WM_LBUTTONDOWN, 400, 300, MK_LBUTTON);
    EXPECT_FALSE(monitor->panning());

    storeRelaxed(gState.channelZoom[0], 2);
    host.mouse(m, WM_MOUSEMOVE, 400, 300);
    EXPECT_EQ(cursor(), CursorShape::Hand);
    host.mouse(m, WM_LBUTTONDOWN, 400, 300, MK_LBUTTON);
    EXPECT_TRUE(monitor->panning());
    EXPECT_EQ(cursor(), CursorShape::SizeAll);
    EXPECT_EQ(host.capture(), m);
    EXPECT_EQ(gState.panDragActive, 1);
    host.mouse(m, WM_MOUSEMOVE, 300, 200, MK_LBUTTON);
    EXPECT_EQ(gState.channelPan[0][0], 42);
    EXPECT_EQ(gState.channelPan[0][1], 45);
    EXPECT_EQ(gState.videoRepositionPending, 1);
    // The button came up outside the window: the next move ends the drag.
    host.mouse(m, WM_MOUSEMOVE, 310, 210);
    EXPECT_FALSE(monitor->panning());
    EXPECT_EQ(host.capture(), 0u);
    EXPECT_EQ(gState.panDragActive, 0);
    EXPECT_EQ(cursor(), CursorShape::Hand);
    EXPECT_EQ(gState.channelPan[0][0], 42) << "a move without the button pans nothing";

    host.mouse(m, WM_LBUTTONDOWN, 300, 200, MK_LBUTTON);
    host.mouse(m, WM_LBUTTONUP, 300, 200);
    EXPECT_FALSE(monitor->panning());
    EXPECT_EQ(gState.panDragActive, 0);

    // Paused: no dragging.
    storeRelaxed(gState.livePaused, 1);
    host.mouse(m, WM_MOUSEMOVE, 400, 300);
    EXPECT_EQ(cursor(), CursorShape::Arrow);
    host.mouse(m, WM_LBUTTONDOWN, 400, 300, MK_LBUTTON);
    EXPECT_FALSE(monitor->panning());
    storeRelaxed(gState.livePaused, 0);

    // Quad layout, CH2 live: only its top-right cell can be dragged, at twice the speed.
    storeRelaxed(gState.quadLayout, 1);
    storeRelaxed(gState.currentChannel, 1);
    storeRelaxed(gState.channelZoom[1], 2);
    host.mouse(m, WM_MOUSEMOVE, 100, 100);
    EXPECT_EQ(cursor(), CursorShape::Arrow);
    host.mouse(m, WM_LBUTTONDOWN, 100, 100, MK_LBUTTON);
    EXPECT_FALSE(monitor->panning());
    host.mouse(m, WM_MOUSEMOVE, 600, 100);
    EXPECT_EQ(cursor(), CursorShape::Hand);
    // The quarters meet at the integer halves of the 841 x 627 area.
    host.mouse(m, WM_MOUSEMOVE, 419, 100);
    EXPECT_EQ(cursor(), CursorShape::Arrow);
    host.mouse(m, WM_MOUSEMOVE, 420, 313);
    EXPECT_EQ(cursor(), CursorShape::Arrow);
    host.mouse(m, WM_MOUSEMOVE, 420, 312);
    EXPECT_EQ(cursor(), CursorShape::Hand);
    host.mouse(m, WM_MOUSEMOVE, 840, 0);
    EXPECT_EQ(cursor(), CursorShape::Hand);
    host.mouse(m, WM_LBUTTONDOWN, 600, 100, MK_LBUTTON);
    ASSERT_TRUE(monitor->panning());
    host.mouse(m, WM_MOUSEMOVE, 500, 100, MK_LBUTTON);
    EXPECT_EQ(gState.channelPan[1][0], 85);
    EXPECT_EQ(gState.channelPan[1][1], 0);
    EXPECT_EQ(gState.channelPan[0][0], 42) << "the other channel keeps its own";
    host.mouse(m, WM_LBUTTONUP, 500, 100);
    EXPECT_TRUE(commands().empty());
}

}  // namespace
}  // namespace vidora::test
