// The live presenter's work on the streaming thread: converting the shown part of a picture's
// first field (720 x 288, packed 4:2:2) into 32-bit pixels, at zoom 1 and 2, set against a plain
// memcpy of the same field measured in the same run.
//   build/bench/ui/presenter_bench
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <vector>

#include "ui/live_presenter.h"

namespace vidora {
namespace {

std::vector<uint8_t> randomPicture() {
    std::mt19937 gen(7);
    std::vector<uint8_t> data(720 * 576 * 2);
    for (auto& b : data)
        b = static_cast<uint8_t>(gen());
    return data;
}

LivePicture field(const std::vector<uint8_t>& data, int zoom) {
    LivePicture p;
    p.data = data.data();
    p.width = 720;
    p.rows = 288;
    p.pitch = 720 * 4;
    p.source = {(720 - 720 / zoom) / 2, (288 - 288 / zoom) / 2, 720 / zoom, 288 / zoom};
    p.destination = {0, 0, 841, 627};
    return p;
}

void BM_CopyField(benchmark::State& state) {
    const auto data = randomPicture();
    std::vector<uint8_t> out(720 * 288 * 2);
    for (auto _ : state) {
        for (int row = 0; row < 288; ++row)
            std::memcpy(out.data() + row * 1440, data.data() + row * 2880, 1440);
        benchmark::DoNotOptimize(out.data());
    }
}
BENCHMARK(BM_CopyField);

void BM_ConvertField(benchmark::State& state) {
    const auto data = randomPicture();
    const LivePicture p = field(data, static_cast<int>(state.range(0)));
    std::vector<uint32_t> out(720 * 288);
    for (auto _ : state) {
        convertLiveRegion(p, p.source, out.data(), p.source.width);
        benchmark::DoNotOptimize(out.data());
    }
}
BENCHMARK(BM_ConvertField)->Arg(1)->Arg(2);

void BM_PresentPicture(benchmark::State& state) {
    const auto data = randomPicture();
    LivePresenter presenter;
    const LivePicture p = field(data, 1);
    for (auto _ : state)
        presenter.presentLivePicture(p);
}
BENCHMARK(BM_PresentPicture);

}  // namespace
}  // namespace vidora

BENCHMARK_MAIN();
