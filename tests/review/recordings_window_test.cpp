// The recordings window on the offscreen platform, over a list catalog of real AVI files that
// ffmpeg made (MPEG-4 part 2 tagged XVID, as the recorder writes): the day's list in time order
// and its filters, playback that changes the painted picture, seeks that land on key frames as
// ffprobe places them, a file cut short that plays to its last whole picture, a run of cut
// files played as one, thumbnails made off the list, and delete / "Show in folder". Screenshots
// of the window go to <build>/screenshots/ for a person to look at.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QImage>
#include <QPushButton>
#include <QSlider>
#include <QTableView>
#include <filesystem>
#include <fstream>

#include "review/avi_length.h"
#include "review/gst_playback.h"
#include "review/picture_view.h"
#include "review/recordings_window.h"
#include "review/timeline_view.h"
#include "tests/review/review_fixtures.h"

namespace vidora {
namespace {

namespace fs = std::filesystem;
using test::kDay;
using test::waitFor;

constexpr EventTime kHour = 3600 * 1000;

QApplication& app() {
    static int argc = 1;
    static char name[] = "review_tests";
    static char* argv[] = {name, nullptr};
    static QApplication* instance = new QApplication(argc, argv);
    return *instance;
}

// The files every test plays, made once.
struct Files {
    fs::path dir;
    fs::path shortClip;  // 4 s, a key frame every second
    fs::path longClip;   // 20 s, a key frame every 2 s
    fs::path partA;      // 1 s each: one recording cut in two
    fs::path partB;
    fs::path truncated;  // the 4 s clip cut inside a picture
    fs::path snapshot;   // a JPEG
    fs::path otherSnapshot;
    int wholePictures = 0;  // whole pictures in the truncated file, as ffprobe places them
};

Files& files() {
    static Files f;
    return f;
}

void saveScreenshot(QWidget& widget, const std::string& name) {
    const fs::path dir = fs::path(VIDORA_BINARY_DIR) / "screenshots";
    fs::create_directories(dir);
    widget.grab().save(QString::fromStdString((dir / name).string()));
}

class RecordingsWindowTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        app();
        Files& f = files();
        char pattern[] = "/tmp/vidora-review-XXXXXX";
        f.dir = ::mkdtemp(pattern);
        f.shortClip = f.dir / "20261208100000.avi";
        f.longClip = f.dir / "20261208110000.avi";
        f.partA = f.dir / "20261208120000.avi";
        f.partB = f.dir / "20261208120001.avi";
        f.truncated = f.dir / "20261208130000.avi";
        f.snapshot = f.dir / "20261208-093000-00.jpg";
        f.otherSnapshot = f.dir / "20261208-140000-00.jpg";
        ASSERT_TRUE(test::makeAvi(f.shortClip, 4, 25, "352x288", true));
        ASSERT_TRUE(test::makeAvi(f.longClip, 20, 50, "720x576"));
        ASSERT_TRUE(test::makeAvi(f.partA, 1, 25));
        ASSERT_TRUE(test::makeAvi(f.partB, 1, 25));
        // Cut 1.5 s in, in the middle of a picture (a crash while it was written).
        const std::vector<test::Packet> packets = test::probePackets(f.shortClip);
        ASSERT_GT(packets.size(), 60u);
        const int64_t cut = packets[37].pos + packets[37].size / 2;
        {
            std::ifstream in(f.shortClip, std::ios::binary);
            std::vector<char> bytes(static_cast<std::size_t>(cut));
            in.read(bytes.data(), cut);
            std::ofstream(f.truncated, std::ios::binary).write(bytes.data(), cut);
        }
        for (const test::Packet& p : packets)
            if (p.pos + p.size <= cut)
                ++f.wholePictures;
        ASSERT_EQ(f.wholePictures, 37);
        QImage picture(352, 288, QImage::Format_RGB32);
        picture.fill(QColor(200, 40, 40));
        ASSERT_TRUE(picture.save(QString::fromStdString(f.snapshot.string())));
        picture.fill(QColor(40, 200, 40));
        ASSERT_TRUE(picture.save(QString::fromStdString(f.otherSnapshot.string())));
    }
    static void TearDownTestSuite() {
        std::error_code ec;
        fs::remove_all(files().dir, ec);
    }

    void SetUp() override {
        const Files& f = files();
        CatalogItem alarm = item(1, f.shortClip, kDay + 10 * kHour, 4000, EventChannel::Ch2);
        alarm.reason = CaptureReason::Alarm;
        alarm.alarm = AlarmKind::Motion;
        // Listed out of order on purpose: the window shows the catalog's time order.
        catalog.all = {
            alarm,
            item(2, f.snapshot, kDay + 9 * kHour + 1800000, 0, EventChannel::Ch1,
                 CatalogItemKind::Snapshot),
            item(3, f.longClip, kDay + 11 * kHour, 20000, EventChannel::Ch1),
            item(4, f.partA, kDay + 12 * kHour, 1000, EventChannel::Ch3),
            item(5, f.partB, kDay + 12 * kHour + 1000, 1000, EventChannel::Ch3),
            item(6, f.truncated, kDay + 13 * kHour, 1480, EventChannel::Ch4),
            item(7, f.otherSnapshot, kDay + 14 * kHour, 0, EventChannel::Ch1,
                 CatalogItemKind::Snapshot),
            // The day before: not listed on the 8th.
            item(8, f.shortClip, kDay - 2 * kHour, 4000, EventChannel::Ch2),
        };
        catalog.all[5].truncated = true;
        catalog.alarmList = {{kDay + 10 * kHour - 2000, kDay + 10 * kHour + 6000, EventChannel::Ch2,
                              AlarmKind::Motion}};
    }

    static CatalogItem item(int64_t id, const fs::path& path, EventTime start, EventTime length,
                            EventChannel channel,
                            CatalogItemKind kind = CatalogItemKind::Recording) {
        CatalogItem i;
        i.id = id;
        i.kind = kind;
        i.path = path.string();
        i.start = start;
        i.end = start + length;
        i.channel = channel;
        i.bytes = fs::file_size(path);
        return i;
    }

    std::unique_ptr<RecordingsWindow> makeWindow() {
        RecordingsWindowOptions options;
        options.audioSink = "fakesink";
        options.thumbnailThread = false;
        options.confirm = [this](QWidget*, const QString& text) {
            asked.push_back(text.toStdString());
            return answer;
        };
        options.tell = [this](QWidget*, const QString& text) {
            told.push_back(text.toStdString());
        };
        options.openFolder = [this](const std::string& folder) { opened.push_back(folder); };
        auto window = std::make_unique<RecordingsWindow>(catalog, std::move(options));
        window->resize(1100, 720);
        window->show();
        return window;
    }

    static int rowOfId(RecordingsWindow& w, int64_t id) { return w.model().rowOf(id); }

    // Waits for a picture at or past a position to be painted.
    static bool paintedAtLeast(RecordingsWindow& w, int64_t ms, int limitMs = 15000) {
        return waitFor(
            [&] {
                w.poll();
                return w.pictureView().painted() > 0 && w.pictureView().paintedPositionMs() >= ms;
            },
            limitMs);
    }

    test::ListCatalog catalog;
    bool answer = true;
    std::vector<std::string> asked;
    std::vector<std::string> told;
    std::vector<std::string> opened;
};

std::string cell(RecordingsWindow& w, int row, int column) {
    return w.model().data(w.model().index(row, column), Qt::DisplayRole).toString().toStdString();
}

TEST_F(RecordingsWindowTest, ListsTheDaysFilesInTimeOrderWithTheirFilters) {
    auto window = makeWindow();
    RecordingsWindow& w = *window;
    // It opens on the newest day with items.
    EXPECT_EQ(w.day(), (CatalogDay{2026, 12, 8}));
    ASSERT_EQ(w.model().rowCount(), 7);
    const std::vector<int64_t> order = {2, 1, 3, 4, 5, 6, 7};
    for (int row = 0; row < 7; ++row)
        EXPECT_EQ(w.model().items()[row].id, order[row]) << row;
    using M = RecordingsModel;
    EXPECT_EQ(cell(w, 0, M::Start), "09:30:00");
    EXPECT_EQ(cell(w, 0, M::Length), "snapshot");
    EXPECT_EQ(cell(w, 1, M::Start), "10:00:00");
    EXPECT_EQ(cell(w, 1, M::Length), "0:00:04");
    EXPECT_EQ(cell(w, 1, M::Channel), "CH2");
    EXPECT_EQ(cell(w, 1, M::Reason), "Alarm (motion)");
    EXPECT_EQ(cell(w, 2, M::Length), "0:00:20");
    EXPECT_EQ(cell(w, 2, M::Reason), "Manual");
    EXPECT_EQ(cell(w, 5, M::Length), "0:00:01 (cut)");
    EXPECT_EQ(cell(w, 1, M::Size), sizeText(fs::file_size(files().shortClip)).toStdString());
    // The timeline puts each item in its channel's row at its time of day.
    TimelineView& timeline = w.timeline();
    EXPECT_EQ(timeline.rowOf(EventChannel::Ch3), 2);
    EXPECT_LT(timeline.xOf(kDay + 9 * kHour), timeline.xOf(kDay + 10 * kHour));
    EXPECT_EQ(timeline.xOf(kDay), timeline.rowRect(0).left());
    saveScreenshot(w, "recordings-list.png");

    w.setAlarmOnly(true);
    ASSERT_EQ(w.model().rowCount(), 1);
    EXPECT_EQ(w.model().items()[0].id, 1);
    w.setAlarmOnly(false);
    w.setChannel(EventChannel::Ch1);
    ASSERT_EQ(w.model().rowCount(), 3);
    EXPECT_EQ(w.model().items()[0].id, 2);
    EXPECT_EQ(w.model().items()[1].id, 3);
    EXPECT_EQ(w.model().items()[2].id, 7);
    w.setChannel(EventChannel::None);

    w.showDay({2026, 12, 7});
    ASSERT_EQ(w.model().rowCount(), 1);
    EXPECT_EQ(cell(w, 0, M::Start), "22:00:00");
    w.showDay({2026, 12, 6});
    EXPECT_EQ(w.model().rowCount(), 0);
    EXPECT_FALSE(w.playButton().isEnabled());
}

TEST_F(RecordingsWindowTest, PlayingARecordingChangesThePaintedPicture) {
    auto window = makeWindow();
    RecordingsWindow& w = *window;
    w.selectRow(rowOfId(w, 1));
    EXPECT_TRUE(told.empty()) << told.front();
    // Paused on its first picture.
    ASSERT_TRUE(paintedAtLeast(w, 0));
    EXPECT_EQ(w.pictureView().paintedPositionMs(), 0);
    EXPECT_TRUE(w.playButton().isEnabled());
    EXPECT_EQ(w.playButton().text().toStdString(), "Play");
    const QImage first = w.pictureView().grab().toImage();

    w.togglePlay();
    EXPECT_EQ(w.playButton().text().toStdString(), "Pause");
    ASSERT_TRUE(paintedAtLeast(w, 1000));
    const QImage later = w.pictureView().grab().toImage();
    EXPECT_NE(first, later);
    // The picture fills the view at 4:3 (the testsrc colour bars are not black in the middle).
    EXPECT_NE(later.pixelColor(later.width() / 2, later.height() / 2), QColor(0, 0, 0));
    EXPECT_GT(w.seekSlider().value(), 900);
    EXPECT_EQ(w.seekSlider().maximum(), 4000);
    // The file has sound; the mute box silences it in the graph.
    auto& playback = dynamic_cast<GstPlayback&>(w.player().playback());
    EXPECT_FALSE(playback.soundMuted());
    for (QCheckBox* box : w.findChildren<QCheckBox*>())
        if (box->text() == "Mute")
            box->click();
    EXPECT_TRUE(w.player().muted());
    EXPECT_TRUE(playback.soundMuted());
    saveScreenshot(w, "recordings-player.png");

    // The end of the file stops the player on its last picture.
    ASSERT_TRUE(waitFor(
        [&] {
            w.poll();
            return !w.player().playing();
        },
        15000));
    EXPECT_EQ(w.playButton().text().toStdString(), "Play");
    EXPECT_TRUE(paintedAtLeast(w, 3960, 3000)) << w.pictureView().paintedPositionMs();
}

TEST_F(RecordingsWindowTest, ASeekLandsOnTheKeyFrameBeforeItsTarget) {
    const std::vector<test::Packet> packets = test::probePackets(files().longClip);
    auto window = makeWindow();
    RecordingsWindow& w = *window;
    w.selectRow(rowOfId(w, 3));
    ASSERT_TRUE(paintedAtLeast(w, 0));
    for (const int64_t target : {7300, 15980, 2000, 19900}) {
        double keyTime = 0;
        double interval = 0;
        double previousKey = -1;
        for (const test::Packet& p : packets)
            if (p.key) {
                if (previousKey >= 0)
                    interval = std::max(interval, p.time - previousKey);
                previousKey = p.time;
                if (p.time * 1000 <= target + 0.5)
                    keyTime = p.time;
            }
        ASSERT_GT(interval, 0);
        const uint64_t before = w.pictureView().received();
        w.player().seekRun(target);
        ASSERT_TRUE(waitFor(
            [&] {
                w.poll();
                return w.pictureView().received() > before &&
                       w.pictureView().paintedPositionMs() == w.player().runPositionMs();
            },
            10000))
            << target;
        const int64_t landed = w.player().runPositionMs();
        EXPECT_LE(landed, target);
        EXPECT_LT(target - landed, static_cast<int64_t>(interval * 1000) + 1) << target;
        EXPECT_NEAR(landed, keyTime * 1000, 1) << target;
    }
    // Step shows the next picture, one at a time, and leaves the player paused.
    const int64_t from = w.player().runPositionMs();
    for (int i = 1; i <= 3; ++i) {
        w.player().step();
        ASSERT_TRUE(paintedAtLeast(w, from + 40 * i, 5000)) << i;
        EXPECT_EQ(w.pictureView().paintedPositionMs(), from + 40 * i);
    }
    EXPECT_FALSE(w.player().playing());
}

TEST_F(RecordingsWindowTest, AFileCutShortPlaysToItsLastWholePicture) {
    const AviLength length = readAviLength(files().truncated.string());
    EXPECT_TRUE(length.valid);
    EXPECT_TRUE(length.truncated);
    EXPECT_EQ(static_cast<int>(length.pictures), files().wholePictures);

    auto window = makeWindow();
    RecordingsWindow& w = *window;
    w.selectRow(rowOfId(w, 6));
    EXPECT_TRUE(told.empty()) << told.front();
    ASSERT_TRUE(paintedAtLeast(w, 0));
    w.togglePlay();
    ASSERT_TRUE(waitFor(
        [&] {
            w.poll();
            return !w.player().playing();
        },
        15000));
    EXPECT_TRUE(told.empty()) << told.front();
    const int64_t last = (files().wholePictures - 1) * 40;
    ASSERT_TRUE(paintedAtLeast(w, last, 3000));
    EXPECT_EQ(w.pictureView().paintedPositionMs(), last);
}

TEST_F(RecordingsWindowTest, ARecordingCutInTwoPlaysOnAsOneRun) {
    auto window = makeWindow();
    RecordingsWindow& w = *window;
    w.selectRow(rowOfId(w, 4));
    ASSERT_TRUE(paintedAtLeast(w, 0));
    EXPECT_EQ(w.seekSlider().maximum(), 2000);
    w.togglePlay();
    // The second file follows without a stop, and the list and timeline follow it.
    ASSERT_TRUE(waitFor(
        [&] {
            w.poll();
            return w.selectedItem() && w.selectedItem()->id == 5;
        },
        15000));
    EXPECT_EQ(w.list().currentIndex().row(), rowOfId(w, 5));
    ASSERT_TRUE(waitFor(
        [&] {
            w.poll();
            return !w.player().playing();
        },
        15000));
    // Every picture of both files was shown, the last one 1960 ms into the run.
    EXPECT_EQ(w.player().runPositionMs(), 1960);
    EXPECT_EQ(w.seekSlider().value(), 1960);

    // Previous and next step through the day's recordings; snapshots through the snapshots.
    w.previousItem();
    EXPECT_EQ(w.selectedItem()->id, 4);
    w.previousItem();
    EXPECT_EQ(w.selectedItem()->id, 3);
    w.selectRow(rowOfId(w, 2));
    ASSERT_TRUE(waitFor([&] { return w.pictureView().painted() > 0; }));
    const QImage red = w.pictureView().grab().toImage();
    EXPECT_EQ(red.pixelColor(red.width() / 2, red.height() / 2), QColor(200, 40, 40));
    EXPECT_FALSE(w.playButton().isEnabled());
    saveScreenshot(w, "recordings-snapshot.png");
    w.nextItem();
    EXPECT_EQ(w.selectedItem()->id, 7);
    w.pictureView().repaint();
    const QImage green = w.pictureView().grab().toImage();
    EXPECT_EQ(green.pixelColor(green.width() / 2, green.height() / 2), QColor(40, 200, 40));
}

TEST_F(RecordingsWindowTest, ThumbnailsAreMadeOffTheListAndKept) {
    auto window = makeWindow();
    RecordingsWindow& w = *window;
    ThumbnailLoader& loader = w.thumbnails();
    QApplication::processEvents();
    // Painting the list asked for the rows on screen; none was made while it painted.
    const QModelIndex recording = w.model().index(rowOfId(w, 3), RecordingsModel::Thumbnail);
    const QModelIndex snapshot = w.model().index(rowOfId(w, 2), RecordingsModel::Thumbnail);
    const QImage placeholder = w.model().data(recording, Qt::DecorationRole).value<QImage>();
    EXPECT_FALSE(w.model().hasThumbnail(3));
    EXPECT_GT(loader.pending(), 0u);
    w.model().data(snapshot, Qt::DecorationRole);
    int made = 0;
    while (made < 20 && loader.tick())
        ++made;
    EXPECT_GT(made, 1);
    ASSERT_TRUE(waitFor([&] { return w.model().hasThumbnail(3) && w.model().hasThumbnail(2); }));
    const QImage thumb = w.model().data(recording, Qt::DecorationRole).value<QImage>();
    EXPECT_EQ(thumb.size(), QSize(kThumbnailWidth, kThumbnailHeight));
    EXPECT_NE(thumb, placeholder);
    const QImage snap = w.model().data(snapshot, Qt::DecorationRole).value<QImage>();
    EXPECT_EQ(snap.pixelColor(10, 10), QColor(200, 40, 40));
    // The whole window with its thumbnails, a recording open (for the README).
    for (int row = 0; row < w.model().rowCount(); ++row)
        w.model().data(w.model().index(row, RecordingsModel::Thumbnail), Qt::DecorationRole);
    for (int i = 0; i < 64 && loader.tick(); ++i) {
    }
    w.selectRow(rowOfId(w, 1));
    ASSERT_TRUE(
        waitFor([&] { return w.model().hasThumbnail(6) && w.pictureView().painted() > 0; }));
    w.player().seekRun(2500);
    ASSERT_TRUE(paintedAtLeast(w, 2000));
    saveScreenshot(w, "recordings-window.png");
    // Kept: asking again makes nothing new.
    w.model().data(recording, Qt::DecorationRole);
    EXPECT_EQ(loader.pending(), 0u);

    // The queue stays bounded, forgetting the oldest requests.
    CatalogItem missing;
    for (int i = 0; i < static_cast<int>(ThumbnailLoader::kMaxPending) + 10; ++i) {
        missing.id = 1000 + i;
        missing.path = "/nonexistent/file.avi";
        loader.request(missing);
    }
    EXPECT_EQ(loader.pending(), ThumbnailLoader::kMaxPending);
    EXPECT_EQ(loader.dropped(), 10u);
    EXPECT_TRUE(makeThumbnail(missing).isNull());
}

TEST_F(RecordingsWindowTest, DeleteAsksFirstAndGoesThroughTheCatalog) {
    auto window = makeWindow();
    RecordingsWindow& w = *window;
    w.selectRow(rowOfId(w, 7));
    answer = false;
    w.deleteSelected();
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0], "Delete 20261208-140000-00.jpg?");
    EXPECT_TRUE(catalog.removed.empty());
    EXPECT_EQ(w.model().rowCount(), 7);

    answer = true;
    w.deleteSelected();
    EXPECT_EQ(catalog.removed, std::vector<int64_t>{7});
    EXPECT_EQ(w.model().rowCount(), 6);
    EXPECT_EQ(rowOfId(w, 7), -1);
    // The neighbour is selected in its place.
    ASSERT_NE(w.selectedItem(), nullptr);
    EXPECT_EQ(w.selectedItem()->id, 6);

    // A recording that is playing is closed and removed; a failure is told with its reason.
    catalog.removeFailure = "Permission denied";
    w.deleteSelected();
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(told[0], "20261208130000.avi was not deleted: Permission denied");
    EXPECT_EQ(w.model().rowCount(), 6);

    w.showSelectedInFolder();
    EXPECT_EQ(opened, std::vector<std::string>{files().dir.string()});

    // A listed file that someone else removed is told, not played.
    CatalogItem gone;
    gone.id = 20;
    gone.path = (files().dir / "20261208150000.avi").string();
    gone.start = kDay + 15 * kHour;
    gone.end = gone.start + 4000;
    catalog.all.push_back(gone);
    w.showDay({2026, 12, 8});
    told.clear();
    w.selectRow(rowOfId(w, 20));
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(told[0].rfind("The recording " + gone.path + " cannot be played: ", 0), 0u)
        << told[0];
    EXPECT_FALSE(w.player().playing());
}

}  // namespace
}  // namespace vidora
