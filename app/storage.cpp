#include "app/storage.h"

#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>
#include <system_error>

#include "app/event_sink.h"
#include "app/live_config.h"
#include "app/settings.h"
#include "platform/relaxed.h"

namespace fs = std::filesystem;

namespace vidora {

std::string nativeFolderPath(const char* stored) {
    std::string path = stored ? stored : "";
    for (char& c : path) {
        if (c == '\\')
            c = '/';
    }
    return path;
}

namespace {

// The regular files directly in the folder with their sizes; nullopt when it cannot be listed.
// Subfolders (and what they hold) are neither counted nor deleted. A symbolic link is not a file
// of the folder: its target's size would be counted here, and deleting the link frees nothing.
std::optional<std::map<std::string, uint64_t>> listFiles(const std::string& folder) {
    std::error_code ec;
    fs::directory_iterator it(folder.empty() ? fs::path(".") : fs::path(folder), ec);
    if (ec)
        return std::nullopt;
    std::map<std::string, uint64_t> files;
    for (const fs::directory_entry& entry : it) {
        std::error_code statError;
        if (!fs::is_regular_file(entry.symlink_status(statError)) || statError)
            continue;
        uint64_t size = entry.file_size(statError);
        if (statError)
            continue;
        files[entry.path().string()] = size;
    }
    return files;
}

// Byte for byte the current recordFolder, which the UI thread may rewrite meanwhile.
bool isRecordFolder(const char* folder) {
    return loadConfigString(gConfig.recordFolder) == folder;
}

}  // namespace

std::optional<uint64_t> folderSizeBytes(const std::string& folder) {
    auto files = listFiles(folder);
    if (!files)
        return std::nullopt;
    uint64_t total = 0;
    for (const auto& [path, size] : *files)
        total += size;
    return total;
}

uint32_t folderSizeMB(const char* folder) {
    std::optional<uint64_t> total = folderSizeBytes(nativeFolderPath(folder));
    if (!total)
        return 0;
    if (folder && isRecordFolder(folder)) {
        storeRelaxed(gState.recordFolderHasFiles, *total != 0 ? 1 : 0);
    }
    return static_cast<uint32_t>(*total / 1048576u);
}

std::string deleteStoredFile(const std::string& path) {
    if (::unlink(path.c_str()) != 0)
        return std::strerror(errno);
    eventSink().fileGone(eventTimeNow(), path);
    return {};
}

DeleteResult deleteOldestFiles(const char* folder, uint32_t limitMB) {
    DeleteResult result;
    auto files = listFiles(nativeFolderPath(folder));
    if (!files)
        return result;
    result.listed = true;
    const uint64_t limit = static_cast<uint64_t>(limitMB) * 1048576u;
    for (const auto& [path, size] : *files)
        result.totalBytes += size;
    // Our file names are time stamps, so ascending byte order of the paths is oldest first.
    for (const auto& [path, size] : *files) {
        if (result.totalBytes <= limit)
            break;
        if (size == 0)
            continue;
        if (deleteStoredFile(path).empty())
            result.totalBytes -= size;
    }
    return result;
}

FolderWatcher::FolderWatcher(uint32_t* total, std::string folder, std::function<void()> notice,
                             Timing timing)
    : total_(total),
      folder_(std::move(folder)),
      notice_(std::move(notice)),
      timing_(timing),
      thread_("folder-watch") {}

FolderWatcher::~FolderWatcher() {
    stop();
}

void FolderWatcher::start() {
    if (thread_.alive())
        return;
    thread_.start([this](WorkerThread& self) { body(self); });
}

void FolderWatcher::setFolder(std::string folder) {
    std::lock_guard lock(mutex_);
    folder_ = std::move(folder);
    folderChanged_ = true;
}

void FolderWatcher::setNotice(std::function<void()> notice) {
    std::lock_guard lock(mutex_);
    notice_ = std::move(notice);
}

void FolderWatcher::setGoneNotice(std::function<void()> notice) {
    std::lock_guard lock(mutex_);
    goneNotice_ = std::move(notice);
}

void FolderWatcher::stop() {
    thread_.stop(std::chrono::milliseconds(50));
}

std::string FolderWatcher::currentFolder(bool* changed) {
    std::lock_guard lock(mutex_);
    if (changed) {
        *changed = folderChanged_;
        folderChanged_ = false;
    }
    return folder_;
}

namespace {

// One inotify watch on one folder (no subtree): names and sizes changing.
class ChangeNotification {
  public:
    explicit ChangeNotification(const std::string& folder) {
        fd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (fd_ < 0)
            return;
        path_ = nativeFolderPath(folder.c_str());
        if (path_.empty())
            path_.push_back('.');
        int wd = inotify_add_watch(fd_, path_.c_str(),
                                   IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_MODIFY |
                                       IN_CLOSE_WRITE | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR);
        struct stat st {};
        if (wd < 0 || ::stat(path_.c_str(), &st) != 0) {
            ::close(fd_);
            fd_ = -1;
            return;
        }
        device_ = st.st_dev;
        inode_ = st.st_ino;
    }
    ~ChangeNotification() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    ChangeNotification(const ChangeNotification&) = delete;
    ChangeNotification& operator=(const ChangeNotification&) = delete;

    // False once the folder itself went away (deleted, moved or unmounted): the watch is gone
    // and the folder must be opened again.
    bool valid() const { return fd_ >= 0 && !folderGone_; }

    // True once the folder went away. Besides the watch's own events this looks at the path:
    // while a file in the folder is still open (a recording being written), removing the folder
    // reports the removal of that file, but the folder's own removal only once the file closes.
    bool gone() {
        if (fd_ < 0 || folderGone_)
            return true;
        struct stat st {};
        if (::stat(path_.c_str(), &st) != 0 || st.st_dev != device_ || st.st_ino != inode_)
            folderGone_ = true;
        return folderGone_;
    }

    // Waits up to `limit` for a change; true when one came.
    bool wait(std::chrono::milliseconds limit) {
        pollfd p{fd_, POLLIN, 0};
        int n = ::poll(&p, 1, static_cast<int>(limit.count()));
        return n > 0 && (p.revents & POLLIN);
    }
    // Reads away what has come so far (re-arms the notification).
    void drain() {
        alignas(inotify_event) char buffer[4096];
        for (ssize_t n; (n = ::read(fd_, buffer, sizeof buffer)) > 0;) {
            for (ssize_t at = 0; at + static_cast<ssize_t>(sizeof(inotify_event)) <= n;) {
                inotify_event event;
                std::memcpy(&event, buffer + at, sizeof event);
                if (event.mask & (IN_IGNORED | IN_DELETE_SELF | IN_MOVE_SELF | IN_UNMOUNT))
                    folderGone_ = true;
                at += static_cast<ssize_t>(sizeof(inotify_event) + event.len);
            }
        }
    }

  private:
    int fd_ = -1;
    std::string path_;
    dev_t device_ = 0;
    ino_t inode_ = 0;
    bool folderGone_ = false;
};

}  // namespace

FolderWatcher::WatchState FolderWatcher::watchState() const {
    std::lock_guard lock(mutex_);
    return watchState_;
}

void FolderWatcher::body(WorkerThread& self) {
    std::unique_ptr<ChangeNotification> notification;
    std::string folder;
    auto folderChanged = [&] {
        std::lock_guard lock(mutex_);
        return folderChanged_;
    };
    // Waits in short steps so that a stop, a new folder or the folder going away is seen
    // promptly. The folder going away counts as a change.
    auto waitForChange = [&](std::chrono::milliseconds limit) {
        const auto step = std::chrono::milliseconds(100);
        for (auto waited = std::chrono::milliseconds(0); waited < limit; waited += step) {
            if (!self.running())
                return false;
            if (notification->wait(std::min(step, limit - waited)) || notification->gone())
                return true;
            if (folderChanged())
                return false;
        }
        return false;
    };

    while (self.running()) {
        bool changed = false;
        std::string wanted = currentFolder(&changed);
        if (!notification || !notification->valid() || changed) {
            folder = wanted;
            notification = std::make_unique<ChangeNotification>(folder);
            std::lock_guard lock(mutex_);
            watchState_ = {folder, notification->valid()};
        }
        if (!notification->valid()) {
            // The folder does not exist (yet): try again later, or at once for a new folder.
            const auto step = std::chrono::milliseconds(100);
            for (auto slept = std::chrono::milliseconds(0); slept < timing_.retry; slept += step) {
                if (!self.sleepFor(std::min(step, timing_.retry - slept)) || folderChanged())
                    break;
            }
            continue;
        }
        if (!waitForChange(timing_.wait))
            continue;
        // One file write causes a burst of changes: let it settle before measuring. The changes
        // are read as they come, so the folder itself going away is seen at once: a file still
        // being written in it can no longer be reached by anybody.
        const auto step = std::chrono::milliseconds(100);
        const auto settled = std::chrono::steady_clock::now() + timing_.settle;
        bool gone = false;
        for (;;) {
            notification->drain();
            gone = notification->gone();
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                settled - std::chrono::steady_clock::now());
            if (gone || left.count() <= 0 || !self.running())
                break;
            notification->wait(std::min(step, left));
        }
        if (!gone && self.running() && waitForChange(timing_.wait)) {
            notification->drain();
            gone = notification->gone();
        }
        if (!self.running())
            break;
        if (gone) {
            std::function<void()> goneNotice;
            {
                std::lock_guard lock(mutex_);
                watchState_.watching = false;
                goneNotice = goneNotice_;
            }
            if (goneNotice)
                goneNotice();
        }
        storeRelaxed(*total_, folderSizeMB(folder.c_str()));
        std::function<void()> notice;
        {
            std::lock_guard lock(mutex_);
            notice = notice_;
        }
        if (notice)
            notice();
        notification->drain();
    }
}

}  // namespace vidora
