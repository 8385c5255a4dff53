// The engine on the bus over the real GStreamer capture graph and the simulated MR220 receiver:
// what the receiver is told, what reaches the sinks, and how unplugging is handled.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <set>
#include <thread>

#include "app/bus.h"
#include "app/message_box.h"
#include "app/messages.h"
#include "app/settings.h"
#include "engine/engine_module.h"
#include "engine/timer_state.h"
#include "platform/relaxed.h"
#include "platform/sim/simulated_receiver.h"
#include "tests/engine/fakes.h"
#include "tests/media/picture_reading.h"
#include "tests/support/notice_counter.h"

namespace vidora {
namespace {

using Steady = std::chrono::steady_clock;
using test::block;
using test::waitFor;

std::array<uint8_t, 8> high(int bit) {
    return block({0x40, 3, 2, 1, static_cast<uint8_t>(bit), 0, 0, 0});
}
std::array<uint8_t, 8> low(int bit) {
    return block({0x40, 3, 3, 1, static_cast<uint8_t>(bit), 0, 0, 0});
}
const std::array<uint8_t, 8> kStatusRead = {0xC0, 0x03, 0x00, 0x03, 0x00, 0x00, 0x01, 0x00};

class SimEngineTest : public ::testing::Test {
  protected:
    void SetUp() override {
        applyDefaultSettings();
        resetTimerState();
        gConfig.cycleSeconds = 59;  // the auto-cycle never switches by itself here
        setVideoWindow(&window);
        setMessageBoxPresenter([this](const MessageBoxRequest& request) {
            std::lock_guard lock(mutex);
            messages.emplace_back(request.text, request.caption);
            return IDOK;
        });
        clearBusRegistries();
        EngineFactories factories;
        factories.backend = [sim = sim] { return sim::createSimulatedBackend(sim); };
        factories.soundPlayer = [log = soundLog] {
            return std::make_unique<test::FakeSoundPlayer>(log);
        };
        factories.recording = [log = recordingLog] {
            return std::make_unique<test::SpyRecordingPort>(log);
        };
        registerEngineModule(factories);
    }

    void TearDown() override {
        if (app)
            sendMessage(APP_QUIT);
        app.reset();
        clearBusRegistries();
        setMessageBoxPresenter({});
        setVideoWindow(nullptr);
    }

    void startApp() {
        ViewerApp::Services services;
        services.obtainUi = [this] { return &ui; };
        app = std::make_unique<ViewerApp>(services);
        ASSERT_EQ(app->run().reason(), "");
        ASSERT_TRUE(engine().graphBuilt());
    }
    CaptureEngine& engine() {
        return static_cast<EngineModule*>(app->module(kEngineModuleNumber))->engine();
    }
    bool picturesFlow(int more = 3) {
        const int start = window.pictures.load();
        return waitFor([&] { return window.pictures.load() >= start + more; }, 10000);
    }
    std::vector<std::array<uint8_t, 8>> requestBlocks() {
        std::vector<std::array<uint8_t, 8>> blocks;
        for (const auto& r : sim->requests())
            blocks.push_back(r.block);
        return blocks;
    }
    std::string labelOfNextPicture() {
        auto picture = recordingLog->nextPicture(5000);
        if (picture.size() != 720u * 576 * 2)
            return "";
        return sim::testing::readChannelLabel(picture.data(), 720);
    }
    std::vector<std::pair<std::string, std::string>> shownMessages() {
        std::lock_guard lock(mutex);
        return messages;
    }

    std::shared_ptr<sim::SimulatedReceiver> sim = std::make_shared<sim::SimulatedReceiver>();
    std::shared_ptr<test::SoundLog> soundLog = std::make_shared<test::SoundLog>();
    std::shared_ptr<test::RecordingLog> recordingLog = std::make_shared<test::RecordingLog>();
    test::FakeVideoWindow window;
    test::NoticeCounter ui;
    std::mutex mutex;
    std::vector<std::pair<std::string, std::string>> messages;
    std::unique_ptr<ViewerApp> app;
};

TEST_F(SimEngineTest, ChannelSwitchingTunesTheReceiver) {
    gConfig.recordImageSize = 1;
    startApp();
    ASSERT_TRUE(picturesFlow());
    EXPECT_EQ(sim->channel(), 0);
    // The unrelated camera listed first is ignored.
    ASSERT_EQ(engine().devices().size(), 1u);
    EXPECT_EQ(engine().devices()[0].path, sim::kReceiverPath);

    sim->clearRequests();
    EXPECT_EQ(sendMessage(ENG_CHANNEL_SELECT, 2), 0);
    EXPECT_EQ(requestBlocks(), (std::vector<std::array<uint8_t, 8>>{high(1), low(0)}));
    for (const auto& r : sim->requests())
        EXPECT_EQ(r.result, 0);
    EXPECT_EQ(sim->channel(), 2);
    EXPECT_EQ(ui.count(NTF_CHANNEL_CHANGED), 2);

    // The pictures are now the third camera's.
    ASSERT_EQ(sendMessage(ENG_RECORD_START), 0);
    EXPECT_TRUE(waitFor([&] { return labelOfNextPicture() == "CH3"; }, 10000));

    // Reselecting the live channel, or "next" with no other enabled channel, asks nothing.
    for (int ch : {0, 1, 3})
        sendMessage(ENG_CHANNEL_DISABLE, ch);
    sim->clearRequests();
    sendMessage(ENG_CHANNEL_SELECT, 2);
    postMessage(ENG_CHANNEL_NEXT);
    EXPECT_TRUE(std::none_of(sim->requests().begin(), sim->requests().end(),
                             [](const sim::RecordedRequest& r) { return r.block[0] == 0x40; }));
    EXPECT_EQ(sim->channel(), 2);

    sendMessage(ENG_CHANNEL_ENABLE, 0);
    postMessage(ENG_CHANNEL_NEXT);
    EXPECT_EQ(sim->channel(), 0);
    EXPECT_EQ(gState.currentChannel, 0);
}

TEST_F(SimEngineTest, PicturesAndFoldedSoundArriveUntilPauseAndStopEndsEveryThread) {
    sim->setToneAmplitudes(30000, 20000);  // the sum runs past full scale
    startApp();

    // Pictures arrive at (at most) the receiver's 25 per second.
    ASSERT_TRUE(picturesFlow(5));
    const int first = window.pictures.load();
    const auto t0 = Steady::now();
    ASSERT_TRUE(waitFor([&] { return window.pictures.load() >= first + 25; }, 15000));
    const double seconds = std::chrono::duration<double>(Steady::now() - t0).count();
    EXPECT_GT(seconds, 0.9);
    EXPECT_EQ(window.lastPicture().rows, 288);

    // While recording, every sound block reaches the port folded to doubled mono.
    ASSERT_EQ(sendMessage(ENG_RECORD_START), 0);
    ASSERT_TRUE(waitFor([&] { return recordingLog->soundBlocks.load() >= 3; }));
    std::set<int16_t> expected;
    const int period = sim::kSampleRate / sim::SimulatedReceiver::toneFrequencyHz(0);
    for (int i = 0; i < period; ++i) {
        auto s = sim::SimulatedReceiver::toneSample(0, i, 30000, 20000);
        expected.insert(static_cast<int16_t>(std::clamp(s[0] + s[1], -32768, 32767)));
    }
    std::vector<uint8_t> sound;
    {
        std::lock_guard lock(recordingLog->mutex);
        sound = recordingLog->lastSound;
    }
    ASSERT_GE(sound.size(), 4u);
    // The loud tone's sum clips at full scale instead of wrapping round.
    EXPECT_TRUE(expected.count(32767));
    EXPECT_TRUE(expected.count(-32768));
    for (std::size_t i = 0; i + 3 < sound.size(); i += 4) {
        const int16_t left = static_cast<int16_t>(sound[i] | sound[i + 1] << 8);
        const int16_t right = static_cast<int16_t>(sound[i + 2] | sound[i + 3] << 8);
        ASSERT_EQ(left, right) << i;
        ASSERT_TRUE(expected.count(left)) << left;
    }
    // Pictures reach the port too (give a loaded machine time for the first one).
    EXPECT_TRUE(waitFor([&] { return recordingLog->pictures.load() > 0; }));
    EXPECT_EQ(recordingLog->lastPictureLength.load(), 360u * 288 * 2);

    // Pause: no more pictures, recording stopped, the workers idle.
    sendMessage(ENG_LIVE_PAUSE);
    EXPECT_EQ(gState.recordingOn, 0);
    EXPECT_TRUE(engine().alarmThreadsAlive());
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // pictures already on their way
    const int paused = window.pictures.load();
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    EXPECT_EQ(window.pictures.load(), paused);

    EXPECT_EQ(sendMessage(ENG_LIVE_START), 0);
    EXPECT_TRUE(picturesFlow());

    // Stop: each select thread sends its request once more, then every worker has ended.
    sim->clearRequests();
    app->module(kEngineModuleNumber)->stop();
    auto blocks = requestBlocks();
    blocks.erase(std::remove(blocks.begin(), blocks.end(), kStatusRead), blocks.end());
    EXPECT_EQ(blocks, (std::vector<std::array<uint8_t, 8>>{high(0), low(0)}));
    EXPECT_FALSE(engine().alarmThreadsAlive());
    EXPECT_FALSE(engine().autoCycleAlive());
    EXPECT_EQ(gState.liveViewOn, 0);
    EXPECT_EQ(ui.count(NTF_LIVE_STATE), 3);
}

TEST_F(SimEngineTest, OnlyTheVideoStandardRebuildsAndTheAutoCycleResumes) {
    startApp();
    sendMessage(ENG_CYCLE_START);
    ASSERT_TRUE(engine().autoCycleAlive());
    ASSERT_TRUE(picturesFlow());

    gConfig.motionAlarmChannel[1] = 1;
    gConfig.alarmCaptureSeconds = 30;
    sendMessage(ENG_SETTINGS_CHANGED);
    EXPECT_EQ(ui.count(NTF_LIVE_STATE), 1);  // not stopped and started again
    EXPECT_TRUE(picturesFlow());

    gConfig.videoStandard = 2;
    sendMessage(ENG_SETTINGS_CHANGED);
    EXPECT_EQ(ui.count(NTF_LIVE_STATE), 3);
    EXPECT_EQ(engine().standardInEffect(), 2);
    EXPECT_TRUE(waitFor([&] { return window.lastPicture().rows == 240; }, 10000));
    EXPECT_EQ(gState.videoWidth, 720);
    EXPECT_EQ(gState.videoHeight, 480);
    EXPECT_EQ(sim->videoStandard(), sim::VideoStandard::Ntsc);
    EXPECT_TRUE(engine().autoCycleAlive());
    EXPECT_TRUE(shownMessages().empty());
}

TEST_F(SimEngineTest, UnplugTearsDownAndConnectRebuildsWithoutTheAutoCycle) {
    startApp();
    sendMessage(ENG_CYCLE_START);
    ASSERT_TRUE(picturesFlow());

    const int notifiesBefore = window.graphNotifies.load();
    sim->unplug();
    // The monitor panel answers each graph notice with ENG_GRAPH_EVENT.
    ASSERT_TRUE(waitFor(
        [&] {
            if (window.graphNotifies.load() > notifiesBefore)
                sendMessage(ENG_GRAPH_EVENT);
            return !engine().graphBuilt();
        },
        10000));
    EXPECT_EQ(shownMessages(),
              (std::vector<std::pair<std::string, std::string>>{
                  {"USB Receiver was unpluged from your computer,please reconnect it.", ""}}));
    EXPECT_EQ(gState.liveViewOn, 0);
    EXPECT_FALSE(engine().autoCycleAlive());
    EXPECT_FALSE(engine().alarmThreadsAlive());

    const int arrivalsBefore = window.arrivals.load();
    sim->replug();
    ASSERT_TRUE(waitFor([&] { return window.arrivals.load() > arrivalsBefore; }, 10000));
    sendMessage(ENG_CONNECT);
    EXPECT_TRUE(engine().graphBuilt());
    EXPECT_EQ(gState.liveViewOn, 1);
    EXPECT_TRUE(picturesFlow());
    EXPECT_EQ(gState.autoCycleOn, 1);
    EXPECT_FALSE(engine().autoCycleAlive());
}

TEST_F(SimEngineTest, ReceiverAlarmRaisesTheAlarmAndItsSound) {
    gState.motionAlarmOn = 1;
    gState.soundAlarmOn = 1;
    gConfig.motionAlarmChannel[0] = 1;
    gConfig.soundAlarmChannel[0] = 1;
    startApp();
    ASSERT_TRUE(picturesFlow());

    sim->scheduleAlarmIn(0, sim::kMotionAlarm, 0, 3000);
    ASSERT_TRUE(waitFor([] { return loadRelaxed(gState.motionAlarmActive) == 1; }));
    EXPECT_EQ(loadRelaxed(gState.soundAlarmActive), 0);
    EXPECT_NE(loadRelaxed(gState.lastAlarmTick), 0u);
    ASSERT_TRUE(waitFor([&] { return engine().alarmSoundPlaying(); }));
    {
        std::lock_guard lock(soundLog->mutex);
        EXPECT_EQ(soundLog->lastPath, "./UI/alarm.wav");
    }
    const auto reads = sim->requests();
    EXPECT_TRUE(std::any_of(reads.begin(), reads.end(),
                            [](const sim::RecordedRequest& r) { return r.block == kStatusRead; }));

    // Pausing stops the sound; nothing starts it again while paused.
    sendMessage(ENG_LIVE_PAUSE);
    EXPECT_FALSE(engine().alarmSoundPlaying());
    std::this_thread::sleep_for(std::chrono::milliseconds(450));
    EXPECT_FALSE(engine().alarmSoundPlaying());
    sendMessage(ENG_LIVE_START);

    // With both switches off the receiver is not asked any more.
    storeRelaxed(gState.motionAlarmOn, 0);
    storeRelaxed(gState.soundAlarmOn, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(250));  // a poll already under way
    sim->clearRequests();
    std::this_thread::sleep_for(std::chrono::milliseconds(650));
    EXPECT_TRUE(sim->requests().empty());
    EXPECT_EQ(loadRelaxed(gState.motionAlarmActive), 0);
}

}  // namespace
}  // namespace vidora
