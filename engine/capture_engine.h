#pragma once
// The capture engine: owns the receiver (its capture graph, the video and audio transfer sinks,
// the vendor requests), the recording port, the two storage folder watchers and the worker
// threads that switch channels, poll the alarm inputs and cycle through the channels. One per
// process, owned by the EngineModule (bus module 1) and reached by the worker threads through
// instance(). Commands come from the UI thread through the bus; switchChannel, startRecording
// and stopRecording are also called from worker threads.
//
// Locks, outermost first: channel-switch lock, then display lock; channel-switch lock, then
// channel-select lock, then receiver command lock; channel-switch lock, then recording lock. The
// timer lock (engine/timer_state.h) and the config lock (app/live_config.h) are innermost.
#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "app/event_sink.h"
#include "app/record_values.h"
#include "engine/alarm.h"
#include "engine/audio_transfer.h"
#include "engine/auto_cycle.h"
#include "engine/layout.h"
#include "engine/receiver_control.h"
#include "engine/recording_port.h"
#include "engine/schedule_port.h"
#include "engine/video_transfer.h"
#include "engine/video_window.h"
#include "platform/media/capture_graph.h"
#include "platform/media/picture_settings.h"
#include "platform/result.h"
#include "platform/sound/sound_player.h"
#include "platform/system_time.h"
#include "platform/worker_thread.h"
#include "recording/stored_picture.h"

namespace vidora {

class Clock;
class FolderWatcher;

// Volume in hundredths of a decibel for a volume of 0..100: 0 is silence (-10 000), 50 gives
// -2 500, 100 full volume (0).
inline constexpr int32_t volumeToHundredthsDb(int volume) {
    const int v = volume < 0 ? 0 : (volume > 100 ? 100 : volume);
    return (200 - v) * v - 10000;
}

// Texts shown to the user.
inline constexpr const char* kNoReceiverText = "No USB Receiver connected.";
inline constexpr const char* kBindFailedText = "create capture";
inline constexpr const char* kReceiverBusyText =
    "Unable to use USB receiver.Please close other programs using USB receiver and restart "
    "Vidora.";
inline constexpr const char* kReceiverUnpluggedText =
    "USB Receiver was unpluged from your computer,please reconnect it.";
inline constexpr const char* kNoReceiverPermissionText =
    "Channel select and alarms are unavailable: you have no permission to send requests to the "
    "USB receiver. Install the udev rules file 70-halcap.rules (the vidora package installs it "
    "in /usr/lib/udev/rules.d, vidora-installer in /etc/udev/rules.d), then unplug the receiver "
    "and plug it in again. The picture stays on the channel the receiver is tuned to.";

// A receiver whose pictures come in no format the viewer can show; `offered` names the formats it
// offers in plain words ("H.264, Bayer"), empty when it named none.
std::string formatUnusableText(const std::string& offered);

// The receivers among the video capture devices: the chosen node (a path naming the same device
// counts, such as a /dev/v4l/by-id link) when it is there, otherwise every device named
// "Halcap Capture". Real receivers may report another name; the user then chooses the node.
std::vector<media::DeviceInfo> matchReceivers(const std::vector<media::DeviceInfo>& devices,
                                              const std::string& chosenPath);

// What the engine is built from. Empty members get the program's defaults.
struct EngineServices {
    std::unique_ptr<media::MediaBackend> backend;
    std::unique_ptr<SoundPlayer> soundPlayer;
    std::unique_ptr<RecordingPort> recording;  // default: records nothing
    std::unique_ptr<SchedulePort> schedule;    // default: no supervisor
    // Sends a notice (NTF_...) on the bus; default sendMessage(id, 0).
    std::function<void(int32_t id)> notify;
    // Shows a message box and returns the button; default userMessageBox.
    std::function<int(const std::string& text, const std::string& caption, uint32_t type)>
        messageBox;
    Clock* clock = nullptr;  // default processClock()
    bool folderWatchers = true;
    std::string alarmSoundPath = kAlarmSoundPath;
};

// What the monitor panel paints, read under the display lock.
struct DisplayView {
    LayoutMode layoutMode = LayoutMode::None;
    int currentChannel = 0;
    bool live = false;  // running, not paused
    bool paused = false;
    bool graphBuilt = false;
    VideoSize client;
    std::array<VideoRect, 4> cells;
    std::array<const StoredPicture*, 4> frozen{};  // nullptr: nothing to draw
    std::array<SystemTime, 4> frozenTime{};
};

class CaptureEngine {
  public:
    static constexpr int kNextChannel = -1;

    explicit CaptureEngine(EngineServices services);
    ~CaptureEngine();
    CaptureEngine(const CaptureEngine&) = delete;
    CaptureEngine& operator=(const CaptureEngine&) = delete;

    // The process-wide engine, or nullptr.
    static CaptureEngine* instance();

    // Module lifecycle (UI thread).
    void moduleStart();
    void moduleStop();

    // Receivers and graph (UI thread).
    bool enumerateReceivers();
    // Builds the graph on receiver `device`; a failure has been shown to the user already.
    Result buildGraph(int device);
    void teardownGraph();
    void connect();            // ENG_CONNECT
    void handleGraphEvents();  // ENG_GRAPH_EVENT

    // Live view (UI thread).
    Result startLive();
    void pauseLive();
    void stopLive();

    // Any thread. n = 0..3, or kNextChannel for the next enabled channel.
    void switchChannel(int channel);
    // Any thread: runs `work` under the channel-switch lock (no switch runs meanwhile).
    void holdingChannel(const std::function<void()>& work);
    void clickSelect(int x, int y);

    // Any thread. Success when this call started the recording; the reason goes into the event
    // log with each of the recording's files.
    Result startRecording(CaptureReason reason = CaptureReason::Manual);
    void stopRecording();
    // Any thread: a picture now, written under an automatic name. Tells the user only of the
    // picture folder's limit; a file that cannot be written is left to the caller. A written
    // picture is reported to the event log with its reason.
    PictureWriteResult takeSnapshot(CaptureReason reason = CaptureReason::Manual);

    // UI thread.
    void startAutoCycle();
    void stopAutoCycle();
    void setVolume(int volume);
    void settingsChanged();
    // Any thread: starts, keeps or stops keeping the seconds before an alarm, as live view, the
    // alarm switches, the record settings and the "Seconds before the alarm:" preference ask.
    // The alarm poll brings it up to date at every poll as well.
    void updatePreAlarm();
    // ENG_SNAPSHOT: a picture now; a file that cannot be written is told at every attempt.
    void snapshot();
    void applyAdjustment(media::AdjustmentKind kind, int32_t value);

    // Video area (UI thread).
    void setLayoutMode(LayoutMode mode);
    void toggleQuad();
    void toggleFullScreenLayout();
    void videoRectChanged();
    void paint();
    void displayChanged();
    // Calls `reader` with the display state under the display lock.
    void withDisplay(const std::function<void(const DisplayView&)>& reader);

    // A stored picture of the latest live picture.
    StoredPicture makeStoredPicture(SizeMode mode);

    // State.
    bool graphBuilt() const { return graphBuilt_.load(); }
    bool live() const { return live_.load(); }
    bool paused() const { return paused_.load(); }
    bool recording() const { return recording_.load(); }
    // The recording's writer says nothing is being written (the record folder is missing,
    // read-only, full or was removed); the marks show it while recordingOn. Any thread.
    bool recordingStalled() const { return recordingPort_->recordingStalled(); }
    int currentChannel() const { return current_.load(); }
    LayoutMode layoutMode() const { return layoutMode_.load(); }
    // The stored video standard (VidoraConfig::videoStandard) the graph was last built for.
    int32_t standardInEffect() const { return standardInEffect_.load(); }
    bool autoCycleAlive() const { return autoCycleThread_.alive(); }
    bool alarmThreadsAlive() const;
    bool alarmSoundPlaying() const { return alarmSound_.playing(); }
    const std::vector<media::DeviceInfo>& devices() const { return devices_; }
    // The video capture devices there are now, receiver or not (UI thread).
    std::vector<media::DeviceInfo> listCaptureDevices();
    // Every video capture device the last enumeration saw, receiver or not (UI thread).
    const std::vector<media::DeviceInfo>& seenDevices() const { return seen_; }

    // Parts, for the recording and schedule layers and for tests.
    VideoTransfer& videoTransfer() { return videoTransfer_; }
    AudioTransfer& audioTransfer() { return audioTransfer_; }
    ReceiverControl& receiver() { return receiver_; }
    AlarmPoll& alarmPoll() { return alarmPoll_; }
    AlarmSound& alarmSound() { return alarmSound_; }
    AutoCycle& autoCycle() { return autoCycle_; }
    RecordingPort& recordingPort() { return *recordingPort_; }
    Clock& clock() { return clock_; }

  private:
    void notify(int32_t id);
    SelectResult switchChannelLocked(int target);
    // Tells the user, once per run, that the receiver refuses its requests and what mends it.
    void tellNoReceiverPermission();
    int showMessage(const std::string& text, const std::string& caption);
    std::function<void()> waitPump() const;
    void positionLive();
    void refreshClientSize();
    void writerSettings();
    void readAndApplyAdjustments();
    PreAlarmPlan preAlarmPlan() const;  // under the recording lock

    EngineServices services_;
    Clock& clock_;
    std::unique_ptr<RecordingPort> recordingPort_;
    std::unique_ptr<SchedulePort> schedule_;

    // Transfer sinks outlive every graph that streams into them.
    VideoTransfer videoTransfer_;
    AudioTransfer audioTransfer_;
    ReceiverControl receiver_;
    AlarmSound alarmSound_;
    AlarmPoll alarmPoll_;
    AutoCycle autoCycle_;

    std::mutex engineLock_;  // connect: enumeration, build, live start
    // While a connect holds the engine lock, its thread's messages wait in deferred_ (touched
    // by that thread only) until the lock is released.
    std::atomic<std::thread::id> deferringThread_{};
    std::vector<std::pair<std::string, std::string>> deferred_;
    std::mutex switchLock_;     // the whole channel switch
    std::mutex displayLock_;    // frozen pictures
    std::mutex recordingLock_;  // recording start and stop

    std::vector<media::DeviceInfo> devices_;
    std::vector<media::DeviceInfo> seen_;
    bool enumerated_ = false;
    std::unique_ptr<media::CaptureGraph> graph_;  // UI thread only

    std::atomic<int> current_{0};
    std::atomic<LayoutMode> layoutMode_{LayoutMode::Single};
    std::atomic<bool> graphBuilt_{false};
    std::atomic<bool> live_{false};
    std::atomic<bool> paused_{false};
    std::atomic<bool> forceReselect_{false};
    std::atomic<bool> toldNoPermission_{false};
    // The device and formats of the last unusable-format message (UI thread): a device that
    // arrives again with the same formats is not announced again.
    std::string toldFormatsOf_;
    std::string graphDevicePath_;  // the device of graph_ (UI thread)
    std::atomic<bool> recording_{false};
    std::atomic<int32_t> standardInEffect_{0};
    std::atomic<int> clientWidth_{0};
    std::atomic<int> clientHeight_{0};
    // recordImageSize and recordFps at the last recording start (recording lock).
    int32_t recordedImageSize_ = 0;
    int32_t recordedFps_ = 0;
    CaptureReason recordedReason_ = CaptureReason::Manual;  // recording lock
    // The receiver's state as last told to the event log (0: not told yet), so that rebuilding
    // the graph for a new video standard is not a new connection.
    std::atomic<int32_t> receiverTold_{0};
    std::atomic<uint32_t> preAlarmSeconds_{0};  // the preference, refreshed by its listener
    int preferencesListener_ = 0;
    // The receiver choice ([device] path) the last enumeration matched with; under engineLock_.
    std::string matchedChoice_;

    std::array<StoredPicture, 4> frozen_;  // display lock
    std::array<SystemTime, 4> frozenTime_{};

    std::unique_ptr<FolderWatcher> pictureWatcher_;
    std::unique_ptr<FolderWatcher> recordWatcher_;

    void tellReceiver(ReceiverEvent what);
    void tellFormatUnusable(const std::string& devicePath, const std::string& offered);

    WorkerThread alarmThread_{"alarm-poll"};
    WorkerThread autoCycleThread_{"auto-cycle"};
    std::atomic<std::thread::id> autoCycleThreadId_{};
};

}  // namespace vidora
