#include "settingsui/disk_space.h"

#include <QStorageInfo>
#include <algorithm>

namespace vidora::settingsui {

std::optional<std::uint64_t> StorageInfoDiskSpace::freeBytes(const QString& folder) const {
    const QStorageInfo info(localFolderPath(folder));
    if (!info.isValid() || !info.isReady()) {
        return std::nullopt;
    }
    const qint64 bytes = info.bytesFree();
    if (bytes < 0) {
        return std::nullopt;
    }
    return static_cast<std::uint64_t>(bytes);
}

std::vector<Volume> StorageInfoDiskSpace::volumes() const {
    std::vector<Volume> result;
    for (const QStorageInfo& info : QStorageInfo::mountedVolumes()) {
        if (!info.isValid() || !info.isReady() || info.bytesFree() < 0) {
            continue;
        }
        result.push_back({info.rootPath(), static_cast<std::uint64_t>(info.bytesFree())});
    }
    std::sort(result.begin(), result.end(),
              [](const Volume& a, const Volume& b) { return a.mountPoint < b.mountPoint; });
    return result;
}

QString formatFreeSpace(std::uint64_t freeBytes) {
    const QString digits = QString::number(freeBytes >> 20);
    QString grouped;
    for (qsizetype i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) {
            grouped += QLatin1Char(',');
        }
        grouped += digits[i];
    }
    return grouped.rightJustified(25, QLatin1Char(' ')) + QStringLiteral("MB");
}

QString localFolderPath(const QString& stored) {
    QString path = stored;
    path.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return path;
}

}  // namespace vidora::settingsui
