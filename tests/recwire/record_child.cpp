// A viewer process cut down to the engine on the simulated receiver with the real recording side:
// it records into the folder given as its argument until it is killed. The crash test kills it
// with SIGKILL in the middle of a recording and looks at the files it leaves.
#include <cstdio>
#include <memory>
#include <thread>

#include "app/bus.h"
#include "app/messages.h"
#include "app/settings.h"
#include "engine/engine_module.h"
#include "engine/recording_bridge.h"
#include "platform/sim/simulated_receiver.h"
#include "tests/engine/fakes.h"

namespace {

class QuietUi final : public vidora::UiPartner {
  public:
    void attachBus(vidora::ViewerApp* app) override { app->makeBusTarget(); }
    vidora::Result createWindows() override { return vidora::Result::success(); }
    void receive(vidora::BusMessage& message) override { message.result = 0; }
    void teardown() override {}
};

}  // namespace

int main(int argc, char** argv) {
    using namespace vidora;
    if (argc < 2)
        return 2;
    applyDefaultSettings();
    std::snprintf(gConfig.recordFolder, sizeof gConfig.recordFolder, "%s", argv[1]);
    std::snprintf(gConfig.pictureFolder, sizeof gConfig.pictureFolder, "%s", argv[1]);
    gConfig.recordFileMB = 1;  // several files within seconds
    gConfig.recordFps = 10;
    gConfig.recordImageSize = 3;
    gConfig.recordLimitMB = 0;

    test::FakeVideoWindow window;
    setVideoWindow(&window);
    auto sim = std::make_shared<sim::SimulatedReceiver>();
    auto sounds = std::make_shared<test::SoundLog>();
    EngineFactories factories;
    factories.backend = [sim] { return sim::createSimulatedBackend(sim); };
    factories.soundPlayer = [sounds] { return std::make_unique<test::FakeSoundPlayer>(sounds); };
    factories.recording = [] { return std::make_unique<RecordingBridge>(); };
    registerEngineModule(factories);

    QuietUi ui;
    ViewerApp::Services services;
    services.obtainUi = [&ui] { return &ui; };
    ViewerApp app(services);
    if (!app.run())
        return 3;
    if (sendMessage(ENG_RECORD_START) != 0)
        return 4;
    std::printf("recording\n");
    std::fflush(stdout);
    for (;;)
        std::this_thread::sleep_for(std::chrono::seconds(1));
}
