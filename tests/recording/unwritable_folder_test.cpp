// The AVI record writer when its folder cannot take the recording: missing, read-only, full, or
// removed while a file in it is open. What the user is told, what the files hold, and how the
// recording goes on by itself once the folder can take it again.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

#include "record_pipeline.h"
#include "recording/disk_faults.h"
#include "test_support.h"

namespace vidora {
namespace {

namespace fs = std::filesystem;
using test::le32;
using test::Pipeline;

constexpr uint32_t kWarning = MB_OK | MB_ICONWARNING;

// Waits up to `limitMs` for `pred`, showing the boxes that other threads ask for meanwhile (the
// test's thread is the user-interface thread).
bool pumpUntil(const std::function<bool()>& pred, int limitMs = 5000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    while (std::chrono::steady_clock::now() < end) {
        pumpMessageBoxes();
        if (pred())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    pumpMessageBoxes();
    return pred();
}

// A recorded file as a player takes it: it reads without errors, starts with a key frame, has
// its index, and its header counts every picture that decodes. Returns the pictures.
int playablePictures(const std::string& path) {
    SCOPED_TRACE(path);
    auto info = test::probe(path);
    EXPECT_EQ(info.count("error"), 0u) << info["error"];
    EXPECT_EQ(info["stream.0.codec_name"], "mpeg4");
    auto packets = test::probePackets(path);
    EXPECT_FALSE(packets.empty());
    for (const auto& p : packets) {
        if (p.stream == 0) {
            EXPECT_TRUE(p.key) << "the file does not start with a key frame";
            break;
        }
    }
    const std::vector<uint8_t> bytes = test::readFile(path);
    EXPECT_NE(le32(bytes, 44) & 0x10u, 0u) << "no index";
    const int decoded = test::decodeVideoFrames(path);
    EXPECT_EQ(std::to_string(decoded), info["stream.0.nb_frames"]);
    return decoded;
}

class UnwritableFolderTest : public ::testing::Test {
  protected:
    void SetUp() override { test::resetSettings(folder.path()); }

    static std::string message(const std::string& folderShown, const char* reason) {
        return "Cannot write the recording to " + folderShown + ": " + reason;
    }

    test::TempFolder folder;
    test::MessageBoxRecorder boxes;
};

TEST_F(UnwritableFolderTest, AFullDiskIsToldOnceAndTheRecordingGoesOnInANewFileWhenSpaceReturns) {
    DiskFaults disk;
    Pipeline p(folder.path(), 352, 288, 1, 48000, AviRecordWriter::kAviCutBytes, &disk);
    std::atomic<int> changes{0};
    p.writer.setStallNotice([&] { ++changes; });
    ASSERT_TRUE(p.start().ok());
    p.feed(2.0, 25);  // 12:00:00 - 12:00:02
    p.drain();
    EXPECT_FALSE(p.writer.stalled());

    // The disk fills up: the file is closed with what reached it and the user is told.
    disk.setFreeBytes(0);
    const uint64_t droppedBefore = p.writer.droppedPackets();
    p.feed(3.0, 25);  // until 12:00:05
    p.drain();
    EXPECT_TRUE(p.writer.stalled());
    EXPECT_EQ(changes.load(), 1);
    // What cannot be written is dropped and counted, not kept: nothing waits in the queue.
    EXPECT_EQ(p.writer.queuedPackets(), 0u);
    EXPECT_GE(p.writer.droppedPackets() - droppedBefore, 70u);  // 75 pictures and their sound
    ASSERT_TRUE(pumpUntil([&] { return !boxes.requests.empty(); }));
    EXPECT_EQ(boxes.requests[0].text, message(folder.path(), "No space left on device"));
    EXPECT_EQ(boxes.requests[0].caption, "Vidora");
    EXPECT_EQ(boxes.requests[0].type, kWarning);
    ASSERT_EQ(folder.files(), std::vector<std::string>{"20261206120000.avi"});
    const int first = playablePictures(folder.file("20261206120000.avi"));
    EXPECT_GE(first, 40);
    EXPECT_LE(first, 55);

    // A trickle of space is not enough to go on: the next file would fail at once.
    disk.setFreeBytes(AviRecordWriter::kResumeFreeBytes - 1);
    p.feed(1.0, 25);  // until 12:00:06
    p.drain();
    EXPECT_TRUE(p.writer.stalled());
    EXPECT_EQ(folder.files().size(), 1u);

    // Space is freed: writing resumes at the next key frame in a file named by that moment.
    // (The writer names it when it gets there: the test waits for it, as a real disk would not
    // fall seconds behind.)
    disk.setFreeBytes(64u << 20);
    p.feed(0.2, 25);
    p.drain();
    p.feed(1.8, 25);  // until 12:00:08
    p.drain();
    EXPECT_FALSE(p.writer.stalled());
    EXPECT_EQ(changes.load(), 2);
    p.stop();

    ASSERT_EQ(folder.files(),
              (std::vector<std::string>{"20261206120000.avi", "20261206120006.avi"}));
    const int second = playablePictures(folder.file("20261206120006.avi"));
    EXPECT_GE(second, 45);
    EXPECT_LE(second, 50);
    pumpUntil([] { return false; }, 200);
    EXPECT_EQ(boxes.requests.size(), 1u) << "one message for the whole recording";
}

// The folder is missing (a relative path, told as the absolute one), or creating files in it is
// refused: the recording starts all the same and is written from the first key frame after the
// folder can take it.
TEST_F(UnwritableFolderTest, AFileThatCannotBeCreatedIsToldWithTheSystemsReasonAndRetried) {
    struct Case {
        const char* name;
        int error;  // 0: the folder itself is missing
        const char* reason;
    };
    const Case cases[] = {{"missing", 0, "No such file or directory"},
                          {"denied", EACCES, "Permission denied"},
                          {"read-only", EROFS, "Read-only file system"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path sub = fs::path(folder.path()) / c.name;
        if (c.error != 0)
            fs::create_directory(sub);
        DiskFaults disk;
        disk.setCreateError(c.error);
        const std::string relative = fs::relative(sub, fs::current_path()).string();
        Pipeline p(relative, 352, 288, 3, 48000, AviRecordWriter::kAviCutBytes, &disk);
        boxes.requests.clear();
        ASSERT_TRUE(p.start().ok());
        p.feed(1.0, 25);
        p.drain();
        EXPECT_TRUE(p.writer.stalled());
        ASSERT_TRUE(pumpUntil([&] { return !boxes.requests.empty(); }));
        EXPECT_EQ(boxes.requests[0].text, message(sub.string(), c.reason));
        EXPECT_EQ(boxes.requests[0].type, kWarning);

        // The folder can take it again at 12:00:01.
        if (c.error == 0)
            fs::create_directory(sub);
        disk.setCreateError(0);
        p.feed(0.2, 25);
        p.drain();
        p.feed(0.8, 25);
        p.stop();
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(sub))
            names.push_back(e.path().filename().string());
        ASSERT_EQ(names, std::vector<std::string>{"20261206120001.avi"});
        const int pictures = playablePictures((sub / names[0]).string());
        EXPECT_GE(pictures, 21);
        EXPECT_LE(pictures, 25);
        pumpUntil([] { return false; }, 100);
        EXPECT_EQ(boxes.requests.size(), 1u);
    }
}

TEST_F(UnwritableFolderTest, AFolderRemovedUnderAnOpenFileIsNoticedAtOnceAndAtTheNextKeyFrame) {
    const fs::path sub = fs::path(folder.path()) / "RECORD";
    fs::create_directory(sub);
    Pipeline p(sub.string(), 352, 288, 3);
    std::atomic<int> changes{0};
    p.writer.setStallNotice([&] { ++changes; });
    ASSERT_TRUE(p.start().ok());
    p.feed(1.5, 25);
    p.drain();
    ASSERT_EQ(std::distance(fs::directory_iterator(sub), fs::directory_iterator()), 1);

    // The folder goes with the file being written; its watcher tells the writer. No picture
    // arrives meanwhile: the writer does not wait for one, nor for a cut.
    fs::remove_all(sub);
    p.writer.folderGone();
    ASSERT_TRUE(pumpUntil([&] { return p.writer.stalled() && !boxes.requests.empty(); }, 2000));
    EXPECT_EQ(boxes.requests[0].text, message(sub.string(), "No such file or directory"));
    EXPECT_EQ(changes.load(), 1);

    // The folder comes back at 12:00:01: a new file from the next key frame on.
    fs::create_directory(sub);
    p.feed(0.2, 25);
    p.drain();
    p.feed(0.8, 25);
    p.drain();
    EXPECT_FALSE(p.writer.stalled());
    EXPECT_EQ(changes.load(), 2);
    p.stop();
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(sub))
        names.push_back(e.path().filename().string());
    ASSERT_EQ(names, std::vector<std::string>{"20261206120001.avi"});
    EXPECT_GE(playablePictures((sub / names[0]).string()), 21);

    // The next recording: the folder is removed and made anew before anybody says so. The next
    // key frame finds the file gone, tells the user (a new recording, a new message) and starts
    // a new file in the new folder at once.
    p.clock.advanceMs(60000);  // 12:01:02
    boxes.requests.clear();
    ASSERT_TRUE(p.start().ok());
    p.feed(1.0, 25);
    p.drain();
    fs::remove_all(sub);
    fs::create_directory(sub);
    p.feed(0.2, 25);  // 12:01:03
    p.drain();
    p.feed(0.8, 25);
    p.drain();
    EXPECT_FALSE(p.writer.stalled());
    p.stop();
    ASSERT_TRUE(pumpUntil([&] { return !boxes.requests.empty(); }));
    EXPECT_EQ(boxes.requests[0].text, message(sub.string(), "No such file or directory"));
    names.clear();
    for (const auto& e : fs::directory_iterator(sub))
        names.push_back(e.path().filename().string());
    ASSERT_EQ(names, std::vector<std::string>{"20261206120103.avi"});
    EXPECT_GE(playablePictures((sub / names[0]).string()), 20);
    pumpUntil([] { return false; }, 100);
    EXPECT_EQ(boxes.requests.size(), 1u);
}

// A real full disk: a small tmpfs (where this test may mount one; CI runs as root).
TEST_F(UnwritableFolderTest, ARealFullDiskKeepsAPlayableIndexedFileAndResumesWhenSpaceIsFreed) {
    const fs::path disk = fs::path(folder.path()) / "disk";
    fs::create_directory(disk);
    if (::mount("tmpfs", disk.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, "size=4m") != 0)
        GTEST_SKIP() << "mounting a tmpfs is not permitted here";
    struct Unmount {
        fs::path at;
        ~Unmount() { ::umount2(at.c_str(), MNT_DETACH); }
    } unmount{disk};
    const fs::path filler = disk / "filler.bin";
    std::ofstream(filler, std::ios::binary) << std::string(2560 * 1024, 'x');
    fs::create_directory(disk / "RECORD");

    Pipeline p((disk / "RECORD").string(), 352, 288, 1);
    ASSERT_TRUE(p.start().ok());
    for (int s = 0; s < 30 && !p.writer.stalled(); ++s) {
        p.feed(1.0, 25);
        p.drain();
    }
    ASSERT_TRUE(p.writer.stalled()) << "the disk never filled up";
    ASSERT_TRUE(pumpUntil([&] { return !boxes.requests.empty(); }));
    EXPECT_EQ(boxes.requests[0].text,
              message((disk / "RECORD").string(), "No space left on device"));
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(disk / "RECORD"))
        names.push_back(e.path().filename().string());
    ASSERT_EQ(names.size(), 1u);
    EXPECT_GT(playablePictures((disk / "RECORD" / names[0]).string()), 10);

    const SystemTime resume = p.clock.localTime();
    fs::remove(filler);
    p.feed(0.2, 25);
    p.drain();
    p.feed(0.8, 25);
    p.drain();
    EXPECT_FALSE(p.writer.stalled());
    p.stop();
    char expected[64];
    std::snprintf(expected, sizeof expected, "%04u%02u%02u%02u%02u%02u.avi", unsigned{resume.year},
                  unsigned{resume.month}, unsigned{resume.day}, unsigned{resume.hour},
                  unsigned{resume.minute}, unsigned{resume.second});
    ASSERT_TRUE(fs::exists(disk / "RECORD" / expected));
    EXPECT_GE(playablePictures((disk / "RECORD" / expected).string()), 20);
    EXPECT_EQ(boxes.requests.size(), 1u);
}

}  // namespace
}  // namespace vidora
