#pragma once
// The process-wide plain records and their byte layout. This header is shared unchanged with the
// settings dialog library: the 828-byte VidoraConfig crosses that boundary, and the settings file
// is the raw image of ViewerState + VidoraConfig + the task records. Layout is little-endian and
// packed exactly as asserted below; keep it self-contained (no other headers of ours).
#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "platform/system_time.h"

namespace vidora {

// Run-time state shared by the user interface, the engine threads and the folder watchers.
// Cross-thread fields are read and written with loadRelaxed/storeRelaxed (platform/relaxed.h).
struct ViewerState {
    int32_t audioVolume;     // 0..100
    uint32_t notifyWindow;   // non-zero once the main window exists; never an address
    int32_t currentChannel;  // 0..3
    uint8_t liveViewOn;
    uint8_t videoRepositionPending;
    uint8_t livePaused;
    uint8_t soundAlarmActive;
    uint8_t motionAlarmActive;
    uint8_t autoCycleRunning;
    uint8_t soundAlarmOn;
    uint8_t motionAlarmOn;
    uint32_t lastAlarmTick;   // tick count of the last alarm, 0 = none
    uint32_t channelZoom[4];  // 1..4
    uint8_t recordingOn;
    uint8_t quadLayout;
    uint8_t planTasksOn;
    uint8_t panDragActive;
    int32_t videoWidth;
    int32_t videoHeight;
    int32_t channelPan[4][2];  // (x, y) per channel
    int32_t autoCycleOn;
    uint8_t channelEnabled[4];
    uint32_t pictureFolderMB;
    uint32_t recordFolderMB;
    uint8_t recordFolderHasFiles;
    uint8_t reserved[3];
};

// The settings record edited by the settings dialog.
struct VidoraConfig {
    uint8_t askPassword;
    char password[32];
    uint8_t soundAlarmChannel[4];
    uint8_t motionAlarmChannel[4];
    uint8_t alarmCapture;
    uint8_t alarmRecord;
    uint8_t alarmSound;
    int32_t alarmRecordSeconds;
    int32_t alarmCaptureSeconds;
    int32_t alarmCaptureFps;
    char recordFolder[256];
    int32_t reservedA;
    int32_t videoStandard;  // 1 = PAL, 2 = NTSC
    int32_t reservedB;
    int32_t recordImageSize;  // 1 full, 2 half width, 3 half width and height
    int32_t recordFps;        // multiple of 5
    uint32_t recordLimitMB;
    uint32_t recordFileMB;
    int32_t recordLimitPolicy;  // 1 delete oldest, 2 stop and notify
    char pictureFolder[256];
    int32_t pictureFormat;  // 1 JPEG, 2 BMP
    int32_t pictureSize;    // as recordImageSize
    uint32_t pictureLimitMB;
    int32_t pictureLimitPolicy;
    uint32_t taskList;  // slot only; the task list is reached through the viewer
    uint32_t logList;   // always 0
    uint8_t logSystem;
    uint8_t logLogin;
    uint8_t logAlarm;
    uint8_t logParameters;
    char channelName[4][32];
    uint8_t showDate;
    uint8_t showTime;
    uint8_t showChannelName;
    uint8_t reserved759;
    int32_t brightness;
    int32_t sharpness;
    int32_t contrast;
    int32_t saturation;
    int32_t adjustMin[4];  // brightness, sharpness, contrast, saturation
    int32_t adjustMax[4];
    int32_t adjustDefault[4];
    uint32_t cycleSeconds;
};

// One scheduled task.
struct TaskRecord {
    int32_t operation;  // 1 record video, 2 capture photos
    int32_t frequency;  // 1 daily, 2 weekly, 3 monthly, 4 once
    int32_t weekday;    // 0..6 = Sunday..Saturday
    int32_t monthDay;   // 1..31
    SystemTime startTime;
    int32_t captureFps;
    int32_t durationSeconds;
    int32_t taskSpare;
    int32_t channel;  // 0..3, 4 = whichever channel is live
};

static_assert(sizeof(ViewerState) == 104);
static_assert(offsetof(ViewerState, audioVolume) == 0);
static_assert(offsetof(ViewerState, notifyWindow) == 4);
static_assert(offsetof(ViewerState, currentChannel) == 8);
static_assert(offsetof(ViewerState, liveViewOn) == 12);
static_assert(offsetof(ViewerState, videoRepositionPending) == 13);
static_assert(offsetof(ViewerState, livePaused) == 14);
static_assert(offsetof(ViewerState, soundAlarmActive) == 15);
static_assert(offsetof(ViewerState, motionAlarmActive) == 16);
static_assert(offsetof(ViewerState, autoCycleRunning) == 17);
static_assert(offsetof(ViewerState, soundAlarmOn) == 18);
static_assert(offsetof(ViewerState, motionAlarmOn) == 19);
static_assert(offsetof(ViewerState, lastAlarmTick) == 20);
static_assert(offsetof(ViewerState, channelZoom) == 24);
static_assert(offsetof(ViewerState, recordingOn) == 40);
static_assert(offsetof(ViewerState, quadLayout) == 41);
static_assert(offsetof(ViewerState, planTasksOn) == 42);
static_assert(offsetof(ViewerState, panDragActive) == 43);
static_assert(offsetof(ViewerState, videoWidth) == 44);
static_assert(offsetof(ViewerState, videoHeight) == 48);
static_assert(offsetof(ViewerState, channelPan) == 52);
static_assert(offsetof(ViewerState, autoCycleOn) == 84);
static_assert(offsetof(ViewerState, channelEnabled) == 88);
static_assert(offsetof(ViewerState, pictureFolderMB) == 92);
static_assert(offsetof(ViewerState, recordFolderMB) == 96);
static_assert(offsetof(ViewerState, recordFolderHasFiles) == 100);
static_assert(offsetof(ViewerState, reserved) == 101);

static_assert(sizeof(VidoraConfig) == 828);
static_assert(offsetof(VidoraConfig, askPassword) == 0);
static_assert(offsetof(VidoraConfig, password) == 1);
static_assert(offsetof(VidoraConfig, soundAlarmChannel) == 33);
static_assert(offsetof(VidoraConfig, motionAlarmChannel) == 37);
static_assert(offsetof(VidoraConfig, alarmCapture) == 41);
static_assert(offsetof(VidoraConfig, alarmRecord) == 42);
static_assert(offsetof(VidoraConfig, alarmSound) == 43);
static_assert(offsetof(VidoraConfig, alarmRecordSeconds) == 44);
static_assert(offsetof(VidoraConfig, alarmCaptureSeconds) == 48);
static_assert(offsetof(VidoraConfig, alarmCaptureFps) == 52);
static_assert(offsetof(VidoraConfig, recordFolder) == 56);
static_assert(offsetof(VidoraConfig, reservedA) == 312);
static_assert(offsetof(VidoraConfig, videoStandard) == 316);
static_assert(offsetof(VidoraConfig, reservedB) == 320);
static_assert(offsetof(VidoraConfig, recordImageSize) == 324);
static_assert(offsetof(VidoraConfig, recordFps) == 328);
static_assert(offsetof(VidoraConfig, recordLimitMB) == 332);
static_assert(offsetof(VidoraConfig, recordFileMB) == 336);
static_assert(offsetof(VidoraConfig, recordLimitPolicy) == 340);
static_assert(offsetof(VidoraConfig, pictureFolder) == 344);
static_assert(offsetof(VidoraConfig, pictureFormat) == 600);
static_assert(offsetof(VidoraConfig, pictureSize) == 604);
static_assert(offsetof(VidoraConfig, pictureLimitMB) == 608);
static_assert(offsetof(VidoraConfig, pictureLimitPolicy) == 612);
static_assert(offsetof(VidoraConfig, taskList) == 616);
static_assert(offsetof(VidoraConfig, logList) == 620);
static_assert(offsetof(VidoraConfig, logSystem) == 624);
static_assert(offsetof(VidoraConfig, logLogin) == 625);
static_assert(offsetof(VidoraConfig, logAlarm) == 626);
static_assert(offsetof(VidoraConfig, logParameters) == 627);
static_assert(offsetof(VidoraConfig, channelName) == 628);
static_assert(offsetof(VidoraConfig, showDate) == 756);
static_assert(offsetof(VidoraConfig, showTime) == 757);
static_assert(offsetof(VidoraConfig, showChannelName) == 758);
static_assert(offsetof(VidoraConfig, reserved759) == 759);
static_assert(offsetof(VidoraConfig, brightness) == 760);
static_assert(offsetof(VidoraConfig, sharpness) == 764);
static_assert(offsetof(VidoraConfig, contrast) == 768);
static_assert(offsetof(VidoraConfig, saturation) == 772);
static_assert(offsetof(VidoraConfig, adjustMin) == 776);
static_assert(offsetof(VidoraConfig, adjustMax) == 792);
static_assert(offsetof(VidoraConfig, adjustDefault) == 808);
static_assert(offsetof(VidoraConfig, cycleSeconds) == 824);

static_assert(std::is_trivial_v<ViewerState> && std::is_trivial_v<VidoraConfig> &&
              std::is_trivial_v<TaskRecord>);
static_assert(sizeof(TaskRecord) == 48);
static_assert(offsetof(TaskRecord, operation) == 0);
static_assert(offsetof(TaskRecord, frequency) == 4);
static_assert(offsetof(TaskRecord, weekday) == 8);
static_assert(offsetof(TaskRecord, monthDay) == 12);
static_assert(offsetof(TaskRecord, startTime) == 16);
static_assert(offsetof(TaskRecord, captureFps) == 32);
static_assert(offsetof(TaskRecord, durationSeconds) == 36);
static_assert(offsetof(TaskRecord, taskSpare) == 40);
static_assert(offsetof(TaskRecord, channel) == 44);

// Settings file: ViewerState, VidoraConfig, u32 task count, then the task records.
inline constexpr std::size_t kSettingsHeaderBytes = sizeof(ViewerState) + sizeof(VidoraConfig) + 4;
static_assert(kSettingsHeaderBytes == 936);

}  // namespace vidora
