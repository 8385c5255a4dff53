// The AVI file module: byte layout, index, limits, failed writes and crash-time headers.
#include "recording/avi_file.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "recording/disk_faults.h"
#include "test_support.h"

namespace vidora {
namespace {

using test::le16;
using test::le32;
using test::tag;

AviStreamInfo videoInfo() {
    AviStreamInfo info;
    info.type = fourcc("vids");
    info.scale = 1;
    info.rate = 25;
    info.frame[2] = 352;
    info.frame[3] = 288;
    return info;
}

AviStreamInfo audioInfo() {
    AviStreamInfo info;
    info.type = fourcc("auds");
    info.scale = 4;
    info.rate = 192000;
    info.quality = -1;
    info.sampleSize = 2;
    return info;
}

const uint8_t kBitmap[40] = {40, 0, 0, 0, 0x60, 1, 0,   0,   0x20, 1,
                             0,  0, 1, 0, 12,   0, 'M', 'P', '4',  'S'};
const uint8_t kWave[18] = {1, 0, 1, 0, 0x80, 0xBB, 0, 0, 0, 0x77, 1, 0, 2, 0, 16, 0, 0, 0};

// Walks the chunks of 'movi' and returns their ids and sizes.
std::vector<std::pair<std::string, uint32_t>> moviChunks(const std::vector<uint8_t>& b) {
    std::vector<std::pair<std::string, uint32_t>> chunks;
    std::size_t end = AviFile::kMoviListOffset + 8 + le32(b, AviFile::kMoviListOffset + 4);
    for (std::size_t at = AviFile::kMoviListOffset + 12; at + 8 <= end && at + 8 <= b.size();) {
        uint32_t size = le32(b, at + 4);
        chunks.emplace_back(tag(b, at), size);
        at += 8 + size + (size & 1);
    }
    return chunks;
}

TEST(AviFileTest, WritesTheRiffLayoutWithTheFirstRateAtByte132) {
    test::TempFolder folder;
    std::string path = folder.file("a.avi");
    AviFile file;
    ASSERT_TRUE(file.create(path));
    int v = file.createStream(videoInfo());
    ASSERT_EQ(v, 0);
    ASSERT_TRUE(file.setFormat(v, kBitmap, sizeof kBitmap));
    std::vector<uint8_t> s1(100, 1), s2(51, 2), s3(60, 3), pcm(512, 4);
    ASSERT_TRUE(file.writeSample(v, 0, s1.data(), 100, 1, true));
    ASSERT_TRUE(file.writeSample(v, 1, s2.data(), 51, 1, false));
    int a = file.createStream(audioInfo());  // a stream added after samples were written
    ASSERT_EQ(a, 1);
    ASSERT_TRUE(file.setFormat(a, kWave, sizeof kWave));
    ASSERT_TRUE(file.writeSample(a, 0, pcm.data(), 512, 256, true));
    ASSERT_TRUE(file.writeSample(v, 2, s3.data(), 60, 1, false));
    EXPECT_EQ(file.streamLength(v), 3u);
    EXPECT_EQ(file.streamLength(a), 256u);
    ASSERT_TRUE(file.close());

    std::vector<uint8_t> b = test::readFile(path);
    ASSERT_GT(b.size(), 2048u);
    EXPECT_EQ(tag(b, 0), "RIFF");
    EXPECT_EQ(le32(b, 4), b.size() - 8);
    EXPECT_EQ(tag(b, 8), "AVI ");
    EXPECT_EQ(tag(b, 12), "LIST");
    EXPECT_EQ(tag(b, 20), "hdrl");
    EXPECT_EQ(tag(b, 24), "avih");
    EXPECT_EQ(le32(b, 28), 56u);
    EXPECT_EQ(le32(b, 32), 40000u);         // microseconds per frame
    EXPECT_EQ(le32(b, 44) & 0x10u, 0x10u);  // has an index
    EXPECT_EQ(le32(b, 48), 3u);             // total frames
    EXPECT_EQ(le32(b, 56), 2u);             // streams
    EXPECT_EQ(le32(b, 64), 352u);
    EXPECT_EQ(le32(b, 68), 288u);
    // First stream: video.
    EXPECT_EQ(tag(b, 88), "LIST");
    EXPECT_EQ(tag(b, 96), "strl");
    EXPECT_EQ(tag(b, 100), "strh");
    EXPECT_EQ(tag(b, 108), "vids");
    EXPECT_EQ(le32(b, 112), 0u);  // no handler
    EXPECT_EQ(le32(b, 128), 1u);  // scale
    EXPECT_EQ(le32(b, AviFile::kFirstStreamRateOffset), 25u);
    EXPECT_EQ(le32(b, 140), 3u);    // length
    EXPECT_EQ(le32(b, 144), 100u);  // largest sample
    EXPECT_EQ(le16(b, 160), 352);
    EXPECT_EQ(le16(b, 162), 288);
    EXPECT_EQ(tag(b, 164), "strf");
    EXPECT_EQ(le32(b, 168), 40u);
    EXPECT_EQ(tag(b, 172 + 16), "MP4S");
    // Second stream: sound.
    EXPECT_EQ(tag(b, 212), "LIST");
    EXPECT_EQ(tag(b, 232), "auds");
    EXPECT_EQ(le32(b, 252), 4u);
    EXPECT_EQ(le32(b, 256), 192000u);
    EXPECT_EQ(le32(b, 264), 256u);
    EXPECT_EQ(le32(b, 272), 0xFFFFFFFFu);  // default quality
    EXPECT_EQ(le32(b, 276), 2u);
    EXPECT_EQ(le32(b, 292), 18u);
    EXPECT_EQ(le16(b, 296), 1);
    // Filler, then the data from byte 2048.
    EXPECT_EQ(tag(b, 314), "JUNK");
    EXPECT_EQ(tag(b, 2036), "LIST");
    EXPECT_EQ(tag(b, 2044), "movi");
    auto chunks = moviChunks(b);
    ASSERT_EQ(chunks.size(), 4u);
    EXPECT_EQ(chunks[0], std::make_pair(std::string("00dc"), 100u));
    EXPECT_EQ(chunks[1], std::make_pair(std::string("00dc"), 51u));  // padded to 52 in the file
    EXPECT_EQ(chunks[2], std::make_pair(std::string("01wb"), 512u));
    EXPECT_EQ(chunks[3], std::make_pair(std::string("00dc"), 60u));
    // The index after 'movi', offsets counted from the 'movi' fourcc.
    std::size_t idx = 2044 + le32(b, 2040);
    EXPECT_EQ(tag(b, idx), "idx1");
    EXPECT_EQ(le32(b, idx + 4), 64u);
    EXPECT_EQ(idx + 8 + 64, b.size());
    EXPECT_EQ(tag(b, idx + 8), "00dc");
    EXPECT_EQ(le32(b, idx + 12), 0x10u);
    EXPECT_EQ(le32(b, idx + 16), 4u);
    EXPECT_EQ(le32(b, idx + 20), 100u);
    EXPECT_EQ(le32(b, idx + 28), 0u);  // a predicted picture
    EXPECT_EQ(le32(b, idx + 32), 4u + 108u);
    EXPECT_EQ(tag(b, idx + 40), "01wb");
    EXPECT_EQ(le32(b, idx + 48), 4u + 108u + 60u);
}

TEST(AviFileTest, RefusesGapsExtraStreamsAndExistingFiles) {
    test::TempFolder folder;
    std::string path = folder.file("b.avi");
    AviFile file;
    ASSERT_TRUE(file.create(path));
    int v = file.createStream(videoInfo());
    ASSERT_EQ(file.createStream(audioInfo()), 1);
    EXPECT_EQ(file.createStream(audioInfo()), -1);
    uint8_t byte = 0;
    EXPECT_FALSE(file.writeSample(v, 1, &byte, 1, 1, true));  // position 0 comes first
    EXPECT_TRUE(file.writeSample(v, 0, &byte, 1, 1, true));
    file.setRate(v, 15);
    EXPECT_TRUE(file.close());
    EXPECT_EQ(le32(test::readFile(path), 132), 15u);

    AviFile again;
    EXPECT_FALSE(again.create(path));  // never replaces a file
    EXPECT_EQ(errno, EEXIST);
}

TEST(AviFileTest, NeverGrowsBeyondItsLimit) {
    test::TempFolder folder;
    std::string path = folder.file("c.avi");
    const uint64_t limit = 64 * 1024;
    AviFile file(limit);
    ASSERT_TRUE(file.create(path));
    int v = file.createStream(videoInfo());
    std::vector<uint8_t> sample(999, 7);
    uint64_t written = 0;
    while (file.writeSample(v, written, sample.data(), 999, 1, written == 0)) {
        ++written;
        ASSERT_LE(file.projectedSize(), limit);
    }
    EXPECT_GT(written, 50u);
    ASSERT_TRUE(file.close());
    std::vector<uint8_t> b = test::readFile(path);
    EXPECT_LE(b.size(), limit);
    EXPECT_EQ(le32(b, 4), b.size() - 8);
    EXPECT_EQ(moviChunks(b).size(), written);
}

// A file whose writer dies: the headers describe what was committed.
TEST(AviFileTest, HeadersAreCurrentAtEveryCommit) {
    test::TempFolder folder;
    std::string path = folder.file("d.avi");
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        AviFile file;
        if (!file.create(path))
            ::_exit(2);
        int v = file.createStream(videoInfo());
        std::vector<uint8_t> sample(1000, 1);
        for (int i = 0; i < 12; ++i) {
            if (i % 5 == 0)
                file.commit();
            file.writeSample(v, static_cast<uint64_t>(i), sample.data(), 1000, 1, i % 5 == 0);
        }
        ::raise(SIGKILL);  // pictures 10 and 11 are written but not committed
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));

    std::vector<uint8_t> b = test::readFile(path);
    EXPECT_EQ(le32(b, 48), 10u);   // total frames
    EXPECT_EQ(le32(b, 140), 10u);  // stream length
    EXPECT_EQ(le32(b, 4), 2048u + 10u * 1008u - 8u);
    EXPECT_EQ(moviChunks(b).size(), 10u);
    EXPECT_EQ(le32(b, 44) & 0x10u, 0u);  // no index yet
}

// A write that fails (the file system refuses to grow the file) leaves a consistent file.
TEST(AviFileTest, FailedWritesAreCutOffAgain) {
    test::TempFolder folder;
    std::string path = folder.file("e.avi");
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{50000, 50000};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        AviFile file;
        if (!file.create(path))
            ::_exit(2);
        int v = file.createStream(videoInfo());
        std::vector<uint8_t> sample(1500, 1);
        uint64_t n = 0;
        int failures = 0;
        for (int i = 0; i < 60; ++i) {
            if (file.writeSample(v, n, sample.data(), 1500, 1, true))
                ++n;
            if (i % 7 == 6 && !file.commit()) {
                ++failures;
                n = file.streamLength(v);  // what survived
            }
        }
        bool closed = file.close();
        ::_exit(failures > 0 && !closed ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);

    std::vector<uint8_t> b = test::readFile(path);
    ASSERT_LE(b.size(), 50000u);
    EXPECT_EQ(le32(b, 4), b.size() - 8);
    auto chunks = moviChunks(b);
    EXPECT_EQ(le32(b, 140), chunks.size());
    // What survived is whole, and its index (which fits below the limit) follows it.
    EXPECT_EQ(2048 + chunks.size() * 1508 + 8 + 16 * chunks.size(), b.size());
    EXPECT_EQ(le32(b, 44) & 0x10u, 0x10u);
    for (const auto& c : chunks)
        EXPECT_EQ(c.second, 1500u);
}

// The disk fills up under a file: the samples that do not reach it are cut off, and closing
// gives up as few of the last samples as it takes to write the index in their place.
TEST(AviFileTest, AFullDiskLeavesAnIndexedFileAndNoEmptyNewFile) {
    test::TempFolder folder;
    const std::string path = folder.file("full.avi");
    DiskFaults disk;
    disk.setFreeBytes(2048 + 40 * 1508);  // the header and 40 samples
    AviFile file(AviFile::kMaxFileBytes, &disk);
    ASSERT_TRUE(file.create(path));
    const int v = file.createStream(videoInfo());
    ASSERT_TRUE(file.setFormat(v, kBitmap, sizeof kBitmap));
    std::vector<uint8_t> sample(1500, 7);
    bool committed = true;
    for (uint64_t n = 0; n < 60 && committed; ++n) {
        ASSERT_TRUE(file.writeSample(v, n, sample.data(), 1500, 1, n % 5 == 0));
        if (n % 5 == 4)
            committed = file.commit();  // at every key frame, as the record writer does
    }
    EXPECT_FALSE(committed);
    EXPECT_EQ(file.lastError(), ENOSPC);
    EXPECT_EQ(file.streamLength(v), 40u) << "what reached the disk";
    EXPECT_FALSE(file.close());
    EXPECT_EQ(file.lastError(), ENOSPC);

    const std::vector<uint8_t> b = test::readFile(path);
    auto chunks = moviChunks(b);
    ASSERT_GE(chunks.size(), 30u);  // the index of 40 and 8 KiB to spare take at most 10
    EXPECT_LT(chunks.size(), 40u);
    EXPECT_EQ(le32(b, 44) & 0x10u, 0x10u) << "indexed";
    EXPECT_EQ(le32(b, 48), chunks.size());   // total frames
    EXPECT_EQ(le32(b, 140), chunks.size());  // the stream's length
    const std::size_t idx = 2048 + chunks.size() * 1508;
    EXPECT_EQ(tag(b, idx), "idx1");
    EXPECT_EQ(le32(b, idx + 4), 16 * chunks.size());
    EXPECT_EQ(b.size(), idx + 8 + 16 * chunks.size());
    EXPECT_EQ(le32(b, 4), b.size() - 8);
    auto info = test::probe(path);
    EXPECT_EQ(info.count("error"), 0u) << info["error"];
    EXPECT_EQ(info["stream.0.nb_frames"], std::to_string(chunks.size()));

    // On the full disk a new file cannot even take its header: nothing is left behind.
    disk.setFreeBytes(1000);
    EXPECT_FALSE(file.create(folder.file("next.avi")));
    EXPECT_EQ(file.lastError(), ENOSPC);
    EXPECT_FALSE(std::filesystem::exists(folder.file("next.avi")));
    EXPECT_EQ(disk.freeBytes(), std::optional<uint64_t>(1000));
}

}  // namespace
}  // namespace vidora
