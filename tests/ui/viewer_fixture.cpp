#include "viewer_fixture.h"

#include <cstring>
#include <filesystem>
#include <mutex>
#include <ostream>

#include "app/settings.h"
#include "app/task_list.h"
#include "engine/engine_module.h"
#include "platform/relaxed.h"
#include "ui/ui_module.h"
#include "ui/ui_services.h"

namespace vidora::test {

namespace {

struct CommandLog {
    std::mutex mutex;
    std::vector<Command> commands;
};

CommandLog& log() {
    static CommandLog instance;
    return instance;
}

// Module 1 in the engine's place: answers every command with 0 and writes it down.
class CommandRecorder final : public BusModule {
  public:
    int32_t handleSend(BusMessage& message) override {
        add({message.id, message.value, false});
        message.result = 0;
        return 0;
    }
    void handlePost(std::unique_ptr<BusMessage> message) override {
        add({message->id, message->value, true});
    }
    Result start() override { return Result::success(); }
    void stop() override {}

  private:
    static void add(const Command& c) {
        std::lock_guard lock(log().mutex);
        log().commands.push_back(c);
    }
};

}  // namespace

void installCommandRecorder() {
    clearBusRegistries();
    registerModule(1, [](int32_t) { return std::make_unique<CommandRecorder>(); });
    for (int32_t id : engineCommandIds())
        routeMessage(id, 1);
    takeCommands();
}

std::vector<Command> takeCommands() {
    std::lock_guard lock(log().mutex);
    std::vector<Command> out = std::move(log().commands);
    log().commands.clear();
    return out;
}

std::ostream& operator<<(std::ostream& os, const Command& c) {
    return os << (c.posted ? "post " : "send ") << std::hex << "0x" << c.id << std::dec << " "
              << c.value;
}

Command sent(int32_t id, int32_t value) {
    return {id, value, false};
}
Command posted(int32_t id, int32_t value) {
    return {id, value, true};
}

ViewerTest::ViewerTest(bool defaultSkin) {
    if (defaultSkin)
        std::filesystem::copy(std::filesystem::path(VIDORA_TEST_RUN_DIR) / "UI", "UI",
                              std::filesystem::copy_options::recursive);
    std::memset(&gState, 0, sizeof gState);
    std::memset(&gConfig, 0, sizeof gConfig);
    applyDefaultSettings();
    taskList().freeAll();
    setWindowHost(&host);
    installCommandRecorder();
    UiServices services;
    services.showSettings = [this](WindowHandle owner, int page) {
        settingsCalls.push_back({owner, page});
    };
    services.showMoreSettings = [this](WindowHandle owner) { moreSettingsCalls.push_back(owner); };
    services.openFolder = [this](const std::string& f, std::function<void()> noProgram) {
        exploredFolders.push_back(f);
        if (noFolderProgram)
            noProgram();
    };
    services.showRecordings = [this](WindowHandle owner) { recordingsCalls.push_back(owner); };
    setUiServices(std::move(services));
}

void ViewerTest::SetUp() {
    if (autoStart_)
        start();
}

void ViewerTest::start() {
    ViewerApp::Services services;
    services.obtainUi = [] { return static_cast<UiPartner*>(&UiModule::obtain()); };
    app = std::make_unique<ViewerApp>(std::move(services));
    ASSERT_EQ(app->run().reason(), "");
    main = UiModule::obtain().mainWindow();
    panel = UiModule::obtain().controlPanel();
    monitor = UiModule::obtain().monitorPanel();
    ASSERT_NE(main, nullptr);
    ASSERT_NE(panel, nullptr);
    ASSERT_NE(monitor, nullptr);
    commands();
}

ViewerTest::~ViewerTest() {
    app.reset();
    UiModule::obtain().teardown();
    UiModule::release();
    setUiServices({});
    clearBusRegistries();
    setWindowHost(nullptr);
    taskList().freeAll();
    takeCommands();
}

std::vector<Command> ViewerTest::commands() {
    return takeCommands();
}

void ViewerTest::notice(int32_t id) {
    sendMessage(id, 0);
}

void ViewerTest::click(int32_t groupId, int32_t control, int32_t newState) {
    // The group gives its control the new state before it notifies.
    if (SkinGroupPanel* g = panel->group(groupId))
        if (SkinControl* c = g->control(control); c && c->type != CONTROL_TRACKER)
            c->state = newState;
    panel->notify({groupId, control, newState});
}

SkinGroupPanel& ViewerTest::group(int32_t id) {
    SkinGroupPanel* g = panel->group(id);
    EXPECT_NE(g, nullptr) << id;
    return *g;
}

int32_t ViewerTest::state(int32_t groupId, int32_t control) {
    const SkinControl* c = group(groupId).control(control);
    return c ? c->state : -1;
}

int32_t ViewerTest::appearance(int32_t groupId, int32_t control) {
    const SkinControl* c = group(groupId).control(control);
    return c ? c->appearance : -1;
}

}  // namespace vidora::test
