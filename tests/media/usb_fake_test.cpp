// The receiver's control path as the real backend runs it, down to the libusb calls: the sysfs
// lookup of the USB device behind the video node, the control endpoint opened through libusb,
// the vendor requests as control transfers, and the engine on top. libusb is the fake one
// linked into this program ahead of the real library (each fixture checks that it is the one
// answering).
#include <gtest/gtest.h>

#include <libusb.h>

#include <QLoggingCategory>
#include <algorithm>
#include <atomic>
#include <cstring>
#include <set>

#include "app/bus.h"
#include "app/messages.h"
#include "app/settings.h"
#include "engine/engine_module.h"
#include "engine/receiver_control.h"
#include "engine/timer_state.h"
#include "platform/clock.h"
#include "platform/log/log.h"
#include "platform/relaxed.h"
#include "platform/usb/control_link.h"
#include "platform/usb/libusb_device.h"
#include "platform/usb/sysfs_lookup.h"
#include "tests/engine/fakes.h"
#include "tests/media/fake_libusb.h"
#include "tests/media/fake_sysfs.h"

namespace vidora {
namespace {

namespace fs = std::filesystem;
using fakeusb::Call;

constexpr int kReceiverAddress = 7;
constexpr int kWebcamAddress = 5;

fakeusb::Device receiverDevice(int address = kReceiverAddress) {
    fakeusb::Device d;
    d.bus = 1;
    d.address = address;
    d.vendorId = 0x1b80;
    d.productId = 0xe309;
    return d;
}

// The libusb functions that leave the capture driver its interfaces; anything else (claiming an
// interface, detaching the kernel driver, setting a configuration, resetting the device) would
// take the video away from uvcvideo.
const std::set<std::string> kHarmlessCalls{"libusb_init",
                                           "libusb_exit",
                                           "libusb_get_device_list",
                                           "libusb_free_device_list",
                                           "libusb_open",
                                           "libusb_close",
                                           "libusb_control_transfer",
                                           "libusb_get_device_descriptor",
                                           "libusb_ref_device",
                                           "libusb_unref_device"};

std::vector<Call> transfers() {
    std::vector<Call> t;
    for (const Call& c : fakeusb::calls()) {
        if (c.function == "libusb_control_transfer")
            t.push_back(c);
    }
    return t;
}

std::vector<Call> selects() {
    std::vector<Call> t = transfers();
    std::erase_if(t, [](const Call& c) { return c.requestType != 0x40; });
    return t;
}

// The receiver (video2, USB 1-4.1 = bus 1 device 7, on a hub) and a webcam (video0, 1-2 = bus 1
// device 5) in sysfs and on the fake bus.
class FakeUsbBus : public ::testing::Test {
  protected:
    void SetUp() override {
        const fs::path usb = "devices/pci0000:00/0000:00:14.0/usb1";
        sysfs_.usbDevice(usb, 1, 1);
        sysfs_.usbDevice(usb / "1-4", 1, 3);
        sysfs_.usbDevice(usb / "1-4" / "1-4.1", 1, kReceiverAddress);
        sysfs_.usbDevice(usb / "1-2", 1, kWebcamAddress);
        sysfs_.videoNode("video0", usb / "1-2" / "1-2:1.0", "Integrated Webcam");
        sysfs_.videoNode("video2", usb / "1-4" / "1-4.1" / "1-4.1:1.0", "Halcap Capture");
        fakeusb::Device webcam;
        webcam.bus = 1;
        webcam.address = kWebcamAddress;
        fakeusb::reset({webcam, receiverDevice()});
        // The fake answers, not the real libusb: a context of the real one would not be logged.
        libusb_context* context = nullptr;
        ASSERT_EQ(libusb_init(&context), 0);
        libusb_exit(context);
        ASSERT_EQ(fakeusb::count("libusb_init"), 1) << "the real libusb was linked first";
        fakeusb::clearCalls();
    }
    void TearDown() override {
        EXPECT_EQ(fakeusb::misuse(), std::vector<std::string>{});
        for (const Call& c : fakeusb::calls())
            EXPECT_TRUE(kHarmlessCalls.count(c.function)) << c.function;
    }

    // The control link exactly as the real backend's capture source makes it for `node`.
    usb::ControlLink::Opener opener(const std::string& node = "video2") {
        return [root = sysfs_.root(), node] {
            usb::OpenedTransport opened{nullptr, LIBUSB_ERROR_NOT_FOUND};
            if (auto address = usb::usbAddressOfVideoNode(root, node))
                opened.transport = usb::LibusbControlDevice::open(*address, &opened.error);
            return opened;
        };
    }

    test::FakeSysfsTree sysfs_;
};

int32_t send(usb::ControlLink& link, std::array<uint8_t, 8>& block) {
    const int32_t length = 8;
    return link.send(block.data(), &length);
}

TEST_F(FakeUsbBus, TheThreeRequestsGoOutAsControlTransfersOnTheReceiversOwnDevice) {
    ASSERT_TRUE(fakeusb::script([] {
        fakeusb::Device d = receiverDevice();
        d.status = 0xDF;  // the sound alarm input is active (bit 5 clear)
        return d;
    }()));
    {
        usb::ControlLink link(opener());
        auto high = selectHighRequest(1);
        auto low = selectLowRequest(0);
        auto status = readStatusRequest();
        EXPECT_EQ(send(link, high), usb::kVendorRequestOk);
        EXPECT_EQ(send(link, low), usb::kVendorRequestOk);
        EXPECT_EQ(send(link, status), usb::kVendorRequestOk);
        EXPECT_EQ(status, (std::array<uint8_t, 8>{0xDF, 0x03, 0x00, 0x03, 0x00, 0x00, 0x01, 0x00}))
            << "the status byte comes back at the start of the block, the rest as it was";
        EXPECT_EQ(high, selectHighRequest(1)) << "a select's block is left as it was";

        const std::vector<Call> sent = transfers();
        ASSERT_EQ(sent.size(), 3u);
        struct Expected {
            uint8_t requestType, request;
            uint16_t value, index, length;
            int result;
        };
        const Expected expected[3] = {{0x40, 0x03, 0x0102, 0x0001, 0, 0},
                                      {0x40, 0x03, 0x0103, 0x0000, 0, 0},
                                      {0xC0, 0x03, 0x0300, 0x0000, 1, 1}};
        for (int i = 0; i < 3; ++i) {
            SCOPED_TRACE(i);
            EXPECT_EQ(sent[i].requestType, expected[i].requestType);
            EXPECT_EQ(sent[i].request, expected[i].request);
            EXPECT_EQ(sent[i].value, expected[i].value);
            EXPECT_EQ(sent[i].index, expected[i].index);
            EXPECT_EQ(sent[i].length, expected[i].length);
            EXPECT_EQ(sent[i].result, expected[i].result);
            EXPECT_EQ(sent[i].timeoutMs, 1000u);
            EXPECT_EQ(sent[i].address, kReceiverAddress) << "not the webcam";
        }
        EXPECT_EQ(fakeusb::count("libusb_init"), 1);
        EXPECT_EQ(fakeusb::count("libusb_open"), 1) << "the device stays open between requests";
        EXPECT_EQ(fakeusb::outstanding(), (fakeusb::Outstanding{1, 0, 1}))
            << "the device list is freed once the device is open";
    }
    EXPECT_EQ(fakeusb::outstanding(), fakeusb::Outstanding{});
    const std::vector<Call> all = fakeusb::calls();
    ASSERT_GE(all.size(), 2u);
    EXPECT_EQ(all[all.size() - 2].function, "libusb_close") << "the handle goes before its context";
    EXPECT_EQ(all.back().function, "libusb_exit");
}

TEST_F(FakeUsbBus, ARefusedAccessIsToldOnceAndLibusbIsNotStartedForEveryRequest) {
    fakeusb::Device refused = receiverDevice();
    refused.openError = LIBUSB_ERROR_ACCESS;
    ASSERT_TRUE(fakeusb::script(refused));

    // The warnings of the usb category, counted.
    static std::atomic<int> warnings{0};
    warnings = 0;
    QLoggingCategory::setFilterRules("vidora.usb=true");
    const QtMessageHandler previous = qInstallMessageHandler(
        [](QtMsgType type, const QMessageLogContext& context, const QString&) {
            if (type == QtWarningMsg && std::strcmp(context.category, "vidora.usb") == 0)
                ++warnings;
        });
    {
        usb::ControlLink link(opener());
        auto status = readStatusRequest();
        EXPECT_EQ(send(link, status), usb::kVendorRequestNoPermission);
        const int toldAtFirst = warnings.load();
        EXPECT_GE(toldAtFirst, 1);
        // Five seconds of the alarm poll, and selections.
        for (int i = 0; i < 25; ++i) {
            auto block = i % 5 == 4 ? selectLowRequest(1) : readStatusRequest();
            EXPECT_EQ(send(link, block), usb::kVendorRequestNoPermission);
        }
        EXPECT_EQ(warnings.load(), toldAtFirst) << "nothing more is said";
        EXPECT_TRUE(link.accessDenied());
        EXPECT_EQ(fakeusb::count("libusb_init"), 1);
        EXPECT_EQ(fakeusb::count("libusb_open"), 1);
        EXPECT_EQ(fakeusb::count("libusb_exit"), 1) << "the context of the refused open is gone";
        EXPECT_TRUE(transfers().empty());
        EXPECT_EQ(fakeusb::outstanding(), fakeusb::Outstanding{});
    }
    qInstallMessageHandler(previous);
    QLoggingCategory::setFilterRules("");

    // The rules were installed and the receiver plugged in again: its new link tries afresh.
    ASSERT_TRUE(fakeusb::script(receiverDevice()));
    usb::ControlLink again(opener());
    auto low = selectLowRequest(1);
    EXPECT_EQ(send(again, low), usb::kVendorRequestOk);
    EXPECT_EQ(fakeusb::count("libusb_init"), 2);
}

TEST_F(FakeUsbBus, ATransferRefusedForPermissionClosesTheDeviceAndIsNotRetried) {
    fakeusb::Device refused = receiverDevice();
    refused.transferError = LIBUSB_ERROR_ACCESS;
    ASSERT_TRUE(fakeusb::script(refused));
    usb::ControlLink link(opener());
    for (int i = 0; i < 10; ++i) {
        auto block = readStatusRequest();
        EXPECT_EQ(send(link, block), usb::kVendorRequestNoPermission);
    }
    EXPECT_EQ(transfers().size(), 1u);
    EXPECT_EQ(fakeusb::count("libusb_init"), 1);
    EXPECT_EQ(fakeusb::outstanding(), fakeusb::Outstanding{}) << "nothing is held open meanwhile";
}

TEST_F(FakeUsbBus, AReceiverThatComesBackUnderANewAddressIsOpenedThere) {
    usb::ControlLink link(opener());
    auto low = selectLowRequest(1);
    EXPECT_EQ(send(link, low), usb::kVendorRequestOk);

    // Unplugged: the open handle fails, and is let go.
    fakeusb::unplug(1, kReceiverAddress);
    EXPECT_EQ(send(link, low), usb::kVendorRequestFailed);
    EXPECT_EQ(fakeusb::outstanding(), fakeusb::Outstanding{});
    EXPECT_EQ(send(link, low), usb::kVendorRequestFailed) << "nothing at the address";

    // Plugged in again: the kernel numbers it anew, and sysfs says so.
    fakeusb::plug(receiverDevice(9));
    sysfs_.usbDevice("devices/pci0000:00/0000:00:14.0/usb1/1-4/1-4.1", 1, 9);
    fakeusb::clearCalls();
    EXPECT_EQ(send(link, low), usb::kVendorRequestOk);
    const std::vector<Call> sent = transfers();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].address, 9);
    EXPECT_EQ(sent[0].result, 0);

    // A transfer that times out drops the device too; the next request opens it again.
    fakeusb::Device slow = receiverDevice(9);
    slow.transferError = LIBUSB_ERROR_TIMEOUT;
    ASSERT_TRUE(fakeusb::script(slow));
    EXPECT_EQ(send(link, low), usb::kVendorRequestFailed);
    ASSERT_TRUE(fakeusb::script(receiverDevice(9)));
    EXPECT_EQ(send(link, low), usb::kVendorRequestOk);
    EXPECT_EQ(fakeusb::count("libusb_open"), 2);
}

// ---------------------------------------------------------------------------------------------
// The engine over the fake receiver's graph, whose vendor requests take the real way to the
// fake libusb: ControlLink, the sysfs lookup, LibusbControlDevice.

class UsbGraph final : public media::CaptureGraph {
  public:
    UsbGraph(std::unique_ptr<media::CaptureGraph> graph, usb::ControlLink::Opener open)
        : graph_(std::move(graph)), link_(std::move(open)) {}
    media::BuildResult build(const media::DeviceInfo& device, media::VideoStandard standard,
                             media::VideoTransferSink* video,
                             media::AudioTransferSink* audio) override {
        return graph_->build(device, standard, video, audio);
    }
    bool hasAudio() const override { return graph_->hasAudio(); }
    bool run() override { return graph_->run(); }
    bool pause() override { return graph_->pause(); }
    void stop() override { graph_->stop(); }
    void setVolume(int32_t hundredthsOfDb) override { graph_->setVolume(hundredthsOfDb); }
    bool readAdjustments(media::AdjustTable& table) override {
        return graph_->readAdjustments(table);
    }
    bool setAdjustment(media::AdjustmentKind kind, int32_t value) override {
        return graph_->setAdjustment(kind, value);
    }
    void setEventNotify(std::function<void()> notify) override {
        graph_->setEventNotify(std::move(notify));
    }
    bool nextEvent(media::GraphEvent& event) override { return graph_->nextEvent(event); }
    int32_t vendorCmdRW(uint8_t* block, int32_t* length) override {
        return link_.send(block, length);
    }

  private:
    std::unique_ptr<media::CaptureGraph> graph_;
    usb::ControlLink link_;
};

class UsbBackend final : public media::MediaBackend {
  public:
    UsbBackend(std::shared_ptr<test::FakeReceiver> receiver, usb::ControlLink::Opener open)
        : backend_(std::move(receiver)), open_(std::move(open)) {}
    std::optional<std::vector<media::DeviceInfo>> enumerateVideoInputs() override {
        return backend_.enumerateVideoInputs();
    }
    std::unique_ptr<media::CaptureGraph> createGraph() override {
        return std::make_unique<UsbGraph>(backend_.createGraph(), open_);
    }
    void setArrivalNotify(std::function<void()> notify) override {
        backend_.setArrivalNotify(std::move(notify));
    }

  private:
    test::FakeBackend backend_;
    usb::ControlLink::Opener open_;
};

class EngineOverFakeUsb : public FakeUsbBus {
  protected:
    void SetUp() override {
        FakeUsbBus::SetUp();
        applyDefaultSettings();
        resetTimerState();
        setVideoWindow(&window_);
    }
    void TearDown() override {
        module_.reset();
        setVideoWindow(nullptr);
        FakeUsbBus::TearDown();
    }

    void start() {
        EngineServices services;
        services.backend = std::make_unique<UsbBackend>(receiver_, opener());
        services.soundPlayer = std::make_unique<test::FakeSoundPlayer>(soundLog_);
        services.recording = std::make_unique<test::SpyRecordingPort>(recordingLog_);
        services.notify = [](int32_t) {};
        services.messageBox = [this](const std::string& text, const std::string&, uint32_t) {
            std::lock_guard lock(mutex_);
            messages_.push_back(text);
            return 1;
        };
        services.clock = &clock_;
        services.folderWatchers = false;
        module_ = std::make_unique<EngineModule>(kEngineModuleNumber, std::move(services));
        module_->engine().videoTransfer().setPacing(std::chrono::microseconds(0));
        ASSERT_EQ(module_->start().reason(), "");
    }
    int32_t send(int32_t id, int32_t value = 0) {
        BusMessage message{id, value, 0};
        return module_->handleSend(message);
    }
    std::vector<std::string> messages() {
        std::lock_guard lock(mutex_);
        return messages_;
    }
    CaptureEngine& engine() { return module_->engine(); }

    std::shared_ptr<test::FakeReceiver> receiver_ = std::make_shared<test::FakeReceiver>();
    std::shared_ptr<test::SoundLog> soundLog_ = std::make_shared<test::SoundLog>();
    std::shared_ptr<test::RecordingLog> recordingLog_ = std::make_shared<test::RecordingLog>();
    test::FakeVideoWindow window_;
    ManualClock clock_;
    std::mutex mutex_;
    std::vector<std::string> messages_;
    std::unique_ptr<EngineModule> module_;
};

// The select transfers the engine's channel n comes to: high bit, then low bit.
std::vector<std::pair<uint16_t, uint16_t>> selectsOf(std::initializer_list<int> channels) {
    std::vector<std::pair<uint16_t, uint16_t>> wire;
    for (int n : channels) {
        wire.emplace_back(0x0102, (n >> 1) & 1);
        wire.emplace_back(0x0103, n & 1);
    }
    return wire;
}

std::vector<std::pair<uint16_t, uint16_t>> wireSelects() {
    std::vector<std::pair<uint16_t, uint16_t>> wire;
    for (const Call& c : selects()) {
        EXPECT_EQ(c.request, 0x03);
        EXPECT_EQ(c.length, 0);
        EXPECT_EQ(c.timeoutMs, 1000u);
        wire.emplace_back(c.value, c.index);
    }
    return wire;
}

TEST_F(EngineOverFakeUsb, AChannelIsTakenOnlyWhenTheReceiverWasSwitchedToIt) {
    gState.currentChannel = 1;
    start();
    EXPECT_EQ(wireSelects(), selectsOf({1}));
    EXPECT_EQ(gState.currentChannel, 1);

    fakeusb::clearCalls();
    EXPECT_EQ(send(ENG_CHANNEL_SELECT, 2), 0);
    EXPECT_EQ(wireSelects(), selectsOf({2}));
    EXPECT_EQ(gState.currentChannel, 2);

    // The receiver stops answering: the selection fails, and the channel, its label and what
    // is recorded under it stay where the receiver is.
    fakeusb::Device stuck = receiverDevice();
    stuck.transferError = LIBUSB_ERROR_TIMEOUT;
    ASSERT_TRUE(fakeusb::script(stuck));
    EXPECT_EQ(send(ENG_CHANNEL_SELECT, 3), 0);
    EXPECT_EQ(gState.currentChannel, 2);
    EXPECT_EQ(engine().currentChannel(), 2);

    ASSERT_TRUE(fakeusb::script(receiverDevice()));
    fakeusb::clearCalls();
    EXPECT_EQ(send(ENG_CHANNEL_SELECT, 3), 0);
    EXPECT_EQ(wireSelects(), selectsOf({3}));
    EXPECT_EQ(gState.currentChannel, 3);
    EXPECT_TRUE(messages().empty()) << "a timeout is not a missing permission";
}

TEST_F(EngineOverFakeUsb, WithoutPermissionTheChannelStaysAndLibusbStartsOnce) {
    fakeusb::Device refused = receiverDevice();
    refused.openError = LIBUSB_ERROR_ACCESS;
    ASSERT_TRUE(fakeusb::script(refused));
    gState.currentChannel = 1;
    start();
    for (int channel : {2, 3, 0}) {
        EXPECT_EQ(send(ENG_CHANNEL_SELECT, channel), 0);
        EXPECT_EQ(gState.currentChannel, 1);
        EXPECT_EQ(engine().currentChannel(), 1);
    }
    // The alarm poll, armed, meets the same refusal.
    storeRelaxed(gState.motionAlarmOn, 1);
    storeRelaxed(gConfig.motionAlarmChannel[1], 1);
    for (int i = 0; i < 10; ++i)
        engine().alarmPoll().tick();
    EXPECT_EQ(loadRelaxed(gState.motionAlarmActive), 0);

    EXPECT_EQ(messages(), std::vector<std::string>{kNoReceiverPermissionText});
    EXPECT_EQ(fakeusb::count("libusb_init"), 1);
    EXPECT_EQ(fakeusb::count("libusb_open"), 1);
    EXPECT_TRUE(transfers().empty());
}

}  // namespace
}  // namespace vidora
