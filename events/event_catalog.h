#pragma once
// The catalog the recordings window reads, over events.db. Every query first indexes the record
// and picture folders (incrementally: only new or changed files are read), so files copied in or
// written while the log was off are listed, and files that went meanwhile are not.
//
// Owned by the user interface; used on one thread at a time, through a connection of its own
// (the event log's writer thread keeps writing beside it).
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "events/catalog.h"
#include "events/database.h"
#include "events/folder_index.h"

namespace vidora::events {

class EventCatalog final : public Catalog {
  public:
    using Folders = std::function<StoreFolders()>;
    // A file is removed through this; empty on success, else the reason (defaults to the
    // folder limits' own deletion).
    using Remover = std::function<std::string(const std::string& path)>;

    EventCatalog(std::filesystem::path file, Folders folders, Remover remover = {});

    std::vector<CatalogItem> items(const CatalogDay& day, const CatalogFilter& filter) override;
    std::vector<CatalogAlarm> alarms(const CatalogDay& day) override;
    std::vector<CatalogDay> daysWithItems() override;
    std::string remove(const CatalogItem& item) override;

    // Indexes the folders now; empty on success, else the reason.
    std::string refresh(IndexStats* stats = nullptr);

  private:
    bool ready();

    std::filesystem::path file_;
    Folders folders_;
    Remover remover_;
    std::mutex mutex_;  // one query at a time, whichever thread asks
    Database db_;
};

// The local day as the window's range [first, end) in milliseconds since the epoch.
std::pair<EventTime, EventTime> dayRange(const CatalogDay& day);

}  // namespace vidora::events
