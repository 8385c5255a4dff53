// Channel switches racing the schedule supervisor, its capture and record timers and the alarm
// poll, each on a thread of its own as in the program, over the shared timer state. After every
// round, with all threads joined, the state must be one that the whole steps of these threads
// can leave in some order: a half-done step of one thread overwritten by another is a fault.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/settings.h"
#include "engine/schedule/capture_timer.h"
#include "engine/schedule/day_lists.h"
#include "engine/schedule/record_timer.h"
#include "engine/schedule/schedule_supervisor.h"
#include "engine/timer_state.h"
#include "platform/clock.h"
#include "platform/relaxed.h"

namespace vidora {
namespace {

// The engine's side as the timers see it: the channel switch (its timer-state step under the
// channel-switch lock, then the recording stop), and a recording that takes a moment to start,
// as the encoder and the writer's thread do.
class RacingActions final : public ScheduleActions {
  public:
    void switchChannel(int channel) override {
        std::lock_guard lock(switchLock_);
        std::this_thread::sleep_for(std::chrono::microseconds(50));  // the receiver settles
        if (applyChannelSwitch(channel))
            stopRecording();
        switches.fetch_add(1);
    }
    void holdingChannel(const std::function<void()>& work) override {
        std::lock_guard lock(switchLock_);
        work();
    }
    bool startRecording() override {
        std::lock_guard lock(recordingLock_);
        if (recording_)
            return false;
        std::this_thread::sleep_for(std::chrono::microseconds(100));
        recording_ = true;
        starts.fetch_add(1);
        return true;
    }
    void stopRecording() override {
        std::lock_guard lock(recordingLock_);
        recording_ = false;
    }
    bool recording() override {
        std::lock_guard lock(recordingLock_);
        return recording_;
    }
    bool recordingEndedAtLimit() override { return false; }
    PictureWriteResult takeSnapshot() override {
        photos.fetch_add(1);
        PictureWriteResult taken;
        taken.ok = true;
        return taken;
    }
    void showMessage(const std::string&, const std::string&, uint32_t) override {
        messages.fetch_add(1);
    }
    void postMessage(const MessageBoxRequest&) override { messages.fetch_add(1); }

    std::atomic<int> switches{0}, starts{0}, photos{0}, messages{0};

  private:
    std::mutex switchLock_;
    std::mutex recordingLock_;
    bool recording_ = false;
};

TaskRecord dailyTask(int operation, const SystemTime& at, int durationSeconds, int channel) {
    TaskRecord t{};
    t.operation = operation;
    t.frequency = 1;
    t.startTime = at;
    t.durationSeconds = durationSeconds;
    t.channel = channel;
    t.captureFps = 5;
    return t;
}

// What a set of whole steps leaves behind; empty when it holds.
std::string brokenRule(RacingActions& actions) {
    std::lock_guard lock(timerLock());
    std::ostringstream broken;
    const auto task = [&](const char* kind, int32_t channel, int32_t leftMs) {
        if ((channel == -1) != (leftMs == 0))
            broken << kind << " task on channel " << channel << " with " << leftMs << " ms left; ";
    };
    task("record", loadRelaxed(gTimer.recordTaskChannel), loadRelaxed(gTimer.recordTaskLeftMs));
    task("capture", loadRelaxed(gTimer.captureTaskChannel), loadRelaxed(gTimer.captureTaskLeftMs));
    if (actions.recording() && !loadRelaxed(gTimer.alarmRecording) &&
        !loadRelaxed(gTimer.taskRecording)) {
        broken << "a recording that neither the alarm nor a task claims; ";
    }
    if ((loadRelaxed(gTimer.alarmRecordLeftMs) > 0 || loadRelaxed(gTimer.alarmCaptureLeftMs) > 0) &&
        loadRelaxed(gTimer.alarmChannel) != loadRelaxed(gState.currentChannel)) {
        broken << "alarm work for channel " << loadRelaxed(gTimer.alarmChannel) << " while channel "
               << loadRelaxed(gState.currentChannel) << " is live; ";
    }
    return broken.str();
}

TEST(ScheduleRace, ChannelSwitchesRacingTheTimersLeaveOnlyWholeSteps) {
    applyDefaultSettings();
    resetTimerState();
    gState.liveViewOn = 1;
    gState.livePaused = 0;
    gState.planTasksOn = 1;
    gState.currentChannel = 0;
    gConfig.alarmRecord = 1;
    gConfig.alarmCapture = 1;
    gConfig.alarmRecordSeconds = 2;
    gConfig.alarmCaptureSeconds = 2;
    gConfig.recordLimitMB = 0;
    gConfig.pictureLimitMB = 0;

    // A record task on channel 1 and a photo task on channel 2 that both run now, the record
    // task the later one; rebuilt at every supervisor tick, so that they keep starting anew.
    ManualClock clock;
    const int64_t now = clock.calendarSeconds();
    const std::vector<TaskRecord> tasks = {
        dailyTask(1, toLocalSystemTime(now - 30), 3600, 1),
        dailyTask(2, toLocalSystemTime(now - 60), 3600, 2),
    };
    RacingActions actions;
    ScheduleSupervisor supervisor(clock, [&tasks] { return tasks; });
    CaptureTimer captureTimer(actions, clock);
    RecordTimer recordTimer(actions, clock);
    supervisor.begin();
    captureTimer.begin();
    recordTimer.begin();

    int ticksWithTasks = 0;  // supervisor ticks after which a task ran
    for (int round = 0; round < 150; ++round) {
        std::vector<std::thread> threads;
        threads.emplace_back([&] {
            for (int i = 0; i < 10; ++i) {
                storeRelaxed(gTimer.forceDayListRebuild, 1);
                supervisor.tick();
                {
                    std::lock_guard lock(timerLock());
                    ticksWithTasks += loadRelaxed(gTimer.recordTaskChannel) != -1 ||
                                      loadRelaxed(gTimer.captureTaskChannel) != -1;
                }
                clock.advanceMs(20);
            }
        });
        threads.emplace_back([&] {
            for (int i = 0; i < 10; ++i)
                recordTimer.tick();
        });
        threads.emplace_back([&] {
            for (int i = 0; i < 10; ++i)
                captureTimer.tick();
        });
        threads.emplace_back([&, round] {
            // The alarm poll sees motion now and then.
            for (int i = 0; i < 10; ++i) {
                if ((round + i) % 4 == 0) {
                    storeRelaxed(gTimer.lastMotionTime, clock.multimediaTime());
                    storeRelaxed(gState.motionAlarmActive, 1);
                }
                std::this_thread::yield();
            }
        });
        threads.emplace_back([&, round] {
            // The user (or the auto-cycle) picks channels.
            for (int i = 0; i < 4; ++i)
                actions.switchChannel((round + i * 3) % 4);
        });
        for (auto& t : threads)
            t.join();

        const std::string broken = brokenRule(actions);
        ASSERT_TRUE(broken.empty()) << "round " << round << ": " << broken;
    }
    // The race was run: tasks ran, recordings started, channels were switched.
    EXPECT_GT(ticksWithTasks, 0);
    EXPECT_GT(actions.starts.load(), 10);
    EXPECT_GT(actions.switches.load(), 150 * 4);  // the timers switch as well
    EXPECT_EQ(actions.messages.load(), 0);
}

}  // namespace
}  // namespace vidora
