#include "app/preferences.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QSettings>
#include <QString>
#include <QStringList>
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <system_error>

namespace vidora {
namespace {

std::string keyOf(const char* group, const char* name) {
    return std::string(group) + "/" + name;
}

bool parseInt(const std::string& text, int32_t& out) {
    const char* first = text.data();
    const char* last = text.data() + text.size();
    while (first < last && *first == ' ')
        ++first;
    while (last > first && last[-1] == ' ')
        --last;
    if (first < last && *first == '+')
        ++first;
    int64_t value = 0;
    const auto [end, ec] = std::from_chars(first, last, value);
    if (ec != std::errc() || end != last || first == last)
        return false;
    if (value < INT32_MIN || value > INT32_MAX)
        return false;
    out = static_cast<int32_t>(value);
    return true;
}

bool parseBool(const std::string& text, bool& out) {
    std::string lower;
    for (char c : text)
        if (c != ' ')
            lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (lower == "true" || lower == "1" || lower == "yes" || lower == "on") {
        out = true;
        return true;
    }
    if (lower == "false" || lower == "0" || lower == "no" || lower == "off") {
        out = false;
        return true;
    }
    return false;
}

std::string statusText(QSettings::Status status) {
    switch (status) {
        case QSettings::NoError:
            return {};
        case QSettings::AccessError:
            return "access denied";
        case QSettings::FormatError:
            return "not an INI file";
    }
    return "unknown error";
}

}  // namespace

std::string Preferences::load(const std::filesystem::path& file) {
    std::map<std::string, std::string> values;
    std::string failure;
    std::error_code ec;
    if (std::filesystem::exists(file, ec)) {
        QSettings settings(QString::fromStdString(file.string()), QSettings::IniFormat);
        failure = statusText(settings.status());
        if (failure.empty()) {
            for (const QString& key : settings.allKeys()) {
                const QVariant value = settings.value(key);
                // A list (a value with commas) is joined back: keys here hold single values.
                const QString text = value.typeId() == QMetaType::QStringList
                                         ? value.toStringList().join(QLatin1Char(','))
                                         : value.toString();
                values[key.toStdString()] = text.toStdString();
            }
        }
    }
    std::lock_guard lock(mutex_);
    file_ = file;
    values_ = std::move(values);
    return failure;
}

std::string Preferences::save() {
    std::map<std::string, std::string> values;
    std::filesystem::path file;
    {
        std::lock_guard lock(mutex_);
        values = values_;
        file = file_;
    }
    if (file.empty())
        return "no preferences file was loaded";
    // Written whole to a new file beside the old one and renamed over it, so that a crash
    // leaves either file complete; created readable by its owner only (it may hold a password).
    std::filesystem::path fresh = file;
    fresh += ".new";
    std::error_code ec;
    std::filesystem::remove(fresh, ec);
    const int fd = ::open(fresh.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
        return std::error_code(errno, std::generic_category()).message();
    ::close(fd);
    {
        QSettings settings(QString::fromStdString(fresh.string()), QSettings::IniFormat);
        for (const auto& [key, value] : values)
            settings.setValue(QString::fromStdString(key), QString::fromStdString(value));
        settings.sync();
        if (std::string failure = statusText(settings.status()); !failure.empty()) {
            std::filesystem::remove(fresh, ec);
            return failure;
        }
    }
    // QSettings writes through its own temporary file; the owner-only mode is set again.
    ::chmod(fresh.c_str(), 0600);
    std::filesystem::rename(fresh, file, ec);
    if (ec) {
        const std::string reason = ec.message();
        std::filesystem::remove(fresh, ec);
        return reason;
    }
    return {};
}

std::string Preferences::rawValue(const char* group, const char* name, bool& found) const {
    std::lock_guard lock(mutex_);
    const auto it = values_.find(keyOf(group, name));
    found = it != values_.end();
    return found ? it->second : std::string();
}

int32_t Preferences::get(const IntPreference& key) const {
    bool found = false;
    const std::string text = rawValue(key.group, key.name, found);
    int32_t value = 0;
    if (!found || !parseInt(text, value) || value < key.min || value > key.max)
        return key.defaultValue;
    return value;
}

bool Preferences::get(const BoolPreference& key) const {
    bool found = false;
    const std::string text = rawValue(key.group, key.name, found);
    bool value = false;
    if (!found || !parseBool(text, value))
        return key.defaultValue;
    return value;
}

std::string Preferences::get(const StringPreference& key) const {
    bool found = false;
    std::string text = rawValue(key.group, key.name, found);
    return found ? text : std::string(key.defaultValue);
}

void Preferences::set(const IntPreference& key, int32_t value) {
    value = std::clamp(value, key.min, key.max);
    std::lock_guard lock(mutex_);
    values_[keyOf(key.group, key.name)] = std::to_string(value);
}

void Preferences::set(const BoolPreference& key, bool value) {
    std::lock_guard lock(mutex_);
    values_[keyOf(key.group, key.name)] = value ? "true" : "false";
}

void Preferences::set(const StringPreference& key, const std::string& value) {
    std::lock_guard lock(mutex_);
    values_[keyOf(key.group, key.name)] = value;
}

int Preferences::addListener(std::function<void()> listener) {
    std::lock_guard lock(mutex_);
    const int id = nextListener_++;
    listeners_.emplace_back(id, std::move(listener));
    return id;
}

void Preferences::removeListener(int id) {
    std::lock_guard lock(mutex_);
    std::erase_if(listeners_, [id](const auto& entry) { return entry.first == id; });
}

void Preferences::changed() {
    std::vector<std::function<void()>> listeners;
    {
        std::lock_guard lock(mutex_);
        for (const auto& entry : listeners_)
            listeners.push_back(entry.second);
    }
    for (const auto& listener : listeners)
        listener();
}

std::map<std::string, std::string> Preferences::raw() const {
    std::lock_guard lock(mutex_);
    return values_;
}

Preferences& preferences() {
    static Preferences instance;
    return instance;
}

}  // namespace vidora
