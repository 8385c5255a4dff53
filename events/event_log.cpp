#include "events/event_log.h"

#include <sys/stat.h>

#include <cstdio>
#include <system_error>
#include <utility>

#include "events/schema.h"
#include "platform/log/log.h"

namespace fs = std::filesystem;

namespace vidora::events {

namespace {

struct FileFacts {
    bool present = false;
    int64_t bytes = 0;
    int64_t mtimeNs = 0;
};

FileFacts factsOf(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return {};
    return {true, static_cast<int64_t>(st.st_size),
            int64_t{st.st_mtim.tv_sec} * 1000000000 + st.st_mtim.tv_nsec};
}

// SQLite's verdict that the file is not (or no longer) a readable database.
bool damagedCode(Database& db) {
    const int code = sqlite3_errcode(db.handle()) & 0xff;
    return code == SQLITE_NOTADB || code == SQLITE_CORRUPT;
}

std::string brokenSuffix() {
    const SystemTime t = processClock().localTime();
    char text[64];
    std::snprintf(text, sizeof text, ".broken-%04u%02u%02u%02u%02u%02u", unsigned{t.year},
                  unsigned{t.month}, unsigned{t.day}, unsigned{t.hour}, unsigned{t.minute},
                  unsigned{t.second});
    return text;
}

}  // namespace

std::string damagedLogText(const fs::path& damagedCopy) {
    return "The event log was damaged and has been rebuilt from the record folders. The damaged "
           "copy is " +
           damagedCopy.string() + ".";
}

EventLog::EventLog(fs::path file, EventLogOptions options, Clock& clock)
    : file_(std::move(file)), options_(options), clock_(clock) {}

void EventLog::setFolders(std::function<StoreFolders()> folders) {
    folders_ = std::move(folders);
}

void EventLog::foldersChanged(EventTime /*at*/) {
    folderCheckDue_.store(true, std::memory_order_relaxed);
}

EventLog::~EventLog() {
    stop();
}

// Opens the file as it is: empty on success; `damaged` tells a file SQLite cannot read apart
// from other failures (no permission, a newer version).
std::string EventLog::openFile() {
    if (std::string failure = db_.open(file_); !failure.empty())
        return failure;
    Statement check = db_.prepare("PRAGMA quick_check");
    if (!check.ok())
        return check.failure();
    const int rc = check.step();
    if (rc != SQLITE_ROW)
        return db_.lastError();
    if (check.text(0) != "ok")
        return "the event log failed its check: " + check.text(0);
    check = Statement();
    // A newer program's file is not touched at all (not even switched to WAL).
    if (const std::optional<int> version = db_.userVersion(); version && *version > kSchemaVersion)
        return migrate(db_);
    if (std::string failure = configureConnection(db_); !failure.empty())
        return failure;
    return migrate(db_);
}

EventLogOpened EventLog::open(const StoreFolders& folders) {
    EventLogOpened result;
    std::string failure = openFile();
    if (!failure.empty()) {
        const bool damaged =
            db_.isOpen() && (damagedCode(db_) || failure.starts_with("the event "
                                                                     "log failed"));
        db_.close();
        if (!damaged) {
            qCWarning(log::app) << "the event log" << file_.c_str()
                                << "cannot be opened:" << failure.c_str();
            result.failure = failure;
            return result;
        }
        // Set aside with its journal files, which belong to it, then built afresh.
        fs::path copy = file_;
        copy += brokenSuffix();
        std::error_code ec;
        for (int n = 1; fs::exists(copy, ec) && n < 100; ++n) {
            copy = file_;
            copy += brokenSuffix() + "-" + std::to_string(n);
        }
        fs::rename(file_, copy, ec);
        if (ec) {
            result.failure = "the damaged event log cannot be moved aside: " + ec.message();
            return result;
        }
        for (const char* journal : {"-wal", "-shm"}) {
            fs::path from = file_;
            from += journal;
            fs::path to = copy;
            to += journal;
            std::error_code ignored;
            if (fs::exists(from, ignored))
                fs::rename(from, to, ignored);
        }
        qCWarning(log::app) << "the event log was damaged (" << failure.c_str()
                            << "); moved aside as" << copy.c_str();
        if (failure = openFile(); !failure.empty()) {
            db_.close();
            result.failure = failure;
            return result;
        }
        IndexStats stats;
        if (std::string indexFailure = indexFolders(db_, folders, &stats); !indexFailure.empty())
            qCWarning(log::app) << "rebuilding the event log:" << indexFailure.c_str();
        result.damagedCopy = fs::absolute(copy, ec);
    }
    if (std::string closeFailure = closeInterruptedRecordings(db_); !closeFailure.empty())
        qCWarning(log::app) << "the event log's open recordings:" << closeFailure.c_str();
    return result;
}

void EventLog::start() {
    if (!db_.isOpen() || thread_.alive())
        return;
    thread_.start([this](WorkerThread& self) {
        while (self.running()) {
            tick();
            self.sleepFor(options_.periodMs);
        }
    });
}

void EventLog::stop() {
    thread_.stop();
    // The thread has ended: what came after its last tick is written here.
    if (db_.isOpen())
        tick();
}

uint64_t EventLog::dropped() const {
    std::lock_guard lock(queueLock_);
    return dropped_;
}

std::size_t EventLog::waiting() const {
    std::lock_guard lock(queueLock_);
    return queue_.size();
}

void EventLog::push(Event event) {
    std::lock_guard lock(queueLock_);
    if (queue_.size() >= options_.queueCapacity) {
        queue_.pop_front();
        ++dropped_;
    }
    queue_.push_back(std::move(event));
}

std::size_t EventLog::tick() {
    const std::size_t written = writeQueued();
    if (db_.isOpen() && folders_ && folderCheckDue_.load(std::memory_order_relaxed)) {
        const uint32_t now = clock_.tickCount();
        if (!lastFolderCheck_ || now - *lastFolderCheck_ >= options_.folderCheckMs) {
            folderCheckDue_.store(false, std::memory_order_relaxed);
            lastFolderCheck_ = now;
            if (std::string failure = indexFolders(db_, folders_()); !failure.empty())
                qCWarning(log::app) << "checking the folders:" << failure.c_str();
        }
    }
    return written;
}

std::size_t EventLog::writeQueued() {
    std::deque<Event> batch;
    uint64_t dropped;
    {
        std::lock_guard lock(queueLock_);
        batch.swap(queue_);
        dropped = dropped_;
    }
    if (batch.empty() && dropped == droppedStored_)
        return 0;
    if (!db_.isOpen())
        return 0;  // no log: the events are gone, as the sink promises nothing more
    const std::string failure = inTransaction(db_, [&] {
        for (const Event& event : batch) {
            if (!write(event))
                return false;
        }
        if (dropped != droppedStored_) {
            Statement count =
                db_.prepare("UPDATE counters SET value = value + ?1 WHERE name = 'dropped_events'");
            if (!count.ok() || !count.bind(1, static_cast<int64_t>(dropped - droppedStored_)).run())
                return false;
        }
        return true;
    });
    if (failure.empty()) {
        droppedStored_ = dropped;
        return batch.size();
    }
    qCWarning(log::app) << "the event log cannot be written:" << failure.c_str();
    // Back in front, oldest first; the capacity holds for the whole queue.
    std::lock_guard lock(queueLock_);
    while (!batch.empty()) {
        if (queue_.size() >= options_.queueCapacity) {
            ++dropped_;
        } else {
            queue_.push_front(std::move(batch.back()));
        }
        batch.pop_back();
    }
    return 0;
}

bool EventLog::write(const Event& event) {
    switch (event.kind) {
        case Kind::AlarmStart:
            return db_.prepare("INSERT INTO alarms(channel, kind, start_ms) VALUES (?1, ?2, ?3)")
                .bind(1, event.channel)
                .bind(2, alarmKindText(static_cast<AlarmKind>(event.code)))
                .bind(3, event.at)
                .run();
        case Kind::AlarmEnd:
            return db_
                .prepare(
                    "UPDATE alarms SET end_ms = ?1 WHERE id = (SELECT id FROM alarms WHERE "
                    "channel = ?2 AND kind = ?3 AND end_ms IS NULL ORDER BY start_ms DESC "
                    "LIMIT 1)")
                .bind(1, event.at)
                .bind(2, event.channel)
                .bind(3, alarmKindText(static_cast<AlarmKind>(event.code)))
                .run();
        case Kind::RecordingStart:
            return db_
                .prepare(
                    "INSERT INTO recordings(path, channel, reason, start_ms) "
                    "VALUES (?1, ?2, ?3, ?4) ON CONFLICT(path) WHERE gone_ms IS NULL DO UPDATE "
                    "SET channel = excluded.channel, reason = excluded.reason, "
                    "start_ms = excluded.start_ms, end_ms = NULL, ending = NULL, bytes = NULL, "
                    "file_mtime_ns = NULL, indexed = 0")
                .bind(1, storedPath(event.path))
                .bind(2, event.channel)
                .bind(3, reasonText(static_cast<CaptureReason>(event.code)))
                .bind(4, event.at)
                .run();
        case Kind::RecordingEnd: {
            const std::string path = storedPath(event.path);
            const FileFacts facts = factsOf(path);
            // The end is the time of the last picture the file holds; the close time when it cannot
            // be read (a file removed at once, or one without pictures that the writer discarded).
            const std::optional<AviLength> length =
                facts.present ? readAviLength(path) : std::nullopt;
            Statement end = db_.prepare(
                "UPDATE recordings SET end_ms = CASE WHEN ?2 IS NULL THEN ?1 ELSE start_ms + ?2 "
                "END, "
                "ending = ?3, bytes = ?4, file_mtime_ns = ?5, gone_ms = ?6 "
                "WHERE path = ?7 AND gone_ms IS NULL AND ending IS NULL");
            end.bind(1, event.at)
                .bind(2, length ? std::optional<int64_t>(length->durationMs) : std::nullopt)
                .bind(3, endingText(static_cast<RecordingEnd>(event.code)))
                .bind(7, path);
            if (facts.present)
                end.bind(4, facts.bytes).bind(5, facts.mtimeNs).bindNull(6);
            else
                end.bindNull(4).bindNull(5).bind(6, event.at);
            return end.run();
        }
        case Kind::Snapshot: {
            const std::string path = storedPath(event.path);
            const FileFacts facts = factsOf(path);
            Statement add = db_.prepare(
                "INSERT INTO snapshots(path, channel, reason, taken_ms, bytes, file_mtime_ns) "
                "VALUES (?1, ?2, ?3, ?4, ?5, ?6) ON CONFLICT(path) WHERE gone_ms IS NULL DO UPDATE "
                "SET channel = excluded.channel, reason = excluded.reason, "
                "taken_ms = excluded.taken_ms, bytes = excluded.bytes, "
                "file_mtime_ns = excluded.file_mtime_ns, indexed = 0");
            add.bind(1, path)
                .bind(2, event.channel)
                .bind(3, reasonText(static_cast<CaptureReason>(event.code)))
                .bind(4, event.at);
            if (facts.present)
                add.bind(5, facts.bytes).bind(6, facts.mtimeNs);
            return add.run();
        }
        case Kind::Receiver:
            return db_.prepare("INSERT INTO receiver(at_ms, what) VALUES (?1, ?2)")
                .bind(1, event.at)
                .bind(2, receiverText(static_cast<ReceiverEvent>(event.code)))
                .run();
        case Kind::Message:
            return db_.prepare("INSERT INTO messages(at_ms, caption, text) VALUES (?1, ?2, ?3)")
                .bind(1, event.at)
                .bind(2, event.path)
                .bind(3, event.text)
                .run();
        case Kind::Gone: {
            const std::string path = storedPath(event.path);
            for (const char* sql :
                 {"UPDATE recordings SET gone_ms = ?1, ending = COALESCE(ending, 'closed') "
                  "WHERE path = ?2 AND gone_ms IS NULL",
                  "UPDATE snapshots SET gone_ms = ?1 WHERE path = ?2 AND gone_ms IS NULL"}) {
                if (!db_.prepare(sql).bind(1, event.at).bind(2, path).run())
                    return false;
            }
            return true;
        }
    }
    return true;
}

void EventLog::alarmStarted(EventTime at, EventChannel channel, AlarmKind kind) {
    push({Kind::AlarmStart, at, static_cast<int32_t>(channel), static_cast<int32_t>(kind), {}, {}});
}

void EventLog::alarmEnded(EventTime at, EventChannel channel, AlarmKind kind) {
    push({Kind::AlarmEnd, at, static_cast<int32_t>(channel), static_cast<int32_t>(kind), {}, {}});
}

void EventLog::recordingStarted(EventTime at, const std::string& path, EventChannel channel,
                                CaptureReason reason) {
    push({Kind::RecordingStart,
          at,
          static_cast<int32_t>(channel),
          static_cast<int32_t>(reason),
          path,
          {}});
}

void EventLog::recordingEnded(EventTime at, const std::string& path, RecordingEnd how) {
    push({Kind::RecordingEnd, at, 0, static_cast<int32_t>(how), path, {}});
}

void EventLog::snapshotTaken(EventTime at, const std::string& path, EventChannel channel,
                             CaptureReason reason) {
    push({Kind::Snapshot,
          at,
          static_cast<int32_t>(channel),
          static_cast<int32_t>(reason),
          path,
          {}});
}

void EventLog::receiver(EventTime at, ReceiverEvent what) {
    push({Kind::Receiver, at, 0, static_cast<int32_t>(what), {}, {}});
}

void EventLog::messageShown(EventTime at, const std::string& caption, const std::string& text) {
    push({Kind::Message, at, 0, 0, caption, text});
}

void EventLog::fileGone(EventTime at, const std::string& path) {
    push({Kind::Gone, at, 0, 0, path, {}});
}

}  // namespace vidora::events
