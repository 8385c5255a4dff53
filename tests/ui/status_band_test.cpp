// The status band's text for every state the viewer can be in, its layout at the window's
// smallest size, and the texts over the picture; all without a window.
#include <gtest/gtest.h>

#include <cstdlib>

#include "engine/schedule/day_lists.h"
#include "ui/live_presenter.h"
#include "ui/picture_feedback.h"
#include "ui/status_band.h"

namespace vidora {
namespace {

// A fixed-pitch measure: 7 pixels a character (UTF-8 continuation bytes do not count).
int fixedWidth(std::string_view text) {
    int n = 0;
    for (unsigned char c : text)
        if ((c & 0xC0) != 0x80)
            ++n;
    return n * 7;
}

std::vector<std::string> texts(const StatusBandState& s) {
    std::vector<std::string> out;
    for (const StatusSegment& segment : statusBandSegments(s))
        out.push_back(segment.text);
    return out;
}

StatusBandState liveOn(int channel) {
    StatusBandState s;
    s.link = ReceiverLink::Connected;
    s.live = true;
    s.channel = channel;
    return s;
}

TEST(StatusBandText, SaysHowTheReceiverStands) {
    StatusBandState s;
    EXPECT_EQ(texts(s).front(), "Looking for the receiver...");
    s.link = ReceiverLink::NotFound;
    EXPECT_EQ(texts(s).front(), "No receiver found");
    s.link = ReceiverLink::Unplugged;
    EXPECT_EQ(texts(s).front(), "Receiver unplugged");
    s.link = ReceiverLink::Reconnecting;
    EXPECT_EQ(texts(s).front(), "Reconnecting...");
    s = liveOn(2);
    EXPECT_EQ(texts(s).front(), "Live on CH3");
    EXPECT_EQ(statusBandSegments(s).front().tone, BandTone::Good);
    s.live = false;
    s.paused = true;
    EXPECT_EQ(texts(s).front(), "Paused on CH3");
}

TEST(StatusBandText, ARecordingShowsItsTimeFileAndSizeOrThatItIsNotWritten) {
    StatusBandState s = liveOn(0);
    s.recording = true;
    s.recordingSeconds = 3 * 3600 + 25 * 60 + 7;
    s.recordFile = "20261206120000.avi";
    s.recordFileBytes = 5 * 1048576 + 314573;  // 5.3 MB
    EXPECT_EQ(texts(s).at(1), "REC 03:25:07  20261206120000.avi  5.3 MB");
    EXPECT_EQ(statusBandSegments(s).at(1).tone, BandTone::Alarm);
    s.recordingStalled = true;
    EXPECT_EQ(texts(s).at(1), "REC 03:25:07  Recording is not being written");
    // Before the first file opens the time runs alone.
    s.recordingStalled = false;
    s.recordFile.clear();
    EXPECT_EQ(texts(s).at(1), "REC 03:25:07");
}

TEST(StatusBandText, SnapshotAlarmTaskAndFolderFollowInThatOrder) {
    StatusBandState s = liveOn(1);
    s.snapshotFile = "20261206_120000_01.jpg";
    s.lastAlarm = AlarmRecord{3, AlarmKind::Sound, SystemTime{2026, 12, 0, 6, 9, 5, 3, 0}};
    s.alarmsToday = 4;
    s.nextTask = "Next: record CH2 at 14:00";
    s.freeBytes = 3ull * 1073741824 + 536870912;
    s.recordFolderMB = 120;
    s.recordLimitMB = 1024;
    EXPECT_EQ(texts(s), (std::vector<std::string>{"Live on CH2", "Snapshot 20261206_120000_01.jpg",
                                                  "Alarm: sound on CH4 at 09:05:03 (4 today)",
                                                  "Next: record CH2 at 14:00",
                                                  "3.50 GB free, records 120 of 1024 MB"}));
    EXPECT_EQ(statusBandLine(s),
              "Live on CH2  |  Snapshot 20261206_120000_01.jpg  |  Alarm: sound on CH4 at "
              "09:05:03 (4 today)  |  Next: record CH2 at 14:00  |  3.50 GB free, records 120 "
              "of 1024 MB");
    // An alarm of an earlier day is still the last one, but today counts none.
    s.alarmsToday = 0;
    EXPECT_EQ(texts(s).at(2), "Alarm: sound on CH4 at 09:05:03");
}

TEST(StatusBandText, AReceiverWithoutPermissionAndTheStreamAddressAreShown) {
    StatusBandState s = liveOn(0);
    s.noReceiverPermission = true;
    s.streamAddress = "rtsp://127.0.0.1:8554/live";
    const std::vector<StatusSegment> segments = statusBandSegments(s);
    EXPECT_EQ(texts(s), (std::vector<std::string>{
                            "Live on CH1", "No permission: channel select and alarms unavailable",
                            "Stream rtsp://127.0.0.1:8554/live"}));
    EXPECT_EQ(segments.at(1).tone, BandTone::Warning);
}

TEST(StatusBandText, SizesAndTimesRead) {
    EXPECT_EQ(formatElapsed(0), "00:00:00");
    EXPECT_EQ(formatElapsed(59), "00:00:59");
    EXPECT_EQ(formatElapsed(3600 * 101 + 61), "101:01:01");
    EXPECT_EQ(formatBytes(0), "0 KB");
    EXPECT_EQ(formatBytes(1), "1 KB");
    EXPECT_EQ(formatBytes(1048575), "1024 KB");
    EXPECT_EQ(formatBytes(1048576), "1.0 MB");
    EXPECT_EQ(formatBytes(1073741824ull * 12 + 1073741824ull / 4), "12.25 GB");
}

TEST(StatusBandLayout, ElidesBetweenCharactersAndNeverPassesTheBand) {
    EXPECT_EQ(elideText("Receiver unplugged", 200, fixedWidth), "Receiver unplugged");
    EXPECT_EQ(elideText("Receiver unplugged", 63, fixedWidth), "Receiver\xE2\x80\xA6");
    EXPECT_EQ(elideText("Receiver unplugged", 6, fixedWidth), "");
    // A two-byte character is kept whole or left out, never split.
    const std::string umlaut =
        "K\xC3\xBC"
        "che und Garten";
    const std::string cut = elideText(umlaut, 21, fixedWidth);
    EXPECT_EQ(cut, "K\xC3\xBC\xE2\x80\xA6");

    StatusBandState s = liveOn(0);
    s.recording = true;
    s.recordingSeconds = 65;
    s.recordFile = "20261206120000.avi";
    s.recordFileBytes = 1048576;
    s.nextTask = "Next: capture live channel tomorrow at 07:30";
    s.freeBytes = 1ull << 34;
    s.recordLimitMB = 1024;
    s.lastAlarm = AlarmRecord{0, AlarmKind::Motion, SystemTime{2026, 12, 0, 6, 12, 0, 0, 0}};
    s.alarmsToday = 1;
    // The band of the smallest window (1030 pixels wide) is about 560 pixels; try that and less.
    for (int width : {900, 560, 300, 120, 40, 8, 0}) {
        const auto items = layoutStatusBand(statusBandSegments(s), width, fixedWidth);
        int end = 0;
        for (const BandItem& item : items) {
            EXPECT_GE(item.x, end) << "items overlap at width " << width;
            EXPECT_EQ(item.width, fixedWidth(item.text));
            end = item.x + item.width;
            EXPECT_LE(end, width) << "'" << item.text << "' passes the band of " << width;
        }
        if (width >= 120) {
            ASSERT_FALSE(items.empty());
            EXPECT_EQ(items.front().text, "Live on CH1") << "the receiver's state always shows";
        }
    }
    // At 560 the first segments show whole and the last one shown ends in an ellipsis.
    const auto items = layoutStatusBand(statusBandSegments(s), 560, fixedWidth);
    ASSERT_GE(items.size(), 2u);
    EXPECT_EQ(items[1].text, "REC 00:01:05  20261206120000.avi  1.0 MB");
    EXPECT_NE(items.back().text.find("\xE2\x80\xA6"), std::string::npos);
}

class NextTask : public ::testing::Test {
  protected:
    NextTask() {
        // Local time is UTC here, as in every test program.
        setenv("TZ", "UTC", 1);
        tzset();
    }
    static TaskRecord task(int operation, int frequency, int hour, int minute, int channel) {
        TaskRecord t{};
        t.operation = operation;
        t.frequency = frequency;
        t.startTime = SystemTime{
            2026, 12, 0, 6, static_cast<uint16_t>(hour), static_cast<uint16_t>(minute), 0, 0};
        t.durationSeconds = 600;
        t.channel = channel;
        return t;
    }
    // Sunday 2026-12-06 at 12:00:00 UTC.
    const int64_t noon = localCalendarSeconds(2026, 12, 6, 12, 0, 0);
    const SystemTime today{2026, 12, 0, 6, 12, 0, 0, 0};
};

TEST_F(NextTask, NamesTheEarliestStartStillToComeToday) {
    const std::vector<TaskRecord> tasks = {task(1, 1, 9, 0, 0), task(2, 1, 16, 30, 2),
                                           task(1, 1, 14, 0, 1)};
    EXPECT_EQ(nextTaskText(tasks, noon, today), "Next: record CH2 at 14:00");
    // A task that is running now is not "next".
    const std::vector<TaskRecord> running = {task(1, 1, 11, 55, 0), task(2, 1, 16, 30, 4)};
    EXPECT_EQ(nextTaskText(running, noon, today), "Next: capture live channel at 16:30");
    EXPECT_EQ(nextTaskText({}, noon, today), "");
}

TEST_F(NextTask, LooksAtTomorrowWhenTodayHasNothingLeft) {
    EXPECT_EQ(nextTaskText({task(1, 1, 7, 30, 3)}, noon, today),
              "Next: record CH4 tomorrow at 07:30");
    // Weekly on Monday (tomorrow) and on Wednesday: Monday's shows.
    TaskRecord monday = task(2, 2, 8, 0, 0);
    monday.weekday = 1;
    TaskRecord wednesday = task(1, 2, 6, 0, 0);
    wednesday.weekday = 3;
    EXPECT_EQ(nextTaskText({wednesday, monday}, noon, today),
              "Next: capture CH1 tomorrow at 08:00");
    // Only Wednesday: beyond tomorrow the band says nothing.
    EXPECT_EQ(nextTaskText({wednesday}, noon, today), "");
}

TEST(PictureFeedbackText, PanelAndBannerTexts) {
    EXPECT_EQ(idlePanelText(ReceiverLink::NotFound),
              "No receiver connected. Plug in the receiver.");
    EXPECT_EQ(idlePanelText(ReceiverLink::Unplugged), "Receiver unplugged");
    EXPECT_EQ(idlePanelText(ReceiverLink::Reconnecting), "Reconnecting...");
    EXPECT_EQ(idlePanelText(ReceiverLink::Searching), "");
    EXPECT_EQ(idlePanelText(ReceiverLink::Connected), "");
    EXPECT_EQ(alarmBannerText(std::nullopt), "");
    EXPECT_EQ(alarmBannerText(AlarmRecord{1, AlarmKind::Motion, {}}), "ALARM: motion on CH2");
    EXPECT_EQ(alarmBannerText(AlarmRecord{3, AlarmKind::Sound, {}}), "ALARM: sound on CH4");
}

// The overlay keeps its size in the window (the tests of its anchors rely on it) and grows in
// full screen: a 1080-line screen doubles it, a 1440-line one and above triples it.
TEST(PictureFeedbackText, TheOverlayGrowsOnlyInLargeCells) {
    EXPECT_EQ(overlayFont(627).pixelSize, 12);  // the window's single cell
    EXPECT_EQ(overlayFont(959).pixelSize, 12);
    EXPECT_EQ(overlayFont(1080).pixelSize, 24);
    EXPECT_EQ(overlayFont(540).pixelSize, 12);  // a quad cell in full screen
    EXPECT_EQ(overlayFont(1440).pixelSize, 36);
    EXPECT_EQ(overlayFont(4320).pixelSize, 36);
    EXPECT_EQ(overlayFont(0).pixelSize, 12);
    EXPECT_EQ(overlayFont(1080).family, overlayFont(627).family);
}

TEST(StatusBoardRecords, CountsAlarmsPerDayAndNumbersSnapshots) {
    StatusBoard board;
    const SystemTime day1{2026, 12, 0, 6, 23, 59, 0, 0};
    const SystemTime day2{2026, 12, 1, 7, 0, 1, 0, 0};
    board.alarmRaised(0, AlarmKind::Motion, day1);
    board.alarmRaised(2, AlarmKind::Sound, day1);
    EXPECT_EQ(board.alarmsOn(day1), 2);
    EXPECT_EQ(board.alarmsOn(day2), 0);
    board.alarmRaised(1, AlarmKind::Motion, day2);
    EXPECT_EQ(board.alarmsOn(day2), 1);
    EXPECT_EQ(board.alarmsOn(day1), 0) << "a new day starts the count again";
    ASSERT_TRUE(board.lastAlarm());
    EXPECT_EQ(board.lastAlarm()->channel, 1);
    EXPECT_EQ(board.lastSnapshot().sequence, 0u);
    board.snapshotTaken("/x/a.jpg", 10);
    board.snapshotTaken("/x/b.jpg", 20);
    EXPECT_EQ(board.lastSnapshot().sequence, 2u);
    EXPECT_EQ(board.lastSnapshot().path, "/x/b.jpg");
}

}  // namespace
}  // namespace vidora
