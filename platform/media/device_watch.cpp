#include "platform/media/device_watch.h"

#include <algorithm>

namespace vidora::media {

int DeviceWatch::attach(const std::string& devicePath, EventSink sink) {
    std::lock_guard lock(mutex_);
    const int token = nextToken_++;
    listeners_.push_back({token, devicePath, std::move(sink)});
    return token;
}

void DeviceWatch::detach(int token) {
    std::lock_guard lock(mutex_);
    std::erase_if(listeners_, [token](const Listener& l) { return l.token == token; });
}

void DeviceWatch::setArrivalNotify(std::function<void()> notify) {
    std::lock_guard lock(mutex_);
    arrivalNotify_ = std::move(notify);
}

void DeviceWatch::post(const std::string& devicePath, bool removed) {
    GraphEvent event;
    event.code = kEventDeviceLost;
    event.removed = removed;
    event.isCaptureDevice = true;
    std::lock_guard lock(mutex_);
    // A sink may detach itself (or another graph) while it runs: walk a list of tokens and look
    // each one up again instead of holding iterators into the listeners.
    std::vector<int> tokens;
    for (const Listener& l : listeners_) {
        if (l.path == devicePath)
            tokens.push_back(l.token);
    }
    for (int token : tokens) {
        auto it = std::find_if(listeners_.begin(), listeners_.end(),
                               [token](const Listener& l) { return l.token == token; });
        if (it == listeners_.end() || !it->sink)
            continue;
        EventSink sink = it->sink;  // the listener entry may go away while the sink runs
        sink(event);
    }
}

void DeviceWatch::deviceRemoved(const std::string& devicePath) {
    post(devicePath, true);
}

void DeviceWatch::deviceAdded(const std::string& devicePath) {
    post(devicePath, false);
    std::function<void()> notify;
    {
        std::lock_guard lock(mutex_);
        notify = arrivalNotify_;
    }
    if (notify)
        notify();
}

}  // namespace vidora::media
