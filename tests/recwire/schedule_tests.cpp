// The schedule supervisor and its capture and record timers on a manual clock: days of schedule
// in milliseconds, against fake engine actions that keep what a real engine would do to the
// timer state.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>

#include "app/message_box.h"
#include "app/settings.h"
#include "engine/schedule/capture_timer.h"
#include "engine/schedule/record_timer.h"
#include "engine/schedule/schedule_supervisor.h"
#include "engine/timer_state.h"
#include "platform/clock.h"
#include "platform/relaxed.h"
#include "recording/snapshot.h"
#include "tests/recording/test_support.h"

namespace vidora {
namespace {

using test::TempFolder;

constexpr int kRecord = 1;
constexpr int kCapture = 2;
constexpr int kDaily = 1, kWeekly = 2, kMonthly = 3, kOnce = 4;

int64_t at(int year, int month, int day, int hour, int minute, int second = 0) {
    return localCalendarSeconds(year, month, day, hour, minute, second);
}

TaskRecord makeTask(int operation, int frequency, int hour, int minute, int second,
                    int durationSeconds, int channel, int fps = 0) {
    TaskRecord t{};
    t.operation = operation;
    t.frequency = frequency;
    t.startTime = SystemTime{2026,
                             12,
                             1,
                             7,
                             static_cast<uint16_t>(hour),
                             static_cast<uint16_t>(minute),
                             static_cast<uint16_t>(second),
                             0};
    t.durationSeconds = durationSeconds;
    t.channel = channel;
    t.captureFps = fps;
    return t;
}

// What the engine does: a channel switch (the engine's own step of it) clears the alarm and ends
// the work bound to other channels; a recording starts only when none runs.
class FakeActions final : public ScheduleActions {
  public:
    explicit FakeActions(Clock& clock) : clock_(clock) {}

    void switchChannel(int n) override {
        switches.push_back(n);
        if (applyChannelSwitch(n))
            stopRecording();
    }
    bool startRecording() override {
        if (recordingNow || refuse)
            return false;
        recordingNow = true;
        starts.push_back(clock_.multimediaTime());
        return true;
    }
    void stopRecording() override {
        if (recordingNow)
            stops.push_back(clock_.multimediaTime());
        recordingNow = false;
    }
    bool recording() override { return recordingNow; }
    bool recordingEndedAtLimit() override { return recordingNow && writerEndedAtLimit; }
    PictureWriteResult takeSnapshot() override {
        photos.push_back(clock_.multimediaTime());
        if (writeFiles)
            return writePictureFile(&picture, kPictureBmp, std::nullopt, clock_);
        PictureWriteResult taken;
        taken.ok = true;
        return taken;
    }
    void showMessage(const std::string& text, const std::string& caption, uint32_t type) override {
        messages.push_back({text, caption, type});
    }
    void postMessage(const MessageBoxRequest& box) override { posted.push_back(box); }
    void reset() {
        switches.clear();
        starts.clear();
        stops.clear();
        photos.clear();
        messages.clear();
        posted.clear();
        recordingNow = refuse = writerEndedAtLimit = writeFiles = false;
    }

    std::vector<int> switches;
    std::vector<uint32_t> starts, stops, photos;  // multimedia ms
    std::vector<MessageBoxRequest> messages;      // shown, waiting for the user
    std::vector<MessageBoxRequest> posted;        // shown without waiting
    bool recordingNow = false;
    bool refuse = false;
    bool writerEndedAtLimit = false;
    bool writeFiles = false;

  private:
    Clock& clock_;
    StoredPicture picture{8, 8};
};

class ScheduleTest : public ::testing::Test {
  protected:
    void SetUp() override {
        test::resetSettings(pictures.path());
        resetTimerState();
        gState.liveViewOn = 1;
        gState.livePaused = 0;
        gState.currentChannel = 0;
        gState.planTasksOn = 1;
        gConfig.alarmRecord = 0;
        gConfig.alarmCapture = 0;
    }

    // Starts the three loops at calendar second `when`.
    void startAt(int64_t when) {
        clock.setCalendar(when);
        supervisor.begin();
        capture.begin();
        record.begin();
        sinceSupervisor = sinceRecord = 0;
    }

    // Runs the loops for `ms` of manual time in 5 ms steps, at their own periods. While
    // `alarmUntil` lies ahead, the alarm poll sees motion every 200 ms.
    void run(int64_t ms) {
        for (int64_t t = 0; t < ms; t += 5) {
            clock.advanceMs(5);
            sinceSupervisor += 5;
            sinceRecord += 5;
            sinceCapture += 5;
            if (sinceSupervisor >= ScheduleSupervisor::kPeriodMs) {
                sinceSupervisor = 0;
                const bool alarm = clock.calendarSeconds() < alarmUntil;
                gState.motionAlarmActive = alarm ? 1 : 0;
                if (alarm)
                    gTimer.lastMotionTime = clock.multimediaTime();
                supervisor.tick();
            }
            if (sinceCapture >= CaptureTimer::kPeriodMs) {
                sinceCapture = 0;
                capture.tick();
            }
            if (sinceRecord >= RecordTimer::kPeriodMs) {
                sinceRecord = 0;
                record.tick();
            }
        }
    }
    void runUntil(int64_t calendarSecond) {
        run((calendarSecond - clock.calendarSeconds()) * 1000);
    }
    uint32_t msAt(int64_t calendarSecond) {
        return clock.multimediaTime() +
               static_cast<uint32_t>((calendarSecond - clock.calendarSeconds()) * 1000);
    }

    TempFolder pictures;
    ManualClock clock;
    FakeActions actions{clock};
    std::vector<TaskRecord> tasks;
    ScheduleSupervisor supervisor{clock, [this] { return tasks; }};
    CaptureTimer capture{actions, clock};
    RecordTimer record{actions, clock};
    int64_t alarmUntil = 0;
    int64_t sinceSupervisor = 0, sinceRecord = 0, sinceCapture = 0;
};

// Monday 7 December 2026.
const int64_t kMonday10 = at(2026, 12, 7, 10, 0);

TEST_F(ScheduleTest, OnlyTasksDueTodayThatHaveNotEndedStart) {
    TaskRecord otherDate = makeTask(kRecord, kOnce, 10, 5, 0, 60, 4);
    otherDate.startTime.day = 8;
    TaskRecord today = makeTask(kRecord, kOnce, 10, 5, 0, 60, 4);
    today.startTime.day = 7;
    TaskRecord otherWeekday = makeTask(kCapture, kWeekly, 10, 5, 0, 60, 4, 1);
    otherWeekday.weekday = 2;
    TaskRecord monday = makeTask(kCapture, kWeekly, 10, 5, 0, 60, 4, 1);
    monday.weekday = 1;
    TaskRecord ended = makeTask(kRecord, kDaily, 9, 0, 0, 3600, 4);     // 09:00-10:00
    TaskRecord running = makeTask(kRecord, kDaily, 9, 30, 0, 3600, 4);  // 09:30-10:30
    TaskRecord unknown = makeTask(3, kDaily, 10, 5, 0, 60, 4);
    TaskRecord noChannel = makeTask(kRecord, kDaily, 10, 5, 0, 60, 5);
    DayLists lists =
        buildDayLists({otherDate, today, otherWeekday, monday, ended, running, unknown, noChannel},
                      kMonday10, toLocalSystemTime(kMonday10));
    ASSERT_EQ(lists.record.size(), 2u);
    EXPECT_EQ(lists.record[0].start, at(2026, 12, 7, 10, 5));
    EXPECT_EQ(lists.record[0].end, at(2026, 12, 7, 10, 6));
    EXPECT_EQ(lists.record[1].start, at(2026, 12, 7, 9, 30));
    ASSERT_EQ(lists.capture.size(), 1u);
    EXPECT_EQ(lists.capture[0].fps, 1);

    // Monthly on the 31st: never in November (30 days), on 31 December.
    TaskRecord monthly = makeTask(kRecord, kMonthly, 0, 0, 0, 86399, 4);
    monthly.monthDay = 31;
    for (int day = 1; day <= 30; ++day) {
        const int64_t morning = at(2026, 11, day, 0, 0);
        EXPECT_TRUE(buildDayLists({monthly}, morning, toLocalSystemTime(morning)).record.empty());
    }
    const int64_t newYearsEve = at(2026, 12, 31, 0, 0);
    EXPECT_EQ(buildDayLists({monthly}, newYearsEve, toLocalSystemTime(newYearsEve)).record.size(),
              1u);

    // Through the rest of the day, the tasks that are not due never start.
    tasks = {otherDate, otherWeekday, ended};
    startAt(kMonday10);
    for (int i = 0; i < 14 * 360 - 1; ++i) {
        clock.advanceMs(10000);
        supervisor.tick();
        ASSERT_EQ(gTimer.recordTaskChannel, -1);
        ASSERT_EQ(gTimer.captureTaskChannel, -1);
    }
}

TEST_F(ScheduleTest, ATaskDueBeforeStartUpRunsForWhatIsLeftOfIt) {
    // 30 minutes from 10:00, the program starts at 10:10: 20 minutes of recording, on whatever
    // channel is live, without switching.
    tasks = {makeTask(kRecord, kDaily, 10, 0, 0, 1800, 4)};
    gState.currentChannel = 2;
    startAt(at(2026, 12, 7, 10, 10));
    run(300);
    EXPECT_NEAR(gTimer.recordTaskLeftMs, 20 * 60 * 1000, 400);
    EXPECT_EQ(actions.starts.size(), 1u);
    EXPECT_EQ(gTimer.taskRecording, 1);

    // A pause (which stops the recording) holds the time; the first tick after it counts the
    // pause at once, and the task records again.
    gState.livePaused = 1;
    actions.stopRecording();
    run(5000);
    const int32_t heldAt = gTimer.recordTaskLeftMs;
    EXPECT_NEAR(heldAt, 20 * 60 * 1000 - 300, 400);
    EXPECT_FALSE(actions.recordingNow);
    gState.livePaused = 0;
    run(300);
    EXPECT_NEAR(gTimer.recordTaskLeftMs, heldAt - 5300, 400);
    EXPECT_TRUE(actions.recordingNow);
    EXPECT_EQ(actions.starts.size(), 2u);

    runUntil(at(2026, 12, 7, 10, 29, 59));
    EXPECT_TRUE(actions.recordingNow);
    run(1500);
    EXPECT_FALSE(actions.recordingNow);
    ASSERT_EQ(actions.stops.size(), 2u);
    EXPECT_EQ(gTimer.recordTaskChannel, -1);
    EXPECT_EQ(gTimer.taskRecording, 0);
    EXPECT_TRUE(actions.switches.empty());
}

TEST_F(ScheduleTest, AlarmWorkBlocksTasksOnOtherChannelsUntilItRunsOut) {
    gConfig.alarmRecord = 1;
    gConfig.alarmRecordSeconds = 5;
    gConfig.alarmCapture = 1;
    gConfig.alarmCaptureSeconds = 5;
    gConfig.alarmCaptureFps = 1;
    // An alarm on the live channel 0 from 10:00:00 to 10:00:20; a record task on channel 1 due
    // at 10:00:05.
    tasks = {makeTask(kRecord, kDaily, 10, 0, 5, 120, 1)};
    alarmUntil = kMonday10 + 20;
    startAt(kMonday10);
    run(1000);
    ASSERT_EQ(actions.starts.size(), 1u);
    EXPECT_EQ(gTimer.alarmRecording, 1);
    EXPECT_EQ(gTimer.alarmChannel, 0);

    // While the alarm lasts its times stay topped up and the task neither starts nor switches.
    for (int i = 0; i < 19; ++i) {
        run(1000);
        EXPECT_GE(gTimer.alarmRecordLeftMs, 4500);
        EXPECT_GE(gTimer.alarmCaptureLeftMs, 4500);
        EXPECT_EQ(gTimer.recordTaskChannel, -1);
    }
    // Then it runs out 5 s after the last poll that saw it.
    runUntil(kMonday10 + 24);
    EXPECT_TRUE(actions.switches.empty());
    EXPECT_EQ(actions.stops.size(), 0u);
    runUntil(kMonday10 + 26);
    ASSERT_GE(actions.stops.size(), 1u);
    EXPECT_NEAR(static_cast<double>(actions.stops[0]), msAt(kMonday10 + 25), 400.0);
    // Alarm photos came once a second while the alarm work lasted.
    EXPECT_NEAR(static_cast<double>(actions.photos.size()), 25.0, 1.5);

    // Now the task starts, moves the receiver to its channel and records there.
    run(1000);
    EXPECT_EQ(actions.switches, std::vector<int>{1});
    EXPECT_EQ(gTimer.recordTaskChannel, 1);
    EXPECT_TRUE(actions.recordingNow);
    EXPECT_EQ(gTimer.taskRecording, 1);
    EXPECT_EQ(gTimer.alarmRecording, 0);

    // A running task bound elsewhere does not switch while alarm photos are due either.
    gState.currentChannel = 0;
    gTimer.alarmCaptureLeftMs = 3000;
    gTimer.lastMotionTime = clock.multimediaTime();
    run(1000);
    EXPECT_EQ(actions.switches, std::vector<int>{1});
    run(3000);
    EXPECT_EQ(actions.switches, (std::vector<int>{1, 1}));
}

TEST_F(ScheduleTest, AManualRecordingHitByAnAlarmStopsWhenTheAlarmTimeRunsOut) {
    gConfig.alarmRecord = 1;
    gConfig.alarmRecordSeconds = 3;
    startAt(kMonday10);
    actions.recordingNow = true;  // ENG_RECORD_START
    run(10000);
    EXPECT_TRUE(actions.recordingNow) << "nothing stops a manual recording by itself";

    alarmUntil = clock.calendarSeconds() + 2;
    run(4500);
    EXPECT_TRUE(actions.recordingNow);
    EXPECT_EQ(gTimer.alarmRecording, 1);
    EXPECT_TRUE(actions.starts.empty()) << "it was already recording";
    run(1500);
    EXPECT_FALSE(actions.recordingNow);
    EXPECT_EQ(gTimer.alarmRecording, 0);

    // An alarm recording whose alarm is switched off (the poll forgets the last motion) ends at
    // the next tick, with alarm time still left.
    alarmUntil = clock.calendarSeconds() + 1;
    run(1000);
    ASSERT_EQ(gTimer.alarmRecording, 1);
    ASSERT_TRUE(actions.recordingNow);
    gTimer.lastMotionTime = 0;
    record.tick();
    EXPECT_FALSE(actions.recordingNow);
    EXPECT_EQ(gTimer.alarmRecording, 0);
    EXPECT_EQ(gTimer.alarmRecordLeftMs, 0);
}

TEST_F(ScheduleTest, AlarmWorkCarriesOnAcrossTheTickWrap) {
    // The multimedia time wraps 3 s after the start, while the alarm lasts (5 s) and while its
    // recording (3 s more) and its photos (twice a second) go on. (No poll lands on 0 itself,
    // the last time that stands for "never seen".)
    clock.advanceMs(int64_t{1} << 32);
    clock.advanceMs(-1000 - 3050);
    ASSERT_EQ(clock.multimediaTime(), 0xFFFFFFFFu - 3049u);
    gConfig.alarmRecord = 1;
    gConfig.alarmRecordSeconds = 3;
    gConfig.alarmCapture = 1;
    gConfig.alarmCaptureSeconds = 3;
    gConfig.alarmCaptureFps = 2;
    startAt(kMonday10);
    alarmUntil = kMonday10 + 5;
    runUntil(kMonday10 + 10);
    ASSERT_EQ(actions.starts.size(), 1u);
    ASSERT_EQ(actions.stops.size(), 1u);
    // It ends 3 s after the last poll that saw the alarm (4.8 s), within one record period.
    const int32_t stoppedAfterMs = static_cast<int32_t>(actions.stops[0] - msAt(kMonday10));
    EXPECT_GE(stoppedAfterMs, 4800 + 3000 - 300);
    EXPECT_LE(stoppedAfterMs, 4800 + 3000);
    EXPECT_NEAR(static_cast<double>(actions.photos.size()), 16.0, 1.0);
    for (std::size_t i = 1; i < actions.photos.size(); ++i) {
        ASSERT_GE(actions.photos[i] - actions.photos[i - 1], 500u - CaptureTimer::kPeriodMs) << i;
        ASSERT_LT(actions.photos[i] - actions.photos[i - 1], 500u + CaptureTimer::kPeriodMs) << i;
    }
}

TEST_F(ScheduleTest, OfARecordAndACaptureTaskOnOtherChannelsTheLaterOneRuns) {
    struct Case {
        int recordSecond, captureSecond;
        std::vector<int> switches;
        bool recordRuns, captureRuns;
    };
    for (const Case& c : {Case{0, 10, {1, 2}, false, true}, Case{10, 0, {2, 1}, true, false},
                          Case{0, 0, {}, true, true}}) {
        SCOPED_TRACE(c.recordSecond * 100 + c.captureSecond);
        SetUp();
        actions.reset();
        tasks = {makeTask(kRecord, kDaily, 10, 0, c.recordSecond, 60, 1),
                 makeTask(kCapture, kDaily, 10, 0, c.captureSecond, 60, 2, 1)};
        startAt(kMonday10 - 1);
        run(15000);
        EXPECT_EQ(actions.switches, c.switches);
        EXPECT_EQ(gTimer.recordTaskChannel, c.recordRuns ? 1 : -1);
        EXPECT_EQ(gTimer.captureTaskChannel, c.captureRuns ? 2 : -1);
        // The one that runs works on its channel; with equal times neither has it.
        EXPECT_EQ(actions.recordingNow, c.recordRuns && c.switches.size() == 2);
        const std::size_t photos = actions.photos.size();
        run(3000);
        EXPECT_EQ(actions.photos.size() > photos, c.captureRuns && c.switches.size() == 2);
        // At their end both are over, whether or not they had their channel.
        runUntil(kMonday10 + 71);
        EXPECT_EQ(gTimer.recordTaskChannel, -1);
        EXPECT_EQ(gTimer.captureTaskChannel, -1);
        EXPECT_FALSE(actions.recordingNow);
    }
}

TEST_F(ScheduleTest, PhotosComeNoFasterThanTheirRateAndRateZeroCountsAsOne) {
    actions.writeFiles = true;
    gConfig.pictureFormat = kPictureBmp;
    gState.currentChannel = 3;
    // A minute of photos at rate 0 on whatever channel is live, then a minute at rate 3.
    tasks = {makeTask(kCapture, kDaily, 10, 0, 0, 60, 4, 0),
             makeTask(kCapture, kDaily, 10, 2, 0, 60, 4, 3)};
    startAt(kMonday10 - 1);
    runUntil(kMonday10 + 61);
    EXPECT_NEAR(static_cast<double>(pictures.files().size()), 60.0, 1.0);
    EXPECT_TRUE(actions.switches.empty());

    actions.photos.clear();
    runUntil(kMonday10 + 181);
    const std::size_t files = pictures.files().size();
    EXPECT_LE(files, 60u + 1 + 180u);
    EXPECT_GE(files, 60u + 170u);
    // Paced from when each was due: never closer than the interval less one tick.
    for (std::size_t i = 1; i < actions.photos.size(); ++i)
        ASSERT_GE(actions.photos[i] - actions.photos[i - 1], 333u - CaptureTimer::kPeriodMs) << i;

    // Alarm photos and a task together go at the larger rate.
    gConfig.alarmCapture = 1;
    gConfig.alarmCaptureSeconds = 10;
    gConfig.alarmCaptureFps = 5;
    tasks.push_back(makeTask(kCapture, kDaily, 10, 4, 0, 60, 4, 2));
    gTimer.forceDayListRebuild = 1;
    runUntil(kMonday10 + 239);
    actions.photos.clear();
    alarmUntil = kMonday10 + 250;
    runUntil(kMonday10 + 250);
    EXPECT_NEAR(static_cast<double>(actions.photos.size()), 52.0, 3.0);
}

// The capture timer alone, ticked every 15 ms give or take a few, as on a loaded machine.
class PhotoPaceTest : public ScheduleTest {
  protected:
    static constexpr int kShortestTick = 10;
    static constexpr int kLongestTick = 24;

    void tickFor(int64_t ms) {
        std::uniform_int_distribution<int> step(kShortestTick, kLongestTick);
        for (int64_t t = 0; t < ms;) {
            const int s = step(random);
            clock.advanceMs(s);
            t += s;
            if (alarmSeen)
                gTimer.lastMotionTime = clock.multimediaTime();
            capture.tick();
        }
    }
    // Each photo is taken at the first tick at or after it was due, the first one at `first`:
    // none is late by a tick or more, so the lateness never adds up.
    void expectEachOnItsDue(uint32_t first, uint32_t interval, std::size_t from = 0) {
        for (std::size_t i = from; i < actions.photos.size(); ++i) {
            const uint32_t due = first + interval * static_cast<uint32_t>(i - from);
            ASSERT_GE(actions.photos[i] - due, 0u) << i;
            ASSERT_LT(actions.photos[i] - due, static_cast<uint32_t>(kLongestTick)) << i;
        }
    }

    std::mt19937 random{20261207};
    bool alarmSeen = false;
};

TEST_F(PhotoPaceTest, ATaskTakesItsPhotosAtItsRateHoweverTheTicksFall) {
    storeRelaxed(gTimer.captureTaskChannel, 4);
    storeRelaxed(gTimer.captureTaskFps, 1);
    storeRelaxed(gTimer.captureTaskLeftMs, 600000);
    storeRelaxed(gTimer.captureTaskStart, kMonday10);
    clock.setCalendar(kMonday10);
    capture.begin();
    const uint32_t t0 = clock.multimediaTime();

    // 591 s at 1 photo a second: 591 photos, never two closer than a second less one tick.
    tickFor(591000);
    const auto taken = std::count_if(actions.photos.begin(), actions.photos.end(),
                                     [&](uint32_t t) { return t - t0 <= 591000; });
    EXPECT_NEAR(static_cast<double>(taken), 591.0, 1.0);
    expectEachOnItsDue(t0 + 1000, 1000);
    for (std::size_t i = 1; i < actions.photos.size(); ++i)
        ASSERT_GT(actions.photos[i] - actions.photos[i - 1], 1000u - kLongestTick) << i;

    // The timer stalls for more than five intervals: one photo when it ticks again, then one a
    // second from there, not a burst that catches up.
    const std::size_t beforeStall = actions.photos.size();
    clock.advanceMs(5300);
    const uint32_t stallEnd = clock.multimediaTime();
    tickFor(3500);
    ASSERT_EQ(actions.photos.size(), beforeStall + 4);
    const uint32_t resumed = actions.photos[beforeStall];
    EXPECT_LE(resumed - stallEnd, static_cast<uint32_t>(kLongestTick));
    expectEachOnItsDue(resumed, 1000, beforeStall);
}

TEST_F(PhotoPaceTest, AlarmPhotosComeAtTheAlarmRate) {
    gConfig.alarmCapture = 1;
    gConfig.alarmCaptureSeconds = 10;
    gConfig.alarmCaptureFps = 5;
    clock.setCalendar(kMonday10);
    capture.begin();
    tickFor(7000);  // nothing due for a while
    ASSERT_TRUE(actions.photos.empty());

    // An alarm on the live channel for a minute: 5 photos a second from its first tick on.
    storeRelaxed(gTimer.alarmChannel, 0);
    storeRelaxed(gTimer.alarmCaptureLeftMs, 120000);
    alarmSeen = true;
    const uint32_t start = clock.multimediaTime();
    tickFor(60000);
    ASSERT_FALSE(actions.photos.empty());
    EXPECT_LE(actions.photos[0] - start, static_cast<uint32_t>(kLongestTick));
    const auto taken = std::count_if(actions.photos.begin(), actions.photos.end(),
                                     [&](uint32_t t) { return t - start < 60000; });
    EXPECT_NEAR(static_cast<double>(taken), 300.0, 1.0);
    expectEachOnItsDue(actions.photos[0], 200);
}

TEST_F(ScheduleTest, PhotosThatCannotBeWrittenAreToldOncePerTaskAndPerAlarm) {
    actions.writeFiles = true;
    const std::string missing = pictures.path() + "/missing";
    std::snprintf(gConfig.pictureFolder, sizeof gConfig.pictureFolder, "%s", missing.c_str());
    const std::string text =
        "Cannot save the snapshot to " + missing + ": No such file or directory";
    // Two capture tasks of a minute each, twice a second and once a second.
    tasks = {makeTask(kCapture, kDaily, 10, 0, 0, 60, 4, 2),
             makeTask(kCapture, kDaily, 10, 2, 0, 60, 4, 1)};
    startAt(kMonday10 - 1);
    runUntil(kMonday10 + 61);
    EXPECT_GE(actions.photos.size(), 100u) << "the photos go on after the first failure";
    ASSERT_EQ(actions.posted.size(), 1u);
    EXPECT_EQ(actions.posted[0].text, text);
    EXPECT_EQ(actions.posted[0].caption, "Vidora");
    EXPECT_EQ(actions.posted[0].type, MB_OK | MB_ICONWARNING);
    EXPECT_TRUE(actions.messages.empty()) << "the capture timer never waits for the user";

    runUntil(kMonday10 + 181);
    EXPECT_EQ(actions.posted.size(), 2u) << "the second task is told again";

    // An alarm series of photos is told once, however long the alarm lasts; the next series
    // once more.
    gConfig.alarmCapture = 1;
    gConfig.alarmCaptureSeconds = 3;
    gConfig.alarmCaptureFps = 2;
    alarmUntil = clock.calendarSeconds() + 20;
    run(25000);
    EXPECT_EQ(gTimer.alarmCaptureLeftMs, 0);
    EXPECT_EQ(actions.posted.size(), 3u);
    alarmUntil = clock.calendarSeconds() + 2;
    run(10000);
    ASSERT_EQ(actions.posted.size(), 4u);
    EXPECT_EQ(actions.posted[3].text, text);

    // Once the folder is there the photos land in it, and nothing is told.
    std::filesystem::create_directory(missing);
    alarmUntil = clock.calendarSeconds() + 2;
    run(5000);
    EXPECT_GE(std::distance(std::filesystem::directory_iterator(missing),
                            std::filesystem::directory_iterator()),
              8);
    EXPECT_EQ(actions.posted.size(), 4u);
    EXPECT_TRUE(pictures.files().empty()) << "nothing lands beside the folder";
}

TEST_F(ScheduleTest, ARecordFolderOverItsLimitIsKeptByPolicy) {
    TempFolder records;
    std::snprintf(gConfig.recordFolder, sizeof gConfig.recordFolder, "%s", records.path().c_str());
    gConfig.recordLimitMB = 1;
    gConfig.alarmRecord = 1;
    gConfig.alarmRecordSeconds = 60;
    startAt(kMonday10);

    // "Stop capturing and notify user.": a running recording stops, and the user is told once.
    gConfig.recordLimitPolicy = 2;
    actions.recordingNow = true;
    gState.recordFolderMB = 1;
    alarmUntil = kMonday10 + 3600;
    run(3000);
    EXPECT_FALSE(actions.recordingNow);
    ASSERT_EQ(actions.messages.size(), 1u);
    EXPECT_EQ(actions.messages[0].text, "Total size of record files have exceeded the limit(1MB).");
    EXPECT_EQ(actions.messages[0].caption, "Vidora");
    EXPECT_EQ(actions.messages[0].type, MB_OK | MB_ICONINFORMATION);
    EXPECT_TRUE(actions.starts.empty()) << "no new recording while over the limit";
    EXPECT_EQ(gTimer.alarmRecording, 0);
    // The next recording that runs into the limit is told about once more.
    actions.recordingNow = true;
    run(3000);
    EXPECT_EQ(actions.messages.size(), 2u);
    // Once the folder is below the limit the alarm records again.
    gState.recordFolderMB = 0;
    run(400);
    EXPECT_EQ(actions.starts.size(), 1u);
    EXPECT_TRUE(actions.recordingNow);

    // "Delete oldest files.": while the writer records it keeps the folder itself; the timer
    // leaves the files (one of them is being written) and the recording alone.
    gConfig.recordLimitPolicy = 1;
    for (const char* name : {"20261201080000.avi", "20261202080000.avi", "20261203080000.avi"})
        std::ofstream(records.file(name)) << std::string(700000, 'x');
    gState.recordFolderMB = 2;
    run(1000);
    EXPECT_EQ(records.files().size(), 3u);
    EXPECT_TRUE(actions.recordingNow);
    // A writer that could not make room ends the recording, without a message.
    actions.writerEndedAtLimit = true;
    run(400);
    EXPECT_FALSE(actions.recordingNow);
    EXPECT_EQ(actions.messages.size(), 2u);
    // With nothing recording the timer deletes the oldest files itself and the alarm records.
    actions.writerEndedAtLimit = false;
    run(1000);
    EXPECT_EQ(records.files(), std::vector<std::string>{"20261203080000.avi"});
    EXPECT_EQ(gState.recordFolderMB, 0u);
    EXPECT_TRUE(actions.recordingNow);
    EXPECT_EQ(actions.messages.size(), 2u);
}

TEST_F(ScheduleTest, APictureFolderOverItsLimitEndsScheduledPhotosQuietly) {
    tasks = {makeTask(kCapture, kDaily, 10, 0, 0, 600, 4, 2)};
    gConfig.pictureLimitMB = 1;
    startAt(kMonday10);
    run(2000);
    ASSERT_EQ(gTimer.captureTaskChannel, 4);

    // "Delete oldest files.": the oldest pictures go and the task goes on.
    gConfig.pictureLimitPolicy = 1;
    std::ofstream(pictures.file("20261201-080000-00.jpg")) << std::string(700000, 'x');
    std::ofstream(pictures.file("20261201-080001-00.jpg")) << std::string(700000, 'x');
    gState.pictureFolderMB = 1;
    run(1000);
    EXPECT_EQ(pictures.files(), std::vector<std::string>{"20261201-080001-00.jpg"});
    EXPECT_EQ(gTimer.captureTaskChannel, 4);

    // "Stop capturing and notify user.": the task ends without a word; alarm photos go on.
    gConfig.pictureLimitPolicy = 2;
    gState.pictureFolderMB = 1;
    run(100);
    EXPECT_EQ(gTimer.captureTaskChannel, -1);
    const std::size_t photos = actions.photos.size();
    run(2000);
    EXPECT_EQ(actions.photos.size(), photos);
    EXPECT_TRUE(actions.messages.empty());
    gConfig.alarmCapture = 1;
    alarmUntil = clock.calendarSeconds() + 2;
    run(2000);
    EXPECT_GT(actions.photos.size(), photos);

    // Alarm photos with no alarm seen in their window (the alarm was switched off) end at once.
    alarmUntil = 0;
    run(1000);
    gTimer.alarmCaptureLeftMs = 5000;
    gTimer.lastMotionTime = 0;
    capture.tick();
    EXPECT_EQ(gTimer.alarmCaptureLeftMs, 0);
}

TEST_F(ScheduleTest, MidnightSettingsChangesAndThePlanSwitchRebuildTheDay) {
    // A daily task at 00:00:30: at 23:59 today's has passed; tomorrow's starts after midnight.
    tasks = {makeTask(kRecord, kDaily, 0, 0, 30, 60, 4)};
    const int64_t midnight = at(2026, 12, 8, 0, 0);
    startAt(midnight - 60);
    EXPECT_TRUE(supervisor.dayLists().record.empty());
    runUntil(midnight + 31);
    EXPECT_TRUE(actions.recordingNow);
    runUntil(midnight + 91);
    EXPECT_FALSE(actions.recordingNow);
    ASSERT_EQ(actions.starts.size(), 1u);
    EXPECT_NEAR(static_cast<double>(actions.starts[0]), msAt(midnight + 30), 300.0);

    // A task added meanwhile waits for the settings change.
    tasks.push_back(makeTask(kRecord, kDaily, 0, 2, 0, 600, 4));
    tasks.push_back(makeTask(kCapture, kDaily, 0, 2, 0, 600, 4, 1));
    gState.planTasksOn = 1;
    runUntil(midnight + 125);
    EXPECT_FALSE(actions.recordingNow);
    gTimer.forceDayListRebuild = 1;
    run(400);
    EXPECT_TRUE(actions.recordingNow);
    EXPECT_EQ(gTimer.captureTaskChannel, 4);

    // The plan switch off ends the running tasks; on again, they resume for what is left.
    gState.planTasksOn = 0;
    run(700);
    EXPECT_FALSE(actions.recordingNow);
    EXPECT_EQ(gTimer.recordTaskChannel, -1);
    EXPECT_EQ(gTimer.captureTaskChannel, -1);
    run(10000);
    EXPECT_EQ(actions.starts.size(), 2u);
    gState.planTasksOn = 1;
    run(700);
    EXPECT_TRUE(actions.recordingNow);
    EXPECT_EQ(gTimer.captureTaskChannel, 4);
    EXPECT_NEAR(gTimer.recordTaskLeftMs, (midnight + 720 - clock.calendarSeconds()) * 1000, 1500);
}

TEST_F(ScheduleTest, ATaskThatRunsPastMidnightIsNotLostToTheNewDay) {
    // Started at 00:10 on Tuesday: Monday's occurrences that run past midnight are due for what
    // is left of them, by the same rules of frequency as today's.
    const int64_t tuesday0010 = at(2026, 12, 8, 0, 10);
    TaskRecord monday = makeTask(kCapture, kWeekly, 23, 50, 0, 1800, 4, 1);
    monday.weekday = 1;
    TaskRecord sunday = monday;
    sunday.weekday = 0;
    TaskRecord once = makeTask(kRecord, kOnce, 23, 40, 0, 3600, 4);  // Monday 7 December
    TaskRecord onceBefore = once;
    onceBefore.startTime.day = 6;
    TaskRecord endedAtMidnight = makeTask(kRecord, kOnce, 23, 0, 0, 3600, 4);
    DayLists lists = buildDayLists({monday, sunday, once, onceBefore, endedAtMidnight}, tuesday0010,
                                   toLocalSystemTime(tuesday0010));
    ASSERT_EQ(lists.record.size(), 1u);
    EXPECT_EQ(lists.record[0].start, at(2026, 12, 7, 23, 40));
    EXPECT_EQ(lists.record[0].end, at(2026, 12, 8, 0, 40));
    ASSERT_EQ(lists.capture.size(), 1u);
    EXPECT_EQ(lists.capture[0].start, at(2026, 12, 7, 23, 50));

    // A daily hour from 23:30 runs its last 20 minutes.
    tasks = {makeTask(kRecord, kDaily, 23, 30, 0, 3600, 4)};
    startAt(tuesday0010);
    run(300);
    EXPECT_TRUE(actions.recordingNow);
    EXPECT_NEAR(gTimer.recordTaskLeftMs, 20 * 60 * 1000, 400);
    runUntil(at(2026, 12, 8, 0, 31));
    EXPECT_FALSE(actions.recordingNow);
    ASSERT_EQ(actions.stops.size(), 1u);
    EXPECT_NEAR(static_cast<double>(actions.stops[0]), msAt(at(2026, 12, 8, 0, 30)), 400.0);

    // A task still held back at midnight by alarm work on the live channel starts once that
    // work has run out, on its own channel.
    SetUp();
    actions.reset();
    gConfig.alarmRecord = 1;
    gConfig.alarmRecordSeconds = 5;
    tasks = {makeTask(kRecord, kDaily, 23, 59, 0, 600, 1)};
    startAt(at(2026, 12, 7, 23, 58));
    alarmUntil = at(2026, 12, 8, 0, 1);
    runUntil(at(2026, 12, 8, 0, 1));
    EXPECT_TRUE(actions.switches.empty());
    EXPECT_EQ(gTimer.recordTaskChannel, -1);
    runUntil(at(2026, 12, 8, 0, 1, 8));
    EXPECT_EQ(actions.switches, std::vector<int>{1});
    EXPECT_EQ(gTimer.recordTaskChannel, 1);
    EXPECT_EQ(gTimer.taskRecording, 1);
    EXPECT_TRUE(actions.recordingNow);
    runUntil(at(2026, 12, 8, 0, 9, 1));
    EXPECT_FALSE(actions.recordingNow);
    EXPECT_EQ(gTimer.recordTaskChannel, -1);

    // One that was running and was ended before midnight (the user switched away from its
    // channel) stays ended in the new day.
    SetUp();
    actions.reset();
    tasks = {makeTask(kRecord, kDaily, 23, 50, 0, 1200, 2)};
    startAt(at(2026, 12, 7, 23, 49));
    runUntil(at(2026, 12, 7, 23, 55));
    ASSERT_EQ(actions.switches, std::vector<int>{2});
    ASSERT_TRUE(actions.recordingNow);
    actions.switchChannel(0);
    runUntil(at(2026, 12, 8, 0, 5));
    EXPECT_EQ(actions.switches, (std::vector<int>{2, 0}));
    EXPECT_EQ(gTimer.recordTaskChannel, -1);
    EXPECT_FALSE(actions.recordingNow);
}

}  // namespace
}  // namespace vidora
