#pragma once
#include <cstdint>
#include <vector>

#include "app/bus.h"

namespace vidora {
// Ids sent or posted on the bus since the last clear.
std::vector<int32_t>& sentBusMessages();
}  // namespace vidora
