// Recording and snapshots through the engine's bus commands on the simulated receiver: the AVI
// files and pictures a user finds in the folders.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <filesystem>
#include <map>
#include <set>

#include "engine/osd_stamp.h"
#include "programs/modules.h"
#include "tests/recwire/sim_fixture.h"

namespace vidora {
namespace {

using Steady = std::chrono::steady_clock;
using namespace test;

struct DecodedPicture {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb;
};

// The picture as ffmpeg decodes it (RGB, top row first).
DecodedPicture decodePicture(const std::string& path) {
    DecodedPicture p;
    auto values = probe(path);
    p.width = static_cast<int>(number(values, "stream.0.width"));
    p.height = static_cast<int>(number(values, "stream.0.height"));
    const std::string raw = path + ".rgb";
    CommandResult r = run("ffmpeg -nostdin -v error -y -i " + quoted(path) +
                          " -f rawvideo -pix_fmt rgb24 " + quoted(raw) + " 2>&1");
    if (r.status == 0)
        p.rgb = readFile(raw);
    std::remove(raw.c_str());
    return p;
}

// True when `name` has the pattern's length, a digit wherever the pattern has 'D' and the
// pattern's own character everywhere else.
bool matchesPattern(const std::string& name, const std::string& pattern) {
    if (name.size() != pattern.size())
        return false;
    for (std::size_t i = 0; i < name.size(); ++i) {
        const bool digit = name[i] >= '0' && name[i] <= '9';
        if (pattern[i] == 'D' ? !digit : name[i] != pattern[i])
            return false;
    }
    return true;
}

std::string baseName(const std::string& path) {
    return std::filesystem::path(path).filename().string();
}

void writeFileOfSize(const std::string& path, std::size_t bytes) {
    std::ofstream out(path, std::ios::binary);
    std::vector<char> zeros(bytes, 1);
    out.write(zeros.data(), static_cast<std::streamsize>(zeros.size()));
}

class RecordingWireTest : public SimEngineFixture {};

TEST_F(RecordingWireTest, RecordStartAndStopGiveAPlayableFileOfTheRecordedLengthAndSound) {
    // 12000 + 10000 fits in 16 bits: the sound is recorded as heard, without clipping.
    sim->setToneAmplitudes(12000, 10000);
    registerEngine();
    startApp();
    ASSERT_TRUE(picturesFlow());

    const auto t0 = Steady::now();
    ASSERT_EQ(sendMessage(ENG_RECORD_START), 0);
    EXPECT_EQ(loadRelaxed(gState.recordingOn), 1);
    // (The record folder's watcher sends the notice too, whenever the folder changes.)
    const int notices = ui.count(NTF_RECORD_STATE);
    EXPECT_GE(notices, 1);
    EXPECT_EQ(sendMessage(ENG_RECORD_START), -1) << "already recording";
    pumpFor(3000);
    sendMessage(ENG_RECORD_STOP);
    const double elapsed = std::chrono::duration<double>(Steady::now() - t0).count();
    EXPECT_EQ(loadRelaxed(gState.recordingOn), 0);
    EXPECT_GT(ui.count(NTF_RECORD_STATE), notices);

    auto files = filesEndingWith(folder, ".avi");
    ASSERT_EQ(files.size(), 1u);
    EXPECT_TRUE(matchesPattern(baseName(files[0]), "DDDDDDDDDDDDDD.avi")) << files[0];
    auto values = probe(files[0]);
    ASSERT_EQ(values.count("error"), 0u) << values["error"];
    EXPECT_EQ(values["stream.0.codec_name"], "mpeg4");
    EXPECT_EQ(values["stream.0.width"], "360");
    EXPECT_EQ(values["stream.0.height"], "288");
    EXPECT_EQ(values["stream.1.codec_name"], "pcm_s16le");
    EXPECT_EQ(values["stream.1.sample_rate"], "48000");
    EXPECT_EQ(values["stream.1.channels"], "1");

    // The pictures last as long as the sound, within one picture, and as long as the user
    // recorded (less the time the first picture takes to arrive).
    const double frames = number(values, "stream.0.nb_frames");
    const std::string rate = values["stream.0.r_frame_rate"];
    const double fps =
        std::atof(rate.c_str()) / std::max(1.0, std::atof(rate.c_str() + rate.find('/') + 1));
    ASSERT_GT(frames, 0);
    ASSERT_GT(fps, 0);
    const double videoSeconds = frames / fps;
    const std::vector<int16_t> sound = decodedSound(files[0]);
    const double soundSeconds = static_cast<double>(sound.size()) / sim::kSampleRate;
    EXPECT_NEAR(videoSeconds, soundSeconds, 1.0 / fps + 0.025);
    EXPECT_NEAR(videoSeconds, elapsed, 0.7);
    EXPECT_EQ(decodeVideoFrames(files[0]), static_cast<int>(frames));

    // Every recorded sample is l + r of the first camera's tone, the mix the user hears.
    std::set<int> expected;
    const int period = sim::kSampleRate / sim::SimulatedReceiver::toneFrequencyHz(0);
    for (int i = 0; i < period; ++i) {
        auto s = sim::SimulatedReceiver::toneSample(0, i, 12000, 10000);
        expected.insert(s[0] + s[1]);
    }
    ASSERT_GT(sound.size(), static_cast<std::size_t>(sim::kSampleRate));
    std::size_t outside = 0;
    for (int16_t v : sound)
        outside += expected.count(v) == 0;
    EXPECT_EQ(outside, 0u);
    EXPECT_EQ(*std::max_element(sound.begin(), sound.end()), *expected.rbegin());
    EXPECT_EQ(*std::min_element(sound.begin(), sound.end()), *expected.begin());
    EXPECT_TRUE(shownMessages().empty());
}

TEST_F(RecordingWireTest, NewRecordSettingsRestartTheRecordingAndStorageSettingsReachTheWriter) {
    registerEngine();
    startApp();
    ASSERT_TRUE(picturesFlow());

    ASSERT_EQ(sendMessage(ENG_RECORD_START), 0);
    pumpFor(1500);
    gConfig.recordImageSize = 1;
    gConfig.recordFps = 5;
    sendMessage(ENG_SETTINGS_CHANGED);
    EXPECT_EQ(loadRelaxed(gState.recordingOn), 1);
    pumpFor(1500);

    // A new record folder takes effect from the next recording on.
    TempFolder second;
    storeSetting(&VidoraConfig::recordFolder, second.path());
    sendMessage(ENG_SETTINGS_CHANGED);
    pumpFor(1200);
    sendMessage(ENG_RECORD_STOP);
    ASSERT_EQ(sendMessage(ENG_RECORD_START), 0);
    pumpFor(1200);
    sendMessage(ENG_RECORD_STOP);

    auto files = filesEndingWith(folder, ".avi");
    ASSERT_EQ(files.size(), 2u);
    auto before = probe(files[0]);
    auto after = probe(files[1]);
    EXPECT_EQ(before["stream.0.width"], "360");
    EXPECT_EQ(before["stream.0.height"], "288");
    EXPECT_EQ(before["stream.0.r_frame_rate"], "10/1");
    EXPECT_EQ(after["stream.0.width"], "720");
    EXPECT_EQ(after["stream.0.height"], "576");
    EXPECT_EQ(after["stream.0.r_frame_rate"], "5/1");
    // Each stream announces a level that holds its picture size (Advanced Simple Profile).
    EXPECT_EQ(before["stream.0.profile"], "Advanced Simple Profile");
    EXPECT_EQ(before["stream.0.level"], "4");
    EXPECT_EQ(after["stream.0.level"], "5");
    EXPECT_GT(decodeVideoFrames(files[0]), 0);
    EXPECT_GT(decodeVideoFrames(files[1]), 0);

    auto moved = filesEndingWith(second, ".avi");
    ASSERT_EQ(moved.size(), 1u);
    EXPECT_EQ(probe(moved[0])["stream.0.width"], "720");
    EXPECT_GT(decodeVideoFrames(moved[0]), 0);
}

TEST_F(RecordingWireTest, ASnapshotBeforeTheFirstPictureIsBlackButStampedAndWritten) {
    TempFolder pictures;
    std::snprintf(gConfig.pictureFolder, sizeof gConfig.pictureFolder, "%s",
                  pictures.path().c_str());
    gConfig.pictureFormat = 1;
    gConfig.pictureSize = 3;
    // The picture stream breaks before its first picture: none ever arrives.
    sim->failStream();
    registerEngine();
    startApp();
    bridge().setPictureStamp(osdPictureStamp());  // as the programs have it
    sendMessage(ENG_SNAPSHOT);
    auto black = filesEndingWith(pictures, ".jpg");
    ASSERT_EQ(black.size(), 1u);
    DecodedPicture first = decodePicture(black[0]);
    EXPECT_EQ(first.width, 360);
    EXPECT_EQ(first.height, 288);
    ASSERT_EQ(first.rgb.size(), 360u * 288 * 3);
    EXPECT_EQ(window.pictures.load(), 0);

    // Brightest value in a rectangle of the decoded picture (top row first).
    auto brightest = [&](int x0, int y0, int x1, int y1) {
        int most = 0;
        for (int y = y0; y < y1; ++y) {
            for (int x = x0; x < x1; ++x) {
                const uint8_t* px = &first.rgb[(static_cast<std::size_t>(y) * 360 + x) * 3];
                most = std::max({most, int{px[0]}, int{px[1]}, int{px[2]}});
            }
        }
        return most;
    };
    // White text: the channel label from column 300, row 10, and the date and time from
    // column 210, row 263; black everywhere else (away from the blocks the text touches).
    EXPECT_GT(brightest(300, 10, 360, 40), 200);
    EXPECT_GT(brightest(210, 263, 360, 288), 200);
    EXPECT_LE(brightest(0, 0, 200, 288), 2);
    EXPECT_LE(brightest(0, 40, 360, 256), 2);
}

TEST_F(RecordingWireTest, SnapshotsAreNamedByTheirTimeAndHaveThePictureSize) {
    TempFolder pictures;
    std::snprintf(gConfig.pictureFolder, sizeof gConfig.pictureFolder, "%s",
                  pictures.path().c_str());
    registerEngine();
    startApp();
    gConfig.pictureFormat = 1;
    ASSERT_TRUE(picturesFlow());
    for (int size : {1, 2, 3}) {
        gConfig.pictureSize = size;
        sendMessage(ENG_SNAPSHOT);
    }
    gConfig.pictureFormat = 2;
    gConfig.pictureSize = 1;
    sendMessage(ENG_SNAPSHOT);

    auto names = pictures.files();
    ASSERT_EQ(names.size(), 4u);
    const std::time_t now = std::time(nullptr);
    for (const auto& name : names) {
        ASSERT_TRUE(matchesPattern(name, "DDDDDDDD-DDDDDD-DD.jpg") ||
                    matchesPattern(name, "DDDDDDDD-DDDDDD-DD.bmp"))
            << name;
        std::tm t{};
        ASSERT_NE(strptime((name.substr(0, 8) + name.substr(9, 6)).c_str(), "%Y%m%d%H%M%S", &t),
                  nullptr);
        EXPECT_LE(std::abs(static_cast<long>(timegm(&t) - now)), 5L) << name;
    }
    // Within one second the counter goes on; it starts at 00 in every new second.
    for (std::size_t i = 1; i < names.size(); ++i) {
        const std::string second = names[i].substr(0, 15);
        const int counter = std::atoi(names[i].substr(16, 2).c_str());
        const bool sameSecond = second == names[i - 1].substr(0, 15);
        EXPECT_EQ(counter, sameSecond ? std::atoi(names[i - 1].substr(16, 2).c_str()) + 1 : 0)
            << names[i];
    }

    std::vector<std::pair<int, int>> sizes;
    std::string bmp;
    for (const auto& name : names) {
        if (name.ends_with(".bmp")) {
            bmp = pictures.file(name);
            continue;
        }
        DecodedPicture p = decodePicture(pictures.file(name));
        sizes.emplace_back(p.width, p.height);
        // The moving scene, not a black picture.
        EXPECT_GT(*std::max_element(p.rgb.begin(), p.rgb.end()), 100) << name;
    }
    // Sorted by name they are in the order taken.
    EXPECT_EQ(sizes, (std::vector<std::pair<int, int>>{{720, 576}, {360, 576}, {360, 288}}));
    ASSERT_FALSE(bmp.empty());
    auto bytes = readFile(bmp);
    ASSERT_EQ(bytes.size(), 720u * 576 * 3 + 54);
    EXPECT_EQ(tag(bytes, 0).substr(0, 2), "BM");
    EXPECT_EQ(le32(bytes, 18), 720u);
    EXPECT_EQ(le32(bytes, 22), 576u);
    DecodedPicture decodedBmp = decodePicture(bmp);
    EXPECT_EQ(decodedBmp.width, 720);
    EXPECT_EQ(decodedBmp.height, 576);
    EXPECT_TRUE(shownMessages().empty());
}

TEST_F(RecordingWireTest, SnapshotsKeepThePictureFolderLimit) {
    TempFolder pictures;
    std::snprintf(gConfig.pictureFolder, sizeof gConfig.pictureFolder, "%s",
                  pictures.path().c_str());
    writeFileOfSize(pictures.file("20200101-000000-00.jpg"), 700000);
    writeFileOfSize(pictures.file("20200101-000001-00.jpg"), 700000);
    gConfig.pictureLimitMB = 1;
    gConfig.pictureLimitPolicy = 2;
    registerEngine();
    startApp();
    ASSERT_TRUE(picturesFlow());
    storeRelaxed(gState.pictureFolderMB, 1u);

    // "Stop capturing and notify user.": every attempt tells the user and writes nothing.
    sendMessage(ENG_SNAPSHOT);
    sendMessage(ENG_SNAPSHOT);
    auto shown = shownMessages();
    ASSERT_EQ(shown.size(), 2u);
    for (const auto& m : shown) {
        EXPECT_EQ(m.text, "Total size of picture files have exceeded the limit(1MB).");
        EXPECT_EQ(m.caption, "Vidora");
        EXPECT_EQ(m.type, MB_OK | MB_ICONINFORMATION);
    }
    EXPECT_EQ(pictures.files().size(), 2u);

    // "Delete oldest files.": the oldest goes and the picture is taken.
    clearMessages();
    gConfig.pictureLimitPolicy = 1;
    storeRelaxed(gState.pictureFolderMB, 1u);
    sendMessage(ENG_SNAPSHOT);
    auto names = pictures.files();
    ASSERT_EQ(names.size(), 2u);
    EXPECT_EQ(names[0], "20200101-000001-00.jpg");
    EXPECT_NE(names[1], "20200101-000000-00.jpg");
    EXPECT_TRUE(names[1].ends_with(".jpg"));
    EXPECT_EQ(loadRelaxed(gState.pictureFolderMB), 0u);
    EXPECT_TRUE(shownMessages().empty());
}

TEST_F(RecordingWireTest, ASnapshotThatCannotBeWrittenSaysWhereAndWhyAtEveryAttempt) {
    TempFolder pictures;
    const std::string missing = pictures.path() + "/SNAPSHOT";
    std::snprintf(gConfig.pictureFolder, sizeof gConfig.pictureFolder, "%s", missing.c_str());
    registerEngine();
    startApp();
    ASSERT_TRUE(picturesFlow());

    gConfig.pictureFormat = 1;
    sendMessage(ENG_SNAPSHOT);
    sendMessage(ENG_SNAPSHOT);
    gConfig.pictureFormat = 2;
    sendMessage(ENG_SNAPSHOT);
    auto shown = shownMessages();
    ASSERT_EQ(shown.size(), 3u);
    for (const auto& m : shown) {
        EXPECT_EQ(m.text, "Cannot save the snapshot to " + missing + ": No such file or directory");
        EXPECT_EQ(m.caption, "Vidora");
        EXPECT_EQ(m.type, MB_OK | MB_ICONWARNING);
    }
    EXPECT_TRUE(pictures.files().empty());

    // Once the folder is there the next snapshot lands in it, without a word.
    clearMessages();
    std::filesystem::create_directory(missing);
    sendMessage(ENG_SNAPSHOT);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(missing),
                            std::filesystem::directory_iterator()),
              1);
    EXPECT_TRUE(shownMessages().empty());
}

// The record folder is removed while a recording writes into it, and later made anew: the user
// is told at once (not at the next cut, minutes away, nor at the next picture), the marks show
// it, and the recording goes on by itself in a new file named by the moment it resumed.
TEST_F(RecordingWireTest, ARecordFolderRemovedWhileRecordingIsToldAtOnceAndRecordingResumes) {
    namespace fs = std::filesystem;
    const fs::path record = fs::path(folder.path()) / "RECORD";
    fs::create_directory(record);
    storeSetting(&VidoraConfig::recordFolder, record.string());
    registerEngine();
    startApp();
    ASSERT_TRUE(picturesFlow());
    ASSERT_EQ(sendMessage(ENG_RECORD_START), 0);
    pumpFor(1500);
    ASSERT_EQ(std::distance(fs::directory_iterator(record), fs::directory_iterator()), 1);
    EXPECT_FALSE(engine().recordingStalled());
    const int notices = ui.count(NTF_RECORD_STATE);

    // No picture (so no key frame) comes for a while: only the folder's watcher can tell.
    sim->delayNextFrame(4000);
    pumpFor(300);
    const int pictures = window.pictures.load();
    const auto removed = Steady::now();
    fs::remove_all(record);
    ASSERT_TRUE(pumpUntil([&] { return !shownMessages().empty(); }, 5000));
    EXPECT_LT(Steady::now() - removed, std::chrono::milliseconds(1500));
    EXPECT_EQ(window.pictures.load(), pictures) << "told before the next picture";
    auto shown = shownMessages();
    EXPECT_EQ(shown[0].text,
              "Cannot write the recording to " + record.string() + ": No such file or directory");
    EXPECT_EQ(shown[0].caption, "Vidora");
    EXPECT_EQ(shown[0].type, MB_OK | MB_ICONWARNING);
    EXPECT_TRUE(engine().recordingStalled());
    EXPECT_GT(ui.count(NTF_RECORD_STATE), notices) << "the marks are told";
    EXPECT_EQ(loadRelaxed(gState.recordingOn), 1) << "the recording goes on";
    // Pictures come again while the folder is still missing: each key frame tries, silently.
    ASSERT_TRUE(picturesFlow(10));
    EXPECT_TRUE(engine().recordingStalled());
    EXPECT_EQ(shownMessages().size(), 1u);

    fs::create_directory(record);
    const std::time_t back = std::time(nullptr);
    ASSERT_TRUE(pumpUntil([&] { return !engine().recordingStalled(); }, 5000));
    pumpFor(1500);
    sendMessage(ENG_RECORD_STOP);

    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(record))
        names.push_back(e.path().filename().string());
    ASSERT_EQ(names.size(), 1u);
    ASSERT_TRUE(matchesPattern(names[0], "DDDDDDDDDDDDDD.avi")) << names[0];
    std::tm t{};
    ASSERT_NE(strptime(names[0].substr(0, 14).c_str(), "%Y%m%d%H%M%S", &t), nullptr);
    EXPECT_GE(timegm(&t), back - 1) << "named by the moment writing resumed";
    EXPECT_LE(timegm(&t), back + 2);
    const std::string resumed = (record / names[0]).string();
    auto values = probe(resumed);
    EXPECT_EQ(values.count("error"), 0u) << values["error"];
    EXPECT_GT(decodeVideoFrames(resumed), 5);
    EXPECT_EQ(decodeVideoFrames(resumed), static_cast<int>(number(values, "stream.0.nb_frames")));
    EXPECT_EQ(shownMessages().size(), 1u) << "once per recording";
}

// The real recording side, with a writer that cuts a new file at every key frame (every fifth
// picture) instead of at recordFileMB.
class CuttingRecording final : public RecordingPort {
  public:
    void setVideoFormat(const StreamFormat& format, int sizeMode) override {
        bridge_.setVideoFormat(format, sizeMode);
    }
    void setAudioFormat(const StreamFormat& format) override { bridge_.setAudioFormat(format); }
    void onPicture(const uint8_t* data, std::size_t length) override {
        bridge_.onPicture(data, length);
    }
    void onSound(const uint8_t* data, std::size_t length) override {
        bridge_.onSound(data, length);
    }
    void setWriterSettings(const std::string& recordFolder, uint64_t) override {
        bridge_.setWriterSettings(recordFolder, 1);
    }
    void attachWriter() override { bridge_.attachWriter(); }
    void detachWriter() override { bridge_.detachWriter(); }
    Result startRecording() override { return bridge_.startRecording(); }
    void stopRecording() override { bridge_.stopRecording(); }
    bool recordingEndedAtLimit() override { return bridge_.recordingEndedAtLimit(); }
    bool recordingStalled() override { return bridge_.recordingStalled(); }
    void setStallNotice(std::function<void()> notice) override {
        bridge_.setStallNotice(std::move(notice));
    }
    void recordFolderGone() override { bridge_.recordFolderGone(); }
    PictureWriteResult takeSnapshot(StoredPictureSource& source) override {
        return bridge_.takeSnapshot(source);
    }

  private:
    RecordingBridge bridge_;
};

// Every last folder name that a path read half from `a` and half from `b`, byte by byte, could
// end in (other than `a` and `b` themselves).
std::set<std::string> mixedNames(const std::string& a, const std::string& b) {
    const std::size_t length = std::max(a.size(), b.size());
    std::set<std::string> names;
    for (uint32_t pick = 0; pick < (1u << length); ++pick) {
        std::string name;
        for (std::size_t i = 0; i < length; ++i) {
            const std::string& from = (pick >> i) & 1 ? b : a;
            if (i >= from.size())
                break;
            name.push_back(from[i]);
        }
        if (!name.empty() && name != a && name != b)
            names.insert(name);
    }
    return names;
}

TEST_F(RecordingWireTest, ChangingTheRecordFolderBackAndForthPutsEveryFileWholeInOneOfThem) {
    // Two pairs of folders: names of equal length, and names of different lengths. A path read
    // half old, half new would lead into one of the trap folders beside them.
    TempFolder parent;
    const std::vector<std::pair<std::string, std::string>> pairs = {{"aaaa", "bbbb"},
                                                                    {"x", "yyyyyy"}};
    std::set<std::string> chosen;
    for (const auto& [a, b] : pairs) {
        chosen.insert(a);
        chosen.insert(b);
        for (const std::string& name : mixedNames(a, b))
            std::filesystem::create_directory(parent.file(name));
    }
    for (const std::string& name : chosen)
        std::filesystem::create_directory(parent.file(name));

    gConfig.recordFps = 25;
    storeSetting(&VidoraConfig::recordFolder, parent.file("aaaa"));
    EngineFactories factories;
    factories.backend = [sim = sim] { return sim::createSimulatedBackend(sim); };
    factories.soundPlayer = [log = soundLog] { return std::make_unique<FakeSoundPlayer>(log); };
    factories.recording = [] { return std::make_unique<CuttingRecording>(); };
    registerEngineModule(factories);
    startApp();
    ASSERT_TRUE(picturesFlow());

    int recordings = 0;
    for (const auto& [a, b] : pairs) {
        // A timer thread records again and again, each start reading the record folder, while
        // the user keeps choosing the other folder ("Ok", then the settings-changed command).
        std::atomic<bool> running{true};
        std::thread timer([&] {
            for (int n = 0; running.load(); ++n) {
                if (engine().startRecording() == 0)
                    ++recordings;
                // A dozen pictures or so: two or three files.
                const int until = window.pictures.load() + 11 + n % 4;
                const auto latest = Steady::now() + std::chrono::seconds(3);
                while (window.pictures.load() < until && Steady::now() < latest)
                    std::this_thread::sleep_for(std::chrono::milliseconds(5));
                engine().stopRecording();
            }
        });
        // At least two seconds, and until both folders have files (a busy machine may take a
        // while to get there).
        auto hasFiles = [&](const std::string& name) {
            return !std::filesystem::is_empty(parent.file(name));
        };
        const auto start = Steady::now();
        for (int flip = 0;
             Steady::now() - start < std::chrono::milliseconds(1500) ||
             (!(hasFiles(a) && hasFiles(b)) && Steady::now() - start < std::chrono::seconds(20));
             ++flip) {
            storeSetting(&VidoraConfig::recordFolder, parent.file(flip % 2 ? a : b));
            sendMessage(ENG_SETTINGS_CHANGED);
            pumpMessageBoxes();
        }
        running = false;
        timer.join();
    }
    EXPECT_GE(recordings, 4);

    std::map<std::string, int> filesIn;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(parent.path())) {
        if (!entry.is_regular_file())
            continue;
        const std::string where = entry.path().parent_path().filename().string();
        ASSERT_TRUE(chosen.count(where)) << entry.path() << " is in a folder nobody chose";
        ASSERT_EQ(entry.path().extension(), ".avi") << entry.path();
        ++filesIn[where];
        // Whole: ffprobe reads it without a complaint and decodes as many pictures as its
        // header announces.
        const CommandResult r =
            run("ffprobe -v error -count_frames -select_streams v:0 "
                "-show_entries stream=nb_frames,nb_read_frames -of csv=p=0 " +
                quoted(entry.path().string()) + " 2>&1");
        int announced = 0, decoded = 0;
        char rest = 0;
        EXPECT_TRUE(r.status == 0 &&
                    std::sscanf(r.out.c_str(), "%d,%d%c", &announced, &decoded, &rest) == 3 &&
                    rest == '\n' && r.out.size() == r.out.find('\n') + 1)
            << entry.path() << ": " << r.out;
        EXPECT_GT(decoded, 0) << entry.path();
        EXPECT_EQ(decoded, announced) << entry.path();
    }
    // Recordings landed in every chosen folder, and were cut into several files.
    for (const std::string& name : chosen)
        EXPECT_GE(filesIn[name], 1) << name;
    int files = 0;
    for (const auto& [name, count] : filesIn)
        files += count;
    EXPECT_GT(files, recordings);
    EXPECT_TRUE(shownMessages().empty());
}

// The demo's own modules (the simulated receiver with its alarm script and the real recording
// side) answer the record and snapshot commands the main window's buttons send.
TEST_F(RecordingWireTest, TheDemoModulesRecordAndTakeSnapshots) {
    registerProgramModules(ReceiverKind::Simulated);
    startApp();
    ASSERT_TRUE(picturesFlow());
    ASSERT_EQ(sendMessage(ENG_RECORD_START), 0);
    pumpFor(1500);
    sendMessage(ENG_SNAPSHOT);
    sendMessage(ENG_RECORD_STOP);

    auto avi = filesEndingWith(folder, ".avi");
    ASSERT_EQ(avi.size(), 1u);
    EXPECT_GT(decodeVideoFrames(avi[0]), 5);
    EXPECT_GT(decodeSoundSamples(avi[0]), 48000 / 2);
    auto jpg = filesEndingWith(folder, ".jpg");
    ASSERT_EQ(jpg.size(), 1u);
    EXPECT_EQ(decodePicture(jpg[0]).width, 720);
}

}  // namespace
}  // namespace vidora
