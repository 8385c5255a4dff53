#include "programs/modules.h"

#include <memory>

#include "engine/engine_module.h"
#include "engine/osd_stamp.h"
#include "engine/recording_bridge.h"
#include "engine/schedule/schedule_runner.h"
#include "platform/media/gst_backend.h"
#include "platform/sim/simulated_receiver.h"
#include "platform/sound/sound_player.h"

namespace vidora {

std::shared_ptr<sim::SimulatedReceiver> registerProgramModules(ReceiverKind receiver) {
    EngineFactories factories;
    std::shared_ptr<sim::SimulatedReceiver> simulated;
    if (receiver == ReceiverKind::Simulated) {
        // One simulated MR220 for the whole run, playing its demo alarm script.
        simulated = std::make_shared<sim::SimulatedReceiver>();
        simulated->setDemoScript(true);
        factories.backend = [simulated] { return sim::createSimulatedBackend(simulated); };
    } else {
        factories.backend = [] { return media::createGstBackend(); };
    }
    factories.soundPlayer = createSoundPlayer;
    factories.recording = [] {
        // Recorded pictures and snapshots carry the channel label and the time.
        auto bridge = std::make_unique<RecordingBridge>();
        bridge->setPictureStamp(osdPictureStamp());
        return bridge;
    };
    factories.schedule = [] { return std::make_unique<ScheduleRunner>(); };
    registerEngineModule(std::move(factories));
    return simulated;
}

}  // namespace vidora
