#include "programs/modules.h"

namespace vidora {

void registerProgramModules(ReceiverKind) {
    // The engine module registers here once it exists.
}

}  // namespace vidora
