#pragma once
// A sysfs tree in a temporary folder, laid out as the kernel lays it out: USB devices with
// busnum and devnum, their interfaces, and class/video4linux and class/sound entries that are
// links to the nodes' own directories, each with a "device" link to the interface it belongs to.
// Removed with the object.
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace vidora::test {

class FakeSysfsTree {
  public:
    FakeSysfsTree() {
        char pattern[] = "/tmp/vidora-sysfs-XXXXXX";
        root_ = ::mkdtemp(pattern);
    }
    ~FakeSysfsTree() {
        std::error_code ec;
        std::filesystem::remove_all(root_, ec);
    }
    FakeSysfsTree(const FakeSysfsTree&) = delete;
    FakeSysfsTree& operator=(const FakeSysfsTree&) = delete;

    const std::filesystem::path& root() const { return root_; }

    void write(const std::filesystem::path& file, const std::string& text) {
        std::filesystem::create_directories((root_ / file).parent_path());
        std::ofstream(root_ / file) << text;
    }
    // A USB device directory (devices/.../usb1/1-2): what the lookups stop at.
    void usbDevice(const std::filesystem::path& dir, int bus, int dev) {
        write(dir / "busnum", std::to_string(bus) + "\n");
        write(dir / "devnum", std::to_string(dev) + "\n");
    }
    // class/video4linux/<name>, on the interface (or PCI device) `parent`, with its card name.
    void videoNode(const std::string& name, const std::filesystem::path& parent,
                   const std::string& cardName = "Video Device") {
        classDevice("video4linux", name, parent, "video4linux");
        write(parent / "video4linux" / name / "name", cardName + "\n");
    }
    // class/sound/card<N> on `parent`, and its PCMs (pcmC<N>D<d>c captures, ...p plays).
    void soundCard(int card, const std::filesystem::path& parent,
                   const std::vector<std::string>& pcms) {
        namespace fs = std::filesystem;
        const std::string name = "card" + std::to_string(card);
        classDevice("sound", name, parent, "sound");
        for (const auto& pcm : pcms) {
            const fs::path own = root_ / parent / "sound" / name / pcm;
            fs::create_directories(own);
            fs::create_directory_symlink(fs::relative(own, root_ / "class" / "sound"),
                                         root_ / "class" / "sound" / pcm);
        }
    }

  private:
    // class/<cls>/<name> -> the device's own directory, whose "device" link points at `parent`.
    void classDevice(const std::string& cls, const std::string& name,
                     const std::filesystem::path& parent, const std::string& sub) {
        namespace fs = std::filesystem;
        const fs::path own = root_ / parent / sub / name;
        fs::create_directories(own);
        fs::create_directory_symlink(fs::relative(root_ / parent, own), own / "device");
        fs::create_directories(root_ / "class" / cls);
        fs::create_directory_symlink(fs::relative(own, root_ / "class" / cls),
                                     root_ / "class" / cls / name);
    }

    std::filesystem::path root_;
};

}  // namespace vidora::test
