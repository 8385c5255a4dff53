// The event log's costs: the writer thread's work for one second of recording with an alarm every
// second (the goal is under 1 % of a core, i.e. under 10 ms of CPU per second), and the catalog
// over a day of 10 000 recordings and 50 000 snapshots (the goal is the first day listed in
// under 1 s): indexing the folders from nothing, again when nothing changed, and listing the day.
//
// VIDORA_BENCH_DIR: where the database and the synthetic folders go (default /tmp). The folders
// are made once and kept (vidora-events-bench/), so later runs start at once.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "events/event_catalog.h"
#include "events/event_log.h"
#include "recording/avi_file.h"

namespace fs = std::filesystem;

namespace vidora::events {
namespace {

fs::path benchDir() {
    const char* dir = std::getenv("VIDORA_BENCH_DIR");
    return fs::path(dir ? dir : "/tmp") / "vidora-events-bench";
}

// The resident size in KiB.
long currentRssKiB() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmRSS:", 0) == 0)
            return std::atol(line.c_str() + 6);
    }
    return 0;
}

// A small AVI of our writer: 5 pictures at 25 per second.
void writeAvi(const fs::path& path) {
    AviFile file;
    file.create(path.string(), false);
    AviStreamInfo info;
    info.type = fourcc("vids");
    info.rate = 25;
    const int stream = file.createStream(info);
    uint8_t bitmap[40] = {40};
    file.setFormat(stream, bitmap, sizeof bitmap);
    std::vector<uint8_t> picture(64, 1);
    for (int i = 0; i < 5; ++i)
        file.writeSample(stream, static_cast<uint64_t>(i), picture.data(), 64, 1, i == 0);
    file.close();
}

// 10 000 recordings and 50 000 snapshots on 2026-12-08, made once.
StoreFolders syntheticDay() {
    const fs::path root = benchDir();
    const fs::path record = root / "RECORD";
    const fs::path snapshot = root / "SNAPSHOT";
    if (!fs::exists(root / "complete")) {
        fs::remove_all(root);
        fs::create_directories(record);
        fs::create_directories(snapshot);
        char name[64];
        for (int i = 0; i < 10000; ++i) {
            const int s = i * 8;
            std::snprintf(name, sizeof name, "20261208%02d%02d%02d.avi", s / 3600, s / 60 % 60,
                          s % 60);
            writeAvi(record / name);
        }
        for (int i = 0; i < 50000; ++i) {
            const int s = static_cast<int>(i * 1.728);
            std::snprintf(name, sizeof name, "20261208-%02d%02d%02d-%02d.jpg", s / 3600,
                          s / 60 % 60, s % 60, i % 2);
            std::ofstream(snapshot / name) << "synthetic jpeg";
        }
        std::ofstream(root / "complete") << "";
    }
    return {record.string(), snapshot.string()};
}

void removeDatabase(const fs::path& db) {
    for (const char* suffix : {"", "-wal", "-shm"})
        fs::remove(db.string() + suffix);
}

// One second of a recording under alarms: an alarm begins and ends, two alarm photos, and every
// 60 s the file is cut (its end and the next file's start). The writer ticks 4 times a second.
void BM_EventWriterOneSecondOfAlarms(benchmark::State& state) {
    const fs::path db = benchDir() / "writer.db";
    fs::create_directories(benchDir());
    removeDatabase(db);
    EventLog log(db);
    if (!log.open({}).failure.empty()) {
        state.SkipWithError("cannot open the event log");
        return;
    }
    const std::string folder = (benchDir() / "RECORD").string();
    EventTime now = 1796688000000;
    int second = 0;
    std::string recording = folder + "/20261208000000.avi";
    for (auto _ : state) {
        log.alarmStarted(now, EventChannel::Ch2, AlarmKind::Motion);
        log.snapshotTaken(now + 100, folder + "/a.jpg", EventChannel::Ch2, CaptureReason::Alarm);
        log.tick();
        log.snapshotTaken(now + 600, folder + "/b.jpg", EventChannel::Ch2, CaptureReason::Alarm);
        log.alarmEnded(now + 900, EventChannel::Ch2, AlarmKind::Motion);
        if (++second % 60 == 0) {
            log.recordingEnded(now, recording, RecordingEnd::CutBySize);
            recording = folder + "/cut" + std::to_string(second) + ".avi";
            log.recordingStarted(now, recording, EventChannel::Ch2, CaptureReason::Alarm);
        }
        log.tick();
        log.tick();
        log.tick();
        now += 1000;
    }
    // One iteration is one second of the log's work: its CPU time per iteration divided by
    // 10 ms is the share of one core in per cent.
    state.counters["events"] = static_cast<double>(state.iterations()) * 4.0;
    state.counters["dropped"] = static_cast<double>(log.dropped());
}
BENCHMARK(BM_EventWriterOneSecondOfAlarms)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// The window opened on the day with no database yet: every file is indexed, then listed.
void BM_FirstDayFromNothing(benchmark::State& state) {
    const StoreFolders folders = syntheticDay();
    const fs::path db = benchDir() / "catalog.db";
    std::size_t listed = 0;
    long grownKiB = 0;
    for (auto _ : state) {
        state.PauseTiming();
        removeDatabase(db);
        const long before = currentRssKiB();
        state.ResumeTiming();
        EventCatalog catalog(db, [&] { return folders; });
        const std::vector<CatalogItem> items = catalog.items({2026, 12, 8}, {});
        listed = items.size();
        benchmark::DoNotOptimize(listed);
        state.PauseTiming();
        // What the day costs while it is shown: the catalog and its items still live.
        grownKiB = std::max(grownKiB, currentRssKiB() - before);
        state.ResumeTiming();
    }
    state.counters["items"] = static_cast<double>(listed);
    state.counters["rss_growth_MiB"] = static_cast<double>(grownKiB) / 1024.0;
}
BENCHMARK(BM_FirstDayFromNothing)->Unit(benchmark::kMillisecond)->Iterations(3);

// The window opened again: the folders are listed, nothing is read, the day is listed.
void BM_FirstDayIndexed(benchmark::State& state) {
    const StoreFolders folders = syntheticDay();
    const fs::path db = benchDir() / "catalog.db";
    EventCatalog warm(db, [&] { return folders; });
    warm.refresh();
    std::size_t listed = 0;
    for (auto _ : state) {
        EventCatalog catalog(db, [&] { return folders; });
        listed = catalog.items({2026, 12, 8}, {}).size();
        benchmark::DoNotOptimize(listed);
    }
    state.counters["items"] = static_cast<double>(listed);
}
BENCHMARK(BM_FirstDayIndexed)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace
}  // namespace vidora::events

BENCHMARK_MAIN();
