// The real GStreamer backend's device monitor over the fake device providers (loaded through
// GST_PLUGIN_PATH): which devices it lists, and how a device that comes or goes reaches the
// arrival notice and the graphs built on it.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>
#include <utility>

#include "platform/media/gst_backend.h"
#include "tests/media/fake_provider/fake_devices.h"

namespace vidora::media {
namespace {

using test::FakeDevice;
using Provider = test::FakeDevice::Provider;
using Listed = std::vector<std::pair<std::string, std::string>>;  // node, name

bool waitFor(const std::function<bool()>& done, int limitMs = 5000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() >= end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

class CountingVideoSink final : public VideoTransferSink {
  public:
    bool acceptVideoFormat(const VideoFormat& format) override {
        width = format.width;
        return true;
    }
    void renderVideo(const uint8_t*, std::size_t) override { pictures.fetch_add(1); }
    std::atomic<int> width{0};
    std::atomic<int> pictures{0};
};

class FakeProviderTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { devices_ = new test::FakeDevices(); }
    static void TearDownTestSuite() {
        delete devices_;
        devices_ = nullptr;
    }
    void SetUp() override {
        ASSERT_TRUE(devices_->loaded()) << "the fake provider plugin was not found";
        devices_->set({});
    }

    std::unique_ptr<MediaBackend> makeBackend() {
        return createGstBackend([] { return std::make_unique<test::FakeDeviceSource>(); });
    }
    static Listed listed(MediaBackend& backend) {
        Listed list;
        for (const DeviceInfo& d :
             backend.enumerateVideoInputs().value_or(std::vector<DeviceInfo>{}))
            list.emplace_back(d.path, d.name);
        std::sort(list.begin(), list.end());
        return list;
    }
    std::vector<GraphEvent> drainEvents(CaptureGraph& graph) {
        std::vector<GraphEvent> events;
        GraphEvent event;
        while (graph.nextEvent(event))
            events.push_back(event);
        return events;
    }

    static test::FakeDevices* devices_;
};
test::FakeDevices* FakeProviderTest::devices_ = nullptr;

TEST_F(FakeProviderTest, ListsEachNodeOnceWhicheverProviderNamesIt) {
    devices_->set({
        {Provider::V4l2, "/dev/video90", "USB Video"},
        {Provider::PipeWire, "/dev/video91", "Halcap Capture 2"},
        // The same receiver through both providers, as with PipeWire running.
        {Provider::V4l2, "/dev/video92", "Halcap Capture"},
        {Provider::PipeWire, "/dev/video92", "Halcap Capture"},
        // A node we could not open ourselves is no capture device of ours.
        {Provider::PipeWire, "pipewire:77", "Virtual Camera"},
    });
    auto backend = makeBackend();
    EXPECT_EQ(listed(*backend), (Listed{{"/dev/video90", "USB Video"},
                                        {"/dev/video91", "Halcap Capture 2"},
                                        {"/dev/video92", "Halcap Capture"}}));

    // Only the second provider still offers the receiver: it stays listed, once.
    devices_->set({{Provider::PipeWire, "/dev/video92", "Halcap Capture"}});
    devices_->rescan();
    EXPECT_EQ(listed(*backend), (Listed{{"/dev/video92", "Halcap Capture"}}));
    devices_->set({});
    devices_->rescan();
    EXPECT_TRUE(listed(*backend).empty());
}

TEST_F(FakeProviderTest, ArrivalAndRemovalReachTheNoticeAndTheGraphsOnTheDevice) {
    const FakeDevice receiver{Provider::V4l2, "/dev/video92", "Halcap Capture"};
    const FakeDevice camera{Provider::PipeWire, "/dev/video90", "USB Video"};
    devices_->set({camera});
    auto backend = makeBackend();
    std::atomic<int> arrivals{0};
    backend->setArrivalNotify([&] { arrivals.fetch_add(1); });

    devices_->set({camera, receiver});
    devices_->rescan();
    ASSERT_TRUE(waitFor([&] { return arrivals.load() == 1; }));
    ASSERT_EQ(listed(*backend).size(), 2u);

    // A graph on the receiver streams from it; one on the camera hears nothing of the receiver.
    auto graph = backend->createGraph();
    auto cameraGraph = backend->createGraph();
    CountingVideoSink video, cameraVideo;
    std::atomic<int> told{0};
    graph->setEventNotify([&] { told.fetch_add(1); });
    ASSERT_EQ(graph->build({receiver.name, receiver.node}, VideoStandard::Pal, &video, nullptr),
              BuildResult::Ok);
    ASSERT_EQ(
        cameraGraph->build({camera.name, camera.node}, VideoStandard::Pal, &cameraVideo, nullptr),
        BuildResult::Ok);
    EXPECT_FALSE(graph->hasAudio());
    ASSERT_TRUE(graph->run());
    ASSERT_TRUE(waitFor([&] { return video.pictures.load() >= 3; }));
    EXPECT_EQ(video.width.load(), 720);

    devices_->set({camera});
    devices_->rescan();
    ASSERT_TRUE(waitFor([&] { return told.load() == 1; }));
    auto events = drainEvents(*graph);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].code, kEventDeviceLost);
    EXPECT_TRUE(events[0].removed);
    EXPECT_TRUE(events[0].isCaptureDevice);
    EXPECT_TRUE(drainEvents(*cameraGraph).empty());
    EXPECT_EQ(arrivals.load(), 1) << "a removal is no arrival";

    // Back again: the graph hears of the return (which the engine ignores) and the arrival
    // notice runs.
    devices_->set({camera, receiver});
    devices_->rescan();
    ASSERT_TRUE(waitFor([&] { return arrivals.load() == 2; }));
    events = drainEvents(*graph);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].code, kEventDeviceLost);
    EXPECT_FALSE(events[0].removed);
    graph->stop();
    cameraGraph->stop();

    // A device gone before its graph is built cannot be bound; one without an element fails as
    // a video path that cannot be rendered.
    devices_->set({{Provider::V4l2, "/dev/video93", "Halcap Capture", true}});
    devices_->rescan();
    auto late = backend->createGraph();
    EXPECT_EQ(late->build({receiver.name, receiver.node}, VideoStandard::Pal, &video, nullptr),
              BuildResult::BindFailed);
    EXPECT_EQ(late->build({receiver.name, "/dev/video93"}, VideoStandard::Pal, &video, nullptr),
              BuildResult::VideoRenderFailed);
}

TEST_F(FakeProviderTest, ANodeOfferedByTwoProvidersIsLostOnlyWhenBothLetGo) {
    const FakeDevice throughV4l2{Provider::V4l2, "/dev/video92", "Halcap Capture"};
    const FakeDevice throughPipeWire{Provider::PipeWire, "/dev/video92", "Halcap Capture"};
    devices_->set({throughV4l2, throughPipeWire});
    auto backend = makeBackend();
    auto graph = backend->createGraph();
    CountingVideoSink video;
    ASSERT_EQ(
        graph->build({throughV4l2.name, throughV4l2.node}, VideoStandard::Pal, &video, nullptr),
        BuildResult::Ok);

    // PipeWire going away (a restarted session) leaves the node with the V4L2 provider.
    devices_->set({throughV4l2});
    devices_->rescan();
    for (const GraphEvent& e : drainEvents(*graph))
        EXPECT_FALSE(e.removed) << "the device is still there";

    devices_->set({});
    devices_->rescan();
    const auto events = drainEvents(*graph);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_TRUE(events[0].removed);
}

}  // namespace
}  // namespace vidora::media
