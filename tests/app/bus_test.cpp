#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/bus.h"
#include "app/settings.h"

using namespace vidora;

namespace {

std::vector<std::string> gLog;

class RecordingModule : public BusModule {
  public:
    explicit RecordingModule(bool starts) : starts_(starts) {}
    ~RecordingModule() override { gLog.push_back("destroy " + std::to_string(moduleNumber)); }
    int32_t handleSend(BusMessage& m) override {
        gLog.push_back("send " + std::to_string(moduleNumber) + " " + std::to_string(m.id) + " " +
                       std::to_string(m.value));
        m.result = 0;
        return m.id == 0x10101 ? 42 : 0;
    }
    void handlePost(std::unique_ptr<BusMessage> m) override {
        gLog.push_back("post " + std::to_string(moduleNumber) + " " + std::to_string(m->id));
    }
    Result start() override {
        gLog.push_back("start " + std::to_string(moduleNumber));
        return starts_ ? Result::success() : Failure{"no receiver"};
    }
    void stop() override { gLog.push_back("stop " + std::to_string(moduleNumber)); }
    int afterCreate() override {
        gLog.push_back("created " + std::to_string(moduleNumber));
        return 0;
    }
    int beforeDestroy() override {
        gLog.push_back("before-destroy " + std::to_string(moduleNumber));
        return 0;
    }

  private:
    bool starts_;
};

class FakeUi : public UiPartner {
  public:
    void attachBus(ViewerApp* app) override {
        gLog.push_back("ui attach");
        app->makeBusTarget();
    }
    Result createWindows() override {
        gLog.push_back("ui windows");
        return windowsCreated ? Result::success() : Failure{"no display"};
    }
    void receive(BusMessage& m) override {
        gLog.push_back("ui receive " + std::to_string(m.id));
        m.result = 0;
    }
    void teardown() override {
        gLog.push_back("ui teardown");
        // A main window that is destroyed here sends APP_QUIT on its way out.
        if (quitOnTeardown)
            sendMessage(APP_QUIT);
    }
    bool windowsCreated = true;
    bool quitOnTeardown = false;
};

class Bus : public ::testing::Test {
  protected:
    void SetUp() override {
        gLog.clear();
        clearBusRegistries();
    }
    void TearDown() override { clearBusRegistries(); }

    ViewerApp::Services services() {
        ViewerApp::Services s;
        s.acquireInstanceGuard = [this] { return guard; };
        s.releaseInstanceGuard = [] { gLog.push_back("release guard"); };
        s.warnSecondInstance = [] { gLog.push_back("warn second instance"); };
        s.loadSettings = [] { gLog.push_back("load"); };
        s.saveSettings = [] { gLog.push_back("save"); };
        s.freeTaskList = [] { gLog.push_back("free tasks"); };
        s.askPassword = [this] {
            gLog.push_back("password");
            return passwordOk;
        };
        s.obtainUi = [this]() -> UiPartner* { return &ui; };
        return s;
    }

    void registerTwoModules(bool secondStarts = true) {
        registerModule(2, [secondStarts](int32_t v) {
            EXPECT_EQ(v, 0);
            return std::make_unique<RecordingModule>(secondStarts);
        });
        registerModule(1, [](int32_t) { return std::make_unique<RecordingModule>(true); });
        routeMessage(0x10101, 1);
        routeMessage(0x10106, 2);
    }

    InstanceGuard::Claim guard = InstanceGuard::Claim::Acquired;
    bool passwordOk = true;
    FakeUi ui;
};

bool contains(const std::string& entry) {
    return std::find(gLog.begin(), gLog.end(), entry) != gLog.end();
}

}  // namespace

TEST_F(Bus, PasswordIsAskedOnlyWhenSwitchedOn) {
    gConfig.askPassword = 0;
    ViewerApp app(services());
    ASSERT_EQ(app.run().reason(), "");
    EXPECT_FALSE(contains("password"));
    sendMessage(APP_QUIT);
}

TEST_F(Bus, StartUpRunsInOrderAndQuitShutsDownOnce) {
    registerTwoModules();
    ViewerApp app(services());
    ASSERT_EQ(app.run().reason(), "");
    EXPECT_EQ(app.state(), ViewerApp::Running);
    std::vector<std::string> expected = {
        "load",      "ui attach",      "ui windows", "ui receive 65546", "send 1 65546 0",
        "created 1", "send 2 65546 0", "created 2",  "start 1",          "start 2"};
    EXPECT_EQ(gLog, expected);

    gLog.clear();
    EXPECT_EQ(sendMessage(APP_QUIT), 0);
    expected = {"stop 1",     "stop 2",       "before-destroy 1", "before-destroy 2",
                "destroy 1",  "destroy 2",    "ui teardown",      "save",
                "free tasks", "release guard"};
    EXPECT_EQ(gLog, expected);
    EXPECT_EQ(app.state(), ViewerApp::Stopped);

    gLog.clear();
    EXPECT_EQ(sendMessage(APP_QUIT), 0);
    EXPECT_TRUE(gLog.empty()) << "a second quit does nothing";
}

TEST_F(Bus, SendsAndPostsAreRoutedByIdOnTheCallersThread) {
    registerTwoModules();
    ViewerApp app(services());
    ASSERT_EQ(app.run().reason(), "");
    gLog.clear();
    EXPECT_EQ(sendMessage(0x10101, 7), 42);
    EXPECT_EQ(postMessage(0x10106, 0), 0);
    EXPECT_EQ(sendMessage(0x10199, 1), 0) << "no route: 0";
    EXPECT_EQ(postMessage(0x10199, 1), 0) << "no route: freed silently";
    EXPECT_EQ(sendMessage(NTF_CHANNEL_CHANGED), 0);
    EXPECT_EQ(postMessage(NTF_RECORD_STATE), 0);
    std::vector<std::string> expected = {"send 1 65793 7", "post 2 65798", "ui receive 65812",
                                         "ui receive 65815"};
    EXPECT_EQ(gLog, expected);
    sendMessage(APP_QUIT);
}

TEST_F(Bus, PostWhileNotRunningIsRefused) {
    registerTwoModules();
    ViewerApp app(services());
    app.makeBusTarget();
    // Constructed, not running: refused with -1 (the message is freed; ASan would see a leak).
    EXPECT_EQ(postMessage(0x10106, 0), -1);
    EXPECT_TRUE(gLog.empty());
    ASSERT_EQ(app.run().reason(), "");
    sendMessage(APP_QUIT);
    gLog.clear();
    EXPECT_EQ(postMessage(0x10106, 0), -1);
    EXPECT_TRUE(gLog.empty());
}

TEST_F(Bus, ModuleStartFailureStopsTheModulesAndSavesNothing) {
    registerTwoModules(/*secondStarts=*/false);
    ViewerApp app(services());
    EXPECT_EQ(app.run().reason(), "module 2 did not start: no receiver");
    EXPECT_TRUE(contains("stop 1"));
    EXPECT_TRUE(contains("stop 2"));
    EXPECT_FALSE(contains("save"));
    EXPECT_EQ(app.state(), ViewerApp::Stopping);
    // A window closed afterwards does not save either.
    sendMessage(APP_QUIT);
    EXPECT_FALSE(contains("save"));
}

TEST_F(Bus, QuitRunsOnceAndOnlyAfterTheSettingsWereLoaded) {
    registerTwoModules();
    {
        ViewerApp app(services());
        app.makeBusTarget();
        EXPECT_EQ(sendMessage(APP_QUIT), 0);
        EXPECT_TRUE(gLog.empty()) << "nothing was loaded yet, so nothing may be saved";
    }
    ui.quitOnTeardown = true;
    ViewerApp app(services());
    ASSERT_EQ(app.run().reason(), "");
    gLog.clear();
    EXPECT_EQ(sendMessage(APP_QUIT), 0);
    EXPECT_EQ(std::count(gLog.begin(), gLog.end(), "stop 1"), 1);
    EXPECT_EQ(std::count(gLog.begin(), gLog.end(), "save"), 1)
        << "the quit sent by the window torn down during the quit is not run again";
    EXPECT_EQ(std::count(gLog.begin(), gLog.end(), "free tasks"), 1);
    EXPECT_EQ(app.state(), ViewerApp::Stopped);
}

TEST_F(Bus, WrongPasswordShutsDownAndSaves) {
    registerTwoModules();
    passwordOk = false;
    gConfig.askPassword = 1;
    ViewerApp app(services());
    EXPECT_EQ(app.run().reason(), "the start-up password was not given");
    gConfig.askPassword = 0;
    std::vector<std::string> expected = {"load", "password", "save", "free tasks", "release guard"};
    EXPECT_EQ(gLog, expected) << "no window, no module; the settings are saved";
}

TEST_F(Bus, SecondInstanceWarnsAndLoadsNothing) {
    registerTwoModules();
    guard = InstanceGuard::Claim::AlreadyRunning;
    ViewerApp app(services());
    EXPECT_EQ(app.run().reason(), "another instance is running");
    std::vector<std::string> expected = {"warn second instance"};
    EXPECT_EQ(gLog, expected);

    gLog.clear();
    guard = InstanceGuard::Claim::Failed;
    ViewerApp other(services());
    EXPECT_EQ(other.run().reason(), "the single-instance guard could not be taken");
    EXPECT_TRUE(gLog.empty()) << "a failing guard ends quietly";
}

TEST_F(Bus, FailingFactoryOrWindowsEndStartUp) {
    registerModule(1, [](int32_t) { return std::make_unique<RecordingModule>(true); });
    registerModule(3, [](int32_t) { return std::unique_ptr<BusModule>(); });
    {
        ViewerApp app(services());
        EXPECT_EQ(app.run().reason(), "module 3 could not be created");
        EXPECT_TRUE(contains("destroy 1")) << "modules created so far are destroyed";
        EXPECT_TRUE(contains("save"));
    }
    gLog.clear();
    clearBusRegistries();
    ui.windowsCreated = false;
    ViewerApp app(services());
    EXPECT_EQ(app.run().reason(), "the windows could not be created: no display");
    EXPECT_TRUE(contains("ui teardown"));
    EXPECT_EQ(std::count(gLog.begin(), gLog.end(), "ui teardown"), 1);
}
