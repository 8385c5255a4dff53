#pragma once
// What the recordings window reads: the recordings and snapshots of a day, with the alarms
// that caused them. The event log implements it over its database (after indexing files in the
// folders that have no row yet); tests may implement it over a plain list.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/event_sink.h"

namespace vidora {

// A calendar day in local time.
struct CatalogDay {
    int year = 0;
    int month = 0;  // 1 to 12
    int day = 0;    // 1 to 31
    friend bool operator==(const CatalogDay&, const CatalogDay&) = default;
};

enum class CatalogItemKind : int32_t { Recording = 1, Snapshot = 2 };

struct CatalogItem {
    int64_t id = 0;  // the row's id, stable while the database lives
    CatalogItemKind kind = CatalogItemKind::Recording;
    std::string path;  // absolute
    EventTime start = 0;
    EventTime end = 0;  // recordings: time of the last picture; snapshots: == start
    EventChannel channel = EventChannel::None;
    CaptureReason reason = CaptureReason::Manual;
    std::optional<AlarmKind> alarm;  // the alarm that caused it, when reason == Alarm
    uint64_t bytes = 0;
    bool truncated = false;  // the file was not closed (crash); its readable length is used
};

struct CatalogFilter {
    bool alarmOnly = false;
    EventChannel channel = EventChannel::None;  // None: every channel
};

struct CatalogAlarm {
    EventTime start = 0;
    EventTime end = 0;
    EventChannel channel = EventChannel::None;
    AlarmKind kind = AlarmKind::Motion;
};

class Catalog {
  public:
    virtual ~Catalog() = default;
    // Items whose start lies in the day, in time order.
    virtual std::vector<CatalogItem> items(const CatalogDay& day, const CatalogFilter& filter) = 0;
    virtual std::vector<CatalogAlarm> alarms(const CatalogDay& day) = 0;
    // Days that hold at least one item, for the day picker.
    virtual std::vector<CatalogDay> daysWithItems() = 0;
    // Removes the file through the same code as the folder limits and marks its row gone.
    // Returns an empty string on success, or the reason it failed.
    virtual std::string remove(const CatalogItem& item) = 0;
};

}  // namespace vidora
