#pragma once
// Finds, through sysfs, the USB device behind a V4L2 video node and the ALSA capture device
// that belongs to the same USB device (the receiver's sound). The sysfs root is a parameter so
// that the lookup runs on a fake tree in tests.
#include <filesystem>
#include <optional>
#include <string>

namespace vidora::usb {

struct UsbAddress {
    int busNumber = 0;
    int deviceAddress = 0;
    bool operator==(const UsbAddress&) const = default;
};

struct AlsaCapture {
    int card = 0;
    int device = 0;
    bool operator==(const AlsaCapture&) const = default;
};

// "video0" for "/dev/video0" or for a symlink to it (/dev/v4l/by-id/...); empty when the path
// does not name a video node.
std::string videoNodeName(const std::string& devicePath);

// The USB device directory above <sysRoot>/class/video4linux/<node>/device: the first directory
// upward that has both busnum and devnum.
std::optional<std::filesystem::path> usbDeviceDirOfVideoNode(const std::filesystem::path& sysRoot,
                                                             const std::string& node);
std::optional<UsbAddress> usbAddressOfVideoNode(const std::filesystem::path& sysRoot,
                                                const std::string& node);

// The ALSA capture device (lowest card, then lowest device with a capture PCM) whose sound card
// sits on the same USB device as the video node.
std::optional<AlsaCapture> alsaCaptureOfVideoNode(const std::filesystem::path& sysRoot,
                                                  const std::string& node);

}  // namespace vidora::usb
