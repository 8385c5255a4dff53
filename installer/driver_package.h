#pragma once
// The driver installer's work: find the receiver's driver package in a folder and hand it to the
// system. Free functions without state, called once from the installer's main thread.
#include <filesystem>
#include <ostream>
#include <string>

namespace vidora {

// Where an install writes and what it starts. The shipped program uses the system's places; the
// test build points them at a scratch folder and a stand-in for udevadm.
struct SystemLocations {
#ifdef _WIN32
    std::filesystem::path rundll32;  // the system's RUNDLL32.EXE
#else
    std::filesystem::path udevRulesDir;  // folder udev reads local rules from
    std::string udevadm;                 // absolute path, or a name looked up on PATH
#endif
};

// The driver package the installer looks for in the folder it is started in.
#ifdef _WIN32
inline constexpr const char* kDriverPackageName = "halcap.INF";
#else
inline constexpr const char* kDriverPackageName = "halcap.rules";
#endif

// Name of our rules in the udev rules folder. udev reads the folder in name order and the
// "uaccess" tag only takes effect when it is set before systemd's 73-seat-late.rules runs.
inline constexpr const char* kInstalledRulesName = "70-halcap.rules";

inline constexpr const char* kInstallingMessage = "Installing the MR220 usb driver...";
inline constexpr const char* kCompletedMessage = "Installation completed.";

// Installs the package file `package`. Returns an empty string on success, otherwise one line
// naming the step that failed and why.
std::string installDriverPackage(const std::filesystem::path& package,
                                 const SystemLocations& system);

// The whole program: installs the package of the current directory and writes the two messages
// run together on `out`, or an error on `err`. Returns the exit code (0 only on success).
int runInstaller(const SystemLocations& system, std::ostream& out, std::ostream& err);

// Command line that runs the SetupAPI install of the INF file at `infPath` through RUNDLL32. The
// path is quoted, so spaces stay inside it; it is started without a command interpreter, so
// nothing in it is ever run.
std::wstring installHinfCommandLine(const std::wstring& infPath);

}  // namespace vidora
