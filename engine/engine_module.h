#pragma once
// Bus module 1: the engine's two entry points on the application bus. Created by the bus's
// factory and owned by the ViewerApp; owns the CaptureEngine. Commands are handled on the
// sender's thread (the UI thread, except posts from workers).
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "app/bus.h"
#include "engine/capture_engine.h"
#include "platform/sound/sound_player.h"

namespace vidora {

inline constexpr int32_t kEngineModuleNumber = 1;

class EngineModule final : public BusModule {
  public:
    EngineModule(int32_t moduleNumber, EngineServices services);
    ~EngineModule() override;

    int32_t handleSend(BusMessage& message) override;
    void handlePost(std::unique_ptr<BusMessage> message) override;
    Result start() override;
    void stop() override;

    CaptureEngine& engine() { return *engine_; }

  private:
    int32_t handle(int32_t id, int32_t value);

    std::unique_ptr<CaptureEngine> engine_;
    uint8_t channelEnabled_[4] = {1, 1, 1, 1};  // the module's own copy (ENG_CHANNEL_SELECT)
};

// Factories of what the engine is built from; empty ones give the defaults of EngineServices.
struct EngineFactories {
    std::function<std::unique_ptr<media::MediaBackend>()> backend;
    std::function<std::unique_ptr<SoundPlayer>()> soundPlayer;
    std::function<std::unique_ptr<RecordingPort>()> recording;
    std::function<std::unique_ptr<SchedulePort>()> schedule;
};

// Registers module 1 and routes every engine command id (handled and ignored) to it. The
// programs call it at the top of main, before the ViewerApp runs.
void registerEngineModule(EngineFactories factories);
// The same with the GStreamer alarm sound player.
void registerEngineModule(
    std::function<std::unique_ptr<media::MediaBackend>()> backendFactory,
    std::function<std::unique_ptr<SoundPlayer>()> soundFactory = createSoundPlayer);

// Every id the engine module registers with the bus.
const std::vector<int32_t>& engineCommandIds();

}  // namespace vidora
