#include "events/event_catalog.h"

#include <algorithm>
#include <atomic>
#include <ctime>

#include "app/storage.h"
#include "events/program_catalog.h"
#include "events/schema.h"
#include "platform/log/log.h"

namespace vidora::events {

namespace {

EventTime localMidnight(int year, int month, int day) {
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_isdst = -1;
    return static_cast<EventTime>(std::mktime(&t)) * 1000;
}

EventChannel channelOf(int64_t number) {
    return number >= 1 && number <= 4 ? static_cast<EventChannel>(number) : EventChannel::None;
}

}  // namespace

std::pair<EventTime, EventTime> dayRange(const CatalogDay& day) {
    // The next midnight from the calendar (a day of a clock change is 23 or 25 hours long).
    return {localMidnight(day.year, day.month, day.day),
            localMidnight(day.year, day.month, day.day + 1)};
}

EventCatalog::EventCatalog(std::filesystem::path file, Folders folders, Remover remover)
    : file_(std::move(file)), folders_(std::move(folders)), remover_(std::move(remover)) {
    if (!remover_)
        remover_ = [](const std::string& path) { return deleteStoredFile(path); };
}

bool EventCatalog::ready() {
    if (db_.isOpen())
        return true;
    // The event log created and migrated the file; a catalog without one makes its own.
    if (std::string opened = db_.open(file_); !opened.empty()) {
        qCWarning(log::app) << "the catalog cannot open" << file_.c_str() << ":" << opened.c_str();
        return false;
    }
    std::string failure = configureConnection(db_);
    if (failure.empty())
        failure = migrate(db_);
    if (!failure.empty()) {
        qCWarning(log::app) << "the catalog:" << failure.c_str();
        db_.close();
        return false;
    }
    return true;
}

std::string EventCatalog::refresh(IndexStats* stats) {
    std::lock_guard lock(mutex_);
    if (!ready())
        return "the event log cannot be opened";
    return indexFolders(db_, folders_ ? folders_() : StoreFolders{}, stats);
}

std::vector<CatalogItem> EventCatalog::items(const CatalogDay& day, const CatalogFilter& filter) {
    if (std::string failure = refresh(); !failure.empty())
        qCWarning(log::app) << "indexing the folders:" << failure.c_str();
    std::lock_guard lock(mutex_);
    std::vector<CatalogItem> found;
    if (!db_.isOpen())
        return found;
    const auto [first, end] = dayRange(day);
    const std::string where = std::string(filter.alarmOnly ? " AND reason = 'alarm'" : "") +
                              (filter.channel != EventChannel::None ? " AND channel = ?3" : "");
    // A recording's alarm: the latest one on its channel that began by the time the recording
    // did (the alarm starts the recording a poll later).
    Statement recordings = db_.prepare(
        "SELECT id, path, start_ms, COALESCE(end_ms, start_ms), channel, reason, "
        "COALESCE(bytes, 0), ending = 'interrupted', "
        "(SELECT kind FROM alarms a WHERE a.channel = r.channel AND a.start_ms <= r.start_ms + "
        "1000 ORDER BY a.start_ms DESC LIMIT 1) "
        "FROM recordings r WHERE gone_ms IS NULL AND start_ms >= ?1 AND start_ms < ?2" +
        where);
    Statement snapshots = db_.prepare(
        "SELECT id, path, taken_ms, channel, reason, COALESCE(bytes, 0), "
        "(SELECT kind FROM alarms a WHERE a.channel = s.channel AND a.start_ms <= s.taken_ms + "
        "1000 ORDER BY a.start_ms DESC LIMIT 1) "
        "FROM snapshots s WHERE gone_ms IS NULL AND taken_ms >= ?1 AND taken_ms < ?2" +
        where);
    if (!recordings.ok() || !snapshots.ok())
        return found;
    for (Statement* query : {&recordings, &snapshots}) {
        query->bind(1, first).bind(2, end);
        if (filter.channel != EventChannel::None)
            query->bind(3, static_cast<int64_t>(filter.channel));
    }
    while (recordings.step() == SQLITE_ROW) {
        CatalogItem item;
        item.id = recordings.integer(0);
        item.kind = CatalogItemKind::Recording;
        item.path = recordings.text(1);
        item.start = recordings.integer(2);
        item.end = recordings.integer(3);
        item.channel = channelOf(recordings.integer(4));
        item.reason = reasonOf(recordings.text(5));
        item.bytes = static_cast<uint64_t>(recordings.integer(6));
        item.truncated = recordings.integer(7) != 0;
        if (item.reason == CaptureReason::Alarm)
            item.alarm = alarmKindOf(recordings.text(8));
        found.push_back(std::move(item));
    }
    while (snapshots.step() == SQLITE_ROW) {
        CatalogItem item;
        item.id = snapshots.integer(0);
        item.kind = CatalogItemKind::Snapshot;
        item.path = snapshots.text(1);
        item.start = item.end = snapshots.integer(2);
        item.channel = channelOf(snapshots.integer(3));
        item.reason = reasonOf(snapshots.text(4));
        item.bytes = static_cast<uint64_t>(snapshots.integer(5));
        if (item.reason == CaptureReason::Alarm)
            item.alarm = alarmKindOf(snapshots.text(6));
        found.push_back(std::move(item));
    }
    std::stable_sort(found.begin(), found.end(), [](const CatalogItem& a, const CatalogItem& b) {
        return a.start != b.start ? a.start < b.start : a.path < b.path;
    });
    return found;
}

std::vector<CatalogAlarm> EventCatalog::alarms(const CatalogDay& day) {
    std::lock_guard lock(mutex_);
    std::vector<CatalogAlarm> found;
    if (!ready())
        return found;
    const auto [first, end] = dayRange(day);
    Statement query = db_.prepare(
        "SELECT start_ms, COALESCE(end_ms, start_ms), channel, kind FROM alarms "
        "WHERE start_ms >= ?1 AND start_ms < ?2 ORDER BY start_ms, id");
    query.bind(1, first).bind(2, end);
    while (query.step() == SQLITE_ROW) {
        found.push_back({query.integer(0), query.integer(1), channelOf(query.integer(2)),
                         alarmKindOf(query.text(3)).value_or(AlarmKind::Motion)});
    }
    return found;
}

std::vector<CatalogDay> EventCatalog::daysWithItems() {
    if (std::string failure = refresh(); !failure.empty())
        qCWarning(log::app) << "indexing the folders:" << failure.c_str();
    std::lock_guard lock(mutex_);
    std::vector<CatalogDay> days;
    if (!db_.isOpen())
        return days;
    // Local days: SQLite's 'localtime' uses the same time zone as the rest of the program.
    Statement query = db_.prepare(
        "SELECT DISTINCT date(t / 1000, 'unixepoch', 'localtime') AS d FROM "
        "(SELECT start_ms AS t FROM recordings WHERE gone_ms IS NULL UNION ALL "
        "SELECT taken_ms FROM snapshots WHERE gone_ms IS NULL) ORDER BY d");
    while (query.step() == SQLITE_ROW) {
        const std::string text = query.text(0);  // YYYY-MM-DD
        CatalogDay day;
        if (std::sscanf(text.c_str(), "%d-%d-%d", &day.year, &day.month, &day.day) == 3)
            days.push_back(day);
    }
    return days;
}

std::string EventCatalog::remove(const CatalogItem& item) {
    if (std::string failure = remover_(item.path); !failure.empty())
        return failure;
    std::lock_guard lock(mutex_);
    if (!ready())
        return {};  // the file is gone; the log's writer marks it too
    const char* sql = item.kind == CatalogItemKind::Recording
                          ? "UPDATE recordings SET gone_ms = ?1 WHERE id = ?2 AND gone_ms IS NULL"
                          : "UPDATE snapshots SET gone_ms = ?1 WHERE id = ?2 AND gone_ms IS NULL";
    if (!db_.prepare(sql).bind(1, eventTimeNow()).bind(2, item.id).run())
        return "the file was removed, but the event log cannot be written: " + db_.lastError();
    return {};
}

}  // namespace vidora::events

namespace vidora {

namespace {
std::atomic<Catalog*> gCatalog{nullptr};
}  // namespace

Catalog* installedCatalog() {
    return gCatalog.load(std::memory_order_acquire);
}

void installCatalog(Catalog* catalog) {
    gCatalog.store(catalog, std::memory_order_release);
}

}  // namespace vidora
