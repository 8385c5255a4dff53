// The AVI record writer behind the record encoder: files that ffprobe and ffmpeg read, cuts at
// key frames, names, the frame-rate correction, the folder limit and its policies, a crash.
#include "recording/avi_record_writer.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <fstream>
#include <thread>

#include "app/settings.h"
#include "platform/clock.h"
#include "record_pipeline.h"
#include "recording/record_encoder.h"
#include "test_support.h"

namespace vidora {
namespace {

using test::le32;
using test::Pipeline;

constexpr uint64_t kMiB = 1048576;

class AviRecordWriterTest : public ::testing::Test {
  protected:
    void SetUp() override { test::resetSettings(folder.path()); }

    std::string path(const std::string& name) const { return folder.file(name); }

    // Files the recording wrote (the ones not put there by the test).
    std::vector<std::string> recordings() const {
        std::vector<std::string> names;
        for (const std::string& n : folder.files()) {
            if (n.rfind("2020", 0) != 0)
                names.push_back(n);
        }
        return names;
    }

    void makeOldFile(const std::string& name, std::size_t bytes) {
        std::ofstream(path(name), std::ios::binary) << std::string(bytes, 'x');
    }

    static double number(const std::map<std::string, std::string>& m, const std::string& key) {
        auto it = m.find(key);
        return it == m.end() ? -1 : std::atof(it->second.c_str());
    }

    // Checks one recorded file and returns its number of pictures.
    int checkFile(const std::string& name, int width, int height) {
        SCOPED_TRACE(name);
        auto info = test::probe(path(name));
        EXPECT_EQ(info.count("error"), 0u) << info["error"];
        EXPECT_EQ(info["stream.0.codec_type"], "video");
        EXPECT_EQ(info["stream.0.codec_name"], "mpeg4");
        EXPECT_EQ(info["stream.0.codec_tag_string"], "MP4S");
        EXPECT_EQ(number(info, "stream.0.width"), width);
        EXPECT_EQ(number(info, "stream.0.height"), height);
        if (info.count("stream.1.codec_type")) {
            EXPECT_EQ(info["stream.1.codec_name"], "pcm_s16le");
            EXPECT_EQ(info["stream.1.sample_rate"], "48000");
            EXPECT_EQ(info["stream.1.channels"], "1");
            EXPECT_EQ(info["stream.1.bits_per_sample"], "16");
        }
        auto packets = test::probePackets(path(name));
        for (const auto& p : packets) {
            if (p.stream == 0) {
                EXPECT_TRUE(p.key) << "the file does not start with a key frame";
                break;
            }
        }
        int decoded = test::decodeVideoFrames(path(name));
        EXPECT_EQ(decoded, number(info, "stream.0.nb_frames"));
        return decoded;
    }

    test::TempFolder folder;
};

TEST_F(AviRecordWriterTest, RecordsFilesThatPlayersRead) {
    Pipeline p(folder.path(), 352, 288, 1);
    ASSERT_TRUE(p.start().ok());
    p.feed(4.0, 25);
    p.stop();
    EXPECT_EQ(p.encoder.encodedPictures(), 100u);

    ASSERT_EQ(recordings(), std::vector<std::string>{"20261206120000.avi"});
    auto info = test::probe(path("20261206120000.avi"));
    EXPECT_EQ(info["stream.0.r_frame_rate"], "25/1");
    EXPECT_EQ(info["stream.0.nb_frames"], "100");
    EXPECT_EQ(info["stream.1.nb_frames"], "192000");  // 4 s of samples in the header
    EXPECT_EQ(test::decodeSoundSamples(path("20261206120000.avi")), 192000);
    EXPECT_NEAR(number(info, "format.duration"), 4.0, 0.05);
    EXPECT_EQ(checkFile("20261206120000.avi", 352, 288), 100);

    // The next recording, later on, goes to a file of its own.
    p.clock.advanceMs(60000);
    ASSERT_TRUE(p.start().ok());
    p.feed(2.0, 25);
    p.stop();
    ASSERT_EQ(recordings().size(), 2u);
    EXPECT_EQ(recordings()[1], "20261206120104.avi");
    EXPECT_EQ(checkFile("20261206120104.avi", 352, 288), 50);
}

TEST_F(AviRecordWriterTest, SoundBeforeTheFirstPictureIsDropped) {
    Pipeline p(folder.path(), 352, 288, 3);
    ASSERT_TRUE(p.start().ok());
    p.feed(1.0, 25, false, true);  // sound only
    p.feed(2.0, 25);
    p.stop();
    ASSERT_EQ(recordings().size(), 1u);
    EXPECT_EQ(test::decodeSoundSamples(path(recordings()[0])), 96000);  // 2 s, not 3
    EXPECT_EQ(checkFile(recordings()[0], 176, 144), 50);
}

TEST_F(AviRecordWriterTest, SlowsTheVideoDownToLastAsLongAsTheSound) {
    // The sound's own rate counts: at 32 kHz as at 48 kHz, 60 s of sound are 60 s.
    int64_t later = 0;
    for (uint16_t rate : {uint16_t{48000}, uint16_t{32000}}) {
        SCOPED_TRACE(rate);
        {
            Pipeline p(folder.path(), 352, 288, 3, rate);
            p.clock.advanceMs(later);
            later += 3600000;
            ASSERT_TRUE(p.start().ok());
            p.feed(60.0, 15);  // 900 pictures at a nominal 25 per second, 60 s of sound
            p.stop();
            EXPECT_EQ(p.encoder.encodedPictures(), 900u);
        }
        const std::string file = path(recordings().back());
        EXPECT_EQ(le32(test::readFile(file), 132), 15u);
        auto info = test::probe(file);
        EXPECT_EQ(info["stream.0.r_frame_rate"], "15/1");
        EXPECT_NEAR(number(info, "stream.0.duration"), 60.0, 0.1);
        EXPECT_EQ(number(info, "stream.1.sample_rate"), rate);
        EXPECT_EQ(number(info, "stream.1.bit_rate"), rate * 16.0);   // mono, 16 bits
        EXPECT_EQ(number(info, "stream.1.nb_frames"), 60.0 * rate);  // samples in the header
        EXPECT_EQ(test::decodeSoundSamples(file), 60ll * rate);
    }
    ASSERT_EQ(recordings().size(), 2u);

    {
        Pipeline p(folder.path(), 352, 288, 3);
        p.clock.advanceMs(later);
        ASSERT_TRUE(p.start().ok());
        p.feed(60.0, 25);  // 1 500 pictures: nothing to correct
        p.stop();
        EXPECT_EQ(p.encoder.encodedPictures(), 1500u);
    }
    ASSERT_EQ(recordings().size(), 3u);
    EXPECT_EQ(le32(test::readFile(path(recordings()[2])), 132), 25u);
}

TEST_F(AviRecordWriterTest, CutsJustBeforeTheKeyFrameThatReachesTheFileSize) {
    const uint64_t maxBytes = 400 * 1024;
    Pipeline p(folder.path(), 352, 288, 1);
    ASSERT_TRUE(p.start(maxBytes).ok());
    p.feed(12.0, 25);
    p.stop();

    std::vector<std::string> files = recordings();
    ASSERT_GE(files.size(), 3u);
    int pictures = 0;
    std::vector<long long> payload(files.size());
    std::vector<long long> firstVideo(files.size());
    for (std::size_t i = 0; i < files.size(); ++i) {
        SCOPED_TRACE(files[i]);
        pictures += checkFile(files[i], 352, 288);
        auto packets = test::probePackets(path(files[i]));
        ASSERT_FALSE(packets.empty());
        EXPECT_EQ(packets[0].stream, 0);  // the key frame comes before any sound
        firstVideo[i] = packets[0].size;
        for (const auto& pk : packets) {
            // No key frame inside a file reaches the limit: it would have started a new file.
            if (pk.stream == 0 && pk.key && payload[i] > 0) {
                EXPECT_LT(static_cast<uint64_t>(payload[i] + pk.size), maxBytes);
            }
            payload[i] += pk.size;
        }
    }
    for (std::size_t i = 0; i + 1 < files.size(); ++i) {
        // The next file's first key frame would have taken this one to the limit.
        EXPECT_GE(static_cast<uint64_t>(payload[i] + firstVideo[i + 1]), maxBytes) << files[i];
        // ... and no more than a few pictures and a little sound after the last key frame.
        EXPECT_LT(static_cast<uint64_t>(payload[i]), maxBytes + 64 * 1024) << files[i];
    }
    EXPECT_EQ(pictures, static_cast<int>(p.encoder.encodedPictures()));
}

// The chunks of a closed file as its index lists them, in file order.
struct IndexedChunk {
    bool video = false;
    bool key = false;
    uint32_t bytes = 0;
};
std::vector<IndexedChunk> indexedChunks(const std::vector<uint8_t>& b) {
    std::vector<IndexedChunk> chunks;
    const std::size_t idx = AviFile::kMoviListOffset + 8 + le32(b, AviFile::kMoviListOffset + 4);
    if (idx + 8 > b.size() || test::tag(b, idx) != "idx1")
        return chunks;
    for (std::size_t at = idx + 8; at + 16 <= idx + 8 + le32(b, idx + 4); at += 16) {
        IndexedChunk c;
        c.video = test::tag(b, at).substr(2) == "dc";
        c.key = (le32(b, at + 4) & 0x10u) != 0;
        c.bytes = le32(b, at + 12);
        chunks.push_back(c);
    }
    return chunks;
}

// Whatever the maximum file size says (none, or more than 4 GiB), a file is cut at the first key
// frame that would take it to the AVI cut size (1 GiB less a margin for the pictures after that
// key frame; made small here).
TEST_F(AviRecordWriterTest, EveryFileIsCutBeforeTheAviLimit) {
    const uint64_t cutBytes = 300 * 1024;
    int64_t later = 0;
    for (uint64_t maxBytes : {uint64_t{0}, (uint64_t{4} << 30) + 100 * 1024}) {
        SCOPED_TRACE(maxBytes);
        const std::size_t before = recordings().size();
        Pipeline p(folder.path(), 352, 288, 1, 48000, cutBytes);
        p.clock.advanceMs(later);
        later += 3600000;
        ASSERT_TRUE(p.start(maxBytes).ok());
        p.feed(8.0, 25);
        p.stop();

        std::vector<std::string> all = recordings();
        std::vector<std::string> files(all.begin() + static_cast<std::ptrdiff_t>(before),
                                       all.end());
        ASSERT_GE(files.size(), 3u);
        int pictures = 0;
        uint64_t previousSize = 0;
        for (std::size_t i = 0; i < files.size(); ++i) {
            SCOPED_TRACE(files[i]);
            pictures += checkFile(files[i], 352, 288);
            const std::vector<uint8_t> bytes = test::readFile(path(files[i]));
            const std::vector<IndexedChunk> chunks = indexedChunks(bytes);
            ASSERT_FALSE(chunks.empty());
            ASSERT_TRUE(chunks[0].video && chunks[0].key);
            // The previous file ended because this key frame would have reached the cut size.
            if (i > 0) {
                EXPECT_GE(previousSize + chunks[0].bytes + 24, cutBytes);
            }
            // No key frame inside the file reached it: the file as it would have been closed
            // before that key frame (data so far, index), plus the frame's chunk and entry.
            uint64_t data = 2048;
            for (std::size_t k = 0; k < chunks.size(); ++k) {
                const uint64_t closedSize = data + 8 + 16 * k;
                if (k > 0 && chunks[k].video && chunks[k].key) {
                    EXPECT_LT(closedSize + chunks[k].bytes + 24, cutBytes) << "chunk " << k;
                }
                data += 8 + chunks[k].bytes + (chunks[k].bytes & 1u);
            }
            EXPECT_EQ(data + 8 + 16 * chunks.size(), bytes.size());
            previousSize = bytes.size();
        }
        EXPECT_EQ(pictures, static_cast<int>(p.encoder.encodedPictures()));
    }
}

TEST_F(AviRecordWriterTest, FilesCutWithinOneSecondKeepDistinctNamesInTimeOrder) {
    Pipeline p(folder.path(), 352, 288, 1);
    ASSERT_TRUE(p.start(24 * 1024).ok());
    p.feed(0.9, 25);  // all within 12:00:00
    p.stop();

    std::vector<std::string> files = recordings();
    ASSERT_GE(files.size(), 3u);
    EXPECT_EQ(files[0], "20261206120000.avi");
    EXPECT_EQ(files[1], "20261206120000_01.avi");
    EXPECT_EQ(files[2], "20261206120000_02.avi");
    // Name order is the order of writing: each file's pictures follow the previous file's.
    int pictures = 0;
    timespec previous{};
    for (const std::string& f : files) {
        pictures += checkFile(f, 352, 288);
        struct stat st {};
        ASSERT_EQ(::stat(path(f).c_str(), &st), 0);
        EXPECT_TRUE(
            st.st_mtim.tv_sec > previous.tv_sec ||
            (st.st_mtim.tv_sec == previous.tv_sec && st.st_mtim.tv_nsec >= previous.tv_nsec));
        previous = st.st_mtim;
    }
    EXPECT_EQ(pictures, static_cast<int>(p.encoder.encodedPictures()));
}

TEST_F(AviRecordWriterTest, StopAndNotifyRefusesAtTheLimitWithOneMessage) {
    test::MessageBoxRecorder boxes;
    gConfig.recordLimitMB = 10;
    gConfig.recordLimitPolicy = 2;
    gState.recordFolderMB = 10;
    Pipeline p(folder.path(), 352, 288, 3);
    const Result refused = p.start();
    EXPECT_FALSE(refused.ok());
    EXPECT_EQ(refused.reason(), "Total size of record files have exceeded the limit(10MB).");
    p.feed(1.0, 25);
    p.stop();
    ASSERT_EQ(boxes.requests.size(), 1u);
    EXPECT_EQ(boxes.requests[0].text, "Total size of record files have exceeded the limit(10MB).");
    EXPECT_EQ(boxes.requests[0].caption, "Vidora");
    EXPECT_EQ(boxes.requests[0].type, MB_ICONINFORMATION);
    EXPECT_TRUE(folder.files().empty());
}

TEST_F(AviRecordWriterTest, DeleteOldestMakesRoomAtStartOrRefusesSilently) {
    test::MessageBoxRecorder boxes;
    makeOldFile("20200101000000.avi", 700000);
    makeOldFile("20200102000000.avi", 700000);
    makeOldFile("20200103000000.avi", 700000);
    gConfig.recordLimitMB = 1;
    gConfig.recordLimitPolicy = 1;
    gState.recordFolderMB = 2;
    Pipeline p(folder.path(), 352, 288, 3);
    ASSERT_TRUE(p.start().ok());
    p.feed(1.0, 25);
    p.stop();
    std::vector<std::string> all = folder.files();
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[0], "20200103000000.avi");  // the two oldest are gone
    EXPECT_EQ(gState.recordFolderMB, 0u);     // 700 000 bytes
    checkFile(all[1], 176, 144);

    // A folder that cannot be listed gives no room: refused, and nobody is told.
    AviRecordWriter lost(folder.path() + "/missing", p.clock);
    gState.recordFolderMB = 5;
    const Result refused = lost.start();
    EXPECT_FALSE(refused.ok());
    EXPECT_EQ(refused.reason(),
              "no room for a recording in " + folder.path() + "/missing (not listed)");
    EXPECT_TRUE(boxes.requests.empty());
}

TEST_F(AviRecordWriterTest, DeleteOldestKeepsRecordingWithinTheLimit) {
    makeOldFile("20200101000000.avi", 300000);
    makeOldFile("20200102000000.avi", 300000);
    makeOldFile("20200103000000.avi", 300000);
    gConfig.recordLimitMB = 1;
    gConfig.recordLimitPolicy = 1;
    gState.recordFolderMB = 0;
    Pipeline p(folder.path(), 352, 288, 1);
    ASSERT_TRUE(p.start().ok());
    p.feed(6.0, 25);
    p.stop();

    EXPECT_FALSE(p.writer.endedAtLimit());
    std::vector<std::string> all = folder.files();
    EXPECT_EQ(std::count(all.begin(), all.end(), "20200101000000.avi"), 0);
    std::vector<std::string> files = recordings();
    ASSERT_GE(files.size(), 2u);
    uint64_t total = 0;
    for (const std::string& f : all)
        total += std::filesystem::file_size(path(f));
    uint64_t last = std::filesystem::file_size(path(files.back()));
    EXPECT_LE(total, kMiB + last);
    int pictures = 0;
    for (const std::string& f : files)
        pictures += checkFile(f, 352, 288);
    // Pictures between a cut at the limit and the next key frame cannot be stored.
    EXPECT_LE(pictures, static_cast<int>(p.encoder.encodedPictures()));
    EXPECT_GE(pictures,
              static_cast<int>(p.encoder.encodedPictures()) - 4 * static_cast<int>(files.size()));
}

TEST_F(AviRecordWriterTest, StopAndNotifyEndsTheWriterAtTheLimitAndDropsWhatFollows) {
    test::MessageBoxRecorder boxes;
    makeOldFile("20200101000000.avi", 900000);
    gConfig.recordLimitMB = 1;
    gConfig.recordLimitPolicy = 2;
    gState.recordFolderMB = 0;
    Pipeline p(folder.path(), 352, 288, 1);
    ASSERT_TRUE(p.start().ok());
    p.feed(4.0, 25);
    for (int i = 0; i < 400 && p.writer.threadRunning(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_FALSE(p.writer.threadRunning());
    EXPECT_TRUE(p.writer.endedAtLimit());
    EXPECT_GE(gState.recordFolderMB, 1u);  // the recording logic sees the limit at once

    uint64_t dropped = p.writer.droppedPackets();
    p.feed(2.0, 25);
    EXPECT_GT(p.writer.droppedPackets(), dropped);
    EXPECT_EQ(p.writer.queuedPackets(), 0u);  // nothing piles up
    p.stop();

    EXPECT_TRUE(boxes.requests.empty());  // telling the user is the recording logic's part
    std::vector<std::string> all = folder.files();
    EXPECT_EQ(all[0], "20200101000000.avi");
    ASSERT_EQ(recordings().size(), 1u);
    checkFile(recordings()[0], 352, 288);
}

TEST_F(AviRecordWriterTest, ALimitOfZeroIsNoLimit) {
    test::MessageBoxRecorder boxes;
    makeOldFile("20200101000000.avi", 1000);
    gConfig.recordLimitMB = 0;
    gConfig.recordLimitPolicy = 2;
    gState.recordFolderMB = 4000000;
    Pipeline p(folder.path(), 352, 288, 3);
    ASSERT_TRUE(p.start().ok());
    p.feed(1.0, 25);
    p.stop();
    EXPECT_TRUE(boxes.requests.empty());
    EXPECT_EQ(folder.files().size(), 2u);
    EXPECT_FALSE(p.writer.endedAtLimit());
}

// kill -9 during a recording: the closed files are whole, the open one reads up to the crash.
TEST_F(AviRecordWriterTest, AKilledRecordingKeepsItsFiles) {
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        Pipeline p(folder.path(), 352, 288, 1);
        if (!p.start(500 * 1024).ok())
            ::_exit(2);
        p.feed(10.0, 25);
        p.drain();
        ::raise(SIGKILL);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));

    std::vector<std::string> files = recordings();
    ASSERT_GE(files.size(), 2u);
    int pictures = 0;
    for (std::size_t i = 0; i < files.size(); ++i) {
        std::vector<uint8_t> bytes = test::readFile(path(files[i]));
        bool closed = i + 1 < files.size();
        EXPECT_EQ((le32(bytes, 44) & 0x10u) != 0, closed)
            << files[i];  // only closed ones have an index
        pictures += checkFile(files[i], 352, 288);
    }
    EXPECT_LE(pictures, 250);
    EXPECT_GE(pictures, 250 - 2 * 25);  // at most two seconds lost

    // Killed before the first file reached its second key frame: the file reads all the same.
    test::TempFolder early;
    child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        Pipeline p(early.path(), 352, 288, 1);
        if (!p.start().ok())
            ::_exit(2);
        p.feed(0.1, 25);  // three pictures: one key frame
        p.drain();
        ::raise(SIGKILL);
    }
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));
    ASSERT_EQ(early.files().size(), 1u);
    const std::string only = early.file(early.files()[0]);
    auto info = test::probe(only);
    EXPECT_EQ(info.count("error"), 0u) << info["error"];
    EXPECT_EQ(info["stream.0.codec_name"], "mpeg4");
    EXPECT_GE(test::decodeVideoFrames(only), 1);
}

// Pictures and sound from two streaming threads while recordings start and stop.
TEST_F(AviRecordWriterTest, StreamingThreadsAndStartStopRunTogether) {
    Pipeline p(folder.path(), 352, 288, 3);
    std::atomic<bool> run{true};
    std::thread pictures([&] {
        int n = 0;
        while (run.load()) {
            std::vector<uint8_t> picture = test::uyvyPicture(176, 144, n++);
            p.encoder.onPicture(picture.data(), picture.size());
            p.clock.advanceMs(40);
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    });
    std::thread sound([&] {
        std::size_t frames = 0;
        while (run.load()) {
            std::vector<uint8_t> block = test::stereoTone(1000, frames);
            frames += 1000;
            p.encoder.onSound(block.data(), block.size());
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    });
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(p.start().ok());
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        p.stop();
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    run = false;
    pictures.join();
    sound.join();
    std::vector<std::string> files = recordings();
    ASSERT_GE(files.size(), 3u);
    for (const std::string& f : files)
        EXPECT_GT(checkFile(f, 176, 144), 0);
}

}  // namespace
}  // namespace vidora
