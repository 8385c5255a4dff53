#include "events/schema.h"

#include <string>

namespace vidora::events {

namespace {

// Version 1: one table per kind of event. Times are milliseconds since 1970-01-01 UTC.
constexpr std::string_view kVersion1 = R"sql(
CREATE TABLE alarms (
    id INTEGER PRIMARY KEY,
    channel INTEGER NOT NULL,
    kind TEXT NOT NULL,
    start_ms INTEGER NOT NULL,
    end_ms INTEGER
);
CREATE TABLE recordings (
    id INTEGER PRIMARY KEY,
    path TEXT NOT NULL,
    channel INTEGER NOT NULL,
    reason TEXT NOT NULL,
    start_ms INTEGER NOT NULL,
    end_ms INTEGER,
    ending TEXT,
    bytes INTEGER,
    gone_ms INTEGER
);
CREATE TABLE snapshots (
    id INTEGER PRIMARY KEY,
    path TEXT NOT NULL,
    channel INTEGER NOT NULL,
    reason TEXT NOT NULL,
    taken_ms INTEGER NOT NULL,
    bytes INTEGER,
    gone_ms INTEGER
);
CREATE TABLE receiver (
    id INTEGER PRIMARY KEY,
    at_ms INTEGER NOT NULL,
    what TEXT NOT NULL
);
CREATE TABLE messages (
    id INTEGER PRIMARY KEY,
    at_ms INTEGER NOT NULL,
    caption TEXT NOT NULL,
    text TEXT NOT NULL
);
)sql";

// Version 2: the folder indexer. Files found in the folders are rows too (indexed = 1), known by
// path, size and modification time so that only new or changed files are read again; at most one
// row per path is not gone; the day's rows are found by time; dropped events are counted.
constexpr std::string_view kVersion2 = R"sql(
ALTER TABLE recordings ADD COLUMN file_mtime_ns INTEGER;
ALTER TABLE recordings ADD COLUMN indexed INTEGER NOT NULL DEFAULT 0;
ALTER TABLE snapshots ADD COLUMN file_mtime_ns INTEGER;
ALTER TABLE snapshots ADD COLUMN indexed INTEGER NOT NULL DEFAULT 0;
UPDATE recordings SET gone_ms = start_ms WHERE gone_ms IS NULL AND id NOT IN
    (SELECT MAX(id) FROM recordings WHERE gone_ms IS NULL GROUP BY path);
UPDATE snapshots SET gone_ms = taken_ms WHERE gone_ms IS NULL AND id NOT IN
    (SELECT MAX(id) FROM snapshots WHERE gone_ms IS NULL GROUP BY path);
CREATE UNIQUE INDEX recordings_present_path ON recordings(path) WHERE gone_ms IS NULL;
CREATE UNIQUE INDEX snapshots_present_path ON snapshots(path) WHERE gone_ms IS NULL;
CREATE INDEX recordings_start ON recordings(start_ms);
CREATE INDEX snapshots_taken ON snapshots(taken_ms);
CREATE INDEX alarms_channel_start ON alarms(channel, start_ms);
CREATE TABLE counters (
    name TEXT PRIMARY KEY,
    value INTEGER NOT NULL
);
INSERT INTO counters(name, value) VALUES ('dropped_events', 0);
)sql";

}  // namespace

std::string createVersion1(Database& db) {
    return inTransaction(db, [&] {
        return db.exec(kVersion1).empty() && db.exec("PRAGMA user_version = 1").empty();
    });
}

std::string configureConnection(Database& db) {
    Statement wal = db.prepare("PRAGMA journal_mode = WAL");
    if (!wal.ok())
        return wal.failure();
    if (wal.step() != SQLITE_ROW)
        return db.lastError();
    if (wal.text(0) != "wal")
        return "the event log cannot use write-ahead logging (journal mode " + wal.text(0) + ")";
    return db.exec("PRAGMA synchronous = NORMAL");
}

std::string migrate(Database& db) {
    std::optional<int> version = db.userVersion();
    if (!version)
        return db.lastError();
    if (*version > kSchemaVersion) {
        return "the event log was written by a newer Vidora (version " + std::to_string(*version) +
               ")";
    }
    if (*version == kSchemaVersion)
        return {};
    return inTransaction(db, [&] {
        // Read again under the write lock: another program may have migrated meanwhile.
        std::optional<int> now = db.userVersion();
        if (!now)
            return false;
        if (*now == 0 && !db.exec(kVersion1).empty())
            return false;
        if (*now <= 1 && !db.exec(kVersion2).empty())
            return false;
        return db.exec("PRAGMA user_version = " + std::to_string(kSchemaVersion)).empty();
    });
}

std::string_view alarmKindText(AlarmKind kind) {
    return kind == AlarmKind::Sound ? "sound" : "motion";
}

std::string_view reasonText(CaptureReason reason) {
    switch (reason) {
        case CaptureReason::Alarm:
            return "alarm";
        case CaptureReason::Task:
            return "task";
        case CaptureReason::Manual:
            break;
    }
    return "manual";
}

std::string_view endingText(RecordingEnd how) {
    switch (how) {
        case RecordingEnd::CutBySize:
            return "cut";
        case RecordingEnd::Failed:
            return "failed";
        case RecordingEnd::Unplugged:
            return "unplugged";
        case RecordingEnd::Interrupted:
            return "interrupted";
        case RecordingEnd::Closed:
            break;
    }
    return "closed";
}

std::string_view receiverText(ReceiverEvent what) {
    switch (what) {
        case ReceiverEvent::Unplugged:
            return "unplugged";
        case ReceiverEvent::NotFound:
            return "not found";
        case ReceiverEvent::Connected:
            break;
    }
    return "connected";
}

std::optional<AlarmKind> alarmKindOf(std::string_view text) {
    if (text == "motion")
        return AlarmKind::Motion;
    if (text == "sound")
        return AlarmKind::Sound;
    return std::nullopt;
}

CaptureReason reasonOf(std::string_view text) {
    if (text == "alarm")
        return CaptureReason::Alarm;
    if (text == "task")
        return CaptureReason::Task;
    return CaptureReason::Manual;
}

}  // namespace vidora::events
