// Measures the network stream side by side in one run and prints the numbers:
// - CPU of this process (user + system per second of wall time) while a simulated live picture
//   runs at 25 pictures a second, with the server off, on with no client, and with 1 and 4
//   clients (ffmpeg processes copying the stream; their own CPU is not counted);
// - the latency from a picture entering the hand-over to its decoding in a client (rtspsrc and
//   avdec_h264 in this process), median and 99th percentile. Each picture carries its number in
//   a row of black and white blocks, read back from the decoded picture.
// Usage: stream_measure [seconds per measurement]
#include <gst/app/gstappsink.h>
#include <gst/gst.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/media/gst_support.h"
#include "stream/live_hand_over.h"
#include "stream/rtsp_server.h"

using namespace vidora;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kBits = 16;
constexpr int kBlock = 16;  // pixels per bit, wide enough to survive the encoder

double cpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// The live side: a moving picture with its number, 25 a second, plus 8 kHz stereo sound.
class Producer {
  public:
    Producer(LiveHandOver& handOver, int width, int height)
        : handOver_(handOver), width_(width), height_(height), sent_(1 << kBits) {
        thread_ = std::thread([this] { loop(); });
    }
    ~Producer() {
        stop_ = true;
        thread_.join();
    }
    // When picture `number` was handed over (only the last 65536 are kept).
    Clock::time_point sentAt(int number) {
        std::lock_guard lock(mutex_);
        return sent_[static_cast<std::size_t>(number)];
    }

  private:
    void loop() {
        std::vector<uint8_t> picture(static_cast<std::size_t>(width_) * height_ * 2);
        std::vector<uint8_t> sound(320 * 4, 0);
        auto next = Clock::now();
        for (int n = 0; !stop_; ++n) {
            const int number = n & ((1 << kBits) - 1);
            for (int y = 0; y < height_; ++y) {
                for (int x = 0; x < width_; x += 2) {
                    uint8_t* p = &picture[(static_cast<std::size_t>(y) * width_ + x) * 2];
                    uint8_t luma = static_cast<uint8_t>((x + y + n * 3) & 0x7f) + 40;
                    if (y >= 16 && y < 16 + kBlock && x < kBits * kBlock) {
                        const bool one = (number >> (x / kBlock)) & 1;
                        luma = one ? 235 : 16;
                    }
                    p[0] = 128;
                    p[1] = luma;
                    p[2] = 128;
                    p[3] = luma;
                }
            }
            {
                std::lock_guard lock(mutex_);
                sent_[static_cast<std::size_t>(number)] = Clock::now();
            }
            handOver_.onLivePicture(picture.data(), picture.size(), width_, height_, 25);
            handOver_.onLiveSound(sound.data(), sound.size(), 8000, 2);
            next += std::chrono::milliseconds(40);
            std::this_thread::sleep_until(next);
        }
    }

    LiveHandOver& handOver_;
    int width_;
    int height_;
    std::mutex mutex_;
    std::vector<Clock::time_point> sent_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

double measureCpu(int seconds) {
    const double c0 = cpuSeconds();
    const auto t0 = Clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    const double wall = std::chrono::duration<double>(Clock::now() - t0).count();
    return (cpuSeconds() - c0) / wall * 100.0;
}

std::vector<pid_t> startClients(int count, int port, int seconds) {
    std::vector<pid_t> pids;
    for (int i = 0; i < count; ++i) {
        const pid_t pid = fork();
        if (pid == 0) {
            const std::string url = "rtsp://127.0.0.1:" + std::to_string(port) + "/live";
            const std::string t = std::to_string(seconds + 6);
            execlp("ffmpeg", "ffmpeg", "-nostdin", "-v", "quiet", "-rtsp_transport", "tcp", "-i",
                   url.c_str(), "-t", t.c_str(), "-c", "copy", "-f", "null", "-", nullptr);
            _exit(127);
        }
        pids.push_back(pid);
    }
    return pids;
}

void endClients(std::vector<pid_t>& pids) {
    for (pid_t pid : pids) {
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
    }
    pids.clear();
}

// Decodes the stream in this process and returns the latency of each picture in milliseconds.
std::vector<double> measureLatency(Producer& producer, int port, int seconds) {
    const std::string line = "rtspsrc location=rtsp://127.0.0.1:" + std::to_string(port) +
                             "/live latency=0 protocols=tcp ! rtph264depay ! avdec_h264 ! "
                             "videoconvert ! video/x-raw,format=GRAY8 ! appsink name=out "
                             "sync=false max-buffers=4 drop=false";
    GError* error = nullptr;
    media::GstPtr<GstElement> pipeline =
        media::adoptFloating(gst_parse_launch(line.c_str(), &error));
    if (!pipeline) {
        std::fprintf(stderr, "client pipeline: %s\n", error ? error->message : "?");
        g_clear_error(&error);
        return {};
    }
    media::GstPtr<GstElement> sink =
        media::adoptRef(gst_bin_get_by_name(GST_BIN(pipeline.get()), "out"));
    gst_element_set_state(pipeline.get(), GST_STATE_PLAYING);
    std::vector<double> latencies;
    const auto end = Clock::now() + std::chrono::seconds(seconds);
    while (Clock::now() < end) {
        media::GstSamplePtr sample(
            gst_app_sink_try_pull_sample(GST_APP_SINK(sink.get()), GST_SECOND / 2));
        if (!sample)
            continue;
        const auto arrived = Clock::now();
        GstStructure* s = gst_caps_get_structure(gst_sample_get_caps(sample.get()), 0);
        int width = 0;
        gst_structure_get_int(s, "width", &width);
        const int stride = (width + 3) & ~3;
        media::BufferMap map(gst_sample_get_buffer(sample.get()), GST_MAP_READ);
        if (!map.ok())
            continue;
        int number = 0;
        const int y = 16 + kBlock / 2;
        for (int bit = 0; bit < kBits; ++bit) {
            const int x = bit * kBlock + kBlock / 2;
            if (map.data()[static_cast<std::size_t>(y) * stride + x] > 128)
                number |= 1 << bit;
        }
        latencies.push_back(
            std::chrono::duration<double, std::milli>(arrived - producer.sentAt(number)).count());
    }
    gst_element_set_state(pipeline.get(), GST_STATE_NULL);
    return latencies;
}

double percentile(std::vector<double> v, double p) {
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, static_cast<std::size_t>(p * static_cast<double>(v.size())))];
}

}  // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::max(2, std::atoi(argv[1])) : 8;
    media::ensureGstInitialized();
    std::printf("%-9s %10s %10s %10s %10s   (%% of one core, %d s each)\n", "size", "off",
                "0 clients", "1 client", "4 clients", seconds);
    for (const auto& [width, height] : {std::pair{360, 288}, std::pair{720, 576}}) {
        LiveHandOver handOver;
        Producer producer(handOver, width, height);
        RtspServer server(handOver);
        std::this_thread::sleep_for(std::chrono::seconds(1));
        const double off = measureCpu(seconds);
        StreamSettings settings;
        settings.enabled = true;
        settings.port = 0;
        server.start(settings);
        const double none = measureCpu(seconds);
        double with[2] = {0, 0};
        int slot = 0;
        for (int clients : {1, 4}) {
            std::vector<pid_t> pids = startClients(clients, server.boundPort(), seconds);
            for (int i = 0; i < 100 && server.clientCount() < clients; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            std::this_thread::sleep_for(std::chrono::seconds(2));  // past the start-up
            with[slot++] = measureCpu(seconds);
            endClients(pids);
            for (int i = 0; i < 100 && server.pipelineCount() > 0; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        std::printf("%dx%-5d %9.1f%% %9.1f%% %9.1f%% %9.1f%%   pipelines after: %d\n", width,
                    height, off, none, with[0], with[1], server.pipelineCount());
        const std::vector<double> latencies = measureLatency(producer, server.boundPort(), seconds);
        std::printf(
            "          latency to the client's decoder: %zu pictures, median %.0f ms, "
            "p99 %.0f ms\n",
            latencies.size(), percentile(latencies, 0.5), percentile(latencies, 0.99));
        server.stop();
    }
    return 0;
}
