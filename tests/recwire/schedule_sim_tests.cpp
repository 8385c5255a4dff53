// Alarm, scheduled and limit-bound recording with the real schedule threads, the real engine and
// the real recording side on the simulated receiver (real time, generous limits).
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "app/preference_keys.h"
#include "app/task_list.h"
#include "engine/schedule/schedule_runner.h"
#include "programs/modules.h"
#include "tests/recwire/sim_fixture.h"

namespace vidora {
namespace {

using namespace test;

double videoSeconds(const std::string& avi) {
    auto values = probe(avi);
    const std::string rate = values["stream.0.r_frame_rate"];
    const auto slash = rate.find('/');
    if (slash == std::string::npos)
        return -1;
    const double fps = std::atof(rate.c_str()) / std::atof(rate.c_str() + slash + 1);
    return number(values, "stream.0.nb_frames") / fps;
}

// Most pictures taken within any one calendar second (names are "YYYYMMDD-hhmmss-NN.jpg"). Photos
// are paced from when each was due, so a second may hold one more than the rate: the photo due
// just before it and taken a tick later, and the two after it.
int mostPerSecond(const std::vector<std::string>& pictures) {
    std::map<std::string, int> perSecond;
    int most = 0;
    for (const auto& path : pictures) {
        const std::string name = std::filesystem::path(path).filename().string();
        most = std::max(most, ++perSecond[name.substr(0, 15)]);
    }
    return most;
}

// A daily task starting `secondsFromNow` seconds from now (local time of day).
TaskRecord* addTask(int operation, int secondsFromNow, int durationSeconds, int channel,
                    int fps = 0) {
    const SystemTime start = toLocalSystemTime(processClock().calendarSeconds() + secondsFromNow);
    TaskRecord* task = taskList().allocate();
    task->operation = operation;
    task->frequency = 1;
    task->startTime = start;
    task->durationSeconds = durationSeconds;
    task->channel = channel;
    task->captureFps = fps;
    taskList().append(task);
    return task;
}

class ScheduleSimTest : public SimEngineFixture {
  protected:
    void SetUp() override {
        SimEngineFixture::SetUp();
        taskList().freeAll();
        gConfig.pictureFormat = 1;
        gConfig.pictureSize = 3;
        // Alarm recordings here begin at the alarm; the seconds before it have tests of their own.
        preferences().set(kPreAlarmSeconds, 0);
    }
    void TearDown() override {
        SimEngineFixture::TearDown();
        preferences().set(kPreAlarmSeconds, kPreAlarmSeconds.defaultValue);
        taskList().freeAll();
    }
    void registerWithSchedule() {
        registerEngine([this] {
            auto runner = std::make_unique<ScheduleRunner>();
            runner_ = runner.get();
            return runner;
        });
    }
    bool waitRecording(bool on, int limitMs) {
        return pumpUntil([on] { return loadRelaxed(gState.recordingOn) == (on ? 1 : 0); }, limitMs);
    }

    ScheduleRunner* runner_ = nullptr;
};

TEST_F(ScheduleSimTest, AnAlarmOnTheLiveChannelRecordsForItsLengthAndTakesPhotos) {
    gState.motionAlarmOn = 1;
    gConfig.motionAlarmChannel[0] = 1;
    gConfig.alarmRecord = 1;
    gConfig.alarmRecordSeconds = 2;
    gConfig.alarmCapture = 1;
    gConfig.alarmCaptureSeconds = 2;
    gConfig.alarmCaptureFps = 2;
    registerWithSchedule();
    startApp();
    ASSERT_TRUE(picturesFlow());
    ASSERT_TRUE(runner_->supervisorAlive());

    // Motion for 2 s: a recording of the alarm plus its 2 s, photos twice a second.
    sim->scheduleAlarmIn(0, sim::kMotionAlarm, 300, 2000);
    ASSERT_TRUE(waitRecording(true, 10000));
    ASSERT_TRUE(waitRecording(false, 20000));
    pumpFor(1000);  // alarm photos end with the recording
    EXPECT_EQ(loadRelaxed(gTimer.alarmRecording), 0);

    auto avi = filesEndingWith(folder, ".avi");
    ASSERT_EQ(avi.size(), 1u);
    EXPECT_NEAR(videoSeconds(avi[0]), 4.0, 0.8);
    EXPECT_GT(decodeVideoFrames(avi[0]), 0);
    auto photos = filesEndingWith(folder, ".jpg");
    EXPECT_GE(photos.size(), 6u);
    EXPECT_LE(photos.size(), 10u);
    EXPECT_LE(mostPerSecond(photos), 2 + 1);
    EXPECT_TRUE(shownMessages().empty());

    // Live stop ends the supervisor and both timers.
    app->module(kEngineModuleNumber)->stop();
    EXPECT_FALSE(runner_->supervisorAlive());
    EXPECT_FALSE(runner_->timersAlive());
}

TEST_F(ScheduleSimTest, ScheduledTasksRecordAndTakePhotosOnTheirChannels) {
    gState.planTasksOn = 1;
    addTask(1, 2, 3, 4);     // record 3 s on whatever channel is live
    addTask(2, 7, 3, 2, 2);  // then photos on CH3, twice a second
    registerWithSchedule();
    startApp();
    ASSERT_TRUE(picturesFlow());

    ASSERT_TRUE(waitRecording(true, 10000));
    ASSERT_TRUE(waitRecording(false, 10000));
    EXPECT_EQ(sim->channel(), 0);
    ASSERT_TRUE(pumpUntil([&] { return sim->channel() == 2; }, 10000));
    ASSERT_TRUE(pumpUntil([] { return loadRelaxed(gTimer.captureTaskChannel) == -1; }, 10000));
    EXPECT_EQ(loadRelaxed(gState.currentChannel), 2);

    auto avi = filesEndingWith(folder, ".avi");
    ASSERT_EQ(avi.size(), 1u);
    EXPECT_NEAR(videoSeconds(avi[0]), 3.0, 0.8);
    auto photos = filesEndingWith(folder, ".jpg");
    EXPECT_GE(photos.size(), 3u);
    EXPECT_LE(photos.size(), 7u);
    EXPECT_LE(mostPerSecond(photos), 2 + 1);
    EXPECT_TRUE(shownMessages().empty());
}

TEST_F(ScheduleSimTest, AlarmPhotosThatCannotBeWrittenAreToldOnceAndGoOn) {
    TempFolder pictures;
    const std::string missing = pictures.path() + "/SNAPSHOT";
    std::snprintf(gConfig.pictureFolder, sizeof gConfig.pictureFolder, "%s", missing.c_str());
    gState.motionAlarmOn = 1;
    gConfig.motionAlarmChannel[0] = 1;
    gConfig.alarmCapture = 1;
    gConfig.alarmCaptureSeconds = 2;
    gConfig.alarmCaptureFps = 4;
    registerWithSchedule();
    startApp();
    ASSERT_TRUE(picturesFlow());

    // Motion for 2 s: photos for 4 s, four a second, into a folder that is not there. The user
    // is told once, and nobody answers the box meanwhile (this thread shows boxes only when it
    // pumps): the capture timer goes on all the same and counts the photos down to their end.
    const auto waitWithoutAnswering = [](const std::function<bool()>& pred) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(15);
        while (!pred() && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        return pred();
    };
    sim->scheduleAlarmIn(0, sim::kMotionAlarm, 300, 2000);
    ASSERT_TRUE(waitWithoutAnswering([] { return loadRelaxed(gTimer.alarmCaptureLeftMs) > 0; }));
    EXPECT_TRUE(waitWithoutAnswering([] { return loadRelaxed(gTimer.alarmCaptureLeftMs) <= 0; }));
    EXPECT_TRUE(shownMessages().empty());
    pumpFor(500);
    auto shown = shownMessages();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text,
              "Cannot save the snapshot to " + missing + ": No such file or directory");
    EXPECT_EQ(shown[0].caption, "Vidora");
    EXPECT_EQ(shown[0].type, MB_OK | MB_ICONWARNING);
    EXPECT_TRUE(pictures.files().empty());
}

TEST_F(ScheduleSimTest, AtTheRecordFolderLimitTheRecordingStopsAndTheUserIsToldOnce) {
    // Just below 1 MB: the writer reaches the limit within a moment of recording.
    std::ofstream(folder.file("20200101000000.avi")) << std::string(1000000, 'x');
    gConfig.recordLimitMB = 1;
    gConfig.recordLimitPolicy = 2;
    registerWithSchedule();
    startApp();
    ASSERT_TRUE(picturesFlow());

    ASSERT_EQ(sendMessage(ENG_RECORD_START), 0);
    // The record timer stops the recording and then waits for the user; stopping live view
    // meanwhile shows the box instead of waiting for ever.
    ASSERT_TRUE(waitFor([] { return loadRelaxed(gState.recordingOn) == 0; }, 20000));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    app->module(kEngineModuleNumber)->stop();
    EXPECT_FALSE(runner_->supervisorAlive());
    auto shown = shownMessages();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text, "Total size of record files have exceeded the limit(1MB).");
    EXPECT_EQ(shown[0].caption, "Vidora");
    EXPECT_EQ(shown[0].type, MB_OK | MB_ICONINFORMATION);
    // What was recorded up to the limit is a whole file.
    auto avi = filesEndingWith(folder, ".avi");
    ASSERT_EQ(avi.size(), 2u);
    EXPECT_GT(decodeVideoFrames(avi[1]), 0);
}

TEST_F(ScheduleSimTest, WithDeleteOldestFilesTheOldestRecordingsGoAndRecordingGoesOn) {
    std::ofstream(folder.file("20200101000000.avi")) << std::string(600000, 'x');
    std::ofstream(folder.file("20200102000000.avi")) << std::string(600000, 'x');
    gConfig.recordLimitMB = 1;
    gConfig.recordLimitPolicy = 1;
    gState.recordFolderMB = 1;
    registerWithSchedule();
    startApp();
    ASSERT_TRUE(picturesFlow());

    // The oldest goes at the start, the other when the recording fills the folder again.
    ASSERT_EQ(sendMessage(ENG_RECORD_START), 0);
    EXPECT_FALSE(std::filesystem::exists(folder.file("20200101000000.avi")));
    ASSERT_TRUE(pumpUntil(
        [&] { return !std::filesystem::exists(folder.file("20200102000000.avi")); }, 20000));
    pumpFor(1000);
    EXPECT_EQ(loadRelaxed(gState.recordingOn), 1);
    sendMessage(ENG_RECORD_STOP);
    auto avi = filesEndingWith(folder, ".avi");
    ASSERT_GE(avi.size(), 2u);
    for (const auto& file : avi)
        EXPECT_GT(decodeVideoFrames(file), 0) << file;
    EXPECT_TRUE(shownMessages().empty());
}

// The demo's own modules: its receiver's scripted motion on CH1 (10 s after start, for 6 s) and
// a scheduled task both record.
TEST_F(ScheduleSimTest, TheDemoRecordsScheduledTasksAndItsScriptedAlarm) {
    gState.planTasksOn = 1;
    gState.motionAlarmOn = 1;
    gConfig.motionAlarmChannel[0] = 1;
    gConfig.alarmRecord = 1;
    gConfig.alarmRecordSeconds = 2;
    gConfig.alarmSound = 0;
    registerProgramModules(ReceiverKind::Simulated);
    addTask(1, 2, 3, 4);
    startApp();

    ASSERT_TRUE(waitRecording(true, 15000));
    ASSERT_TRUE(waitRecording(false, 15000));
    ASSERT_TRUE(waitRecording(true, 20000));
    ASSERT_TRUE(waitRecording(false, 20000));
    auto avi = filesEndingWith(folder, ".avi");
    ASSERT_EQ(avi.size(), 2u);
    EXPECT_NEAR(videoSeconds(avi[0]), 3.0, 0.8);
    EXPECT_NEAR(videoSeconds(avi[1]), 8.0, 1.2);
}

}  // namespace
}  // namespace vidora
