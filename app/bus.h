#pragma once
// The application bus: numbered messages between the user interface and the modules, the
// application object that owns the modules and runs start-up and shutdown.
#include <cstdint>
#include <functional>
#include <map>
#include <memory>

#include "app/messages.h"
#include "platform/instance_guard.h"
#include "platform/result.h"

namespace vidora {

struct BusMessage {
    int32_t id = 0;
    int32_t value = 0;
    int32_t result = 0;
};
static_assert(sizeof(BusMessage) == 12);

class ViewerApp;

// Base of every bus module. The bus calls the handlers on the caller's thread; a module that
// is reached from several threads protects itself.
// The virtual operations keep the modules' slot order: send, post, destroy, start, stop, the
// two hooks, is-running, attach.
class BusModule {
  public:
    virtual int32_t handleSend(BusMessage& message) = 0;
    // The module owns the posted message and frees it (by letting the pointer go).
    virtual void handlePost(std::unique_ptr<BusMessage> message) = 0;
    virtual ~BusModule() = default;
    virtual Result start() = 0;
    virtual void stop() = 0;
    virtual int afterCreate() { return 0; }
    virtual int beforeDestroy() { return 0; }
    virtual bool isRunning() const { return state == 2; }
    virtual void attach(ViewerApp* app) { app_ = app; }

    int32_t moduleNumber = 0;
    int32_t state = 0;

  protected:
    ViewerApp* app_ = nullptr;
};

// The application's partner on the bus that is not a module: the user interface.
class UiPartner {
  public:
    virtual ~UiPartner() = default;
    virtual void attachBus(ViewerApp* app) = 0;
    virtual Result createWindows() = 0;
    virtual void receive(BusMessage& message) = 0;  // APP_STARTED and the engine's notices
    virtual void teardown() = 0;                    // destroy the windows
};

using ModuleFactory = std::function<std::unique_ptr<BusModule>(int32_t creationValue)>;

// Registries filled before start-up (module numbers, factories, routes).
void registerModule(int32_t moduleNumber, ModuleFactory factory);
void routeMessage(int32_t messageId, int32_t moduleNumber);
void clearBusRegistries();  // for tests

// Sends or posts on the bus of the application attached as the process-wide target.
int32_t sendMessage(int32_t id, int32_t value = 0);
int32_t postMessage(int32_t id, int32_t value = 0);

class ViewerApp {
  public:
    enum State : int32_t { Constructed = 0, Starting = 1, Running = 2, Stopping = 3, Stopped = 4 };

    // Start-up services that the program supplies (tests replace them).
    struct Services {
        // Whether this is the only instance (no guard: it is).
        std::function<InstanceGuard::Claim()> acquireInstanceGuard;
        std::function<void()> releaseInstanceGuard;
        std::function<void()> loadSettings;
        std::function<void()> saveSettings;
        std::function<void()> freeTaskList;
        // True when the password was entered (only asked when askPassword is set).
        std::function<bool()> askPassword;
        // The user interface, created on first use.
        std::function<UiPartner*()> obtainUi;
        // Warning box for a second instance.
        std::function<void()> warnSecondInstance;
        // Called once before the modules are destroyed: whatever the program built on them
        // (the network stream feeds on the engine's transfers) lets go of them here.
        std::function<void()> beforeModulesGo;
    };

    explicit ViewerApp(Services services);
    ~ViewerApp();

    // Start-up and module start. On failure (its reason says which step refused) the process
    // should end (exit code 0).
    Result run();

    int32_t send(BusMessage& message);
    int32_t post(std::unique_ptr<BusMessage> message);

    State state() const;
    UiPartner* ui() const { return ui_; }
    BusModule* module(int32_t number) const;

    // Makes this application the target of sendMessage/postMessage (the UI attaches it).
    void makeBusTarget();

  private:
    Result startup();
    void quit();
    void shutdown();
    void stopModules();
    void destroyModules();

    Services services_;
    int32_t state_ = Constructed;
    UiPartner* ui_ = nullptr;
    std::map<int32_t, std::unique_ptr<BusModule>> modules_;
    int32_t creationValue_ = 0;
    bool instanceGuardHeld_ = false;
};

}  // namespace vidora
