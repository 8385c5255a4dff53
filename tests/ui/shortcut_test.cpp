// Keys, the mouse wheel and the picture's menu: each sends what its button sends, and nothing
// while its button is disabled.
#include <gtest/gtest.h>

#include "app/settings.h"
#include "platform/relaxed.h"
#include "ui/commands.h"
#include "ui/picture_menu.h"
#include "ui/ui_module.h"
#include "viewer_fixture.h"

namespace vidora::test {
namespace {

constexpr int32_t kTool = TOOL_GROUP_ID;

class ShortcutTest : public ViewerTest {
  protected:
    void goLive() {
        storeRelaxed(gState.liveViewOn, 1);
        notice(NTF_LIVE_STATE);
        commands();
    }
    // A key as the host delivers it: through the main window's accelerator table.
    void key(int virtualKey) {
        const auto& table = host.window(main->handle())->accelerators;
        for (const Accelerator& a : table) {
            if (a.virtualKey == virtualKey) {
                routeWindowMessage(main->handle(), WM_COMMAND, commandParam(a.command, true), 0);
                return;
            }
        }
        ADD_FAILURE() << "no accelerator for key " << virtualKey;
    }
    void wheel(int x, int y, int delta) {
        routeWindowMessage(monitor->handle(), WM_MOUSEWHEEL,
                           static_cast<uintptr_t>(static_cast<uint16_t>(delta)) << 16,
                           makePointParam(x, y));
    }
    // Right-click on the picture, choosing `answer` (0 dismisses); returns the menu shown.
    std::vector<MenuItem> rightClick(uint32_t answer) {
        host.queueMenuAnswer(answer);
        routeWindowMessage(monitor->handle(), WM_CONTEXTMENU, monitor->handle(),
                           makePointParam(300, 300));
        return host.lastMenu();
    }
    static const MenuItem* entry(const std::vector<MenuItem>& menu, uint32_t id) {
        for (const MenuItem& item : menu)
            if (item.id == id && !item.separator)
                return &item;
        return nullptr;
    }
    uint32_t zoom() const { return loadRelaxed(gState.channelZoom[0]); }
};

TEST_F(ShortcutTest, KeysSendTheirButtonsCommands) {
    goLive();
    // The buttons, clicked with the mouse ...
    click(kTool, TOOL_QUAD, STATE_HIGHLIGHTED);
    click(kTool, TOOL_SNAPSHOT, STATE_HIGHLIGHTED);
    click(kTool, TOOL_RECORD, STATE_DOWN_HIGHLIGHTED);
    click(kTool, TOOL_RECORD, STATE_HIGHLIGHTED);
    click(CHANNEL_GROUP_ID, 3, STATE_HIGHLIGHTED);
    const std::vector<Command> byMouse = commands();
    // ... and their keys.
    key(VK_Q);
    key(VK_S);
    key(VK_R);
    EXPECT_EQ(state(kTool, TOOL_RECORD), STATE_DOWN) << "the record button shows it records";
    key(VK_R);
    EXPECT_EQ(state(kTool, TOOL_RECORD), STATE_NORMAL);
    key(VK_1 + 2);
    EXPECT_EQ(commands(), byMouse);
    EXPECT_EQ(byMouse, (std::vector<Command>{sent(ENG_TOGGLE_QUAD), sent(ENG_SNAPSHOT),
                                             sent(ENG_RECORD_START), sent(ENG_RECORD_STOP),
                                             sent(ENG_CHANNEL_SELECT, 2)}));
    key(VK_1);
    key(VK_1 + 3);
    EXPECT_EQ(commands(),
              (std::vector<Command>{sent(ENG_CHANNEL_SELECT, 0), sent(ENG_CHANNEL_SELECT, 3)}));

    // + and - (and =) zoom like the buttons, within 1 to 4.
    key(VK_ADD);
    EXPECT_EQ(zoom(), 2u);
    key(VK_OEM_PLUS);
    key(VK_ADD);
    key(VK_ADD);
    EXPECT_EQ(zoom(), 4u);
    key(VK_SUBTRACT);
    EXPECT_EQ(zoom(), 3u);
    // Space and Esc keep their meaning.
    key(VK_SPACE);
    EXPECT_EQ(commands(), (std::vector<Command>{posted(ENG_CHANNEL_NEXT)}));
}

TEST_F(ShortcutTest, F11EntersFullScreenLikeItsButtonAndLeavesLikeEsc) {
    // Each switch tells the engine once (the window's moves tell it of the new video area too).
    const auto switches = [this] {
        int n = 0;
        for (const Command& c : commands())
            n += c == sent(ENG_TOGGLE_FULLSCREEN_LAYOUT);
        return n;
    };
    key(VK_F11);
    EXPECT_FALSE(main->fullScreen()) << "no live view: the button is disabled";
    goLive();
    key(VK_ESCAPE);
    EXPECT_FALSE(main->fullScreen()) << "Esc only leaves";
    EXPECT_EQ(switches(), 0);
    key(VK_F11);
    EXPECT_TRUE(main->fullScreen());
    EXPECT_EQ(switches(), 1);
    key(VK_F11);
    EXPECT_FALSE(main->fullScreen());
    key(VK_F11);
    key(VK_ESCAPE);
    EXPECT_FALSE(main->fullScreen());
    EXPECT_EQ(switches(), 3);
}

TEST_F(ShortcutTest, KeysDoNothingWhereTheButtonIsDisabled) {
    // Before live view every button but the record folder is grey.
    for (int vk : {VK_Q, VK_S, VK_R, VK_1, VK_ADD, VK_SUBTRACT, VK_F11})
        key(vk);
    wheel(400, 300, 120);
    EXPECT_TRUE(commands().empty());
    EXPECT_EQ(zoom(), 1u);
    EXPECT_FALSE(main->fullScreen());
    // Paused: only pause and the record folder work.
    goLive();
    click(kTool, TOOL_PAUSE, STATE_DOWN_HIGHLIGHTED);
    commands();
    for (int vk : {int{VK_Q}, int{VK_S}, int{VK_R}, VK_1 + 1, int{VK_ADD}})
        key(vk);
    wheel(400, 300, 120);
    EXPECT_TRUE(commands().empty());
    EXPECT_EQ(zoom(), 1u);
    EXPECT_EQ(loadRelaxed(gState.recordingOn), 0);
}

TEST_F(ShortcutTest, TheWheelZoomsAtThePointer) {
    goLive();
    storeRelaxed(gState.videoWidth, 720);
    storeRelaxed(gState.videoHeight, 576);
    // The picture is 841 x 627: the pointer at the centre keeps the centre.
    wheel(420, 313, 120);
    EXPECT_EQ(zoom(), 2u);
    EXPECT_NEAR(gState.channelPan[0][0], 180, 1);
    EXPECT_NEAR(gState.channelPan[0][1], 144, 1);
    EXPECT_EQ(gState.videoRepositionPending, 1);
    // Small touchpad steps add up to a notch; at the top-left corner the corner stays put.
    const PanOffset atTwo{gState.channelPan[0][0], gState.channelPan[0][1]};
    wheel(0, 0, 60);
    EXPECT_EQ(zoom(), 2u);
    wheel(0, 0, 60);
    EXPECT_EQ(zoom(), 3u);
    EXPECT_EQ(gState.channelPan[0][0], atTwo.x);
    EXPECT_EQ(gState.channelPan[0][1], atTwo.y);
    // Out again, one notch a turn; at 1:1 the whole picture shows.
    wheel(0, 0, -240);
    EXPECT_EQ(zoom(), 2u);
    wheel(0, 0, -120);
    EXPECT_EQ(zoom(), 1u);
    EXPECT_EQ(gState.channelPan[0][0], 0);
    EXPECT_EQ(gState.channelPan[0][1], 0);
    // In at the bottom-right corner: that corner stays, and the view stays inside the picture.
    wheel(840, 626, 120);
    EXPECT_EQ(zoom(), 2u);
    EXPECT_NEAR(gState.channelPan[0][0], 360, 1);
    EXPECT_NEAR(gState.channelPan[0][1], 288, 1);
    EXPECT_LE(gState.channelPan[0][0], 360);
    EXPECT_LE(gState.channelPan[0][1], 288);
    EXPECT_TRUE(commands().empty()) << "zoom is the viewer's own state";
}

TEST(PanForZoom, KeepsThePointUnderThePointer) {
    // 720 x 576 shown in 720 x 576: one picture pixel a screen pixel at zoom 1.
    EXPECT_EQ(panForZoomAt({0, 0}, {360, 288}, 1, 2, 720, 576, 720, 576), (PanOffset{180, 144}));
    EXPECT_EQ(panForZoomAt({0, 0}, {0, 0}, 1, 4, 720, 576, 720, 576), (PanOffset{0, 0}));
    EXPECT_EQ(panForZoomAt({0, 0}, {720, 576}, 1, 4, 720, 576, 720, 576), (PanOffset{540, 432}));
    EXPECT_EQ(panForZoomAt({180, 144}, {360, 288}, 2, 1, 720, 576, 720, 576), (PanOffset{0, 0}));
    EXPECT_EQ(panForZoomAt({7, 9}, {5, 5}, 2, 3, 0, 0, 720, 576), (PanOffset{7, 9}))
        << "an empty cell changes nothing";
}

TEST_F(ShortcutTest, ThePicturesMenuOffersTheButtonsCommandsWithTheirKeys) {
    std::vector<MenuItem> menu = rightClick(0);
    for (uint32_t id :
         {ID_KEY_SNAPSHOT, ID_KEY_RECORD, ID_KEY_QUAD, ID_KEY_FULLSCREEN, ID_ZOOM_ONE}) {
        const MenuItem* item = entry(menu, id);
        ASSERT_NE(item, nullptr) << id;
        EXPECT_FALSE(item->enabled) << item->text << " before live view";
    }
    ASSERT_NE(entry(menu, ID_RECORDINGS), nullptr);
    EXPECT_TRUE(entry(menu, ID_RECORDINGS)->enabled) << "the recordings need no live view";

    goLive();
    menu = rightClick(ID_KEY_SNAPSHOT);
    EXPECT_EQ(entry(menu, ID_KEY_SNAPSHOT)->text, "Take snapshot\tS");
    EXPECT_EQ(entry(menu, ID_KEY_RECORD)->text, "Start recording\tR");
    EXPECT_EQ(entry(menu, ID_KEY_QUAD)->text, "Quad view\tQ");
    EXPECT_EQ(entry(menu, ID_KEY_FULLSCREEN)->text, "Full screen\tF11");
    EXPECT_TRUE(entry(menu, ID_KEY_SNAPSHOT)->enabled);
    EXPECT_FALSE(entry(menu, ID_ZOOM_ONE)->enabled) << "not zoomed";
    EXPECT_EQ(commands(), (std::vector<Command>{sent(ENG_SNAPSHOT)}));

    menu = rightClick(ID_KEY_RECORD);
    EXPECT_EQ(commands(), (std::vector<Command>{sent(ENG_RECORD_START)}));
    storeRelaxed(gState.recordingOn, 1);
    menu = rightClick(ID_KEY_RECORD);
    EXPECT_EQ(entry(menu, ID_KEY_RECORD)->text, "Stop recording\tR");
    EXPECT_EQ(commands(), (std::vector<Command>{sent(ENG_RECORD_STOP)}));

    // Zoom 1:1 is offered once zoomed, and goes back to the whole picture.
    key(VK_ADD);
    key(VK_ADD);
    storeRelaxed(gState.channelPan[0][0], 100);
    menu = rightClick(ID_ZOOM_ONE);
    EXPECT_TRUE(entry(menu, ID_ZOOM_ONE)->enabled);
    EXPECT_EQ(zoom(), 1u);
    EXPECT_EQ(gState.channelPan[0][0], 0);

    menu = rightClick(ID_KEY_FULLSCREEN);
    EXPECT_TRUE(main->fullScreen());
    menu = rightClick(ID_KEY_FULLSCREEN);
    EXPECT_EQ(entry(menu, ID_KEY_FULLSCREEN)->text, "Leave full screen\tEsc");
    EXPECT_FALSE(main->fullScreen());

    // "Recordings" opens the recordings window as the Function menu's entry and L do.
    menu = rightClick(ID_RECORDINGS);
    EXPECT_EQ(entry(menu, ID_RECORDINGS)->text, "Recordings\tL");
    EXPECT_EQ(recordingsCalls, std::vector<WindowHandle>{main->handle()});
    key(VK_L);
    EXPECT_EQ(recordingsCalls, (std::vector<WindowHandle>{main->handle(), main->handle()}));
}

}  // namespace
}  // namespace vidora::test
