// What decides which device is opened (sysfs), what is sent and returned (the setup block
// handling) and when the control endpoint is opened again. The libusb calls themselves run
// against a fake libusb in usb_fake_test.cpp.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <vector>

#include "platform/usb/control_link.h"
#include "platform/usb/sysfs_lookup.h"
#include "platform/usb/vendor_request.h"
#include "tests/media/fake_sysfs.h"

namespace vidora::usb {
namespace {

namespace fs = std::filesystem;

class FakeTransport : public ControlTransport {
  public:
    int controlTransfer(const SetupBlock& setup, uint8_t* data) override {
        calls.push_back(setup);
        if (throws)
            throw std::runtime_error("transfer failed");
        for (std::size_t i = 0; i < reply.size() && i < setup.length; ++i)
            data[i] = reply[i];
        return result;
    }
    std::vector<SetupBlock> calls;
    std::vector<uint8_t> reply;
    int result = 0;
    bool throws = false;
};

TEST(SetupBlock, FieldsAreLittleEndian) {
    const uint8_t block[8] = {0x40, 0x03, 0x02, 0x01, 0x01, 0x00, 0x00, 0x00};
    const SetupBlock s = parseSetupBlock(block);
    EXPECT_EQ(s.requestType, 0x40);
    EXPECT_EQ(s.request, 0x03);
    EXPECT_EQ(s.value, 0x0102);
    EXPECT_EQ(s.index, 0x0001);
    EXPECT_EQ(s.length, 0);
    EXPECT_FALSE(s.deviceToHost());

    const uint8_t read[8] = {0xC0, 0x03, 0x00, 0x03, 0x34, 0x12, 0x01, 0x00};
    const SetupBlock r = parseSetupBlock(read);
    EXPECT_TRUE(r.deviceToHost());
    EXPECT_EQ(r.value, 0x0300);
    EXPECT_EQ(r.index, 0x1234);
    EXPECT_EQ(r.length, 1);
}

TEST(VendorRequest, AReadReturnsItsBytesAtTheStartOfTheBlock) {
    FakeTransport t;
    t.reply = {0xEF};
    t.result = 1;
    uint8_t block[8] = {0xC0, 0x03, 0x00, 0x03, 0x00, 0x00, 0x01, 0x00};
    int32_t length = 8;
    EXPECT_EQ(sendVendorRequest(t, block, &length), 0);
    ASSERT_EQ(t.calls.size(), 1u);
    EXPECT_EQ(t.calls[0].requestType, 0xC0);
    EXPECT_EQ(t.calls[0].value, 0x0300);
    EXPECT_EQ(t.calls[0].length, 1);
    const uint8_t expected[8] = {0xEF, 0x03, 0x00, 0x03, 0x00, 0x00, 0x01, 0x00};
    EXPECT_EQ(0, std::memcmp(block, expected, 8));
}

TEST(VendorRequest, AWriteLeavesTheBlockAsItWas) {
    FakeTransport t;
    uint8_t block[8] = {0x40, 0x03, 0x03, 0x01, 0x01, 0x00, 0x00, 0x00};
    int32_t length = 8;
    EXPECT_EQ(sendVendorRequest(t, block, &length), 0);
    ASSERT_EQ(t.calls.size(), 1u);
    EXPECT_EQ(t.calls[0].request, 0x03);
    EXPECT_EQ(t.calls[0].value, 0x0103);
    EXPECT_EQ(t.calls[0].index, 1);
    const uint8_t expected[8] = {0x40, 0x03, 0x03, 0x01, 0x01, 0x00, 0x00, 0x00};
    EXPECT_EQ(0, std::memcmp(block, expected, 8));
}

TEST(VendorRequest, FailuresAreReportedAsNonZero) {
    const uint8_t status[8] = {0xC0, 0x03, 0x00, 0x03, 0x00, 0x00, 0x01, 0x00};
    uint8_t block[8];
    int32_t length = 8;
    {
        FakeTransport t;
        t.result = -4;  // LIBUSB_ERROR_NO_DEVICE
        std::memcpy(block, status, 8);
        EXPECT_NE(sendVendorRequest(t, block, &length), 0);
        EXPECT_EQ(block[0], 0xC0) << "a failed read must not look like a status";
    }
    {
        FakeTransport t;
        t.throws = true;
        std::memcpy(block, status, 8);
        EXPECT_NE(sendVendorRequest(t, block, &length), 0);
    }
    {
        // The device answered the status read with no data byte at all.
        FakeTransport t;
        t.result = 0;
        std::memcpy(block, status, 8);
        EXPECT_NE(sendVendorRequest(t, block, &length), 0);
    }
    {
        FakeTransport t;
        std::memcpy(block, status, 8);
        int32_t shortLength = 7;
        EXPECT_NE(sendVendorRequest(t, block, &shortLength), 0);
        EXPECT_NE(sendVendorRequest(t, block, nullptr), 0);
        EXPECT_NE(sendVendorRequest(t, nullptr, &length), 0);
        // More data than fits in the block, or data the block cannot carry to the device.
        uint8_t tooLong[8] = {0xC0, 0x03, 0x00, 0x03, 0x00, 0x00, 0x09, 0x00};
        EXPECT_NE(sendVendorRequest(t, tooLong, &length), 0);
        uint8_t writeWithData[8] = {0x40, 0x03, 0x02, 0x01, 0x00, 0x00, 0x02, 0x00};
        EXPECT_NE(sendVendorRequest(t, writeWithData, &length), 0);
        EXPECT_TRUE(t.calls.empty());
    }
}

// Opens FakeTransports that share one script; counts the opens.
struct FakeOpener {
    int opens = 0;
    int openError = 0;  // non-zero: the open fails with it
    int transferResult = 0;
    ControlLink::Opener opener() {
        return [this] {
            ++opens;
            if (openError != 0)
                return OpenedTransport{nullptr, openError};
            auto t = std::make_unique<ScriptedTransport>(*this);
            return OpenedTransport{std::move(t), 0};
        };
    }
    struct ScriptedTransport : ControlTransport {
        explicit ScriptedTransport(FakeOpener& o) : owner(o) {}
        int controlTransfer(const SetupBlock&, uint8_t*) override { return owner.transferResult; }
        FakeOpener& owner;
    };
};

const uint8_t kSelectLow[8] = {0x40, 0x03, 0x03, 0x01, 0x01, 0x00, 0x00, 0x00};

int32_t sendSelect(ControlLink& link) {
    uint8_t block[8];
    std::memcpy(block, kSelectLow, 8);
    const int32_t length = 8;
    return link.send(block, &length);
}

TEST(ControlLink, OpensOnceAndKeepsTheDeviceWhileRequestsSucceed) {
    FakeOpener o;
    ControlLink link(o.opener());
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(sendSelect(link), kVendorRequestOk);
    EXPECT_EQ(o.opens, 1);
    EXPECT_FALSE(link.accessDenied());
}

TEST(ControlLink, ARefusedOpenIsRememberedAndNeverTriedAgain) {
    FakeOpener o;
    o.openError = kTransportAccessDenied;
    ControlLink link(o.opener());
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(sendSelect(link), kVendorRequestNoPermission);
    EXPECT_EQ(o.opens, 1) << "libusb is started once, not for every request";
    EXPECT_TRUE(link.accessDenied());
    // The rules were installed and the receiver plugged in again: its new link tries afresh.
    o.openError = 0;
    ControlLink again(o.opener());
    EXPECT_EQ(sendSelect(again), kVendorRequestOk);
    EXPECT_EQ(o.opens, 2);
}

TEST(ControlLink, ATransferRefusedForPermissionIsRemembered) {
    FakeOpener o;
    o.transferResult = kTransportAccessDenied;
    ControlLink link(o.opener());
    EXPECT_EQ(sendSelect(link), kVendorRequestNoPermission);
    o.transferResult = 0;
    EXPECT_EQ(sendSelect(link), kVendorRequestNoPermission);
    EXPECT_EQ(o.opens, 1);
}

TEST(ControlLink, OtherFailuresOpenTheDeviceAgainAtTheNextRequest) {
    FakeOpener o;
    o.openError = -4;  // LIBUSB_ERROR_NO_DEVICE: not there yet
    ControlLink link(o.opener());
    EXPECT_EQ(sendSelect(link), kVendorRequestFailed);
    EXPECT_EQ(sendSelect(link), kVendorRequestFailed);
    EXPECT_EQ(o.opens, 2);
    o.openError = 0;
    o.transferResult = -7;  // LIBUSB_ERROR_TIMEOUT
    EXPECT_EQ(sendSelect(link), kVendorRequestFailed);
    o.transferResult = 0;
    EXPECT_EQ(sendSelect(link), kVendorRequestOk);
    EXPECT_EQ(o.opens, 4) << "a failed transfer drops the device; the next request reopens it";
    EXPECT_FALSE(link.accessDenied());
}

TEST(VendorRequest, AnAccessRefusalIsToldApartFromOtherFailures) {
    FakeTransport t;
    t.result = kTransportAccessDenied;
    uint8_t block[8];
    std::memcpy(block, kSelectLow, 8);
    int32_t length = 8;
    EXPECT_EQ(sendVendorRequest(t, block, &length), kVendorRequestNoPermission);
    t.result = -1;  // LIBUSB_ERROR_IO
    EXPECT_EQ(sendVendorRequest(t, block, &length), kVendorRequestFailed);
}

// A machine with the receiver on a hub beside a USB headset, a webcam with its own microphone,
// and an onboard sound card. The root hub and the hub are USB devices too (they have busnum and
// devnum), so a lookup that walks up too far pairs everything with everything.
class FakeSysfs : public ::testing::Test {
  protected:
    void SetUp() override {
        const fs::path usb = "devices/pci0000:00/0000:00:14.0/usb1";
        tree_.usbDevice(usb, 1, 1);
        tree_.usbDevice(usb / "1-4", 1, 3);            // a hub
        tree_.usbDevice(usb / "1-4" / "1-4.1", 1, 7);  // the receiver
        tree_.usbDevice(usb / "1-4" / "1-4.2", 1, 8);  // a headset
        tree_.usbDevice(usb / "1-2", 1, 5);            // a webcam
        tree_.videoNode("video0", usb / "1-2" / "1-2:1.0", "Integrated Webcam");
        tree_.videoNode("video1", usb / "1-2" / "1-2:1.0", "Integrated Webcam");
        // uvcvideo gives the receiver a second node (metadata) on the same interface.
        tree_.videoNode("video2", usb / "1-4" / "1-4.1" / "1-4.1:1.0", "Halcap Capture");
        tree_.videoNode("video3", usb / "1-4" / "1-4.1" / "1-4.1:1.0", "Halcap Capture");
        tree_.videoNode("video4", "devices/pci0000:00/0000:00:02.0", "i915");  // not on USB
        tree_.soundCard(0, "devices/pci0000:00/0000:00:1f.3", {"pcmC0D0c", "pcmC0D0p"});
        tree_.soundCard(1, usb / "1-2" / "1-2:1.3", {"pcmC1D0c"});
        receiverSound();
        tree_.soundCard(3, usb / "1-4" / "1-4.2" / "1-4.2:1.0", {"pcmC3D0c", "pcmC3D0p"});
    }
    // Its sound card: device 1 captures, device 0 only plays.
    void receiverSound() {
        tree_.soundCard(2, "devices/pci0000:00/0000:00:14.0/usb1/1-4/1-4.1/1-4.1:1.2",
                        {"pcmC2D1p", "pcmC2D1c", "pcmC2D0p"});
    }
    const fs::path& root() const { return tree_.root(); }

    test::FakeSysfsTree tree_;
};

TEST_F(FakeSysfs, FindsTheUsbAddressBehindAVideoNode) {
    EXPECT_EQ(usbAddressOfVideoNode(root(), "video2"), (UsbAddress{1, 7}));
    EXPECT_EQ(usbAddressOfVideoNode(root(), "video3"), (UsbAddress{1, 7}));
    EXPECT_EQ(usbAddressOfVideoNode(root(), "video0"), (UsbAddress{1, 5}));
    EXPECT_EQ(usbAddressOfVideoNode(root(), "video4"), std::nullopt) << "no USB parent";
    EXPECT_EQ(usbAddressOfVideoNode(root(), "video7"), std::nullopt) << "no such node";
    EXPECT_EQ(usbAddressOfVideoNode(root(), "../video2"), std::nullopt);
    EXPECT_EQ(usbAddressOfVideoNode(root(), ""), std::nullopt);
}

TEST_F(FakeSysfs, PairsEachVideoNodeWithTheSoundCardOfItsOwnUsbDevice) {
    EXPECT_EQ(alsaCaptureOfVideoNode(root(), "video2"), (AlsaCapture{2, 1}))
        << "card 2 sits on the receiver and only its device 1 captures; not the webcam's "
           "microphone (card 1), the headset on the same hub (card 3) or the onboard card";
    EXPECT_EQ(alsaCaptureOfVideoNode(root(), "video3"), (AlsaCapture{2, 1}));
    EXPECT_EQ(alsaCaptureOfVideoNode(root(), "video0"), (AlsaCapture{1, 0}));
    EXPECT_EQ(alsaCaptureOfVideoNode(root(), "video4"), std::nullopt)
        << "the onboard card is not the sound of a video node off the USB";
}

TEST_F(FakeSysfs, AReceiverWithoutSoundHasNoCaptureDevice) {
    fs::remove_all(root() / "class" / "sound");
    EXPECT_EQ(alsaCaptureOfVideoNode(root(), "video2"), std::nullopt);
    EXPECT_EQ(usbAddressOfVideoNode(root(), "video2"), (UsbAddress{1, 7}));
}

TEST_F(FakeSysfs, ASoundCardThatAppearsAfterTheVideoNodeIsFoundOnceItIsThere) {
    // The kernel registers the receiver's interfaces one by one: the video node may be there
    // (and the device announced) before the sound card.
    for (const char* entry : {"card2", "pcmC2D1p", "pcmC2D1c", "pcmC2D0p"})
        fs::remove(root() / "class" / "sound" / entry);
    fs::remove_all(root() / "devices/pci0000:00/0000:00:14.0/usb1/1-4/1-4.1/1-4.1:1.2");
    EXPECT_EQ(alsaCaptureOfVideoNode(root(), "video2"), std::nullopt)
        << "not the headset's card on the same hub meanwhile";
    receiverSound();
    EXPECT_EQ(alsaCaptureOfVideoNode(root(), "video2"), (AlsaCapture{2, 1}));
}

TEST(VideoNodeName, NamesTheNodeBehindADevicePath) {
    EXPECT_EQ(videoNodeName("/dev/video3"), "video3");
    EXPECT_EQ(videoNodeName("/dev/video12"), "video12");
    EXPECT_EQ(videoNodeName("/dev/snd/pcmC0D0c"), "");
    EXPECT_EQ(videoNodeName("/dev/videofoo"), "");
    EXPECT_EQ(videoNodeName(""), "");
}

}  // namespace
}  // namespace vidora::usb
