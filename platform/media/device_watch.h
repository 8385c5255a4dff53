#pragma once
// Turns device presence changes into what the engine sees: a device-lost event on every graph
// built on the device that went away, and the backend's arrival notify when a device appears.
// Shared (shared_ptr) between a backend and the graphs it made, so either may go first. The
// reports arrive on the device monitor's thread (or whoever unplugs the simulated receiver).
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "platform/media/capture_graph.h"

namespace vidora::media {

class DeviceWatch {
  public:
    using EventSink = std::function<void(const GraphEvent&)>;

    // A graph listens for its device; the token removes it again.
    int attach(const std::string& devicePath, EventSink sink);
    void detach(int token);

    void setArrivalNotify(std::function<void()> notify);

    // The device at this path went away: every graph on it gets {0x1F, removed, capture device}.
    void deviceRemoved(const std::string& devicePath);
    // A device appeared: graphs on it get {0x1F, re-added, capture device}; then the arrival
    // notify runs.
    void deviceAdded(const std::string& devicePath);

  private:
    struct Listener {
        int token;
        std::string path;
        EventSink sink;
    };
    void post(const std::string& devicePath, bool removed);

    // Held while sinks run so that detach() never returns while one of its sinks is running.
    std::recursive_mutex mutex_;
    std::vector<Listener> listeners_;
    std::function<void()> arrivalNotify_;
    int nextToken_ = 1;
};

}  // namespace vidora::media
