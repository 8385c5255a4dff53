// The event log as a user of sqlite3 sees it: the rows each event leaves, the bounded queue, the
// schema version and its migration, a damaged file set aside and rebuilt, a recording a crash
// left open.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "events/event_log.h"
#include "events/schema.h"
#include "tests/events/events_support.h"

namespace vidora::events {
namespace {

using test::EventsFolder;
using test::sqlite;
using test::writeAvi;

constexpr EventTime kDay = 1796688000000;     // 2026-12-08 00:00:00 UTC (tests run in UTC)
constexpr EventTime kNoon = kDay + 43200000;  // 12:00:00

class EventLogTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::filesystem::create_directory(folder.path() / "RECORD");
        std::filesystem::create_directory(folder.path() / "SNAPSHOT");
    }
    std::filesystem::path db() const { return folder.path() / "events.db"; }
    StoreFolders folders() const {
        return {(folder.path() / "RECORD").string(), (folder.path() / "SNAPSHOT").string()};
    }
    std::string record(const std::string& name) const {
        return (folder.path() / "RECORD" / name).string();
    }
    std::string picture(const std::string& name) const {
        return (folder.path() / "SNAPSHOT" / name).string();
    }

    EventsFolder folder;
};

TEST_F(EventLogTest, EachEventLeavesItsRow) {
    writeAvi(record("20261208120000.avi"), 50, 25);  // 2 s
    std::ofstream(picture("20261208-120001-00.jpg")) << "jpeg";
    EventLog log(db());
    ASSERT_EQ(log.open(folders()).failure, "");

    log.receiver(kNoon - 1000, ReceiverEvent::Connected);
    log.alarmStarted(kNoon, EventChannel::Ch2, AlarmKind::Motion);
    log.alarmStarted(kNoon + 10, EventChannel::Ch2, AlarmKind::Sound);
    log.recordingStarted(kNoon + 200, record("20261208120000.avi"), EventChannel::Ch2,
                         CaptureReason::Alarm);
    log.snapshotTaken(kNoon + 1000, picture("20261208-120001-00.jpg"), EventChannel::Ch2,
                      CaptureReason::Alarm);
    log.alarmEnded(kNoon + 3000, EventChannel::Ch2, AlarmKind::Motion);
    log.recordingEnded(kNoon + 5000, record("20261208120000.avi"), RecordingEnd::CutBySize);
    log.messageShown(kNoon + 6000, "Vidora", "Cannot write the recording to /x: Disk full");
    log.receiver(kNoon + 7000, ReceiverEvent::Unplugged);
    log.receiver(kNoon + 8000, ReceiverEvent::NotFound);
    EXPECT_EQ(log.waiting(), 10u);
    EXPECT_EQ(log.tick(), 10u);
    EXPECT_EQ(log.waiting(), 0u);
    EXPECT_EQ(log.tick(), 0u);

    EXPECT_EQ(sqlite(db(), "SELECT channel, kind, start_ms - " + std::to_string(kNoon) +
                               ", IFNULL(end_ms - " + std::to_string(kNoon) +
                               ", 'open') FROM alarms ORDER BY id"),
              "2|motion|0|3000\n2|sound|10|open");
    // The end is the last picture's time, from the file: 50 pictures at 25 per second.
    const std::string file = record("20261208120000.avi");
    EXPECT_EQ(
        sqlite(db(),
               "SELECT path, channel, reason, end_ms - start_ms, ending, bytes, "
               "gone_ms IS NULL, indexed FROM recordings"),
        file + "|2|alarm|2000|cut|" + std::to_string(std::filesystem::file_size(file)) + "|1|0");
    EXPECT_EQ(
        sqlite(db(), "SELECT path, channel, reason, taken_ms, bytes FROM snapshots"),
        picture("20261208-120001-00.jpg") + "|2|alarm|" + std::to_string(kNoon + 1000) + "|4");
    EXPECT_EQ(sqlite(db(), "SELECT what FROM receiver ORDER BY at_ms"),
              "connected\nunplugged\nnot found");
    EXPECT_EQ(sqlite(db(), "SELECT caption, text FROM messages"),
              "Vidora|Cannot write the recording to /x: Disk full");

    // A file removed: its row stays, marked gone at that time.
    log.fileGone(kNoon + 9000, record("20261208120000.avi"));
    log.fileGone(kNoon + 9500, picture("20261208-120001-00.jpg"));
    log.tick();
    EXPECT_EQ(sqlite(db(),
                     "SELECT gone_ms FROM recordings UNION ALL SELECT gone_ms FROM "
                     "snapshots"),
              std::to_string(kNoon + 9000) + "\n" + std::to_string(kNoon + 9500));
    EXPECT_EQ(sqlite(db(), "PRAGMA journal_mode"), "wal");
    EXPECT_EQ(sqlite(db(), "PRAGMA user_version"), std::to_string(kSchemaVersion));
}

TEST_F(EventLogTest, RelativePathsAreStoredAbsoluteAndARemovedRecordingIsGoneAtItsEnd) {
    EventLog log(db());
    ASSERT_EQ(log.open(folders()).failure, "");
    // A recording that ended without a picture: the writer discarded its file.
    log.recordingStarted(kNoon, "./nowhere/../RECORD/x.avi", EventChannel::Ch1,
                         CaptureReason::Manual);
    log.recordingEnded(kNoon + 100, "RECORD/x.avi", RecordingEnd::Closed);
    log.tick();
    const std::string expected = (std::filesystem::current_path() / "RECORD/x.avi").string();
    EXPECT_EQ(sqlite(db(),
                     "SELECT path, ending, end_ms - start_ms, gone_ms - start_ms FROM "
                     "recordings"),
              expected + "|closed|100|100");
}

TEST_F(EventLogTest, AFullQueueDropsTheOldestEventAndCountsTheDrop) {
    EventLog log(db(), {.queueCapacity = 3});
    ASSERT_EQ(log.open(folders()).failure, "");
    for (int i = 1; i <= 5; ++i)
        log.messageShown(kNoon + i, "Vidora", "message " + std::to_string(i));
    EXPECT_EQ(log.dropped(), 2u);
    EXPECT_EQ(log.waiting(), 3u);
    EXPECT_EQ(log.tick(), 3u);
    EXPECT_EQ(sqlite(db(), "SELECT text FROM messages ORDER BY at_ms"),
              "message 3\nmessage 4\nmessage 5");
    EXPECT_EQ(sqlite(db(), "SELECT value FROM counters WHERE name = 'dropped_events'"), "2");

    // Counted across ticks, written once each.
    log.messageShown(kNoon, "a", "6");
    log.messageShown(kNoon, "a", "7");
    log.messageShown(kNoon, "a", "8");
    log.messageShown(kNoon, "a", "9");
    log.tick();
    EXPECT_EQ(log.dropped(), 3u);
    EXPECT_EQ(sqlite(db(), "SELECT value FROM counters WHERE name = 'dropped_events'"), "3");
}

TEST_F(EventLogTest, TheWriterThreadWritesWhatManyThreadsReportAndEverythingAtStop) {
    EventLog log(db(), {.queueCapacity = 10000, .periodMs = 5});
    ASSERT_EQ(log.open(folders()).failure, "");
    log.start();
    std::vector<std::thread> producers;
    for (int t = 0; t < 4; ++t) {
        producers.emplace_back([&log, t] {
            for (int i = 0; i < 250; ++i)
                log.alarmStarted(kNoon + i, static_cast<EventChannel>(t + 1), AlarmKind::Sound);
        });
    }
    for (auto& producer : producers)
        producer.join();
    log.stop();
    EXPECT_EQ(log.dropped(), 0u);
    EXPECT_EQ(sqlite(db(), "SELECT channel, COUNT(*) FROM alarms GROUP BY channel"),
              "1|250\n2|250\n3|250\n4|250");
}

TEST_F(EventLogTest, AVersion1FileIsMigratedForwardKeepingItsRows) {
    {
        Database v1;
        ASSERT_EQ(v1.open(db()), "");
        ASSERT_EQ(createVersion1(v1), "");
        // Version 1 allowed two live rows for one path; the older becomes gone.
        ASSERT_EQ(v1.exec("INSERT INTO recordings(path, channel, reason, start_ms, end_ms, ending) "
                          "VALUES ('/r/a.avi', 3, 'task', 1, 2, 'closed'), "
                          "('/r/a.avi', 3, 'task', 5, 9, 'closed');"
                          "INSERT INTO alarms(channel, kind, start_ms) VALUES (3, 'sound', 4)"),
                  "");
    }
    EXPECT_EQ(sqlite(db(), "PRAGMA user_version"), "1");
    EventLog log(db());
    ASSERT_EQ(log.open(folders()).failure, "");
    EXPECT_EQ(sqlite(db(), "PRAGMA user_version"), "2");
    EXPECT_EQ(sqlite(db(), "SELECT start_ms, gone_ms, indexed FROM recordings ORDER BY id"),
              "1|1|0\n5||0");
    EXPECT_EQ(sqlite(db(), "SELECT channel, kind FROM alarms"), "3|sound");
    EXPECT_EQ(sqlite(db(), "SELECT value FROM counters"), "0");
    // Version 2's rule holds from now on: one live row per path.
    EXPECT_NE(sqlite(db(),
                     "INSERT INTO recordings(path, channel, reason, start_ms) VALUES "
                     "('/r/a.avi', 1, 'manual', 7)"),
              "");
}

TEST_F(EventLogTest, AFileOfANewerVersionIsLeftAlone) {
    {
        Database newer;
        ASSERT_EQ(newer.open(db()), "");
        ASSERT_EQ(newer.exec("CREATE TABLE future(x); PRAGMA user_version = 9"), "");
    }
    const std::string before = test::readAll(db());
    EventLog log(db());
    const EventLogOpened opened = log.open(folders());
    EXPECT_EQ(opened.failure, "the event log was written by a newer Vidora (version 9)");
    EXPECT_FALSE(opened.damagedCopy);
    EXPECT_FALSE(log.isOpen());
    log.messageShown(kNoon, "Vidora", "not written");
    EXPECT_EQ(log.tick(), 0u);
    EXPECT_TRUE(test::readAll(db()) == before);  // byte for byte
    EXPECT_EQ(sqlite(db(), "SELECT name FROM sqlite_master"), "future");
}

TEST_F(EventLogTest, ADamagedFileIsSetAsideAndTheLogRebuiltFromTheFolders) {
    const std::string garbage(8192, 'G');
    std::ofstream(db(), std::ios::binary) << garbage;
    std::ofstream(folder.path() / "events.db-wal", std::ios::binary) << "old journal";
    writeAvi(record("20261208093000.avi"), 40, 10);  // 4 s
    writeAvi(record("20261208094500_01.avi"), 30, 10, false, 50);
    std::ofstream(picture("20261208-093001-02.jpg")) << "jpeg";
    std::ofstream(picture("notes.txt")) << "not a picture";

    EventLog log(db());
    const EventLogOpened opened = log.open(folders());
    ASSERT_EQ(opened.failure, "");
    ASSERT_TRUE(opened.damagedCopy);
    const std::string copyName = opened.damagedCopy->filename().string();
    EXPECT_EQ(opened.damagedCopy->parent_path(), folder.path());
    ASSERT_EQ(copyName.size(), std::string("events.db.broken-YYYYMMDDhhmmss").size()) << copyName;
    EXPECT_EQ(copyName.substr(0, 17), "events.db.broken-");
    EXPECT_EQ(test::readAll(*opened.damagedCopy), garbage);
    // The old journal went with it: it is never applied to the new file.
    EXPECT_NE(test::readAll(folder.path() / "events.db-wal"), "old journal");
    EXPECT_EQ(damagedLogText(*opened.damagedCopy),
              "The event log was damaged and has been rebuilt from the record folders. The "
              "damaged copy is " +
                  opened.damagedCopy->string() + ".");

    // Times from the names (UTC here), lengths from the headers; the cut file holds 29 whole
    // pictures of its 30 (the last lost 50 of its bytes).
    const EventTime first = kDay + (9 * 3600 + 30 * 60) * 1000;
    const EventTime second = kDay + (9 * 3600 + 45 * 60) * 1000;
    EXPECT_EQ(sqlite(db(),
                     "SELECT start_ms, end_ms, ending, channel, reason, indexed FROM "
                     "recordings ORDER BY start_ms"),
              std::to_string(first) + "|" + std::to_string(first + 4000) + "|closed|0|unknown|1\n" +
                  std::to_string(second) + "|" + std::to_string(second + 2900) +
                  "|interrupted|0|unknown|1");
    EXPECT_EQ(sqlite(db(), "SELECT taken_ms, bytes FROM snapshots"),
              std::to_string(first + 1000) + "|4");
    EXPECT_EQ(sqlite(db(), "PRAGMA integrity_check"), "ok");
}

TEST_F(EventLogTest, ARecordingACrashLeftOpenIsInterruptedAtTheNextStart) {
    const std::string file = record("20261208120000.avi");
    {
        EventLog log(db());
        ASSERT_EQ(log.open(folders()).failure, "");
        log.recordingStarted(kNoon, file, EventChannel::Ch3, CaptureReason::Task);
        log.tick();
        // The program dies here: the file has no index, its last picture is half written.
    }
    writeAvi(file, 75, 25, false, 60);
    EXPECT_EQ(sqlite(db(), "SELECT IFNULL(ending, 'open') FROM recordings"), "open");

    EventLog log(db());
    ASSERT_EQ(log.open(folders()).failure, "");
    EXPECT_EQ(sqlite(db(),
                     "SELECT channel, reason, ending, end_ms - start_ms, bytes FROM "
                     "recordings"),
              "3|task|interrupted|2960|" + std::to_string(std::filesystem::file_size(file)));
}

TEST_F(EventLogTest, TheReadmeQueryFindsYesterdaysAlarmsOnCh2) {
    EventLog log(db());
    ASSERT_EQ(log.open(folders()).failure, "");
    const EventTime now = eventTimeNow();
    const EventTime yesterday = now - 86400000;
    log.alarmStarted(yesterday, EventChannel::Ch2, AlarmKind::Motion);
    log.alarmEnded(yesterday + 4000, EventChannel::Ch2, AlarmKind::Motion);
    log.alarmStarted(yesterday, EventChannel::Ch3, AlarmKind::Motion);
    log.alarmStarted(now, EventChannel::Ch2, AlarmKind::Sound);
    log.tick();
    const std::string query =
        "SELECT time(start_ms / 1000, 'unixepoch', 'localtime'), kind, (end_ms - start_ms) / 1000 "
        "FROM alarms WHERE channel = 2 AND date(start_ms / 1000, 'unixepoch', 'localtime') = "
        "date('now', 'localtime', '-1 day') ORDER BY start_ms";
    const std::time_t seconds = static_cast<std::time_t>(yesterday / 1000);
    std::tm t{};
    localtime_r(&seconds, &t);
    char expected[32];
    std::strftime(expected, sizeof expected, "%H:%M:%S|motion|4", &t);
    EXPECT_EQ(sqlite(db(), query), expected);
}

}  // namespace
}  // namespace vidora::events
