#include "events/folder_index.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cstring>
#include <ctime>
#include <unordered_map>
#include <vector>

#include "app/storage.h"

namespace fs = std::filesystem;

namespace vidora::events {

namespace {

uint32_t le32(const uint8_t* p) {
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

bool isId(const uint8_t* p, const char (&id)[5]) {
    return std::memcmp(p, id, 4) == 0;
}

// An open file descriptor that closes with its object.
class FileHandle {
  public:
    explicit FileHandle(const fs::path& path) : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {}
    ~FileHandle() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    bool ok() const { return fd_ >= 0; }
    // Reads exactly `length` bytes at `offset`.
    bool readAt(uint64_t offset, void* into, std::size_t length) const {
        return ::pread(fd_, into, length, static_cast<off_t>(offset)) ==
               static_cast<ssize_t>(length);
    }
    std::optional<uint64_t> size() const {
        struct stat st {};
        if (::fstat(fd_, &st) != 0)
            return std::nullopt;
        return static_cast<uint64_t>(st.st_size);
    }

  private:
    int fd_;
};

struct VideoHeader {
    int stream = -1;  // the video stream's number, as its chunks name it ("00dc")
    uint32_t scale = 0;
    uint32_t rate = 0;
    uint32_t length = 0;
};

// Finds the first video stream's header in the 'hdrl' list [begin, end) of `head`.
VideoHeader findVideoHeader(const std::vector<uint8_t>& head, std::size_t begin, std::size_t end,
                            uint32_t* mainFrames) {
    VideoHeader video;
    int streams = 0;
    for (std::size_t pos = begin; pos + 8 <= end;) {
        const uint32_t size = le32(&head[pos + 4]);
        const std::size_t body = pos + 8;
        if (isId(&head[pos], "avih") && body + 20 <= end) {
            *mainFrames = le32(&head[body + 16]);
        } else if (isId(&head[pos], "LIST") && body + 4 <= end && isId(&head[body], "strl")) {
            const std::size_t strh = body + 4;
            if (strh + 8 + 36 <= end && isId(&head[strh], "strh") &&
                isId(&head[strh + 8], "vids") && video.stream < 0) {
                video.stream = streams;
                video.scale = le32(&head[strh + 8 + 20]);
                video.rate = le32(&head[strh + 8 + 24]);
                video.length = le32(&head[strh + 8 + 32]);
            }
            ++streams;
        }
        pos = body + size + (size & 1);
    }
    return video;
}

// Pictures in the 'movi' data from `from` to the end of what the file holds: whole chunks only.
uint64_t countReadablePictures(const FileHandle& file, uint64_t from, uint64_t fileSize,
                               int stream) {
    char dc[4] = {static_cast<char>('0' + stream / 10), static_cast<char>('0' + stream % 10), 'd',
                  'c'};
    uint64_t pictures = 0;
    for (uint64_t pos = from; pos + 8 <= fileSize;) {
        uint8_t header[8];
        if (!file.readAt(pos, header, sizeof header))
            break;
        if (isId(header, "LIST")) {
            pos += 12;  // a 'rec ' list: its chunks follow
            continue;
        }
        if (isId(header, "idx1") || header[0] == 0)
            break;  // the index, or space never written
        const uint64_t size = le32(header + 4);
        const uint64_t next = pos + 8 + size + (size & 1);
        if (pos + 8 + size > fileSize)
            break;  // cut off in the middle
        if (std::memcmp(header, dc, 2) == 0 && (header[2] == 'd') &&
            (header[3] == 'c' || header[3] == 'b'))
            ++pictures;
        pos = next;
    }
    return pictures;
}

std::optional<EventTime> localTimeMs(int year, int month, int day, int hour, int minute,
                                     int second) {
    if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 60)
        return std::nullopt;
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    t.tm_isdst = -1;
    const std::time_t seconds = std::mktime(&t);
    if (seconds == static_cast<std::time_t>(-1))
        return std::nullopt;
    return static_cast<EventTime>(seconds) * 1000;
}

// The decimal number in text[at, at + digits), or -1.
int digitsAt(std::string_view text, std::size_t at, std::size_t digits) {
    if (at + digits > text.size())
        return -1;
    int value = 0;
    for (std::size_t i = at; i < at + digits; ++i) {
        if (text[i] < '0' || text[i] > '9')
            return -1;
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

bool endsWith(std::string_view text, std::string_view end) {
    if (text.size() < end.size())
        return false;
    for (std::size_t i = 0; i < end.size(); ++i) {
        char c = text[text.size() - end.size() + i];
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        if (c != end[i])
            return false;
    }
    return true;
}

bool isRecordingName(std::string_view name) {
    return endsWith(name, ".avi");
}

bool isSnapshotName(std::string_view name) {
    return endsWith(name, ".jpg") || endsWith(name, ".jpeg") || endsWith(name, ".bmp");
}

struct FolderFile {
    uint64_t bytes = 0;
    int64_t mtimeNs = 0;
};

// The regular files directly in the folder (links and subfolders are not the folder's files, as
// for the folder limits). None when the folder cannot be listed.
std::optional<std::unordered_map<std::string, FolderFile>> listFolder(const std::string& folder,
                                                                      bool recordings) {
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return std::nullopt;
    std::unordered_map<std::string, FolderFile> files;
    files.reserve(4096);
    const int dfd = ::dirfd(dir);
    while (dirent* entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (recordings ? !isRecordingName(name) : !isSnapshotName(name))
            continue;
        struct stat st {};
        if (::fstatat(dfd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode))
            continue;
        files.emplace(std::string(name),
                      FolderFile{static_cast<uint64_t>(st.st_size),
                                 int64_t{st.st_mtim.tv_sec} * 1000000000 + st.st_mtim.tv_nsec});
    }
    ::closedir(dir);
    return files;
}

struct KnownRow {
    int64_t id = 0;
    std::optional<int64_t> bytes;
    std::optional<int64_t> mtimeNs;
    bool open = false;  // a recording being written
};

EventTime nowMs() {
    return eventTimeNow(processClock());
}

// One folder's pass. `recordings` chooses the table.
bool indexFolder(Database& db, const std::string& storedFolder, bool recordings,
                 IndexStats& stats) {
    const std::string folder = storedPath(nativeFolderPath(storedFolder.c_str()));
    auto files = listFolder(folder, recordings);
    if (!files)
        return true;  // nothing to index, and nothing known to be gone
    stats.listed += files->size();

    const std::string table = recordings ? "recordings" : "snapshots";
    // The rows of the folder's own files: paths from "<folder>/" up to (not including) "<folder>0"
    // ('0' follows '/'), without deeper paths.
    Statement known = db.prepare("SELECT id, path, bytes, file_mtime_ns, " +
                                 std::string(recordings ? "ending IS NULL" : "0") + " FROM " +
                                 table + " WHERE gone_ms IS NULL AND path >= ?1 AND path < ?2");
    if (!known.ok())
        return false;
    const std::string prefix = folder == "/" ? folder : folder + "/";
    known.bind(1, prefix).bind(2, prefix.substr(0, prefix.size() - 1) + "0");
    std::unordered_map<std::string, KnownRow> rows;
    rows.reserve(files->size());
    for (int rc; (rc = known.step()) != SQLITE_DONE;) {
        if (rc != SQLITE_ROW)
            return false;
        std::string path = known.text(1);
        std::string name = path.substr(prefix.size());
        if (name.find('/') != std::string::npos)
            continue;
        rows.emplace(std::move(name), KnownRow{known.integer(0), known.optionalInteger(2),
                                               known.optionalInteger(3), known.integer(4) != 0});
    }

    Statement insertRecording = db.prepare(
        "INSERT INTO recordings(path, channel, reason, start_ms, end_ms, ending, bytes, "
        "file_mtime_ns, indexed) VALUES (?1, 0, 'unknown', ?2, ?3, ?4, ?5, ?6, 1)");
    Statement updateRecording = db.prepare(
        "UPDATE recordings SET end_ms = start_ms + ?2, bytes = ?3, file_mtime_ns = ?4 WHERE id = "
        "?1");
    Statement insertSnapshot = db.prepare(
        "INSERT INTO snapshots(path, channel, reason, taken_ms, bytes, file_mtime_ns, indexed) "
        "VALUES (?1, 0, 'unknown', ?2, ?3, ?4, 1)");
    Statement updateSnapshot =
        db.prepare("UPDATE snapshots SET bytes = ?2, file_mtime_ns = ?3 WHERE id = ?1");
    Statement markGone = db.prepare("UPDATE " + table + " SET gone_ms = ?2 WHERE id = ?1");
    if (!insertRecording.ok() || !updateRecording.ok() || !insertSnapshot.ok() ||
        !updateSnapshot.ok() || !markGone.ok())
        return false;

    for (const auto& [name, file] : *files) {
        auto row = rows.find(name);
        if (row != rows.end()) {
            KnownRow& known = row->second;
            const bool same =
                known.bytes == static_cast<int64_t>(file.bytes) && known.mtimeNs == file.mtimeNs;
            if (same || known.open)
                continue;  // unchanged, or still being written (its writer ends the row)
        }
        const std::string path = prefix + name;
        if (recordings) {
            ++stats.read;
            const std::optional<AviLength> length = readAviLength(path);
            const EventTime duration = length ? length->durationMs : 0;
            if (row != rows.end()) {
                if (!updateRecording.bind(1, row->second.id)
                         .bind(2, duration)
                         .bind(3, static_cast<int64_t>(file.bytes))
                         .bind(4, file.mtimeNs)
                         .run())
                    return false;
                ++stats.updated;
                continue;
            }
            const EventTime start =
                timeFromRecordingName(name).value_or(file.mtimeNs / 1000000 - duration);
            if (!insertRecording.bind(1, path)
                     .bind(2, start)
                     .bind(3, start + duration)
                     .bind(4, length && length->truncated ? "interrupted" : "closed")
                     .bind(5, static_cast<int64_t>(file.bytes))
                     .bind(6, file.mtimeNs)
                     .run())
                return false;
            ++stats.added;
        } else if (row != rows.end()) {
            if (!updateSnapshot.bind(1, row->second.id)
                     .bind(2, static_cast<int64_t>(file.bytes))
                     .bind(3, file.mtimeNs)
                     .run())
                return false;
            ++stats.updated;
        } else {
            const EventTime taken = timeFromSnapshotName(name).value_or(file.mtimeNs / 1000000);
            if (!insertSnapshot.bind(1, path)
                     .bind(2, taken)
                     .bind(3, static_cast<int64_t>(file.bytes))
                     .bind(4, file.mtimeNs)
                     .run())
                return false;
            ++stats.added;
        }
    }
    // Rows whose files went while nobody watched.
    const EventTime now = nowMs();
    for (const auto& [name, row] : rows) {
        if (files->count(name) != 0)
            continue;
        if (!markGone.bind(1, row.id).bind(2, now).run())
            return false;
        ++stats.gone;
    }
    return true;
}

}  // namespace

std::optional<AviLength> readAviLength(const fs::path& path) {
    FileHandle file(path);
    if (!file.ok())
        return std::nullopt;
    const std::optional<uint64_t> fileSize = file.size();
    if (!fileSize || *fileSize < 12)
        return std::nullopt;
    // The headers of our files fill the first 2 KiB; other writers' rarely need more than 64.
    std::vector<uint8_t> head(static_cast<std::size_t>(std::min<uint64_t>(*fileSize, 65536)));
    if (!file.readAt(0, head.data(), head.size()))
        return std::nullopt;
    if (!isId(&head[0], "RIFF") || !isId(&head[8], "AVI "))
        return std::nullopt;

    uint32_t mainFrames = 0;
    VideoHeader video;
    uint64_t moviData = 0;  // first byte after 'movi'
    uint64_t moviEnd = 0;
    for (std::size_t pos = 12; pos + 12 <= head.size();) {
        const uint32_t size = le32(&head[pos + 4]);
        if (isId(&head[pos], "LIST") && isId(&head[pos + 8], "hdrl")) {
            const std::size_t end = std::min<std::size_t>(head.size(), pos + 8 + size);
            video = findVideoHeader(head, pos + 12, end, &mainFrames);
        } else if (isId(&head[pos], "LIST") && isId(&head[pos + 8], "movi")) {
            moviData = pos + 12;
            moviEnd = pos + 8 + uint64_t{size};
            break;
        }
        pos += 8 + size + (size & 1);
    }
    if (video.stream < 0 || video.rate == 0 || moviData == 0)
        return std::nullopt;
    const uint32_t scale = video.scale ? video.scale : 1;

    // A closed file ends with its index right after 'movi'.
    bool closed = false;
    if (moviEnd + 8 <= *fileSize) {
        uint8_t header[8];
        if (file.readAt(moviEnd + (moviEnd & 1), header, sizeof header) && isId(header, "idx1"))
            closed = moviEnd + 8 + le32(header + 4) <= *fileSize;
    }
    AviLength length;
    if (closed) {
        length.pictures = video.length ? video.length : mainFrames;
    } else {
        length.truncated = true;
        length.pictures = countReadablePictures(file, moviData, *fileSize, video.stream);
    }
    length.durationMs =
        static_cast<EventTime>(length.pictures * uint64_t{scale} * 1000 / uint64_t{video.rate});
    return length;
}

std::optional<EventTime> timeFromRecordingName(std::string_view name) {
    // YYYYMMDDhhmmss, then ".avi" or "_NN.avi".
    if (name.size() < 18 || !(name[14] == '.' || name[14] == '_'))
        return std::nullopt;
    const int year = digitsAt(name, 0, 4), month = digitsAt(name, 4, 2), day = digitsAt(name, 6, 2);
    const int hour = digitsAt(name, 8, 2), minute = digitsAt(name, 10, 2);
    const int second = digitsAt(name, 12, 2);
    if (year < 1970 || month < 0 || day < 0 || hour < 0 || minute < 0 || second < 0)
        return std::nullopt;
    return localTimeMs(year, month, day, hour, minute, second);
}

std::optional<EventTime> timeFromSnapshotName(std::string_view name) {
    // YYYYMMDD-hhmmss-NN.ext
    if (name.size() < 19 || name[8] != '-' || name[15] != '-')
        return std::nullopt;
    const int year = digitsAt(name, 0, 4), month = digitsAt(name, 4, 2), day = digitsAt(name, 6, 2);
    const int hour = digitsAt(name, 9, 2), minute = digitsAt(name, 11, 2);
    const int second = digitsAt(name, 13, 2);
    if (year < 1970 || month < 0 || day < 0 || hour < 0 || minute < 0 || second < 0)
        return std::nullopt;
    return localTimeMs(year, month, day, hour, minute, second);
}

std::string storedPath(const fs::path& path) {
    std::error_code ec;
    fs::path absolute = fs::absolute(path.empty() ? fs::path(".") : path, ec);
    if (ec)
        return path.lexically_normal().string();
    std::string text = absolute.lexically_normal().string();
    while (text.size() > 1 && text.back() == '/')
        text.pop_back();
    return text;
}

std::string indexFolders(Database& db, const StoreFolders& folders, IndexStats* stats) {
    IndexStats local;
    IndexStats& counted = stats ? *stats : local;
    counted = IndexStats{};
    return inTransaction(db, [&] {
        return indexFolder(db, folders.record, true, counted) &&
               indexFolder(db, folders.picture, false, counted);
    });
}

std::string closeInterruptedRecordings(Database& db) {
    return inTransaction(db, [&] {
        Statement open =
            db.prepare("SELECT id, path FROM recordings WHERE ending IS NULL AND gone_ms IS NULL");
        Statement close = db.prepare(
            "UPDATE recordings SET ending = 'interrupted', end_ms = start_ms + ?2, bytes = ?3, "
            "file_mtime_ns = ?4, gone_ms = ?5 WHERE id = ?1");
        if (!open.ok() || !close.ok())
            return false;
        std::vector<std::pair<int64_t, std::string>> rows;
        for (int rc; (rc = open.step()) != SQLITE_DONE;) {
            if (rc != SQLITE_ROW)
                return false;
            rows.emplace_back(open.integer(0), open.text(1));
        }
        for (const auto& [id, path] : rows) {
            struct stat st {};
            const bool present = ::stat(path.c_str(), &st) == 0;
            const std::optional<AviLength> length = present ? readAviLength(path) : std::nullopt;
            close.bind(1, id).bind(2, length ? length->durationMs : 0);
            if (present) {
                close.bind(3, static_cast<int64_t>(st.st_size))
                    .bind(4, int64_t{st.st_mtim.tv_sec} * 1000000000 + st.st_mtim.tv_nsec)
                    .bindNull(5);
            } else {
                close.bindNull(3).bindNull(4).bind(5, nowMs());
            }
            if (!close.run())
                return false;
        }
        return true;
    });
}

}  // namespace vidora::events
