// The main window: layout, outline, frame, resizing, the caption band, the menus, full-screen
// mode, the accelerators and the message boxes of other threads.
#include <gtest/gtest.h>

#include <algorithm>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <thread>

#include "app/message_box.h"
#include "app/settings.h"
#include "platform/relaxed.h"
#include "ui/commands.h"
#include "ui/ui_module.h"
#include "viewer_fixture.h"

namespace vidora::test {
namespace {

constexpr Rect kCentred = Rect::fromSize(445, 177, 1030, 725);  // on a 1920 x 1080 screen

// ---- the resizing rule ------------------------------------------------------------------

Rect sized(Rect r, uint32_t edge) {
    applySizingRule(r, edge, kRightBorder, kMonitorX, kMonitorY);
    return r;
}

// The monitor area the rule works on, and whether it is 4 : 3 in whole steps.
bool fourToThree(const Rect& r) {
    const int w = r.width() - 2 * kRightBorder - kMonitorX - 160;
    const int h = r.height() - 2 * kMonitorY;
    return w / 4 == h / 3;
}

TEST(SizingRule, AFourToThreeAreaStaysAsItIs) {
    // 838 x 627: 838 / 4 = 209 = 627 / 3.
    for (uint32_t edge = WMSZ_LEFT; edge <= WMSZ_BOTTOMRIGHT; ++edge)
        EXPECT_EQ(sized({0, 0, 1030, 725}, edge), Rect({0, 0, 1030, 725})) << edge;
}

TEST(SizingRule, NarrowerThanTheMinimumPinsTheEdgeAndRestoresFourToThree) {
    // The left edge dragged in: it stops at right - 1030, then the bottom comes up by the
    // height of the whole 4 : 3 steps the area lacks in width (98 / 4 = 24 steps of 3 rows).
    EXPECT_EQ(sized({100, 0, 1030, 800}, WMSZ_LEFT), Rect({0, 0, 1030, 728}));
    // 824 high: 726 / 3 = 242, the width lacks 968 - 838 = 130, 32 steps of 3 rows.
    EXPECT_EQ(sized({100, 0, 1030, 824}, WMSZ_LEFT), Rect({0, 0, 1030, 728}));
    EXPECT_EQ(sized({0, 0, 900, 725}, WMSZ_RIGHT), Rect({0, 0, 1030, 725}));
    // Lower than the minimum: the top edge stops at bottom - 725.
    EXPECT_EQ(sized({0, 100, 1030, 725}, WMSZ_TOP), Rect({0, 0, 1030, 725}));
    EXPECT_EQ(sized({0, 0, 1030, 600}, WMSZ_BOTTOM), Rect({0, 0, 1030, 725}));
}

TEST(SizingRule, SidesAndCornersMoveTheOtherEdgeToKeepFourToThree) {
    // Wider: the bottom follows.
    EXPECT_EQ(sized({0, 0, 1400, 725}, WMSZ_RIGHT), Rect({0, 0, 1400, 1004}));
    // Taller from the bottom: the right edge follows.
    EXPECT_EQ(sized({0, 0, 1030, 900}, WMSZ_BOTTOM), Rect({0, 0, 1260, 900}));
    // Too wide while the top is dragged: the right edge comes in.
    EXPECT_EQ(sized({0, 0, 1400, 725}, WMSZ_TOP), Rect({0, 0, 1028, 725}));
    // Corners move their own two edges.
    EXPECT_EQ(sized({0, 0, 1100, 800}, WMSZ_BOTTOMRIGHT), Rect({0, 0, 1128, 800}));
    EXPECT_EQ(sized({-50, -50, 1030, 725}, WMSZ_TOPLEFT), Rect({-62, -50, 1030, 725}));
    EXPECT_EQ(sized({0, 0, 1300, 725}, WMSZ_BOTTOMLEFT), Rect({0, 0, 1300, 929}));
    EXPECT_EQ(sized({0, 0, 1300, 725}, WMSZ_TOPRIGHT), Rect({0, -204, 1300, 725}));
    for (const Rect& r :
         {sized({0, 0, 1400, 725}, WMSZ_RIGHT), sized({0, 0, 1030, 900}, WMSZ_BOTTOM),
          sized({0, 0, 1100, 800}, WMSZ_BOTTOMRIGHT), sized({0, 0, 1300, 725}, WMSZ_BOTTOMLEFT)})
        EXPECT_TRUE(fourToThree(r)) << r.width() << " x " << r.height();
}

// ---- the window -------------------------------------------------------------------------

using MainWindowTest = ViewerTest;

TEST_F(MainWindowTest, OpensCentredAtTheSkinSizeWithItsPanelsAndOutline) {
    const WindowHandle w = main->handle();
    EXPECT_EQ(host.windowRect(w), kCentred);
    EXPECT_EQ(host.window(w)->params.caption, "Vidora V1.0.4");
    EXPECT_EQ(host.style(w) & MainWindow::kStyle, MainWindow::kStyle);
    EXPECT_EQ(gState.notifyWindow, w);
    ASSERT_EQ(host.window(w)->accelerators.size(), viewerAccelerators().size());
    EXPECT_EQ(host.window(w)->accelerators[0].virtualKey, VK_ESCAPE);
    EXPECT_EQ(host.window(w)->accelerators[0].command, ID_FULLSCREEN);
    EXPECT_EQ(host.window(w)->accelerators[1].virtualKey, VK_SPACE);
    EXPECT_EQ(host.window(w)->accelerators[1].command, ID_NEXT_CHANNEL);
    const auto& table = host.window(w)->accelerators;
    const auto recordings = std::find_if(table.begin(), table.end(), [](const Accelerator& a) {
        return a.command == ID_RECORDINGS;
    });
    ASSERT_NE(recordings, table.end());
    EXPECT_EQ(recordings->virtualKey, VK_L);

    EXPECT_EQ(host.windowRect(monitor->handle()),
              Rect::fromSize(kMonitorX, kMonitorY, 1030 - kRightBorder - kMonitorX - 160 - 8, 627));
    EXPECT_EQ(monitor->presenter().clientSize().width, 841);
    EXPECT_EQ(monitor->presenter().clientSize().height, 627);
    EXPECT_EQ(videoWindow(), &monitor->presenter());

    // The outline: the cut list of the frame, following the bottom when the window grows.
    const std::vector<Rect>& cuts = main->skin().cutList;
    ASSERT_EQ(cuts.size(), 5u);
    EXPECT_EQ(host.window(w)->regionBounds, Rect({0, 0, 1030, 725}));
    EXPECT_EQ(host.window(w)->regionCuts, cuts);
    host.moveWindow(w, Rect::fromSize(0, 0, 1130, 800), true);
    EXPECT_EQ(host.window(w)->regionBounds, Rect({0, 0, 1130, 800}));
    ASSERT_EQ(host.window(w)->regionCuts.size(), 5u);
    for (size_t i = 0; i < cuts.size(); ++i) {
        Rect moved = cuts[i];
        moved.bottom += 75;
        EXPECT_EQ(host.window(w)->regionCuts[i], moved);
    }
    EXPECT_EQ(host.windowRect(panel->handle()).left, 1130 - kRightBorder - 160);
    EXPECT_EQ(host.windowRect(monitor->handle()).width(), 941);
}

TEST_F(MainWindowTest, PaintsTheFramePiecesMovedAndStretchedWithTheWindow) {
    const Bitmap24& frame = main->skin().frame;
    ASSERT_FALSE(frame.empty());
    host.paint(main->handle());
    const Bitmap24& surface = host.surface(main->handle());
    for (const Point p : {Point{30, 34}, Point{968, 35}, Point{980, 700}, Point{5, 300}})
        EXPECT_EQ(surface.pixel(p.x, p.y), frame.pixel(p.x, p.y)) << p.x << "," << p.y;

    // 200 wider and 150 taller: the caption buttons and the menu button move with the right and
    // bottom edges, the logo stays.
    host.moveWindow(main->handle(), Rect::fromSize(0, 0, 1230, 875), true);
    host.paint(main->handle());
    const Bitmap24& grown = host.surface(main->handle());
    EXPECT_EQ(grown.pixel(30, 34), frame.pixel(30, 34));
    for (const Point p : {Point{968, 35}, Point{1005, 35}})
        EXPECT_EQ(grown.pixel(p.x + 200, p.y), frame.pixel(p.x, p.y)) << p.x;
    for (const Point p : {Point{950, 700}, Point{980, 700}})
        EXPECT_EQ(grown.pixel(p.x + 200, p.y + 150), frame.pixel(p.x, p.y)) << p.x;
}

TEST_F(MainWindowTest, CaptionButtonsActOnlyWhenReleasedWhereTheyWerePressed) {
    const WindowHandle w = main->handle();
    // Minimise (959, 26): press and release on it.
    host.mouse(w, WM_LBUTTONDOWN, 965, 30, MK_LBUTTON);
    EXPECT_EQ(host.capture(), w);
    host.mouse(w, WM_LBUTTONUP, 966, 31);
    EXPECT_EQ(host.capture(), 0u);
    EXPECT_TRUE(host.systemCommands().empty()) << "posted, not sent";
    host.dispatchPosted();
    ASSERT_EQ(host.systemCommands().size(), 1u);
    EXPECT_EQ(host.systemCommands()[0].second, SC_MINIMIZE);
    host.showWindow(w, ShowCommand::Restore);

    // Pressed on close, released on maximise or outside: nothing.
    host.mouse(w, WM_LBUTTONDOWN, 1005, 30, MK_LBUTTON);
    host.mouse(w, WM_LBUTTONUP, 985, 30);
    host.mouse(w, WM_LBUTTONDOWN, 1005, 30, MK_LBUTTON);
    host.mouse(w, WM_MOUSEMOVE, 600, 300, MK_LBUTTON);
    host.mouse(w, WM_LBUTTONUP, 600, 300);
    host.dispatchPosted();
    EXPECT_EQ(host.systemCommands().size(), 1u);
    EXPECT_EQ(host.windowRect(w), kCentred) << "pressing a button does not drag";

    // Maximise, then the same button restores.
    host.mouse(w, WM_LBUTTONDOWN, 985, 30, MK_LBUTTON);
    host.mouse(w, WM_LBUTTONUP, 985, 30);
    host.dispatchPosted();
    EXPECT_TRUE(host.isMaximized(w));
    const int shift = 1920 - 1030;
    host.mouse(w, WM_LBUTTONDOWN, 985 + shift, 30, MK_LBUTTON);
    host.mouse(w, WM_LBUTTONUP, 985 + shift, 30);
    host.dispatchPosted();
    EXPECT_FALSE(host.isMaximized(w));
    EXPECT_EQ(host.systemCommands().back().second, SC_RESTORE);
}

TEST_F(MainWindowTest, TheCaptionBandMovesTheWindowUnlessItIsMaximised) {
    const WindowHandle w = main->handle();
    host.mouse(w, WM_LBUTTONDOWN, 500, 20, MK_LBUTTON);
    EXPECT_TRUE(main->dragging());
    host.mouse(w, WM_MOUSEMOVE, 530, 10, MK_LBUTTON);
    EXPECT_EQ(host.windowRect(w), Rect::fromSize(475, 167, 1030, 725));
    EXPECT_EQ(commands(), (std::vector<Command>{posted(ENG_VIDEO_RECT_CHANGED)}));
    host.mouse(w, WM_LBUTTONUP, 500, 20);
    EXPECT_FALSE(main->dragging());
    EXPECT_EQ(host.capture(), 0u);

    // Below the caption band nothing drags.
    host.mouse(w, WM_LBUTTONDOWN, 500, kMonitorY, MK_LBUTTON);
    EXPECT_FALSE(main->dragging());
    host.mouse(w, WM_LBUTTONUP, 500, kMonitorY);

    // Losing the focus ends a drag.
    host.mouse(w, WM_LBUTTONDOWN, 500, 20, MK_LBUTTON);
    host.send(w, WM_KILLFOCUS);
    EXPECT_FALSE(main->dragging());
    EXPECT_EQ(host.capture(), 0u);

    // Maximised (by a double-click in the band): pressing the band outside the buttons does
    // nothing; another double-click restores.
    host.mouse(w, WM_LBUTTONDBLCLK, 500, 20, MK_LBUTTON);
    EXPECT_TRUE(host.isMaximized(w));
    const Rect maximised = host.windowRect(w);
    host.mouse(w, WM_LBUTTONDOWN, 500, 20, MK_LBUTTON);
    EXPECT_FALSE(main->dragging());
    host.mouse(w, WM_MOUSEMOVE, 700, 40, MK_LBUTTON);
    host.mouse(w, WM_LBUTTONUP, 700, 40);
    EXPECT_EQ(host.windowRect(w), maximised);
    host.mouse(w, WM_LBUTTONDBLCLK, 500, 20, MK_LBUTTON);
    EXPECT_FALSE(host.isMaximized(w));
    host.mouse(w, WM_LBUTTONDBLCLK, 500, 300, MK_LBUTTON);  // outside the band: nothing
    EXPECT_FALSE(host.isMaximized(w));
}

TEST_F(MainWindowTest, TheSystemMenuOfTheCaptionBandFollowsTheWindowState) {
    const WindowHandle w = main->handle();
    host.queueMenuAnswer(SC_MAXIMIZE);
    host.send(w, WM_CONTEXTMENU, w, makePointParam(445 + 300, 177 + 20));
    ASSERT_EQ(host.lastMenu().size(), 7u);
    const auto enabled = [&](uint32_t id) {
        for (const MenuItem& item : host.lastMenu())
            if (item.id == id)
                return item.enabled;
        ADD_FAILURE() << "no entry " << id;
        return false;
    };
    EXPECT_FALSE(enabled(SC_RESTORE));
    EXPECT_TRUE(enabled(SC_MOVE));
    EXPECT_TRUE(enabled(SC_SIZE));
    EXPECT_TRUE(enabled(SC_MINIMIZE));
    EXPECT_TRUE(enabled(SC_MAXIMIZE));
    EXPECT_TRUE(enabled(SC_CLOSE));
    EXPECT_TRUE(host.isMaximized(w));

    host.queueMenuAnswer(0);  // dismissed
    host.send(w, WM_CONTEXTMENU, w, makePointParam(300, 20));
    EXPECT_TRUE(enabled(SC_RESTORE));
    EXPECT_FALSE(enabled(SC_MOVE));
    EXPECT_FALSE(enabled(SC_SIZE));
    EXPECT_FALSE(enabled(SC_MAXIMIZE));
    EXPECT_TRUE(host.isMaximized(w));

    // Outside the caption band there is no menu.
    const size_t menus = host.lastMenu().size();
    host.queueMenuAnswer(SC_RESTORE);
    host.send(w, WM_CONTEXTMENU, w, makePointParam(300, 500));
    EXPECT_EQ(host.lastMenu().size(), menus);
    EXPECT_TRUE(host.isMaximized(w));
}

TEST_F(MainWindowTest, TheFunctionMenuOpensTheSettingsPageOnlyWhileLiveViewRuns) {
    const WindowHandle w = main->handle();
    const auto clickMenuButton = [&] {
        host.mouse(w, WM_LBUTTONDOWN, 960, 700, MK_LBUTTON);
        host.mouse(w, WM_LBUTTONUP, 960, 700);
    };
    host.queueMenuAnswer(ID_ABOUT);
    clickMenuButton();  // live view off
    storeRelaxed(gState.liveViewOn, 1);
    storeRelaxed(gState.livePaused, 1);
    clickMenuButton();  // paused
    EXPECT_TRUE(host.lastMenu().empty());
    EXPECT_TRUE(settingsCalls.empty());

    storeRelaxed(gState.livePaused, 0);
    clickMenuButton();
    const std::vector<MenuItem> menu = host.lastMenu();
    ASSERT_EQ(menu.size(), 10u);
    const std::vector<std::pair<uint32_t, std::string>> entries = {
        {32777, "Security Config"}, {32781, "Display Config"},
        {32778, "Alarm Config"},    {32783, "Record Config"},
        {32782, "Capture Config"},  {32779, "Plan Task Config"},
        {32784, "More settings"},   {0, ""},
        {32785, "Recordings"},      {32780, "About"}};
    for (size_t i = 0; i < menu.size(); ++i) {
        EXPECT_EQ(menu[i].id, entries[i].first);
        EXPECT_EQ(menu[i].text, entries[i].second);
        EXPECT_EQ(menu[i].separator, i == 7);
    }
    EXPECT_EQ(settingsCalls, (std::vector<SettingsCall>{{w, 6}}));
    EXPECT_EQ(commands(), (std::vector<Command>{sent(ENG_SETTINGS_CHANGED)}));

    // Every entry opens its page.
    const std::vector<std::pair<uint32_t, int>> pages = {{32777, 0}, {32781, 1}, {32778, 2},
                                                         {32783, 3}, {32782, 4}, {32779, 5}};
    for (const auto& [id, page] : pages) {
        host.queueMenuAnswer(id);
        clickMenuButton();
        EXPECT_EQ(settingsCalls.back(), (SettingsCall{w, page})) << id;
    }
    commands();
    // "More settings" opens the viewer's own dialog; the settings record is not involved.
    host.queueMenuAnswer(32784);
    clickMenuButton();
    EXPECT_EQ(moreSettingsCalls, (std::vector<WindowHandle>{w}));
    EXPECT_EQ(settingsCalls.size(), 7u);
    EXPECT_TRUE(commands().empty());
    // Dismissing the menu, or a click beside the button, does nothing.
    clickMenuButton();
    host.mouse(w, WM_LBUTTONDOWN, 940, 700, MK_LBUTTON);
    host.mouse(w, WM_LBUTTONUP, 940, 700);
    EXPECT_EQ(settingsCalls.size(), 7u);
    EXPECT_TRUE(commands().empty());

    // "Recordings" opens the recordings window over the main window, as its key L does; the
    // engine is not involved.
    host.queueMenuAnswer(ID_RECORDINGS);
    clickMenuButton();
    EXPECT_EQ(recordingsCalls, std::vector<WindowHandle>{w});
    host.send(w, WM_COMMAND, commandParam(ID_RECORDINGS, true), 0);
    EXPECT_EQ(recordingsCalls, (std::vector<WindowHandle>{w, w}));
    EXPECT_EQ(settingsCalls.size(), 7u);
    EXPECT_TRUE(commands().empty());

    // The button moves with the bottom-right corner.
    host.moveWindow(w, Rect::fromSize(0, 0, 1130, 825), true);
    commands();
    host.queueMenuAnswer(ID_DISPLAY_CONFIG);
    host.mouse(w, WM_LBUTTONDOWN, 1060, 800, MK_LBUTTON);
    host.mouse(w, WM_LBUTTONUP, 1060, 800);
    EXPECT_EQ(settingsCalls.back(), (SettingsCall{w, 1}));
}

TEST_F(MainWindowTest, FullScreenIsEnteredByCommandAndLeftByEscape) {
    const WindowHandle w = main->handle();
    // Esc outside full-screen mode does nothing.
    host.send(w, WM_COMMAND, commandParam(ID_FULLSCREEN, true));
    EXPECT_FALSE(main->fullScreen());
    EXPECT_EQ(host.windowRect(w), kCentred);
    EXPECT_TRUE(commands().empty());

    host.send(w, WM_COMMAND, commandParam(ID_FULLSCREEN));
    EXPECT_TRUE(main->fullScreen());
    EXPECT_FALSE(host.isVisible(panel->handle()));
    EXPECT_EQ(host.style(w) & WS_SYSMENU, 0u);
    EXPECT_EQ(host.windowRect(w), Rect({0, 0, 1920, 1080}));
    EXPECT_EQ(host.windowRect(monitor->handle()), Rect({0, 0, 1920, 1080}));
    EXPECT_TRUE(host.window(w)->regionCuts.empty());
    auto sentNow = commands();
    ASSERT_FALSE(sentNow.empty());
    EXPECT_EQ(sentNow.back(), sent(ENG_TOGGLE_FULLSCREEN_LAYOUT));
    // Painting the frame is skipped: the monitor panel covers the window.
    host.paint(w);

    host.send(w, WM_COMMAND, commandParam(ID_FULLSCREEN, true));
    EXPECT_FALSE(main->fullScreen());
    EXPECT_TRUE(host.isVisible(panel->handle()));
    EXPECT_NE(host.style(w) & WS_SYSMENU, 0u);
    EXPECT_EQ(host.windowRect(w), kCentred);
    EXPECT_EQ(host.windowRect(monitor->handle()), Rect::fromSize(kMonitorX, kMonitorY, 841, 627));
    EXPECT_EQ(host.window(w)->regionCuts.size(), 5u);
    sentNow = commands();
    ASSERT_FALSE(sentNow.empty());
    EXPECT_EQ(sentNow.back(), sent(ENG_TOGGLE_FULLSCREEN_LAYOUT));
}

TEST_F(MainWindowTest, KeysMovesDisplayAndDeviceChangesBecomeCommands) {
    const WindowHandle w = main->handle();
    host.send(w, WM_COMMAND, commandParam(ID_NEXT_CHANNEL, true));
    host.send(w, WM_MOVE, 0, makePointParam(10, 10));
    host.send(w, WM_DISPLAYCHANGE, 32, 0);
    EXPECT_EQ(host.send(w, WM_DEVICECHANGE, DBT_DEVICEARRIVAL), 0);
    host.send(w, WM_DEVICECHANGE, DBT_DEVNODES_CHANGED);
    host.send(w, WM_DEVICECHANGE, 0x8004);  // removal: not ours
    EXPECT_EQ(commands(), (std::vector<Command>{
                              posted(ENG_CHANNEL_NEXT), posted(ENG_VIDEO_RECT_CHANGED),
                              sent(ENG_DISPLAY_CHANGED), sent(ENG_CONNECT), sent(ENG_CONNECT)}));
}

TEST_F(MainWindowTest, MessageBoxesOfOtherThreadsAreOwnedByTheMainWindow) {
    std::atomic<int> wakes{0};
    installWindowMessageBoxes([&wakes] { wakes.fetch_add(1); });
    host.queueMessageBoxAnswer(IDNO);
    std::atomic<int> answer{0};
    std::thread worker([&answer] {
        answer =
            userMessageBox("Delete the oldest recordings?", "Vidora", MB_YESNO | MB_ICONQUESTION);
    });
    while (wakes.load() == 0)
        std::this_thread::yield();
    EXPECT_EQ(answer.load(), 0) << "the worker waits for the user";
    pumpMessageBoxes();
    worker.join();
    EXPECT_EQ(answer.load(), IDNO);
    ASSERT_EQ(host.messageBoxes().size(), 1u);
    EXPECT_EQ(host.messageBoxes()[0].owner, main->handle());
    EXPECT_EQ(host.messageBoxes()[0].request.text, "Delete the oldest recordings?");
    EXPECT_EQ(host.messageBoxes()[0].request.caption, "Vidora");
    EXPECT_EQ(host.messageBoxes()[0].request.type, uint32_t{MB_YESNO | MB_ICONQUESTION});

    // Without a main window the box has no owner.
    storeRelaxed(gState.notifyWindow, 0u);
    EXPECT_EQ(userMessageBox("No USB Receiver connected.", "", MB_OK), IDOK);
    ASSERT_EQ(host.messageBoxes().size(), 2u);
    EXPECT_EQ(host.messageBoxes()[1].owner, 0u);
    setMessageBoxPresenter({});
}

// ---- a skin of the test's own -----------------------------------------------------------

class SyntheticSkinTest : public ViewerTest {
  protected:
    SyntheticSkinTest() : ViewerTest(false) { autoStart_ = false; }
};

TEST_F(SyntheticSkinTest, TheOutlineIsCutFromTheMaskColourOfTheFrame) {
    // Columns 0 .. 3 are scanned (MONITOR_X 4): column 0 is mask colour all the way down,
    // column 1 from row 3 to 5, column 2 not at all, column 3 at row 10; column 5 lies beyond.
    Bitmap24 frame(60, 40);
    frame.fill({40, 40, 40});
    const Rgb magenta{255, 0, 255};
    for (int y = 0; y < 40; ++y)
        frame.setPixel(0, y, magenta);
    for (int y = 3; y <= 5; ++y)
        frame.setPixel(1, y, magenta);
    frame.setPixel(3, 10, magenta);
    for (int y = 0; y <= 3; ++y)
        frame.setPixel(5, y, magenta);
    std::filesystem::create_directory("UI");
    ASSERT_TRUE(frame.saveBmp("UI/frame.bmp"));
    std::ofstream("UI/ui.ini") << "[MAINWND]\nPICTUREFILE=frame.bmp\nMASKCOLOR=16711935\n"
                                  "WIDTH=60\nHEIGHT=40\nRIGHTBORDER_WIDTH=2\nMONITOR_X=4\n"
                                  "MONITOR_Y=5\n";
    start();
    const WindowHandle w = main->handle();
    EXPECT_EQ(host.windowRect(w).width(), 60);
    EXPECT_EQ(host.window(w)->regionCuts,
              (std::vector<Rect>{{0, 0, 1, 40}, {1, 3, 2, 7}, {3, 10, 4, 12}}));
    host.moveWindow(w, Rect::fromSize(0, 0, 80, 70), true);
    EXPECT_EQ(host.window(w)->regionCuts,
              (std::vector<Rect>{{0, 0, 1, 70}, {1, 3, 2, 37}, {3, 10, 4, 42}}));
    // No groups in this skin: their buttons are simply absent.
    EXPECT_EQ(panel->group(TOOL_GROUP_ID), nullptr);
    commands();
    panel->notify({TOOL_GROUP_ID, 2, STATE_DOWN});
    EXPECT_EQ(commands(), (std::vector<Command>{sent(ENG_LIVE_PAUSE)}));
}

TEST_F(SyntheticSkinTest, WithoutASkinTheWindowKeepsItsSizeAndPaintsBlack) {
    start();
    const WindowHandle w = main->handle();
    EXPECT_EQ(host.windowRect(w), kCentred);
    EXPECT_TRUE(host.window(w)->regionCuts.empty());
    host.paint(w);
    EXPECT_EQ(host.surface(w).pixel(500, 20), Rgb({0, 0, 0}));
    EXPECT_EQ(host.surface(w).pixel(1030 - 165, 300), Rgb({178, 178, 178}))
        << "the strip beside the control panel";
}

// A damaged or hostile [MAINWND]: numbers at the ends of the int range, or absurdly large, in
// every key. Showing, resizing, painting and clicking the window must stay inside the int range
// and inside the frame picture (the sanitizer builds check both), and the window stays usable.
class HostileMainWindowSkinTest : public SyntheticSkinTest,
                                  public ::testing::WithParamInterface<const char*> {};

TEST_P(HostileMainWindowSkinTest, NumbersAtTheEndsOfTheRangeStayHarmless) {
    Bitmap24 frame(24, 16);
    frame.fill({40, 40, 40});
    for (int y = 2; y < 12; ++y)
        frame.setPixel(0, y, {255, 0, 255});
    std::filesystem::create_directory("UI");
    ASSERT_TRUE(frame.saveBmp("UI/frame.bmp"));
    // Each key takes the next value of the list, so neighbours differ in sign and size.
    std::vector<std::string> values;
    for (std::string_view rest = GetParam(); !rest.empty();) {
        const size_t comma = rest.find(',');
        values.emplace_back(rest.substr(0, comma));
        rest = comma == std::string_view::npos ? std::string_view{} : rest.substr(comma + 1);
    }
    size_t next = 0;
    const auto value = [&] { return values[next++ % values.size()]; };
    std::string ini = "[MAINWND]\nPICTUREFILE=frame.bmp\nMASKCOLOR=16711935\n";
    for (const char* key : {"WIDTH", "HEIGHT", "RIGHTBORDER_WIDTH", "MONITOR_X", "MONITOR_Y",
                            "MENULEFT", "MENUTOP", "MENUWIDTH", "MENUHEIGHT"})
        ini += std::string(key) + "=" + value() + "\n";
    for (int n = 1; n <= 10; ++n)
        for (const char* key : {"LEFT", "TOP", "WIDTH", "HEIGHT"})
            ini += key + std::to_string(n) + "=" + value() + "\n";
    std::ofstream("UI/ui.ini") << ini;
    start();

    const WindowHandle w = main->handle();
    for (const int32_t v :
         {main->skin().width, main->skin().height, main->skin().monitorX, main->skin().monitorY,
          main->skin().rightBorderWidth, main->skin().pieces[4].width, main->skin().menu.left}) {
        EXPECT_LE(v, kMaxSkinCoordinate);
        EXPECT_GE(v, -kMaxSkinCoordinate);
    }
    for (const Rect& cut : main->skin().cutList) {
        EXPECT_GE(cut.top, 0);
        EXPECT_LE(cut.bottom, frame.height());
    }
    storeRelaxed(gState.liveViewOn, 1);
    for (const Rect& size : {Rect::fromSize(0, 0, 1030, 725), Rect::fromSize(5, 5, 1600, 1000),
                             Rect::fromSize(0, 0, 1, 1)}) {
        host.moveWindow(w, size, true);
        host.paint(w);
        host.paintPending();
        for (uint32_t edge = WMSZ_LEFT; edge <= WMSZ_BOTTOMRIGHT; ++edge) {
            Rect proposed = size;
            EXPECT_EQ(host.send(w, WM_SIZING, edge, reinterpret_cast<intptr_t>(&proposed)), 1);
        }
        for (const Point p : {Point{0, 0}, Point{500, 20}, Point{985, 30}, Point{960, 700},
                              Point{-3, 32000}, Point{32000, -3}}) {
            host.mouse(w, WM_LBUTTONDOWN, p.x, p.y, MK_LBUTTON);
            host.mouse(w, WM_MOUSEMOVE, p.x + 7, p.y + 3, MK_LBUTTON);
            host.mouse(w, WM_LBUTTONUP, p.x, p.y);
            host.mouse(w, WM_LBUTTONDBLCLK, p.x, p.y, MK_LBUTTON);
            host.send(w, WM_CONTEXTMENU, w, makePointParam(p.x, p.y));
            host.dispatchPosted();
        }
        host.send(w, WM_COMMAND, commandParam(ID_FULLSCREEN));
        host.paint(w);
        host.send(w, WM_COMMAND, commandParam(ID_FULLSCREEN));
        EXPECT_FALSE(main->fullScreen());
    }
    // Whatever the skin asked for, the window is still there and answers.
    EXPECT_TRUE(host.isWindow(w));
    EXPECT_TRUE(host.isWindow(monitor->handle()));
}

INSTANTIATE_TEST_SUITE_P(Values, HostileMainWindowSkinTest,
                         ::testing::Values("2147483647", "-2147483648", "99999999999999",
                                           "2147483647,-2147483648,1,-1,0",
                                           "-1,1073741824,-1073741824,3"));

}  // namespace
}  // namespace vidora::test
