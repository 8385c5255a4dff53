// What keeping the seconds before an alarm costs while waiting: one second of live pictures
// (25 of 720x576) and sound through the video transfer filter and the recording side, with the
// ring off (live view alone) and with 5 and 30 seconds kept, at the default record size (half
// width and height, 10 pictures a second) and at full size. Each iteration is one second of
// input, so its CPU time is the share of one core; ring_bytes is the ring's whole memory and
// peak_held the most packet data it held.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "app/settings.h"
#include "engine/recording_bridge.h"
#include "engine/video_transfer.h"
#include "platform/clock.h"
#include "platform/relaxed.h"

namespace vidora {
namespace {

constexpr uint32_t kUyvy = 0x59565955;

// A moving picture: a gradient and a bright square that moves with n.
std::vector<uint8_t> picture(int n) {
    const int width = 720, height = 576;
    std::vector<uint8_t> p(static_cast<std::size_t>(width) * height * 2);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; x += 2) {
            uint8_t* q = &p[(static_cast<std::size_t>(y) * width + x) * 2];
            const bool square =
                x >= (n * 8) % width && x < (n * 8) % width + 64 && y >= 200 && y < 264;
            const uint8_t luma = square ? 235 : static_cast<uint8_t>(16 + (x + y) % 200);
            q[0] = 128;
            q[1] = luma;
            q[2] = 128;
            q[3] = luma;
        }
    }
    return p;
}

void BM_WaitingForAnAlarm(benchmark::State& state) {
    const int sizeMode = static_cast<int>(state.range(0));
    const uint32_t seconds = static_cast<uint32_t>(state.range(1));
    applyDefaultSettings();
    gConfig.recordImageSize = sizeMode;
    ManualClock clock;
    RecordingBridge bridge(clock);
    VideoTransfer transfer(bridge);
    transfer.setPacing(std::chrono::microseconds(0));
    bridge.setAudioFormat(audioStreamFormat(48000, 16, 2));
    transfer.acceptVideoFormat({720, 576, kUyvy, 25});
    transfer.setActive(true);
    PreAlarmPlan plan;
    plan.seconds = seconds;
    plan.sizeMode = sizeMode;
    bridge.setPreAlarm(plan);

    std::vector<std::vector<uint8_t>> pictures;
    for (int n = 0; n < 25; ++n)
        pictures.push_back(picture(n));
    std::vector<uint8_t> sound(1920 * 4);
    for (std::size_t i = 0; i < sound.size(); i += 2) {
        const int16_t v = static_cast<int16_t>((i * 37) % 16000 - 8000);
        std::memcpy(&sound[i], &v, 2);
    }
    auto oneSecond = [&] {
        for (const auto& p : pictures) {
            transfer.renderVideo(p.data(), p.size());
            bridge.onSound(sound.data(), sound.size());
            clock.advanceMs(40);
        }
    };
    // The ring full first: the steady state is what waiting costs.
    for (uint32_t s = 0; s < seconds + 2; ++s)
        oneSecond();
    std::size_t peak = 0;
    for (auto _ : state) {
        oneSecond();
        peak = std::max(peak, bridge.encoder().ringBytesHeld());
    }
    state.counters["ring_bytes"] = static_cast<double>(bridge.encoder().ringMemoryBytes());
    state.counters["peak_held"] = static_cast<double>(peak);
    state.SetLabel(seconds == 0 ? "live view alone" : "seconds kept");
    bridge.setPreAlarm({});
}
// Size mode 3 (the default record size) and 1 (720x576); 0, 5 and 30 seconds.
BENCHMARK(BM_WaitingForAnAlarm)
    ->ArgNames({"size_mode", "seconds"})
    ->Args({3, 0})
    ->Args({3, 5})
    ->Args({3, 30})
    ->Args({1, 0})
    ->Args({1, 5})
    ->Args({1, 30})
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2.0);

}  // namespace
}  // namespace vidora

BENCHMARK_MAIN();
