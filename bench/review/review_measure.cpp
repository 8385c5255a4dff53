// The recordings window with a stopwatch, in one run:
//  1. seeking in a large recording: time from the seek to the target picture (the key frame at
//     or before it) handed to the player's picture, for targets spread over the file;
//  2. playback at 8x of a 720x576 recording: how far the file advances per second of wall time
//     and how many of its pictures were shown;
//  3. opening the window on a catalog of 10 000 recordings and 50 000 snapshots (over 30 days):
//     time until the newest day is listed and painted, and the memory it took.
// The large file is made with ffmpeg (one minute of 720x576 MPEG-4, then repeated without
// re-encoding up to the size asked for) unless it exists.
//   review-measure <work folder> [size in MiB, default 1024]
#include <QApplication>
#include <QElapsedTimer>
#include <QTableView>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "review/gst_playback.h"
#include "review/recordings_window.h"

namespace fs = std::filesystem;
using namespace vidora;

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

long residentKiB() {
    long pages = 0, resident = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(f);
    }
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

bool run(const std::string& command) {
    std::printf("  $ %s\n", command.c_str());
    std::fflush(stdout);
    return std::system(command.c_str()) == 0;
}

fs::path makeLargeFile(const fs::path& dir, long mib) {
    const fs::path minute = dir / "minute.avi";
    const fs::path large = dir / ("large-" + std::to_string(mib) + ".avi");
    if (fs::exists(large))
        return large;
    // A key frame every 2 s (50 pictures), a busy picture so the bit rate is realistic.
    if (!fs::exists(minute) &&
        !run("ffmpeg -nostdin -loglevel error -y -f lavfi -i testsrc2=size=720x576:rate=25 -t 60 "
             "-c:v mpeg4 -vtag XVID -g 50 -q:v 3 '" +
             minute.string() + "'"))
        return {};
    const long loops =
        std::max<long>(0, mib * 1024 * 1024 / static_cast<long>(fs::file_size(minute)));
    if (!run("ffmpeg -nostdin -loglevel error -y -stream_loop " + std::to_string(loops) + " -i '" +
             minute.string() + "' -c copy '" + large.string() + "'"))
        return {};
    return large;
}

struct Watch {
    std::atomic<uint64_t> pictures{0};
    std::atomic<int64_t> position{-1};
};

bool waitFor(const std::function<bool()>& condition, int limitMs) {
    const auto start = Clock::now();
    while (!condition()) {
        if (msSince(start) > limitMs)
            return false;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return true;
}

void measureSeek(const fs::path& file) {
    Watch watch;
    GstPlayback playback(
        [&watch](const PlaybackPicture& p) {
            watch.position = p.positionMs;
            watch.pictures.fetch_add(1);
        },
        "fakesink");
    if (std::string failure = playback.open(file.string()); !failure.empty()) {
        std::printf("seek: cannot open %s: %s\n", file.c_str(), failure.c_str());
        return;
    }
    const int64_t duration = playback.durationMs();
    std::printf("seek in %s: %.0f MiB, %.1f min, a key frame every 2 s\n", file.filename().c_str(),
                fs::file_size(file) / 1048576.0, duration / 60000.0);
    std::vector<double> times;
    std::srand(17);
    for (int i = 0; i < 30; ++i) {
        const int64_t target = static_cast<int64_t>(std::rand() % std::max<int64_t>(1, duration));
        const uint64_t before = watch.pictures.load();
        const auto start = Clock::now();
        playback.seek(target);
        // The picture shown lies at most one key-frame interval before the target.
        const bool landed = waitFor(
            [&] {
                const int64_t at = watch.position.load();
                return watch.pictures.load() > before && at <= target && target - at <= 2000;
            },
            5000);
        times.push_back(landed ? msSince(start) : 5000.0);
    }
    std::sort(times.begin(), times.end());
    std::printf("  30 seeks: median %.1f ms, 90th %.1f ms, max %.1f ms (goal < 150 ms)\n",
                times[times.size() / 2], times[times.size() * 9 / 10], times.back());
}

void measureFastPlayback(const fs::path& file) {
    Watch watch;
    GstPlayback playback(
        [&watch](const PlaybackPicture& p) {
            watch.position = p.positionMs;
            watch.pictures.fetch_add(1);
        },
        "fakesink");
    if (!playback.open(file.string()).empty())
        return;
    playback.seek(60000);
    waitFor([&] { return watch.position.load() >= 60000; }, 5000);
    playback.setRate(8.0);
    waitFor([&] { return watch.position.load() >= 60000; }, 5000);
    const int64_t from = watch.position.load();
    const uint64_t picturesBefore = watch.pictures.load();
    playback.play();
    const auto start = Clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(10));
    const double wall = msSince(start) / 1000.0;
    const int64_t to = watch.position.load();
    const uint64_t shown = watch.pictures.load() - picturesBefore;
    const double advanced = (to - from) / 1000.0;
    std::printf(
        "8x playback, 720x576: the file advanced %.1f s in %.1f s of wall time = %.2fx; "
        "%llu of its %.0f pictures reached the view (%.0f%%)\n",
        advanced, wall, advanced / wall, static_cast<unsigned long long>(shown), advanced * 25,
        100.0 * shown / std::max(1.0, advanced * 25));
    playback.close();
}

class BigCatalog final : public Catalog {
  public:
    BigCatalog() {
        const EventTime first = 1796688000000LL - 29LL * 86400000;  // 30 days to 2026-12-08
        int64_t id = 1;
        for (int i = 0; i < 10000; ++i) {
            CatalogItem item;
            item.id = id++;
            item.start = first + static_cast<EventTime>(i) * (30LL * 86400000 / 10000);
            item.end = item.start + 60000;
            item.channel = static_cast<EventChannel>(1 + i % 4);
            item.reason = i % 3 == 0 ? CaptureReason::Alarm : CaptureReason::Manual;
            item.path = "/nonexistent/RECORD/" + std::to_string(item.start) + ".avi";
            item.bytes = 4000000;
            all.push_back(item);
        }
        for (int i = 0; i < 50000; ++i) {
            CatalogItem item;
            item.id = id++;
            item.kind = CatalogItemKind::Snapshot;
            item.start = item.end = first + static_cast<EventTime>(i) * (30LL * 86400000 / 50000);
            item.channel = static_cast<EventChannel>(1 + i % 4);
            item.path = "/nonexistent/SNAPSHOT/" + std::to_string(item.start) + ".jpg";
            item.bytes = 40000;
            all.push_back(item);
        }
        std::sort(all.begin(), all.end(),
                  [](const CatalogItem& a, const CatalogItem& b) { return a.start < b.start; });
    }
    std::vector<CatalogItem> items(const CatalogDay& day, const CatalogFilter& filter) override {
        const EventTime start = startOf(day), end = start + 86400000;
        std::vector<CatalogItem> result;
        auto it = std::lower_bound(all.begin(), all.end(), start,
                                   [](const CatalogItem& a, EventTime t) { return a.start < t; });
        for (; it != all.end() && it->start < end; ++it)
            if ((!filter.alarmOnly || it->reason == CaptureReason::Alarm) &&
                (filter.channel == EventChannel::None || it->channel == filter.channel))
                result.push_back(*it);
        return result;
    }
    std::vector<CatalogAlarm> alarms(const CatalogDay&) override { return {}; }
    std::vector<CatalogDay> daysWithItems() override {
        std::vector<CatalogDay> days;
        for (int i = 29; i >= 0; --i) {
            const std::time_t s = (1796688000000LL - i * 86400000LL) / 1000;
            std::tm t{};
            gmtime_r(&s, &t);
            days.push_back({t.tm_year + 1900, t.tm_mon + 1, t.tm_mday});
        }
        return days;
    }
    std::string remove(const CatalogItem&) override { return "read-only"; }

    std::vector<CatalogItem> all;

  private:
    static EventTime startOf(const CatalogDay& d) {
        std::tm t{};
        t.tm_year = d.year - 1900;
        t.tm_mon = d.month - 1;
        t.tm_mday = d.day;
        return static_cast<EventTime>(timegm(&t)) * 1000;
    }
};

void measureOpening() {
    const long before = residentKiB();
    BigCatalog catalog;
    const long withCatalog = residentKiB();
    const auto start = Clock::now();
    RecordingsWindowOptions options;
    options.audioSink = "fakesink";
    auto window = std::make_unique<RecordingsWindow>(catalog, options);
    window->show();
    QApplication::processEvents();
    window->list().viewport()->repaint();
    const double shown = msSince(start);
    const int rows = window->model().rowCount();
    // Scrolling the list through the whole day: every row's thumbnail is asked for, none waited.
    const auto scrollStart = Clock::now();
    double worstStep = 0;
    for (int row = 0; row < rows; row += 8) {
        const auto step = Clock::now();
        window->list().scrollTo(window->model().index(row, 0));
        window->list().viewport()->repaint();
        QApplication::processEvents();
        worstStep = std::max(worstStep, msSince(step));
    }
    const double scrolled = msSince(scrollStart);
    std::printf(
        "opening on 10000 recordings + 50000 snapshots (30 days): the newest day (%d rows) "
        "listed and painted in %.1f ms; catalog %.1f MiB, window %.1f MiB more\n",
        rows, shown, (withCatalog - before) / 1024.0, (residentKiB() - withCatalog) / 1024.0);
    std::printf(
        "  scrolling the day's list in steps of 8 rows: %.1f ms in all, the slowest step "
        "%.1f ms\n",
        scrolled, worstStep);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: review-measure <work folder> [size in MiB]\n");
        return 2;
    }
    const fs::path dir = argv[1];
    const long mib = argc > 2 ? std::atol(argv[2]) : 1024;
    fs::create_directories(dir);
    // Measured without a display unless one is asked for.
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    std::printf("review-measure (a loaded machine gives noisy timings)\n");
    const fs::path large = makeLargeFile(dir, mib);
    if (!large.empty()) {
        measureSeek(large);
        measureFastPlayback(large);
    }
    measureOpening();
    return 0;
}
