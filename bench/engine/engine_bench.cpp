// The video sink's work per picture and the stored picture conversion at 720 x 576, each set
// against a plain memcpy of one 720 x 576 packed 4:2:2 picture measured in the same run.
//   build/bench/engine/engine_bench
// prints Google Benchmark's table and then the ratios to the memcpy.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "app/settings.h"
#include "engine/picture_conversion.h"
#include "engine/picture_ops.h"
#include "engine/video_transfer.h"
#include "platform/relaxed.h"

namespace vidora {
namespace {

constexpr int kWidth = 720;
constexpr int kHeight = 576;
constexpr std::size_t kBytes = kWidth * kHeight * 2;

std::vector<uint8_t> randomPicture() {
    std::mt19937 gen(42);
    std::vector<uint8_t> data(kBytes);
    for (auto& b : data)
        b = static_cast<uint8_t>(gen());
    return data;
}

void BM_MemcpyPicture(benchmark::State& state) {
    const auto source = randomPicture();
    std::vector<uint8_t> target(kBytes);
    for (auto _ : state) {
        std::memcpy(target.data(), source.data(), kBytes);
        benchmark::DoNotOptimize(target.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kBytes));
}
BENCHMARK(BM_MemcpyPicture);

// What the streaming thread does for each picture: copy, half width, half size (no window, not
// recording, no pacing pause).
void BM_VideoSinkPerPicture(benchmark::State& state) {
    applyDefaultSettings();
    storeRelaxed(gState.recordingOn, 0);
    RecordingPort port;
    VideoTransfer video(port);
    video.setPacing(std::chrono::microseconds(0));
    video.acceptVideoFormat({kWidth, kHeight, 0x59565955, 25});
    const auto picture = randomPicture();
    for (auto _ : state) {
        video.renderVideo(picture.data(), picture.size());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kBytes));
}
BENCHMARK(BM_VideoSinkPerPicture);

void BM_HalfWidthOnly(benchmark::State& state) {
    const auto picture = randomPicture();
    std::vector<uint8_t> out(kBytes / 2);
    for (auto _ : state) {
        halfWidthUyvy(picture.data(), kWidth, kHeight, out.data());
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_HalfWidthOnly);

// A full-size stored picture (snapshot of kind 1): allocation, header and conversion.
void BM_StoredPictureFull(benchmark::State& state) {
    const auto picture = randomPicture();
    for (auto _ : state) {
        StoredPicture stored = storedPictureFromUyvy(picture.data(), kWidth, kHeight);
        benchmark::DoNotOptimize(stored.data());
    }
}
BENCHMARK(BM_StoredPictureFull)->Unit(benchmark::kMicrosecond);

class RatioReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            const double scale = run.time_unit == benchmark::kMicrosecond   ? 1000.0
                                 : run.time_unit == benchmark::kMillisecond ? 1e6
                                                                            : 1.0;
            nanoseconds[run.benchmark_name()] = run.GetAdjustedRealTime() * scale;
            cpuNanoseconds[run.benchmark_name()] = run.GetAdjustedCPUTime() * scale;
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> nanoseconds;
    std::map<std::string, double> cpuNanoseconds;
};

}  // namespace
}  // namespace vidora

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    vidora::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    // Real time counts what a user waits for; CPU time is steadier on a shared machine.
    auto& ns = reporter.nanoseconds;
    auto& cpu = reporter.cpuNanoseconds;
    const double memcpyNs = ns["BM_MemcpyPicture"];
    const double memcpyCpu = cpu["BM_MemcpyPicture"];
    if (memcpyNs > 0 && memcpyCpu > 0) {
        std::printf("\nmemcpy of one 720x576 UYVY picture: %.1f us real, %.1f us CPU\n",
                    memcpyNs / 1000, memcpyCpu / 1000);
        for (const char* name :
             {"BM_VideoSinkPerPicture", "BM_HalfWidthOnly", "BM_StoredPictureFull"}) {
            if (ns.count(name)) {
                std::printf("%-24s %8.1f us real = %5.2f x memcpy; %8.1f us CPU = %5.2f x memcpy\n",
                            name, ns[name] / 1000, ns[name] / memcpyNs, cpu[name] / 1000,
                            cpu[name] / memcpyCpu);
            }
        }
    }
    benchmark::Shutdown();
    return 0;
}
