#include "app/settings.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/live_config.h"
#include "app/message_box.h"
#include "app/storage.h"
#include "app/task_list.h"

namespace vidora {

ViewerState gState{};
VidoraConfig gConfig{};

namespace {

// A damaged file may announce any count; no user schedules more than this.
constexpr uint32_t kMaxTasks = 100000;

struct DefaultFolders {
    std::string record = "./RECORD";
    std::string picture = "./SNAPSHOT";
};

DefaultFolders& defaultFolders() {
    static DefaultFolders folders;
    return folders;
}

TaskList& theTaskList() {
    static TaskList list;
    return list;
}

// The slot keeps a non-zero marker of the list; nothing ever reads it as an address.
uint32_t taskListSlotValue() {
    return static_cast<uint32_t>(reinterpret_cast<std::uintptr_t>(&theTaskList()));
}

template <std::size_t N>
void terminate(char (&field)[N]) {
    field[N - 1] = '\0';
}

template <class T>
T clampTo(T value, T low, T high) {
    return std::min(std::max(value, low), high);
}

void setText(char* field, std::size_t size, const char* text) {
    std::memset(field, 0, size);
    std::strncpy(field, text, size - 1);
}

bool writeAll(int fd, const void* data, std::size_t size) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        ssize_t n = ::write(fd, p, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        p += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// Every field of the settings record that has a default; the others keep their values.
void applyDefaultConfig(VidoraConfig& c) {
    c.askPassword = 0;
    std::memset(c.password, 0, sizeof c.password);
    std::memset(c.soundAlarmChannel, 0, sizeof c.soundAlarmChannel);
    std::memset(c.motionAlarmChannel, 0, sizeof c.motionAlarmChannel);
    c.alarmCapture = 0;
    c.alarmRecord = 0;
    c.alarmSound = 1;
    c.alarmRecordSeconds = 10;
    c.alarmCaptureSeconds = 10;
    c.alarmCaptureFps = 1;
    setText(c.recordFolder, sizeof c.recordFolder, defaultFolders().record.c_str());
    c.reservedA = 1;
    c.videoStandard = 1;
    c.reservedB = 1;
    c.recordImageSize = 3;
    c.recordFps = 10;
    c.recordLimitMB = 5120;
    c.recordFileMB = 64;
    c.recordLimitPolicy = 1;
    setText(c.pictureFolder, sizeof c.pictureFolder, defaultFolders().picture.c_str());
    c.pictureFormat = 1;
    c.pictureSize = 1;
    c.pictureLimitMB = 1024;
    c.pictureLimitPolicy = 1;
    c.logList = 0;
    c.logSystem = 1;
    c.logLogin = 1;
    c.logAlarm = 1;
    c.logParameters = 1;
    for (int i = 0; i < 4; ++i) {
        std::memset(c.channelName[i], 0, sizeof c.channelName[i]);
        std::snprintf(c.channelName[i], sizeof c.channelName[i], "CH%d", i + 1);
    }
    c.showDate = 1;
    c.showTime = 1;
    c.showChannelName = 1;
    c.reserved759 = 0;
    c.brightness = 2119;
    c.sharpness = 0;
    c.contrast = 4667;
    c.saturation = 3765;
    std::memset(c.adjustMin, 0, sizeof c.adjustMin);
    std::memset(c.adjustMax, 0, sizeof c.adjustMax);
    std::memset(c.adjustDefault, 0, sizeof c.adjustDefault);
    c.cycleSeconds = 5;
}

}  // namespace

TaskList& taskList() {
    return theTaskList();
}

void applyDefaultSettings() {
    ViewerState& s = gState;
    s.audioVolume = 80;
    s.notifyWindow = 0;
    s.currentChannel = 0;
    s.liveViewOn = 0;
    s.videoRepositionPending = 0;
    s.livePaused = 0;
    s.soundAlarmActive = 0;
    s.motionAlarmActive = 0;
    s.autoCycleRunning = 0;
    s.soundAlarmOn = 0;
    s.motionAlarmOn = 0;
    s.lastAlarmTick = 0;
    for (auto& z : s.channelZoom)
        z = 1;
    s.recordingOn = 0;
    s.quadLayout = 0;
    s.planTasksOn = 0;
    s.panDragActive = 0;
    s.videoWidth = 0;
    s.videoHeight = 0;
    std::memset(s.channelPan, 0, sizeof s.channelPan);
    s.autoCycleOn = 0;
    for (auto& e : s.channelEnabled)
        e = 1;
    s.pictureFolderMB = 0;
    s.recordFolderMB = 0;
    s.recordFolderHasFiles = 0;
    std::memset(s.reserved, 0, sizeof s.reserved);

    updateConfig([](VidoraConfig& c) { applyDefaultConfig(c); });
}

void setDefaultFolders(const std::string& recordFolder, const std::string& pictureFolder) {
    defaultFolders() = {recordFolder, pictureFolder};
}

void sanitizeLoadedSettings(ViewerState& s, VidoraConfig& c) {
    s.audioVolume = clampTo(s.audioVolume, 0, 100);
    s.currentChannel = clampTo(s.currentChannel, 0, 3);
    for (auto& z : s.channelZoom)
        z = clampTo<uint32_t>(z, 1, 4);
    for (auto& pan : s.channelPan) {
        pan[0] = clampTo(pan[0], 0, 720);
        pan[1] = clampTo(pan[1], 0, 576);
    }
    if (c.recordImageSize < 1 || c.recordImageSize > 3)
        c.recordImageSize = 3;
    if (c.pictureSize < 1 || c.pictureSize > 3)
        c.pictureSize = 1;
    if (c.videoStandard != 1 && c.videoStandard != 2)
        c.videoStandard = 1;
    if (c.recordFps < 1 || c.recordFps > 30)
        c.recordFps = 10;
    if (c.alarmCaptureFps < 1 || c.alarmCaptureFps > 30)
        c.alarmCaptureFps = 1;
    // The display page enters the interval as h:m:s with at least 3 seconds.
    if (c.cycleSeconds < 3 || c.cycleSeconds > 86399)
        c.cycleSeconds = 5;
    terminate(c.password);
    terminate(c.recordFolder);
    terminate(c.pictureFolder);
    for (auto& name : c.channelName)
        terminate(name);
}

void loadSettings() {
    FILE* file = std::fopen(kSettingsFileName, "rb");
    if (!file) {
        applyDefaultSettings();
        theTaskList().freeAll();
        updateConfig([](VidoraConfig& c) { c.taskList = taskListSlotValue(); });
        saveSettings();
        return;
    }
    // Short reads leave the rest of a record as it was; the loader never reports an error. The
    // settings record is read into a copy and written back whole, as every change of it is.
    VidoraConfig config = loadConfig();
    (void)std::fread(&gState, 1, sizeof gState, file);
    (void)std::fread(&config, 1, sizeof config, file);
    theTaskList().freeAll();
    config.taskList = taskListSlotValue();

    uint32_t count = 0;
    (void)std::fread(&count, 1, sizeof count, file);
    count = std::min(count, kMaxTasks);
    for (uint32_t i = 0; i < count; ++i) {
        TaskRecord buffer{};
        std::size_t got = std::fread(&buffer, 1, sizeof buffer, file);
        if (got == 0)
            break;  // the file ends here: no more tasks, whatever the count says
        TaskRecord* record = theTaskList().allocate();
        *record = buffer;  // a record cut by the end of the file keeps zeros for the rest
        theTaskList().append(record);
        if (got < sizeof buffer)
            break;
    }
    std::fclose(file);

    ViewerState& s = gState;
    s.notifyWindow = 0;
    s.liveViewOn = 0;
    s.videoRepositionPending = 0;
    s.livePaused = 0;
    s.soundAlarmActive = 0;
    s.motionAlarmActive = 0;
    s.autoCycleRunning = 0;
    s.lastAlarmTick = 0;
    s.recordingOn = 0;
    s.panDragActive = 0;
    sanitizeLoadedSettings(gState, config);
    storeConfig(config);

    gState.pictureFolderMB = folderSizeMB(config.pictureFolder);
    gState.recordFolderMB = folderSizeMB(config.recordFolder);
}

bool saveSettings() {
    std::vector<unsigned char> image(kSettingsHeaderBytes);
    const VidoraConfig config = loadConfig();
    std::memcpy(image.data(), &gState, sizeof gState);
    std::memcpy(image.data() + sizeof gState, &config, sizeof config);
    std::vector<TaskRecord> tasks = theTaskList().snapshot();
    uint32_t count = static_cast<uint32_t>(tasks.size());
    std::memcpy(image.data() + sizeof gState + sizeof config, &count, sizeof count);
    const auto* taskBytes = reinterpret_cast<const unsigned char*>(tasks.data());
    image.insert(image.end(), taskBytes, taskBytes + tasks.size() * sizeof(TaskRecord));

    // Write a temporary file beside the settings and rename it over them, so that dying
    // mid-write never leaves a torn settings file. Owner-only: it holds the password. A file
    // left over under the temporary name (or a link placed there) is removed first, so the new
    // file is always ours and created with the owner-only mode.
    std::string temp = std::string(kSettingsFileName) + ".tmp";
    ::unlink(temp.c_str());
    int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    bool ok = fd >= 0;
    if (ok) {
        ok = writeAll(fd, image.data(), image.size()) && ::fsync(fd) == 0;
        ok = (::close(fd) == 0) && ok;
        ok = ok && ::rename(temp.c_str(), kSettingsFileName) == 0;
        if (!ok)
            ::unlink(temp.c_str());
    }
    if (ok) {
        // The rename itself reaches the disk with the folder.
        int folder = ::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (folder >= 0) {
            (void)::fsync(folder);
            ::close(folder);
        }
    }
    if (!ok) {
        userMessageBox("Can't save configuration to file.", "Error", MB_OK);
        return false;
    }
    return true;
}

void freeTaskList() {
    theTaskList().freeAll();
}

}  // namespace vidora
