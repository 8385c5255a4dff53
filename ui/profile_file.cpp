#include "ui/profile_file.h"

#include <fstream>
#include <iterator>
#include <limits>

namespace vidora {
namespace {

std::string lower(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return out;
}

std::string_view trim(std::string_view s) {
    const auto isSpace = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!s.empty() && isSpace(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isSpace(s.back()))
        s.remove_suffix(1);
    return s;
}

}  // namespace

int32_t profileInt(std::string_view value) {
    value = trim(value);
    bool negative = false;
    if (!value.empty() && (value.front() == '-' || value.front() == '+')) {
        negative = value.front() == '-';
        value.remove_prefix(1);
    }
    int64_t n = 0;
    for (char c : value) {
        if (c < '0' || c > '9')
            break;
        n = n * 10 + (c - '0');
        if (n > std::numeric_limits<int32_t>::max()) {
            n = std::numeric_limits<int32_t>::max();  // saturate rather than wrap
            break;
        }
    }
    return static_cast<int32_t>(negative ? -n : n);
}

ProfileFile ProfileFile::load(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return {};
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return parse(text);
}

ProfileFile ProfileFile::parse(std::string_view text) {
    ProfileFile profile;
    std::map<std::string, std::string>* current = nullptr;
    // A UTF-8 byte order mark at the start is not part of the first line.
    if (text.size() >= 3 && text.substr(0, 3) == "\xEF\xBB\xBF")
        text.remove_prefix(3);
    while (!text.empty()) {
        const size_t end = text.find('\n');
        std::string_view line = trim(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
        if (line.empty() || line.front() == ';')
            continue;
        if (line.front() == '[') {
            const size_t close = line.find(']');
            const std::string name = lower(trim(
                line.substr(1, close == std::string_view::npos ? line.size() - 1 : close - 1)));
            // A repeated section adds its keys to the first one; keys read first win.
            current = &profile.sections_[name];
            continue;
        }
        if (!current)
            continue;
        const size_t eq = line.find('=');
        if (eq == std::string_view::npos)
            continue;
        std::string_view value = trim(line.substr(eq + 1));
        // A value wholly inside double quotes reads without them.
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
            value = value.substr(1, value.size() - 2);
        current->try_emplace(lower(trim(line.substr(0, eq))), std::string(value));
    }
    return profile;
}

bool ProfileFile::hasSection(std::string_view section) const {
    return sections_.contains(lower(section));
}

const std::string* ProfileFile::find(std::string_view section, std::string_view key) const {
    const auto s = sections_.find(lower(section));
    if (s == sections_.end())
        return nullptr;
    const auto k = s->second.find(lower(key));
    if (k == s->second.end())
        return nullptr;
    return &k->second;
}

int32_t ProfileFile::getInt(std::string_view section, std::string_view key) const {
    const std::string* value = find(section, key);
    return value ? profileInt(*value) : 0;
}

std::string ProfileFile::getText(std::string_view section, std::string_view key) const {
    const std::string* value = find(section, key);
    if (!value)
        return {};
    if (value->size() <= kMaxText)
        return *value;
    size_t cut = kMaxText;
    // Step back to the start of a UTF-8 sequence so the text stays valid.
    while (cut > 0 && (static_cast<unsigned char>((*value)[cut]) & 0xC0) == 0x80)
        --cut;
    return value->substr(0, cut);
}

}  // namespace vidora
