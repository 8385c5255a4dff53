// Which folder the viewer works in, what a home gets on first start, and where the user's
// videos and pictures folders are, with the environment a user may have.
#include "app/paths.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <optional>
#include <string>

#include "app/settings.h"
#include "tests/app/temp_dir.h"

namespace vidora {
namespace {

namespace fs = std::filesystem;

// Sets environment variables for one test and puts the old values back.
class ScopedEnvironment {
  public:
    void set(const std::string& name, std::optional<std::string> value) {
        if (!saved_.count(name)) {
            const char* old = std::getenv(name.c_str());
            saved_[name] = old ? std::optional<std::string>(old) : std::nullopt;
        }
        if (value)
            ::setenv(name.c_str(), value->c_str(), 1);
        else
            ::unsetenv(name.c_str());
    }
    ~ScopedEnvironment() {
        for (const auto& [name, value] : saved_) {
            if (value)
                ::setenv(name.c_str(), value->c_str(), 1);
            else
                ::unsetenv(name.c_str());
        }
    }

  private:
    std::map<std::string, std::optional<std::string>> saved_;
};

void writeText(const fs::path& file, const std::string& text) {
    fs::create_directories(file.parent_path());
    std::ofstream(file) << text;
}

// A user with a home folder in the test's temporary folder, no XDG settings and no programs on
// PATH (so no xdg-user-dir), working in start/; two places an installed skin might be.
class PathsTest : public ::testing::Test {
  protected:
    PathsTest() {
        for (const char* folder : {"home", "start", "bin"})
            fs::create_directory(dir_.path() / folder);
        env_.set("HOME", home().string());
        env_.set("XDG_DATA_HOME", std::nullopt);
        env_.set("XDG_CONFIG_HOME", std::nullopt);
        env_.set("PATH", (dir_.path() / "bin").string());
        fs::current_path(dir_.path() / "start");
        skins_ = {dir_.path() / "moved" / "UI", dir_.path() / "usr" / "UI"};
    }
    ~PathsTest() override { setDefaultFolders("./RECORD", "./SNAPSHOT"); }

    fs::path home() const { return dir_.path() / "home"; }
    fs::path vidoraHome() const { return home() / ".local" / "share" / "vidora"; }
    void installSkin(const fs::path& folder) { writeText(folder / "ui.ini", "[MAINWND]\n"); }
    // A stand-in for xdg-user-dir that answers `answer` for every folder.
    void provideXdgUserDir(const std::string& answer) {
        const fs::path program = dir_.path() / "bin" / "xdg-user-dir";
        writeText(program, "#!/bin/sh\necho '" + answer + "'\n");
        fs::permissions(program, fs::perms::owner_all);
    }

    test::ScopedTempDir dir_;
    ScopedEnvironment env_;
    std::vector<fs::path> skins_;
};

TEST_F(PathsTest, UserDirsFileEntries) {
    const fs::path file = dir_.path() / "user-dirs.dirs";
    writeText(file,
              "# written by xdg-user-dirs-update\n"
              "XDG_DESKTOP_DIR=\"$HOME/Desktop\"\n"
              "  XDG_VIDEOS_DIR=\"$HOME/Filme\"\n"
              "XDG_PICTURES_DIR=\"/data/photos\"\n"
              "XDG_MUSIC_DIR=\"$HOME/\"\n"
              "XDG_TEMPLATES_DIR=\"relative/folder\"\n"
              "XDG_PUBLICSHARE_DIR=\"$HOMEWORK/x\"\n"
              "XDG_DOCUMENTS_DIR=\"$HOME/Old\"\n"
              "XDG_DOCUMENTS_DIR=\"$HOME/New\"\n");
    const fs::path h = "/home/ann";
    EXPECT_EQ(readUserDirsEntry(file, "XDG_VIDEOS_DIR", h), fs::path("/home/ann/Filme"));
    EXPECT_EQ(readUserDirsEntry(file, "XDG_PICTURES_DIR", h), fs::path("/data/photos"));
    EXPECT_EQ(readUserDirsEntry(file, "XDG_DOCUMENTS_DIR", h), fs::path("/home/ann/New"))
        << "the last entry wins, as in the shell";
    EXPECT_EQ(readUserDirsEntry(file, "XDG_MUSIC_DIR", h), std::nullopt) << "$HOME/ means none";
    EXPECT_EQ(readUserDirsEntry(file, "XDG_TEMPLATES_DIR", h), std::nullopt);
    EXPECT_EQ(readUserDirsEntry(file, "XDG_PUBLICSHARE_DIR", h), std::nullopt);
    EXPECT_EQ(readUserDirsEntry(file, "XDG_DOWNLOAD_DIR", h), std::nullopt);
    EXPECT_EQ(readUserDirsEntry(dir_.path() / "absent", "XDG_VIDEOS_DIR", h), std::nullopt);
}

TEST_F(PathsTest, UserFoldersFromTheProgramTheFileOrTheHomeFolder) {
    // Nothing set: ~/Videos and ~/Pictures.
    EXPECT_EQ(userFolder(UserFolder::Videos), home() / "Videos");
    EXPECT_EQ(userFolder(UserFolder::Pictures), home() / "Pictures");

    // Without xdg-user-dir, the file in $XDG_CONFIG_HOME (or ~/.config) answers.
    writeText(home() / ".config" / "user-dirs.dirs", "XDG_VIDEOS_DIR=\"$HOME/Clips\"\n");
    EXPECT_EQ(userFolder(UserFolder::Videos), home() / "Clips");
    EXPECT_EQ(userFolder(UserFolder::Pictures), home() / "Pictures");
    writeText(dir_.path() / "config" / "user-dirs.dirs", "XDG_PICTURES_DIR=\"/srv/pics\"\n");
    env_.set("XDG_CONFIG_HOME", (dir_.path() / "config").string());
    EXPECT_EQ(userFolder(UserFolder::Videos), home() / "Videos");
    EXPECT_EQ(userFolder(UserFolder::Pictures), fs::path("/srv/pics"));

    // xdg-user-dir, when there, has the last word; its answer "the home folder" means none.
    provideXdgUserDir("/mnt/media");
    EXPECT_EQ(userFolder(UserFolder::Videos), fs::path("/mnt/media"));
    provideXdgUserDir(home().string());
    EXPECT_EQ(userFolder(UserFolder::Pictures), home() / "Pictures");
}

TEST_F(PathsTest, PerUserHomeFollowsAnAbsoluteXdgDataHome) {
    EXPECT_EQ(perUserHome(), vidoraHome());
    env_.set("XDG_DATA_HOME", "/var/lib/ann");
    EXPECT_EQ(perUserHome(), fs::path("/var/lib/ann/vidora"));
    env_.set("XDG_DATA_HOME", "relative/data");
    EXPECT_EQ(perUserHome(), vidoraHome()) << "a relative XDG_DATA_HOME is ignored";
}

TEST_F(PathsTest, AStartFolderWithItsOwnSkinIsUsedAsItStands) {
    fs::create_directory("UI");
    installSkin(skins_[1]);
    WorkFolder folder;
    ASSERT_EQ(enterWorkFolder(std::nullopt, skins_, folder), "");
    EXPECT_EQ(folder.path, dir_.path() / "start");
    EXPECT_FALSE(folder.home);
    EXPECT_EQ(fs::current_path(), dir_.path() / "start");
    EXPECT_FALSE(fs::exists(vidoraHome()));
    EXPECT_FALSE(fs::is_symlink("UI"));

    // A new settings file there keeps the relative folders of old, and nothing is created.
    EXPECT_EQ(prepareNewSettingsFolders(folder), "");
    applyDefaultSettings();
    EXPECT_STREQ(gConfig.recordFolder, "./RECORD");
    EXPECT_STREQ(gConfig.pictureFolder, "./SNAPSHOT");
    EXPECT_FALSE(fs::exists(home() / "Videos"));
}

TEST_F(PathsTest, WithoutSkinTheHomeIsCreatedWithTheInstalledSkinLinkedIn) {
    installSkin(skins_[1]);
    WorkFolder folder;
    ASSERT_EQ(enterWorkFolder(std::nullopt, skins_, folder), "");
    EXPECT_EQ(folder.path, vidoraHome());
    EXPECT_TRUE(folder.home);
    EXPECT_EQ(fs::current_path(), vidoraHome());
    EXPECT_EQ(fs::read_symlink(vidoraHome() / "UI"), skins_[1]);
    EXPECT_TRUE(fs::is_empty(dir_.path() / "start"));

    // The first place that holds a skin wins; a link that leads nowhere any more is made again.
    installSkin(skins_[0]);
    fs::remove_all(skins_[1]);
    ASSERT_EQ(enterWorkFolder(std::nullopt, skins_, folder), "");
    EXPECT_EQ(fs::read_symlink(vidoraHome() / "UI"), skins_[0]);

    // A link that still leads to a skin, and a skin folder of the user's own, are kept.
    installSkin(skins_[1]);
    ASSERT_EQ(enterWorkFolder(std::nullopt, skins_, folder), "");
    EXPECT_EQ(fs::read_symlink(vidoraHome() / "UI"), skins_[0]);
    fs::remove(vidoraHome() / "UI");
    fs::create_directory(vidoraHome() / "UI");
    ASSERT_EQ(enterWorkFolder(std::nullopt, skins_, folder), "");
    EXPECT_FALSE(fs::is_symlink(vidoraHome() / "UI"));
}

TEST_F(PathsTest, NoInstalledSkinNamesEveryPlaceLookedIn) {
    WorkFolder folder;
    EXPECT_EQ(enterWorkFolder(std::nullopt, skins_, folder),
              "Vidora cannot find its skin (ui.ini). It looked in " + skins_[0].string() + " and " +
                  skins_[1].string() + ".");
    EXPECT_FALSE(fs::exists(vidoraHome() / "UI"));
}

TEST_F(PathsTest, AWorkdirIsAHomeUnlessItHoldsASkin) {
    installSkin(skins_[1]);
    WorkFolder folder;
    ASSERT_EQ(enterWorkFolder(fs::path("../elsewhere/profile"), skins_, folder), "");
    EXPECT_EQ(folder.path, dir_.path() / "elsewhere" / "profile");
    EXPECT_TRUE(folder.home);
    EXPECT_EQ(fs::read_symlink(folder.path / "UI"), skins_[1]);
    EXPECT_FALSE(fs::exists(vidoraHome()));

    fs::create_directories(dir_.path() / "portable" / "UI");
    ASSERT_EQ(enterWorkFolder(dir_.path() / "portable", skins_, folder), "");
    EXPECT_FALSE(folder.home);
    EXPECT_EQ(fs::current_path(), dir_.path() / "portable");
    EXPECT_FALSE(fs::is_symlink("UI"));

    writeText(dir_.path() / "a-file", "");
    EXPECT_EQ(
        enterWorkFolder(dir_.path() / "a-file", skins_, folder)
            .rfind("Vidora cannot create its folder " + (dir_.path() / "a-file").string() + ": ",
                   0),
        0u);
}

TEST_F(PathsTest, ANewSettingsFileInAHomeUsesTheUsersVideosAndPictures) {
    installSkin(skins_[1]);
    WorkFolder folder;
    ASSERT_EQ(enterWorkFolder(std::nullopt, skins_, folder), "");
    ASSERT_EQ(prepareNewSettingsFolders(folder), "");
    EXPECT_TRUE(fs::is_directory(home() / "Videos" / "Vidora"));
    EXPECT_TRUE(fs::is_directory(home() / "Pictures" / "Vidora"));
    loadSettings();
    EXPECT_STREQ(gConfig.recordFolder, (home() / "Videos" / "Vidora").c_str());
    EXPECT_STREQ(gConfig.pictureFolder, (home() / "Pictures" / "Vidora").c_str());
    ASSERT_EQ(fs::file_size(kSettingsFileName), 936u);

    // Once the settings file exists, its folders are the user's business.
    fs::remove_all(home() / "Videos");
    setDefaultFolders("./RECORD", "./SNAPSHOT");
    EXPECT_EQ(prepareNewSettingsFolders(folder), "");
    EXPECT_FALSE(fs::exists(home() / "Videos"));
    applyDefaultSettings();
    EXPECT_STREQ(gConfig.recordFolder, "./RECORD");
}

TEST_F(PathsTest, AFolderPathLongerThanTheSettingsRecordHoldsIsRefused) {
    installSkin(skins_[1]);
    // "<folder>/Vidora" with exactly one character too many for the record.
    const std::string base = (dir_.path() / "media").string() + "/";
    const std::string videos =
        base + std::string(kMaxStoredFolderLength + 1 - base.size() - std::strlen("/Vidora"), 'v');
    provideXdgUserDir(videos);
    WorkFolder folder;
    ASSERT_EQ(enterWorkFolder(std::nullopt, skins_, folder), "");
    EXPECT_EQ(prepareNewSettingsFolders(folder),
              "The folder " + videos +
                  "/Vidora is longer than the 255 characters the settings file can hold. Choose a "
                  "shorter videos or pictures folder (xdg-user-dirs-update) and start Vidora "
                  "again.");
    applyDefaultSettings();
    EXPECT_STREQ(gConfig.recordFolder, "./RECORD") << "nothing was set";
    EXPECT_EQ(sizeof gConfig.recordFolder, kMaxStoredFolderLength + 1);

    // One character less fits.
    const std::string shorter = videos.substr(0, videos.size() - 1);
    provideXdgUserDir(shorter);
    EXPECT_EQ(prepareNewSettingsFolders(folder), "");
    EXPECT_TRUE(fs::is_directory(shorter + "/Vidora"));
    applyDefaultSettings();
    EXPECT_EQ(std::string(gConfig.recordFolder), shorter + "/Vidora");
}

}  // namespace
}  // namespace vidora
