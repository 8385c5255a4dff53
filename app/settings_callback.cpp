#include "app/settings_callback.h"

#include <mutex>

#include "app/live_config.h"
#include "app/settings.h"
#include "app/task_list.h"
#include "settingsui/settingsui.h"

namespace vidora {

namespace {
std::function<void(int, int)>& applier() {
    static std::function<void(int, int)> f;
    return f;
}
}  // namespace

void setAdjustmentApplier(std::function<void(int kind, int value)> f) {
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
                applier()(code, v);
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
