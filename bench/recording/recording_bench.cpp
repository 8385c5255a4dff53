// Recording speed: the record encoder's pictures per second, the AVI writer's sustained rate
// and one snapshot's time. scripts/bench-recording.sh runs it beside ffmpeg and prints ratios.
//
// VIDORA_BENCH_UYVY_720 / VIDORA_BENCH_UYVY_352: raw UYVY clips (720x576, 352x288) to encode;
// without them a synthetic moving picture is used. VIDORA_BENCH_DIR: where the writer and the
// snapshot write (default /tmp).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include "app/settings.h"
#include "engine/osd_stamp.h"
#include "platform/clock.h"
#include "recording/avi_record_writer.h"
#include "recording/record_encoder.h"
#include "recording/record_sink.h"
#include "recording/snapshot.h"

namespace vidora {
namespace {

std::string benchDir() {
    const char* dir = std::getenv("VIDORA_BENCH_DIR");
    return dir ? dir : "/tmp";
}

// The clip's pictures, or 50 synthetic ones.
std::vector<std::vector<uint8_t>> loadPictures(int width, int height) {
    const std::size_t bytes = static_cast<std::size_t>(width) * height * 2;
    std::vector<std::vector<uint8_t>> pictures;
    const char* clip =
        std::getenv(width == 720 ? "VIDORA_BENCH_UYVY_720" : "VIDORA_BENCH_UYVY_352");
    if (clip) {
        std::ifstream in(clip, std::ios::binary);
        std::vector<uint8_t> p(bytes);
        while (in.read(reinterpret_cast<char*>(p.data()), static_cast<std::streamsize>(bytes))) {
            pictures.push_back(p);
        }
    }
    if (pictures.empty()) {
        for (int n = 0; n < 50; ++n) {
            std::vector<uint8_t> p(bytes);
            for (int y = 0; y < height; ++y) {
                for (int x = 0; x < width; x += 2) {
                    uint8_t* q = &p[(static_cast<std::size_t>(y) * width + x) * 2];
                    uint8_t luma = static_cast<uint8_t>(16 + ((x + 3 * n) ^ (y + n)) % 200);
                    q[0] = static_cast<uint8_t>(128 + (x + n) % 40 - 20);
                    q[1] = luma;
                    q[2] = static_cast<uint8_t>(128 + (y - n) % 40);
                    q[3] = luma;
                }
            }
            pictures.push_back(std::move(p));
        }
    }
    return pictures;
}

// Takes its copy of every packet and lets it go at once, as a writer's queue would soon after.
class DiscardingConsumer final : public RecordConsumer {
  public:
    void takeFormats(const StreamFormat*, int) override { state_ = ConsumerState::FormatsTaken; }
    void finish() override { state_ = ConsumerState::Finished; }
    void queueVideoPacket(PacketCopy packet) override { bytes_ += packet.packet.length; }
    void queueAudioPacket(PacketCopy packet) override { bytes_ += packet.packet.length; }
    ConsumerState state() override { return state_; }
    uint64_t bytes() const { return bytes_; }

  private:
    ConsumerState state_ = ConsumerState::NoFormats;
    uint64_t bytes_ = 0;
};

// Encodes the clip's pictures in order with the recording's parameters, through the encoder's
// picture entry as a recording runs it: copy, the on-screen display's stamp, encode, and the
// hand-over of a copy to the one attached consumer. One iteration = one picture.
void BM_RecordEncoder(benchmark::State& state) {
    const int width = static_cast<int>(state.range(0));
    const int height = static_cast<int>(state.range(1));
    auto pictures = loadPictures(width, height);
    applyDefaultSettings();
    gConfig.recordFps = 25;
    gState.videoWidth = width;
    gState.videoHeight = height;
    ManualClock clock;
    RecordEncoder encoder(clock, osdPictureStamp());
    DiscardingConsumer consumer;
    encoder.setVideoFormat(
        videoStreamFormat(static_cast<uint16_t>(width), static_cast<uint16_t>(height), 25), 1);
    encoder.attachConsumer(&consumer);
    encoder.start();
    std::size_t i = 0;
    for (auto _ : state) {
        if (i == pictures.size()) {  // a fresh recording for each pass over the clip
            state.PauseTiming();
            encoder.stop();
            encoder.start();
            i = 0;
            state.ResumeTiming();
        }
        encoder.onPicture(pictures[i].data(), pictures[i].size());
        clock.advanceMs(40);
        ++i;
    }
    encoder.stop();
    encoder.detachAllConsumers();
    if (consumer.bytes() == 0)
        state.SkipWithError("the encoder produced nothing");
    state.SetItemsProcessed(state.iterations());
    state.counters["pictures_per_s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["clip_pictures"] = static_cast<double>(pictures.size());
}
BENCHMARK(BM_RecordEncoder)
    ->Args({720, 576})
    ->Args({352, 288})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// A producer that hands packets straight to the sink.
class PacketSource : public RecordSink {
  public:
    using RecordSink::setAudioFormatRecordOnce;
    using RecordSink::setVideoFormatRecord;
};

// The writer's sustained rate: packets of the given size (a key frame every fifth) go through
// the sink into the writer's queue while its thread writes them; the producer waits whenever
// more than 64 packets are queued, so the queue cannot grow. One iteration = 256 MiB written.
void BM_AviWriter(benchmark::State& state) {
    const uint32_t packetBytes = static_cast<uint32_t>(state.range(0));
    const uint64_t total = 256ull << 20;
    const std::string folder = benchDir() + "/vidora-bench-writer";
    applyDefaultSettings();
    gConfig.recordLimitMB = 0;
    std::vector<uint8_t> data(packetBytes, 0x5A);
    std::size_t maxQueued = 0;
    uint64_t packets = 0;
    for (auto _ : state) {
        state.PauseTiming();
        std::filesystem::remove_all(folder);
        std::filesystem::create_directories(folder);
        PacketSource source;
        source.setVideoFormatRecord(videoStreamFormat(720, 576, 25));
        AviRecordWriter writer(folder);
        writer.setMaxFileSize(1ull << 40);
        source.attachConsumer(&writer);
        state.ResumeTiming();

        if (!writer.start().ok()) {
            state.SkipWithError("the writer refused to start");
            break;
        }
        RecordPacket packet;
        packet.kind = static_cast<uint32_t>(StreamKind::Video);
        packet.length = packetBytes;
        packet.data = data.data();
        for (uint64_t written = 0, n = 0; written < total; written += packetBytes, ++n) {
            packet.keyFrame = n % 5 == 0 ? 1 : 0;
            source.writeVideoPacket(packet);
            ++packets;
            std::size_t queued = writer.queuedPackets();
            maxQueued = std::max(maxQueued, queued);
            while (queued > 64) {
                std::this_thread::sleep_for(std::chrono::microseconds(200));
                queued = writer.queuedPackets();
            }
        }
        writer.stop();  // writes out the queue and closes the file

        state.PauseTiming();
        source.detachAllConsumers();
        state.ResumeTiming();
    }
    std::filesystem::remove_all(folder);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * total));
    state.counters["packets_per_s"] =
        benchmark::Counter(static_cast<double>(packets), benchmark::Counter::kIsRate);
    state.counters["max_queued"] = static_cast<double>(maxQueued);
}
BENCHMARK(BM_AviWriter)
    ->Arg(16 * 1024)
    ->Arg(64 * 1024)
    ->Arg(256 * 1024)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3);

// The writer at a steady pace, as a recording feeds it: one 16 KiB packet (a key frame every
// fifth) every `range(0)` microseconds for two seconds. The writer has time to empty its queue
// between packets, so what the queue holds when a packet arrives is how long the writer takes to
// notice work: mean_queued and max_queued count the packets already waiting.
void BM_AviWriterPaced(benchmark::State& state) {
    const auto period = std::chrono::microseconds(state.range(0));
    const int packetsPerRun = static_cast<int>(std::chrono::seconds(2) / period);
    const std::string folder = benchDir() + "/vidora-bench-writer-paced";
    applyDefaultSettings();
    gConfig.recordLimitMB = 0;
    std::vector<uint8_t> data(16 * 1024, 0x5A);
    std::size_t maxQueued = 0;
    double queuedSum = 0;
    uint64_t packets = 0;
    for (auto _ : state) {
        state.PauseTiming();
        std::filesystem::remove_all(folder);
        std::filesystem::create_directories(folder);
        PacketSource source;
        source.setVideoFormatRecord(videoStreamFormat(720, 576, 25));
        AviRecordWriter writer(folder);
        source.attachConsumer(&writer);
        state.ResumeTiming();

        (void)writer.start();
        RecordPacket packet;
        packet.kind = static_cast<uint32_t>(StreamKind::Video);
        packet.length = static_cast<uint32_t>(data.size());
        packet.data = data.data();
        auto next = std::chrono::steady_clock::now();
        for (int n = 0; n < packetsPerRun; ++n) {
            const std::size_t queued = writer.queuedPackets();
            maxQueued = std::max(maxQueued, queued);
            queuedSum += static_cast<double>(queued);
            packet.keyFrame = n % 5 == 0 ? 1 : 0;
            source.writeVideoPacket(packet);
            ++packets;
            next += period;
            std::this_thread::sleep_until(next);
        }
        writer.stop();

        state.PauseTiming();
        source.detachAllConsumers();
        state.ResumeTiming();
    }
    std::filesystem::remove_all(folder);
    state.counters["mean_queued"] = packets ? queuedSum / static_cast<double>(packets) : 0.0;
    state.counters["max_queued"] = static_cast<double>(maxQueued);
}
BENCHMARK(BM_AviWriterPaced)
    ->Arg(1000)
    ->Arg(250)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(2);

StoredPicture snapshotPicture() {
    StoredPicture picture(720, 576);
    for (int y = 0; y < 576; ++y) {
        uint8_t* row = picture.pixels() + picture.rowStride() * static_cast<std::size_t>(y);
        for (int x = 0; x < 720; ++x) {
            row[3 * x] = static_cast<uint8_t>((x * 3 + y) & 0xFF);
            row[3 * x + 1] = static_cast<uint8_t>((x ^ y) & 0xFF);
            row[3 * x + 2] = static_cast<uint8_t>((y * 2) & 0xFF);
        }
    }
    return picture;
}

// One 720x576 snapshot written as a JPEG of quality 85.
void BM_JpegSnapshot720x576(benchmark::State& state) {
    StoredPicture picture = snapshotPicture();
    const std::string path = benchDir() + "/vidora-bench-snapshot.jpg";
    for (auto _ : state) {
        benchmark::DoNotOptimize(writeJpegFile(picture, path, kJpegQuality).ok);
    }
    std::filesystem::remove(path);
}
BENCHMARK(BM_JpegSnapshot720x576)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_BmpSnapshot720x576(benchmark::State& state) {
    StoredPicture picture = snapshotPicture();
    const std::string path = benchDir() + "/vidora-bench-snapshot.bmp";
    for (auto _ : state) {
        benchmark::DoNotOptimize(writeBmpFile(picture, path).ok);
    }
    std::filesystem::remove(path);
}
BENCHMARK(BM_BmpSnapshot720x576)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace vidora

BENCHMARK_MAIN();
