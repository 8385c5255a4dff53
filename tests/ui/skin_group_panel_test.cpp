#include <gtest/gtest.h>

#include "test_support.h"
#include "ui/skin_group_panel.h"

namespace vidora {
namespace {

constexpr int kW = 40, kH = 20;
// Each copy of the group image is one flat colour, so every buffer pixel tells where it came
// from: background, a state copy, or (for the thumb) the white-keyed thumb image.
const Rgb kBackground{10, 10, 10};
Rgb stateColour(int appearance, int state) {
    return {static_cast<uint8_t>(100 + 20 * state), static_cast<uint8_t>(50 + 100 * appearance), 7};
}
const Rgb kThumb{0, 0, 200};

class GroupTest : public test::WindowTest {
  protected:
    // Picture layout (x offsets): 0 background, 1-5 states of appearance 0, 6-10 appearance 1,
    // 11 mask, 12 thumb image.
    SkinGroupPanel* makeGroup(std::vector<SkinControl> controls, int width = kW, int height = kH) {
        parent = makeParent(200, 200);
        auto* g = static_cast<SkinGroupPanel*>(
            createByKind(GROUP_PANEL_KIND, parent, 4113, 0, 0, width, height));
        EXPECT_TRUE(g->create(WS_CHILD, 0, "Group"));
        g->setListener(&listener);
        g->createDrawingBuffer();
        Bitmap24 picture(width * 13, height);
        copyFlat(picture, 0, kBackground, width, height);
        for (int a = 0; a < 2; ++a)
            for (int s = 0; s < 5; ++s)
                copyFlat(picture, (1 + a * 5 + s) * width, stateColour(a, s), width, height);
        copyFlat(picture, 11 * width, {0, 0, 0}, width, height);
        copyFlat(picture, 12 * width, {255, 255, 255}, width, height);
        maskAt = 11 * width;
        thumbAt = 12 * width;
        g->setPicture(std::move(picture));
        g->createTooltipWindow();
        g->setBitmapLayout(0, 0, maskAt);
        for (int a = 0; a < 2; ++a)
            for (int s = 0; s < 5; ++s)
                g->setStateOffset(a, s, (1 + a * 5 + s) * width);
        for (SkinControl& c : controls) {
            c.savedState = c.state;
            g->addTooltip(g->addControl(c));
        }
        host.showWindow(g->handle(), ShowCommand::Show);
        return g;
    }
    static void copyFlat(Bitmap24& p, int x0, Rgb c, int w, int h) {
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                p.setPixel(x0 + x, y, c);
    }
    static SkinControl button(int id, int type, int x, int y = 2, int w = 8, int h = 8) {
        SkinControl c;
        c.id = id;
        c.type = type;
        c.x = x;
        c.y = y;
        c.width = w;
        c.height = h;
        c.hint = "hint " + std::to_string(id);
        return c;
    }
    intptr_t mouse(SkinGroupPanel* g, uint32_t message, int x, int y) {
        return host.mouse(g->handle(), message, x, y);
    }
    void click(SkinGroupPanel* g, int x, int y) {
        mouse(g, WM_MOUSEMOVE, x, y);
        mouse(g, WM_LBUTTONDOWN, x, y);
        mouse(g, WM_LBUTTONUP, x, y);
    }
    int stateOf(SkinGroupPanel* g, int id) { return g->control(id)->state; }

    test::ParentWindow* parent = nullptr;
    test::RecordingListener listener;
    int maskAt = 0;
    int thumbAt = 0;
};

TEST_F(GroupTest, PressLeaveReleaseGivesNothingAndComingBackShowsDown) {
    SkinGroupPanel* g = makeGroup({button(1, CONTROL_PUSH, 2)});
    mouse(g, WM_MOUSEMOVE, 4, 4);
    EXPECT_EQ(stateOf(g, 1), STATE_HIGHLIGHTED);
    EXPECT_EQ(g->hotControl(), 1);
    mouse(g, WM_LBUTTONDOWN, 4, 4);
    EXPECT_EQ(stateOf(g, 1), STATE_DOWN_HIGHLIGHTED);
    EXPECT_EQ(host.capture(), g->handle());
    EXPECT_EQ(host.focus(), g->handle());
    mouse(g, WM_MOUSEMOVE, 30, 4);  // off the button, still inside the group
    EXPECT_EQ(stateOf(g, 1), STATE_NORMAL);
    mouse(g, WM_MOUSEMOVE, 5, 5);  // back over it before the release
    EXPECT_EQ(stateOf(g, 1), STATE_DOWN_HIGHLIGHTED);
    mouse(g, WM_MOUSEMOVE, -20, 4);  // outside the group altogether
    EXPECT_EQ(stateOf(g, 1), STATE_NORMAL);
    mouse(g, WM_LBUTTONUP, -20, 4);
    EXPECT_TRUE(listener.received.empty());
    EXPECT_EQ(stateOf(g, 1), STATE_NORMAL);
    EXPECT_EQ(host.capture(), 0u);
    EXPECT_FALSE(g->mouseCaptured());
    // A proper click completes and notifies the highlighted state.
    click(g, 4, 4);
    ASSERT_EQ(listener.received.size(), 1u);
    EXPECT_EQ(listener.received[0].groupId, 4113);
    EXPECT_EQ(listener.received[0].controlId, 1);
    EXPECT_EQ(listener.received[0].newState, STATE_HIGHLIGHTED);
    // Leaving without a button lets the highlight go; the leave notice does the same.
    mouse(g, WM_MOUSEMOVE, 30, 15);
    EXPECT_EQ(stateOf(g, 1), STATE_NORMAL);
    EXPECT_EQ(g->hotControl(), 0);
    mouse(g, WM_MOUSEMOVE, 4, 4);
    EXPECT_TRUE(host.mouseLeave(g->handle()));
    EXPECT_EQ(stateOf(g, 1), STATE_NORMAL);
}

TEST_F(GroupTest, LatchingButtonNotifiesDownThenUp) {
    SkinGroupPanel* g = makeGroup({button(1, CONTROL_LATCH, 2)});
    click(g, 4, 4);
    click(g, 4, 4);
    ASSERT_EQ(listener.received.size(), 2u);
    EXPECT_EQ(listener.received[0].newState, STATE_DOWN_HIGHLIGHTED);
    EXPECT_EQ(listener.received[1].newState, STATE_HIGHLIGHTED);
    // Pressing a latched button does not change it until the release.
    click(g, 4, 4);
    mouse(g, WM_LBUTTONDOWN, 4, 4);
    EXPECT_EQ(stateOf(g, 1), STATE_DOWN_HIGHLIGHTED);
    // Losing the keyboard focus mid-press keeps a latching button as it is.
    host.send(g->handle(), WM_KILLFOCUS);
    EXPECT_EQ(stateOf(g, 1), STATE_DOWN_HIGHLIGHTED);
    EXPECT_EQ(host.capture(), 0u);
    EXPECT_EQ(listener.received.size(), 3u);
}

TEST_F(GroupTest, ToggleFlipsPerClickProgramAppearanceOnlyWhenSet) {
    SkinGroupPanel* g =
        makeGroup({button(1, CONTROL_TOGGLE, 2), button(2, CONTROL_PROGRAM_APPEARANCE, 14),
                   button(3, CONTROL_PUSH, 26)});
    click(g, 4, 4);
    EXPECT_EQ(g->control(1)->appearance, 1);
    click(g, 4, 4);
    EXPECT_EQ(g->control(1)->appearance, 0);
    click(g, 16, 4);
    EXPECT_EQ(g->control(2)->appearance, 0);
    EXPECT_EQ(listener.received.size(), 3u);
    g->setAppearance(2, 1);
    EXPECT_EQ(g->control(2)->appearance, 1);
    // The second appearance paints from its own copy.
    EXPECT_EQ(g->drawingBuffer().pixel(16, 4), stateColour(1, g->control(2)->state));
    g->setAppearance(3, 1);  // a push button has one appearance
    EXPECT_EQ(g->control(3)->appearance, 0);
}

TEST_F(GroupTest, KillFocusMidPressReleasesAPushButton) {
    SkinGroupPanel* g = makeGroup({button(1, CONTROL_PUSH, 2)});
    mouse(g, WM_MOUSEMOVE, 4, 4);
    mouse(g, WM_LBUTTONDOWN, 4, 4);
    host.send(g->handle(), WM_KILLFOCUS);
    EXPECT_EQ(stateOf(g, 1), STATE_NORMAL);
    EXPECT_FALSE(g->mouseCaptured());
    mouse(g, WM_LBUTTONUP, 4, 4);
    EXPECT_TRUE(listener.received.empty());
}

TEST_F(GroupTest, DisabledControlIgnoresTheMouseAndEnableRestoresItsState) {
    SkinControl latched = button(1, CONTROL_LATCH, 2);
    latched.state = STATE_DOWN;
    SkinControl hidden = button(3, CONTROL_PUSH, 26);
    hidden.state = STATE_HIDDEN;
    SkinGroupPanel* g = makeGroup({latched, button(2, CONTROL_PUSH, 14), hidden});
    g->setEnabled(1, false);
    EXPECT_EQ(stateOf(g, 1), STATE_DISABLED);
    EXPECT_EQ(g->drawingBuffer().pixel(4, 4), stateColour(0, STATE_DISABLED));
    click(g, 4, 4);
    EXPECT_EQ(stateOf(g, 1), STATE_DISABLED);
    EXPECT_FALSE(g->mouseCaptured());
    EXPECT_TRUE(listener.received.empty());
    g->setEnabled(1, true);
    EXPECT_EQ(stateOf(g, 1), STATE_DOWN);
    // Disable all leaves hidden controls alone; enable all brings back what each had.
    mouse(g, WM_MOUSEMOVE, 16, 4);
    g->disableAll();
    EXPECT_EQ(stateOf(g, 1), STATE_DISABLED);
    EXPECT_EQ(stateOf(g, 2), STATE_DISABLED);
    EXPECT_EQ(stateOf(g, 3), STATE_HIDDEN);
    g->enableAll();
    EXPECT_EQ(stateOf(g, 1), STATE_DOWN);
    EXPECT_EQ(stateOf(g, 2), STATE_HIGHLIGHTED);
    EXPECT_EQ(stateOf(g, 3), STATE_HIDDEN);
    // Hidden controls neither show nor take clicks; they cannot be enabled or disabled.
    click(g, 28, 4);
    EXPECT_TRUE(listener.received.empty());
    EXPECT_EQ(g->drawingBuffer().pixel(28, 4), kBackground);
    g->setEnabled(3, false);
    EXPECT_EQ(stateOf(g, 3), STATE_HIDDEN);
    // A control that starts disabled comes back as normal.
    SkinControl* c2 = g->control(2);
    c2->state = c2->savedState = STATE_DISABLED;
    g->setEnabled(2, true);
    EXPECT_EQ(stateOf(g, 2), STATE_NORMAL);
    // Ids that name no control are ignored.
    g->setEnabled(0, false);
    g->setEnabled(4, false);
    g->setAppearance(-1, 1);
    g->setThumbPosition(99, 5);
    EXPECT_EQ(g->trackerValue(42), 0);
}

TEST_F(GroupTest, ControlDisabledDuringAPressDoesNotComplete) {
    SkinGroupPanel* g = makeGroup({button(1, CONTROL_PUSH, 2)});
    mouse(g, WM_MOUSEMOVE, 4, 4);
    mouse(g, WM_LBUTTONDOWN, 4, 4);
    g->setEnabled(1, false);  // the program greys it out meanwhile
    mouse(g, WM_MOUSEMOVE, 30, 4);
    EXPECT_EQ(stateOf(g, 1), STATE_DISABLED);
    mouse(g, WM_MOUSEMOVE, 4, 4);
    mouse(g, WM_LBUTTONUP, 4, 4);
    EXPECT_EQ(stateOf(g, 1), STATE_DISABLED);
    EXPECT_TRUE(listener.received.empty());
}

SkinControl tracker(int id, int x, int width, int thumbWidth, int thumbImageX) {
    SkinControl t;
    t.id = id;
    t.type = CONTROL_TRACKER;
    t.x = x;
    t.y = 5;
    t.width = width;
    t.height = 10;
    t.thumbWidth = thumbWidth;
    t.thumbImageX = thumbImageX;
    t.thumbImageY = 0;
    t.thumbPosition = (width - thumbWidth) / 2;
    return t;
}

TEST_F(GroupTest, TrackerPressJumpsAndDragMovesTheThumb) {
    SkinGroupPanel* g = nullptr;
    {
        const int width = 140;
        g = makeGroup({tracker(1, 10, 120, 20, 12 * width + 3)}, width, kH);
    }
    ASSERT_EQ(g->control(1)->thumbPosition, 50);
    // Three pixels from the left end, away from the thumb: the thumb goes to 0.
    mouse(g, WM_LBUTTONDOWN, 13, 8);
    EXPECT_EQ(g->control(1)->thumbPosition, 0);
    ASSERT_EQ(listener.received.size(), 1u);
    EXPECT_EQ(listener.received[0].controlId, 1);
    EXPECT_EQ(listener.received[0].newState, g->control(1)->state);
    mouse(g, WM_LBUTTONUP, 13, 8);
    EXPECT_EQ(listener.received.size(), 1u);  // a tracker's release is not a click
    // Within seven pixels of the right end: the thumb goes to width - thumb width.
    mouse(g, WM_LBUTTONDOWN, 10 + 120 - 3, 8);
    EXPECT_EQ(g->control(1)->thumbPosition, 100);
    EXPECT_EQ(g->trackerValue(1), 100);
    mouse(g, WM_LBUTTONUP, 127, 8);
    // Grab the thumb (at 110..130) and drag it left by 30: 70.
    listener.received.clear();
    mouse(g, WM_LBUTTONDOWN, 120, 8);
    EXPECT_TRUE(listener.received.empty());  // pressing the thumb itself moves nothing
    mouse(g, WM_MOUSEMOVE, 90, 8);
    EXPECT_EQ(g->control(1)->thumbPosition, 70);
    EXPECT_EQ(listener.received.size(), 1u);
    mouse(g, WM_MOUSEMOVE, 12, 8);  // left of x0 + 7: ignored
    EXPECT_EQ(g->control(1)->thumbPosition, 70);
    mouse(g, WM_MOUSEMOVE, 20, 8);  // -70: clamped at 0
    EXPECT_EQ(g->control(1)->thumbPosition, 0);
    mouse(g, WM_LBUTTONUP, 20, 8);
    EXPECT_EQ(g->trackerValue(1), 0);
    // The program's value is kept on the track.
    g->setThumbPosition(1, 250);
    EXPECT_EQ(g->control(1)->thumbPosition, 100);
    g->setThumbPosition(1, 37);
    EXPECT_EQ(g->trackerValue(1), 37);
}

TEST_F(GroupTest, ThumbIsDrawnWithItsWhitePixelsTransparent) {
    const int width = 140;
    SkinGroupPanel* g = makeGroup({tracker(1, 10, 120, 20, 12 * width)}, width, kH);
    // Thumb image: white except a blue column at its x = 5.
    Bitmap24 picture = g->picture();
    for (int y = 0; y < 10; ++y)
        picture.setPixel(12 * width + 5, y, kThumb);
    g->setPicture(picture);
    g->setThumbPosition(1, 30);
    const Bitmap24& b = g->drawingBuffer();
    EXPECT_EQ(b.pixel(10 + 30 + 5, 5), kThumb);
    EXPECT_EQ(b.pixel(10 + 30 + 5, 14), kThumb);
    EXPECT_EQ(b.pixel(10 + 30 + 4, 5), kBackground);   // white: the background shows
    EXPECT_EQ(b.pixel(10 + 30 + 5, 15), kBackground);  // below the control
}

TEST_F(GroupTest, ShapedControlChangesOnlyItsMaskPixels) {
    SkinControl shaped = button(2, CONTROL_PUSH, 10, 4, 12, 12);
    shaped.shape = 1;
    SkinGroupPanel* g = makeGroup({button(1, CONTROL_PUSH, 0, 0, 2, 2), shaped});
    // Mask: a diamond of control 2 and, next to it, pixels of control 1 and of no control.
    Bitmap24 picture = g->picture();
    std::vector<std::pair<int, int>> inside;
    for (int y = 4; y < 16; ++y)
        for (int x = 10; x < 22; ++x)
            if (std::abs(x - 16) + std::abs(y - 10) <= 4) {
                picture.setPixel(maskAt + x, y, {2, 0, 0});
                inside.emplace_back(x, y);
            }
    picture.setPixel(maskAt + 10, 4, {1, 0, 0});
    picture.setPixel(maskAt + 11, 4, {2, 9, 9});  // only the red component counts
    inside.emplace_back(11, 4);
    g->setPicture(picture);
    g->render();
    const Bitmap24 before = g->drawingBuffer();
    mouse(g, WM_MOUSEMOVE, 16, 10);
    EXPECT_EQ(g->hotControl(), 2);
    const Bitmap24& after = g->drawingBuffer();
    int changed = 0;
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) {
            const bool isInside =
                std::find(inside.begin(), inside.end(), std::pair{x, y}) != inside.end();
            if (isInside) {
                EXPECT_EQ(after.pixel(x, y), stateColour(0, STATE_HIGHLIGHTED)) << x << "," << y;
                EXPECT_EQ(before.pixel(x, y), stateColour(0, STATE_NORMAL));
            } else if (!(x < 2 && y < 2)) {
                EXPECT_EQ(after.pixel(x, y), kBackground) << x << "," << y;
            }
            changed += before.pixel(x, y) != after.pixel(x, y);
        }
    EXPECT_EQ(changed, static_cast<int>(inside.size()));
    // The mask decides the hit test too: inside the rectangle but off the mask is no control.
    EXPECT_EQ(g->hitTest(16, 10), 2);
    EXPECT_EQ(g->hitTest(11, 15), 0);
    EXPECT_EQ(g->hitTest(10, 4), 1);  // a mask pixel names its control wherever it lies
    EXPECT_EQ(g->hitTest(1, 1), 1);
    EXPECT_EQ(g->hitTest(40, 0), -1);
    EXPECT_EQ(g->tooltipAt(12, 5, nullptr), "hint 2");
}

TEST_F(GroupTest, PresentCopiesTheBufferToTheWindow) {
    SkinGroupPanel* g = makeGroup({button(1, CONTROL_LATCH, 2)});
    click(g, 4, 4);
    host.paint(g->handle());
    EXPECT_EQ(host.surface(g->handle()).pixel(4, 4), stateColour(0, STATE_DOWN_HIGHLIGHTED));
    EXPECT_EQ(host.surface(g->handle()).pixel(30, 4), kBackground);
}

class StretchTest : public GroupTest {
  protected:
    // A 20 x 30 group whose picture is traced; rows 10..19 form the band.
    SkinGroupPanel* makeStretched() {
        parent = makeParent(200, 200);
        auto* g = static_cast<SkinGroupPanel*>(
            createByKind(GROUP_PANEL_KIND, parent, 4115, 0, 0, 20, 30));
        EXPECT_TRUE(g->create(WS_CHILD | WS_VISIBLE, 0, "Tools"));
        g->createDrawingBuffer();
        g->setPicture(test::tracedPicture(60, 40));
        g->setBitmapLayout(1, 5, 0);  // background from (0, 5)
        g->setStretch(true, 1, 10, 19);
        g->render();
        return g;
    }
};

TEST_F(StretchTest, AtNominalHeightTheLowerPartIsUnstretched) {
    SkinGroupPanel* g = makeStretched();
    host.paint(g->handle());
    const Bitmap24& s = host.surface(g->handle());
    for (int y = 0; y < 30; ++y)
        for (int x : {0, 7, 19})
            EXPECT_EQ(s.pixel(x, y), test::tracePixel(x, y + 5)) << x << "," << y;
}

TEST_F(StretchTest, ATallerWindowStretchesOnlyTheBand) {
    SkinGroupPanel* g = makeStretched();
    host.moveWindow(g->handle(), Rect::fromSize(0, 0, 20, 50), false);
    host.paint(g->handle());
    const Bitmap24& s = host.surface(g->handle());
    ASSERT_EQ(s.height(), 50);
    for (int y = 0; y < 10; ++y)
        EXPECT_EQ(s.pixel(3, y), test::tracePixel(3, y + 5));
    // Band rows 10..19 fill window rows 10..39, two window rows per picture row.
    for (int y = 10; y < 40; ++y)
        EXPECT_EQ(s.pixel(3, y), test::tracePixel(3, 5 + 10 + (y - 10) * 10 / 30)) << y;
    // The rows below the band follow it and end on the window's last row.
    for (int y = 40; y < 50; ++y)
        EXPECT_EQ(s.pixel(3, y), test::tracePixel(3, 5 + y - 20)) << y;
}

TEST_F(StretchTest, AShorterWindowShowsTheBottomOfThePicture) {
    SkinGroupPanel* g = makeStretched();
    host.moveWindow(g->handle(), Rect::fromSize(0, 0, 20, 26), false);
    host.paint(g->handle());
    const Bitmap24& s = host.surface(g->handle());
    // Picture rows 10..29 land at window rows 6..25.
    EXPECT_EQ(s.pixel(2, 25), test::tracePixel(2, 5 + 29));
    EXPECT_EQ(s.pixel(2, 6), test::tracePixel(2, 5 + 10));
    EXPECT_EQ(s.pixel(2, 5), test::tracePixel(2, 5 + 5));
}

}  // namespace
}  // namespace vidora
