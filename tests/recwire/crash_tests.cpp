// A viewer killed with SIGKILL while it records: the files it closed are whole, and the one it
// was writing reads up to within two seconds of the crash.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <map>
#include <thread>

#include "tests/recording/test_support.h"

namespace vidora {
namespace {

using Steady = std::chrono::steady_clock;
using namespace test;

double videoSeconds(std::map<std::string, std::string>& values) {
    const double frames = std::atof(values["stream.0.nb_frames"].c_str());
    const std::string rate = values["stream.0.r_frame_rate"];
    const auto slash = rate.find('/');
    if (slash == std::string::npos)
        return -1;
    const double fps = std::atof(rate.c_str()) / std::atof(rate.c_str() + slash + 1);
    return fps > 0 ? frames / fps : -1;
}

TEST(RecordingCrash, KilledWhileRecordingLeavesReadableFiles) {
    TempFolder folder;
    std::string path = folder.path();
    char arg0[] = "recwire_record_child";
    char* argv[] = {arg0, path.data(), nullptr};
    pid_t pid = 0;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    ASSERT_EQ(posix_spawn(&pid, VIDORA_RECORD_CHILD, &actions, nullptr, argv, environ), 0);
    posix_spawn_file_actions_destroy(&actions);

    // Watch the files appear: a second file means the first was cut and closed.
    std::map<std::string, Steady::time_point> appeared;
    const auto limit = Steady::now() + std::chrono::seconds(90);
    bool ready = false;
    while (Steady::now() < limit && !ready) {
        for (const auto& name : folder.files())
            appeared.emplace(name, Steady::now());
        ready = appeared.size() >= 2 &&
                Steady::now() - appeared.rbegin()->second > std::chrono::seconds(3);
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, WNOHANG), 0) << "the recording process ended early";
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    const auto crash = Steady::now();
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    ASSERT_TRUE(ready) << "no file was cut within the time limit";

    auto names = folder.files();
    ASSERT_GE(names.size(), 2u);
    for (std::size_t i = 0; i < names.size(); ++i) {
        const std::string file = folder.file(names[i]);
        auto values = probe(file);
        ASSERT_EQ(values.count("error"), 0u) << names[i] << ": " << values["error"];
        EXPECT_EQ(values["stream.0.codec_name"], "mpeg4") << names[i];
        const int frames = decodeVideoFrames(file);
        EXPECT_GT(frames, 0) << names[i];
        const bool open = i + 1 == names.size();
        if (!open) {
            // Closed at the cut: indexed, every picture decodes, about the maximum size.
            auto bytes = readFile(file);
            EXPECT_NE(std::string(bytes.begin(), bytes.end()).find("idx1"), std::string::npos);
            EXPECT_EQ(frames, std::atoi(values["stream.0.nb_frames"].c_str())) << names[i];
            EXPECT_GT(bytes.size(), 900u * 1024) << names[i];
            EXPECT_LT(bytes.size(), 1200u * 1024) << names[i];
            EXPECT_GT(decodeSoundSamples(file), 0) << names[i];
        } else {
            const double lived = std::chrono::duration<double>(crash - appeared[names[i]]).count();
            const double readable =
                static_cast<double>(frames) / std::atof(values["stream.0.r_frame_rate"].c_str());
            EXPECT_GT(readable, lived - 2.0) << names[i] << " was written for " << lived << " s";
            EXPECT_GE(videoSeconds(values), 0);
        }
    }
}

}  // namespace
}  // namespace vidora
