// Costs of the media layer's per-block work and of the simulated receiver, which must stay
// cheap enough to run beside the viewer at 25-30 pictures per second.
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "platform/media/audio_fold.h"
#include "platform/media/capture_graph.h"
#include "platform/sim/picture_generator.h"
#include "platform/sim/simulated_receiver.h"

namespace {

using namespace vidora;

void BM_FoldToDoubledMono(benchmark::State& state) {
    std::vector<uint8_t> block(std::size_t(state.range(0)));
    for (std::size_t i = 0; i < block.size(); ++i)
        block[i] = uint8_t(i * 7);
    for (auto _ : state) {
        media::foldToDoubledMono(block.data(), block.size());
        benchmark::DoNotOptimize(block.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * state.range(0));
}
BENCHMARK(BM_FoldToDoubledMono)->Arg(512)->Arg(3840);

// One simulated picture, as the generator draws it at every frame (still part copied, moving
// object and clock drawn).
void BM_SimPicture(benchmark::State& state) {
    const auto standard = static_cast<sim::VideoStandard>(state.range(1));
    sim::PictureGenerator generator;
    const media::AdjustTable table = sim::SimulatedReceiver().adjustments();
    sim::PictureGenerator::Frame frame;
    frame.channel = int(state.range(0));
    frame.mode = sim::videoModeOf(standard);
    frame.adjustments = &table;
    frame.adjustmentVersion = 1;
    frame.time = SystemTime{2026, 12, 0, 6, 12, 0, 0, 0};
    std::vector<uint8_t> out(std::size_t(frame.mode.width) * frame.mode.height * 2);
    for (auto _ : state) {
        ++frame.index;
        frame.time.second = uint16_t(frame.index / 25 % 60);
        generator.render(out.data(), frame);
        benchmark::DoNotOptimize(out.data());
    }
}
BENCHMARK(BM_SimPicture)->ArgsProduct({{0, 1, 2, 3}, {1}})->Args({0, 2});

// Redrawing a camera's still part after a picture adjustment changed.
void BM_SimAdjustmentChange(benchmark::State& state) {
    sim::PictureGenerator generator;
    media::AdjustTable table = sim::SimulatedReceiver().adjustments();
    sim::PictureGenerator::Frame frame;
    frame.mode = sim::videoModeOf(sim::VideoStandard::Pal);
    frame.adjustments = &table;
    std::vector<uint8_t> out(std::size_t(frame.mode.width) * frame.mode.height * 2);
    for (auto _ : state) {
        ++frame.adjustmentVersion;
        table[media::kSharpness].current = int32_t(frame.adjustmentVersion % 10);
        generator.render(out.data(), frame);
        benchmark::DoNotOptimize(out.data());
    }
}
BENCHMARK(BM_SimAdjustmentChange);

// A whole simulated graph running for one second with sinks that only count: the process CPU
// time per real second is the share of one core the receiver and the pipeline take.
struct CountingVideo : media::VideoTransferSink {
    bool acceptVideoFormat(const media::VideoFormat&) override { return true; }
    void renderVideo(const uint8_t*, std::size_t) override { ++pictures; }
    std::atomic<int> pictures{0};
};
struct CountingAudio : media::AudioTransferSink {
    bool acceptAudioFormat(const media::AudioFormat&) override { return true; }
    void renderAudio(const uint8_t*, std::size_t) override { ++blocks; }
    std::atomic<int> blocks{0};
};

void BM_SimGraphOneSecond(benchmark::State& state) {
    auto receiver = std::make_shared<sim::SimulatedReceiver>();
    auto backend = sim::createSimulatedBackend(receiver);
    CountingVideo video;
    CountingAudio audio;
    int pictures = 0;
    for (auto _ : state) {
        auto graph = backend->createGraph();
        graph->build({media::kReceiverName, sim::kReceiverPath},
                     media::videoStandardOf(int32_t(state.range(0))), &video, &audio);
        const int before = video.pictures;
        graph->run();
        std::this_thread::sleep_for(std::chrono::seconds(1));
        graph->stop();
        pictures += video.pictures - before;
    }
    state.counters["pictures_per_s"] =
        benchmark::Counter(double(pictures) / double(state.iterations()));
}
BENCHMARK(BM_SimGraphOneSecond)
    ->Arg(1)
    ->Arg(2)
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
