#include "app/live_state.h"

namespace vidora {

std::mutex& panLock() {
    static std::mutex lock;
    return lock;
}

ChannelPan loadChannelPan(int channel) {
    std::lock_guard lock(panLock());
    return {loadRelaxed(gState.channelPan[channel][0]), loadRelaxed(gState.channelPan[channel][1])};
}

void storeChannelPan(int channel, ChannelPan pan) {
    updateChannelPan(channel, [pan](ChannelPan& p) { p = pan; });
}

}  // namespace vidora
