#pragma once
// Where the viewer keeps its files. A folder that holds a skin (UI/) is used as it stands: the
// settings file, the skin and the default RECORD and SNAPSHOT folders lie in it (that is how
// build/run/ and the tests work). Otherwise the viewer works in a home of its own: the per-user
// folder $XDG_DATA_HOME/vidora (~/.local/share/vidora), or the folder given with --workdir. A
// home is created on first start, its UI/ is a link to the installed skin, and a new settings
// file there keeps recordings and snapshots in the user's videos and pictures folders.
// Called once on the main thread at start-up, before the settings are loaded.
#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace vidora {

// The working folder of this run.
struct WorkFolder {
    std::filesystem::path path;  // absolute; the process's working directory once entered
    bool home = false;           // a home (skin linked in, user folders for a new settings file)
};

// Record and snapshot folders are stored in the settings record as NUL-terminated strings of
// this many bytes at most.
inline constexpr std::size_t kMaxStoredFolderLength = 255;

// $HOME, or the user's entry in the password database when it is unset.
std::filesystem::path userHomeFolder();

// $XDG_DATA_HOME/vidora when XDG_DATA_HOME is an absolute path, else ~/.local/share/vidora.
std::filesystem::path perUserHome();

enum class UserFolder { Videos, Pictures };

// The user's videos or pictures folder: what `xdg-user-dir VIDEOS` / `PICTURES` prints, or,
// without that program, the entry of $XDG_CONFIG_HOME/user-dirs.dirs (~/.config/...); a folder
// that is not set, or set to the home folder itself (which means "none"), is ~/Videos or
// ~/Pictures.
std::filesystem::path userFolder(UserFolder kind);

// One entry of a user-dirs.dirs file (XDG_VIDEOS_DIR="$HOME/Videos"): the folder, with $HOME
// replaced by `home`; none when the key is missing, the value is not "$HOME/..." or an
// absolute path, or it names `home` itself.
std::optional<std::filesystem::path> readUserDirsEntry(const std::filesystem::path& file,
                                                       const std::string& key,
                                                       const std::filesystem::path& home);

// The folders that may hold the installed skin, in the order they are tried: beside the
// executable (<exe dir>/../share/vidora/UI, for an install that was moved) and then the
// install location the program was built for.
std::vector<std::filesystem::path> installedSkinFolders();
// The first of `candidates` that holds a skin file (ui.ini).
std::optional<std::filesystem::path> findSkinFolder(
    const std::vector<std::filesystem::path>& candidates);

// The working folder of this run: `workdir` when given (a home unless it holds UI/), else the
// start folder when it holds UI/, else the per-user home. Looks only; creates nothing.
WorkFolder chooseWorkFolder(const std::optional<std::filesystem::path>& workdir);

// Makes the folder chooseWorkFolder gives the working directory. A home is created when missing and
// gets UI/ as a link to the first installed skin of `skinFolders` (a link that no longer leads
// to a skin is made again; a UI/ folder of the user's own is left alone). Returns an empty
// string on success, otherwise the one line the user is shown.
std::string enterWorkFolder(const std::optional<std::filesystem::path>& workdir,
                            const std::vector<std::filesystem::path>& skinFolders,
                            WorkFolder& entered);

// For a home without a settings file: the user's videos and pictures folders, each with a
// Vidora subfolder, are created and become the folders of the settings file about to be
// written. Does nothing in other cases. Empty string on success, or the line the user is shown
// (a folder that cannot be created, or whose path is longer than the settings record holds).
std::string prepareNewSettingsFolders(const WorkFolder& folder);

}  // namespace vidora
