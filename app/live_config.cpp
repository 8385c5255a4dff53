#include "app/live_config.h"

namespace vidora {

std::mutex& configLock() {
    static std::mutex lock;
    return lock;
}

namespace config_detail {

VidoraConfig copyLocked() {
    VidoraConfig record{};
    forEachField([&](auto field) { loadWhole(record.*field, gConfig.*field); });
    return record;
}

void storeLocked(const VidoraConfig& record) {
    forEachField([&](auto field) { storeWhole(gConfig.*field, record.*field); });
}

}  // namespace config_detail

VidoraConfig loadConfig() {
    std::lock_guard lock(configLock());
    return config_detail::copyLocked();
}

void storeConfig(const VidoraConfig& record) {
    std::lock_guard lock(configLock());
    config_detail::storeLocked(record);
}

}  // namespace vidora
