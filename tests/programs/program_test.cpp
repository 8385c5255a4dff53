// The real program, started as a user would: first start, second instance, orderly exit.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>
#include <vector>

#include "tests/app/temp_dir.h"

namespace fs = std::filesystem;

namespace {

pid_t startDemo() {
    char arg0[] = "vidora-demo";
    char* argv[] = {arg0, nullptr};
    pid_t pid = 0;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "demo.stderr", O_WRONLY | O_CREAT | O_APPEND,
                                     0644);
    int rc = posix_spawn(&pid, VIDORA_DEMO_PATH, &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    return rc == 0 ? pid : -1;
}

template <class Pred>
bool waitFor(Pred pred, std::chrono::milliseconds limit) {
    auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        if (pred()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return pred();
}

// Exit status once the process has ended, or -1 when it is still running after `limit`.
int waitExit(pid_t pid, std::chrono::milliseconds limit) {
    int status = 0;
    bool ended = waitFor([&] { return waitpid(pid, &status, WNOHANG) == pid; }, limit);
    if (!ended) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

std::vector<char> bytes(const char* path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

}  // namespace

TEST(Program, FirstStartSecondInstanceAndOrderlyExit) {
    vidora::test::ScopedTempDir dir;
    pid_t first = startDemo();
    ASSERT_GT(first, 0);
    ASSERT_TRUE(waitFor([] { return fs::exists("vidora.cfg"); }, std::chrono::seconds(20)))
        << "the first start writes the settings file";
    EXPECT_EQ(fs::file_size("vidora.cfg"), 936u);
    struct stat before {};
    ASSERT_EQ(stat("vidora.cfg", &before), 0);
    std::vector<char> firstBytes = bytes("vidora.cfg");

    // A second copy is refused (it stops at its warning) and leaves the settings alone.
    pid_t second = startDemo();
    ASSERT_GT(second, 0);
    std::this_thread::sleep_for(std::chrono::seconds(2));
    EXPECT_EQ(bytes("vidora.cfg"), firstBytes);
    EXPECT_EQ(kill(first, 0), 0) << "the first copy keeps running";
    kill(second, SIGKILL);
    waitpid(second, nullptr, 0);

    // An orderly exit (SIGTERM closes the main window) saves the settings file again.
    ASSERT_EQ(kill(first, SIGTERM), 0);
    EXPECT_EQ(waitExit(first, std::chrono::seconds(20)), 0);
    struct stat after {};
    ASSERT_EQ(stat("vidora.cfg", &after), 0);
    EXPECT_NE(after.st_ino, before.st_ino) << "saved through a new file renamed over the old one";
    EXPECT_EQ(fs::file_size("vidora.cfg"), 936u);
    EXPECT_EQ(after.st_mode & 0777, 0600u);
}
