#pragma once
// A catalog read straight from the record and snapshot folders, for where no event log is kept:
// each file's time comes from its name (20261208123822.avi, 20261208-123822-00.jpg), a
// recording's length from its AVI headers (its readable part, for a file that was never
// closed). Channel and reason are not in the names, so every item is listed as a manual
// capture without a channel. The folders are read once, on the first call after rescan().
// GUI thread only.
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "events/catalog.h"

namespace vidora {

// The local time a Vidora file name gives, or nothing for other names.
std::optional<EventTime> timeFromFileName(const std::string& name);
// The local calendar day of a time.
CatalogDay dayOf(EventTime time);
// Local midnight at the start of a day.
EventTime startOfDay(const CatalogDay& day);

class FolderCatalog final : public Catalog {
  public:
    FolderCatalog(std::string recordFolder, std::string snapshotFolder);

    std::vector<CatalogItem> items(const CatalogDay& day, const CatalogFilter& filter) override;
    std::vector<CatalogAlarm> alarms(const CatalogDay& day) override;
    std::vector<CatalogDay> daysWithItems() override;
    std::string remove(const CatalogItem& item) override;

    void rescan() { scanned_ = false; }

  private:
    struct Key {
        int year, month, day;
        auto operator<=>(const Key&) const = default;
    };
    void scan();

    std::string recordFolder_;
    std::string snapshotFolder_;
    bool scanned_ = false;
    int64_t nextId_ = 1;
    // Items by day; recordings' lengths are read when their day is first asked for.
    std::map<Key, std::vector<CatalogItem>> days_;
    std::map<Key, bool> lengthsRead_;
};

}  // namespace vidora
