#pragma once
// What the recordings tests share: small real AVI files made by ffmpeg (MPEG-4 part 2 tagged
// XVID, as the recorder writes), a catalog over a plain list, and a bounded wait that runs the
// Qt event loop.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "events/catalog.h"

namespace vidora::test {

// Runs a shell command and returns its standard output.
inline std::string runCommand(const std::string& command) {
    std::string out;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[4096];
        std::size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
            out.append(buffer, n);
        ::pclose(pipe);
    }
    return out;
}

// A moving test picture at 25 pictures a second with a key frame every `gop` pictures, and with
// `sound` a tone in 16-bit mono PCM at 8000 Hz, as the recorder writes it.
inline bool makeAvi(const std::filesystem::path& path, double seconds, int gop = 25,
                    const std::string& size = "352x288", bool sound = false) {
    const std::string length = std::to_string(seconds);
    const std::string tone =
        " -f lavfi -i sine=frequency=440:sample_rate=8000 -t " + length + " -c:a pcm_s16le -ac 1";
    const std::string command =
        "ffmpeg -nostdin -loglevel error -y -f lavfi -i testsrc=size=" + size + ":rate=25 -t " +
        length + (sound ? tone : std::string()) + " -c:v mpeg4 -vtag XVID -g " +
        std::to_string(gop) + " -q:v 5 -f avi '" + path.string() + "'";
    return std::system(command.c_str()) == 0 && std::filesystem::exists(path);
}

// Byte position and size of every video packet, as ffprobe reads them.
struct Packet {
    int64_t pos = 0;
    int64_t size = 0;
    bool key = false;
    double time = 0;
};
inline std::vector<Packet> probePackets(const std::filesystem::path& path) {
    const std::string out = runCommand(
        "ffprobe -v error -select_streams v:0 -show_entries packet=pos,size,flags,pts_time"
        " -of csv=p=0 '" +
        path.string() + "'");
    std::vector<Packet> packets;
    std::size_t start = 0;
    while (start < out.size()) {
        const std::size_t end = out.find('\n', start);
        const std::string line = out.substr(start, end == std::string::npos ? end : end - start);
        start = end == std::string::npos ? out.size() : end + 1;
        Packet p;
        char flags[8] = {};
        if (std::sscanf(line.c_str(), "%lf,%ld,%ld,%7s", &p.time, &p.size, &p.pos, flags) == 4) {
            p.key = flags[0] == 'K';
            packets.push_back(p);
        }
    }
    return packets;
}

class ListCatalog final : public Catalog {
  public:
    std::vector<CatalogItem> all;
    std::vector<CatalogAlarm> alarmList;
    std::vector<int64_t> removed;
    std::string removeFailure;

    std::vector<CatalogItem> items(const CatalogDay& day, const CatalogFilter& filter) override {
        std::vector<CatalogItem> result;
        for (const CatalogItem& item : all) {
            if (!(dayOfItem(item) == day))
                continue;
            if (filter.alarmOnly && item.reason != CaptureReason::Alarm)
                continue;
            if (filter.channel != EventChannel::None && item.channel != filter.channel)
                continue;
            result.push_back(item);
        }
        std::stable_sort(
            result.begin(), result.end(),
            [](const CatalogItem& a, const CatalogItem& b) { return a.start < b.start; });
        return result;
    }
    std::vector<CatalogAlarm> alarms(const CatalogDay&) override { return alarmList; }
    std::vector<CatalogDay> daysWithItems() override {
        std::vector<CatalogDay> days;
        for (const CatalogItem& item : all) {
            const CatalogDay d = dayOfItem(item);
            if (std::find(days.begin(), days.end(), d) == days.end())
                days.push_back(d);
        }
        std::sort(days.begin(), days.end(), [](const CatalogDay& a, const CatalogDay& b) {
            return std::tie(a.year, a.month, a.day) < std::tie(b.year, b.month, b.day);
        });
        return days;
    }
    std::string remove(const CatalogItem& item) override {
        if (!removeFailure.empty())
            return removeFailure;
        removed.push_back(item.id);
        std::erase_if(all, [&item](const CatalogItem& other) { return other.id == item.id; });
        return {};
    }

  private:
    // Tests run in UTC (test_main).
    static CatalogDay dayOfItem(const CatalogItem& item) {
        const std::time_t s = static_cast<std::time_t>(item.start / 1000);
        std::tm t{};
        gmtime_r(&s, &t);
        return {t.tm_year + 1900, t.tm_mon + 1, t.tm_mday};
    }
};

// Runs the event loop until the condition holds or `limitMs` passed; returns the condition.
inline bool waitFor(const std::function<bool()>& condition, int limitMs = 10000) {
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > limitMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(2);
    }
    return true;
}

// 2026-12-08 00:00:00 UTC.
inline constexpr EventTime kDay = 1796688000000LL;

}  // namespace vidora::test
