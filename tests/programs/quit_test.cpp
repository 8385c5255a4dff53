// The real program ended from outside while nobody is at the screen: by a termination signal or
// by the end of the desktop session, also while a worker thread waits for its message box. It
// must end at once, in order: recordings closed and indexed, the settings file saved.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>

#include "app/settings.h"
#include "app/task_list.h"
#include "platform/clock.h"
#include "tests/app/temp_dir.h"
#include "tests/programs/child_process.h"
#include "tests/recording/test_support.h"

namespace vidora::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Steady = std::chrono::steady_clock;

constexpr const char* kPictureLimitBox =
    "box|Vidora|Total size of picture files have exceeded the limit(1MB).|information\n";

std::string text(const char* path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

ino_t inode(const char* path) {
    struct stat st {};
    return stat(path, &st) == 0 ? st.st_ino : 0;
}

std::vector<fs::path> recordings() {
    std::vector<fs::path> files;
    for (const auto& e : fs::directory_iterator("RECORD")) {
        if (e.path().extension() == ".avi")
            files.push_back(e.path());
    }
    return files;
}

// A folder as the program finds it beside itself: its skin and the two storage folders.
void prepareFolder() {
    fs::create_directory("RECORD");
    fs::create_directory("SNAPSHOT");
    std::error_code ec;
    fs::create_directory_symlink(fs::path(VIDORA_BINARY_DIR) / "run" / "UI", "UI", ec);
}

// A user who records all day on a plan and takes alarm photos into a picture folder that is over
// its 1 MB limit under "Stop capturing and notify user.": the demo receiver's first motion alarm
// on channel 1 (10 s after the start) makes the capture timer thread ask for the limit message
// while the planned recording runs.
void writeRecordingDaySettings() {
    prepareFolder();
    std::ofstream("SNAPSHOT/20200101-000000-00.jpg", std::ios::binary)
        << std::string(2 * 1024 * 1024, '\0');
    applyDefaultSettings();
    gState.planTasksOn = 1;
    gState.motionAlarmOn = 1;
    gConfig.motionAlarmChannel[0] = 1;
    gConfig.alarmCapture = 1;
    gConfig.alarmSound = 0;
    gConfig.pictureLimitMB = 1;
    gConfig.pictureLimitPolicy = 2;
    freeTaskList();
    TaskRecord* task = taskList().allocate();
    task->operation = 1;  // record
    task->frequency = 1;  // every day
    task->startTime = toLocalSystemTime(processClock().calendarSeconds() - 1);
    task->durationSeconds = 3600;
    task->channel = 4;  // whichever is live
    taskList().append(task);
    ASSERT_TRUE(saveSettings());
    freeTaskList();
}

// An AVI file as a player wants it after an orderly stop: the index at the end, the RIFF size
// covering the whole file, and every picture readable.
void expectClosedRecording(const fs::path& path) {
    const std::vector<uint8_t> bytes = readFile(path.string());
    ASSERT_GT(bytes.size(), 2048u) << path;
    EXPECT_EQ(tag(bytes, 0), "RIFF");
    EXPECT_EQ(le32(bytes, 4) + 8u, bytes.size()) << "the header covers the whole file";
    const std::string all(bytes.begin(), bytes.end());
    const std::size_t index = all.rfind("idx1");
    ASSERT_NE(index, std::string::npos) << path << " has no index";
    EXPECT_EQ(index + 8 + le32(bytes, index + 4), bytes.size()) << "the index ends the file";
    auto values = probe(path.string());
    ASSERT_EQ(values.count("error"), 0u) << values["error"];
    EXPECT_EQ(values["stream.0.codec_name"], "mpeg4");
    const int frames = decodeVideoFrames(path.string());
    EXPECT_GT(frames, 10);
    EXPECT_EQ(frames, std::atoi(values["stream.0.nb_frames"].c_str()));
}

// Runs the dialog probe with a user who is away (`probeMode`) on the recording day above until
// the worker's box is up, then `end`s it from outside. Expects the orderly end within 2 s.
void quitWhileAWorkersBoxIsOpen(const char* probeMode, const std::function<void(pid_t)>& end) {
    ScopedTempDir dir;
    writeRecordingDaySettings();
    const ino_t written = inode("vidora.cfg");

    const pid_t probe = startProgram(DIALOG_PROBE_PATH, {probeMode}, "probe.out");
    ASSERT_GT(probe, 0);
    KillAtEnd cleanup{probe};
    ASSERT_TRUE(
        waitFor([] { return text("probe.out").find(kPictureLimitBox) != std::string::npos; }, 40s))
        << text("probe.out") << text("demo.stderr");
    ASSERT_EQ(recordings().size(), 1u) << "the planned recording runs";
    ASSERT_EQ(waitpid(probe, nullptr, WNOHANG), 0);

    const auto endedAt = Steady::now();
    end(probe);
    int status = waitExit(probe, 2s);
    if (status == -1) {
        ADD_FAILURE() << "still running 2 s after the end was asked for";
        status = waitExit(probe, 20s);
    }
    ASSERT_NE(status, -1) << "hangs; output:\n" << text("probe.out");
    const double seconds = std::chrono::duration<double>(Steady::now() - endedAt).count();
    EXPECT_EQ(status, 0);
    EXPECT_EQ(text("probe.out"), std::string("running\n") + kPictureLimitBox + "exit 0\n")
        << "no other box was shown; ended after " << seconds << " s";

    EXPECT_NE(inode("vidora.cfg"), written) << "the settings file was saved again";
    EXPECT_EQ(fs::file_size("vidora.cfg"), 936u + 48u) << "the records and the one task";
    loadSettings();
    EXPECT_EQ(gConfig.pictureLimitMB, 1u);
    EXPECT_EQ(gConfig.pictureLimitPolicy, 2);
    EXPECT_EQ(gState.planTasksOn, 1);
    EXPECT_EQ(taskList().count(), 1u);
    freeTaskList();

    const auto files = recordings();
    ASSERT_EQ(files.size(), 1u);
    expectClosedRecording(files[0]);
}

TEST(Quit, SigtermWhileAWorkersBoxIsOpenEndsInOrder) {
    quitWhileAWorkersBoxIsOpen("--leave-boxes-open", [](pid_t pid) { kill(pid, SIGTERM); });
}

TEST(Quit, EndOfTheSessionWhileAWorkersBoxIsOpenEndsInOrder) {
    // The probe asks the application to quit as soon as it saw the box, as the session manager
    // does at logout; the test only watches.
    quitWhileAWorkersBoxIsOpen("--quit-at-box", [](pid_t) {});
}

TEST(Quit, InterruptAndHangupEndInOrder) {
    for (int signal : {SIGINT, SIGHUP}) {
        SCOPED_TRACE(signal);
        ScopedTempDir dir;
        prepareFolder();
        applyDefaultSettings();
        ASSERT_TRUE(saveSettings());
        const ino_t written = inode("vidora.cfg");
        const pid_t probe = startProgram(DIALOG_PROBE_PATH, {"--leave-boxes-open"}, "probe.out");
        ASSERT_GT(probe, 0);
        KillAtEnd cleanup{probe};
        ASSERT_TRUE(waitFor([] { return text("probe.out") == "running\n"; }, 20s));
        ASSERT_EQ(kill(probe, signal), 0);
        EXPECT_EQ(waitExit(probe, 5s), 0);
        EXPECT_EQ(text("probe.out"), "running\nexit 0\n");
        EXPECT_NE(inode("vidora.cfg"), written) << "the settings file was saved again";
        EXPECT_EQ(fs::file_size("vidora.cfg"), 936u);
    }
}

}  // namespace
}  // namespace vidora::test
