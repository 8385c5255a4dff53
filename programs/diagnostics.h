#pragma once
// --diagnose: what the viewer needs on this machine, checked the way the viewer itself would use
// it, and printed for the user: the video capture devices and whether one is the receiver
// ("Halcap Capture"); whether the receiver's USB device opens for vendor requests (and if not,
// why and the command that fixes it); the GStreamer elements of the graphs, with the Debian
// package of each missing one; the sound output; the folders and their free space. Touches no
// file. Runs on the main thread, without a Qt application.
#include <filesystem>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "platform/media/capture_graph.h"
#include "programs/program.h"

namespace vidora {

// Where the checks look at the machine. The defaults are the machine's own; tests point them at
// fake trees (root opens every node, so the open check is a function of its own).
struct DiagnosticsSystem {
    std::filesystem::path sysRoot = "/sys";
    std::filesystem::path devRoot = "/dev";  // stands for /dev in the devices' paths
    // 0 when this user may open the node for reading and writing, else the errno; empty:
    // access(2).
    std::function<int(const std::filesystem::path&)> openError;
    // The video capture devices as the viewer finds them; empty: GStreamer's device monitor.
    std::function<std::optional<std::vector<media::DeviceInfo>>()> videoInputs;
    // Where udev reads rules from; the package and the installer put the receiver's rules in one.
    std::vector<std::filesystem::path> rulesFolders = {"/etc/udev/rules.d", "/usr/lib/udev/rules.d",
                                                       "/usr/local/lib/udev/rules.d",
                                                       "/lib/udev/rules.d"};
};

// Prints the findings; returns 0 when all is well, 1 when something the viewer needs is missing.
// `chosenDevice` is the receiver's node chosen by the user (--device or vidora.ini), or empty.
int runDiagnostics(std::ostream& out, ReceiverKind program,
                   const std::optional<std::filesystem::path>& workdir,
                   const std::string& chosenDevice = {}, const DiagnosticsSystem& system = {});

}  // namespace vidora
