#pragma once
// Storage folders: size accounting, deletion of the oldest files down to a limit, and a watcher
// that keeps a folder total in ViewerState current while files come and go.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

#include "platform/worker_thread.h"

namespace vidora {

// Folder path as stored in the settings (backslashes from a Windows-written file become '/').
std::string nativeFolderPath(const char* stored);

// Total size in bytes of the regular files directly in `folder` (subfolders are neither entered
// nor counted); nullopt when the folder cannot be listed.
std::optional<uint64_t> folderSizeBytes(const std::string& folder);

// Total size of the folder's files in MB (truncated); 0 when it cannot be listed. When `folder`
// is byte for byte the current recordFolder, sets recordFolderHasFiles.
uint32_t folderSizeMB(const char* folder);

struct DeleteResult {
    bool listed = false;      // false: the folder could not be listed (nothing was deleted)
    uint64_t totalBytes = 0;  // what the folder holds afterwards
    uint32_t totalMB() const { return static_cast<uint32_t>(totalBytes / 1048576u); }
};

// Removes one recording or snapshot file and tells the event log it is gone. Empty on success,
// else the system's reason. The folder limits and the recordings window both delete through it.
std::string deleteStoredFile(const std::string& path);

// Deletes files of `folder`, in ascending byte order of their paths (oldest first for our
// time-stamped names), until the total is at most limitMB megabytes. Files that cannot be
// deleted are skipped. Sizes and the limit are 64-bit.
DeleteResult deleteOldestFiles(const char* folder, uint32_t limitMB);

// Keeps *total (recordFolderMB or pictureFolderMB) equal to folderSizeMB(folder) while the folder
// changes, on a thread of its own. The notice (if any) is called from the watcher thread after
// each update; the engine sends NTF_RECORD_STATE from it. The gone notice (if any) is called
// from the watcher thread as soon as the folder itself goes away (removed, moved, unmounted),
// before the total is measured again.
struct FolderWatcherTiming {
    std::chrono::milliseconds wait{2000};    // wait for a change per round
    std::chrono::milliseconds settle{1000};  // sleep after a change before re-measuring
    std::chrono::milliseconds retry{5000};   // retry period for a missing folder
};

class FolderWatcher {
  public:
    using Timing = FolderWatcherTiming;

    FolderWatcher(uint32_t* total, std::string folder, std::function<void()> notice = {},
                  Timing timing = Timing());
    ~FolderWatcher();

    void start();
    void setFolder(std::string folder);  // a running watcher follows within about one wait
    void setNotice(std::function<void()> notice);
    void setGoneNotice(std::function<void()> notice);
    void stop();
    bool running() const { return thread_.alive(); }

    // The folder the watcher follows now, and whether its watch is set (false while it waits
    // for the folder to appear). Lets a caller wait for the watcher instead of for a time.
    struct WatchState {
        std::string folder;
        bool watching = false;
        bool operator==(const WatchState&) const = default;
    };
    WatchState watchState() const;

  private:
    void body(WorkerThread& self);
    std::string currentFolder(bool* changed);

    uint32_t* total_;
    mutable std::mutex mutex_;
    std::string folder_;
    bool folderChanged_ = false;
    WatchState watchState_;
    std::function<void()> notice_;
    std::function<void()> goneNotice_;
    Timing timing_;
    WorkerThread thread_;
};

}  // namespace vidora
