// The bus as the window framework sees it in these tests: sends and posts are recorded.
#include "fake_bus.h"

namespace vidora {

std::vector<int32_t>& sentBusMessages() {
    static std::vector<int32_t> messages;
    return messages;
}

int32_t sendMessage(int32_t id, int32_t) {
    sentBusMessages().push_back(id);
    return 0;
}

int32_t postMessage(int32_t id, int32_t) {
    sentBusMessages().push_back(id);
    return 0;
}

}  // namespace vidora
