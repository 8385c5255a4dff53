// Snapshots: names, the BMP layout, JPEGs that decode to the picture, the picture folder limit.
#include "recording/snapshot.h"

#include <gtest/gtest.h>

#include <sys/fsuid.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "app/settings.h"
#include "test_support.h"
#include "tests/support/jpeg_decoder.h"

namespace vidora {
namespace {

using test::le16;
using test::le32;

// Paints a picture that is red in its top half and blue in its bottom half as seen on screen
// (bitmap rows are stored bottom-up, pixels blue-green-red), with a green square top left.
StoredPicture twoColourPicture(int width, int height) {
    StoredPicture p(width, height);
    for (int row = 0; row < height; ++row) {
        int screenY = height - 1 - row;
        uint8_t* line = p.pixels() + p.rowStride() * static_cast<std::size_t>(row);
        for (int x = 0; x < width; ++x) {
            uint8_t b = 0, g = 0, r = 0;
            if (screenY < height / 2)
                r = 220;
            else
                b = 200;
            if (screenY < 64 && x < 64) {
                r = 0;
                g = 230;
            }
            line[3 * x] = b;
            line[3 * x + 1] = g;
            line[3 * x + 2] = r;
        }
    }
    return p;
}

// A JPEG as the JPEG library decodes it.
struct Decoded : test::RgbImage {
    // Mean of each channel over a rectangle.
    std::array<double, 3> mean(int x0, int y0, int x1, int y1) const {
        std::array<double, 3> sum{};
        for (int y = y0; y < y1; ++y) {
            for (int x = x0; x < x1; ++x) {
                for (int c = 0; c < 3; ++c)
                    sum[c] += rgb[(static_cast<std::size_t>(y) * width + x) * 3 + c];
            }
        }
        double n = static_cast<double>(x1 - x0) * (y1 - y0);
        return {sum[0] / n, sum[1] / n, sum[2] / n};
    }
};

Decoded decodeJpeg(const std::string& path) {
    return {test::decodeJpegFile(path)};
}

// A video transfer filter before its first picture: black pictures of the asked size.
class BlackSource : public StoredPictureSource {
  public:
    StoredPicture makeStoredPicture(int kind) override {
        kinds.push_back(kind);
        int w = kind == 1 ? 352 : 176;
        int h = kind == 3 ? 144 : 288;
        return StoredPicture(w, h);
    }
    std::vector<int> kinds;
};

class SnapshotTest : public ::testing::Test {
  protected:
    void SetUp() override { test::resetSettings(folder.path()); }
    test::TempFolder folder;
};

TEST_F(SnapshotTest, AutomaticNamesCountWithinTheSecond) {
    ManualClock clock(1796558400 + 3600 * 8 + 41 * 60 + 8);  // 2026-12-06 20:41:08
    std::string base = folder.path() + "/20261206-204108-";
    EXPECT_EQ(automaticPictureName(kPictureJpeg, clock), base + "00.jpg");
    EXPECT_EQ(automaticPictureName(kPictureJpeg, clock), base + "01.jpg");
    EXPECT_EQ(automaticPictureName(kPictureBmp, clock), base + "02.bmp");
    clock.advanceMs(1000);
    EXPECT_EQ(automaticPictureName(kPictureJpeg, clock), folder.path() + "/20261206-204109-00.jpg");
    EXPECT_EQ(automaticPictureName(7, clock), folder.path() + "/20261206-204109-01");

    // A folder stored with backslashes.
    std::snprintf(gConfig.pictureFolder, sizeof gConfig.pictureFolder, ".\\SNAPSHOT");
    clock.advanceMs(1000);
    EXPECT_EQ(automaticPictureName(kPictureBmp, clock), "./SNAPSHOT/20261206-204110-00.bmp");
}

TEST_F(SnapshotTest, BitmapFilesHaveTheWindowsLayout) {
    StoredPicture picture = twoColourPicture(352, 288);
    std::string file = folder.file("a.bmp");
    ASSERT_TRUE(writeBmpFile(picture, file));
    std::vector<uint8_t> b = test::readFile(file);
    ASSERT_EQ(b.size(), 304182u);  // 352 x 288 x 3 + 54
    EXPECT_EQ(b[0], 'B');
    EXPECT_EQ(b[1], 'M');
    EXPECT_EQ(le32(b, 2), 304182u);
    EXPECT_EQ(le16(b, 6), 0);
    EXPECT_EQ(le16(b, 8), 0);
    EXPECT_EQ(le32(b, 10), 54u);
    EXPECT_EQ(le32(b, 14), 40u);
    EXPECT_EQ(le32(b, 18), 352u);
    EXPECT_EQ(le32(b, 22), 288u);
    EXPECT_EQ(le16(b, 26), 1);
    EXPECT_EQ(le16(b, 28), 24);
    EXPECT_EQ(le32(b, 30), 0u);
    EXPECT_TRUE(std::equal(b.begin() + 14, b.end(), picture.data()));

    // Another reader agrees: ffprobe sees a 352 x 288 picture.
    auto info = test::probe(file);
    EXPECT_EQ(info["stream.0.codec_name"], "bmp");
    EXPECT_EQ(info["stream.0.width"], "352");
    EXPECT_EQ(info["stream.0.height"], "288");
}

TEST_F(SnapshotTest, JpegFilesDecodeToThePicture) {
    StoredPicture picture = twoColourPicture(720, 576);
    std::string file = folder.file("a.jpg");
    ASSERT_TRUE(writeJpegFile(picture, file, kJpegQuality));
    Decoded d = decodeJpeg(file);
    ASSERT_EQ(d.width, 720);
    ASSERT_EQ(d.height, 576);
    auto top = d.mean(100, 100, 700, 270);
    EXPECT_NEAR(top[0], 220, 6);
    EXPECT_NEAR(top[1], 0, 6);
    EXPECT_NEAR(top[2], 0, 6);
    auto bottom = d.mean(0, 300, 720, 576);
    EXPECT_NEAR(bottom[0], 0, 6);
    EXPECT_NEAR(bottom[1], 0, 6);
    EXPECT_NEAR(bottom[2], 200, 6);
    auto square = d.mean(8, 8, 56, 56);  // top left on screen
    EXPECT_NEAR(square[0], 0, 8);
    EXPECT_NEAR(square[1], 230, 8);
}

// A JPEG cut short (a disk that filled up under someone else's writer) reads as no picture: the
// decoder the tests share fails that one check instead of ending the whole test program.
TEST_F(SnapshotTest, ATruncatedJpegDecodesToNothing) {
    StoredPicture picture = twoColourPicture(176, 144);
    const std::string file = folder.file("whole.jpg");
    ASSERT_TRUE(writeJpegFile(picture, file, kJpegQuality));
    ASSERT_EQ(decodeJpeg(file).width, 176);
    const std::string cut = folder.file("cut.jpg");
    std::filesystem::copy_file(file, cut);
    std::filesystem::resize_file(cut, 200);
    EXPECT_TRUE(test::decodeJpegFile(cut).empty());
    EXPECT_TRUE(test::decodeJpegFile(folder.file("missing.jpg")).empty());
}

// Writing into a folder that cannot take the file: the result names the folder and the system's
// reason, the writers themselves show nothing, and no file stays behind.
class PictureFailureTest : public SnapshotTest {
  protected:
    // Writes `picture` as a BMP and as a JPEG to `folderPath`/name and expects both to fail with
    // the box text, leaving the folder's listing as it was.
    void expectBothFail(const std::string& folderPath, const StoredPicture& picture,
                        const std::string& text) {
        for (int format : {kPictureBmp, kPictureJpeg}) {
            SCOPED_TRACE(format == kPictureBmp ? "BMP" : "JPEG");
            const std::string path =
                folderPath + (format == kPictureBmp ? "/picture.bmp" : "/picture.jpg");
            const PictureWriteResult result = writePictureFile(&picture, format, path);
            EXPECT_FALSE(result);
            EXPECT_EQ(result.path, path);
            const auto box = pictureFailureBox(result);
            ASSERT_TRUE(box);
            EXPECT_EQ(box->text, text);
            EXPECT_EQ(box->caption, "Vidora");
            EXPECT_EQ(box->type, MB_OK | MB_ICONWARNING);
            EXPECT_FALSE(std::filesystem::exists(path));
        }
    }
    test::MessageBoxRecorder boxes;
};

// File-system checks made as an ordinary user for a while: root writes into read-only folders.
class UnprivilegedFileAccess {
  public:
    UnprivilegedFileAccess() {
        if (::geteuid() == 0)
            previous_ = ::setfsuid(65534);
    }
    ~UnprivilegedFileAccess() {
        if (previous_ >= 0)
            ::setfsuid(static_cast<uid_t>(previous_));
    }

  private:
    int previous_ = -1;
};

// A file size limit for a while: writes past `bytes` fail with EFBIG, the way a full disk fails
// part-way through a file.
class FileSizeLimit {
  public:
    explicit FileSizeLimit(rlim_t bytes) {
        previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        ::getrlimit(RLIMIT_FSIZE, &previous_);
        rlimit limit = previous_;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &previous_);
        std::signal(SIGXFSZ, previousHandler_);
    }

  private:
    rlimit previous_{};
    void (*previousHandler_)(int) = nullptr;
};

TEST_F(PictureFailureTest, AMissingFolderIsNamedWithTheSystemsReason) {
    const StoredPicture picture = twoColourPicture(64, 64);
    expectBothFail(
        folder.path() + "/missing", picture,
        "Cannot save the snapshot to " + folder.path() + "/missing: No such file or directory");

    // A relative folder is named from the root, as the user finds it.
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(folder.path());
    expectBothFail(
        "./SNAPSHOT", picture,
        "Cannot save the snapshot to " + folder.path() + "/SNAPSHOT: No such file or directory");
    std::filesystem::current_path(previous);
    EXPECT_TRUE(boxes.requests.empty()) << "the writers leave the telling to their callers";
}

TEST_F(PictureFailureTest, AReadOnlyFolderIsNamedWithTheSystemsReason) {
    namespace fs = std::filesystem;
    const std::string readOnly = folder.path() + "/read-only";
    fs::create_directory(readOnly);
    fs::permissions(folder.path(),
                    fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
    fs::permissions(readOnly, fs::perms::owner_read | fs::perms::owner_exec |
                                  fs::perms::group_exec | fs::perms::others_exec);
    {
        UnprivilegedFileAccess unprivileged;
        expectBothFail(readOnly, twoColourPicture(64, 64),
                       "Cannot save the snapshot to " + readOnly + ": Permission denied");
    }
    EXPECT_TRUE(fs::is_empty(readOnly));
    fs::permissions(readOnly, fs::perms::owner_all);
    EXPECT_TRUE(boxes.requests.empty());
}

TEST_F(PictureFailureTest, AFullDiskLeavesNoHalfWrittenFile) {
    // A device that is always full: the BMP's first write fails, the JPEG library's error handler
    // fires in the middle of a large picture and at the final flush of a small one. The device
    // is not a file of ours and stays.
    for (const StoredPicture& picture : {twoColourPicture(720, 576), twoColourPicture(8, 8)}) {
        for (int format : {kPictureBmp, kPictureJpeg}) {
            const PictureWriteResult result = writePictureFile(&picture, format, "/dev/full");
            EXPECT_FALSE(result);
            const auto box = pictureFailureBox(result);
            ASSERT_TRUE(box);
            EXPECT_EQ(box->text, "Cannot save the snapshot to /dev: No space left on device");
        }
    }
    EXPECT_TRUE(std::filesystem::is_character_file("/dev/full"));

    // A disk that fills part-way through the file: the part written is removed again, whether
    // the write fails in the middle (large pictures) or at the final flush (a small JPEG).
    for (const StoredPicture& picture : {twoColourPicture(720, 576), twoColourPicture(8, 8)}) {
        SCOPED_TRACE(picture.width());
        FileSizeLimit limit(200);
        expectBothFail(folder.path(), picture,
                       "Cannot save the snapshot to " + folder.path() + ": File too large");
    }
    EXPECT_TRUE(folder.files().empty());
    EXPECT_TRUE(boxes.requests.empty());
}

TEST_F(PictureFailureTest, TheJpegLibrarysOwnErrorsKeepItsMessage) {
    StoredPicture empty(0, 0);  // the library refuses an empty image
    const std::string path = folder.file("empty.jpg");
    const PictureWriteResult result = writeJpegFile(empty, path, 85);
    EXPECT_FALSE(result);
    const auto box = pictureFailureBox(result);
    ASSERT_TRUE(box);
    EXPECT_EQ(box->caption, "JPEG Fatal Error");
    EXPECT_EQ(box->type, MB_OK | MB_ICONERROR);
    EXPECT_NE(box->text.find("Empty JPEG image"), std::string::npos) << box->text;
    EXPECT_TRUE(folder.files().empty()) << "the file it had begun is gone";

    // No picture, or a format that writes nothing: nothing to tell.
    EXPECT_FALSE(writePictureFile(nullptr, kPictureJpeg));
    EXPECT_FALSE(pictureFailureBox(writePictureFile(nullptr, kPictureJpeg)));
    const StoredPicture picture = twoColourPicture(64, 64);
    EXPECT_TRUE(writePictureFile(&picture, 3, folder.file("other")));
    EXPECT_FALSE(std::filesystem::exists(folder.file("other")));
    EXPECT_TRUE(boxes.requests.empty());
}

TEST_F(SnapshotTest, APictureBeforeTheFirstFrameIsBlackButStampedAndWritten) {
    gConfig.pictureSize = kPictureFull;
    gConfig.pictureFormat = kPictureBmp;
    BlackSource source;
    test::RecordingStamp stamp;
    stamp.mark = true;
    std::optional<StoredPicture> picture = takeSnapshotPicture(source, stamp);
    ASSERT_TRUE(picture);
    EXPECT_EQ(source.kinds, std::vector<int>{1});
    ASSERT_EQ(stamp.calls.size(), 1u);
    EXPECT_EQ(stamp.calls[0].width, 352);
    EXPECT_EQ(stamp.calls[0].height, 288);
    EXPECT_EQ(stamp.calls[0].compression, 0u);
    EXPECT_EQ(stamp.calls[0].rowStride, 352 * 3);

    ManualClock clock;
    ASSERT_TRUE(writePictureFile(&*picture, kPictureBmp, std::nullopt, clock));
    ASSERT_EQ(folder.files(), std::vector<std::string>{"20261206-120000-00.bmp"});
    std::vector<uint8_t> b = test::readFile(folder.file("20261206-120000-00.bmp"));
    ASSERT_EQ(b.size(), 304182u);
    EXPECT_EQ(b[54], 0xFF);  // the stamp's mark
    EXPECT_EQ(b[54 + 11], 0xFF);
    EXPECT_TRUE(std::all_of(b.begin() + 54 + 12, b.end(), [](uint8_t v) { return v == 0; }));

    gConfig.pictureSize = kPictureHalfSize;
    picture = takeSnapshotPicture(source, stamp);
    ASSERT_TRUE(picture);
    EXPECT_EQ(source.kinds.back(), 3);
    ASSERT_TRUE(writePictureFile(&*picture, kPictureJpeg, std::nullopt, clock));
    Decoded d = decodeJpeg(folder.file("20261206-120000-01.jpg"));
    EXPECT_EQ(d.width, 176);
    EXPECT_EQ(d.height, 144);
}

TEST_F(SnapshotTest, PictureFolderLimitAndPolicies) {
    test::MessageBoxRecorder boxes;
    BlackSource source;

    // Stop and notify: told at every attempt, nothing taken.
    gConfig.pictureLimitMB = 1;
    gConfig.pictureLimitPolicy = 2;
    gState.pictureFolderMB = 1;
    EXPECT_FALSE(takeSnapshotPicture(source));
    EXPECT_FALSE(takeSnapshotPicture(source));
    ASSERT_EQ(boxes.requests.size(), 2u);
    EXPECT_EQ(boxes.requests[1].text, "Total size of picture files have exceeded the limit(1MB).");
    EXPECT_EQ(boxes.requests[1].caption, "Vidora");
    EXPECT_EQ(boxes.requests[1].type, MB_ICONINFORMATION);
    EXPECT_TRUE(source.kinds.empty());

    // Delete oldest: down to the limit, then the picture is taken.
    for (const char* name :
         {"20261201-080000-00.jpg", "20261202-080000-00.jpg", "20261203-080000-00.jpg"}) {
        std::ofstream(folder.file(name), std::ios::binary) << std::string(700000, 'j');
    }
    gConfig.pictureLimitPolicy = 1;
    gState.pictureFolderMB = 2;
    EXPECT_TRUE(takeSnapshotPicture(source));
    EXPECT_EQ(folder.files(), std::vector<std::string>{"20261203-080000-00.jpg"});
    EXPECT_EQ(gState.pictureFolderMB, 0u);

    // A picture folder that cannot be listed gives nothing.
    std::snprintf(gConfig.pictureFolder, sizeof gConfig.pictureFolder, "%s/missing",
                  folder.path().c_str());
    gState.pictureFolderMB = 5;
    EXPECT_FALSE(takeSnapshotPicture(source));

    // No limit.
    gConfig.pictureLimitMB = 0;
    gConfig.pictureLimitPolicy = 2;
    EXPECT_TRUE(takeSnapshotPicture(source));
    EXPECT_EQ(boxes.requests.size(), 2u);
}

}  // namespace
}  // namespace vidora
