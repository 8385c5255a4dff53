#pragma once
// Preferences that the settings file has no room for: vidora.ini beside vidora.cfg, an INI file
// in QSettings' format. vidora.cfg keeps its fixed layout byte for byte (other tools and older
// copies read it); everything added since lives here, one [group] per feature.
//
// Each feature declares its keys where it uses them (a group, a name, a default and the values
// it accepts). A missing file, a missing key or a value that does not parse or lies outside its
// range reads as the key's default; nothing here fails the start of the viewer. Keys this build
// does not know are kept when the file is written again. The file is written atomically (a new
// file renamed over the old one) and readable by its owner only, since it may hold a password.
//
// Thread-safe: the values live in memory under a lock; readers on any thread get a copy.
// load() and save() run on the user-interface thread (start-up and the dialog's Ok).
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace vidora {

struct IntPreference {
    const char* group;
    const char* name;
    int32_t defaultValue;
    int32_t min;
    int32_t max;
};

struct BoolPreference {
    const char* group;
    const char* name;
    bool defaultValue;
};

struct StringPreference {
    const char* group;
    const char* name;
    const char* defaultValue;
};

class Preferences {
  public:
    Preferences() = default;
    Preferences(const Preferences&) = delete;
    Preferences& operator=(const Preferences&) = delete;

    // Reads `file` (remembered for save()). A missing or unreadable file leaves every key at its
    // default. Returns an empty string, or why the file could not be read (for the log).
    std::string load(const std::filesystem::path& file);
    // Writes every known and unknown key back to the file given to load(). Returns an empty
    // string, or the reason the file could not be written (the values in memory stay).
    std::string save();
    const std::filesystem::path& file() const { return file_; }

    int32_t get(const IntPreference& key) const;
    bool get(const BoolPreference& key) const;
    std::string get(const StringPreference& key) const;

    // Values outside an int key's range are clamped into it.
    void set(const IntPreference& key, int32_t value);
    void set(const BoolPreference& key, bool value);
    void set(const StringPreference& key, const std::string& value);

    // Called on the thread that calls changed(), after the dialog stored new values, so that a
    // running viewer applies them. Returns a number for removeListener().
    int addListener(std::function<void()> listener);
    void removeListener(int id);
    // Tells the listeners that values changed (the dialog calls it after save()).
    void changed();

    // Every "group/name" = raw text held, known or not (what save() writes).
    std::map<std::string, std::string> raw() const;

  private:
    std::string rawValue(const char* group, const char* name, bool& found) const;

    mutable std::mutex mutex_;
    std::filesystem::path file_;
    std::map<std::string, std::string> values_;  // "group/name" -> text as stored
    std::vector<std::pair<int, std::function<void()>>> listeners_;
    int nextListener_ = 1;
};

// The viewer's preferences, loaded at start-up from vidora.ini in the working folder.
Preferences& preferences();
inline constexpr const char* kPreferencesFileName = "vidora.ini";

}  // namespace vidora
