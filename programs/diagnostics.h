#pragma once
// --diagnose: what the viewer needs on this machine, checked the way the viewer itself would use
// it, and printed for the user: the video capture devices and whether one is the receiver
// ("Halcap Capture"); whether the receiver's USB device opens for vendor requests (and if not,
// why and the command that fixes it); the GStreamer elements of the graphs, with the Debian
// package of each missing one; the sound output; the folders and their free space. Touches no
// file. Runs on the main thread, without a Qt application.
#include <filesystem>
#include <optional>
#include <ostream>
#include <string>

#include "programs/program.h"

namespace vidora {

// Prints the findings; returns 0 when all is well, 1 when something the viewer needs is missing.
// `chosenDevice` is the receiver's node chosen by the user (--device or vidora.ini), or empty.
int runDiagnostics(std::ostream& out, ReceiverKind program,
                   const std::optional<std::filesystem::path>& workdir,
                   const std::string& chosenDevice = {});

}  // namespace vidora
