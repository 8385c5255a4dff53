#pragma once
// The folder indexer: recordings and snapshots in the record and picture folders that have no row
// (copied in, written before the log existed, or while it was off) become rows, files whose rows
// are not gone but that are no longer there are marked gone. Incremental: a file whose path, size
// and modification time match its row is not read again, so a second pass over 60 000 files
// only lists the folders. Runs on the thread that asks the catalog, over its own connection.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "app/event_sink.h"
#include "events/database.h"

namespace vidora::events {

// The folders as the program stores them (relative to the working folder, or absolute).
struct StoreFolders {
    std::string record;
    std::string picture;
};

// What an AVI file's headers say about its length.
struct AviLength {
    uint64_t pictures = 0;
    EventTime durationMs = 0;
    bool truncated = false;  // the file was not closed: counted from its readable pictures
};

// Reads the main header, the video stream's header and (when the file was closed) its index;
// a file without an index is walked picture by picture up to its last whole chunk. None when the
// file is not an AVI file with a video stream.
std::optional<AviLength> readAviLength(const std::filesystem::path& file);

// The start time of a recording named "YYYYMMDDhhmmss.avi" (or "..._NN.avi") and of a snapshot
// named "YYYYMMDD-hhmmss-NN.jpg" / ".bmp", in local time. None for other names.
std::optional<EventTime> timeFromRecordingName(std::string_view fileName);
std::optional<EventTime> timeFromSnapshotName(std::string_view fileName);

// The path as the log stores it: absolute and normal.
std::string storedPath(const std::filesystem::path& path);

struct IndexStats {
    std::size_t listed = 0;   // files seen in the folders
    std::size_t read = 0;     // files whose headers were read
    std::size_t added = 0;    // new rows
    std::size_t updated = 0;  // rows of files that changed
    std::size_t gone = 0;     // rows marked gone
};

// One pass over both folders, in one transaction. Empty on success, else the reason.
std::string indexFolders(Database& db, const StoreFolders& folders, IndexStats* stats = nullptr);

// Rows of recordings still open (their writer never ended them: the program crashed or was
// killed) become "interrupted", with the readable length of their files.
std::string closeInterruptedRecordings(Database& db);

}  // namespace vidora::events
