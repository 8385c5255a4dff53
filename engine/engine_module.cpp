#include "engine/engine_module.h"

#include "app/messages.h"
#include "app/settings.h"
#include "platform/log/log.h"
#include "platform/relaxed.h"

namespace vidora {

namespace {
// The bus answers a command with 0 when it was done and -1 when not; the reason goes to the log.
int32_t busResult(const Result& result, const char* what) {
    if (result)
        return 0;
    qCInfo(log::engine) << what << "not started:" << result.reason().c_str();
    return -1;
}
}  // namespace

EngineModule::EngineModule(int32_t moduleNumber, EngineServices services) {
    this->moduleNumber = moduleNumber;
    // Starts from the saved flags, so that a channel disabled before the last exit cannot be
    // selected by number while "next" and click skip it.
    for (int i = 0; i < 4; ++i)
        channelEnabled_[i] = loadRelaxed(gState.channelEnabled[i]) ? 1 : 0;
    engine_ = std::make_unique<CaptureEngine>(std::move(services));
}

EngineModule::~EngineModule() = default;

// The engine starts even without a receiver (it waits for one), so starting never fails.
Result EngineModule::start() {
    engine_->moduleStart();
    state = 2;
    return Result::success();
}

void EngineModule::stop() {
    engine_->moduleStop();
    state = 3;
}

int32_t EngineModule::handleSend(BusMessage& message) {
    message.result = handle(message.id, message.value);
    return message.result;
}

void EngineModule::handlePost(std::unique_ptr<BusMessage> message) {
    if (message)
        handle(message->id, message->value);
}

int32_t EngineModule::handle(int32_t id, int32_t value) {
    CaptureEngine& e = *engine_;
    switch (id) {
        case APP_STARTED:
            return 0;
        case ENG_VIDEO_RECT_CHANGED:
            e.videoRectChanged();
            return 0;
        case ENG_TOGGLE_FULLSCREEN_LAYOUT:
            e.toggleFullScreenLayout();
            return 0;
        case ENG_LIVE_START:
            return busResult(e.startLive(), "live view");
        case ENG_RECORD_START:
            return busResult(e.startRecording(), "recording");
        case ENG_RECORD_STOP:
            e.stopRecording();
            return 0;
        case ENG_CHANNEL_NEXT:
            e.switchChannel(CaptureEngine::kNextChannel);
            return 0;
        case ENG_PAINT:
            e.paint();
            return 0;
        case ENG_TOGGLE_QUAD:
            e.toggleQuad();
            return 0;
        case ENG_CLICK_SELECT:
            e.clickSelect(pointX(value), pointY(value));
            return 0;
        case ENG_CHANNEL_ENABLE:
        case ENG_CHANNEL_DISABLE:
            if (value >= 0 && value <= 3) {
                const uint8_t enabled = id == ENG_CHANNEL_ENABLE ? 1 : 0;
                channelEnabled_[value] = enabled;
                storeRelaxed(gState.channelEnabled[value], enabled);
            }
            return 0;
        case ENG_CHANNEL_SELECT:
            if (value >= 0 && value <= 3 && channelEnabled_[value])
                e.switchChannel(value);
            return 0;
        case ENG_CYCLE_START:
            storeRelaxed(gState.autoCycleOn, 1);
            if (e.live())
                e.startAutoCycle();
            return 0;
        case ENG_CYCLE_STOP:
            storeRelaxed(gState.autoCycleOn, 0);
            e.stopAutoCycle();
            return 0;
        case ENG_SNAPSHOT:
            e.snapshot();
            return 0;
        case ENG_CONNECT:
            e.connect();
            return 0;
        case ENG_GRAPH_EVENT:
            e.handleGraphEvents();
            return 0;
        case ENG_LIVE_PAUSE:
            e.pauseLive();
            return 0;
        case ENG_SET_VOLUME:
            e.setVolume(value);
            return 0;
        case ENG_DISPLAY_CHANGED:
            e.displayChanged();
            return 0;
        case ENG_SETTINGS_CHANGED:
            e.settingsChanged();
            return 0;
        default:
            return 0;  // the registered ids that the engine ignores
    }
}

const std::vector<int32_t>& engineCommandIds() {
    static const std::vector<int32_t> ids = [] {
        std::vector<int32_t> v = {ENG_VIDEO_RECT_CHANGED,
                                  ENG_TOGGLE_FULLSCREEN_LAYOUT,
                                  APP_STARTED,
                                  ENG_LIVE_START,
                                  ENG_RECORD_START,
                                  ENG_RECORD_STOP,
                                  ENG_CHANNEL_NEXT,
                                  ENG_PAINT,
                                  ENG_TOGGLE_QUAD,
                                  ENG_CLICK_SELECT,
                                  ENG_CHANNEL_ENABLE,
                                  ENG_CHANNEL_DISABLE,
                                  ENG_CHANNEL_SELECT,
                                  ENG_CYCLE_START,
                                  ENG_CYCLE_STOP,
                                  ENG_SNAPSHOT,
                                  ENG_CONNECT,
                                  ENG_GRAPH_EVENT,
                                  ENG_LIVE_PAUSE,
                                  ENG_SET_VOLUME,
                                  ENG_DISPLAY_CHANGED,
                                  ENG_SETTINGS_CHANGED};
        for (int32_t id : kIgnoredEngineIds)
            v.push_back(id);
        return v;
    }();
    return ids;
}

void registerEngineModule(EngineFactories factories) {
    registerModule(kEngineModuleNumber, [factories](int32_t) -> std::unique_ptr<BusModule> {
        EngineServices services;
        if (factories.backend)
            services.backend = factories.backend();
        if (factories.soundPlayer)
            services.soundPlayer = factories.soundPlayer();
        if (factories.recording)
            services.recording = factories.recording();
        if (factories.schedule)
            services.schedule = factories.schedule();
        return std::make_unique<EngineModule>(kEngineModuleNumber, std::move(services));
    });
    for (int32_t id : engineCommandIds())
        routeMessage(id, kEngineModuleNumber);
}

void registerEngineModule(std::function<std::unique_ptr<media::MediaBackend>()> backendFactory,
                          std::function<std::unique_ptr<SoundPlayer>()> soundFactory) {
    EngineFactories factories;
    factories.backend = std::move(backendFactory);
    factories.soundPlayer = std::move(soundFactory);
    registerEngineModule(std::move(factories));
}

}  // namespace vidora
