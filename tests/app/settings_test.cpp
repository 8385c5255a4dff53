#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "app/message_box.h"
#include "app/settings.h"
#include "app/task_list.h"
#include "tests/app/temp_dir.h"

using namespace vidora;

namespace {

std::vector<uint8_t> readFile(const char* name) {
    std::ifstream in(name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void writeFile(const char* name, const std::vector<uint8_t>& bytes) {
    std::ofstream out(name, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

uint32_t u32At(const std::vector<uint8_t>& b, size_t offset) {
    return uint32_t(b[offset]) | uint32_t(b[offset + 1]) << 8 | uint32_t(b[offset + 2]) << 16 |
           uint32_t(b[offset + 3]) << 24;
}

void putU32(std::vector<uint8_t>& b, size_t offset, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b[offset + i] = uint8_t(v >> (8 * i));
}

class SettingsFile : public ::testing::Test {
  protected:
    void SetUp() override {
        std::memset(&gState, 0, sizeof gState);
        std::memset(&gConfig, 0, sizeof gConfig);
        freeTaskList();
        setMessageBoxPresenter([this](const MessageBoxRequest& r) {
            boxes.push_back(r);
            return IDOK;
        });
    }
    void TearDown() override {
        setMessageBoxPresenter({});
        freeTaskList();
    }
    test::ScopedTempDir dir;
    std::vector<MessageBoxRequest> boxes;
};

// Expected bytes of a first start, laid down offset by offset from the documented layout.
std::vector<uint8_t> defaultImage() {
    std::vector<uint8_t> b(936, 0);
    putU32(b, 0, 80);  // audioVolume
    for (int i = 0; i < 4; ++i)
        putU32(b, 24 + 4 * i, 1);  // channelZoom
    for (int i = 0; i < 4; ++i)
        b[88 + i] = 1;  // channelEnabled
    const size_t c = 104;
    b[c + 43] = 1;          // alarmSound
    putU32(b, c + 44, 10);  // alarmRecordSeconds
    putU32(b, c + 48, 10);  // alarmCaptureSeconds
    putU32(b, c + 52, 1);   // alarmCaptureFps
    std::memcpy(&b[c + 56], "./RECORD", 8);
    putU32(b, c + 312, 1);
    putU32(b, c + 316, 1);  // videoStandard PAL
    putU32(b, c + 320, 1);
    putU32(b, c + 324, 3);     // recordImageSize
    putU32(b, c + 328, 10);    // recordFps
    putU32(b, c + 332, 5120);  // recordLimitMB
    putU32(b, c + 336, 64);    // recordFileMB
    putU32(b, c + 340, 1);     // recordLimitPolicy
    std::memcpy(&b[c + 344], "./SNAPSHOT", 10);
    putU32(b, c + 600, 1);     // pictureFormat
    putU32(b, c + 604, 1);     // pictureSize
    putU32(b, c + 608, 1024);  // pictureLimitMB
    putU32(b, c + 612, 1);     // pictureLimitPolicy
    for (int i = 0; i < 4; ++i)
        b[c + 624 + i] = 1;  // log switches
    for (int i = 0; i < 4; ++i) {
        b[c + 628 + 32 * i] = 'C';
        b[c + 629 + 32 * i] = 'H';
        b[c + 630 + 32 * i] = uint8_t('1' + i);
    }
    b[c + 756] = b[c + 757] = b[c + 758] = 1;  // showDate, showTime, showChannelName
    putU32(b, c + 760, 2119);
    putU32(b, c + 764, 0);
    putU32(b, c + 768, 4667);
    putU32(b, c + 772, 3765);
    putU32(b, c + 824, 5);  // cycleSeconds
    return b;
}

TaskRecord task(int operation, int channel, uint16_t hour) {
    TaskRecord t{};
    t.operation = operation;
    t.frequency = 2;
    t.weekday = 3;
    t.startTime.hour = hour;
    t.durationSeconds = 600;
    t.channel = channel;
    return t;
}

void addTask(const TaskRecord& t) {
    TaskRecord* r = taskList().allocate();
    *r = t;
    taskList().append(r);
}

}  // namespace

TEST_F(SettingsFile, FirstStartWritesTheDefaultsByteForByte) {
    loadSettings();
    std::vector<uint8_t> bytes = readFile("vidora.cfg");
    ASSERT_EQ(bytes.size(), 936u);
    std::vector<uint8_t> expected = defaultImage();
    // The task-list slot holds a marker of the list; it carries no meaning in the file.
    putU32(expected, 104 + 616, u32At(bytes, 104 + 616));
    for (size_t i = 0; i < expected.size(); ++i) {
        ASSERT_EQ(bytes[i], expected[i]) << "byte " << i;
    }
    struct stat st {};
    ASSERT_EQ(stat("vidora.cfg", &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u) << "the file holds the password: owner only";
    EXPECT_TRUE(boxes.empty());
    EXPECT_FALSE(std::filesystem::exists("vidora.cfg.tmp"));
}

TEST_F(SettingsFile, TasksAreStoredInListOrderAndLoadBack) {
    loadSettings();
    addTask(task(1, 0, 7));
    addTask(task(2, 3, 23));
    ASSERT_TRUE(saveSettings());
    std::vector<uint8_t> bytes = readFile("vidora.cfg");
    ASSERT_EQ(bytes.size(), 1032u);
    EXPECT_EQ(u32At(bytes, 932), 2u);
    EXPECT_EQ(u32At(bytes, 936), 1u);       // first task: record
    EXPECT_EQ(u32At(bytes, 936 + 48), 2u);  // second task: capture
    EXPECT_EQ(u32At(bytes, 936 + 48 + 44), 3u);

    freeTaskList();
    loadSettings();
    ASSERT_EQ(taskList().count(), 2u);
    EXPECT_EQ(taskList().at(0)->operation, 1);
    EXPECT_EQ(taskList().at(0)->startTime.hour, 7);
    EXPECT_EQ(taskList().at(1)->channel, 3);
}

TEST_F(SettingsFile, RunTimeFlagsComeBackClearedAndKeptFieldsAsSaved) {
    loadSettings();
    gState.liveViewOn = 1;
    gState.recordingOn = 1;
    gState.livePaused = 1;
    gState.lastAlarmTick = 1234;
    gState.notifyWindow = 77;
    gState.audioVolume = 35;
    gState.currentChannel = 2;
    gState.channelZoom[1] = 3;
    gState.channelPan[1][0] = 40;
    gState.channelPan[1][1] = 20;
    gState.motionAlarmOn = 1;
    gState.planTasksOn = 1;
    gState.channelEnabled[3] = 0;
    gConfig.taskList = 0xDEADBEEF;  // a stale value from another run
    ASSERT_TRUE(saveSettings());

    std::memset(&gState, 0, sizeof gState);
    std::memset(&gConfig, 0, sizeof gConfig);
    freeTaskList();
    loadSettings();
    EXPECT_EQ(gState.liveViewOn, 0);
    EXPECT_EQ(gState.recordingOn, 0);
    EXPECT_EQ(gState.livePaused, 0);
    EXPECT_EQ(gState.lastAlarmTick, 0u);
    EXPECT_EQ(gState.notifyWindow, 0u);
    EXPECT_EQ(gState.audioVolume, 35);
    EXPECT_EQ(gState.currentChannel, 2);
    EXPECT_EQ(gState.channelZoom[1], 3u);
    EXPECT_EQ(gState.channelPan[1][0], 40);
    EXPECT_EQ(gState.channelPan[1][1], 20);
    EXPECT_EQ(gState.motionAlarmOn, 1);
    EXPECT_EQ(gState.planTasksOn, 1);
    EXPECT_EQ(gState.channelEnabled[3], 0);
    // The stale slot value is replaced, and the list is a fresh empty one.
    EXPECT_NE(gConfig.taskList, 0xDEADBEEFu);
    EXPECT_EQ(taskList().count(), 0u);
}

TEST_F(SettingsFile, DamagedFilesLoadWithoutCrashingAndStayUsable) {
    loadSettings();
    addTask(task(1, 1, 8));
    addTask(task(2, 2, 9));
    ASSERT_TRUE(saveSettings());
    std::vector<uint8_t> good = readFile("vidora.cfg");

    // Cut inside the second task: both announced tasks load, the missing bytes as zeros.
    std::vector<uint8_t> cut(good.begin(), good.begin() + 936 + 48 + 10);
    writeFile("vidora.cfg", cut);
    freeTaskList();
    loadSettings();
    ASSERT_EQ(taskList().count(), 2u);
    EXPECT_EQ(taskList().at(1)->operation, 2);
    EXPECT_EQ(taskList().at(1)->channel, 0);

    // A count far past the end of the file: only what the file holds is read.
    std::vector<uint8_t> huge = good;
    putU32(huge, 932, 0xFFFFFFFFu);
    writeFile("vidora.cfg", huge);
    freeTaskList();
    loadSettings();
    EXPECT_EQ(taskList().count(), 2u);

    // A file cut inside ViewerState: what was read is used, the rest stays as it was.
    std::vector<uint8_t> shortFile(good.begin(), good.begin() + 50);
    writeFile("vidora.cfg", shortFile);
    freeTaskList();
    loadSettings();
    EXPECT_EQ(taskList().count(), 0u);

    // Garbage: every index and divisor comes back in range and every text is terminated.
    std::vector<uint8_t> garbage(2000);
    for (size_t i = 0; i < garbage.size(); ++i)
        garbage[i] = uint8_t(i * 37 + 11);
    writeFile("vidora.cfg", garbage);
    freeTaskList();
    loadSettings();
    EXPECT_GE(gState.currentChannel, 0);
    EXPECT_LE(gState.currentChannel, 3);
    for (uint32_t z : gState.channelZoom) {
        EXPECT_GE(z, 1u);
        EXPECT_LE(z, 4u);
    }
    EXPECT_GE(gState.audioVolume, 0);
    EXPECT_LE(gState.audioVolume, 100);
    EXPECT_TRUE(gConfig.videoStandard == 1 || gConfig.videoStandard == 2);
    EXPECT_GE(gConfig.recordImageSize, 1);
    EXPECT_LE(gConfig.recordImageSize, 3);
    EXPECT_GE(gConfig.pictureSize, 1);
    EXPECT_LE(gConfig.pictureSize, 3);
    EXPECT_GE(gConfig.recordFps, 1);
    EXPECT_LE(gConfig.recordFps, 30);
    EXPECT_GE(gConfig.alarmCaptureFps, 1);
    EXPECT_LE(gConfig.cycleSeconds, 86399u);
    EXPECT_LT(strnlen(gConfig.password, sizeof gConfig.password), sizeof gConfig.password);
    EXPECT_LT(strnlen(gConfig.recordFolder, 256), 256u);
    EXPECT_LT(strnlen(gConfig.pictureFolder, 256), 256u);
    for (auto& name : gConfig.channelName)
        EXPECT_LT(strnlen(name, 32), 32u);
    // And it saves again.
    EXPECT_TRUE(saveSettings());
}

TEST_F(SettingsFile, LoadBringsIndexAndDivisorValuesIntoRangeAndKeepsTheRest) {
    applyDefaultSettings();
    ASSERT_TRUE(saveSettings());
    std::vector<uint8_t> b = readFile("vidora.cfg");
    const size_t c = 104;
    putU32(b, 0, 150);                       // audioVolume
    putU32(b, 8, uint32_t(-2));              // currentChannel
    putU32(b, 24, 0);                        // channelZoom[0]
    putU32(b, 28, 9);                        // channelZoom[1]
    putU32(b, 52, uint32_t(-40));            // channelPan[0].x
    putU32(b, 56, 100000);                   // channelPan[0].y
    putU32(b, c + 316, 5);                   // videoStandard
    putU32(b, c + 324, 0);                   // recordImageSize
    putU32(b, c + 604, 4);                   // pictureSize
    putU32(b, c + 328, 0);                   // recordFps
    putU32(b, c + 52, 1000);                 // alarmCaptureFps
    putU32(b, c + 824, 0);                   // cycleSeconds
    std::memset(&b[c + 1], 'p', 32);         // password without its terminator
    std::memset(&b[c + 56], 'r', 256);       // recordFolder, likewise
    std::memset(&b[c + 628 + 32], 'n', 32);  // channelName[1]
    // Values nothing uses as an index or a divisor stay exactly as stored.
    putU32(b, 44, 9999);                   // videoWidth
    putU32(b, 84, 2);                      // autoCycleOn
    b[88] = 7;                             // channelEnabled[0]
    b[101] = 0xAA;                         // reserved
    putU32(b, c + 44, uint32_t(-1));       // alarmRecordSeconds
    putU32(b, c + 312, 77);                // reservedA
    putU32(b, c + 332, 0xFFFFFFFFu);       // recordLimitMB
    putU32(b, c + 340, 9);                 // recordLimitPolicy
    putU32(b, c + 600, 3);                 // pictureFormat
    putU32(b, c + 620, 0x12345678u);       // logList
    putU32(b, c + 760, uint32_t(-12345));  // brightness
    putU32(b, c + 796, 31);                // adjustMax[1]
    writeFile("vidora.cfg", b);

    std::memset(&gState, 0, sizeof gState);
    std::memset(&gConfig, 0, sizeof gConfig);
    loadSettings();
    EXPECT_EQ(gState.audioVolume, 100);
    EXPECT_EQ(gState.currentChannel, 0);
    EXPECT_EQ(gState.channelZoom[0], 1u);
    EXPECT_EQ(gState.channelZoom[1], 4u);
    EXPECT_EQ(gState.channelZoom[2], 1u);
    EXPECT_EQ(gState.channelPan[0][0], 0);
    EXPECT_EQ(gState.channelPan[0][1], 576);
    EXPECT_EQ(gConfig.videoStandard, 1);
    EXPECT_EQ(gConfig.recordImageSize, 3);
    EXPECT_EQ(gConfig.pictureSize, 1);
    EXPECT_EQ(gConfig.recordFps, 10);
    EXPECT_EQ(gConfig.alarmCaptureFps, 1);
    EXPECT_EQ(gConfig.cycleSeconds, 5u);
    EXPECT_EQ(std::string(gConfig.password), std::string(31, 'p'));
    EXPECT_EQ(std::string(gConfig.recordFolder), std::string(255, 'r'));
    EXPECT_EQ(std::string(gConfig.channelName[1]), std::string(31, 'n'));
    EXPECT_EQ(std::string(gConfig.channelName[2]), "CH3");

    EXPECT_EQ(gState.videoWidth, 9999);
    EXPECT_EQ(gState.autoCycleOn, 2);
    EXPECT_EQ(gState.channelEnabled[0], 7);
    EXPECT_EQ(gState.reserved[0], 0xAA);
    EXPECT_EQ(gConfig.alarmRecordSeconds, -1);
    EXPECT_EQ(gConfig.reservedA, 77);
    EXPECT_EQ(gConfig.recordLimitMB, 0xFFFFFFFFu);
    EXPECT_EQ(gConfig.recordLimitPolicy, 9);
    EXPECT_EQ(gConfig.pictureFormat, 3);
    EXPECT_EQ(gConfig.logList, 0x12345678u);
    EXPECT_EQ(gConfig.brightness, -12345);
    EXPECT_EQ(gConfig.adjustMax[1], 31);
}

TEST_F(SettingsFile, UnwritableFileShowsTheMessageAndKeepsTheOldFile) {
    loadSettings();
    std::vector<uint8_t> before = readFile("vidora.cfg");
    gState.audioVolume = 3;
    // The write fails part-way, as on a full disk. A file size limit binds root as well, so the
    // test means the same on a developer's machine and on CI (which runs as root).
    struct rlimit oldLimit {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &oldLimit), 0);
    struct rlimit small = oldLimit;
    small.rlim_cur = 500;  // less than the 936 bytes of the file
    void (*oldHandler)(int) = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    bool ok = saveSettings();
    setrlimit(RLIMIT_FSIZE, &oldLimit);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_FALSE(ok);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Can't save configuration to file.");
    EXPECT_EQ(boxes[0].caption, "Error");
    EXPECT_EQ(readFile("vidora.cfg"), before) << "the old file is kept whole";
    EXPECT_FALSE(std::filesystem::exists("vidora.cfg.tmp"));
}

TEST_F(SettingsFile, ALeftoverTemporaryNameIsNeverWrittenThrough) {
    // A link under the temporary name must not carry the settings (and the password) into
    // another file, and a leftover file must not lend the new one its wider mode.
    writeFile("other.txt", {'k', 'e', 'e', 'p'});
    std::filesystem::create_symlink("other.txt", "vidora.cfg.tmp");
    applyDefaultSettings();
    ASSERT_TRUE(saveSettings());
    EXPECT_EQ(readFile("other.txt"), (std::vector<uint8_t>{'k', 'e', 'e', 'p'}));
    EXPECT_EQ(readFile("vidora.cfg").size(), 936u);

    writeFile("vidora.cfg.tmp", {1, 2, 3});
    std::filesystem::permissions("vidora.cfg.tmp", std::filesystem::perms::all);
    ASSERT_TRUE(saveSettings());
    struct stat st {};
    ASSERT_EQ(stat("vidora.cfg", &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(readFile("vidora.cfg").size(), 936u);
}

TEST_F(SettingsFile, SaveOverAFolderNamedLikeTheFileFailsWithTheMessage) {
    // Works for root too: a folder cannot be replaced by the renamed file.
    std::filesystem::create_directory("vidora.cfg");
    std::filesystem::create_directory("vidora.cfg/keep");
    applyDefaultSettings();
    EXPECT_FALSE(saveSettings());
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Can't save configuration to file.");
    EXPECT_EQ(boxes[0].caption, "Error");
    EXPECT_FALSE(std::filesystem::exists("vidora.cfg.tmp"));
}

TEST_F(SettingsFile, DefaultsLeaveFieldsWithoutADefaultAlone) {
    gState.videoWidth = 720;
    gConfig.taskList = 5;
    gConfig.adjustMax[2] = 9;  // has a default (0)
    applyDefaultSettings();
    EXPECT_EQ(gState.videoWidth, 0);  // has a default
    EXPECT_EQ(gConfig.taskList, 5u);  // has none
    EXPECT_EQ(gConfig.adjustMax[2], 0);
}
