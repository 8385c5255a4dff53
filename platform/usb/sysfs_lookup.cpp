#include "platform/usb/sysfs_lookup.h"

#include <algorithm>
#include <fstream>
#include <regex>
#include <system_error>
#include <tuple>

namespace vidora::usb {

namespace fs = std::filesystem;

namespace {

std::optional<int> readNumber(const fs::path& file) {
    std::ifstream in(file);
    int value = 0;
    if (in >> value)
        return value;
    return std::nullopt;
}

bool isUsbDeviceDir(const fs::path& dir) {
    std::error_code ec;
    return fs::is_regular_file(dir / "busnum", ec) && fs::is_regular_file(dir / "devnum", ec);
}

// Resolves <link> and walks up to the USB device directory, staying inside the sysfs root.
std::optional<fs::path> usbDeviceAbove(const fs::path& sysRoot, const fs::path& link) {
    std::error_code ec;
    fs::path dir = fs::canonical(link, ec);
    if (ec)
        return std::nullopt;
    const fs::path root = fs::canonical(sysRoot, ec);
    if (ec)
        return std::nullopt;
    for (; !dir.empty() && dir != dir.root_path(); dir = dir.parent_path()) {
        auto [rootEnd, dirIt] = std::mismatch(root.begin(), root.end(), dir.begin(), dir.end());
        if (rootEnd != root.end() || dir == root)
            return std::nullopt;  // left the tree
        if (isUsbDeviceDir(dir))
            return dir;
    }
    return std::nullopt;
}

}  // namespace

std::string videoNodeName(const std::string& devicePath) {
    std::error_code ec;
    fs::path p = fs::canonical(devicePath, ec);
    if (ec)
        p = devicePath;
    const std::string name = p.filename().string();
    static const std::regex kVideoNode("video[0-9]+");
    return std::regex_match(name, kVideoNode) ? name : std::string();
}

std::optional<fs::path> usbDeviceDirOfVideoNode(const fs::path& sysRoot, const std::string& node) {
    if (node.empty() || node.find('/') != std::string::npos)
        return std::nullopt;
    return usbDeviceAbove(sysRoot, sysRoot / "class" / "video4linux" / node / "device");
}

std::optional<UsbAddress> usbAddressOfVideoNode(const fs::path& sysRoot, const std::string& node) {
    auto dir = usbDeviceDirOfVideoNode(sysRoot, node);
    if (!dir)
        return std::nullopt;
    auto bus = readNumber(*dir / "busnum");
    auto dev = readNumber(*dir / "devnum");
    if (!bus || !dev)
        return std::nullopt;
    return UsbAddress{*bus, *dev};
}

std::optional<AlsaCapture> alsaCaptureOfVideoNode(const fs::path& sysRoot,
                                                  const std::string& node) {
    auto usbDir = usbDeviceDirOfVideoNode(sysRoot, node);
    if (!usbDir)
        return std::nullopt;
    const fs::path soundClass = sysRoot / "class" / "sound";
    std::error_code ec;
    static const std::regex kCapturePcm("pcmC([0-9]+)D([0-9]+)c");
    std::optional<AlsaCapture> best;
    for (const auto& entry : fs::directory_iterator(soundClass, ec)) {
        std::smatch m;
        const std::string name = entry.path().filename().string();
        if (!std::regex_match(name, m, kCapturePcm))
            continue;
        const int card = std::stoi(m[1]);
        const int device = std::stoi(m[2]);
        auto cardUsb =
            usbDeviceAbove(sysRoot, soundClass / ("card" + std::to_string(card)) / "device");
        if (!cardUsb || *cardUsb != *usbDir)
            continue;
        AlsaCapture found{card, device};
        if (!best || std::tie(found.card, found.device) < std::tie(best->card, best->device)) {
            best = found;
        }
    }
    return best;
}

}  // namespace vidora::usb
