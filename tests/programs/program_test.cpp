// The real program, started as a user would: first start, second instance, orderly exit.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "app/records.h"
#include "tests/app/temp_dir.h"
#include "tests/programs/child_process.h"

namespace fs = std::filesystem;

namespace {

using vidora::test::KillAtEnd;
using vidora::test::waitExit;
using vidora::test::waitFor;

pid_t start(const char* program, std::vector<std::string> args = {},
            const char* outFile = "/dev/null") {
    return vidora::test::startProgram(program, std::move(args), outFile);
}

pid_t startDemo() {
    return start(VIDORA_DEMO_PATH);
}

std::vector<char> bytes(const char* path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

std::string text(const char* path) {
    std::vector<char> b = bytes(path);
    return {b.begin(), b.end()};
}

// Runs the dialog probe (the real program entry with a user answering its dialogs) to its end;
// returns its exit status, and what it saw in `seen`.
int runProbe(std::vector<std::string> entries, std::string* seen) {
    pid_t probe = start(DIALOG_PROBE_PATH, std::move(entries), "probe.out");
    if (probe <= 0)
        return -1;
    int status = waitExit(probe, std::chrono::seconds(30));
    if (status == -1) {
        kill(probe, SIGKILL);
        waitpid(probe, nullptr, 0);
    }
    *seen = text("probe.out");
    return status;
}

ino_t inode(const char* path) {
    struct stat st {};
    return stat(path, &st) == 0 ? st.st_ino : 0;
}

constexpr const char* kPrompt = "prompt|Vidora|Please enter password.\n";

// A fresh working folder holding the skin the build draws, as build/run/ does.
struct RunFolder : vidora::test::ScopedTempDir {
    RunFolder() { fs::create_directory_symlink(fs::path(VIDORA_BINARY_DIR) / "run" / "UI", "UI"); }
};

}  // namespace

TEST(Program, FirstStartSecondInstanceAndOrderlyExit) {
    RunFolder dir;
    pid_t first = startDemo();
    ASSERT_GT(first, 0);
    KillAtEnd cleanup{first};
    ASSERT_TRUE(waitFor([] { return fs::exists("vidora.cfg"); }, std::chrono::seconds(20)))
        << "the first start writes the settings file";
    EXPECT_EQ(fs::file_size("vidora.cfg"), 936u);
    struct stat before {};
    ASSERT_EQ(stat("vidora.cfg", &before), 0);
    std::vector<char> firstBytes = bytes("vidora.cfg");

    // A second copy is refused with the warning, ends with 0 once the user closed it, and
    // leaves the first copy and the settings alone.
    std::string seen;
    EXPECT_EQ(runProbe({}, &seen), 0);
    EXPECT_EQ(seen,
              "box|Vidora|Another instance of this application is running.      |warning\n"
              "exit 0\n");
    EXPECT_EQ(bytes("vidora.cfg"), firstBytes);
    EXPECT_EQ(inode("vidora.cfg"), before.st_ino) << "the second copy wrote nothing";
    EXPECT_EQ(waitpid(first, nullptr, WNOHANG), 0) << "the first copy keeps running";

    // An orderly exit (SIGTERM closes the main window) saves the settings file again.
    ASSERT_TRUE(waitFor([&] { return vidora::test::catchesSignal(first, SIGTERM); },
                        std::chrono::seconds(20)));
    ASSERT_EQ(kill(first, SIGTERM), 0);
    EXPECT_EQ(waitExit(first, std::chrono::seconds(20)), 0);
    struct stat after {};
    ASSERT_EQ(stat("vidora.cfg", &after), 0);
    EXPECT_NE(after.st_ino, before.st_ino) << "saved through a new file renamed over the old one";
    EXPECT_EQ(fs::file_size("vidora.cfg"), 936u);
    EXPECT_EQ(after.st_mode & 0777, 0600u);
}

// vidora.ini, whatever it holds, never keeps the viewer from starting, and nothing of it reaches
// vidora.cfg, whose bytes stay those of a start without it.
TEST(Program, AnyPreferencesFileStartsAndLeavesTheSettingsFileAsItWas) {
    RunFolder dir;
    std::string seen;
    ASSERT_EQ(runProbe({"unused"}, &seen), 0);
    ASSERT_EQ(seen, "running\nexit 0\n");
    // The file carries a task-list slot that holds whatever the run that wrote it had there;
    // every other byte is compared.
    const std::size_t address =
        sizeof(vidora::ViewerState) + offsetof(vidora::VidoraConfig, taskList);
    auto settingsBytes = [address] {
        std::vector<char> b = bytes("vidora.cfg");
        if (b.size() >= address + sizeof(vidora::VidoraConfig::taskList))
            std::fill_n(b.begin() + static_cast<std::ptrdiff_t>(address),
                        sizeof(vidora::VidoraConfig::taskList), 0);
        return b;
    };
    const std::vector<char> reference = settingsBytes();
    ASSERT_EQ(reference.size(), 936u);
    const std::vector<std::string> contents = {
        "",
        std::string("\x00\xff\xfe garbage \x01\n[[[", 18),
        "[alarm]\npreAlarmSeconds=abc\n",
        "[alarm]\npreAlarmSeconds=31\n",
        "[alarm]\npreAlarmSeconds=-5\n",
        "[alarm]\npreAlarmSeconds=30\n[unknown]\nkey=1\n",
    };
    for (const std::string& content : contents) {
        SCOPED_TRACE(content);
        std::ofstream("vidora.ini", std::ios::binary | std::ios::trunc) << content;
        ASSERT_EQ(runProbe({"unused"}, &seen), 0);
        EXPECT_EQ(seen, "running\nexit 0\n");
        EXPECT_EQ(settingsBytes(), reference);
        EXPECT_EQ(text("vidora.ini"), content) << "only the dialog writes it";
    }
}

TEST(Program, PasswordPromptWhenSwitchedOn) {
    RunFolder dir;
    // Switched off (a first start): no prompt.
    std::string seen;
    ASSERT_EQ(runProbe({"unused"}, &seen), 0);
    EXPECT_EQ(seen, "running\nexit 0\n");
    ASSERT_EQ(fs::file_size("vidora.cfg"), 936u);

    // Switched on with the password "Secret".
    std::vector<char> file = bytes("vidora.cfg");
    file[104] = 1;  // askPassword
    std::memcpy(&file[105], "Secret", 7);
    std::ofstream("vidora.cfg", std::ios::binary | std::ios::trunc)
        .write(file.data(), static_cast<std::streamsize>(file.size()));

    // A case difference is refused, the prompt stays; Cancel ends with 0 and saves.
    ino_t written = inode("vidora.cfg");
    ASSERT_EQ(runProbe({"secret"}, &seen), 0);
    EXPECT_EQ(seen, std::string(kPrompt) + "box|Error|      Invalid password.      |error\n" +
                        kPrompt + "exit 0\n");
    EXPECT_NE(inode("vidora.cfg"), written) << "a cancelled prompt still saves the settings";
    file = bytes("vidora.cfg");
    ASSERT_EQ(file.size(), 936u);
    EXPECT_EQ(file[104], 1);
    EXPECT_STREQ(&file[105], "Secret");

    // The right password starts the program.
    ASSERT_EQ(runProbe({"Secret"}, &seen), 0);
    EXPECT_EQ(seen, std::string(kPrompt) + "running\nexit 0\n");
}

TEST(Program, TheDemosUnplugKeyShowsTheMessageAndPluggingBackInReconnects) {
    RunFolder dir;
    std::string seen;
    ASSERT_EQ(runProbe({"--unplug-and-replug"}, &seen), 0) << seen;
    EXPECT_NE(seen.find("running\n"
                        "box||USB Receiver was unpluged from your computer,please reconnect it.|"),
              std::string::npos)
        << seen;
    EXPECT_NE(seen.find("unplugged live 0\n"), std::string::npos) << seen;
    EXPECT_NE(seen.find("replugged live 1\n"), std::string::npos) << seen;
    EXPECT_EQ(seen.find("No USB Receiver connected."), std::string::npos) << seen;
    EXPECT_NE(seen.find("exit 0"), std::string::npos) << seen;
}

TEST(Program, TheLKeyOpensTheRecordingsOfTheRecordFolder) {
    RunFolder dir;
    // Two recordings and a snapshot of a past day where the program keeps them by default, and a
    // file that is not one of ours.
    fs::create_directories("RECORD");
    fs::create_directories("SNAPSHOT");
    std::ofstream("RECORD/20261207183000.avi") << "RIFF";
    std::ofstream("RECORD/20261207081500.avi") << "RIFF";
    std::ofstream("SNAPSHOT/20261207-120000-00.jpg") << "jpeg";
    std::ofstream("RECORD/notes.txt") << "not a recording";
    std::string seen;
    ASSERT_EQ(runProbe({"--open-recordings"}, &seen), 0) << seen;
    // The window opens on the newest day that holds files, earliest first.
    EXPECT_NE(seen.find("running\nrecordings 2026-12-07 3 08:15:00\n"), std::string::npos) << seen;
    EXPECT_NE(seen.find("exit 0"), std::string::npos) << seen;
}
