#pragma once
// Registers the program's bus modules before start-up (module 1: the engine).
#include "programs/program.h"

namespace vidora {

void registerProgramModules(ReceiverKind receiver);

}  // namespace vidora
