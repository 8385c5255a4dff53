#include "app/paths.h"

#include <fcntl.h>
#include <pwd.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "app/settings.h"
#include "platform/log/log.h"

extern char** environ;

namespace vidora {

namespace fs = std::filesystem;

namespace {

std::optional<std::string> environmentValue(const char* name) {
    const char* value = std::getenv(name);
    if (!value || !*value)
        return std::nullopt;
    return std::string(value);
}

// Runs `program` (looked up on PATH) with `argument`; its standard output when it ends with 0.
std::optional<std::string> outputOf(const char* program, const char* argument) {
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0)
        return std::nullopt;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::string arg0 = program, arg1 = argument;
    char* argv[] = {arg0.data(), arg1.data(), nullptr};
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, program, &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeFds[1]);
    std::string output;
    if (spawned == 0) {
        char buffer[512];
        for (;;) {
            const ssize_t n = ::read(pipeFds[0], buffer, sizeof buffer);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            output.append(buffer, static_cast<std::size_t>(n));
        }
    }
    ::close(pipeFds[0]);
    if (spawned != 0)
        return std::nullopt;
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return std::nullopt;
    while (!output.empty() && (output.back() == '\n' || output.back() == '\r'))
        output.pop_back();
    return output;
}

// A folder from the user's settings counts when it is absolute and not the home folder itself
// (xdg-user-dirs writes "$HOME/" for a folder the user switched off).
bool usableUserFolder(const fs::path& folder, const fs::path& home) {
    return folder.is_absolute() && folder.lexically_normal() != (home / "").lexically_normal() &&
           folder.lexically_normal() != home.lexically_normal();
}

std::string describe(const std::error_code& ec) {
    return ec.message();
}

// The working folder's UI/ leads to a skin, or is made a link to the installed one.
std::string linkInstalledSkin(const std::vector<fs::path>& skinFolders) {
    std::error_code ec;
    if (fs::is_regular_file("UI/ui.ini", ec))
        return {};
    const fs::file_status link = fs::symlink_status("UI", ec);
    if (fs::exists(link) && !fs::is_symlink(link)) {
        // A folder of the user's own: the skin check names what is wrong with it.
        return {};
    }
    const std::optional<fs::path> skin = findSkinFolder(skinFolders);
    if (!skin) {
        std::string looked;
        for (std::size_t i = 0; i < skinFolders.size(); ++i) {
            if (i > 0)
                looked += i + 1 == skinFolders.size() ? " and " : ", ";
            looked += skinFolders[i].string();
        }
        return "Vidora cannot find its skin (ui.ini). It looked in " + looked + ".";
    }
    if (fs::is_symlink(link))
        fs::remove("UI", ec);
    fs::create_directory_symlink(*skin, "UI", ec);
    if (ec)
        return "Vidora cannot link its skin " + skin->string() + " into " +
               (fs::current_path() / "UI").string() + ": " + describe(ec) + ".";
    qCInfo(log::app) << "skin linked from" << skin->c_str();
    return {};
}

}  // namespace

fs::path userHomeFolder() {
    if (auto home = environmentValue("HOME"))
        return *home;
    if (const passwd* entry = ::getpwuid(::getuid()); entry && entry->pw_dir)
        return entry->pw_dir;
    return "/";
}

fs::path perUserHome() {
    const std::optional<std::string> dataHome = environmentValue("XDG_DATA_HOME");
    if (dataHome && fs::path(*dataHome).is_absolute())
        return fs::path(*dataHome) / "vidora";
    return userHomeFolder() / ".local" / "share" / "vidora";
}

std::optional<fs::path> readUserDirsEntry(const fs::path& file, const std::string& key,
                                          const fs::path& home) {
    std::ifstream in(file);
    std::optional<fs::path> found;
    for (std::string line; std::getline(in, line);) {
        const std::size_t start = line.find_first_not_of(" \t");
        if (start == std::string::npos || line[start] == '#')
            continue;
        if (line.compare(start, key.size() + 1, key + "=") != 0)
            continue;
        std::string value = line.substr(start + key.size() + 1);
        // The value is one double-quoted string; the file format allows no other quoting.
        if (value.size() < 2 || value.front() != '"')
            continue;
        const std::size_t close = value.find('"', 1);
        if (close == std::string::npos)
            continue;
        value = value.substr(1, close - 1);
        fs::path folder;
        if (value.rfind("$HOME", 0) == 0 && (value.size() == 5 || value[5] == '/'))
            folder = home.string() + value.substr(5);
        else if (!value.empty() && value.front() == '/')
            folder = value;
        else
            continue;
        // The last entry for a key wins, as when the shell reads the file.
        found = folder;
    }
    if (found && !usableUserFolder(*found, home))
        return std::nullopt;
    return found;
}

fs::path userFolder(UserFolder kind) {
    const fs::path home = userHomeFolder();
    const char* name = kind == UserFolder::Videos ? "VIDEOS" : "PICTURES";
    if (std::optional<std::string> printed = outputOf("xdg-user-dir", name)) {
        if (usableUserFolder(*printed, home))
            return *printed;
    } else {
        const std::optional<std::string> configHome = environmentValue("XDG_CONFIG_HOME");
        const fs::path config = configHome && fs::path(*configHome).is_absolute()
                                    ? fs::path(*configHome)
                                    : home / ".config";
        if (auto entry = readUserDirsEntry(config / "user-dirs.dirs",
                                           std::string("XDG_") + name + "_DIR", home))
            return *entry;
    }
    return home / (kind == UserFolder::Videos ? "Videos" : "Pictures");
}

std::vector<fs::path> installedSkinFolders() {
    std::vector<fs::path> folders;
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (!ec)
        folders.push_back(
            (exe.parent_path() / ".." / "share" / "vidora" / "UI").lexically_normal());
    const fs::path built = fs::path(VIDORA_INSTALL_DATADIR) / "UI";
    if (folders.empty() || folders.front() != built)
        folders.push_back(built);
    return folders;
}

std::optional<fs::path> findSkinFolder(const std::vector<fs::path>& candidates) {
    for (const fs::path& folder : candidates) {
        std::error_code ec;
        if (fs::is_regular_file(folder / "ui.ini", ec))
            return folder;
    }
    return std::nullopt;
}

WorkFolder chooseWorkFolder(const std::optional<fs::path>& workdir) {
    std::error_code ec;
    if (workdir) {
        const fs::path folder = fs::absolute(*workdir, ec).lexically_normal();
        return {folder, !fs::is_directory(folder / "UI", ec)};
    }
    const fs::path start = fs::current_path(ec);
    const fs::path home = perUserHome();
    // Started inside the per-user home (its UI/ is the linked skin), it is still that home.
    if (fs::is_directory("UI", ec) && !fs::equivalent(start, home, ec))
        return {start, false};
    return {home, true};
}

std::string enterWorkFolder(const std::optional<fs::path>& workdir,
                            const std::vector<fs::path>& skinFolders, WorkFolder& entered) {
    std::error_code ec;
    const WorkFolder chosen = chooseWorkFolder(workdir);
    if (chosen.path.empty())
        return "Vidora cannot use the folder " + (workdir ? workdir->string() : std::string()) +
               ".";
    if (chosen.home) {
        fs::create_directories(chosen.path, ec);
        if (ec || !fs::is_directory(chosen.path))
            return "Vidora cannot create its folder " + chosen.path.string() + ": " +
                   (ec ? describe(ec) : std::string("a file of that name is in the way")) + ".";
    }
    fs::current_path(chosen.path, ec);
    if (ec)
        return "Vidora cannot work in the folder " + chosen.path.string() + ": " + describe(ec) +
               ".";
    if (chosen.home) {
        if (std::string failure = linkInstalledSkin(skinFolders); !failure.empty())
            return failure;
    }
    entered = chosen;
    qCInfo(log::app) << "working in" << chosen.path.c_str()
                     << (chosen.home ? "(a home of its own)" : "(the folder's own skin)");
    return {};
}

std::string prepareNewSettingsFolders(const WorkFolder& folder) {
    std::error_code ec;
    if (!folder.home || fs::exists(kSettingsFileName, ec))
        return {};
    const fs::path videos = userFolder(UserFolder::Videos) / "Vidora";
    const fs::path pictures = userFolder(UserFolder::Pictures) / "Vidora";
    for (const fs::path& made : {videos, pictures}) {
        if (made.string().size() > kMaxStoredFolderLength)
            return "The folder " + made.string() + " is longer than the " +
                   std::to_string(kMaxStoredFolderLength) +
                   " characters the settings file can hold. Choose a shorter videos or pictures "
                   "folder (xdg-user-dirs-update) and start Vidora again.";
        fs::create_directories(made, ec);
        if (ec || !fs::is_directory(made))
            return "Vidora cannot create the folder " + made.string() + ": " +
                   (ec ? describe(ec) : std::string("a file of that name is in the way")) + ".";
    }
    setDefaultFolders(videos.string(), pictures.string());
    qCInfo(log::app) << "new settings file: recordings in" << videos.c_str() << "snapshots in"
                     << pictures.c_str();
    return {};
}

}  // namespace vidora
