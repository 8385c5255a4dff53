// Real GStreamer capture graphs on the simulated receiver: what the engine's transfer sinks
// receive, and how the graph reacts to requests, faults and plug changes.
#include <gtest/gtest.h>

#include <QLoggingCategory>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/media/graph_elements.h"
#include "platform/media/gst_backend.h"
#include "platform/media/gst_capture_graph.h"
#include "platform/sim/simulated_receiver.h"
#include "tests/media/picture_reading.h"

namespace vidora::sim {
namespace {

using namespace std::chrono_literals;
using Steady = std::chrono::steady_clock;
using media::BuildResult;
using media::CaptureGraph;
using media::GraphEvent;

class RecordingVideoSink : public media::VideoTransferSink {
  public:
    explicit RecordingVideoSink(bool accept = true) : accept_(accept) {}

    bool acceptVideoFormat(const media::VideoFormat& format) override {
        std::lock_guard lock(mutex_);
        formats.push_back(format);
        picturesBeforeFormat.push_back(count_);
        return accept_;
    }
    void renderVideo(const uint8_t* data, std::size_t length) override {
        std::lock_guard lock(mutex_);
        ++count_;
        lengths.push_back(length);
        arrivals.push_back(Steady::now());
        if (keepNext_) {
            kept_.assign(data, data + length);
            keepNext_ = false;
        }
        cv_.notify_all();
    }

    int count() {
        std::lock_guard lock(mutex_);
        return count_;
    }
    bool waitForCount(int n, std::chrono::milliseconds limit = 5s) {
        std::unique_lock lock(mutex_);
        return cv_.wait_for(lock, limit, [&] { return count_ >= n; });
    }
    // A copy of the first picture that arrives from now on (empty when none comes).
    std::vector<uint8_t> nextPicture(std::chrono::milliseconds limit = 5s) {
        std::unique_lock lock(mutex_);
        keepNext_ = true;
        kept_.clear();
        cv_.wait_for(lock, limit, [&] { return !keepNext_; });
        return kept_;
    }
    std::vector<media::VideoFormat> formatsSeen() {
        std::lock_guard lock(mutex_);
        return formats;
    }

    std::mutex mutex_;
    std::condition_variable cv_;
    std::vector<media::VideoFormat> formats;
    std::vector<int> picturesBeforeFormat;
    std::vector<std::size_t> lengths;
    std::vector<Steady::time_point> arrivals;

  private:
    bool accept_;
    int count_ = 0;
    bool keepNext_ = false;
    std::vector<uint8_t> kept_;
};

class RecordingAudioSink : public media::AudioTransferSink {
  public:
    bool acceptAudioFormat(const media::AudioFormat& format) override {
        std::lock_guard lock(mutex_);
        formats.push_back(format);
        return true;
    }
    void renderAudio(const uint8_t* data, std::size_t length) override {
        std::lock_guard lock(mutex_);
        if (blocks.size() < keep_)
            blocks.emplace_back(data, data + length);
        ++count_;
        cv_.notify_all();
    }
    void keep(std::size_t n) {
        std::lock_guard lock(mutex_);
        blocks.clear();
        keep_ = n;
    }
    bool waitForKept(std::chrono::milliseconds limit = 5s) {
        std::unique_lock lock(mutex_);
        return cv_.wait_for(lock, limit, [&] { return blocks.size() >= keep_; });
    }
    int count() {
        std::lock_guard lock(mutex_);
        return count_;
    }

    std::mutex mutex_;
    std::condition_variable cv_;
    std::vector<media::AudioFormat> formats;
    std::vector<std::vector<uint8_t>> blocks;

  private:
    std::size_t keep_ = 0;
    int count_ = 0;
};

int16_t sampleAt(const std::vector<uint8_t>& block, std::size_t i) {
    return static_cast<int16_t>(block[i * 2] | (block[i * 2 + 1] << 8));
}

class SimGraphTest : public ::testing::Test {
  protected:
    void SetUp() override {
        receiver_ = std::make_shared<SimulatedReceiver>(clock_);
        backend_ = createSimulatedBackend(receiver_);
        ASSERT_TRUE(backend_);
        graph_ = backend_->createGraph();
        ASSERT_TRUE(graph_);
        graph_->setEventNotify([this] { notifications_.fetch_add(1); });
    }
    void TearDown() override { graph_.reset(); }

    static media::DeviceInfo receiverDevice() { return {media::kReceiverName, kReceiverPath}; }
    BuildResult build(VideoStandard standard = VideoStandard::Pal) {
        return graph_->build(receiverDevice(), standard, &video_, &audio_);
    }
    int32_t request(std::array<uint8_t, 8>& block) {
        int32_t length = 8;
        return graph_->vendorCmdRW(block.data(), &length);
    }
    int readStatus() {
        std::array<uint8_t, 8> block = {0xC0, 0x03, 0x00, 0x03, 0x00, 0x00, 0x01, 0x00};
        return request(block) == 0 ? block[0] : -1;
    }
    void select(int channel) {
        std::array<uint8_t, 8> high = {0x40, 0x03, 0x02, 0x01, uint8_t(channel >> 1), 0, 0, 0};
        std::array<uint8_t, 8> low = {0x40, 0x03, 0x03, 0x01, uint8_t(channel & 1), 0, 0, 0};
        ASSERT_EQ(request(high), 0);
        ASSERT_EQ(request(low), 0);
    }
    std::vector<GraphEvent> drainEvents() {
        std::vector<GraphEvent> events;
        GraphEvent e;
        while (graph_->nextEvent(e))
            events.push_back(e);
        return events;
    }
    // The channel label of the first picture that shows `wanted`, or of the last one looked at
    // when none did within a second (pictures already under way show the old channel).
    std::string labelWithin(const std::string& wanted) {
        std::string label;
        const auto deadline = Steady::now() + 1s;
        while (label != wanted && Steady::now() < deadline) {
            const auto picture = video_.nextPicture();
            if (picture.empty())
                break;
            label = testing::readChannelLabel(picture.data(), 720);
        }
        return label;
    }
    // Pictures delivered in `window` once the stream has settled.
    int picturesIn(std::chrono::milliseconds window) {
        const int before = video_.count();
        std::this_thread::sleep_for(window);
        return video_.count() - before;
    }

    ManualClock clock_;
    std::shared_ptr<SimulatedReceiver> receiver_;
    std::unique_ptr<media::MediaBackend> backend_;
    RecordingVideoSink video_;
    RecordingAudioSink audio_;
    std::unique_ptr<CaptureGraph> graph_;
    std::atomic<int> notifications_{0};
};

TEST_F(SimGraphTest, EnumerationKeepsOrderAndListsTheUnrelatedCamera) {
    auto devices = backend_->enumerateVideoInputs();
    ASSERT_TRUE(devices);
    ASSERT_EQ(devices->size(), 2u);
    EXPECT_EQ((*devices)[0].name, kUnrelatedDeviceName);
    EXPECT_EQ((*devices)[1].name, "Halcap Capture");
    EXPECT_EQ((*devices)[1].path, kReceiverPath);

    receiver_->setListUnrelatedDevice(false);
    devices = backend_->enumerateVideoInputs();
    ASSERT_EQ(devices->size(), 1u);
    EXPECT_EQ((*devices)[0].name, "Halcap Capture");
}

TEST_F(SimGraphTest, PalPicturesArriveInUyvyAtTwentyFivePerSecond) {
    ASSERT_EQ(build(VideoStandard::Pal), BuildResult::Ok);
    EXPECT_TRUE(graph_->hasAudio());
    ASSERT_TRUE(graph_->run());
    ASSERT_TRUE(video_.waitForCount(3));
    const int n = picturesIn(2000ms);
    EXPECT_GE(n, 30);
    EXPECT_LE(n, 60);
    graph_->stop();

    const auto formats = video_.formatsSeen();
    ASSERT_EQ(formats.size(), 1u);
    EXPECT_EQ(video_.picturesBeforeFormat[0], 0) << "the format comes before the first picture";
    EXPECT_EQ(formats[0].width, 720);
    EXPECT_EQ(formats[0].height, 576);
    EXPECT_EQ(formats[0].fourcc, 0x59565955u);
    EXPECT_EQ(formats[0].framesPerSecond, 25);
    for (std::size_t length : video_.lengths)
        ASSERT_EQ(length, 720u * 576u * 2u);
}

TEST_F(SimGraphTest, NtscGraphDelivers720x480AtThirtyPerSecond) {
    ASSERT_EQ(build(VideoStandard::Pal), BuildResult::Ok);
    graph_.reset();  // a change of standard rebuilds the graph
    graph_ = backend_->createGraph();
    RecordingVideoSink ntsc;
    ASSERT_EQ(graph_->build(receiverDevice(), VideoStandard::Ntsc, &ntsc, nullptr),
              BuildResult::Ok);
    EXPECT_EQ(receiver_->videoStandard(), VideoStandard::Ntsc);
    ASSERT_TRUE(graph_->run());
    ASSERT_TRUE(ntsc.waitForCount(3));
    const int before = ntsc.count();
    std::this_thread::sleep_for(2000ms);
    const int n = ntsc.count() - before;
    EXPECT_GE(n, 36);
    EXPECT_LE(n, 72);
    const auto picture = ntsc.nextPicture();
    ASSERT_EQ(picture.size(), 720u * 480u * 2u);
    EXPECT_EQ(testing::readChannelLabel(picture.data(), 720), "CH1");
    graph_->stop();
    const auto formats = ntsc.formatsSeen();
    ASSERT_EQ(formats.size(), 1u);
    EXPECT_EQ(formats[0].width, 720);
    EXPECT_EQ(formats[0].height, 480);
    EXPECT_EQ(formats[0].framesPerSecond, 30);
}

TEST_F(SimGraphTest, SelectRequestsAreRecordedAndTheTunedChannelShowsInThePicture) {
    ASSERT_EQ(build(), BuildResult::Ok);
    ASSERT_TRUE(graph_->run());
    auto picture = video_.nextPicture();
    ASSERT_FALSE(picture.empty());
    EXPECT_EQ(testing::readChannelLabel(picture.data(), 720), "CH1");

    receiver_->clearRequests();
    select(2);
    const auto log = receiver_->requests();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].block, (std::array<uint8_t, 8>{0x40, 0x03, 0x02, 0x01, 0x01, 0, 0, 0}));
    EXPECT_EQ(log[1].block, (std::array<uint8_t, 8>{0x40, 0x03, 0x03, 0x01, 0x00, 0, 0, 0}));
    EXPECT_EQ(labelWithin("CH3"), "CH3");
    select(3);
    EXPECT_EQ(labelWithin("CH4"), "CH4");
}

TEST_F(SimGraphTest, SoundArrivesFoldedToDoubledMonoClippedAtFullScale) {
    const int16_t leftAmp = 32000, rightAmp = 31000;  // a sine near full scale on both sides
    receiver_->setToneAmplitudes(leftAmp, rightAmp);
    receiver_->tuneChannel(1);
    ASSERT_EQ(build(), BuildResult::Ok);
    audio_.keep(12);
    ASSERT_TRUE(graph_->run());
    ASSERT_TRUE(audio_.waitForKept());
    graph_->stop();

    ASSERT_EQ(audio_.formats.size(), 1u);
    EXPECT_EQ(audio_.formats[0].samplesPerSecond, 48000);
    EXPECT_EQ(audio_.formats[0].bitsPerSample, 16);
    EXPECT_EQ(audio_.formats[0].channels, 2);
    EXPECT_EQ(audio_.formats[0].averageBytesPerSecond, 192000);

    const int period = kSampleRate / SimulatedReceiver::toneFrequencyHz(1);
    std::vector<int16_t> expected(period);
    int maxStep = 0;  // the unclipped sum's largest step from one sample to the next
    for (int i = 0; i < period; ++i) {
        const auto s = SimulatedReceiver::toneSample(1, i, leftAmp, rightAmp);
        const auto next = SimulatedReceiver::toneSample(1, i + 1, leftAmp, rightAmp);
        expected[i] = static_cast<int16_t>(std::clamp(s[0] + s[1], -32768, 32767));
        maxStep = std::max(maxStep, std::abs(next[0] + next[1] - s[0] - s[1]));
    }
    int clipped = 0;
    for (const auto& block : audio_.blocks) {
        ASSERT_EQ(block.size() % 4, 0u);
        const std::size_t frames = block.size() / 4;
        ASSERT_GE(frames, 4u);
        // Where in the tone's period this block starts.
        int offset = -1;
        for (int k = 0; k < period && offset < 0; ++k) {
            bool match = true;
            for (int i = 0; i < 4 && match; ++i) {
                match = sampleAt(block, i * 2) == expected[(k + i) % period];
            }
            if (match)
                offset = k;
        }
        ASSERT_GE(offset, 0) << "block does not follow the channel's tone";
        for (std::size_t f = 0; f < frames; ++f) {
            const int16_t left = sampleAt(block, f * 2), right = sampleAt(block, f * 2 + 1);
            ASSERT_EQ(left, right) << "frame " << f;
            ASSERT_EQ(left, expected[(offset + f) % period]) << "frame " << f;
            if (f > 0) {
                ASSERT_LE(std::abs(left - sampleAt(block, (f - 1) * 2)), maxStep)
                    << "frame " << f << " jumps";
            }
            clipped += left == 32767 || left == -32768;
        }
    }
    EXPECT_GT(clipped, 0) << "the loud tone must have reached full scale somewhere";
}

TEST_F(SimGraphTest, PauseStopsDeliveryAndRunResumesIt) {
    ASSERT_EQ(build(), BuildResult::Ok);
    ASSERT_TRUE(graph_->run());
    ASSERT_TRUE(video_.waitForCount(3));
    ASSERT_TRUE(graph_->pause());
    std::this_thread::sleep_for(200ms);  // what was under way arrives
    const int videoPaused = video_.count();
    const int audioPaused = audio_.count();
    std::this_thread::sleep_for(600ms);
    EXPECT_EQ(video_.count(), videoPaused);
    EXPECT_EQ(audio_.count(), audioPaused);

    ASSERT_TRUE(graph_->run());
    EXPECT_TRUE(video_.waitForCount(videoPaused + 5));
    std::this_thread::sleep_for(100ms);
    EXPECT_GT(audio_.count(), audioPaused);
    EXPECT_EQ(video_.formatsSeen().size(), 1u) << "resuming does not renegotiate";

    graph_->stop();  // a stopped graph runs again from the start
    const int stopped = video_.count();
    ASSERT_TRUE(graph_->run());
    EXPECT_TRUE(video_.waitForCount(stopped + 5));
}

TEST_F(SimGraphTest, VolumeGoesToTheSoundOutputsVolumeElement) {
    ASSERT_EQ(build(), BuildResult::Ok);
    auto* gst = dynamic_cast<media::GstCaptureGraph*>(graph_.get());
    ASSERT_NE(gst, nullptr);
    EXPECT_DOUBLE_EQ(gst->volumeFactor(), 1.0);
    graph_->setVolume(-10000);
    EXPECT_DOUBLE_EQ(gst->volumeFactor(), 0.0);
    graph_->setVolume(-2500);  // the engine's curve at volume 50
    EXPECT_NEAR(gst->volumeFactor(), 0.0562341, 1e-6);
    graph_->setVolume(0);
    EXPECT_DOUBLE_EQ(gst->volumeFactor(), 1.0);
    ASSERT_TRUE(graph_->run());
    graph_->setVolume(-2000);
    EXPECT_NEAR(gst->volumeFactor(), 0.1, 1e-6);
}

TEST_F(SimGraphTest, StatusReadsFollowTheScriptedAlarmsAndTheFaultSwitches) {
    ASSERT_EQ(build(), BuildResult::Ok);
    receiver_->scheduleAlarmIn(0, kMotionAlarm, 0, 1000);
    receiver_->scheduleAlarmIn(3, kSoundAlarm, 0, 3000);
    EXPECT_EQ(readStatus(), 0xEF);
    select(3);
    EXPECT_EQ(readStatus(), 0xDF);
    clock_.advanceMs(3000);
    EXPECT_EQ(readStatus(), 0xFF);

    receiver_->failNextStatusRead();
    EXPECT_NE(readStatus(), 0xFF);
    EXPECT_EQ(readStatus(), 0xFF);
    receiver_->failNextSelect();
    std::array<uint8_t, 8> high = {0x40, 0x03, 0x02, 0x01, 0x00, 0, 0, 0};
    EXPECT_NE(request(high), 0);
    EXPECT_EQ(receiver_->channel(), 3);
    int32_t badLength = 9;
    EXPECT_NE(graph_->vendorCmdRW(high.data(), &badLength), 0);
}

TEST_F(SimGraphTest, UnplugReportsTheLossAndReplugAnnouncesTheDevice) {
    std::atomic<int> arrivals{0};
    backend_->setArrivalNotify([&] { arrivals.fetch_add(1); });
    ASSERT_EQ(build(), BuildResult::Ok);
    ASSERT_TRUE(graph_->run());
    ASSERT_TRUE(video_.waitForCount(3));
    EXPECT_TRUE(drainEvents().empty());

    receiver_->unplug();
    EXPECT_GE(notifications_.load(), 1);
    auto events = drainEvents();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].code, media::kEventDeviceLost);
    EXPECT_TRUE(events[0].removed);
    EXPECT_TRUE(events[0].isCaptureDevice);
    auto devices = backend_->enumerateVideoInputs();
    ASSERT_EQ(devices->size(), 1u);
    EXPECT_EQ((*devices)[0].name, kUnrelatedDeviceName);
    EXPECT_EQ(readStatus(), -1);
    std::this_thread::sleep_for(150ms);
    const int stalled = video_.count();
    std::this_thread::sleep_for(400ms);
    EXPECT_EQ(video_.count(), stalled) << "no pictures from an unplugged receiver";
    EXPECT_EQ(arrivals.load(), 0);

    receiver_->replug();
    EXPECT_EQ(arrivals.load(), 1);
    devices = backend_->enumerateVideoInputs();
    ASSERT_EQ(devices->size(), 2u);
    EXPECT_EQ((*devices)[1].name, "Halcap Capture");
    events = drainEvents();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_FALSE(events[0].removed) << "the device came back";
}

// Collects what the program logs (from any thread) while it lives, with the media category on.
class LogCapture {
  public:
    LogCapture() {
        std::lock_guard lock(mutex());
        lines().clear();
        previous_ = qInstallMessageHandler(&LogCapture::handle);
        QLoggingCategory::setFilterRules("vidora.media=true");
    }
    ~LogCapture() {
        QLoggingCategory::setFilterRules("");
        qInstallMessageHandler(previous_);
    }
    std::string text() const {
        std::lock_guard lock(mutex());
        return lines();
    }

  private:
    static void handle(QtMsgType, const QMessageLogContext& context, const QString& message) {
        std::lock_guard lock(mutex());
        lines() += std::string(context.category ? context.category : "") + ": " +
                   message.toStdString() + "\n";
    }
    static std::mutex& mutex() {
        static std::mutex m;
        return m;
    }
    static std::string& lines() {
        static std::string text;
        return text;
    }
    QtMessageHandler previous_ = nullptr;
};

TEST_F(SimGraphTest, StreamFailureBecomesAnErrorAbortEventAndItsTextIsLogged) {
    LogCapture log;
    ASSERT_EQ(build(), BuildResult::Ok);
    ASSERT_TRUE(graph_->run());
    ASSERT_TRUE(video_.waitForCount(2));
    const int before = notifications_.load();
    receiver_->failStream();
    const auto deadline = Steady::now() + 5s;
    while (notifications_.load() == before && Steady::now() < deadline) {
        std::this_thread::sleep_for(10ms);
    }
    const auto events = drainEvents();
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events[0].code, media::kEventErrorAbort);
    // GStreamer's own words, and its debug string, reach the media log.
    const std::string logged = log.text();
    EXPECT_NE(logged.find("vidora.media: error from \"Capture\": The receiver stopped delivering "
                          "pictures. ["),
              std::string::npos)
        << logged;
    EXPECT_NE(logged.find("simulated transfer failure]"), std::string::npos) << logged;
}

TEST_F(SimGraphTest, TheGraphIsMadeOfTheElementsTheDemoIsListedToNeed) {
    ASSERT_EQ(build(), BuildResult::Ok);
    ASSERT_TRUE(graph_->run());
    ASSERT_TRUE(video_.waitForCount(1));
    auto* graph = dynamic_cast<media::GstCaptureGraph*>(graph_.get());
    ASSERT_NE(graph, nullptr);
    std::istringstream names(graph->elementFactoryNames());
    std::set<std::string> used;
    for (std::string name; names >> name;)
        used.insert(name);
    EXPECT_TRUE(used.count("appsrc") && used.count("appsink") && used.count("videoconvert"));
    // The sound output: a sound device, or the silent stand-in on machines without one.
    EXPECT_TRUE(used.count("autoaudiosink") || used.count("fakesink"));
    for (const std::string& name : used) {
        const auto listed =
            std::find_if(media::graphElements().begin(), media::graphElements().end(),
                         [&](const media::GraphElement& e) { return name == e.factory; });
        ASSERT_NE(listed, media::graphElements().end()) << name << " is not listed";
        EXPECT_TRUE(listed->demo) << name << " is not listed for the demo";
    }
}

TEST_F(SimGraphTest, DelayedFrameLeavesAGapInTheStream) {
    ASSERT_EQ(build(), BuildResult::Ok);
    ASSERT_TRUE(graph_->run());
    ASSERT_TRUE(video_.waitForCount(3));
    receiver_->delayNextFrame(600);
    const int start = video_.count();
    ASSERT_TRUE(video_.waitForCount(start + 4));
    graph_->stop();
    std::lock_guard lock(video_.mutex_);
    Steady::duration longest{};
    for (std::size_t i = std::size_t(start); i < video_.arrivals.size(); ++i) {
        longest = std::max(longest, video_.arrivals[i] - video_.arrivals[i - 1]);
    }
    // Pictures already queued in the graph may fill the first part of the gap.
    EXPECT_GE(longest, 450ms);
    EXPECT_LT(longest, 1500ms);
}

TEST_F(SimGraphTest, AdjustmentsAreReadAndSetThroughTheGraph) {
    media::AdjustTable table{};
    EXPECT_FALSE(graph_->readAdjustments(table)) << "no device bound yet";
    ASSERT_EQ(build(), BuildResult::Ok);
    ASSERT_TRUE(graph_->readAdjustments(table));
    EXPECT_EQ(table[media::kBrightness].minimum, 0);
    EXPECT_EQ(table[media::kBrightness].maximum, 10000);
    EXPECT_EQ(table[media::kBrightness].defaultValue, 2119);
    EXPECT_EQ(table[media::kContrast].current, 4667);

    ASSERT_TRUE(graph_->run());
    auto before = video_.nextPicture();
    ASSERT_TRUE(graph_->setAdjustment(media::AdjustmentKind::Brightness, 9000));
    EXPECT_EQ(receiver_->adjustments()[media::kBrightness].current, 9000);
    video_.nextPicture();
    auto after = video_.nextPicture();
    ASSERT_EQ(before.size(), after.size());
    // The sky of camera 1, away from the moving car.
    EXPECT_GT(testing::lumaAt(after.data(), 720, 600, 150),
              testing::lumaAt(before.data(), 720, 600, 150) + 50);

    ASSERT_TRUE(graph_->setAdjustment(media::AdjustmentKind::Sharpness, 4));
    ASSERT_TRUE(graph_->setAdjustment(media::AdjustmentKind::Contrast, 5000));
    ASSERT_TRUE(graph_->setAdjustment(media::AdjustmentKind::Saturation, 100));
    ASSERT_TRUE(graph_->setAdjustment(media::AdjustmentKind::Hue, 5));
    ASSERT_TRUE(graph_->readAdjustments(table));
    EXPECT_EQ(table[media::kBrightness].current, 9000);
    EXPECT_EQ(table[media::kSharpness].current, 4);
    EXPECT_EQ(table[media::kContrast].current, 5000);
    EXPECT_EQ(table[media::kSaturation].current, 100);
    EXPECT_EQ(table[media::kHue].current, 5);
    EXPECT_FALSE(graph_->setAdjustment(static_cast<media::AdjustmentKind>(0), 1));
    EXPECT_FALSE(graph_->setAdjustment(static_cast<media::AdjustmentKind>(6), 1));
}

TEST_F(SimGraphTest, OnlyThePluggedReceiverCanBeBound) {
    EXPECT_EQ(graph_->build({kUnrelatedDeviceName, kUnrelatedDevicePath}, VideoStandard::Pal,
                            &video_, &audio_),
              BuildResult::BindFailed);
    receiver_->unplug();
    EXPECT_EQ(build(), BuildResult::BindFailed);
    EXPECT_FALSE(graph_->run());
    receiver_->replug();
    EXPECT_EQ(build(), BuildResult::Ok);
    EXPECT_EQ(build(), BuildResult::Ok) << "building again is a no-op";
    ASSERT_TRUE(graph_->run());
    EXPECT_TRUE(video_.waitForCount(2));
}

TEST_F(SimGraphTest, AReceiverWithoutSoundStillGivesPictures) {
    receiver_->setSoundOutput(false);
    ASSERT_EQ(build(), BuildResult::Ok);
    EXPECT_FALSE(graph_->hasAudio());
    graph_->setVolume(-2500);  // nothing to turn down, and no harm done
    ASSERT_TRUE(graph_->run());
    EXPECT_TRUE(video_.waitForCount(5));
    graph_->stop();
    EXPECT_EQ(audio_.count(), 0);
    EXPECT_TRUE(audio_.formats.empty());
}

TEST_F(SimGraphTest, ARejectedFormatGetsNoPictures) {
    RecordingVideoSink refusing(false);
    ASSERT_EQ(graph_->build(receiverDevice(), VideoStandard::Pal, &refusing, &audio_),
              BuildResult::Ok);
    audio_.keep(3);
    ASSERT_TRUE(graph_->run());
    ASSERT_TRUE(audio_.waitForKept()) << "the sound keeps flowing";
    std::this_thread::sleep_for(200ms);
    graph_->stop();
    EXPECT_EQ(refusing.formatsSeen().size(), 1u);
    EXPECT_EQ(refusing.count(), 0);
}

TEST_F(SimGraphTest, EveryLiveGraphOfTheReceiverHearsOfItsLoss) {
    ASSERT_EQ(build(), BuildResult::Ok);
    auto second = backend_->createGraph();
    RecordingVideoSink otherVideo;
    std::atomic<int> otherNotified{0};
    second->setEventNotify([&] { otherNotified.fetch_add(1); });
    ASSERT_EQ(second->build(receiverDevice(), VideoStandard::Pal, &otherVideo, nullptr),
              BuildResult::Ok);
    receiver_->unplug();
    EXPECT_EQ(otherNotified.load(), 1);
    EXPECT_EQ(drainEvents().size(), 1u);
    receiver_->replug();
    drainEvents();

    second.reset();  // a destroyed graph is no longer told
    receiver_->unplug();
    EXPECT_EQ(otherNotified.load(), 2) << "the replug was announced to it, nothing after";
    EXPECT_EQ(drainEvents().size(), 1u);
}

// The real backend has nothing to show on a machine without capture devices, but it must say so
// cleanly: an empty list, and graphs that refuse to bind.
TEST(RealBackend, WithoutCaptureDevicesEnumeratesNothingAndBindsNothing) {
    auto backend = media::createGstBackend();
    ASSERT_TRUE(backend);
    const auto devices = backend->enumerateVideoInputs();
    ASSERT_TRUE(devices.has_value());
    for (const auto& d : *devices)
        EXPECT_EQ(d.path.rfind("/dev/", 0), 0u) << d.name;
    auto graph = backend->createGraph();
    RecordingVideoSink video;
    EXPECT_EQ(graph->build({media::kReceiverName, "/dev/video-none"}, VideoStandard::Pal, &video,
                           nullptr),
              BuildResult::BindFailed);
    EXPECT_EQ(graph->build({media::kReceiverName, ""}, VideoStandard::Pal, &video, nullptr),
              BuildResult::BindFailed);
    EXPECT_FALSE(graph->run());
    std::array<uint8_t, 8> status = {0xC0, 0x03, 0x00, 0x03, 0x00, 0x00, 0x01, 0x00};
    int32_t length = 8;
    EXPECT_NE(graph->vendorCmdRW(status.data(), &length), 0) << "no receiver behind it";
    media::AdjustTable table{};
    EXPECT_FALSE(graph->readAdjustments(table));
}

}  // namespace
}  // namespace vidora::sim
