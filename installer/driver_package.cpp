#include "installer/driver_package.h"

#include <system_error>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstring>

extern char** environ;
#endif

namespace vidora {

namespace {

// Paths go into messages as UTF-8 on every system.
std::string displayPath(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

#ifndef _WIN32

std::string joined(const std::vector<std::string>& args) {
    std::string text;
    for (const std::string& arg : args) {
        text += text.empty() ? "" : " ";
        text += arg;
    }
    return text;
}

// Starts args[0] (looked up on PATH when it holds no '/') with exactly these arguments, no shell
// in between, and waits for it. Returns an empty string when it ran and exited with 0.
std::string runProgram(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const std::string& arg : args) {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);

    pid_t pid = 0;
    const int spawnError = posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ);
    if (spawnError != 0) {
        return "cannot start " + args[0] + ": " + std::strerror(spawnError);
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) {
            return "lost track of " + joined(args) + ": " + std::strerror(errno);
        }
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) {
        return {};
    }
    if (WIFSIGNALED(status)) {
        return joined(args) + " was killed by signal " + std::to_string(WTERMSIG(status));
    }
    return joined(args) + " failed with exit code " + std::to_string(WEXITSTATUS(status));
}

#endif

}  // namespace

#ifdef _WIN32

std::string installDriverPackage(const std::filesystem::path& package,
                                 const SystemLocations& system) {
    std::wstring commandLine = installHinfCommandLine(package.wstring());
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    // The application is named, so the command line is only RUNDLL32's own arguments and no
    // command interpreter ever sees the folder name.
    if (!CreateProcessW(system.rundll32.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0,
                        nullptr, nullptr, &startup, &process)) {
        return "cannot start " + displayPath(system.rundll32) + ": error " +
               std::to_string(GetLastError());
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD exitCode = 0;
    const bool known = GetExitCodeProcess(process.hProcess, &exitCode) != 0;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    if (!known) {
        return "cannot learn how the INF install of " + displayPath(package) + " ended";
    }
    if (exitCode != 0) {
        return "the INF install of " + displayPath(package) + " failed with exit code " +
               std::to_string(exitCode);
    }
    return {};
}

#else

std::string installDriverPackage(const std::filesystem::path& package,
                                 const SystemLocations& system) {
    namespace fs = std::filesystem;
    const fs::path target = system.udevRulesDir / kInstalledRulesName;
    // Copied beside the target and renamed over it, so udev never reads a half-written file; the
    // temporary name does not end in ".rules" and is never read as rules.
    const fs::path temporary = system.udevRulesDir / (std::string(kInstalledRulesName) + ".new");
    std::error_code ec;
    fs::copy_file(package, temporary, fs::copy_options::overwrite_existing, ec);
    if (!ec) {
        fs::permissions(temporary,
                        fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                            fs::perms::others_read,
                        ec);
    }
    if (!ec) {
        fs::rename(temporary, target, ec);
    }
    if (ec) {
        std::error_code ignored;
        fs::remove(temporary, ignored);
        return "cannot copy " + displayPath(package) + " to " + displayPath(target) + ": " +
               ec.message();
    }

    // Only USB devices are re-triggered: the receiver's control requests go to its USB device.
    for (const std::vector<std::string>& step :
         {std::vector<std::string>{system.udevadm, "control", "--reload-rules"},
          std::vector<std::string>{system.udevadm, "trigger", "--subsystem-match=usb",
                                   "--action=change"}}) {
        if (std::string failure = runProgram(step); !failure.empty()) {
            return failure;
        }
    }
    return {};
}

#endif

int runInstaller(const SystemLocations& system, std::ostream& out, std::ostream& err) {
    std::error_code ec;
    const std::filesystem::path folder = std::filesystem::current_path(ec);
    if (ec) {
        err << "installer: cannot read the current directory: " << ec.message() << '\n';
        return 1;
    }
    const std::filesystem::path package = folder / kDriverPackageName;
    if (!std::filesystem::is_regular_file(package, ec)) {
        err << "installer: driver package not found: " << displayPath(package) << '\n';
        return 1;
    }

    // Flushed before anything is started, so the message stands ahead of whatever a child prints.
    out << kInstallingMessage << std::flush;
    const std::string failure = installDriverPackage(package, system);
    if (!failure.empty()) {
        out << std::endl;  // ends the progress line so the error stands on a line of its own
        err << "installer: " << failure << '\n';
        return 1;
    }
    out << kCompletedMessage << std::flush;
    return 0;
}

std::wstring installHinfCommandLine(const std::wstring& infPath) {
    return L"RUNDLL32.EXE SETUPAPI.DLL,InstallHinfSection Halcap.Device 132 \"" + infPath + L"\"";
}

}  // namespace vidora
