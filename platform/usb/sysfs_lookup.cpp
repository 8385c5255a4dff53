#include "platform/usb/sysfs_lookup.h"

#include <algorithm>
#include <fstream>
#include <string_view>
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

// Parses "<prefix><digits>" and returns the number, or -1.
int numberAfter(std::string_view text, std::string_view prefix) {
    if (text.size() <= prefix.size() || text.substr(0, prefix.size()) != prefix)
        return -1;
    int value = 0;
    for (char c : text.substr(prefix.size())) {
        if (c < '0' || c > '9' || value > 100000)
            return -1;
        value = value * 10 + (c - '0');
    }
    return value;
}

// "pcmC<card>D<device>c": a capture PCM.
bool parseCapturePcm(std::string_view name, int& card, int& device) {
    if (name.size() < 7 || name.substr(0, 4) != "pcmC" || name.back() != 'c')
        return false;
    const std::size_t d = name.find('D', 4);
    if (d == std::string_view::npos)
        return false;
    card = numberAfter(name.substr(0, d), "pcmC");
    device = numberAfter(name.substr(d, name.size() - d - 1), "D");
    return card >= 0 && device >= 0;
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
    return numberAfter(name, "video") >= 0 ? name : std::string();
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
    std::optional<AlsaCapture> best;
    for (const auto& entry : fs::directory_iterator(soundClass, ec)) {
        int card = 0, device = 0;
        if (!parseCapturePcm(entry.path().filename().string(), card, device))
            continue;
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
