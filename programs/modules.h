#pragma once
// Registers the program's bus modules before start-up (module 1: the engine).
#include <memory>

#include "programs/program.h"

namespace vidora {

namespace sim {
class SimulatedReceiver;
}

// Returns the simulated receiver the engine will use (null for real receivers).
std::shared_ptr<sim::SimulatedReceiver> registerProgramModules(ReceiverKind receiver);

}  // namespace vidora
