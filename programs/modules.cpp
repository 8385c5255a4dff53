#include "programs/modules.h"

#include <memory>

#include "engine/engine_module.h"
#include "platform/media/gst_backend.h"
#include "platform/sim/simulated_receiver.h"

namespace vidora {

void registerProgramModules(ReceiverKind receiver) {
    if (receiver == ReceiverKind::Simulated) {
        // One simulated MR220 for the whole run, playing its demo alarm script.
        auto simulated = std::make_shared<sim::SimulatedReceiver>();
        simulated->setDemoScript(true);
        registerEngineModule([simulated] { return sim::createSimulatedBackend(simulated); });
    } else {
        registerEngineModule([] { return media::createGstBackend(); });
    }
}

}  // namespace vidora
