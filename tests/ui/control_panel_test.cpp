// The control panel: what every button sends on the bus, and how the buttons follow the state
// that the engine reports.
#include <gtest/gtest.h>

#include <thread>

#include "app/message_box.h"
#include "app/settings.h"
#include "app/task_list.h"
#include "platform/relaxed.h"
#include "ui/ui_module.h"
#include "viewer_fixture.h"

namespace vidora::test {
namespace {

constexpr int32_t kChannel = CHANNEL_GROUP_ID;
constexpr int32_t kVolume = VOLUME_GROUP_ID;
constexpr int32_t kTool = TOOL_GROUP_ID;

class ControlPanelTest : public ViewerTest {
  protected:
    // Live view runs: the engine has reported it and every control is enabled.
    void goLive() {
        storeRelaxed(gState.liveViewOn, 1);
        notice(NTF_LIVE_STATE);
        commands();
    }
};

TEST_F(ControlPanelTest, StartsGreyedOutButTheRecordFolderAndWakesUpWithLiveView) {
    for (int c = 1; c <= 9; ++c)
        EXPECT_EQ(state(kChannel, c), STATE_DISABLED) << "channel control " << c;
    for (int c = 1; c <= 13; ++c)
        EXPECT_EQ(state(kTool, c), STATE_DISABLED) << "tool control " << c;
    EXPECT_NE(state(kTool, 14), STATE_DISABLED);
    EXPECT_EQ(state(kVolume, 1), STATE_DISABLED);
    EXPECT_EQ(state(kVolume, 2), STATE_DISABLED);
    // audioVolume 80 on a travel of 100 pixels.
    EXPECT_EQ(group(kVolume).control(2)->thumbPosition, 80);

    goLive();
    for (int c = 1; c <= 9; ++c)
        EXPECT_NE(state(kChannel, c), STATE_DISABLED) << "channel control " << c;
    for (int c = 1; c <= 14; ++c)
        EXPECT_NE(state(kTool, c), STATE_DISABLED) << "tool control " << c;
    EXPECT_NE(state(kVolume, 2), STATE_DISABLED);
    EXPECT_EQ(state(kChannel, 1), STATE_DOWN) << "the live channel's button";
    EXPECT_EQ(state(kChannel, 2), STATE_NORMAL);

    // Live view ends (the receiver went away): back to the start-up look.
    storeRelaxed(gState.liveViewOn, 0);
    storeRelaxed(gState.audioVolume, 30);
    notice(NTF_LIVE_STATE);
    EXPECT_EQ(state(kChannel, 1), STATE_DISABLED);
    EXPECT_EQ(state(kTool, 4), STATE_DISABLED);
    EXPECT_NE(state(kTool, 14), STATE_DISABLED);
    EXPECT_EQ(group(kVolume).control(2)->thumbPosition, 30);
    EXPECT_TRUE(commands().empty());
}

TEST_F(ControlPanelTest, ChannelButtonsSendTheirCommands) {
    goLive();
    click(kChannel, 3, STATE_HIGHLIGHTED);
    click(kChannel, 6, STATE_DOWN_HIGHLIGHTED);
    click(kChannel, 6, STATE_HIGHLIGHTED);
    click(kChannel, 8, STATE_DOWN);
    click(kChannel, 5, STATE_NORMAL);
    click(kChannel, 9, STATE_DOWN_HIGHLIGHTED);
    click(kChannel, 9, STATE_HIGHLIGHTED);
    click(kChannel, 10, STATE_HIGHLIGHTED);  // no such control: nothing
    EXPECT_EQ(commands(), (std::vector<Command>{
                              sent(ENG_CHANNEL_SELECT, 2),
                              sent(ENG_CHANNEL_DISABLE, 1),
                              sent(ENG_CHANNEL_ENABLE, 1),
                              sent(ENG_CHANNEL_DISABLE, 3),
                              sent(ENG_CHANNEL_ENABLE, 0),
                              sent(ENG_CYCLE_START),
                              sent(ENG_CYCLE_STOP),
                          }));

    // A real click on the CH2 button (34 x 28 at 44, 24 in the channel group).
    const WindowHandle g = group(kChannel).handle();
    host.mouse(g, WM_MOUSEMOVE, 60, 30);
    host.mouse(g, WM_LBUTTONDOWN, 60, 30, MK_LBUTTON);
    host.mouse(g, WM_LBUTTONUP, 60, 30);
    EXPECT_EQ(commands(), (std::vector<Command>{sent(ENG_CHANNEL_SELECT, 1)}));
}

TEST_F(ControlPanelTest, MuteSilencesAndRestoresTheTrackerVolume) {
    goLive();
    SkinGroupPanel& volume = group(kVolume);
    click(kVolume, 1, STATE_DOWN_HIGHLIGHTED);
    EXPECT_EQ(state(kVolume, 2), STATE_DISABLED);
    click(kVolume, 1, STATE_HIGHLIGHTED);
    EXPECT_NE(state(kVolume, 2), STATE_DISABLED);
    volume.setThumbPosition(2, 37);
    click(kVolume, 2, STATE_NORMAL);
    EXPECT_EQ(commands(), (std::vector<Command>{sent(ENG_SET_VOLUME, 0), sent(ENG_SET_VOLUME, 80),
                                                sent(ENG_SET_VOLUME, 37)}));
}

TEST_F(ControlPanelTest, ToolButtonsSendTheirCommands) {
    goLive();
    click(kTool, 1, STATE_HIGHLIGHTED);
    click(kTool, 3, STATE_HIGHLIGHTED);
    click(kTool, 4, STATE_DOWN_HIGHLIGHTED);
    click(kTool, 4, STATE_HIGHLIGHTED);
    EXPECT_EQ(commands(), (std::vector<Command>{sent(ENG_TOGGLE_QUAD), sent(ENG_SNAPSHOT),
                                                sent(ENG_RECORD_START), sent(ENG_RECORD_STOP)}));

    // Pause: everything but pause and the record folder goes grey until live view resumes.
    click(kTool, 2, STATE_DOWN_HIGHLIGHTED);
    EXPECT_EQ(commands(), (std::vector<Command>{sent(ENG_LIVE_PAUSE)}));
    for (int c = 1; c <= 14; ++c) {
        const bool stays = c == 2 || c == 14;
        EXPECT_EQ(state(kTool, c) == STATE_DISABLED, !stays) << "tool control " << c;
    }
    EXPECT_EQ(state(kTool, 2), STATE_DOWN_HIGHLIGHTED);
    for (int c = 1; c <= 9; ++c)
        EXPECT_EQ(state(kChannel, c), STATE_DISABLED);
    EXPECT_EQ(state(kVolume, 2), STATE_DISABLED);
    click(kTool, 2, STATE_HIGHLIGHTED);
    EXPECT_EQ(commands(), (std::vector<Command>{sent(ENG_LIVE_START)}));
    EXPECT_NE(state(kChannel, 2), STATE_DISABLED);
    EXPECT_NE(state(kVolume, 2), STATE_DISABLED);
    // The rest of the tool group waits for the engine's word that live view runs again.
    EXPECT_EQ(state(kTool, 3), STATE_DISABLED);
    notice(NTF_LIVE_STATE);
    EXPECT_NE(state(kTool, 3), STATE_DISABLED);

    click(kTool, 14, STATE_HIGHLIGHTED);
    EXPECT_EQ(exploredFolders, (std::vector<std::string>{"./RECORD"}));
    EXPECT_TRUE(commands().empty());
}

TEST_F(ControlPanelTest, WithNoProgramForFoldersFilesSaysWhereTheRecordFolderIs) {
    installWindowMessageBoxes({});
    noFolderProgram = true;
    // Files works before live view runs, too.
    click(kTool, 14, STATE_HIGHLIGHTED);
    ASSERT_EQ(host.messageBoxes().size(), 1u);
    const auto& shown = host.messageBoxes()[0];
    EXPECT_EQ(shown.owner, main->handle());
    EXPECT_EQ(shown.request.text,
              "The record folder is " + (folder.path() / "RECORD").string() +
                  "\n\nNo program to open folders was found. Install a file manager to open it "
                  "from here.");
    EXPECT_EQ(shown.request.caption, "Vidora");
    EXPECT_EQ(shown.request.type, MB_OK | MB_ICONINFORMATION);

    // Where a program opens the folder there is nothing to tell.
    noFolderProgram = false;
    click(kTool, 14, STATE_HIGHLIGHTED);
    EXPECT_EQ(host.messageBoxes().size(), 1u);
    EXPECT_EQ(exploredFolders, (std::vector<std::string>{"./RECORD", "./RECORD"}));
    EXPECT_TRUE(commands().empty());
    setMessageBoxPresenter({});
}

TEST_F(ControlPanelTest, ZoomStaysBetweenOneAndFour) {
    goLive();
    storeRelaxed(gState.currentChannel, 2);
    for (int i = 0; i < 5; ++i)
        click(kTool, 5, STATE_HIGHLIGHTED);
    EXPECT_EQ(gState.channelZoom[2], 4u);
    EXPECT_EQ(gState.channelZoom[0], 1u);
    click(kTool, 6, STATE_HIGHLIGHTED);
    EXPECT_EQ(gState.channelZoom[2], 3u);
    for (int i = 0; i < 5; ++i)
        click(kTool, 6, STATE_HIGHLIGHTED);
    EXPECT_EQ(gState.channelZoom[2], 1u);
    EXPECT_TRUE(commands().empty());
}

TEST_F(ControlPanelTest, AlarmSwitchesToggleAndEndTheIndicationUnlessTheOtherKindRaisesIt) {
    goLive();
    storeRelaxed(gState.lastAlarmTick, 5000);
    click(kTool, 8, STATE_DOWN_HIGHLIGHTED);
    EXPECT_EQ(gState.motionAlarmOn, 1);
    EXPECT_EQ(state(kTool, 8), STATE_DOWN_HIGHLIGHTED);
    EXPECT_EQ(gState.lastAlarmTick, 5000u);

    // Off while a sound alarm is active and its switch is on: the indication stays.
    storeRelaxed(gState.soundAlarmOn, 1);
    storeRelaxed(gState.soundAlarmActive, 1);
    click(kTool, 8, STATE_HIGHLIGHTED);
    EXPECT_EQ(gState.motionAlarmOn, 0);
    EXPECT_EQ(state(kTool, 8), STATE_HIGHLIGHTED);
    EXPECT_EQ(gState.lastAlarmTick, 5000u);

    // Sound off with no motion alarm raising it: the indication ends.
    click(kTool, 9, STATE_HIGHLIGHTED);
    EXPECT_EQ(gState.soundAlarmOn, 0);
    EXPECT_EQ(state(kTool, 9), STATE_HIGHLIGHTED);
    EXPECT_EQ(gState.lastAlarmTick, 0u);

    click(kTool, 10, STATE_DOWN_HIGHLIGHTED);
    EXPECT_EQ(gState.planTasksOn, 1);
    EXPECT_EQ(state(kTool, 10), STATE_DOWN_HIGHLIGHTED);
    click(kTool, 10, STATE_HIGHLIGHTED);
    EXPECT_EQ(gState.planTasksOn, 0);
    EXPECT_TRUE(commands().empty());
}

TEST_F(ControlPanelTest, SettingsButtonsOpenTheirPageOnlyWhileLiveViewRuns) {
    click(kTool, 11, STATE_HIGHLIGHTED);  // live view off
    storeRelaxed(gState.liveViewOn, 1);
    storeRelaxed(gState.livePaused, 1);
    click(kTool, 12, STATE_HIGHLIGHTED);  // paused
    click(kTool, 13, STATE_HIGHLIGHTED);
    EXPECT_TRUE(settingsCalls.empty());
    EXPECT_TRUE(commands().empty());

    storeRelaxed(gState.livePaused, 0);
    click(kTool, 11, STATE_HIGHLIGHTED);
    click(kTool, 12, STATE_HIGHLIGHTED);
    click(kTool, 13, STATE_HIGHLIGHTED);
    const WindowHandle owner = panel->handle();
    EXPECT_EQ(settingsCalls, (std::vector<SettingsCall>{{owner, 2}, {owner, 2}, {owner, 5}}));
    EXPECT_EQ(commands(),
              (std::vector<Command>{sent(ENG_SETTINGS_CHANGED), sent(ENG_SETTINGS_CHANGED),
                                    sent(ENG_SETTINGS_CHANGED)}));
}

TEST_F(ControlPanelTest, FullScreenButtonWorksOnlyWithLiveViewOnOrPaused) {
    click(kTool, 7, STATE_HIGHLIGHTED);
    EXPECT_FALSE(main->fullScreen());
    EXPECT_TRUE(commands().empty());
    storeRelaxed(gState.livePaused, 1);
    click(kTool, 7, STATE_HIGHLIGHTED);
    EXPECT_TRUE(main->fullScreen());
    const auto sentNow = commands();
    ASSERT_FALSE(sentNow.empty());
    EXPECT_EQ(sentNow.back(), sent(ENG_TOGGLE_FULLSCREEN_LAYOUT));
}

TEST_F(ControlPanelTest, StateRefreshFollowsChannelsRecordingAndSettings) {
    goLive();
    group(kChannel).control(7)->state = STATE_HIGHLIGHTED;  // the mouse rests on CH3's switch
    storeRelaxed(gState.channelEnabled[2], 0);
    storeRelaxed(gState.currentChannel, 1);
    storeRelaxed(gState.autoCycleOn, 1);
    storeRelaxed(gState.recordingOn, 1);
    storeRelaxed(gState.recordFolderHasFiles, 1);
    storeRelaxed(gState.quadLayout, 1);
    storeRelaxed(gState.motionAlarmOn, 1);
    gConfig.motionAlarmChannel[3] = 1;
    taskList().append(taskList().allocate());
    notice(NTF_CHANNEL_CHANGED);

    EXPECT_EQ(state(kChannel, 7), STATE_DOWN_HIGHLIGHTED) << "CH3 off, still highlighted";
    EXPECT_EQ(state(kChannel, 3), STATE_DISABLED) << "CH3 cannot be selected";
    EXPECT_EQ(state(kChannel, 5), STATE_NORMAL);
    EXPECT_EQ(state(kChannel, 1), STATE_NORMAL);
    EXPECT_EQ(state(kChannel, 2), STATE_DOWN) << "the current channel";
    EXPECT_EQ(state(kChannel, 4), STATE_NORMAL);
    EXPECT_EQ(state(kChannel, 9), STATE_DOWN) << "auto cycle";
    EXPECT_EQ(state(kTool, 4), STATE_DOWN) << "recording";
    EXPECT_EQ(appearance(kTool, 14), 1);
    EXPECT_EQ(appearance(kTool, 1), 1);
    EXPECT_EQ(appearance(kTool, 13), 1);
    EXPECT_EQ(appearance(kTool, 11), 1);
    EXPECT_EQ(appearance(kTool, 12), 0);
    EXPECT_EQ(state(kTool, 8), STATE_DOWN);
    EXPECT_EQ(state(kTool, 9), STATE_NORMAL);
    EXPECT_EQ(state(kTool, 10), STATE_NORMAL);

    // CH3 on again; recording stopped and the folder emptied.
    storeRelaxed(gState.channelEnabled[2], 1);
    storeRelaxed(gState.recordingOn, 0);
    storeRelaxed(gState.recordFolderHasFiles, 0);
    notice(NTF_RECORD_STATE);
    EXPECT_EQ(state(kChannel, 7), STATE_HIGHLIGHTED);
    EXPECT_EQ(state(kChannel, 3), STATE_NORMAL);
    EXPECT_EQ(state(kTool, 4), STATE_NORMAL);
    EXPECT_EQ(appearance(kTool, 14), 0);

    // A disabled switch leaves its channel's buttons alone; so does a paused view the alarm
    // switches.
    group(kChannel).disableAll();
    storeRelaxed(gState.channelEnabled[0], 0);
    storeRelaxed(gState.livePaused, 1);
    storeRelaxed(gState.motionAlarmOn, 0);
    notice(NTF_CHANNEL_CHANGED);
    EXPECT_EQ(state(kChannel, 5), STATE_DISABLED);
    EXPECT_EQ(state(kChannel, 1), STATE_DISABLED);
    EXPECT_EQ(state(kTool, 8), STATE_DOWN);
    EXPECT_TRUE(commands().empty());
}

TEST_F(ControlPanelTest, NoticesFromOtherThreadsArePickedUpByTheMessageLoop) {
    goLive();
    storeRelaxed(gState.recordingOn, 1);
    std::thread worker([] { sendMessage(NTF_RECORD_STATE); });
    worker.join();
    EXPECT_EQ(state(kTool, 4), STATE_NORMAL) << "nothing happens on the worker's thread";
    EXPECT_EQ(host.dispatchPosted(), 1);
    EXPECT_EQ(state(kTool, 4), STATE_DOWN);
}

TEST_F(ControlPanelTest, TheToolGroupReachesThePanelsBottom) {
    const Rect panelRect = host.windowRect(panel->handle());
    EXPECT_EQ(panelRect, Rect::fromSize(1030 - kRightBorder - 160, kMonitorY, 160, 725 - 98));
    const Rect tool = host.windowRect(group(kTool).handle());
    EXPECT_EQ(tool.top, 158);
    EXPECT_EQ(tool.bottom, panelRect.height() + 1);
    // The window grows: so does the tool group.
    host.moveWindow(main->handle(), Rect::fromSize(0, 0, 1200, 900), true);
    EXPECT_EQ(host.windowRect(group(kTool).handle()).bottom, 900 - 2 * kMonitorY + 1);
}

}  // namespace
}  // namespace vidora::test
