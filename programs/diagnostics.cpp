#include "programs/diagnostics.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iomanip>
#include <sstream>
#include <string>
#include <vector>

#include <libusb.h>

#include "app/paths.h"
#include "app/preferences.h"
#include "app/records.h"
#include "app/settings.h"
#include "app/storage.h"
#include "engine/capture_engine.h"
#include "platform/media/capture_graph.h"
#include "platform/media/graph_elements.h"
#include "platform/media/gst_backend.h"
#include "platform/media/gst_support.h"
#include "platform/usb/libusb_device.h"
#include "platform/usb/sysfs_lookup.h"
#include "stream/stream_settings.h"

namespace vidora {

namespace fs = std::filesystem;

namespace {

class Report {
  public:
    explicit Report(std::ostream& out) : out_(out) {}

    void section(const std::string& title) { out_ << "\n" << title << "\n"; }
    void line(const std::string& text) { out_ << "  " << text << "\n"; }
    // Something the viewer needs is missing: counted, and listed again at the end.
    void problem(const std::string& text) {
        out_ << "  PROBLEM: " << text << "\n";
        problems_.push_back(text);
    }
    int finish() {
        out_ << "\n";
        if (problems_.empty()) {
            out_ << "All is well.\n";
            return 0;
        }
        out_ << problems_.size() << (problems_.size() == 1 ? " problem" : " problems")
             << " found:\n";
        for (const std::string& p : problems_)
            out_ << "  - " << p << "\n";
        return 1;
    }

  private:
    std::ostream& out_;
    std::vector<std::string> problems_;
};

std::string inQuotes(const std::string& text) {
    return "\"" + text + "\"";
}

std::string sizeText(uintmax_t bytes) {
    std::ostringstream s;
    s << std::fixed << std::setprecision(1);
    if (bytes >= (uintmax_t{1} << 30))
        s << static_cast<double>(bytes) / (1 << 30) << " GB";
    else
        s << static_cast<double>(bytes) / (1 << 20) << " MB";
    return s.str();
}

// Free space where `folder` is, or would be once created (its nearest existing parent).
std::string freeSpaceOf(const fs::path& folder) {
    std::error_code ec;
    fs::path probe = folder;
    while (!probe.empty() && !fs::exists(probe, ec) && probe != probe.parent_path())
        probe = probe.parent_path();
    const fs::space_info space = fs::space(probe.empty() ? "." : probe, ec);
    if (ec)
        return "free space unknown";
    return sizeText(space.available) + " free";
}

// The machine as the checks see it (see DiagnosticsSystem).
class Machine {
  public:
    explicit Machine(const DiagnosticsSystem& system) : system_(system) {}

    const fs::path& sysRoot() const { return system_.sysRoot; }

    // The file behind a device path of the form /dev/...
    fs::path file(const std::string& devicePath) const {
        const fs::path path(devicePath);
        const fs::path relative = path.lexically_relative("/dev");
        if (relative.empty() || *relative.begin() == "..")
            return path;
        return system_.devRoot / relative;
    }

    // 0 when this user may open `devicePath` for capture, else the errno.
    int openError(const std::string& devicePath) const {
        const fs::path node = file(devicePath);
        if (system_.openError)
            return system_.openError(node);
        return ::access(node.c_str(), R_OK | W_OK) == 0 ? 0 : errno;
    }

    std::optional<std::vector<media::DeviceInfo>> videoInputs() const {
        if (system_.videoInputs)
            return system_.videoInputs();
        std::unique_ptr<media::MediaBackend> backend = media::createGstBackend();
        return backend->enumerateVideoInputs();
    }

    // The kernel's video nodes ("video0", ...) in order, each with the name its driver gives.
    std::vector<std::pair<std::string, std::string>> videoNodes() const {
        std::vector<std::pair<std::string, std::string>> nodes;
        std::error_code ec;
        for (const auto& entry :
             fs::directory_iterator(system_.sysRoot / "class/video4linux", ec)) {
            std::ifstream nameFile(entry.path() / "name");
            std::string name;
            std::getline(nameFile, name);
            nodes.emplace_back(entry.path().filename().string(), name);
        }
        std::sort(nodes.begin(), nodes.end(), [](const auto& a, const auto& b) {
            return std::make_pair(a.first.size(), a.first) <
                   std::make_pair(b.first.size(), b.first);
        });
        return nodes;
    }

    // The receiver's udev rules: the installer's 70-halcap.rules, or a rules file of the
    // package (named after the receiver or the program).
    std::optional<fs::path> installedRules() const {
        for (const fs::path& folder : system_.rulesFolders) {
            std::error_code ec;
            for (const auto& entry : fs::directory_iterator(folder, ec)) {
                std::string name = entry.path().filename().string();
                for (char& c : name)
                    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
                if (name.size() > 6 && name.ends_with(".rules") &&
                    (name.find("halcap") != std::string::npos ||
                     name.find("vidora") != std::string::npos))
                    return entry.path();
            }
        }
        return std::nullopt;
    }

  private:
    const DiagnosticsSystem& system_;
};

// What gives a user the video nodes: the group, or udev's uaccess tag for the user at the seat.
constexpr const char* kVideoNodeAccessFix =
    "Add yourself to the group \"video\" (sudo adduser $USER video) and log in again, or log in "
    "at the machine's own seat, where udev's uaccess tag gives the video devices to the user at "
    "the seat (a remote or second session does not get them).";

void checkUsbAccess(Report& report, const Machine& machine, const media::DeviceInfo& device) {
    if (const int error = machine.openError(device.path); error != 0) {
        report.problem(device.path + " cannot be opened for capture (" + std::strerror(error) +
                       "). " + kVideoNodeAccessFix);
    }
    const std::string node = usb::videoNodeName(device.path);
    const std::optional<usb::UsbAddress> address =
        usb::usbAddressOfVideoNode(machine.sysRoot(), node);
    if (!address) {
        report.problem("no USB device was found behind " + device.path +
                       ": the receiver's vendor requests (channel select, alarms) cannot be sent.");
        return;
    }
    const std::string where = "USB bus " + std::to_string(address->busNumber) + " device " +
                              std::to_string(address->deviceAddress);
    int error = 0;
    if (usb::LibusbControlDevice::open(*address, &error)) {
        report.line(where + ": opens for vendor requests");
        return;
    }
    const std::string reason = libusb_error_name(error);
    if (error != LIBUSB_ERROR_ACCESS) {
        report.problem(where + " cannot be opened for vendor requests (" + reason + ").");
        return;
    }
    if (const std::optional<fs::path> rules = machine.installedRules()) {
        report.problem(where + " cannot be opened for vendor requests (" + reason +
                       "): the udev rules " + rules->string() +
                       " are installed but you lack access. The rules give the receiver to the "
                       "user logged in at the machine's own seat; apply them with: sudo udevadm "
                       "control --reload-rules && sudo udevadm trigger --subsystem-match=usb "
                       "--action=add (or unplug the receiver and plug it in again).");
    } else {
        report.problem(where + " cannot be opened for vendor requests (" + reason +
                       "): the udev rules for the receiver are missing. Install the vidora "
                       "package, or from a source build run: cd build/run && sudo "
                       "../installer/installer");
    }
}

// The kernel's video nodes this user cannot open. The device monitor leaves them out, so a
// receiver behind one of them is never found. Such a node is a problem when it may be the
// receiver: it has the receiver's name, it is the chosen one, or no receiver was found at all.
void checkNodeAccess(Report& report, const Machine& machine, const std::string& chosenDevice,
                     bool receiverFound) {
    const std::string chosenNode = usb::videoNodeName(chosenDevice);
    for (const auto& [node, name] : machine.videoNodes()) {
        const std::string path = "/dev/" + node;
        std::error_code ec;
        if (!fs::exists(machine.file(path), ec))
            continue;
        const int error = machine.openError(path);
        if (error == 0)
            continue;
        const std::string text = path + " " + inQuotes(name) + " cannot be opened (" +
                                 std::strerror(error) + "), so it is not listed. " +
                                 kVideoNodeAccessFix;
        if (name == media::kReceiverName || node == chosenNode || !receiverFound)
            report.problem(text);
        else
            report.line(text);
    }
}

void checkDevices(Report& report, const Machine& machine, const std::string& chosenDevice) {
    report.section("Video capture devices (as the viewer finds them):");
    std::optional<std::vector<media::DeviceInfo>> devices = machine.videoInputs();
    std::vector<media::DeviceInfo> receivers;
    if (!devices) {
        report.problem("the GStreamer device monitor cannot list video devices.");
    } else if (devices->empty()) {
        report.line("none");
    } else {
        receivers = matchReceivers(*devices, chosenDevice);
        for (const media::DeviceInfo& d : *devices) {
            bool receiver = false;
            for (const media::DeviceInfo& r : receivers)
                receiver = receiver || r.path == d.path;
            report.line(d.path + " " + inQuotes(d.name) + (receiver ? "  <- the receiver" : ""));
        }
    }
    if (!devices || devices->empty()) {
        const auto nodes = machine.videoNodes();
        report.line("video nodes of the kernel: " +
                    (nodes.empty() ? std::string("none") : std::to_string(nodes.size())));
        for (const auto& [node, name] : nodes)
            report.line("  /dev/" + node + " " + inQuotes(name));
    }
    checkNodeAccess(report, machine, chosenDevice, !receivers.empty());

    report.section("Receiver:");
    if (!chosenDevice.empty())
        report.line("chosen in More settings or with --device: " + chosenDevice);
    if (receivers.empty()) {
        report.problem(std::string("the receiver is missing: no video capture device is named ") +
                       inQuotes(media::kReceiverName) +
                       (chosenDevice.empty()
                            ? std::string()
                            : " and the chosen " + chosenDevice + " is not listed") +
                       ". Plug the MR220 receiver in (lsusb lists it; dmesg shows its driver). A "
                       "receiver that reports another name can be chosen with --device "
                       "/dev/videoN or in More settings.");
        return;
    }
    for (const media::DeviceInfo& receiver : receivers) {
        report.line(inQuotes(receiver.name) + " at " + receiver.path);
        checkUsbAccess(report, machine, receiver);
    }
}

void checkElements(Report& report, ReceiverKind program) {
    report.section("GStreamer elements (used by: receiver = vidora, demo = vidora-demo):");
    media::ensureGstInitialized();
    for (const media::GraphElement& element : media::graphElements()) {
        media::GstPtr<GstElementFactory> factory =
            media::adoptRef(gst_element_factory_find(element.factory));
        const std::string users = element.receiver && element.demo ? "receiver, demo"
                                  : element.receiver               ? "receiver"
                                                                   : "demo";
        std::ostringstream row;
        row << std::left << std::setw(15) << element.factory << std::setw(9)
            << (factory ? "ok" : "MISSING") << std::setw(16) << users << element.purpose;
        if (!factory)
            row << " (install " << element.debianPackage << ")";
        report.line(row.str());
        const bool needed = program == ReceiverKind::Real ? element.receiver : element.demo;
        if (!factory && needed)
            report.problem(std::string("the GStreamer element ") + element.factory +
                           " is missing: sudo apt-get install " + element.debianPackage);
    }
}

void checkSoundOutput(Report& report) {
    report.section("Sound output:");
    media::GstPtr<GstElement> sink =
        media::adoptFloating(gst_element_factory_make("autoaudiosink", nullptr));
    if (!sink) {
        report.line("none: autoaudiosink is missing, the viewer plays no sound");
        return;
    }
    if (gst_element_set_state(sink.get(), GST_STATE_READY) == GST_STATE_CHANGE_FAILURE ||
        media::isPlaceholderSink(sink.get())) {
        report.line("none: no sound device opens; live sound and the alarm sound stay silent");
    } else {
        report.line("autoaudiosink plays through " + media::childFactoryNames(sink.get()));
    }
    gst_element_set_state(sink.get(), GST_STATE_NULL);
}

// The record and snapshot folders of an existing settings file (relative ones resolved against
// the working folder).
std::optional<std::pair<fs::path, fs::path>> storedFolders(const fs::path& settings) {
    std::ifstream in(settings, std::ios::binary);
    if (!in)
        return std::nullopt;
    ViewerState state{};
    VidoraConfig config{};
    in.read(reinterpret_cast<char*>(&state), sizeof state);
    in.read(reinterpret_cast<char*>(&config), sizeof config);
    config.recordFolder[sizeof config.recordFolder - 1] = '\0';
    config.pictureFolder[sizeof config.pictureFolder - 1] = '\0';
    const fs::path base = settings.parent_path();
    return std::make_pair(base / nativeFolderPath(config.recordFolder),
                          base / nativeFolderPath(config.pictureFolder));
}

void checkFolders(Report& report, const std::optional<fs::path>& workdir) {
    report.section("Folders:");
    std::error_code ec;
    const WorkFolder work = chooseWorkFolder(workdir);
    const bool exists = fs::is_directory(work.path, ec);
    report.line("working folder  " + work.path.string() +
                (work.home ? " (a home of its own" : " (the start folder with its own skin") +
                (exists ? ")" : ", created at the first start)") + ", " + freeSpaceOf(work.path));

    const fs::path ownSkin = work.path / "UI";
    if (fs::is_regular_file(ownSkin / "ui.ini", ec)) {
        report.line("skin            " + fs::weakly_canonical(ownSkin, ec).string());
    } else if (work.home) {
        if (std::optional<fs::path> skin = findSkinFolder(installedSkinFolders()))
            report.line("skin            " + skin->string() + " (installed)");
        else
            report.problem("the installed skin (ui.ini) is missing; looked in " +
                           installedSkinFolders().front().string() + " and " +
                           installedSkinFolders().back().string() + ".");
    } else {
        report.problem("the skin " + ownSkin.string() + " has no ui.ini.");
    }

    const fs::path settings = work.path / kSettingsFileName;
    auto folders = storedFolders(settings);
    if (folders) {
        report.line("settings file   " + settings.string());
    } else {
        report.line("settings file   " + settings.string() + " (written at the first start)");
        if (work.home)
            folders = std::make_pair(userFolder(UserFolder::Videos) / "Vidora",
                                     userFolder(UserFolder::Pictures) / "Vidora");
        else
            folders = std::make_pair(work.path / "RECORD", work.path / "SNAPSHOT");
    }
    for (const auto& [label, folder] : {std::pair{"recordings      ", folders->first},
                                        std::pair{"snapshots       ", folders->second}}) {
        const fs::path shown = folder.lexically_normal();
        std::string state;
        if (fs::is_directory(shown, ec))
            state = ::access(shown.c_str(), W_OK) == 0 ? "" : " (NOT WRITABLE)";
        else
            state = work.home && !fs::exists(settings, ec) ? " (created at the first start)"
                                                           : " (does not exist)";
        report.line(label + shown.string() + state + ", " + freeSpaceOf(shown));
        if (state == " (NOT WRITABLE)")
            report.problem(shown.string() + " is not writable for you.");
    }
}

// The network stream: its address and whether its port is free, and the elements its pipeline
// is built from. Only a stream that is switched on can have a problem.
void checkNetworkStream(Report& report, const std::optional<fs::path>& workdir) {
    report.section("Network stream:");
    Preferences prefs;
    prefs.load(chooseWorkFolder(workdir).path / kPreferencesFileName);
    const StreamSettings stream = readStreamSettings(prefs);
    const bool free = streamPortFree(stream.port, stream.allowOthers);
    report.line(std::string(stream.enabled ? "on" : "off ([stream] enabled=false)") + ", " +
                streamAddress(stream, thisHostName()) + ", port " + std::to_string(stream.port) +
                (free ? " free" : " IN USE (by a running viewer or another program)"));
    if (stream.enabled && !free)
        report.problem("port " + std::to_string(stream.port) +
                       " of the network stream is in use; close the program that holds it or "
                       "choose another port in More settings.");
    if (const std::string problem = streamSettingsProblem(stream);
        stream.enabled && !problem.empty())
        report.problem(problem);
    struct Needed {
        const char* factory;
        const char* package;
    };
    for (const Needed& element : {Needed{"x264enc", "gstreamer1.0-plugins-ugly"},
                                  Needed{"rtph264pay", "gstreamer1.0-plugins-good"},
                                  Needed{"alawenc", "gstreamer1.0-plugins-good"},
                                  Needed{"rtppcmapay", "gstreamer1.0-plugins-good"}}) {
        media::GstPtr<GstElementFactory> factory =
            media::adoptRef(gst_element_factory_find(element.factory));
        std::ostringstream row;
        row << std::left << std::setw(15) << element.factory << (factory ? "ok" : "MISSING");
        if (!factory)
            row << " (install " << element.package << ")";
        report.line(row.str());
        if (!factory && stream.enabled)
            report.problem(std::string("the GStreamer element ") + element.factory +
                           " of the network stream is missing: sudo apt-get install " +
                           element.package);
    }
}

}  // namespace

int runDiagnostics(std::ostream& out, ReceiverKind program, const std::optional<fs::path>& workdir,
                   const std::string& chosenDevice, const DiagnosticsSystem& system) {
    Report report(out);
    out << (program == ReceiverKind::Real ? "vidora" : "vidora-demo") << " " VIDORA_VERSION
        << " diagnostics\n";
    checkDevices(report, Machine(system), chosenDevice);
    checkElements(report, program);
    checkSoundOutput(report);
    checkFolders(report, workdir);
    checkNetworkStream(report, workdir);
    return report.finish();
}

}  // namespace vidora
