#pragma once
// Reads a Windows-style INI file by the private-profile rules: section and key names compare
// without regard to ASCII case, the first occurrence of a section or key wins, a missing file,
// section or key reads as 0 or as an empty text, numbers are the leading decimal integer of the
// value, and texts are cut to 63 bytes (never inside a UTF-8 sequence). Read once, then queried;
// a plain value used on one thread.
#include <cstdint>
#include <map>
#include <string>
#include <string_view>

namespace vidora {

class ProfileFile {
  public:
    static constexpr size_t kMaxText = 63;

    ProfileFile() = default;
    // An unreadable file gives an empty profile (every lookup misses).
    static ProfileFile load(const std::string& path);
    static ProfileFile parse(std::string_view text);

    bool hasSection(std::string_view section) const;
    int32_t getInt(std::string_view section, std::string_view key) const;
    std::string getText(std::string_view section, std::string_view key) const;

  private:
    const std::string* find(std::string_view section, std::string_view key) const;

    // Lower-cased section -> lower-cased key -> raw value.
    std::map<std::string, std::map<std::string, std::string>> sections_;
};

// The private-profile integer rule applied to a value text.
int32_t profileInt(std::string_view value);

}  // namespace vidora
