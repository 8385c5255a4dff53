#pragma once
// Values of the run-time state (gState) that span several fields and have writers on more than
// one thread, read and written whole under a small lock of their own. Single fields go through
// loadRelaxed/storeRelaxed as before.
//
// A channel's pan offset (channelPan x and y): the monitor panel's drag sets it on the
// user-interface thread, and the video transfer brings it back into the picture on the
// streaming thread when the zoom changes. The pan lock is innermost and held only while the two
// fields are copied (an edit passed to updateChannelPan only edits).
#include <cstdint>
#include <mutex>

#include "app/settings.h"
#include "platform/relaxed.h"

namespace vidora {

struct ChannelPan {
    int32_t x = 0;
    int32_t y = 0;
    friend bool operator==(const ChannelPan&, const ChannelPan&) = default;
};

std::mutex& panLock();

ChannelPan loadChannelPan(int channel);
void storeChannelPan(int channel, ChannelPan pan);

// Reads, edits and writes back a channel's pan offset with no other write in between.
template <class Edit>
void updateChannelPan(int channel, Edit&& edit) {
    std::lock_guard lock(panLock());
    ChannelPan pan{loadRelaxed(gState.channelPan[channel][0]),
                   loadRelaxed(gState.channelPan[channel][1])};
    edit(pan);
    storeRelaxed(gState.channelPan[channel][0], pan.x);
    storeRelaxed(gState.channelPan[channel][1], pan.y);
}

}  // namespace vidora
