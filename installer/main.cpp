// installer: installs the MR220 receiver's driver package from the folder it is started in.
// Takes no arguments and reads no settings; the exit code says whether the install succeeded.
#include <iostream>

#include "installer/driver_package.h"

#ifdef _WIN32
#include <windows.h>
#endif

// The system places. Only the installer's test build defines these, to install into a scratch
// folder and start a stand-in for udevadm; the program itself has no option to move them.
#ifndef VIDORA_UDEV_RULES_DIR
#define VIDORA_UDEV_RULES_DIR "/etc/udev/rules.d"
#endif
#ifndef VIDORA_UDEVADM
#define VIDORA_UDEVADM "udevadm"
#endif

namespace {

vidora::SystemLocations systemLocations() {
    vidora::SystemLocations system;
#ifdef _WIN32
    wchar_t folder[MAX_PATH] = {};
    const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
    system.rundll32 = std::filesystem::path(std::wstring(folder, length < MAX_PATH ? length : 0)) /
                      L"RUNDLL32.EXE";
#else
    system.udevRulesDir = VIDORA_UDEV_RULES_DIR;
    system.udevadm = VIDORA_UDEVADM;
#endif
    return system;
}

}  // namespace

int main() {
    return vidora::runInstaller(systemLocations(), std::cout, std::cerr);
}
