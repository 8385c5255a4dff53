// Receiver requests (channel select through the two select threads, status read) and the alarm
// poll with its indication and sound.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "app/event_sink.h"
#include "app/settings.h"
#include "engine/alarm.h"
#include "engine/receiver_control.h"
#include "engine/timer_state.h"
#include "platform/clock.h"
#include "platform/relaxed.h"
#include "tests/engine/fakes.h"

namespace vidora {
namespace {

using test::block;
using test::FakeGraph;
using test::FakeReceiver;

class ReceiverTest : public ::testing::Test {
  protected:
    void SetUp() override {
        applyDefaultSettings();
        control.setGraph(&graph);
    }
    void TearDown() override {
        control.requestStopSelectThreads();
        control.waitSelectThreadsEnded(std::chrono::milliseconds(5), {});
        control.setGraph(nullptr);
    }

    // Changes what the fake receiver does while the select threads may be using it.
    void set(const std::function<void()>& change) {
        std::lock_guard lock(receiver->mutex);
        change();
    }

    std::shared_ptr<FakeReceiver> receiver = std::make_shared<FakeReceiver>();
    FakeGraph graph{receiver};
    ReceiverControl control;
};

TEST_F(ReceiverTest, SelectSendsHighBitThenLowBitAndClearsTheAlarm) {
    control.startSelectThreads();
    storeRelaxed(gState.motionAlarmActive, 1);
    storeRelaxed(gState.soundAlarmActive, 1);
    storeRelaxed(gState.lastAlarmTick, 1234);
    ASSERT_TRUE(control.selectChannel(2));
    EXPECT_EQ(receiver->commandsCopy(),
              (std::vector<test::Block>{block({0x40, 0x03, 0x02, 0x01, 0x01, 0, 0, 0}),
                                        block({0x40, 0x03, 0x03, 0x01, 0x00, 0, 0, 0})}));
    EXPECT_EQ(gState.motionAlarmActive, 0);
    EXPECT_EQ(gState.soundAlarmActive, 0);
    EXPECT_EQ(gState.lastAlarmTick, 0u);

    receiver->clearCommands();
    ASSERT_TRUE(control.selectChannel(1));
    ASSERT_TRUE(control.selectChannel(3));
    // A value outside 0..3 sends the previous bits again.
    ASSERT_TRUE(control.selectChannel(9));
    EXPECT_EQ(receiver->commandsCopy(),
              (std::vector<test::Block>{
                  block({0x40, 3, 2, 1, 0, 0, 0, 0}), block({0x40, 3, 3, 1, 1, 0, 0, 0}),
                  block({0x40, 3, 2, 1, 1, 0, 0, 0}), block({0x40, 3, 3, 1, 1, 0, 0, 0}),
                  block({0x40, 3, 2, 1, 1, 0, 0, 0}), block({0x40, 3, 3, 1, 1, 0, 0, 0})}));
}

TEST_F(ReceiverTest, FailingOrThrowingRequestsNeverBlockASelection) {
    control.startSelectThreads();
    set([&] { receiver->vendorResult = -5; });
    EXPECT_TRUE(control.selectChannel(1));
    set([&] {
        receiver->vendorResult = 0;
        receiver->vendorThrows = true;
    });
    EXPECT_TRUE(control.selectChannel(3));
    EXPECT_EQ(receiver->commandsCopy().size(), 4u);
    EXPECT_FALSE(control.readStatus());
    // Without a graph every request fails at once.
    set([&] { receiver->vendorThrows = false; });
    control.setGraph(nullptr);
    EXPECT_TRUE(control.selectChannel(0));
    EXPECT_EQ(receiver->commandsCopy().size(), 5u);
    control.setGraph(&graph);
}

TEST_F(ReceiverTest, StoppingSendsEachRequestOnceMoreAndARestartWaitsForNewRequests) {
    control.startSelectThreads();
    ASSERT_TRUE(control.selectChannel(3));
    receiver->clearCommands();
    control.requestStopSelectThreads();
    control.waitSelectThreadsEnded(std::chrono::milliseconds(5), {});
    EXPECT_FALSE(control.selectThreadsAlive());
    EXPECT_EQ(receiver->commandsCopy(),
              (std::vector<test::Block>{block({0x40, 3, 2, 1, 1, 0, 0, 0}),
                                        block({0x40, 3, 3, 1, 1, 0, 0, 0})}));
    // With the threads gone a selection returns at once instead of waiting forever.
    EXPECT_FALSE(control.selectChannel(0));

    // The last round left "select done" signalled; after a restart a selection must still wait
    // for its own two requests.
    receiver->clearCommands();
    control.startSelectThreads();
    ASSERT_TRUE(control.selectChannel(2));
    EXPECT_EQ(receiver->commandsCopy().size(), 2u);
}

TEST_F(ReceiverTest, StatusReadReturnsTheByteTheReceiverGives) {
    receiver->status = 0xDF;
    auto status = control.readStatus();
    ASSERT_TRUE(status);
    EXPECT_EQ(*status, 0xDF);
    EXPECT_EQ(receiver->commandsCopy().back(),
              block({0xC0, 0x03, 0x00, 0x03, 0x00, 0x00, 0x01, 0x00}));
    receiver->vendorResult = 1;
    EXPECT_FALSE(control.readStatus());
}

class AlarmTest : public ::testing::Test {
  protected:
    void SetUp() override {
        applyDefaultSettings();
        resetTimerState();
        storeRelaxed(gState.liveViewOn, 1);
        storeRelaxed(gState.currentChannel, 1);
    }

    std::optional<uint8_t> read() {
        ++reads;
        if (readFails)
            return std::nullopt;
        return status;
    }
    void enable(bool motionSwitch, bool soundSwitch, bool motionChannel, bool soundChannel) {
        gState.motionAlarmOn = motionSwitch;
        gState.soundAlarmOn = soundSwitch;
        gConfig.motionAlarmChannel[1] = motionChannel;
        gConfig.soundAlarmChannel[1] = soundChannel;
    }

    int reads = 0;
    bool readFails = false;
    uint8_t status = 0xFF;
    ManualClock clock{1796558400, 50000};
    std::shared_ptr<test::SoundLog> soundLog = std::make_shared<test::SoundLog>();
    AlarmSound sound{std::make_unique<test::FakeSoundPlayer>(soundLog), kAlarmSoundPath};
    AlarmPoll poll{[this] { return read(); }, sound, clock};
};

TEST_F(AlarmTest, StatusBitsFilteredThroughSwitchesAndChannelFlags) {
    struct Case {
        uint8_t status;
        bool motionOn, soundOn, m, s;
        int motion, sound;
    };
    const Case cases[] = {
        {0x00, 1, 1, 1, 1, 1, 1},  // both bits clear: both kinds
        {0x20, 1, 1, 1, 1, 1, 0},  // bit 5 set: no sound, bit 4 clear: motion
        {0x10, 1, 1, 1, 1, 0, 1}, {0x30, 1, 1, 1, 1, 0, 0},
        {0xCF, 1, 1, 1, 1, 1, 1},  // other bits do not matter
        {0x00, 0, 1, 1, 1, 0, 1},  // motion switch off
        {0x00, 1, 1, 0, 1, 0, 1},  // motion not enabled for the channel
        {0x00, 1, 0, 1, 1, 1, 0}, {0x00, 1, 1, 1, 0, 1, 0},
        {0x20, 1, 0, 1, 1, 1, 0},
    };
    for (const Case& c : cases) {
        enable(c.motionOn, c.soundOn, c.m, c.s);
        status = c.status;
        storeRelaxed(gState.lastAlarmTick, 0);
        gTimer.lastMotionTime = 0;  // a kind that is on keeps its last time until seen again
        gTimer.lastSoundTime = 0;
        poll.tick();
        EXPECT_EQ(gState.motionAlarmActive, c.motion) << int(c.status);
        EXPECT_EQ(gState.soundAlarmActive, c.sound) << int(c.status);
        EXPECT_EQ(gState.lastAlarmTick != 0, c.motion || c.sound) << int(c.status);
        EXPECT_EQ(gTimer.lastMotionTime != 0, c.motion == 1);
        EXPECT_EQ(gTimer.lastSoundTime != 0, c.sound == 1);
        clock.advanceMs(200);
    }
    EXPECT_EQ(reads, 10);
}

TEST_F(AlarmTest, AnAlarmSeenAtTheWrapOfTheTimersStillCountsAsSeen) {
    // Both the tick count and the multimedia time pass through 0 after 49.7 days; an alarm seen
    // at that very millisecond must not read as "never seen".
    enable(true, true, true, true);
    status = 0x00;
    clock.advanceMs((int64_t{1} << 32) - 50000);
    ASSERT_EQ(clock.multimediaTime(), 0u);
    ASSERT_EQ(clock.tickCount(), 0u);
    poll.tick();
    EXPECT_NE(gState.lastAlarmTick, 0u);
    EXPECT_NE(gTimer.lastMotionTime, 0u);
    EXPECT_NE(gTimer.lastSoundTime, 0u);
}

TEST_F(AlarmTest, NoStatusReadWhenNothingCanRaiseAnAlarm) {
    gState.motionAlarmActive = 1;
    gState.soundAlarmActive = 1;
    gTimer.lastMotionTime = 5;
    gTimer.lastSoundTime = 5;
    enable(false, false, true, true);  // both switches off
    poll.tick();
    enable(true, true, false, false);  // neither kind enabled for the live channel
    poll.tick();
    enable(true, false, false, true);  // motion switch but sound channel: nothing matches
    status = 0x00;
    poll.tick();
    EXPECT_EQ(reads, 1);  // only the last one asks: a switch and a channel flag are on
    EXPECT_EQ(gState.motionAlarmActive, 0);
    EXPECT_EQ(gState.soundAlarmActive, 0);
    EXPECT_EQ(gTimer.lastMotionTime, 0u);
    EXPECT_EQ(gTimer.lastSoundTime, 0u);

    // Paused or stopped live view does not poll at all.
    enable(true, true, true, true);
    gState.livePaused = 1;
    poll.tick();
    gState.livePaused = 0;
    gState.liveViewOn = 0;
    poll.tick();
    EXPECT_EQ(reads, 1);
}

TEST_F(AlarmTest, FailedReadClearsTheFlagsButTheIndicationRunsOut) {
    enable(true, true, true, true);
    status = 0x00;
    poll.tick();
    const uint32_t seen = gState.lastAlarmTick;
    ASSERT_NE(seen, 0u);
    readFails = true;
    clock.advanceMs(200);
    poll.tick();
    EXPECT_EQ(gState.motionAlarmActive, 0);
    EXPECT_EQ(gState.soundAlarmActive, 0);
    EXPECT_EQ(gState.lastAlarmTick, seen);
    EXPECT_TRUE(sound.playing());
}

TEST_F(AlarmTest, SoundLoopsOnlyInsideTheFiveSecondWindow) {
    enable(true, true, true, true);
    status = 0x20;  // motion
    poll.tick();
    EXPECT_TRUE(sound.playing());
    EXPECT_EQ(soundLog->plays, 1);
    EXPECT_EQ(soundLog->lastPath, "./UI/alarm.wav");
    // A lasting alarm keeps the one loop going.
    for (int i = 0; i < 10; ++i) {
        clock.advanceMs(200);
        poll.tick();
    }
    EXPECT_EQ(soundLog->plays, 1);
    // The alarm goes away: the loop stops 5 s after the last poll that saw it.
    status = 0xFF;
    const uint32_t last = gState.lastAlarmTick;
    clock.advanceMs(4800);
    poll.tick();
    EXPECT_TRUE(sound.playing());
    EXPECT_TRUE(alarmIndicated(last, clock.tickCount()));
    clock.advanceMs(200);
    poll.tick();
    EXPECT_FALSE(alarmIndicated(last, clock.tickCount()));
    EXPECT_FALSE(sound.playing());
    EXPECT_EQ(soundLog->stops, 1);
}

TEST_F(AlarmTest, SoundNeedsAlarmSoundAndStartsNotWhilePaused) {
    enable(true, true, true, true);
    gConfig.alarmSound = 0;
    status = 0x00;
    poll.tick();
    EXPECT_NE(gState.lastAlarmTick, 0u);
    EXPECT_FALSE(sound.playing());

    // Turning the sound on inside the window starts it at the next poll.
    gConfig.alarmSound = 1;
    clock.advanceMs(200);
    poll.tick();
    EXPECT_TRUE(sound.playing());

    // Paused: the engine stops the sound, and nothing starts it again until live view resumes.
    sound.stop();
    gState.livePaused = 1;
    sound.update(clock.tickCount());
    EXPECT_FALSE(sound.playing());
    poll.tick();
    EXPECT_FALSE(sound.playing());

    // Stopped: a poll that was already on its way when live view stopped starts nothing.
    gState.livePaused = 0;
    gState.liveViewOn = 0;
    ASSERT_TRUE(alarmIndicated(gState.lastAlarmTick, clock.tickCount()));
    sound.update(clock.tickCount());
    EXPECT_FALSE(sound.playing());
    EXPECT_EQ(soundLog->plays, 1);
}

// What the event log is told of alarms, as a list of lines.
class AlarmEventSpy final : public EventSink {
  public:
    void recordingStarted(EventTime, const std::string&, EventChannel, CaptureReason) override {}
    void recordingEnded(EventTime, const std::string&, RecordingEnd) override {}
    void snapshotTaken(EventTime, const std::string&, EventChannel, CaptureReason) override {}
    void receiver(EventTime, ReceiverEvent) override {}
    void messageShown(EventTime, const std::string&, const std::string&) override {}
    void fileGone(EventTime, const std::string&) override {}
    void alarmStarted(EventTime at, EventChannel channel, AlarmKind kind) override {
        lines.push_back("start " + describe(at, channel, kind));
    }
    void alarmEnded(EventTime at, EventChannel channel, AlarmKind kind) override {
        lines.push_back("end " + describe(at, channel, kind));
    }
    static std::string describe(EventTime at, EventChannel channel, AlarmKind kind) {
        return std::to_string(at) + " CH" + std::to_string(static_cast<int>(channel)) +
               (kind == AlarmKind::Motion ? " motion" : " sound");
    }
    std::vector<std::string> lines;
};

TEST_F(AlarmTest, TheEventLogIsToldAnAlarmFromItsFirstReportToItsLast) {
    AlarmEventSpy spy;
    installEventSink(&spy);
    enable(true, true, true, true);
    const auto at = [&] { return std::to_string(eventTimeNow(clock)); };

    status = 0xEF;  // motion on CH2 (the live channel 1)
    const std::string first = at();
    poll.tick();
    // The status bit flickers within one alarm: a poll without it ends nothing.
    clock.advanceMs(200);
    status = 0xFF;
    poll.tick();
    clock.advanceMs(200);
    status = 0xEF;
    const std::string last = at();
    poll.tick();
    status = 0xFF;
    clock.advanceMs(4800);
    poll.tick();
    EXPECT_EQ(spy.lines, (std::vector<std::string>{"start " + first + " CH2 motion"}));
    // Five seconds without it: it ended when it was last reported.
    clock.advanceMs(200);
    poll.tick();
    EXPECT_EQ(spy.lines.back(), "end " + last + " CH2 motion");

    // Sound and motion are alarms of their own; a channel switch ends both, live stop the rest.
    spy.lines.clear();
    status = 0x00;
    const std::string both = at();
    poll.tick();
    storeRelaxed(gState.currentChannel, 2);
    gConfig.motionAlarmChannel[2] = 1;
    clock.advanceMs(200);
    status = 0xEF;
    const std::string switched = at();
    poll.tick();
    storeRelaxed(gState.liveViewOn, 0);
    clock.advanceMs(200);
    poll.tick();
    EXPECT_EQ(spy.lines, (std::vector<std::string>{
                             "start " + both + " CH2 motion", "start " + both + " CH2 sound",
                             "end " + both + " CH2 motion", "start " + switched + " CH3 motion",
                             "end " + both + " CH2 sound", "end " + switched + " CH3 motion"}));
    installEventSink(nullptr);
}

}  // namespace
}  // namespace vidora
