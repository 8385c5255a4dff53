#pragma once
// Test doubles for the engine: a media backend whose graph records every vendor request and can
// fail on demand, a sound player, a video window and a recording port that count what reaches
// them.
#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engine/capture_engine.h"
#include "engine/recording_port.h"
#include "engine/video_window.h"
#include "platform/media/capture_graph.h"
#include "platform/sound/sound_player.h"

namespace vidora::test {

using Block = std::array<uint8_t, 8>;

inline Block block(std::initializer_list<uint8_t> bytes) {
    Block b{};
    std::copy(bytes.begin(), bytes.end(), b.begin());
    return b;
}

// What the fake receiver does and what it saw; shared by the backend and its graphs.
struct FakeReceiver {
    std::mutex mutex;
    std::vector<Block> commands;  // every request block as sent
    uint8_t status = 0xFF;        // no alarm
    int32_t vendorResult = 0;     // result of every request
    bool vendorThrows = false;
    std::vector<media::DeviceInfo> devices{{media::kReceiverName, "/dev/fake0"}};
    bool enumerationFails = false;
    media::BuildResult buildResult = media::BuildResult::Ok;
    std::string offeredFormats;  // what every graph says the device offered
    bool runFails = false;
    bool graphCreateFails = false;
    media::VideoFormat videoFormat{720, 576, 0x59565955, 25};
    bool hasAdjustments = true;
    std::deque<media::GraphEvent> events;
    std::function<void()> arrivalNotify;

    // Graph observations.
    int graphsCreated = 0;
    int graphsAlive = 0;
    int lastStandard = 0;
    std::string state = "none";  // none, built, running, paused, stopped
    std::vector<int32_t> volumes;
    std::vector<std::pair<int, int32_t>> adjustments;
    bool eventNotifySet = false;
    media::VideoTransferSink* video = nullptr;
    media::AudioTransferSink* audio = nullptr;

    std::vector<Block> commandsCopy() {
        std::lock_guard lock(mutex);
        return commands;
    }
    void clearCommands() {
        std::lock_guard lock(mutex);
        commands.clear();
    }
};

class FakeGraph final : public media::CaptureGraph {
  public:
    explicit FakeGraph(std::shared_ptr<FakeReceiver> receiver);
    ~FakeGraph() override;
    media::BuildResult build(const media::DeviceInfo& device, media::VideoStandard standard,
                             media::VideoTransferSink* video,
                             media::AudioTransferSink* audio) override;
    bool hasAudio() const override { return true; }
    std::string offeredFormats() const override;
    bool run() override;
    bool pause() override;
    void stop() override;
    void setVolume(int32_t hundredthsOfDb) override;
    bool readAdjustments(media::AdjustTable& table) override;
    bool setAdjustment(media::AdjustmentKind kind, int32_t value) override;
    void setEventNotify(std::function<void()> notify) override;
    bool nextEvent(media::GraphEvent& event) override;
    int32_t vendorCmdRW(uint8_t* block, int32_t* length) override;

  private:
    std::shared_ptr<FakeReceiver> r_;
};

class FakeBackend final : public media::MediaBackend {
  public:
    explicit FakeBackend(std::shared_ptr<FakeReceiver> receiver) : r_(std::move(receiver)) {}
    std::optional<std::vector<media::DeviceInfo>> enumerateVideoInputs() override;
    std::unique_ptr<media::CaptureGraph> createGraph() override;
    void setArrivalNotify(std::function<void()> notify) override;

  private:
    std::shared_ptr<FakeReceiver> r_;
};

struct SoundLog {
    std::mutex mutex;
    int plays = 0;
    int stops = 0;
    std::string lastPath;
    bool playing = false;
};

class FakeSoundPlayer final : public SoundPlayer {
  public:
    explicit FakeSoundPlayer(std::shared_ptr<SoundLog> log) : log_(std::move(log)) {}
    bool playLoop(const std::string& wavPath) override;
    void stopAll() override;
    bool playing() const override;

  private:
    std::shared_ptr<SoundLog> log_;
};

class FakeVideoWindow final : public VideoWindow {
  public:
    VideoSize clientSize() override { return size; }
    void presentLivePicture(const LivePicture& picture) override;
    void invalidate(bool) override { invalidations.fetch_add(1); }
    void repaint() override { repaints.fetch_add(1); }
    void displayModeChanged() override { displayChanges.fetch_add(1); }
    void postGraphNotify() override { graphNotifies.fetch_add(1); }
    void postDeviceArrival() override { arrivals.fetch_add(1); }

    LivePicture lastPicture() {
        std::lock_guard lock(mutex);
        return last;
    }

    VideoSize size{704, 576};
    std::atomic<int> pictures{0};
    std::atomic<int> invalidations{0};
    std::atomic<int> repaints{0};
    std::atomic<int> displayChanges{0};
    std::atomic<int> graphNotifies{0};
    std::atomic<int> arrivals{0};

  private:
    std::mutex mutex;
    LivePicture last;  // data pointer not kept valid
};

struct RecordingLog {
    std::mutex mutex;
    std::vector<std::string> calls;  // "start", "stop", "attach", "detach", "snapshot", ...
    Result startResult;              // what startRecording answers
    std::vector<std::pair<StreamFormat, int>> videoFormats;
    std::vector<StreamFormat> audioFormats;
    std::atomic<int> pictures{0};
    std::atomic<std::size_t> lastPictureLength{0};
    std::atomic<int> soundBlocks{0};
    std::atomic<bool> stalled{false};  // what recordingStalled() answers
    RecordFileInfo file;               // what recordFile() answers (under the mutex)
    std::atomic<std::size_t> soundBytes{0};
    std::string folder;
    uint64_t maxFileBytes = 0;
    std::vector<uint8_t> lastSound;
    std::vector<uint8_t> keptPicture;  // a copy of one picture, made on request
    bool keepNextPicture = false;

    // A copy of the next picture that reaches the port (empty after the limit).
    std::vector<uint8_t> nextPicture(int limitMs = 5000);

    std::vector<std::string> callsCopy() {
        std::lock_guard lock(mutex);
        return calls;
    }
    int count(const std::string& call) {
        std::lock_guard lock(mutex);
        int n = 0;
        for (auto& c : calls)
            n += c == call;
        return n;
    }
};

class SpyRecordingPort final : public RecordingPort {
  public:
    explicit SpyRecordingPort(std::shared_ptr<RecordingLog> log) : log_(std::move(log)) {}
    void setVideoFormat(const StreamFormat& format, int sizeMode) override;
    void setAudioFormat(const StreamFormat& format) override;
    void onPicture(const uint8_t* data, std::size_t length) override;
    void onSound(const uint8_t* data, std::size_t length) override;
    void setWriterSettings(const std::string& folder, uint64_t maxFileBytes) override;
    void attachWriter() override { add("attach"); }
    void detachWriter() override { add("detach"); }
    Result startRecording() override;
    void stopRecording() override { add("stop"); }
    bool recordingStalled() override { return log_->stalled.load(); }
    RecordFileInfo recordFile() override {
        std::lock_guard lock(log_->mutex);
        return log_->file;
    }
    PictureWriteResult takeSnapshot(StoredPictureSource& source) override;

    StoredPicture lastSnapshot;

  private:
    void add(const std::string& call) {
        std::lock_guard lock(log_->mutex);
        log_->calls.push_back(call);
    }
    std::shared_ptr<RecordingLog> log_;
};

// A packed 4:2:2 picture whose bytes follow a simple pattern.
std::vector<uint8_t> patternPicture(int width, int height, uint8_t seed);

// Waits (polling) until pred holds or the limit passes; returns pred().
bool waitFor(const std::function<bool()>& pred, int limitMs = 5000);

}  // namespace vidora::test
