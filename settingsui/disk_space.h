#pragma once
// Where the Record and Capture pages learn about free disk space: the drive list and the check
// of a folder's free space. The desktop source asks the mounted file systems; tests use a fake.
// ShowConfigDialog owns the desktop source for one call; used on the GUI thread only.
#include <QString>
#include <cstdint>
#include <optional>
#include <vector>

namespace vidora::settingsui {

struct Volume {
    QString mountPoint;
    std::uint64_t freeBytes = 0;
};

class DiskSpaceSource {
  public:
    virtual ~DiskSpaceSource() = default;
    // Free bytes of the volume that holds folder; nothing when the folder cannot be queried
    // (for example because it does not exist).
    virtual std::optional<std::uint64_t> freeBytes(const QString& folder) const = 0;
    // The mounted volumes that answer, ordered by mount point.
    virtual std::vector<Volume> volumes() const = 0;
};

// The mounted file systems of this machine (QStorageInfo).
class StorageInfoDiskSpace final : public DiskSpaceSource {
  public:
    std::optional<std::uint64_t> freeBytes(const QString& folder) const override;
    std::vector<Volume> volumes() const override;
};

// Free space as the drive list shows it: whole MB with "," between groups of three digits,
// left-padded with spaces to 25 characters, then "MB".
QString formatFreeSpace(std::uint64_t freeBytes);

// A stored folder with '/' separators (folders written on Windows use backslashes).
QString localFolderPath(const QString& stored);

}  // namespace vidora::settingsui
