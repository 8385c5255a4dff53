// The engine over the real GStreamer backend, whose device monitor reports the devices of the
// fake providers (tests/media/fake_provider): which device is the receiver, how a receiver that
// arrives is connected and one that goes is reported, and a failing build that is told while
// arrivals connect again from inside its message box.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <thread>

#include "app/messages.h"
#include "app/preference_keys.h"
#include "app/preferences.h"
#include "app/settings.h"
#include "engine/engine_module.h"
#include "engine/status_board.h"
#include "engine/timer_state.h"
#include "platform/media/gst_backend.h"
#include "tests/engine/fakes.h"
#include "tests/media/fake_provider/fake_devices.h"

namespace vidora {
namespace {

using test::FakeDevice;
using test::waitFor;
using Provider = test::FakeDevice::Provider;
using Messages = std::vector<std::pair<std::string, std::string>>;

const FakeDevice kReceiver{Provider::V4l2, "/dev/video92", "Halcap Capture"};
const FakeDevice kBrokenReceiver{Provider::V4l2, "/dev/video92", "Halcap Capture", true};
const FakeDevice kCamera{Provider::PipeWire, "/dev/video90", "USB Video"};
const FakeDevice kSecondReceiver{Provider::PipeWire, "/dev/video91", "Halcap Capture 2"};

// Runs `work` on a thread of its own and waits a bounded time for it. A thread that deadlocked
// cannot be taken back, so the program ends there with the failure said.
void finishesWithin(std::chrono::seconds limit, const std::function<void()>& work) {
    std::promise<void> done;
    std::future<void> finished = done.get_future();
    std::thread runner([&] {
        work();
        done.set_value();
    });
    if (finished.wait_for(limit) != std::future_status::ready) {
        std::fprintf(stderr, "FAILED: the work did not finish within %lld s (deadlock)\n",
                     static_cast<long long>(limit.count()));
        std::fflush(stderr);
        std::_Exit(1);
    }
    runner.join();
}

class ProviderEngineTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { devices_ = new test::FakeDevices(); }
    static void TearDownTestSuite() {
        delete devices_;
        devices_ = nullptr;
    }

    void SetUp() override {
        ASSERT_TRUE(devices_->loaded()) << "the fake provider plugin was not found";
        devices_->set({});
        applyDefaultSettings();
        resetTimerState();
        preferences().set(kReceiverDevice, "");
        setVideoWindow(&window);
    }
    void TearDown() override {
        module.reset();
        preferences().set(kReceiverDevice, "");
        setVideoWindow(nullptr);
    }

    void start() {
        EngineServices services;
        services.backend =
            media::createGstBackend([] { return std::make_unique<test::FakeDeviceSource>(); });
        services.soundPlayer = std::make_unique<test::FakeSoundPlayer>(soundLog);
        services.recording = std::make_unique<test::SpyRecordingPort>(recordingLog);
        services.notify = [](int32_t) {};
        services.messageBox = [this](const std::string& text, const std::string& caption,
                                     uint32_t) {
            {
                std::lock_guard lock(mutex);
                messages.emplace_back(text, caption);
            }
            if (duringMessage)
                duringMessage();
            return 1;
        };
        services.folderWatchers = false;
        module = std::make_unique<EngineModule>(kEngineModuleNumber, std::move(services));
        ASSERT_EQ(module->start().reason(), "");
    }
    CaptureEngine& engine() { return module->engine(); }
    void send(int32_t id) {
        BusMessage message{id, 0, 0};
        module->handleSend(message);
    }
    Messages shownMessages() {
        std::lock_guard lock(mutex);
        return messages;
    }
    void plug(const std::vector<FakeDevice>& devices) {
        devices_->set(devices);
        devices_->rescan();
    }
    bool picturesFlow() {
        const int before = window.pictures.load();
        return waitFor([&] { return window.pictures.load() >= before + 3; }, 10000);
    }
    static std::vector<std::string> paths(const std::vector<media::DeviceInfo>& devices) {
        std::vector<std::string> list;
        for (const auto& d : devices)
            list.push_back(d.path);
        return list;
    }

    static test::FakeDevices* devices_;
    std::shared_ptr<test::SoundLog> soundLog = std::make_shared<test::SoundLog>();
    std::shared_ptr<test::RecordingLog> recordingLog = std::make_shared<test::RecordingLog>();
    test::FakeVideoWindow window;
    std::mutex mutex;
    Messages messages;
    // What the event loop of a shown message box delivers meanwhile.
    std::function<void()> duringMessage;
    std::unique_ptr<EngineModule> module;
};
test::FakeDevices* ProviderEngineTest::devices_ = nullptr;

TEST_F(ProviderEngineTest, TheReceiverIsTheChosenNodeOrTheDeviceWithItsExactName) {
    devices_->set({kCamera, kSecondReceiver});
    start();
    EXPECT_FALSE(engine().graphBuilt()) << "neither a similar name nor another camera is taken";
    EXPECT_EQ(shownMessages(), (Messages{{kNoReceiverText, ""}}));
    EXPECT_EQ(paths(engine().seenDevices()).size(), 2u);

    // Chosen by its node, a device of any name is the receiver, and streams.
    preferences().set(kReceiverDevice, kCamera.node);
    send(ENG_CONNECT);
    ASSERT_TRUE(engine().graphBuilt());
    EXPECT_EQ(paths(engine().devices()), std::vector<std::string>{kCamera.node});
    EXPECT_TRUE(picturesFlow());
    EXPECT_EQ(shownMessages().size(), 1u);

    // The chosen node wins over the exact name; without a choice the exact name is taken.
    plug({kCamera, kSecondReceiver, kReceiver});
    ASSERT_TRUE(engine().enumerateReceivers());
    EXPECT_EQ(paths(engine().devices()), std::vector<std::string>{kCamera.node});
    preferences().set(kReceiverDevice, "");
    ASSERT_TRUE(engine().enumerateReceivers());
    EXPECT_EQ(paths(engine().devices()), std::vector<std::string>{kReceiver.node});
    // Chosen but not there: the exact name still finds the receiver.
    preferences().set(kReceiverDevice, "/dev/video99");
    ASSERT_TRUE(engine().enumerateReceivers());
    EXPECT_EQ(paths(engine().devices()), std::vector<std::string>{kReceiver.node});
}

TEST_F(ProviderEngineTest, AnArrivingReceiverIsConnectedAndARemovedOneReportedAsUnplugged) {
    start();
    EXPECT_FALSE(engine().graphBuilt());
    EXPECT_EQ(statusBoard().link(), ReceiverLink::NotFound);

    // The arrival notice makes the UI send ENG_CONNECT.
    plug({kCamera, kReceiver});
    ASSERT_TRUE(waitFor([&] { return window.arrivals.load() >= 1; }));
    send(ENG_CONNECT);
    ASSERT_TRUE(engine().graphBuilt());
    EXPECT_TRUE(engine().live());
    EXPECT_EQ(statusBoard().link(), ReceiverLink::Connected);
    EXPECT_TRUE(picturesFlow());

    // Another camera going away is nothing to the viewer.
    const int notifiesBefore = window.graphNotifies.load();
    plug({kReceiver});
    send(ENG_GRAPH_EVENT);
    EXPECT_TRUE(engine().graphBuilt());

    // The receiver going away: the graph's notice makes the UI send ENG_GRAPH_EVENT.
    plug({});
    ASSERT_TRUE(waitFor([&] { return window.graphNotifies.load() > notifiesBefore; }));
    send(ENG_GRAPH_EVENT);
    EXPECT_FALSE(engine().graphBuilt());
    EXPECT_FALSE(engine().live());
    EXPECT_EQ(statusBoard().link(), ReceiverLink::Unplugged);
    EXPECT_EQ(shownMessages(), (Messages{{kNoReceiverText, ""}, {kReceiverUnpluggedText, ""}}));

    // Back again: connected and streaming once more.
    const int arrivalsBefore = window.arrivals.load();
    plug({kReceiver});
    ASSERT_TRUE(waitFor([&] { return window.arrivals.load() > arrivalsBefore; }));
    send(ENG_CONNECT);
    ASSERT_TRUE(engine().graphBuilt());
    EXPECT_EQ(statusBoard().link(), ReceiverLink::Connected);
    EXPECT_TRUE(picturesFlow());
    EXPECT_EQ(shownMessages().size(), 2u);
}

TEST_F(ProviderEngineTest, ArrivalsWhileAFailedBuildIsToldConnectAgainWithoutDeadlock) {
    // The receiver's element cannot be made: each attempt fails as a video path that cannot be
    // rendered. While its message box is shown, two devices arrive; the UI answers each arrival
    // with ENG_CONNECT from inside the box's event loop, on the same thread. By the second the
    // receiver works.
    finishesWithin(std::chrono::seconds(30), [&] {
        devices_->set({kBrokenReceiver});
        start();
        ASSERT_EQ(shownMessages(), (Messages{{kReceiverBusyText, "error"}}));

        int delivered = 0;
        duringMessage = [&] {
            if (delivered == 2)
                return;
            const int arrivals = window.arrivals.load();
            ++delivered;
            plug(delivered == 1 ? std::vector<FakeDevice>{kBrokenReceiver, kCamera}
                                : std::vector<FakeDevice>{kReceiver, kCamera});
            ASSERT_TRUE(waitFor([&] { return window.arrivals.load() > arrivals; }));
            send(ENG_CONNECT);
        };
        send(ENG_CONNECT);
        EXPECT_EQ(delivered, 2);
        // One message per failed attempt (the start, the connect, the first arrival's), each
        // shown once the attempt let go of the engine lock (else the nested connect would
        // never return).
        EXPECT_EQ(shownMessages(), (Messages{{kReceiverBusyText, "error"},
                                             {kReceiverBusyText, "error"},
                                             {kReceiverBusyText, "error"}}));
        EXPECT_TRUE(engine().graphBuilt());
        EXPECT_TRUE(engine().live());
        EXPECT_TRUE(picturesFlow());
        duringMessage = {};
        module.reset();
    });
}

}  // namespace
}  // namespace vidora
