#pragma once
// The viewer's side of the settings dialog callback (codes in settingsui/settingsui.h).
#include <cstdint>
#include <functional>

#include "platform/media/picture_settings.h"

namespace vidora {

std::intptr_t settingsCallback(int code, std::intptr_t value);

// Codes 1..4 store the value in the settings record and hand it to this applier (the engine
// sets it to apply the picture adjustment to the receiver at once).
void setAdjustmentApplier(std::function<void(media::AdjustmentKind kind, int value)> applier);

}  // namespace vidora
