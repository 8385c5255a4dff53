// The catalog the recordings window reads: the day's recordings and snapshots in time order,
// with what the log knows of them and what the folders hold besides; incremental indexing; files
// removed by the folder limits, by the window or by anybody else.
#include <gtest/gtest.h>

#include "app/event_sink.h"
#include "app/storage.h"
#include "events/event_catalog.h"
#include "events/event_log.h"
#include "platform/clock.h"
#include "tests/events/events_support.h"

namespace vidora::events {
namespace {

using test::sqlite;
using test::writeAvi;

constexpr EventTime kDay = 1796688000000;  // 2026-12-08 00:00:00 UTC (tests run in UTC)
constexpr EventTime kHour = 3600000;
constexpr CatalogDay kDec8{2026, 12, 8};

class CatalogTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::filesystem::create_directory(folder.path() / "RECORD");
        std::filesystem::create_directory(folder.path() / "SNAPSHOT");
        ASSERT_EQ(log.open(storeFolders()).failure, "");
    }
    void TearDown() override { installEventSink(nullptr); }
    StoreFolders storeFolders() const {
        return {(folder.path() / "RECORD").string(), (folder.path() / "SNAPSHOT").string()};
    }
    std::string record(const std::string& name) const {
        return (folder.path() / "RECORD" / name).string();
    }
    std::string picture(const std::string& name) const {
        return (folder.path() / "SNAPSHOT" / name).string();
    }
    std::filesystem::path db() const { return folder.path() / "events.db"; }

    test::EventsFolder folder;
    EventLog log{folder.path() / "events.db"};
    EventCatalog catalog{folder.path() / "events.db", [this] { return storeFolders(); }};
};

TEST_F(CatalogTest, TheDayIsListedInTimeOrderWithWhatTheLogAndTheFilesSay) {
    // Logged: a CH2 motion alarm, its recording (09:00:00, 3 s) and a photo; a manual CH1
    // recording at 08:00.
    writeAvi(record("20261208090000.avi"), 30, 10);
    writeAvi(record("20261208080000.avi"), 20, 10);
    std::ofstream(picture("20261208-090001-00.jpg")) << "jpg";
    log.alarmStarted(kDay + 9 * kHour - 200, EventChannel::Ch2, AlarmKind::Motion);
    log.recordingStarted(kDay + 9 * kHour, record("20261208090000.avi"), EventChannel::Ch2,
                         CaptureReason::Alarm);
    log.recordingEnded(kDay + 9 * kHour + 3000, record("20261208090000.avi"), RecordingEnd::Closed);
    log.snapshotTaken(kDay + 9 * kHour + 1000, picture("20261208-090001-00.jpg"), EventChannel::Ch2,
                      CaptureReason::Alarm);
    log.recordingStarted(kDay + 8 * kHour, record("20261208080000.avi"), EventChannel::Ch1,
                         CaptureReason::Manual);
    log.recordingEnded(kDay + 8 * kHour + 2000, record("20261208080000.avi"), RecordingEnd::Closed);
    log.tick();
    // Not logged: copied in (one of them cut off by a crash), and one of the day before.
    writeAvi(record("20261208070000.avi"), 50, 25);
    writeAvi(record("20261208100000_01.avi"), 40, 10, false, 10);
    writeAvi(record("20261207235959.avi"), 10, 10);
    std::ofstream(picture("20261208-063000-05.bmp")) << "bmp!";

    const std::vector<CatalogItem> items = catalog.items(kDec8, {});
    ASSERT_EQ(items.size(), 6u);
    std::vector<std::string> names;
    for (const auto& item : items)
        names.push_back(std::filesystem::path(item.path).filename().string());
    EXPECT_EQ(names, (std::vector<std::string>{"20261208-063000-05.bmp", "20261208070000.avi",
                                               "20261208080000.avi", "20261208090000.avi",
                                               "20261208-090001-00.jpg", "20261208100000_01.avi"}));
    const CatalogItem& copied = items[1];
    EXPECT_EQ(copied.kind, CatalogItemKind::Recording);
    EXPECT_EQ(copied.start, kDay + 7 * kHour);
    EXPECT_EQ(copied.end, kDay + 7 * kHour + 2000);
    EXPECT_EQ(copied.channel, EventChannel::None);
    EXPECT_EQ(copied.bytes, std::filesystem::file_size(record("20261208070000.avi")));
    EXPECT_FALSE(copied.truncated);
    const CatalogItem& alarm = items[3];
    EXPECT_EQ(alarm.reason, CaptureReason::Alarm);
    EXPECT_EQ(alarm.alarm, AlarmKind::Motion);
    EXPECT_EQ(alarm.channel, EventChannel::Ch2);
    EXPECT_EQ(alarm.end - alarm.start, 3000);
    const CatalogItem& photo = items[4];
    EXPECT_EQ(photo.kind, CatalogItemKind::Snapshot);
    EXPECT_EQ(photo.start, photo.end);
    EXPECT_EQ(photo.alarm, AlarmKind::Motion);
    EXPECT_EQ(photo.bytes, 3u);
    EXPECT_EQ(items[2].reason, CaptureReason::Manual);
    EXPECT_FALSE(items[2].alarm);
    const CatalogItem& cut = items[5];
    EXPECT_TRUE(cut.truncated);
    EXPECT_EQ(cut.end - cut.start, 3900);  // 39 whole pictures of 40

    // Filters.
    const auto alarmOnly = catalog.items(kDec8, {.alarmOnly = true});
    ASSERT_EQ(alarmOnly.size(), 2u);
    EXPECT_EQ(alarmOnly[0].path, record("20261208090000.avi"));
    const auto ch1 = catalog.items(kDec8, {.channel = EventChannel::Ch1});
    ASSERT_EQ(ch1.size(), 1u);
    EXPECT_EQ(ch1[0].path, record("20261208080000.avi"));
    EXPECT_EQ(catalog.daysWithItems(), (std::vector<CatalogDay>{{2026, 12, 7}, {2026, 12, 8}}));
    const auto alarms = catalog.alarms(kDec8);
    ASSERT_EQ(alarms.size(), 1u);
    EXPECT_EQ(alarms[0].channel, EventChannel::Ch2);
    EXPECT_EQ(alarms[0].kind, AlarmKind::Motion);
    EXPECT_TRUE(catalog.items({2026, 12, 9}, {}).empty());
}

TEST_F(CatalogTest, IndexingReadsOnlyNewOrChangedFilesAndMarksVanishedOnesGone) {
    for (int i = 0; i < 5; ++i)
        writeAvi(record("2026120801000" + std::to_string(i) + ".avi"), 10, 10);
    std::ofstream(picture("20261208-010000-00.jpg")) << "a";
    IndexStats stats;
    ASSERT_EQ(catalog.refresh(&stats), "");
    EXPECT_EQ(stats.listed, 6u);
    EXPECT_EQ(stats.read, 5u);
    EXPECT_EQ(stats.added, 6u);

    ASSERT_EQ(catalog.refresh(&stats), "");
    EXPECT_EQ(stats.listed, 6u);
    EXPECT_EQ(stats.read, 0u);
    EXPECT_EQ(stats.added, 0u);

    // Somebody else removes one file and rewrites another (longer now).
    std::filesystem::remove(record("20261208010001.avi"));
    writeAvi(record("20261208010002.avi"), 30, 10);
    ASSERT_EQ(catalog.refresh(&stats), "");
    EXPECT_EQ(stats.gone, 1u);
    EXPECT_EQ(stats.updated, 1u);
    EXPECT_EQ(stats.read, 1u);
    EXPECT_EQ(sqlite(db(),
                     "SELECT COUNT(*) FROM recordings WHERE gone_ms IS NOT NULL AND path "
                     "LIKE '%010001.avi'"),
              "1");
    const auto items = catalog.items(kDec8, {});
    ASSERT_EQ(items.size(), 5u);
    EXPECT_EQ(items[2].path, record("20261208010002.avi"));
    EXPECT_EQ(items[2].end - items[2].start, 3000);

    // A file back under a gone row's name is a new row.
    writeAvi(record("20261208010001.avi"), 10, 10);
    ASSERT_EQ(catalog.refresh(&stats), "");
    EXPECT_EQ(stats.added, 1u);
    EXPECT_EQ(sqlite(db(), "SELECT COUNT(*) FROM recordings WHERE path LIKE '%010001.avi'"), "2");
}

TEST_F(CatalogTest, TheFolderLimitAndTheWindowDeleteThroughOneWayAndMarkTheRowsGone) {
    installEventSink(&log);
    // About 1.1 MB each.
    writeAvi(record("20261208010000.avi"), 10000, 25);
    writeAvi(record("20261208020000.avi"), 10000, 25);
    writeAvi(record("20261208030000.avi"), 10000, 25);
    ASSERT_EQ(catalog.items(kDec8, {}).size(), 3u);
    const uint64_t each = std::filesystem::file_size(record("20261208010000.avi"));

    // The folder limit: down to what holds two files, the oldest goes.
    const std::string folderText = (folder.path() / "RECORD").string();
    const uint32_t limitMB = static_cast<uint32_t>((2 * each + 1048575) / 1048576);
    ASSERT_LT(3 * each, uint64_t{limitMB} * 1048576 + each);  // deleting one is enough
    const DeleteResult deleted = deleteOldestFiles(folderText.c_str(), limitMB);
    ASSERT_TRUE(deleted.listed);
    ASSERT_FALSE(std::filesystem::exists(record("20261208010000.avi")));
    log.tick();
    EXPECT_EQ(sqlite(db(), "SELECT path FROM recordings WHERE gone_ms IS NOT NULL"),
              record("20261208010000.avi"));

    // The window's delete.
    auto items = catalog.items(kDec8, {});
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(catalog.remove(items[0]), "");
    EXPECT_FALSE(std::filesystem::exists(items[0].path));
    EXPECT_EQ(sqlite(db(), "SELECT COUNT(*) FROM recordings WHERE gone_ms IS NOT NULL"), "2");
    items = catalog.items(kDec8, {});
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].path, record("20261208030000.avi"));
    log.tick();  // the sink's report of the same removal changes nothing more
    EXPECT_EQ(sqlite(db(), "SELECT COUNT(*) FROM recordings WHERE gone_ms IS NOT NULL"), "2");

    // A file that cannot be removed is a failure with its reason, and its row stays.
    std::filesystem::remove(items[0].path);
    EXPECT_EQ(catalog.remove(items[0]), "No such file or directory");
}

TEST_F(CatalogTest, AfterAFolderChangedTheLogMarksFilesRemovedByOthersGoneAtMostSoOften) {
    ManualClock clock;
    EventLog watched(db(), {.folderCheckMs = 30000}, clock);
    ASSERT_EQ(watched.open(storeFolders()).failure, "");
    watched.setFolders([this] { return storeFolders(); });
    writeAvi(record("20261208010000.avi"), 10, 10);
    std::ofstream(picture("20261208-010000-00.jpg")) << "a";
    ASSERT_EQ(catalog.refresh(), "");

    // Without a change nothing is looked at.
    std::filesystem::remove(record("20261208010000.avi"));
    watched.tick();
    EXPECT_EQ(sqlite(db(), "SELECT COUNT(*) FROM recordings WHERE gone_ms IS NULL"), "1");
    watched.foldersChanged(kDay);
    watched.tick();
    EXPECT_EQ(sqlite(db(), "SELECT COUNT(*) FROM recordings WHERE gone_ms IS NULL"), "0");

    // The next change within the interval waits for it.
    std::filesystem::remove(picture("20261208-010000-00.jpg"));
    watched.foldersChanged(kDay);
    clock.advanceMs(29000);
    watched.tick();
    EXPECT_EQ(sqlite(db(), "SELECT COUNT(*) FROM snapshots WHERE gone_ms IS NULL"), "1");
    clock.advanceMs(1000);
    watched.tick();
    EXPECT_EQ(sqlite(db(), "SELECT COUNT(*) FROM snapshots WHERE gone_ms IS NULL"), "0");
}

TEST(FileNames, TimesComeFromTheRecordersNamesOnly) {
    EXPECT_EQ(timeFromRecordingName("20261208000000.avi"), kDay);
    EXPECT_EQ(timeFromRecordingName("20261208000001_07.avi"), kDay + 1000);
    EXPECT_EQ(timeFromSnapshotName("20261208-000002-13.jpg"), kDay + 2000);
    EXPECT_FALSE(timeFromRecordingName("holiday.avi"));
    EXPECT_FALSE(timeFromRecordingName("20261308000000.avi"));  // month 13
    EXPECT_FALSE(timeFromSnapshotName("20261208000002.jpg"));
    EXPECT_FALSE(readAviLength("/nonexistent/file.avi"));
}

}  // namespace
}  // namespace vidora::events
