#include "engine/capture_engine.h"

#include <algorithm>
#include <filesystem>
#include "engine/status_board.h"

#include "app/bus.h"
#include "app/live_config.h"
#include "app/message_box.h"
#include "app/messages.h"
#include "app/preference_keys.h"
#include "app/record_values.h"
#include "app/settings.h"
#include "app/settings_callback.h"
#include "app/storage.h"
#include "engine/status_board.h"
#include "engine/timer_state.h"
#include "platform/clock.h"
#include "platform/log/log.h"
#include "platform/relaxed.h"
#include "recording/relaxed_string.h"

namespace vidora {

namespace {

std::atomic<CaptureEngine*> gEngine{nullptr};

constexpr auto kThreadWaitStep = std::chrono::milliseconds(100);

// Takes a lock that a worker may hold while it waits for the user to close a message box (a
// recording that the writer refuses, a limit reached). On the UI thread the wait keeps showing
// those boxes, so the worker can finish and release the lock.
class PumpingLock {
  public:
    explicit PumpingLock(std::mutex& mutex) : mutex_(mutex) {
        if (onUiThread()) {
            while (!mutex_.try_lock()) {
                pumpMessageBoxes();
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
        } else {
            mutex_.lock();
        }
    }
    ~PumpingLock() {
        if (owned_)
            mutex_.unlock();
    }
    void unlock() {
        mutex_.unlock();
        owned_ = false;
    }
    PumpingLock(const PumpingLock&) = delete;
    PumpingLock& operator=(const PumpingLock&) = delete;

  private:
    std::mutex& mutex_;
    bool owned_ = true;
};
constexpr uint32_t kSettleAfterSelectMs = 200;
constexpr uint32_t kPauseAfterSwitchMs = 100;

// For starts whose failure the user has been told of already (or that a later step retries):
// the reason goes to the log.
void logIfFailed(const Result& result, const char* what) {
    if (!result)
        qCInfo(log::engine) << what << "not started:" << result.reason().c_str();
}

std::unique_ptr<RecordingPort> orDefault(std::unique_ptr<RecordingPort> port) {
    return port ? std::move(port) : std::make_unique<RecordingPort>();
}
std::unique_ptr<SchedulePort> orDefault(std::unique_ptr<SchedulePort> port) {
    return port ? std::move(port) : std::make_unique<SchedulePort>();
}

}  // namespace

CaptureEngine* CaptureEngine::instance() {
    return gEngine.load(std::memory_order_acquire);
}

CaptureEngine::CaptureEngine(EngineServices services)
    : services_(std::move(services)),
      clock_(services_.clock ? *services_.clock : processClock()),
      recordingPort_(orDefault(std::move(services_.recording))),
      schedule_(orDefault(std::move(services_.schedule))),
      videoTransfer_(*recordingPort_),
      audioTransfer_(*recordingPort_),
      alarmSound_(std::move(services_.soundPlayer), services_.alarmSoundPath),
      alarmPoll_(
          [this] {
              std::optional<uint8_t> status = receiver_.readStatus();
              if (!status && receiver_.noPermission())
                  tellNoReceiverPermission();
              return status;
          },
          alarmSound_, clock_),
      autoCycle_([this] { switchChannel(kNextChannel); }, clock_) {
    if (!services_.notify)
        services_.notify = [](int32_t id) { sendMessage(id, 0); };
    if (!services_.messageBox)
        services_.messageBox = userMessageBox;
    videoTransfer_.setNominalSize(
        media::kNominalVideoWidth,
        media::nominalVideoHeight(media::videoStandardOf(loadRelaxed(gConfig.videoStandard))));
    setAdjustmentApplier(
        [this](media::AdjustmentKind kind, int value) { applyAdjustment(kind, value); });
    gEngine.store(this, std::memory_order_release);
    if (services_.backend) {
        services_.backend->setArrivalNotify([] {
            if (VideoWindow* window = videoWindow())
                window->postDeviceArrival();
        });
    }
    // The writer tells when a recording stops or starts again being written: the record marks
    // follow.
    recordingPort_->setStallNotice([this] { notify(NTF_RECORD_STATE); });
    // A confirmed "More settings" dialog applies its seconds at once.
    preAlarmSeconds_ = static_cast<uint32_t>(preferences().get(kPreAlarmSeconds));
    preferencesListener_ = preferences().addListener([this] {
        preAlarmSeconds_ = static_cast<uint32_t>(preferences().get(kPreAlarmSeconds));
        updatePreAlarm();
        // A receiver newly chosen while none is connected is tried at once, the way an
        // arriving device is; a connected one changes at the next connect (a recording may run).
        bool tryChoice = false;
        {
            std::lock_guard lock(engineLock_);
            tryChoice = !graphBuilt() && preferences().get(kReceiverDevice) != matchedChoice_;
        }
        if (VideoWindow* window = videoWindow(); tryChoice && window)
            window->postDeviceArrival();
    });
    if (services_.folderWatchers) {
        pictureWatcher_ = std::make_unique<FolderWatcher>(
            &gState.pictureFolderMB, loadRelaxedString(gConfig.pictureFolder),
            [this] { eventSink().foldersChanged(eventTimeNow(clock_)); });
        recordWatcher_ = std::make_unique<FolderWatcher>(
            &gState.recordFolderMB, loadRelaxedString(gConfig.recordFolder), [this] {
                eventSink().foldersChanged(eventTimeNow(clock_));
                notify(NTF_RECORD_STATE);
            });
        recordWatcher_->setGoneNotice([this] { recordingPort_->recordFolderGone(); });
        pictureWatcher_->start();
        recordWatcher_->start();
    }
}

CaptureEngine::~CaptureEngine() {
    preferences().removeListener(preferencesListener_);
    if (pictureWatcher_)
        pictureWatcher_->stop();
    if (recordWatcher_)
        recordWatcher_->stop();
    stopLive();
    stopAutoCycle();
    teardownGraph();
    recordingPort_->setStallNotice({});
    setAdjustmentApplier({});
    if (services_.backend)
        services_.backend->setArrivalNotify({});
    CaptureEngine* self = this;
    gEngine.compare_exchange_strong(self, nullptr);
}

void CaptureEngine::notify(int32_t id) {
    services_.notify(id);
}

int CaptureEngine::showMessage(const std::string& text, const std::string& caption) {
    if (deferringThread_.load() == std::this_thread::get_id()) {
        deferred_.emplace_back(text, caption);
        return IDOK;
    }
    return services_.messageBox(text, caption, MB_OK);
}

std::function<void()> CaptureEngine::waitPump() const {
    // On the UI thread a waited-for worker may be blocked in a message box: keep showing them.
    if (onUiThread())
        return [] { pumpMessageBoxes(); };
    return {};
}

// ---------------------------------------------------------------------------------------------
// Module lifecycle

void CaptureEngine::moduleStart() {
    enumerateReceivers();
    refreshClientSize();
    const Result built = buildGraph(0);
    statusBoard().setLink(built.ok() ? ReceiverLink::Connected : ReceiverLink::NotFound);
    logIfFailed(built, "capture graph");
    setLayoutMode(loadRelaxed(gState.quadLayout) ? LayoutMode::Quad : LayoutMode::Single);
    logIfFailed(startLive(), "live view");
    if (loadRelaxed(gState.autoCycleOn))
        startAutoCycle();
}

void CaptureEngine::moduleStop() {
    stopLive();
    stopAutoCycle();
    teardownGraph();
}

// ---------------------------------------------------------------------------------------------
// Receivers and graph

std::vector<media::DeviceInfo> matchReceivers(const std::vector<media::DeviceInfo>& devices,
                                              const std::string& chosenPath) {
    std::vector<media::DeviceInfo> matched;
    if (!chosenPath.empty()) {
        for (const media::DeviceInfo& device : devices) {
            std::error_code ec;
            if (device.path == chosenPath ||
                std::filesystem::equivalent(device.path, chosenPath, ec))
                matched.push_back(device);
        }
        if (!matched.empty())
            return matched;
        qCWarning(log::engine) << "the chosen receiver" << chosenPath.c_str()
                               << "is not among the capture devices; looking for"
                               << media::kReceiverName;
    }
    for (const media::DeviceInfo& device : devices) {
        if (device.name == media::kReceiverName)
            matched.push_back(device);
    }
    return matched;
}

std::vector<media::DeviceInfo> CaptureEngine::listCaptureDevices() {
    if (!services_.backend)
        return {};
    return services_.backend->enumerateVideoInputs().value_or(std::vector<media::DeviceInfo>{});
}

bool CaptureEngine::enumerateReceivers() {
    devices_.clear();
    seen_.clear();
    if (!services_.backend)
        return false;
    auto inputs = services_.backend->enumerateVideoInputs();
    if (!inputs) {
        qCWarning(log::engine) << "video capture devices cannot be listed";
        return false;
    }
    seen_ = *inputs;
    for (const auto& device : seen_) {
        qCInfo(log::engine) << "video capture device" << device.path.c_str() << "named"
                            << device.name.c_str();
    }
    matchedChoice_ = preferences().get(kReceiverDevice);
    devices_ = matchReceivers(seen_, matchedChoice_);
    if (devices_.empty()) {
        std::string seen;
        for (const auto& device : seen_)
            seen += (seen.empty() ? "" : ", ") + device.path + " \"" + device.name + "\"";
        qCWarning(log::engine).noquote()
            << "no receiver among the capture devices (" << (seen.empty() ? "none" : seen.c_str())
            << "): none is named" << media::kReceiverName
            << "and none was chosen in More settings or with --device";
    }
    enumerated_ = true;
    return !devices_.empty();
}

Result CaptureEngine::buildGraph(int device) {
    if (graph_)
        return {};
    if (!enumerated_ || device < 0 || static_cast<std::size_t>(device) >= devices_.size()) {
        tellReceiver(ReceiverEvent::NotFound);
        showMessage(kNoReceiverText, "");
        return Failure{"no receiver is connected"};
    }
    VideoWindow* window = videoWindow();
    if (!window)
        return Failure{"there is no video window"};
    std::unique_ptr<media::CaptureGraph> graph =
        services_.backend ? services_.backend->createGraph() : nullptr;
    if (!graph) {
        showMessage("", "error");
        return Failure{"the capture graph cannot be created"};
    }
    const int32_t stored = loadRelaxed(gConfig.videoStandard);
    const media::VideoStandard standard = media::videoStandardOf(stored);
    const media::BuildResult built =
        graph->build(devices_[device], standard, &videoTransfer_, &audioTransfer_);
    static constexpr const char* kBuildTexts[] = {"built", "not created", "not bound to the device",
                                                  "without a video path",
                                                  "without a picture format it can show"};
    qCInfo(log::engine) << "capture graph on" << devices_[device].path.c_str()
                        << kBuildTexts[static_cast<int>(built)] << "sound:"
                        << (built == media::BuildResult::Ok && graph->hasAudio() ? "yes" : "no");
    switch (built) {
        case media::BuildResult::Ok:
            break;
        case media::BuildResult::GraphCreateFailed:
            showMessage("", "error");
            return Failure{"the capture graph cannot be created"};
        case media::BuildResult::BindFailed:
            showMessage(kBindFailedText, "error");
            return Failure{"the capture graph cannot be bound to the receiver"};
        case media::BuildResult::VideoRenderFailed:
            standardInEffect_ = stored;
            showMessage(kReceiverBusyText, "error");
            return Failure{"the receiver's video cannot be rendered"};
        case media::BuildResult::FormatUnusable:
            tellFormatUnusable(devices_[device].path, graph->offeredFormats());
            return Failure{"the receiver offers no picture format that can be shown"};
    }
    standardInEffect_ = stored;
    videoTransfer_.setNominalSize(media::kNominalVideoWidth, media::nominalVideoHeight(standard));
    {
        // Until a channel is left, its cell shows black.
        const bool known = videoTransfer_.formatKnown();
        const int w = known ? videoTransfer_.width() : media::kNominalVideoWidth;
        const int h = known ? videoTransfer_.height() : media::nominalVideoHeight(standard);
        std::lock_guard lock(displayLock_);
        for (int i = 0; i < 4; ++i) {
            frozen_[i] = StoredPicture(w / 2, h / 2);
            frozenTime_[i] = SystemTime{};
        }
    }
    graph_ = std::move(graph);
    graphDevicePath_ = devices_[device].path;
    receiver_.setGraph(graph_.get());
    videoTransfer_.setWindow(window);
    refreshClientSize();
    graphBuilt_ = true;
    tellReceiver(ReceiverEvent::Connected);
    positionLive();
    paint();
    readAndApplyAdjustments();
    return {};
}

void CaptureEngine::readAndApplyAdjustments() {
    media::AdjustTable table{};
    if (graph_->readAdjustments(table)) {
        std::array<std::optional<std::pair<int32_t, int32_t>>, 4> replaced;  // stored, new
        updateConfig([&table, &replaced](VidoraConfig& c) {
            for (int k = 0; k < 4; ++k) {
                c.adjustMin[k] = table[k].minimum;
                c.adjustMax[k] = table[k].maximum;
                c.adjustDefault[k] = table[k].defaultValue;
            }
            c.adjustDefault[1] = 0;  // sharpness defaults to off
            // A stored value this device cannot take (the first defaults suit the original
            // receiver's range; another device would clamp them to full brightness, contrast
            // and saturation) becomes the device's default, applied and stored.
            int32_t* values[4] = {&c.brightness, &c.sharpness, &c.contrast, &c.saturation};
            for (int k = 0; k < 4; ++k) {
                if (c.adjustMin[k] > c.adjustMax[k])
                    continue;  // no usable range
                if (*values[k] >= c.adjustMin[k] && *values[k] <= c.adjustMax[k])
                    continue;
                const int32_t fallback =
                    std::clamp(c.adjustDefault[k], c.adjustMin[k], c.adjustMax[k]);
                replaced[k] = std::pair(*values[k], fallback);
                *values[k] = fallback;
            }
        });
        for (int k = 0; k < 4; ++k) {
            if (replaced[k]) {
                qCInfo(log::engine)
                    << "adjustment" << k + 1 << "stored as" << replaced[k]->first
                    << "lies outside the device's range and becomes" << replaced[k]->second;
            }
        }
    }
    graph_->setAdjustment(media::AdjustmentKind::Brightness, loadRelaxed(gConfig.brightness));
    graph_->setAdjustment(media::AdjustmentKind::Sharpness, loadRelaxed(gConfig.sharpness));
    graph_->setAdjustment(media::AdjustmentKind::Contrast, loadRelaxed(gConfig.contrast));
    graph_->setAdjustment(media::AdjustmentKind::Saturation, loadRelaxed(gConfig.saturation));
}

void CaptureEngine::applyAdjustment(media::AdjustmentKind kind, int32_t value) {
    if (graph_)
        graph_->setAdjustment(kind, value);
}

void CaptureEngine::teardownGraph() {
    if (!graph_)
        return;
    recordingPort_->detachWriter();
    graphBuilt_ = false;
    // Detaching waits for a vendor request in flight; after that nobody reaches the graph.
    receiver_.setGraph(nullptr);
    std::unique_ptr<media::CaptureGraph> graph = std::move(graph_);
    graph->setEventNotify({});
    graph->stop();
    videoTransfer_.setActive(false);
    graph.reset();
    videoTransfer_.setWindow(nullptr);
    std::lock_guard lock(displayLock_);
    for (auto& picture : frozen_)
        picture = StoredPicture();
}

void CaptureEngine::connect() {
    // A message box runs an event loop, which may deliver a device arrival that connects again
    // on this same thread: the messages of a connect are shown once its lock is released.
    std::vector<std::pair<std::string, std::string>> messages;
    {
        std::lock_guard lock(engineLock_);
        if (graph_)
            return;
        deferringThread_.store(std::this_thread::get_id());
        StatusBoard& board = statusBoard();
        // After an unplug the viewer is reconnecting until the graph stands again; a failed
        // attempt leaves it unplugged (another device may have arrived).
        const ReceiverLink before = board.link();
        const bool again =
            before == ReceiverLink::Unplugged || before == ReceiverLink::Reconnecting;
        if (again)
            board.setLink(ReceiverLink::Reconnecting);
        if (enumerateReceivers() && buildGraph(0)) {
            board.setLink(ReceiverLink::Connected);
            logIfFailed(startLive(), "live view");
        } else {
            board.setLink(again ? ReceiverLink::Unplugged : ReceiverLink::NotFound);
        }
        deferringThread_.store(std::thread::id());
        messages.swap(deferred_);
    }
    for (const auto& [text, caption] : messages)
        services_.messageBox(text, caption, MB_OK);
}

void CaptureEngine::handleGraphEvents() {
    if (!graph_)
        return;
    media::GraphEvent event;
    bool lost = false;
    bool refused = false;
    while (graph_->nextEvent(event)) {
        refused = event.code == media::kEventFormatRejected;
        if (refused || event.code == media::kEventComplete ||
            event.code == media::kEventUserAbort || event.code == media::kEventErrorAbort ||
            (event.code == media::kEventDeviceLost && event.removed && event.isCaptureDevice)) {
            qCInfo(log::engine) << "the capture graph ended: event" << event.code;
            lost = true;
            break;
        }
    }
    if (!lost)
        return;
    if (refused) {
        // The receiver is there but would not deliver the format it offered: connecting again
        // cannot help, and it was not unplugged.
        const std::string offered = graph_->offeredFormats();
        const std::string device = graphDevicePath_;
        statusBoard().setLink(ReceiverLink::NotFound);
        stopLive();
        teardownGraph();
        tellFormatUnusable(device, offered);
        return;
    }
    tellReceiver(ReceiverEvent::Unplugged);
    // The recording that stops with live view ends because the receiver went.
    recordingPort_->setRecordingEnd(RecordingEnd::Unplugged);
    statusBoard().setLink(ReceiverLink::Unplugged);
    stopLive();
    teardownGraph();
    showMessage(kReceiverUnpluggedText, "");
}

std::string formatUnusableText(const std::string& offered) {
    return "The receiver's video cannot be shown: it offers " +
           (offered.empty() ? std::string("no picture format") : "only " + offered) +
           ". Vidora shows raw video (such as YUY2 or UYVY) and MJPEG.";
}

void CaptureEngine::tellFormatUnusable(const std::string& devicePath, const std::string& offered) {
    const std::string text = formatUnusableText(offered);
    qCWarning(log::engine).noquote() << (devicePath + ": " + text).c_str();
    std::string told = devicePath + '\n' + offered;
    if (told == toldFormatsOf_)
        return;
    toldFormatsOf_ = std::move(told);
    showMessage(text, "error");
}

// ---------------------------------------------------------------------------------------------
// Live view

void CaptureEngine::writerSettings() {
    // Also called on the record timer's thread, while the UI thread may rewrite the settings.
    recordingPort_->setWriterSettings(
        loadRelaxedString(gConfig.recordFolder),
        static_cast<uint64_t>(loadRelaxed(gConfig.recordFileMB)) * 1048576u);
}

Result CaptureEngine::startLive() {
    if (live_)
        return {};
    if (!graph_)
        return Failure{"there is no capture graph"};
    const bool resuming = paused_;
    if (!resuming) {
        writerSettings();
        recordingPort_->attachWriter();
        graph_->setEventNotify([] {
            if (VideoWindow* window = videoWindow())
                window->postGraphNotify();
        });
    }
    videoTransfer_.setActive(true);
    if (!graph_->run()) {
        graph_->stop();
        videoTransfer_.setActive(false);
        qCWarning(log::engine) << "the capture graph does not run";
        return Failure{"the capture graph does not run"};
    }
    live_ = true;
    storeRelaxed(gState.liveViewOn, 1);
    graph_->setVolume(volumeToHundredthsDb(loadRelaxed(gState.audioVolume)));
    notify(NTF_LIVE_STATE);
    const int channel = loadRelaxed(gState.currentChannel);
    current_ = (channel >= 0 && channel <= 3) ? channel : 0;
    if (!resuming) {
        receiver_.startSelectThreads();
        alarmThread_.start([this](WorkerThread& self) {
            while (self.sleepFor(kAlarmPollPeriodMs)) {
                alarmPoll_.tick();
                // A recording start that waits for the user holds the recording lock: the
                // polls go on meanwhile, and the next one that finds it free brings the ring up
                // to date.
                std::unique_lock lock(recordingLock_, std::try_to_lock);
                if (lock.owns_lock())
                    recordingPort_->setPreAlarm(preAlarmPlan());
            }
        });
        schedule_->startSupervisor();
        forceReselect_ = true;
        switchChannel(current_);
    }
    paused_ = false;
    storeRelaxed(gState.livePaused, 0);
    // Read again: the preferences may have been loaded after the engine was made.
    preAlarmSeconds_ = static_cast<uint32_t>(preferences().get(kPreAlarmSeconds));
    updatePreAlarm();
    return {};
}

void CaptureEngine::pauseLive() {
    if (!live_ || !graph_)
        return;
    live_ = false;
    paused_ = true;
    storeRelaxed(gState.livePaused, 1);
    alarmSound_.stop();
    stopRecording();
    updatePreAlarm();  // paused: nothing is kept, and what was is not this alarm's past
    graph_->pause();
}

void CaptureEngine::stopLive() {
    if (!live_ && !paused_)
        return;
    alarmSound_.stop();
    stopAutoCycle();
    if (graph_)
        graph_->setEventNotify({});
    stopRecording();
    if (graph_)
        graph_->stop();
    videoTransfer_.setActive(false);
    live_ = false;
    paused_ = false;
    storeRelaxed(gState.liveViewOn, 0);
    storeRelaxed(gState.livePaused, 0);
    updatePreAlarm();
    // A poll that was under way while the steps above ran may have started the sound again;
    // from here on none can.
    alarmSound_.stop();
    notify(NTF_LIVE_STATE);

    receiver_.requestStopSelectThreads();
    alarmThread_.requestStop();
    schedule_->requestStopSupervisor();
    const auto pump = waitPump();
    receiver_.waitSelectThreadsEnded(kThreadWaitStep, pump);
    alarmThread_.waitEnded(kThreadWaitStep, pump);
    alarmPoll_.endAlarms();
    schedule_->waitSupervisorEnded(pump);
}

bool CaptureEngine::alarmThreadsAlive() const {
    return receiver_.selectThreadsAlive() || alarmThread_.alive();
}

// ---------------------------------------------------------------------------------------------
// Channels

void CaptureEngine::switchChannel(int target) {
    if (!live_)
        return;
    // Told after the switch lock is released: the box waits for the user.
    if (switchChannelLocked(target) == SelectResult::NoPermission)
        tellNoReceiverPermission();
}

SelectResult CaptureEngine::switchChannelLocked(int target) {
    PumpingLock switchLock(switchLock_);
    const int left = current_;
    int n = target;
    if (target == kNextChannel) {
        n = (left + 1) & 3;
        while (n != left && !loadRelaxed(gState.channelEnabled[n]))
            n = (n + 1) & 3;
        if (n == left)
            return SelectResult::Selected;  // no other enabled channel
    } else if (target < 0 || target > 3) {
        return SelectResult::Selected;
    }
    if (n == left && !forceReselect_)
        return SelectResult::Selected;
    forceReselect_ = false;
    if (!graphBuilt_ || layoutMode_ == LayoutMode::None) {
        current_ = n;
        storeRelaxed(gState.currentChannel, n);
        return SelectResult::Selected;
    }
    const SelectResult selected = receiver_.selectChannel(n);
    if (selected != SelectResult::Selected) {
        // The receiver stays where it was, and so do the channel, its label and the pictures
        // and recordings named after it.
        qCWarning(log::engine) << "the receiver was not switched to CH" << n + 1
                               << "and stays on CH" << left + 1;
        return selected;
    }
    current_ = n;
    {
        std::lock_guard display(displayLock_);
        frozen_[left] = videoTransfer_.makeStoredPicture(SizeMode::HalfSize);
        frozenTime_[left] = clock_.localTime();
    }
    clock_.sleepMs(kSettleAfterSelectMs);

    {
        // Pictures of the channel left, and of the switch, are not an alarm's past here.
        PumpingLock lock(recordingLock_);
        recordingPort_->clearPreAlarm();
    }
    // The alarm and the work bound to other channels end with the switch, in one step against
    // the schedule's timers; the recording stops outside the timer lock.
    if (applyChannelSwitch(n))
        stopRecording();
    positionLive();
    paint();
    notify(NTF_CHANNEL_CHANGED);
    clock_.sleepMs(kPauseAfterSwitchMs);
    return SelectResult::Selected;
}

void CaptureEngine::tellNoReceiverPermission() {
    if (toldNoPermission_.exchange(true))
        return;
    qCWarning(log::engine) << kNoReceiverPermissionText;
    showMessage(kNoReceiverPermissionText, "");
}

void CaptureEngine::holdingChannel(const std::function<void()>& work) {
    PumpingLock switchLock(switchLock_);
    work();
}

void CaptureEngine::clickSelect(int x, int y) {
    const int hit = hitTestCells(x, y, layoutMode_, current_, clientWidth_, clientHeight_);
    if (hit >= 0 && loadRelaxed(gState.channelEnabled[hit]))
        switchChannel(hit);
}

// ---------------------------------------------------------------------------------------------
// Recording

void CaptureEngine::tellReceiver(ReceiverEvent what) {
    if (receiverTold_.exchange(static_cast<int32_t>(what)) != static_cast<int32_t>(what))
        eventSink().receiver(eventTimeNow(clock_), what);
}

Result CaptureEngine::startRecording(CaptureReason reason) {
    {
        PumpingLock lock(recordingLock_);
        if (!live_)
            return Failure{"live view is not running"};
        if (recording_)
            return Failure{"a recording runs already"};
        recordedReason_ = reason;
        recordingPort_->setRecordingCause(reason);
        recordedImageSize_ = loadRelaxed(gConfig.recordImageSize);
        recordedFps_ = loadRelaxed(gConfig.recordFps);
        writerSettings();
        const Result started = reason == CaptureReason::Alarm
                                   ? recordingPort_->startAlarmRecording()
                                   : recordingPort_->startRecording();
        if (!started.ok()) {
            lock.unlock();
            notify(NTF_RECORD_STATE);  // lets the UI reset its record button
            return started;
        }
        recording_ = true;
        storeRelaxed(gState.recordingOn, 1);
        statusBoard().setRecordingStart(clock_.tickCount());
    }
    notify(NTF_RECORD_STATE);
    return {};
}

void CaptureEngine::stopRecording() {
    {
        PumpingLock lock(recordingLock_);
        if (!recording_)
            return;
        recordingPort_->stopRecording();
        storeRelaxed(gState.recordingOn, 0);
        recording_ = false;
        statusBoard().setRecordingStart(std::nullopt);
        // The next alarm's past starts being kept at once.
        recordingPort_->setPreAlarm(preAlarmPlan());
    }
    notify(NTF_RECORD_STATE);
}

PreAlarmPlan CaptureEngine::preAlarmPlan() const {
    PreAlarmPlan plan;
    const uint32_t seconds = preAlarmSeconds_.load();
    const int channel = current_.load();
    if (seconds == 0 || !live_ || paused_ || recording_ || channel < 0 || channel > 3 ||
        !loadRelaxed(gConfig.alarmRecord)) {
        return plan;
    }
    // Only where an alarm can start a recording: its switch on and the channel watched.
    const bool motion = loadRelaxed(gState.motionAlarmOn) != 0 &&
                        loadRelaxed(gConfig.motionAlarmChannel[channel]) != 0;
    const bool sound = loadRelaxed(gState.soundAlarmOn) != 0 &&
                       loadRelaxed(gConfig.soundAlarmChannel[channel]) != 0;
    if (!motion && !sound)
        return plan;
    plan.seconds = seconds;
    plan.channel = channel;
    plan.sizeMode = loadRelaxed(gConfig.recordImageSize);
    plan.fps = loadRelaxed(gConfig.recordFps);
    plan.width = loadRelaxed(gState.videoWidth);
    plan.height = loadRelaxed(gState.videoHeight);
    return plan;
}

void CaptureEngine::updatePreAlarm() {
    PumpingLock lock(recordingLock_);
    recordingPort_->setPreAlarm(preAlarmPlan());
}

// ---------------------------------------------------------------------------------------------
// Auto-cycle, volume, settings, snapshot

void CaptureEngine::startAutoCycle() {
    if (autoCycleThread_.alive())
        return;
    autoCycleThread_.start([this](WorkerThread& self) {
        autoCycleThreadId_ = std::this_thread::get_id();
        autoCycle_.begin();
        storeRelaxed(gState.autoCycleRunning, 1);
        while (self.sleepFor(kAutoCyclePeriodMs))
            autoCycle_.tick();
        storeRelaxed(gState.autoCycleRunning, 0);
    });
}

void CaptureEngine::stopAutoCycle() {
    autoCycleThread_.requestStop();
    // A notice handler running on the auto-cycle thread may ask for the stop: it cannot wait
    // for itself, and the thread ends after its current tick.
    if (autoCycleThread_.alive() && autoCycleThreadId_.load() == std::this_thread::get_id())
        return;
    autoCycleThread_.waitEnded(kThreadWaitStep, waitPump());
}

void CaptureEngine::setVolume(int volume) {
    if (!live_ || !graph_)
        return;
    const int v = volume < 0 ? 0 : (volume > 100 ? 100 : volume);
    graph_->setVolume(volumeToHundredthsDb(v));
    storeRelaxed(gState.audioVolume, v);
}

void CaptureEngine::settingsChanged() {
    if (!loadRelaxed(gConfig.alarmSound))
        alarmSound_.stop();

    if (loadRelaxed(gConfig.videoStandard) != standardInEffect_) {
        const bool cycled = autoCycleThread_.alive();
        stopLive();
        teardownGraph();
        const Result built = buildGraph(0);
        statusBoard().setLink(built.ok() ? ReceiverLink::Connected : ReceiverLink::NotFound);
        logIfFailed(built, "capture graph");
        logIfFailed(startLive(), "live view");
        if (cycled && live_)
            startAutoCycle();
    }

    storeRelaxed(gTimer.forceDayListRebuild, 1);

    const std::string pictureFolder = loadRelaxedString(gConfig.pictureFolder);
    const std::string recordFolder = loadRelaxedString(gConfig.recordFolder);
    if (pictureWatcher_)
        pictureWatcher_->setFolder(pictureFolder);
    if (recordWatcher_)
        recordWatcher_->setFolder(recordFolder);
    (void)folderSizeMB(pictureFolder.c_str());
    (void)folderSizeMB(recordFolder.c_str());  // refreshes recordFolderHasFiles
    notify(NTF_RECORD_STATE);
    writerSettings();

    bool formatChanged = false;
    {
        // A timer thread may be starting a recording and remembering its format right now.
        PumpingLock lock(recordingLock_);
        formatChanged = loadRelaxed(gConfig.recordImageSize) != recordedImageSize_ ||
                        loadRelaxed(gConfig.recordFps) != recordedFps_;
    }
    if (formatChanged) {
        const bool wasRecording = recording_;
        CaptureReason reason = CaptureReason::Manual;
        if (wasRecording) {
            {
                PumpingLock lock(recordingLock_);
                reason = recordedReason_;
            }
            stopRecording();
        }
        videoTransfer_.passFormat();
        audioTransfer_.passFormat();
        if (wasRecording)
            logIfFailed(startRecording(reason), "recording");
    }
    // What was kept was taken with the settings before; the plan takes the new ones.
    {
        PumpingLock lock(recordingLock_);
        recordingPort_->clearPreAlarm();
    }
    updatePreAlarm();
}

void CaptureEngine::snapshot() {
    const PictureWriteResult result = takeSnapshot();
    // The user sees the snapshot's name; alarm and task photos are not announced one by one.
    if (result)
        statusBoard().snapshotTaken(result.path, clock_.tickCount());
    if (const auto box = pictureFailureBox(result))
        services_.messageBox(box->text, box->caption, box->type);
}

PictureWriteResult CaptureEngine::takeSnapshot(CaptureReason reason) {
    if (!graphBuilt_)
        return {};
    const int channel = current_;
    PictureWriteResult result = recordingPort_->takeSnapshot(videoTransfer_);
    if (result && !result.path.empty()) {
        eventSink().snapshotTaken(eventTimeNow(clock_), result.path,
                                  static_cast<EventChannel>(channel + 1), reason);
    }
    return result;
}

StoredPicture CaptureEngine::makeStoredPicture(SizeMode mode) {
    return videoTransfer_.makeStoredPicture(mode);
}

// ---------------------------------------------------------------------------------------------
// Video area

void CaptureEngine::refreshClientSize() {
    if (VideoWindow* window = videoWindow()) {
        const VideoSize size = window->clientSize();
        clientWidth_ = size.width;
        clientHeight_ = size.height;
    }
}

void CaptureEngine::positionLive() {
    const int channel = current_;
    videoTransfer_.setLiveCell(
        cellOfChannel(channel, layoutMode_, channel, clientWidth_, clientHeight_), channel);
}

void CaptureEngine::setLayoutMode(LayoutMode mode) {
    layoutMode_ = mode;
    storeRelaxed(gState.quadLayout, isQuadLayout(mode) ? 1 : 0);
    positionLive();
    if (isQuadLayout(mode)) {
        if (VideoWindow* window = videoWindow())
            window->invalidate(true);
    }
    paint();
}

void CaptureEngine::toggleQuad() {
    setLayoutMode(toggledQuadMode(layoutMode_));
}

void CaptureEngine::toggleFullScreenLayout() {
    setLayoutMode(toggledFullScreenMode(layoutMode_));
}

void CaptureEngine::videoRectChanged() {
    refreshClientSize();
    positionLive();
    if (VideoWindow* window = videoWindow())
        window->invalidate(true);
}

void CaptureEngine::paint() {
    if (!graphBuilt_ || layoutMode_ == LayoutMode::None)
        return;
    if (VideoWindow* window = videoWindow())
        window->repaint();
}

void CaptureEngine::displayChanged() {
    if (VideoWindow* window = videoWindow())
        window->displayModeChanged();
}

void CaptureEngine::withDisplay(const std::function<void(const DisplayView&)>& reader) {
    std::lock_guard lock(displayLock_);
    DisplayView view;
    view.layoutMode = layoutMode_;
    view.currentChannel = current_;
    view.live = live_;
    view.paused = paused_;
    view.graphBuilt = graphBuilt_;
    view.client = {clientWidth_, clientHeight_};
    for (int i = 0; i < 4; ++i) {
        view.cells[i] = cellOfChannel(i, view.layoutMode, view.currentChannel, view.client.width,
                                      view.client.height);
        view.frozen[i] = frozen_[i].empty() ? nullptr : &frozen_[i];
        view.frozenTime[i] = frozenTime_[i];
    }
    reader(view);
}

}  // namespace vidora
