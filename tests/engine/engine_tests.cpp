// The engine module on the bus over a fake receiver: channel switching, live view, recording,
// volume, settings changes, unplug and reconnection, layouts, and the auto-cycle.
#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "app/bus.h"
#include "app/message_box.h"
#include "app/messages.h"
#include "app/preference_keys.h"
#include "app/settings.h"
#include "engine/engine_module.h"
#include "engine/osd.h"
#include "engine/status_board.h"
#include "engine/timer_state.h"
#include "platform/clock.h"
#include "platform/relaxed.h"
#include "tests/engine/fakes.h"
#include "tests/support/notice_counter.h"

namespace vidora {
namespace {

using test::Block;
using test::block;

static_assert(volumeToHundredthsDb(0) == -10000);
static_assert(volumeToHundredthsDb(50) == -2500);
static_assert(volumeToHundredthsDb(100) == 0);

Block high(int bit) {
    return block({0x40, 0x03, 0x02, 0x01, static_cast<uint8_t>(bit), 0, 0, 0});
}
Block low(int bit) {
    return block({0x40, 0x03, 0x03, 0x01, static_cast<uint8_t>(bit), 0, 0, 0});
}

class EngineTest : public ::testing::Test {
  protected:
    void SetUp() override {
        applyDefaultSettings();
        resetTimerState();
        setVideoWindow(&window);
    }
    void TearDown() override {
        module.reset();
        setVideoWindow(nullptr);
    }

    void create() {
        EngineServices services;
        services.backend = std::make_unique<test::FakeBackend>(receiver);
        services.soundPlayer = std::make_unique<test::FakeSoundPlayer>(soundLog);
        services.recording = std::make_unique<test::SpyRecordingPort>(recordingLog);
        services.notify = [this](int32_t id) {
            std::lock_guard lock(mutex);
            notices.push_back(id);
        };
        services.messageBox = [this](const std::string& text, const std::string& caption,
                                     uint32_t) {
            {
                std::lock_guard lock(mutex);
                messages.emplace_back(text, caption);
            }
            if (duringMessage)
                duringMessage();
            return 1;
        };
        services.clock = &clock;
        services.folderWatchers = false;
        module = std::make_unique<EngineModule>(kEngineModuleNumber, std::move(services));
        module->engine().videoTransfer().setPacing(std::chrono::microseconds(0));
    }
    void start() {
        create();
        ASSERT_EQ(module->start().reason(), "");
    }
    CaptureEngine& engine() { return module->engine(); }
    int32_t send(int32_t id, int32_t value = 0) {
        BusMessage message{id, value, 0};
        return module->handleSend(message);
    }
    void post(int32_t id, int32_t value = 0) {
        module->handlePost(std::make_unique<BusMessage>(BusMessage{id, value, 0}));
    }
    int noticeCount(int32_t id) {
        std::lock_guard lock(mutex);
        return static_cast<int>(std::count(notices.begin(), notices.end(), id));
    }
    std::vector<std::pair<std::string, std::string>> shownMessages() {
        std::lock_guard lock(mutex);
        return messages;
    }
    // Status reads the alarm polls have made so far.
    size_t statusReads() {
        const auto commands = receiver->commandsCopy();
        return static_cast<size_t>(std::count_if(
            commands.begin(), commands.end(), [](const test::Block& b) { return b[0] == 0xC0; }));
    }
    std::string graphState() {
        std::lock_guard lock(receiver->mutex);
        return receiver->state;
    }
    void feedPicture(uint8_t seed) {
        auto picture = test::patternPicture(720, 576, seed);
        engine().videoTransfer().renderVideo(picture.data(), picture.size());
    }

    std::shared_ptr<test::FakeReceiver> receiver = std::make_shared<test::FakeReceiver>();
    std::shared_ptr<test::SoundLog> soundLog = std::make_shared<test::SoundLog>();
    std::shared_ptr<test::RecordingLog> recordingLog = std::make_shared<test::RecordingLog>();
    test::FakeVideoWindow window;
    ManualClock clock;
    std::mutex mutex;
    std::vector<int32_t> notices;
    std::vector<std::pair<std::string, std::string>> messages;
    // What the event loop of a shown message box delivers meanwhile (UI thread).
    std::function<void()> duringMessage;
    std::unique_ptr<EngineModule> module;
};

TEST_F(EngineTest, StartBuildsRunsAndSendsTheSavedChannelToTheReceiver) {
    gState.currentChannel = 3;
    gState.audioVolume = 50;
    start();
    EXPECT_TRUE(engine().graphBuilt());
    EXPECT_EQ(graphState(), "running");
    EXPECT_EQ(gState.liveViewOn, 1);
    EXPECT_EQ(noticeCount(NTF_LIVE_STATE), 1);
    // The force-reselect flag sends the unchanged channel once.
    EXPECT_EQ(receiver->commandsCopy(), (std::vector<Block>{high(1), low(1)}));
    EXPECT_EQ(noticeCount(NTF_CHANNEL_CHANGED), 1);
    EXPECT_EQ(receiver->volumes, std::vector<int32_t>{-2500});
    EXPECT_TRUE(engine().alarmThreadsAlive());
    EXPECT_EQ(engine().layoutMode(), LayoutMode::Single);
    // The receiver's adjustment ranges reach the settings (sharpness default forced to 0); the
    // stored first values (2119, 4667, 3765) lie outside this device's ranges and become its
    // defaults, applied and stored; the sharpness of 0 fits and stays.
    EXPECT_EQ(gConfig.adjustMin[0], -100);
    EXPECT_EQ(gConfig.adjustMax[3], 400);
    EXPECT_EQ(gConfig.adjustDefault[1], 0);
    EXPECT_EQ(gConfig.adjustDefault[2], 30);
    EXPECT_EQ(receiver->adjustments,
              (std::vector<std::pair<int, int32_t>>{{1, 10}, {2, 0}, {3, 30}, {4, 40}}));
    EXPECT_EQ(gConfig.brightness, 10);
    EXPECT_EQ(gConfig.sharpness, 0);
    EXPECT_EQ(gConfig.contrast, 30);
    EXPECT_EQ(gConfig.saturation, 40);
    EXPECT_EQ(recordingLog->count("attach"), 1);
    EXPECT_TRUE(receiver->eventNotifySet);
    EXPECT_TRUE(shownMessages().empty());
}

TEST_F(EngineTest, StoredAdjustmentsWithinTheDevicesRangeAreKept) {
    gConfig.brightness = -50;   // range -100..100
    gConfig.sharpness = 200;    // range -200..200, at its edge
    gConfig.contrast = 300;     // range -300..300, at its edge
    gConfig.saturation = -401;  // range -400..400, just outside
    start();
    EXPECT_EQ(receiver->adjustments,
              (std::vector<std::pair<int, int32_t>>{{1, -50}, {2, 200}, {3, 300}, {4, 40}}));
    EXPECT_EQ(gConfig.brightness, -50);
    EXPECT_EQ(gConfig.saturation, 40);
}

TEST_F(EngineTest, SelectingAChannelSendsItsBitsAndFreezesTheLeftChannel) {
    start();
    feedPicture(1);
    receiver->clearCommands();
    storeRelaxed(gState.motionAlarmActive, 1);
    gTimer.alarmCaptureLeftMs = 3000;
    gTimer.alarmRecordLeftMs = 3000;
    const int64_t before = clock.elapsedMs();

    EXPECT_EQ(send(ENG_CHANNEL_SELECT, 2), 0);
    EXPECT_EQ(receiver->commandsCopy(), (std::vector<Block>{high(1), low(0)}));
    EXPECT_EQ(gState.currentChannel, 2);
    EXPECT_EQ(engine().currentChannel(), 2);
    EXPECT_EQ(loadRelaxed(gState.motionAlarmActive), 0);
    EXPECT_EQ(gTimer.alarmCaptureLeftMs, 0);
    EXPECT_EQ(gTimer.alarmRecordLeftMs, 0);
    EXPECT_EQ(noticeCount(NTF_CHANNEL_CHANGED), 2);
    EXPECT_EQ(clock.elapsedMs() - before, 300);  // settle 200 ms, then 100 ms after the notice

    engine().withDisplay([&](const DisplayView& view) {
        ASSERT_NE(view.frozen[0], nullptr);
        EXPECT_EQ(view.frozen[0]->width(), 360);
        EXPECT_EQ(view.frozen[0]->height(), 288);
        // The frozen picture is the live picture of channel 0, not black.
        EXPECT_TRUE(std::any_of(view.frozen[0]->pixels(),
                                view.frozen[0]->pixels() + view.frozen[0]->pixelBytes(),
                                [](uint8_t b) { return b != 0; }));
        EXPECT_EQ(view.frozenTime[0].year, 2026);
        EXPECT_EQ(view.frozenTime[2].year, 0);  // never left yet
        EXPECT_EQ(view.currentChannel, 2);
    });
}

TEST_F(EngineTest, AFailedSelectLeavesTheChannelAndItsLabelAsTheyWere) {
    start();
    receiver->clearCommands();
    {
        std::lock_guard lock(receiver->mutex);
        receiver->vendorResult = -1;
    }
    EXPECT_EQ(send(ENG_CHANNEL_SELECT, 2), 0);
    EXPECT_EQ(receiver->commandsCopy(), (std::vector<Block>{high(1), low(0)}));
    EXPECT_EQ(gState.currentChannel, 0);
    EXPECT_EQ(engine().currentChannel(), 0);
    EXPECT_EQ(noticeCount(NTF_CHANNEL_CHANGED), 1) << "only the start's own selection";
    engine().withDisplay([&](const DisplayView& view) {
        EXPECT_EQ(view.currentChannel, 0);
        EXPECT_EQ(channelLabel(view.currentChannel), "CH1");
    });
    // An ordinary failure is not a permission problem: nothing to tell the user.
    EXPECT_TRUE(shownMessages().empty());

    {
        std::lock_guard lock(receiver->mutex);
        receiver->vendorResult = 0;
    }
    receiver->clearCommands();
    EXPECT_EQ(send(ENG_CHANNEL_SELECT, 2), 0);
    EXPECT_EQ(gState.currentChannel, 2);
    EXPECT_EQ(receiver->commandsCopy(), (std::vector<Block>{high(1), low(0)}));
}

TEST_F(EngineTest, WithoutPermissionTheUserIsToldOnceAndNoChannelIsMislabelled) {
    receiver->vendorResult = media::kVendorNoPermission;
    gState.currentChannel = 1;
    start();
    EXPECT_EQ(gState.currentChannel, 1) << "the start's selection failed; the channel stays";
    const std::vector<std::pair<std::string, std::string>> once{{kNoReceiverPermissionText, ""}};
    EXPECT_EQ(shownMessages(), once);

    for (int channel : {2, 3, 0}) {
        EXPECT_EQ(send(ENG_CHANNEL_SELECT, channel), 0);
        EXPECT_EQ(gState.currentChannel, 1);
        EXPECT_EQ(engine().currentChannel(), 1);
    }
    send(ENG_CHANNEL_NEXT);
    EXPECT_EQ(gState.currentChannel, 1);
    // The alarm poll meets the same refusal and says nothing more.
    storeRelaxed(gState.motionAlarmOn, 1);
    storeRelaxed(gConfig.motionAlarmChannel[1], 1);
    engine().alarmPoll().tick();
    EXPECT_EQ(loadRelaxed(gState.motionAlarmActive), 0);
    EXPECT_EQ(shownMessages(), once);
    EXPECT_NE(std::string(kNoReceiverPermissionText).find("70-halcap.rules"), std::string::npos);
}

TEST(MatchReceivers, TheChosenNodeWinsOverTheNameWhenItIsThere) {
    const std::vector<media::DeviceInfo> seen{{"Integrated Camera", "/dev/video0"},
                                              {"USB2.0 Capture", "/dev/video2"},
                                              {media::kReceiverName, "/dev/video4"}};
    auto paths = [](const std::vector<media::DeviceInfo>& devices) {
        std::vector<std::string> p;
        for (const auto& d : devices)
            p.push_back(d.path);
        return p;
    };
    EXPECT_EQ(paths(matchReceivers(seen, "")), std::vector<std::string>{"/dev/video4"});
    EXPECT_EQ(paths(matchReceivers(seen, "/dev/video2")), std::vector<std::string>{"/dev/video2"});
    // Chosen but gone: the name match still finds a receiver.
    EXPECT_EQ(paths(matchReceivers(seen, "/dev/video9")), std::vector<std::string>{"/dev/video4"});
    EXPECT_TRUE(matchReceivers({seen[0], seen[1]}, "").empty());
    // Two providers offering the same node under different names.
    const std::vector<media::DeviceInfo> twice{{"USB2.0 Capture", "/dev/video2"},
                                               {"USB2.0 Capture: uvc", "/dev/video2"}};
    EXPECT_EQ(matchReceivers(twice, "/dev/video2").size(), 2u);
}

TEST_F(EngineTest, AReceiverWithAnotherNameIsUsedOnceChosenAndOtherwiseNotFound) {
    receiver->devices = {{"USB2.0 Capture", "/dev/fake2"}};
    start();
    EXPECT_FALSE(engine().graphBuilt());
    EXPECT_EQ(shownMessages(),
              (std::vector<std::pair<std::string, std::string>>{{kNoReceiverText, ""}}));
    ASSERT_EQ(engine().seenDevices().size(), 1u);
    EXPECT_EQ(engine().seenDevices()[0].path, "/dev/fake2");

    // A confirmed dialog that changes nothing about the receiver tries nothing.
    preferences().changed();
    EXPECT_EQ(window.arrivals.load(), 0);
    // Choosing it is tried at once, as an arrival is; its connect finds it.
    preferences().set(kReceiverDevice, "/dev/fake2");
    preferences().changed();
    EXPECT_EQ(window.arrivals.load(), 1);
    engine().connect();
    preferences().set(kReceiverDevice, "");
    EXPECT_TRUE(engine().graphBuilt());
    // Connected: another choice waits for the next connect.
    preferences().changed();
    EXPECT_EQ(window.arrivals.load(), 1);
    EXPECT_EQ(graphState(), "running");
    EXPECT_EQ(shownMessages().size(), 1u);
}

TEST_F(EngineTest, NextSkipsDisabledChannelsAndDoesNothingWithOneEnabled) {
    start();
    for (int ch : {1, 2, 3})
        send(ENG_CHANNEL_DISABLE, ch);
    EXPECT_EQ(gState.channelEnabled[2], 0);
    receiver->clearCommands();
    post(ENG_CHANNEL_NEXT);
    EXPECT_TRUE(receiver->commandsCopy().empty());
    EXPECT_EQ(gState.currentChannel, 0);
    EXPECT_EQ(noticeCount(NTF_CHANNEL_CHANGED), 1);

    // Disabled in the module's own copy: selecting by number does nothing either.
    send(ENG_CHANNEL_SELECT, 2);
    EXPECT_TRUE(receiver->commandsCopy().empty());

    send(ENG_CHANNEL_ENABLE, 3);
    post(ENG_CHANNEL_NEXT);
    EXPECT_EQ(gState.currentChannel, 3);
    post(ENG_CHANNEL_NEXT);  // 3 wraps to 0
    EXPECT_EQ(gState.currentChannel, 0);
    EXPECT_EQ(receiver->commandsCopy(), (std::vector<Block>{high(1), low(1), high(0), low(0)}));
}

TEST_F(EngineTest, ChannelsDisabledBeforeTheLastExitStayDisabledForSelection) {
    gState.channelEnabled[1] = 0;
    start();
    receiver->clearCommands();
    send(ENG_CHANNEL_SELECT, 1);
    EXPECT_TRUE(receiver->commandsCopy().empty());
    send(ENG_CHANNEL_SELECT, 7);  // out of range: ignored
    EXPECT_TRUE(receiver->commandsCopy().empty());
}

TEST_F(EngineTest, ReselectingTheCurrentChannelDoesNothing) {
    start();
    receiver->clearCommands();
    send(ENG_CHANNEL_SELECT, 0);
    EXPECT_TRUE(receiver->commandsCopy().empty());
    EXPECT_EQ(noticeCount(NTF_CHANNEL_CHANGED), 1);  // only the one of live start
}

TEST_F(EngineTest, ClickSelectsTheEnabledChannelUnderThePoint) {
    gState.quadLayout = 1;
    start();
    EXPECT_EQ(engine().layoutMode(), LayoutMode::Quad);
    post(ENG_CLICK_SELECT, packPoint(400, 300));
    EXPECT_EQ(gState.currentChannel, 3);
    EXPECT_EQ(engine().videoTransfer().liveCell(), (VideoRect{353, 289, 351, 287}));
    post(ENG_CLICK_SELECT, packPoint(352, 10));  // separator bar
    EXPECT_EQ(gState.currentChannel, 3);
    send(ENG_CHANNEL_DISABLE, 1);
    post(ENG_CLICK_SELECT, packPoint(600, 10));  // disabled channel 1
    EXPECT_EQ(gState.currentChannel, 3);
    post(ENG_CLICK_SELECT, packPoint(10, 10));
    EXPECT_EQ(gState.currentChannel, 0);

    // Single layout: only the current channel's cell can be hit.
    send(ENG_TOGGLE_QUAD);
    EXPECT_EQ(engine().layoutMode(), LayoutMode::Single);
    EXPECT_EQ(gState.quadLayout, 0);
    receiver->clearCommands();
    post(ENG_CLICK_SELECT, packPoint(600, 500));
    EXPECT_EQ(gState.currentChannel, 0);
    EXPECT_TRUE(receiver->commandsCopy().empty());
}

TEST_F(EngineTest, PauseResumeAndStop) {
    start();
    send(ENG_LIVE_PAUSE);
    EXPECT_EQ(graphState(), "paused");
    EXPECT_EQ(gState.livePaused, 1);
    EXPECT_EQ(gState.liveViewOn, 1);
    EXPECT_TRUE(engine().alarmThreadsAlive());  // the workers idle while paused

    // Nothing that needs a running picture happens while paused.
    receiver->clearCommands();
    send(ENG_CHANNEL_SELECT, 1);
    EXPECT_EQ(send(ENG_RECORD_START), -1);
    send(ENG_SET_VOLUME, 10);
    EXPECT_TRUE(receiver->commandsCopy().empty());
    EXPECT_EQ(noticeCount(NTF_RECORD_STATE), 0);
    EXPECT_EQ(recordingLog->count("start"), 0);
    EXPECT_EQ(receiver->volumes.size(), 1u);

    // Resuming neither restarts the workers nor resends the channel.
    EXPECT_EQ(send(ENG_LIVE_START), 0);
    EXPECT_EQ(graphState(), "running");
    EXPECT_EQ(gState.livePaused, 0);
    EXPECT_TRUE(receiver->commandsCopy().empty());
    EXPECT_EQ(recordingLog->count("attach"), 1);
    EXPECT_EQ(noticeCount(NTF_LIVE_STATE), 2);

    // Stopping: each select thread sends its request once more, and every worker ends.
    module->stop();
    EXPECT_EQ(receiver->commandsCopy(), (std::vector<Block>{high(0), low(0)}));
    EXPECT_FALSE(engine().alarmThreadsAlive());
    EXPECT_EQ(gState.liveViewOn, 0);
    EXPECT_EQ(noticeCount(NTF_LIVE_STATE), 3);
    EXPECT_FALSE(engine().graphBuilt());
    EXPECT_EQ(recordingLog->count("detach"), 1);
    EXPECT_EQ(receiver->graphsAlive, 0);
    EXPECT_EQ(send(ENG_LIVE_START), -1);  // no graph
}

TEST_F(EngineTest, RecordingStartStopAndRefusal) {
    start();
    gConfig.recordFileMB = 3;
    EXPECT_EQ(send(ENG_RECORD_START), 0);
    EXPECT_EQ(gState.recordingOn, 1);
    EXPECT_EQ(noticeCount(NTF_RECORD_STATE), 1);
    EXPECT_EQ(recordingLog->maxFileBytes, 3u * 1048576);
    EXPECT_EQ(recordingLog->folder, "./RECORD");
    EXPECT_EQ(send(ENG_RECORD_START), -1);  // already recording: nothing, no notice
    EXPECT_EQ(noticeCount(NTF_RECORD_STATE), 1);

    // While recording, each picture goes to the recording port in the record size.
    feedPicture(3);
    EXPECT_EQ(recordingLog->pictures.load(), 1);
    EXPECT_EQ(recordingLog->lastPictureLength.load(), 360u * 288 * 2);

    send(ENG_RECORD_STOP);
    EXPECT_EQ(gState.recordingOn, 0);
    EXPECT_EQ(noticeCount(NTF_RECORD_STATE), 2);
    send(ENG_RECORD_STOP);
    EXPECT_EQ(noticeCount(NTF_RECORD_STATE), 2);

    // A refusing writer leaves recording off and still tells the UI.
    recordingLog->startResult = Failure{"the writer refused"};
    EXPECT_EQ(send(ENG_RECORD_START), -1);
    EXPECT_EQ(gState.recordingOn, 0);
    EXPECT_EQ(noticeCount(NTF_RECORD_STATE), 3);

    // Pausing stops a running recording.
    recordingLog->startResult = Result::success();
    send(ENG_RECORD_START);
    send(ENG_LIVE_PAUSE);
    EXPECT_EQ(gState.recordingOn, 0);
    EXPECT_EQ(recordingLog->count("stop"), 2);
}

TEST_F(EngineTest, SwitchingEndsAlarmRecordingsAndTasksOfOtherChannels) {
    start();
    send(ENG_RECORD_START);
    gTimer.alarmRecording = 1;
    gTimer.captureTaskChannel = 0;
    gTimer.captureTaskLeftMs = 1000;
    gTimer.recordTaskChannel = 4;  // whichever is live: survives
    gTimer.recordTaskLeftMs = 1000;
    send(ENG_CHANNEL_SELECT, 1);
    EXPECT_EQ(gTimer.alarmRecording, 0);
    EXPECT_EQ(gState.recordingOn, 0);
    EXPECT_EQ(gTimer.captureTaskChannel, -1);
    EXPECT_EQ(gTimer.captureTaskLeftMs, 0);
    EXPECT_EQ(gTimer.recordTaskChannel, 4);
    EXPECT_EQ(gTimer.recordTaskLeftMs, 1000);

    // A task recording bound to another channel ends with the switch.
    send(ENG_RECORD_START);
    gTimer.taskRecording = 1;
    gTimer.recordTaskChannel = 1;
    send(ENG_CHANNEL_SELECT, 2);
    EXPECT_EQ(gState.recordingOn, 0);
    EXPECT_EQ(gTimer.taskRecording, 0);
    EXPECT_EQ(gTimer.recordTaskChannel, -1);

    // An alarm recording during a task recording only loses its alarm mark.
    send(ENG_RECORD_START);
    gTimer.taskRecording = 1;
    gTimer.alarmRecording = 1;
    gTimer.recordTaskChannel = 4;
    send(ENG_CHANNEL_SELECT, 3);
    EXPECT_EQ(gState.recordingOn, 1);
    EXPECT_EQ(gTimer.alarmRecording, 0);
    EXPECT_EQ(gTimer.taskRecording, 1);
}

TEST_F(EngineTest, VolumeFollowsTheCurveOnlyWhileLive) {
    start();
    for (int v : {0, 50, 100, 130})
        send(ENG_SET_VOLUME, v);
    EXPECT_EQ(receiver->volumes, (std::vector<int32_t>{-400, -10000, -2500, 0, 0}));
    EXPECT_EQ(gState.audioVolume, 100);  // 130 is taken as 100
    module->stop();
    send(ENG_SET_VOLUME, 20);
    EXPECT_EQ(gState.audioVolume, 100);
}

TEST_F(EngineTest, AlarmSoundEndsWhenItIsSwitchedOffAndWhenLiveViewStops) {
    gState.motionAlarmOn = 1;
    gConfig.motionAlarmChannel[0] = 1;
    receiver->status = 0x20;  // motion, for as long as the test runs
    start();
    ASSERT_TRUE(test::waitFor([&] { return engine().alarmSoundPlaying(); }));

    // Turned off in the settings: it stops, and the polls that still see the alarm leave it off.
    gConfig.alarmSound = 0;
    send(ENG_SETTINGS_CHANGED);
    EXPECT_FALSE(engine().alarmSoundPlaying());
    // Three more reads: the poll that read before the switch and the one after it have ended.
    const size_t polled = statusReads();
    ASSERT_TRUE(test::waitFor([&] { return statusReads() >= polled + 3; }));
    EXPECT_FALSE(engine().alarmSoundPlaying());

    gConfig.alarmSound = 1;
    ASSERT_TRUE(test::waitFor([&] { return engine().alarmSoundPlaying(); }));
    module->stop();
    EXPECT_FALSE(engine().alarmSoundPlaying());
    std::lock_guard lock(soundLog->mutex);
    EXPECT_EQ(soundLog->plays, 2);
    EXPECT_FALSE(soundLog->playing);
}

TEST_F(EngineTest, OnlyANewVideoStandardRebuildsTheGraph) {
    start();
    send(ENG_CYCLE_START);
    ASSERT_TRUE(engine().autoCycleAlive());
    gConfig.motionAlarmChannel[2] = 1;
    gConfig.alarmSound = 0;
    send(ENG_SETTINGS_CHANGED);
    EXPECT_EQ(receiver->graphsCreated, 1);
    EXPECT_EQ(gTimer.forceDayListRebuild, 1);
    EXPECT_EQ(noticeCount(NTF_RECORD_STATE), 1);

    gConfig.videoStandard = 2;
    send(ENG_SETTINGS_CHANGED);
    EXPECT_EQ(receiver->graphsCreated, 2);
    EXPECT_EQ(receiver->graphsAlive, 1);
    EXPECT_EQ(receiver->lastStandard, 2);
    EXPECT_EQ(engine().standardInEffect(), 2);
    EXPECT_EQ(gState.videoHeight, 480);
    EXPECT_EQ(graphState(), "running");
    EXPECT_TRUE(engine().autoCycleAlive());  // it ran before, so it runs again
    EXPECT_TRUE(shownMessages().empty());
}

TEST_F(EngineTest, RecordSettingsChangePassesTheFormatsAgainAndRestartsARecording) {
    start();
    send(ENG_RECORD_START);
    const std::size_t formatsBefore = recordingLog->videoFormats.size();
    send(ENG_SETTINGS_CHANGED);  // nothing record-related changed
    EXPECT_EQ(recordingLog->videoFormats.size(), formatsBefore);
    gConfig.recordImageSize = 1;
    send(ENG_SETTINGS_CHANGED);
    EXPECT_EQ(recordingLog->videoFormats.size(), formatsBefore + 1);
    EXPECT_EQ(recordingLog->videoFormats.back().second, 1);
    EXPECT_EQ(recordingLog->count("stop"), 1);
    EXPECT_EQ(recordingLog->count("start"), 2);
    EXPECT_EQ(gState.recordingOn, 1);
}

TEST_F(EngineTest, ArrivalsDeliveredWhileAFailedBuildIsReportedConnectAgain) {
    using Messages = std::vector<std::pair<std::string, std::string>>;
    receiver->buildResult = media::BuildResult::BindFailed;
    start();
    ASSERT_EQ(shownMessages(), (Messages{{kBindFailedText, "error"}}));
    // The message box's event loop delivers two arrival notices, each connecting again on this
    // thread; by the second one the device can be bound.
    int arrivals = 0;
    duringMessage = [&] {
        if (arrivals == 2)
            return;
        if (++arrivals == 2) {
            std::lock_guard lock(receiver->mutex);
            receiver->buildResult = media::BuildResult::Ok;
        }
        send(ENG_CONNECT);
    };
    send(ENG_CONNECT);
    EXPECT_EQ(arrivals, 2);
    EXPECT_EQ(shownMessages(), (Messages{{kBindFailedText, "error"},
                                         {kBindFailedText, "error"},
                                         {kBindFailedText, "error"}}));
    EXPECT_TRUE(engine().graphBuilt());
    EXPECT_EQ(graphState(), "running");
    EXPECT_EQ(receiver->graphsAlive, 1);
}

TEST_F(EngineTest, UnplugShowsTheMessageAndConnectRebuildsWithoutTheAutoCycle) {
    start();
    send(ENG_CYCLE_START);
    ASSERT_TRUE(engine().autoCycleAlive());

    // A device-lost event for another device is ignored.
    receiver->events.push_back({media::kEventDeviceLost, true, false});
    send(ENG_GRAPH_EVENT);
    EXPECT_TRUE(engine().graphBuilt());

    receiver->events.push_back({media::kEventDeviceLost, true, true});
    receiver->events.push_back({media::kEventComplete, false, false});
    send(ENG_GRAPH_EVENT);
    EXPECT_EQ(shownMessages(),
              (std::vector<std::pair<std::string, std::string>>{
                  {"USB Receiver was unpluged from your computer,please reconnect it.", ""}}));
    EXPECT_FALSE(engine().graphBuilt());
    EXPECT_EQ(receiver->graphsAlive, 0);
    EXPECT_EQ(gState.liveViewOn, 0);
    EXPECT_FALSE(engine().autoCycleAlive());
    EXPECT_FALSE(engine().alarmThreadsAlive());
    EXPECT_EQ(gState.autoCycleOn, 1);

    // The device arrival makes the UI send ENG_CONNECT.
    ASSERT_TRUE(receiver->arrivalNotify);
    receiver->arrivalNotify();
    EXPECT_EQ(window.arrivals.load(), 1);
    send(ENG_CONNECT);
    EXPECT_TRUE(engine().graphBuilt());
    EXPECT_EQ(graphState(), "running");
    EXPECT_EQ(gState.liveViewOn, 1);
    EXPECT_FALSE(engine().autoCycleAlive());
    send(ENG_CONNECT);  // already built: nothing
    EXPECT_EQ(receiver->graphsCreated, 2);
}

TEST_F(EngineTest, UnusablePictureFormatsAreToldOnceByNameAndNeverAsAnUnplug) {
    using Messages = std::vector<std::pair<std::string, std::string>>;
    const std::string h264AndBayer =
        "The receiver's video cannot be shown: it offers only H.264, Bayer. Vidora shows raw "
        "video (such as YUY2 or UYVY) and MJPEG.";
    receiver->buildResult = media::BuildResult::FormatUnusable;
    receiver->offeredFormats = "H.264, Bayer";
    start();
    EXPECT_EQ(shownMessages(), (Messages{{h264AndBayer, "error"}}));
    EXPECT_FALSE(engine().graphBuilt());
    EXPECT_EQ(statusBoard().link(), ReceiverLink::NotFound);

    // Arrivals (of this or another device) connect again: the same device with the same
    // formats is not announced again; other formats are.
    send(ENG_CONNECT);
    send(ENG_CONNECT);
    EXPECT_EQ(shownMessages().size(), 1u);
    receiver->offeredFormats = "";
    send(ENG_CONNECT);
    EXPECT_EQ(shownMessages().back(),
              std::make_pair(std::string("The receiver's video cannot be shown: it offers no "
                                         "picture format. Vidora shows raw video (such as YUY2 "
                                         "or UYVY) and MJPEG."),
                             std::string("error")));

    // A device that accepts the build but refuses its format once playing: the graph goes,
    // with the format message instead of the unplug one.
    receiver->buildResult = media::BuildResult::Ok;
    receiver->offeredFormats = "raw video in YUY2";
    send(ENG_CONNECT);
    ASSERT_TRUE(engine().graphBuilt());
    ASSERT_EQ(graphState(), "running");
    receiver->events.push_back({media::kEventFormatRejected, false, false});
    receiver->events.push_back({media::kEventErrorAbort, false, false});
    send(ENG_GRAPH_EVENT);
    EXPECT_EQ(shownMessages().size(), 3u);
    EXPECT_EQ(shownMessages().back().first, formatUnusableText("raw video in YUY2"));
    EXPECT_NE(shownMessages().back().first.find("it offers only raw video in YUY2."),
              std::string::npos);
    EXPECT_FALSE(engine().graphBuilt());
    EXPECT_EQ(receiver->graphsAlive, 0);
    EXPECT_EQ(gState.liveViewOn, 0);
    EXPECT_EQ(statusBoard().link(), ReceiverLink::NotFound);
    for (const auto& [text, caption] : shownMessages())
        EXPECT_NE(text, kReceiverUnpluggedText);
}

TEST_F(EngineTest, BuildFailuresAreReportedWithTheirTexts) {
    using Messages = std::vector<std::pair<std::string, std::string>>;
    receiver->devices = {{"Other Camera", "/dev/video9"}};
    start();
    EXPECT_EQ(shownMessages(), (Messages{{"No USB Receiver connected.", ""}}));
    EXPECT_FALSE(engine().graphBuilt());
    EXPECT_EQ(gState.liveViewOn, 0);

    receiver->devices = {{"Other Camera", "/dev/video9"}, {media::kReceiverName, "/dev/video3"}};
    receiver->buildResult = media::BuildResult::BindFailed;
    send(ENG_CONNECT);
    receiver->buildResult = media::BuildResult::VideoRenderFailed;
    send(ENG_CONNECT);
    receiver->buildResult = media::BuildResult::Ok;
    receiver->graphCreateFails = true;
    send(ENG_CONNECT);
    EXPECT_EQ(shownMessages(),
              (Messages{{"No USB Receiver connected.", ""},
                        {"create capture", "error"},
                        {"Unable to use USB receiver.Please close other programs using USB "
                         "receiver and restart Vidora.",
                         "error"},
                        {"", "error"}}));
    receiver->graphCreateFails = false;
    send(ENG_CONNECT);
    EXPECT_TRUE(engine().graphBuilt());
    ASSERT_EQ(engine().devices().size(), 1u);
    EXPECT_EQ(engine().devices()[0].path, "/dev/video3");
}

TEST_F(EngineTest, WithoutAVideoWindowNothingIsBuiltAndNothingShown) {
    setVideoWindow(nullptr);
    start();
    EXPECT_FALSE(engine().graphBuilt());
    EXPECT_TRUE(shownMessages().empty());
}

TEST_F(EngineTest, LayoutCommandsAndSnapshot) {
    start();
    const int repaintsBefore = window.repaints.load();
    send(ENG_TOGGLE_QUAD);
    EXPECT_EQ(engine().layoutMode(), LayoutMode::Quad);
    EXPECT_EQ(gState.quadLayout, 1);
    EXPECT_GT(window.invalidations.load(), 0);
    send(ENG_TOGGLE_FULLSCREEN_LAYOUT);
    EXPECT_EQ(engine().layoutMode(), LayoutMode::QuadFullScreen);
    EXPECT_EQ(gState.quadLayout, 1);
    send(ENG_TOGGLE_FULLSCREEN_LAYOUT);
    EXPECT_EQ(engine().layoutMode(), LayoutMode::Quad);
    EXPECT_GT(window.repaints.load(), repaintsBefore);

    window.size = {1000, 800};
    post(ENG_VIDEO_RECT_CHANGED);
    EXPECT_EQ(engine().videoTransfer().liveCell(), (VideoRect{0, 0, 499, 399}));
    send(ENG_DISPLAY_CHANGED);
    EXPECT_EQ(window.displayChanges.load(), 1);

    feedPicture(9);
    send(ENG_SNAPSHOT);
    auto* port = static_cast<test::SpyRecordingPort*>(&engine().recordingPort());
    ASSERT_FALSE(port->lastSnapshot.empty());
    EXPECT_EQ(port->lastSnapshot.width(), 720);
    EXPECT_EQ(port->lastSnapshot.height(), 576);
}

TEST_F(EngineTest, CycleStartNeedsLiveView) {
    create();  // not started: no live view
    send(ENG_CYCLE_START);
    EXPECT_EQ(gState.autoCycleOn, 1);
    EXPECT_FALSE(engine().autoCycleAlive());
    send(ENG_CYCLE_STOP);
    EXPECT_EQ(gState.autoCycleOn, 0);
}

TEST_F(EngineTest, AutoCycleThreadSwitchesWhenTheIntervalHasPassed) {
    gConfig.cycleSeconds = 3;
    start();
    send(ENG_CYCLE_START);
    ASSERT_TRUE(test::waitFor([] { return loadRelaxed(gState.autoCycleRunning) == 1; }));
    clock.advanceMs(3001);
    EXPECT_TRUE(test::waitFor([] { return loadRelaxed(gState.currentChannel) == 1; }));
    send(ENG_CYCLE_STOP);
    EXPECT_FALSE(engine().autoCycleAlive());
    EXPECT_EQ(gState.autoCycleRunning, 0);
}

// A writer that refuses with a message, as at the record folder's limit under "stop and notify".
class RefusingPort final : public RecordingPort {
  public:
    Result startRecording() override {
        entered = true;
        userMessageBox("Total size of record files have exceeded the limit(5MB).", "Vidora",
                       MB_OK | MB_ICONINFORMATION);
        return Failure{"Total size of record files have exceeded the limit(5MB)."};
    }
    std::atomic<bool> entered{false};
};

// A supervisor whose thread asks the user something just as live view stops.
class AskingSupervisor final : public SchedulePort {
  public:
    void startSupervisor() override {
        thread = std::thread([] { userMessageBox("Supervisor question", "Vidora", MB_OK); });
    }
    void waitSupervisorEnded(const std::function<void()>& whileWaiting) override {
        while (!done()) {
            if (whileWaiting)
                whileWaiting();
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        thread.join();
    }
    bool done() { return answered.load(); }
    std::thread thread;
    std::atomic<bool> answered{false};
};

TEST_F(EngineTest, TheUiThreadKeepsShowingWorkerMessagesWhileItWaitsForThem) {
    std::vector<std::string> shown;
    AskingSupervisor* supervisor = nullptr;
    setMessageBoxPresenter([&](const MessageBoxRequest& request) {
        shown.push_back(request.text);
        if (supervisor && request.text == "Supervisor question")
            supervisor->answered = true;
        return IDOK;
    });
    EngineServices services;
    services.backend = std::make_unique<test::FakeBackend>(receiver);
    auto port = std::make_unique<RefusingPort>();
    RefusingPort* refusing = port.get();
    services.recording = std::move(port);
    auto schedule = std::make_unique<AskingSupervisor>();
    supervisor = schedule.get();
    services.schedule = std::move(schedule);
    services.clock = &clock;
    services.folderWatchers = false;
    services.notify = [](int32_t) {};
    module = std::make_unique<EngineModule>(kEngineModuleNumber, std::move(services));
    ASSERT_EQ(module->start().reason(), "");

    // A timer thread starts a recording that the writer refuses with a message; meanwhile the
    // user stops recording on the UI thread, which must wait for the recording lock.
    std::thread timer([&] { (void)engine().startRecording(); });
    ASSERT_TRUE(test::waitFor([&] { return refusing->entered.load(); }));
    send(ENG_RECORD_STOP);
    timer.join();
    // Stopping live view waits for the supervisor, which waits for its message.
    module->stop();
    setMessageBoxPresenter({});
    std::sort(shown.begin(), shown.end());
    EXPECT_EQ(shown, (std::vector<std::string>{
                         "Supervisor question",
                         "Total size of record files have exceeded the limit(5MB)."}));
    EXPECT_EQ(gState.recordingOn, 0);
}

class AutoCycleTest : public ::testing::Test {
  protected:
    void SetUp() override {
        applyDefaultSettings();
        resetTimerState();
        gState.liveViewOn = 1;
        gConfig.cycleSeconds = 5;
        cycle.begin();
    }
    ManualClock clock;
    int switches = 0;
    AutoCycle cycle{[this] { ++switches; }, clock};
};

TEST_F(AutoCycleTest, SwitchesAfterTheIntervalAndRestartsIt) {
    clock.advanceMs(5000);
    cycle.tick();
    EXPECT_EQ(switches, 0);  // more than the interval must have passed
    clock.advanceMs(1);
    cycle.tick();
    EXPECT_EQ(switches, 1);
    clock.advanceMs(4000);
    cycle.tick();
    EXPECT_EQ(switches, 1);
    clock.advanceMs(1001);
    cycle.tick();
    EXPECT_EQ(switches, 2);
}

TEST_F(AutoCycleTest, AlarmsTasksPauseAndShortIntervalsHoldTheChannel) {
    clock.advanceMs(6000);
    auto held = [&](auto set, auto clear) {
        set();
        cycle.tick();
        clear();
        return switches == 0;
    };
    EXPECT_TRUE(held([] { gState.motionAlarmActive = 1; }, [] { gState.motionAlarmActive = 0; }));
    EXPECT_TRUE(held([] { gState.soundAlarmActive = 1; }, [] { gState.soundAlarmActive = 0; }));
    EXPECT_TRUE(held([] { gTimer.alarmRecording = 1; }, [] { gTimer.alarmRecording = 0; }));
    EXPECT_TRUE(
        held([] { gTimer.alarmCaptureLeftMs = 10; }, [] { gTimer.alarmCaptureLeftMs = 0; }));
    EXPECT_TRUE(held([] { gTimer.recordTaskChannel = 0; }, [] { gTimer.recordTaskChannel = -1; }));
    EXPECT_TRUE(
        held([] { gTimer.captureTaskChannel = 0; }, [] { gTimer.captureTaskChannel = -1; }));
    EXPECT_TRUE(held([] { gState.livePaused = 1; }, [] { gState.livePaused = 0; }));
    EXPECT_TRUE(held([] { gConfig.cycleSeconds = 2; }, [] { gConfig.cycleSeconds = 5; }));
    cycle.tick();
    EXPECT_EQ(switches, 1);
}

// The engine on a real bus: the route table reaches module 1 for every id it registers, and the
// notices reach the user interface partner.
TEST(EngineOnTheBus, RegisteredIdsReachTheEngineAndNoticesReachTheUi) {
    applyDefaultSettings();
    resetTimerState();
    test::FakeVideoWindow window;
    setVideoWindow(&window);
    auto receiver = std::make_shared<test::FakeReceiver>();
    clearBusRegistries();
    EngineFactories factories;
    factories.backend = [receiver] { return std::make_unique<test::FakeBackend>(receiver); };
    factories.soundPlayer = [] {
        return std::make_unique<test::FakeSoundPlayer>(std::make_shared<test::SoundLog>());
    };
    registerEngineModule(factories);
    {
        test::NoticeCounter ui;
        ViewerApp::Services services;
        services.obtainUi = [&ui] { return &ui; };
        ViewerApp app(services);
        ASSERT_EQ(app.run().reason(), "");
        ASSERT_NE(app.module(kEngineModuleNumber), nullptr);
        EXPECT_EQ(receiver->state, "running");

        receiver->clearCommands();
        EXPECT_EQ(postMessage(ENG_CHANNEL_NEXT), 0);
        EXPECT_EQ(receiver->commandsCopy(), (std::vector<Block>{high(0), low(1)}));
        EXPECT_EQ(sendMessage(0x10001), 0);  // registered and ignored
        EXPECT_EQ(sendMessage(ENG_RECORD_START), 0);
        EXPECT_EQ(ui.received(),
                  (std::vector<int32_t>{APP_STARTED, NTF_LIVE_STATE, NTF_CHANNEL_CHANGED,
                                        NTF_CHANNEL_CHANGED, NTF_RECORD_STATE}));
        sendMessage(APP_QUIT);
        EXPECT_EQ(app.state(), ViewerApp::Stopped);
        EXPECT_EQ(receiver->graphsAlive, 0);
    }
    clearBusRegistries();
    setVideoWindow(nullptr);
}

}  // namespace
}  // namespace vidora
