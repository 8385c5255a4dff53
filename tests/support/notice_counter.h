#pragma once
// The user-interface partner of tests that run the engine on a real bus: it takes every notice
// the engine sends (on whichever thread sends it) and keeps their ids in order.
#include <algorithm>
#include <cstdint>
#include <mutex>
#include <vector>

#include "app/bus.h"

namespace vidora::test {

class NoticeCounter final : public UiPartner {
  public:
    void attachBus(ViewerApp* app) override { app->makeBusTarget(); }
    Result createWindows() override { return Result::success(); }
    void receive(BusMessage& message) override {
        std::lock_guard lock(mutex_);
        received_.push_back(message.id);
        message.result = 0;
    }
    void teardown() override {}

    int count(int32_t id) {
        std::lock_guard lock(mutex_);
        return static_cast<int>(std::count(received_.begin(), received_.end(), id));
    }
    // Every id received so far, in order.
    std::vector<int32_t> received() {
        std::lock_guard lock(mutex_);
        return received_;
    }

  private:
    std::mutex mutex_;
    std::vector<int32_t> received_;
};

}  // namespace vidora::test
