#include "app/settings_callback.h"

#include <mutex>

#include "app/live_config.h"
#include "app/settings.h"
#include "app/task_list.h"
#include "settingsui/settingsui.h"

namespace vidora {

namespace {
using Applier = std::function<void(media::AdjustmentKind, int)>;
Applier& applier() {
    static Applier f;
    return f;
}

// The dialog's adjustment codes are the adjustment kinds.
static_assert(CFG_CB_BRIGHTNESS == static_cast<int>(media::AdjustmentKind::Brightness));
static_assert(CFG_CB_SHARPNESS == static_cast<int>(media::AdjustmentKind::Sharpness));
static_assert(CFG_CB_CONTRAST == static_cast<int>(media::AdjustmentKind::Contrast));
static_assert(CFG_CB_SATURATION == static_cast<int>(media::AdjustmentKind::Saturation));
}  // namespace

void setAdjustmentApplier(Applier f) {
    applier() = std::move(f);
}

std::intptr_t settingsCallback(int code, std::intptr_t value) {
    TaskList& list = taskList();
    auto* record = reinterpret_cast<TaskRecord*>(value);
    switch (code) {
        case CFG_CB_BRIGHTNESS:
        case CFG_CB_SHARPNESS:
        case CFG_CB_CONTRAST:
        case CFG_CB_SATURATION: {
            int v = static_cast<int>(value);
            int32_t VidoraConfig::*fields[] = {&VidoraConfig::brightness, &VidoraConfig::sharpness,
                                               &VidoraConfig::contrast, &VidoraConfig::saturation};
            updateConfig([&](VidoraConfig& c) { c.*fields[code - 1] = v; });
            if (applier())
                applier()(static_cast<media::AdjustmentKind>(code), v);
            return 0;
        }
        case CFG_CB_NEW_TASK:
            return reinterpret_cast<std::intptr_t>(list.allocate());
        case CFG_CB_FREE_TASK:
            list.release(record);
            return 0;
        case CFG_CB_ADD_TASK:
            list.append(record);
            return 0;
        case CFG_CB_REMOVE_TASK:
            list.remove(record);
            return 0;
        case CFG_CB_TASK_COUNT:
            return static_cast<std::intptr_t>(list.count());
        case CFG_CB_TASK_AT:
            return value < 0
                       ? 0
                       : reinterpret_cast<std::intptr_t>(list.at(static_cast<std::size_t>(value)));
        default:
            return 0;
    }
}

}  // namespace vidora
