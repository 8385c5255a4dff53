// vidora.ini as a user or another tool would see it: the text on disk, its mode, and what the
// viewer reads back from files that are missing, empty, damaged or hand-edited.
#include "app/preferences.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <sstream>

#include "tests/app/temp_dir.h"

namespace vidora {
namespace {

constexpr IntPreference kSeconds{"alarm", "preAlarmSeconds", 5, 0, 30};
constexpr BoolPreference kEnabled{"stream", "enabled", false};
constexpr StringPreference kUser{"stream", "user", ""};

void writeFile(const std::filesystem::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(Preferences, MissingEmptyOrDamagedFilesReadAsDefaults) {
    test::ScopedTempDir dir;
    const auto file = dir.path() / "vidora.ini";
    const std::vector<std::string> contents = {
        "",                                                         // empty
        std::string("\x00\xff\xfe garbage \x01\n[[[", 18),          // not text at all
        "[alarm]\npreAlarmSeconds=abc\n[stream]\nenabled=maybe\n",  // values that do not parse
        "[alarm]\npreAlarmSeconds=31\n",                            // above the range
        "[alarm]\npreAlarmSeconds=-1\n",                            // below the range
        "[alarm]\npreAlarmSeconds=99999999999999\n",                // beyond 32 bits
    };
    {
        Preferences prefs;
        prefs.load(file);  // no file at all
        EXPECT_EQ(prefs.get(kSeconds), 5);
        EXPECT_FALSE(prefs.get(kEnabled));
        EXPECT_EQ(prefs.get(kUser), "");
    }
    for (const std::string& text : contents) {
        SCOPED_TRACE(text);
        writeFile(file, text);
        Preferences prefs;
        prefs.load(file);
        EXPECT_EQ(prefs.get(kSeconds), 5);
        EXPECT_FALSE(prefs.get(kEnabled));
    }
}

TEST(Preferences, ReadsHandWrittenValues) {
    test::ScopedTempDir dir;
    const auto file = dir.path() / "vidora.ini";
    writeFile(file, "[alarm]\npreAlarmSeconds = 12\n\n[stream]\nenabled=true\nuser=ann\n");
    Preferences prefs;
    EXPECT_EQ(prefs.load(file), "");
    EXPECT_EQ(prefs.get(kSeconds), 12);
    EXPECT_TRUE(prefs.get(kEnabled));
    EXPECT_EQ(prefs.get(kUser), "ann");
}

TEST(Preferences, SaveKeepsUnknownKeysWritesOwnerOnlyAndReplacesDamagedFiles) {
    test::ScopedTempDir dir;
    const auto file = dir.path() / "vidora.ini";
    writeFile(file, "[future]\nfeature=on\n[alarm]\npreAlarmSeconds=7\n");
    ::chmod(file.c_str(), 0644);
    {
        Preferences prefs;
        prefs.load(file);
        prefs.set(kEnabled, true);
        prefs.set(kUser, "ann, bob");
        EXPECT_EQ(prefs.save(), "");
    }
    const std::string text = readFile(file);
    EXPECT_NE(text.find("[future]"), std::string::npos) << text;
    EXPECT_NE(text.find("feature=on"), std::string::npos) << text;
    EXPECT_NE(text.find("preAlarmSeconds=7"), std::string::npos) << text;
    EXPECT_NE(text.find("enabled=true"), std::string::npos) << text;
    struct stat st {};
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "vidora.ini.new"));

    Preferences again;
    again.load(file);
    EXPECT_EQ(again.get(kSeconds), 7);
    EXPECT_TRUE(again.get(kEnabled));
    EXPECT_EQ(again.get(kUser), "ann, bob");

    // A damaged file is replaced whole by the values in memory.
    writeFile(file, std::string("\x00\x01\x02", 3));
    Preferences damaged;
    damaged.load(file);
    damaged.set(kSeconds, 3);
    EXPECT_EQ(damaged.save(), "");
    Preferences reread;
    reread.load(file);
    EXPECT_EQ(reread.get(kSeconds), 3);
}

TEST(Preferences, SaveReportsAFolderItCannotWriteAndKeepsTheValues) {
    if (::geteuid() == 0)
        GTEST_SKIP() << "root writes into read-only folders";
    test::ScopedTempDir dir;
    const auto folder = dir.path() / "locked";
    std::filesystem::create_directory(folder);
    Preferences prefs;
    prefs.load(folder / "vidora.ini");
    ::chmod(folder.c_str(), 0500);
    prefs.set(kSeconds, 9);
    EXPECT_NE(prefs.save(), "");
    EXPECT_EQ(prefs.get(kSeconds), 9);
    ::chmod(folder.c_str(), 0700);
}

TEST(Preferences, SetClampsAndListenersHearChangesUntilRemoved) {
    test::ScopedTempDir dir;
    Preferences prefs;
    prefs.load(dir.path() / "vidora.ini");
    prefs.set(kSeconds, 45);
    EXPECT_EQ(prefs.get(kSeconds), 30);
    prefs.set(kSeconds, -4);
    EXPECT_EQ(prefs.get(kSeconds), 0);

    int heard = 0;
    const int id = prefs.addListener([&heard] { ++heard; });
    prefs.changed();
    EXPECT_EQ(heard, 1);
    prefs.removeListener(id);
    prefs.changed();
    EXPECT_EQ(heard, 1);
}

}  // namespace
}  // namespace vidora
