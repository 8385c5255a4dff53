#pragma once
// The programs' command line (vidora and vidora-demo share it):
//   --help, --version             print and end with 0, touching no file
//   --workdir DIR                 work in DIR (see app/paths.h)
//   --screenshot FILE             with --quit-after: a picture of the main window, taken as
//                                 the time runs out (for headless runs of the demo)
//   --quit-after SECONDS          end the run after SECONDS, as if the user closed the window
//   --diagnose                    check the receiver, the GStreamer elements, the sound output
//                                 and the folders, print the findings and end
//   --device NODE                 use the video node NODE (/dev/videoN) as the receiver and
//                                 keep the choice in vidora.ini
//   --verbose                     switch every log category on
// Anything else ends the program with its usage on standard error and exit code 2. Parsed on
// the main thread before any Qt application object exists.
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace vidora {

struct ProgramOptions {
    std::optional<std::filesystem::path> workdir;
    std::optional<std::filesystem::path> screenshot;  // absolute: taken against the start folder
    std::optional<int> quitAfterMs;
    std::optional<std::string> device;  // a /dev/ path
    bool diagnose = false;
    bool verbose = false;
};

struct CommandLine {
    ProgramOptions options;
    // Set when the program ends at once with this code, after printing `out` to standard output
    // and `err` to standard error.
    std::optional<int> exitCode;
    std::string out;
    std::string err;
};

// `arguments` starts with the program's own path; `program` is the name shown in the usage
// and the version ("vidora-demo 1.0.4").
CommandLine parseCommandLine(const std::vector<std::string>& arguments, const std::string& program);

}  // namespace vidora
