// What the event log holds after the viewer ran on the simulated receiver: an alarm with its
// recording and photos, a manual recording and snapshot, a scheduled task, an unplug and the
// folder limit's deletions, each read back from events.db with sqlite3.
#include <gtest/gtest.h>

#include "app/event_sink.h"
#include "app/task_list.h"
#include "engine/schedule/schedule_runner.h"
#include "events/event_catalog.h"
#include "events/event_log.h"
#include "tests/events/events_support.h"
#include "tests/recwire/sim_fixture.h"

namespace vidora {
namespace {

using namespace test;

// A daily task starting `secondsFromNow` seconds from now (local time of day).
void addTask(int operation, int secondsFromNow, int durationSeconds, int channel) {
    const SystemTime start = toLocalSystemTime(processClock().calendarSeconds() + secondsFromNow);
    TaskRecord* task = taskList().allocate();
    task->operation = operation;
    task->frequency = 1;
    task->startTime = start;
    task->durationSeconds = durationSeconds;
    task->channel = channel;
    taskList().append(task);
}

class EventsSimTest : public SimEngineFixture {
  protected:
    void SetUp() override {
        SimEngineFixture::SetUp();
        taskList().freeAll();
        gConfig.pictureFormat = 1;
        gConfig.pictureSize = 3;
        ASSERT_EQ(log.open(folders()).failure, "");
        installEventSink(&log);
        log.start();
    }
    void TearDown() override {
        SimEngineFixture::TearDown();
        installEventSink(nullptr);
        log.stop();
        taskList().freeAll();
    }
    events::StoreFolders folders() const { return {folder.path(), folder.path()}; }
    std::filesystem::path db() const { return std::filesystem::path(folder.path()) / "events.db"; }

    void registerWithSchedule() {
        registerEngine([] { return std::make_unique<ScheduleRunner>(); });
    }
    bool waitRecording(bool on, int limitMs) {
        return pumpUntil([on] { return loadRelaxed(gState.recordingOn) == (on ? 1 : 0); }, limitMs);
    }
    // Live view stops (ending what it still held) and the log writes out what it has.
    void stopAndWriteOut() {
        app->module(kEngineModuleNumber)->stop();
        log.stop();
    }

    events::EventLog log{std::filesystem::path(folder.path()) / "events.db",
                         {.queueCapacity = 4096, .periodMs = 50}};
};

TEST_F(EventsSimTest, AnAlarmLeavesItsAlarmItsRecordingAndItsPhotos) {
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

    sim->scheduleAlarmIn(0, sim::kMotionAlarm, 300, 2000);
    ASSERT_TRUE(waitRecording(true, 10000));
    ASSERT_TRUE(waitRecording(false, 20000));
    pumpFor(1000);
    stopAndWriteOut();

    // Motion on CH1 for about 2 s.
    EXPECT_EQ(sqlite(db(),
                     "SELECT channel, kind, end_ms - start_ms BETWEEN 1200 AND 3000 FROM "
                     "alarms"),
              "1|motion|1");
    auto avi = filesEndingWith(folder, ".avi");
    ASSERT_EQ(avi.size(), 1u);
    // The alarm's recording: the alarm and its 2 s; it starts within a poll or two of the alarm.
    EXPECT_EQ(sqlite(db(),
                     "SELECT path, channel, reason, ending, end_ms - start_ms BETWEEN 3000 "
                     "AND 5000, bytes > 0 FROM recordings"),
              avi[0] + "|1|alarm|closed|1|1");
    EXPECT_EQ(sqlite(db(),
                     "SELECT r.start_ms - a.start_ms BETWEEN 0 AND 1000 FROM recordings r, "
                     "alarms a"),
              "1");
    const auto photos = filesEndingWith(folder, ".jpg");
    ASSERT_GE(photos.size(), 3u);
    EXPECT_EQ(sqlite(db(),
                     "SELECT COUNT(*), MIN(channel), MAX(channel), MIN(reason), "
                     "MAX(reason) FROM snapshots"),
              std::to_string(photos.size()) + "|1|1|alarm|alarm");
    EXPECT_EQ(sqlite(db(), "SELECT path FROM snapshots ORDER BY taken_ms LIMIT 1"), photos[0]);
    EXPECT_EQ(sqlite(db(), "SELECT what FROM receiver"), "connected");
    EXPECT_EQ(sqlite(db(), "SELECT COUNT(*) FROM messages"), "0");
}

TEST_F(EventsSimTest, AManualRecordingAndSnapshotAreManualOnTheLiveChannel) {
    registerEngine();
    startApp();
    ASSERT_TRUE(picturesFlow());
    sendMessage(ENG_CHANNEL_SELECT, 2);
    ASSERT_TRUE(pumpUntil([] { return loadRelaxed(gState.currentChannel) == 2; }, 10000));
    ASSERT_EQ(sendMessage(ENG_RECORD_START), 0);
    pumpFor(1500);
    sendMessage(ENG_SNAPSHOT);
    sendMessage(ENG_RECORD_STOP);
    stopAndWriteOut();

    EXPECT_EQ(sqlite(db(), "SELECT channel, reason, ending, end_ms > start_ms FROM recordings"),
              "3|manual|closed|1");
    EXPECT_EQ(sqlite(db(), "SELECT channel, reason FROM snapshots"), "3|manual");
    EXPECT_EQ(sqlite(db(), "SELECT COUNT(*) FROM alarms"), "0");
}

TEST_F(EventsSimTest, AScheduledTaskRecordsForTheTask) {
    gState.planTasksOn = 1;
    addTask(1, 2, 3, 4);  // record 3 s on whatever channel is live
    registerWithSchedule();
    startApp();
    ASSERT_TRUE(picturesFlow());
    ASSERT_TRUE(waitRecording(true, 10000));
    ASSERT_TRUE(waitRecording(false, 10000));
    stopAndWriteOut();

    EXPECT_EQ(sqlite(db(),
                     "SELECT channel, reason, ending, end_ms - start_ms BETWEEN 2000 AND "
                     "4000 FROM recordings"),
              "1|task|closed|1");
}

TEST_F(EventsSimTest, AnUnplugEndsTheRecordingAsUnpluggedAndIsLoggedWithItsMessage) {
    registerEngine();
    startApp();
    ASSERT_TRUE(picturesFlow());
    ASSERT_EQ(sendMessage(ENG_RECORD_START), 0);
    pumpFor(1000);

    const int notifiesBefore = window.graphNotifies.load();
    sim->unplug();
    ASSERT_TRUE(pumpUntil(
        [&] {
            if (window.graphNotifies.load() > notifiesBefore)
                sendMessage(ENG_GRAPH_EVENT);
            return !engine().graphBuilt();
        },
        10000));
    stopAndWriteOut();

    EXPECT_EQ(sqlite(db(), "SELECT what FROM receiver ORDER BY at_ms, id"), "connected\nunplugged");
    EXPECT_EQ(sqlite(db(), "SELECT reason, ending FROM recordings"), "manual|unplugged");
    EXPECT_EQ(sqlite(db(), "SELECT caption, text FROM messages"),
              "|USB Receiver was unpluged from your computer,please reconnect it.");
}

TEST_F(EventsSimTest, TheFolderLimitsDeletionsMarkTheRowsOfTheDeletedFilesGone) {
    writeAvi(folder.file("20200101000000.avi"), 6000, 25);
    writeAvi(folder.file("20200102000000.avi"), 6000, 25);
    events::EventCatalog catalog(db(), [this] { return folders(); });
    ASSERT_EQ(catalog.refresh(), "");
    gConfig.recordLimitMB = 1;
    gConfig.recordLimitPolicy = 1;
    gState.recordFolderMB = 1;
    registerWithSchedule();
    startApp();
    ASSERT_TRUE(picturesFlow());

    // The oldest goes at the start, the other when the recording fills the folder again.
    ASSERT_EQ(sendMessage(ENG_RECORD_START), 0);
    ASSERT_TRUE(pumpUntil(
        [&] { return !std::filesystem::exists(folder.file("20200102000000.avi")); }, 20000));
    sendMessage(ENG_RECORD_STOP);
    stopAndWriteOut();

    EXPECT_EQ(sqlite(db(),
                     "SELECT start_ms, gone_ms IS NOT NULL FROM recordings WHERE indexed "
                     "= 1 ORDER BY start_ms"),
              "1577836800000|1\n1577923200000|1");
    // The recording's own files that are still there are not gone.
    std::size_t present = 0;
    for (const auto& file : filesEndingWith(folder, ".avi")) {
        EXPECT_EQ(
            sqlite(db(), "SELECT gone_ms IS NULL FROM recordings WHERE path = '" + file + "'"),
            "1");
        ++present;
    }
    EXPECT_GE(present, 1u);
}

}  // namespace
}  // namespace vidora
