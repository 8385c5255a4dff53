// --diagnose on a machine of the test's making: a fake sysfs tree and /dev folder, a device list
// in place of GStreamer's monitor, an open check in place of access(2) (root opens every node),
// a rules folder of its own, and the fake libusb for the receiver's USB device.
#include <gtest/gtest.h>

#include <libusb.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <set>
#include <sstream>

#include "programs/diagnostics.h"
#include "tests/media/fake_libusb.h"
#include "tests/media/fake_sysfs.h"

namespace vidora {
namespace {

namespace fs = std::filesystem;

const std::string kAccessFix =
    "Add yourself to the group \"video\" (sudo adduser $USER video) and log in again, or log in "
    "at the machine's own seat, where udev's uaccess tag gives the video devices to the user at "
    "the seat";

// A webcam (video0, USB bus 1 device 5) and a receiver that reports another name (video2, bus 1
// device 7); /dev has both nodes.
class Diagnose : public ::testing::Test {
  protected:
    Diagnose() {
        const fs::path usb = "devices/pci0000:00/0000:00:14.0/usb1";
        sysfs_.usbDevice(usb, 1, 1);
        sysfs_.usbDevice(usb / "1-2", 1, 5);
        sysfs_.usbDevice(usb / "1-4", 1, 7);
        sysfs_.videoNode("video0", usb / "1-2" / "1-2:1.0", "Integrated Webcam");
        sysfs_.videoNode("video2", usb / "1-4" / "1-4:1.0", "USB2.0 Capture");
        for (const char* folder : {"dev", "rules", "work"})
            fs::create_directory(sysfs_.root() / folder);
        for (const char* node : {"video0", "video2"})
            std::ofstream(sysfs_.root() / "dev" / node) << "";
        system_.sysRoot = sysfs_.root();
        system_.devRoot = sysfs_.root() / "dev";
        system_.rulesFolders = {sysfs_.root() / "rules"};
        system_.openError = [this](const fs::path& node) {
            return refused_.count(node.filename().string()) ? EACCES : 0;
        };
        fakeusb::Device webcam;
        webcam.bus = 1;
        webcam.address = 5;
        fakeusb::Device receiver;
        receiver.bus = 1;
        receiver.address = 7;
        fakeusb::reset({webcam, receiver});
    }

    // The output, and the problems listed at its end.
    struct Output {
        int status = 0;
        std::string text;
        std::string summary;
    };
    Output run(const std::string& chosen = {}) {
        std::ostringstream out;
        Output o;
        o.status = runDiagnostics(out, ReceiverKind::Real, sysfs_.root() / "work", chosen, system_);
        o.text = out.str();
        const std::size_t found = o.text.rfind(" found:\n");
        o.summary = found == std::string::npos ? std::string() : o.text.substr(found);
        return o;
    }
    void listed(std::vector<media::DeviceInfo> devices) {
        system_.videoInputs = [devices] { return std::optional(devices); };
    }

    test::FakeSysfsTree sysfs_;
    DiagnosticsSystem system_;
    std::set<std::string> refused_;
};

bool has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST_F(Diagnose, AVideoNodeThisUserCannotOpenIsNamedWithWhatGivesAccess) {
    refused_ = {"video2"};
    listed({});  // the monitor leaves out what it cannot open
    const Output o = run();
    EXPECT_EQ(o.status, 1);
    EXPECT_TRUE(has(o.text,
                    "  video nodes of the kernel: 2\n"
                    "    /dev/video0 \"Integrated Webcam\"\n"
                    "    /dev/video2 \"USB2.0 Capture\"\n"))
        << o.text;
    EXPECT_TRUE(has(o.text,
                    "  PROBLEM: /dev/video2 \"USB2.0 Capture\" cannot be opened "
                    "(Permission denied), so it is not listed. " +
                        kAccessFix))
        << o.text;
    EXPECT_FALSE(has(o.text, "/dev/video0 \"Integrated Webcam\" cannot be opened")) << o.text;
    EXPECT_TRUE(has(o.summary, "  - /dev/video2 \"USB2.0 Capture\" cannot be opened")) << o.text;
    EXPECT_TRUE(has(o.summary, "  - the receiver is missing")) << o.text;

    // A node that is gone from /dev (sysfs lags behind) is not one the user lacks access to.
    fs::remove(sysfs_.root() / "dev" / "video2");
    EXPECT_FALSE(has(run().text, "/dev/video2 \"USB2.0 Capture\" cannot be opened"));
}

TEST_F(Diagnose, AnOtherDeviceWithoutAccessIsMentionedButIsNoProblemOnceTheReceiverIsFound) {
    refused_ = {"video0"};
    listed({{"USB2.0 Capture", "/dev/video2"}});
    const Output o = run("/dev/video2");
    EXPECT_TRUE(has(o.text, "  /dev/video2 \"USB2.0 Capture\"  <- the receiver\n")) << o.text;
    EXPECT_TRUE(has(o.text, "\n  /dev/video0 \"Integrated Webcam\" cannot be opened")) << o.text;
    EXPECT_FALSE(has(o.summary, "video0")) << o.text;
    EXPECT_TRUE(has(o.text, "  USB bus 1 device 7: opens for vendor requests\n")) << o.text;
}

TEST_F(Diagnose, TheChosenReceiverIsShownAmongTheDevicesSeenWithItsUsbAccess) {
    listed({{"Integrated Webcam", "/dev/video0"}, {"USB2.0 Capture", "/dev/video2"}});
    fakeusb::Device refused;
    refused.bus = 1;
    refused.address = 7;
    refused.openError = LIBUSB_ERROR_ACCESS;
    ASSERT_TRUE(fakeusb::script(refused));

    Output o = run("/dev/video2");
    EXPECT_EQ(o.status, 1);
    EXPECT_TRUE(has(o.text,
                    "  /dev/video0 \"Integrated Webcam\"\n"
                    "  /dev/video2 \"USB2.0 Capture\"  <- the receiver\n"))
        << o.text;
    EXPECT_TRUE(has(o.text,
                    "Receiver:\n"
                    "  chosen in More settings or with --device: /dev/video2\n"
                    "  \"USB2.0 Capture\" at /dev/video2\n"))
        << o.text;
    EXPECT_TRUE(has(o.summary,
                    "  - USB bus 1 device 7 cannot be opened for vendor requests "
                    "(LIBUSB_ERROR_ACCESS): the udev rules for the receiver are "
                    "missing."))
        << o.text;
    std::vector<fakeusb::Call> calls = fakeusb::calls();
    EXPECT_TRUE(std::none_of(calls.begin(), calls.end(), [](const fakeusb::Call& c) {
        return c.function == "libusb_open" && c.address != 7;
    })) << "only the receiver's USB device is opened";

    std::ofstream(sysfs_.root() / "rules" / "70-halcap.rules") << "";
    o = run("/dev/video2");
    EXPECT_TRUE(has(o.summary, "(LIBUSB_ERROR_ACCESS): the udev rules " +
                                   (sysfs_.root() / "rules" / "70-halcap.rules").string() +
                                   " are installed but you lack access."))
        << o.text;
    EXPECT_EQ(fakeusb::outstanding(), fakeusb::Outstanding{});

    // Chosen but not there: the name match finds nothing either.
    o = run("/dev/video9");
    EXPECT_FALSE(has(o.text, "<- the receiver")) << o.text;
    EXPECT_TRUE(has(o.summary, " and the chosen /dev/video9 is not listed.")) << o.text;
}

TEST_F(Diagnose, TheOpenCheckOfTheMachineSeesANodeWithoutPermission) {
    if (::geteuid() == 0)
        GTEST_SKIP() << "root opens every node whatever its mode; the injected check above "
                        "stands in for it";
    system_.openError = nullptr;  // access(2)
    ::chmod((sysfs_.root() / "dev" / "video2").c_str(), 0);
    listed({});
    EXPECT_TRUE(has(run().text,
                    "  PROBLEM: /dev/video2 \"USB2.0 Capture\" cannot be opened "
                    "(Permission denied)"));
}

}  // namespace
}  // namespace vidora
