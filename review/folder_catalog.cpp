#include "review/folder_catalog.h"

#include <algorithm>
#include <cctype>
#include <ctime>
#include <filesystem>
#include <system_error>

#include "review/avi_length.h"

namespace vidora {

namespace fs = std::filesystem;

std::optional<EventTime> timeFromFileName(const std::string& name) {
    // Fourteen digits, optionally split after the date by a '-'.
    std::string digits;
    for (char c : name) {
        if (std::isdigit(static_cast<unsigned char>(c)))
            digits += c;
        else if (c == '-' && digits.size() == 8)
            continue;
        else
            break;
        if (digits.size() == 14)
            break;
    }
    if (digits.size() != 14)
        return std::nullopt;
    std::tm t{};
    t.tm_year = std::stoi(digits.substr(0, 4)) - 1900;
    t.tm_mon = std::stoi(digits.substr(4, 2)) - 1;
    t.tm_mday = std::stoi(digits.substr(6, 2));
    t.tm_hour = std::stoi(digits.substr(8, 2));
    t.tm_min = std::stoi(digits.substr(10, 2));
    t.tm_sec = std::stoi(digits.substr(12, 2));
    t.tm_isdst = -1;
    if (t.tm_mon < 0 || t.tm_mon > 11 || t.tm_mday < 1 || t.tm_mday > 31 || t.tm_hour > 23 ||
        t.tm_min > 59 || t.tm_sec > 60)
        return std::nullopt;
    const std::time_t seconds = std::mktime(&t);
    if (seconds == static_cast<std::time_t>(-1))
        return std::nullopt;
    return static_cast<EventTime>(seconds) * 1000;
}

CatalogDay dayOf(EventTime time) {
    const std::time_t seconds = static_cast<std::time_t>(time / 1000);
    std::tm t{};
    localtime_r(&seconds, &t);
    return {t.tm_year + 1900, t.tm_mon + 1, t.tm_mday};
}

EventTime startOfDay(const CatalogDay& day) {
    std::tm t{};
    t.tm_year = day.year - 1900;
    t.tm_mon = day.month - 1;
    t.tm_mday = day.day;
    t.tm_isdst = -1;
    return static_cast<EventTime>(std::mktime(&t)) * 1000;
}

FolderCatalog::FolderCatalog(std::string recordFolder, std::string snapshotFolder)
    : recordFolder_(std::move(recordFolder)), snapshotFolder_(std::move(snapshotFolder)) {}

void FolderCatalog::scan() {
    if (scanned_)
        return;
    scanned_ = true;
    days_.clear();
    lengthsRead_.clear();
    const auto read = [this](const std::string& folder, CatalogItemKind kind) {
        std::error_code ec;
        for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
            std::error_code fileError;
            if (!it->is_regular_file(fileError))
                continue;
            const std::string name = it->path().filename().string();
            std::string ext = it->path().extension().string();
            std::transform(ext.begin(), ext.end(), ext.begin(),
                           [](unsigned char c) { return std::tolower(c); });
            const bool wanted =
                kind == CatalogItemKind::Recording ? ext == ".avi" : ext == ".jpg" || ext == ".bmp";
            const std::optional<EventTime> start = timeFromFileName(name);
            if (!wanted || !start)
                continue;
            CatalogItem item;
            item.id = nextId_++;
            item.kind = kind;
            item.path = fs::absolute(it->path()).string();
            item.start = *start;
            item.end = *start;
            const uintmax_t bytes = it->file_size(fileError);
            item.bytes = fileError ? 0 : bytes;
            const CatalogDay d = dayOf(*start);
            days_[{d.year, d.month, d.day}].push_back(std::move(item));
        }
    };
    read(recordFolder_, CatalogItemKind::Recording);
    read(snapshotFolder_, CatalogItemKind::Snapshot);
    for (auto& [key, list] : days_)
        std::stable_sort(list.begin(), list.end(), [](const CatalogItem& a, const CatalogItem& b) {
            return a.start < b.start;
        });
}

std::vector<CatalogItem> FolderCatalog::items(const CatalogDay& day, const CatalogFilter& filter) {
    scan();
    const Key key{day.year, day.month, day.day};
    const auto found = days_.find(key);
    if (found == days_.end())
        return {};
    if (!lengthsRead_[key]) {
        lengthsRead_[key] = true;
        for (CatalogItem& item : found->second) {
            if (item.kind != CatalogItemKind::Recording)
                continue;
            const AviLength length = readAviLength(item.path);
            item.end = item.start + length.durationMs();
            item.truncated = length.truncated;
        }
    }
    std::vector<CatalogItem> result;
    for (const CatalogItem& item : found->second) {
        if (filter.alarmOnly && item.reason != CaptureReason::Alarm)
            continue;
        if (filter.channel != EventChannel::None && item.channel != filter.channel)
            continue;
        result.push_back(item);
    }
    return result;
}

std::vector<CatalogAlarm> FolderCatalog::alarms(const CatalogDay&) {
    return {};
}

std::vector<CatalogDay> FolderCatalog::daysWithItems() {
    scan();
    std::vector<CatalogDay> result;
    for (const auto& [key, list] : days_)
        if (!list.empty())
            result.push_back({key.year, key.month, key.day});
    return result;
}

std::string FolderCatalog::remove(const CatalogItem& item) {
    std::error_code ec;
    if (!fs::remove(item.path, ec) && ec)
        return ec.message();
    const CatalogDay d = dayOf(item.start);
    auto& list = days_[{d.year, d.month, d.day}];
    std::erase_if(list, [&item](const CatalogItem& other) { return other.id == item.id; });
    return {};
}

}  // namespace vidora
