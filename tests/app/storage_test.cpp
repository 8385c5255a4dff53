#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

#include "app/settings.h"
#include "app/storage.h"
#include "platform/relaxed.h"
#include "tests/app/temp_dir.h"

using namespace vidora;
namespace fs = std::filesystem;

namespace {

void makeFile(const fs::path& path, uint64_t size) {
    std::ofstream(path, std::ios::binary).flush();
    // Sparse files make big sizes cheap.
    ASSERT_EQ(::truncate(path.c_str(), static_cast<off_t>(size)), 0) << path;
}

template <class Pred>
bool waitFor(Pred pred, std::chrono::milliseconds limit) {
    auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        if (pred())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return pred();
}

// Waits until the watcher follows `folder`, with its watch set or not.
bool follows(const FolderWatcher& watcher, const std::string& folder, bool watching) {
    const FolderWatcher::WatchState wanted{folder, watching};
    return waitFor([&] { return watcher.watchState() == wanted; }, std::chrono::seconds(5));
}

}  // namespace

TEST(Storage, FolderSizeCountsFilesOnlyInWholeMegabytes) {
    test::ScopedTempDir dir;
    fs::create_directory("REC");
    makeFile("REC/a.avi", 1500000);
    makeFile("REC/b.avi", 600000);
    fs::create_directory("REC/sub");
    makeFile("REC/sub/big.avi", 50 * 1048576ull);
    fs::create_symlink("sub/big.avi", "REC/link.avi");
    EXPECT_EQ(folderSizeMB("REC"), 2u) << "2 100 000 bytes, subfolders and links not counted";
    EXPECT_EQ(folderSizeMB("missing"), 0u);
    // A Windows-written folder name with backslashes names the same folder.
    EXPECT_EQ(folderSizeMB(".\\REC"), 2u);
}

TEST(Storage, RecordFolderScanSetsHasFiles) {
    test::ScopedTempDir dir;
    fs::create_directory("REC");
    std::strcpy(gConfig.recordFolder, "REC");
    storeRelaxed(gState.recordFolderHasFiles, 1);
    folderSizeMB("REC");
    EXPECT_EQ(gState.recordFolderHasFiles, 0);
    makeFile("REC/x.avi", 10);
    folderSizeMB("REC");
    EXPECT_EQ(gState.recordFolderHasFiles, 1);
    // Another folder never touches the flag.
    fs::create_directory("OTHER");
    folderSizeMB("OTHER");
    EXPECT_EQ(gState.recordFolderHasFiles, 1);
}

TEST(Storage, DeletesOldestFirstDownToTheLimit) {
    test::ScopedTempDir dir;
    fs::create_directory("REC");
    makeFile("REC/20261203080000.avi", 700000);
    makeFile("REC/20261201080000.avi", 700000);
    makeFile("REC/20261202080000.avi", 700000);
    makeFile("REC/.hidden", 10);  // sorts first, deleted like the others
    fs::create_directory("REC/0000-subfolder");
    makeFile("REC/0000-subfolder/inside.avi", 5000000);
    makeFile("elsewhere.avi", 5000000);
    fs::create_symlink("../elsewhere.avi", "REC/0001-link.avi");

    DeleteResult r = deleteOldestFiles("REC", 1);
    EXPECT_TRUE(r.listed);
    EXPECT_EQ(r.totalBytes, 700000u);
    EXPECT_EQ(r.totalMB(), 0u) << "under 1 MB is still a success: listed tells them apart";
    EXPECT_FALSE(fs::exists("REC/.hidden"));
    EXPECT_FALSE(fs::exists("REC/20261201080000.avi"));
    EXPECT_FALSE(fs::exists("REC/20261202080000.avi"));
    EXPECT_TRUE(fs::exists("REC/20261203080000.avi"));
    EXPECT_TRUE(fs::exists("REC/0000-subfolder/inside.avi")) << "subfolders are never deleted";
    EXPECT_TRUE(fs::is_symlink("REC/0001-link.avi")) << "deleting a link frees nothing";

    DeleteResult missing = deleteOldestFiles("NOPE", 1);
    EXPECT_FALSE(missing.listed);
    EXPECT_EQ(missing.totalMB(), 0u);
}

TEST(Storage, SizesAndLimitAre64Bit) {
    test::ScopedTempDir dir;
    fs::create_directory("REC");
    // 5 GiB in five files under the default 5120 MB limit: nothing may go.
    for (int i = 0; i < 5; ++i) {
        makeFile(fs::path("REC") / ("2026120" + std::to_string(i + 1) + "080000.avi"), 1ull << 30);
    }
    DeleteResult r = deleteOldestFiles("REC", 5120);
    EXPECT_TRUE(r.listed);
    EXPECT_EQ(r.totalBytes, 5ull << 30);
    EXPECT_EQ(r.totalMB(), 5120u);
    EXPECT_EQ(std::distance(fs::directory_iterator("REC"), fs::directory_iterator()), 5);
    EXPECT_EQ(folderSizeMB("REC"), 5120u);
    // At 4096 MB exactly one file goes.
    r = deleteOldestFiles("REC", 4096);
    EXPECT_EQ(r.totalMB(), 4096u);
    EXPECT_FALSE(fs::exists("REC/20261201080000.avi"));
}

TEST(FolderWatcherTest, KeepsTheTotalCurrentAndFollowsANewFolder) {
    test::ScopedTempDir dir;
    fs::create_directory("A");
    fs::create_directory("B");
    makeFile("B/old.avi", 3 * 1048576);
    uint32_t total = 0;
    std::atomic<int> notices{0};
    FolderWatcherTiming fast;
    fast.wait = std::chrono::milliseconds(200);
    fast.settle = std::chrono::milliseconds(50);
    fast.retry = std::chrono::milliseconds(100);
    FolderWatcher watcher(
        &total, "A", [&] { ++notices; }, fast);
    watcher.start();
    ASSERT_TRUE(follows(watcher, "A", true));
    makeFile("A/one.avi", 2 * 1048576);
    EXPECT_TRUE(waitFor([&] { return loadRelaxed(total) == 2u; }, std::chrono::seconds(5)));
    EXPECT_GE(notices.load(), 1);

    watcher.setFolder("B");
    ASSERT_TRUE(follows(watcher, "B", true));
    makeFile("B/new.avi", 1048576);
    EXPECT_TRUE(waitFor([&] { return loadRelaxed(total) == 4u; }, std::chrono::seconds(5)));

    // A folder that does not exist yet is picked up once it appears.
    watcher.setFolder("C");
    ASSERT_TRUE(follows(watcher, "C", false));
    fs::create_directory("C");
    ASSERT_TRUE(follows(watcher, "C", true));
    makeFile("C/c.avi", 5 * 1048576);
    EXPECT_TRUE(waitFor([&] { return loadRelaxed(total) == 5u; }, std::chrono::seconds(5)));

    // The folder goes away and comes back: the watcher waits for it and follows it again.
    fs::remove_all("C");
    EXPECT_TRUE(waitFor([&] { return loadRelaxed(total) == 0u; }, std::chrono::seconds(5)));
    ASSERT_TRUE(follows(watcher, "C", false));
    fs::create_directory("C");
    ASSERT_TRUE(follows(watcher, "C", true));
    makeFile("C/again.avi", 6 * 1048576);
    EXPECT_TRUE(waitFor([&] { return loadRelaxed(total) == 6u; }, std::chrono::seconds(5)));
    watcher.stop();
    EXPECT_FALSE(watcher.running());
}

// The folder itself going away (removed or moved) is told at once, long before the watcher's
// settling time is over; changes of its files are not.
TEST(FolderWatcherTest, TellsAtOnceWhenTheFolderItselfGoesAway) {
    test::ScopedTempDir dir;
    uint32_t total = 0;
    std::atomic<int> gone{0};
    std::atomic<int> notices{0};
    FolderWatcherTiming slow;
    slow.wait = std::chrono::milliseconds(2000);
    slow.settle = std::chrono::milliseconds(4000);
    slow.retry = std::chrono::milliseconds(100);
    fs::create_directory("REC");
    FolderWatcher watcher(
        &total, "REC", [&] { ++notices; }, slow);
    watcher.setGoneNotice([&] { ++gone; });
    watcher.start();
    ASSERT_TRUE(follows(watcher, "REC", true));

    // A file being written, then the folder removed with it while the watcher still settles.
    int fd = ::open("REC/20261206120000.avi", O_WRONLY | O_CREAT, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::write(fd, "RIFF", 4), 4);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(gone.load(), 0) << "a new file is no folder going away";
    const auto removed = std::chrono::steady_clock::now();
    fs::remove_all("REC");
    EXPECT_TRUE(waitFor([&] { return gone.load() == 1; }, std::chrono::milliseconds(1500)));
    EXPECT_LT(std::chrono::steady_clock::now() - removed, std::chrono::milliseconds(1500));
    ::close(fd);
    EXPECT_TRUE(waitFor([&] { return notices.load() >= 1; }, std::chrono::seconds(3)));
    EXPECT_EQ(loadRelaxed(total), 0u);

    // It comes back and is moved away: told again, at once.
    ASSERT_TRUE(follows(watcher, "REC", false));
    fs::create_directory("REC");
    ASSERT_TRUE(follows(watcher, "REC", true));
    const auto moved = std::chrono::steady_clock::now();
    fs::rename("REC", "OLD");
    EXPECT_TRUE(waitFor([&] { return gone.load() == 2; }, std::chrono::milliseconds(1500)));
    EXPECT_LT(std::chrono::steady_clock::now() - moved, std::chrono::milliseconds(1500));
    watcher.stop();
}
