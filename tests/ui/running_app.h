#pragma once
// A started application on the real bus whose user interface only records what reaches it, so
// tests see what the windows send on the bus.
#include <memory>
#include <vector>

#include "app/bus.h"

namespace vidora::test {

class RunningApp : public UiPartner {
  public:
    RunningApp();
    ~RunningApp() override;

    void attachBus(ViewerApp* app) override { app->makeBusTarget(); }
    Result createWindows() override { return Result::success(); }
    void receive(BusMessage& message) override { received.push_back(message.id); }
    void teardown() override { ++teardowns; }

    ViewerApp& app() { return *app_; }
    // APP_QUIT reached the application: it stopped and tore the user interface down.
    bool quitReceived() const { return app_->state() == ViewerApp::Stopped && teardowns == 1; }

    std::vector<int32_t> received;
    int teardowns = 0;

  private:
    std::unique_ptr<ViewerApp> app_;
};

}  // namespace vidora::test
