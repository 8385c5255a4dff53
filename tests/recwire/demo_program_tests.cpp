// vidora-demo itself, started as a user would, with a settings file that plans a recording and a
// photo series: both land in its RECORD and SNAPSHOT folders.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "app/settings.h"
#include "app/task_list.h"
#include "platform/clock.h"
#include "tests/app/temp_dir.h"
#include "tests/recording/test_support.h"

namespace vidora {
namespace {

namespace fs = std::filesystem;
using Steady = std::chrono::steady_clock;

void addDailyTask(int operation, int64_t start, int durationSeconds, int fps) {
    TaskRecord* task = taskList().allocate();
    task->operation = operation;
    task->frequency = 1;
    task->startTime = toLocalSystemTime(start);
    task->durationSeconds = durationSeconds;
    task->channel = 4;
    task->captureFps = fps;
    taskList().append(task);
}

std::vector<fs::path> filesIn(const char* folder, const char* extension) {
    std::vector<fs::path> files;
    for (const auto& e : fs::directory_iterator(folder)) {
        if (e.path().extension() == extension)
            files.push_back(e.path());
    }
    return files;
}

TEST(DemoProgram, PlannedRecordingAndPhotosLandInTheFolders) {
    test::ScopedTempDir dir;
    fs::create_directory("RECORD");
    fs::create_directory("SNAPSHOT");
    // The skin the build draws for the programs.
    std::error_code ec;
    fs::create_directory_symlink(fs::path(VIDORA_BINARY_DIR) / "run" / "UI", "UI", ec);
    applyDefaultSettings();
    gState.planTasksOn = 1;
    freeTaskList();
    const int64_t start = processClock().calendarSeconds() + 4;
    addDailyTask(1, start, 3, 0);
    addDailyTask(2, start, 3, 1);
    ASSERT_TRUE(saveSettings());
    freeTaskList();

    char arg0[] = "vidora-demo";
    char arg1[] = "--quit-after";
    char arg2[] = "11";
    char* argv[] = {arg0, arg1, arg2, nullptr};
    pid_t pid = 0;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "demo.stderr", O_WRONLY | O_CREAT, 0644);
    ASSERT_EQ(posix_spawn(&pid, VIDORA_DEMO_PATH, &actions, nullptr, argv, environ), 0);
    posix_spawn_file_actions_destroy(&actions);

    // The task ends 7 s from now; the program ends by itself after 11 s, or is closed.
    const auto closeAt = Steady::now() + std::chrono::seconds(12);
    int status = 0;
    bool ended = false;
    while (!ended && Steady::now() < closeAt + std::chrono::seconds(30)) {
        ended = waitpid(pid, &status, WNOHANG) == pid;
        if (!ended && Steady::now() > closeAt)
            kill(pid, SIGTERM);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    if (!ended) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
    ASSERT_TRUE(ended);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

    auto recordings = filesIn("RECORD", ".avi");
    ASSERT_EQ(recordings.size(), 1u);
    EXPECT_GT(test::decodeVideoFrames(recordings[0].string()), 10);
    EXPECT_GT(test::decodeSoundSamples(recordings[0].string()), 48000);
    auto photos = filesIn("SNAPSHOT", ".jpg");
    EXPECT_GE(photos.size(), 1u);
    EXPECT_LE(photos.size(), 4u);
}

}  // namespace
}  // namespace vidora
