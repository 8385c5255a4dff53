#include "app/bus.h"

#include <atomic>
#include <set>
#include <string>

#include "app/message_box.h"
#include "app/settings.h"
#include "platform/relaxed.h"

namespace vidora {

namespace {

struct Registries {
    std::set<int32_t> moduleNumbers;
    std::map<int32_t, ModuleFactory> factories;
    std::map<int32_t, int32_t> routes;  // message id -> module number
};

Registries& registries() {
    static Registries r;
    return r;
}

std::atomic<ViewerApp*> gBusTarget{nullptr};

}  // namespace

void registerModule(int32_t moduleNumber, ModuleFactory factory) {
    registries().moduleNumbers.insert(moduleNumber);
    registries().factories[moduleNumber] = std::move(factory);
}

void routeMessage(int32_t messageId, int32_t moduleNumber) {
    registries().routes[messageId] = moduleNumber;
}

void clearBusRegistries() {
    registries() = Registries{};
}

int32_t sendMessage(int32_t id, int32_t value) {
    BusMessage message{id, value, 0};
    ViewerApp* app = gBusTarget.load(std::memory_order_acquire);
    if (!app)
        return 0;
    return app->send(message);
}

int32_t postMessage(int32_t id, int32_t value) {
    auto message = std::make_unique<BusMessage>(BusMessage{id, value, 0});
    ViewerApp* app = gBusTarget.load(std::memory_order_acquire);
    if (!app)
        return -1;  // nobody to deliver to: the message is freed here
    return app->post(std::move(message));
}

ViewerApp::ViewerApp(Services services) : services_(std::move(services)) {}

ViewerApp::~ViewerApp() {
    ViewerApp* self = this;
    gBusTarget.compare_exchange_strong(self, nullptr, std::memory_order_acq_rel);
    // Modules left over (a failed start leaves them stopped but not destroyed) go with the map.
}

void ViewerApp::makeBusTarget() {
    gBusTarget.store(this, std::memory_order_release);
}

ViewerApp::State ViewerApp::state() const {
    return static_cast<State>(loadRelaxed(state_));
}

BusModule* ViewerApp::module(int32_t number) const {
    auto it = modules_.find(number);
    return it == modules_.end() ? nullptr : it->second.get();
}

Result ViewerApp::run() {
    reopenMessageBoxes();  // a previous run may have closed them on its way out
    storeRelaxed(state_, Stopped);
    if (Result started = startup(); !started) {
        if (state() == Starting)
            shutdown();
        return started;
    }
    for (auto& [number, module] : modules_) {
        if (Result started = module->start(); !started) {
            stopModules();
            return Failure{"module " + std::to_string(number) +
                           " did not start: " + started.reason()};
        }
    }
    // (after-start hook: nothing to do)
    storeRelaxed(state_, Running);
    return Result::success();
}

Result ViewerApp::startup() {
    State s = state();
    if (s != Constructed && s != Stopped)
        return Failure{"the application is already running"};

    const InstanceGuard::Claim guard = services_.acquireInstanceGuard
                                           ? services_.acquireInstanceGuard()
                                           : InstanceGuard::Claim::Acquired;
    if (guard == InstanceGuard::Claim::Failed)
        return Failure{"the single-instance guard could not be taken"};
    if (guard == InstanceGuard::Claim::AlreadyRunning) {
        if (services_.warnSecondInstance)
            services_.warnSecondInstance();
        return Failure{"another instance is running"};
    }
    instanceGuardHeld_ = true;

    storeRelaxed(state_, Starting);
    if (services_.loadSettings)
        services_.loadSettings();

    if (loadRelaxed(gConfig.askPassword) && services_.askPassword && !services_.askPassword()) {
        return Failure{"the start-up password was not given"};
    }

    ui_ = services_.obtainUi ? services_.obtainUi() : nullptr;
    if (ui_) {
        ui_->attachBus(this);
        if (Result windows = ui_->createWindows(); !windows) {
            destroyModules();
            ui_->teardown();
            ui_ = nullptr;
            return Failure{"the windows could not be created: " + windows.reason()};
        }
        BusMessage started{APP_STARTED, 0, 0};
        ui_->receive(started);
    } else {
        makeBusTarget();
    }

    for (int32_t number : registries().moduleNumbers) {
        auto factory = registries().factories.find(number);
        if (factory == registries().factories.end() || !factory->second) {
            destroyModules();
            return Failure{"module " + std::to_string(number) + " has no factory"};
        }
        std::unique_ptr<BusModule> module = factory->second(creationValue_);
        if (!module) {
            destroyModules();
            return Failure{"module " + std::to_string(number) + " could not be created"};
        }
        module->moduleNumber = number;
        module->attach(this);
        BusMessage started{APP_STARTED, 0, 0};
        module->handleSend(started);
        BusModule* raw = module.get();
        modules_[number] = std::move(module);
        raw->afterCreate();
    }
    return Result::success();
}

int32_t ViewerApp::send(BusMessage& message) {
    if (message.id == APP_QUIT) {
        // The quit sequence runs once, for an application that got as far as loading the
        // settings. A quit that arrives while it runs (state 3), after it ran (4), after a
        // failed module start (3: nothing is to be saved then) or before start-up (0: nothing
        // was loaded that could be saved) changes nothing.
        const State s = state();
        if (s == Starting || s == Running) {
            // Workers that the stopping modules wait for may be waiting for a message box:
            // nobody answers those any more.
            closeMessageBoxes(Quitting::Attended);
            quit();
        }
        return 0;
    }
    if (isUiNotice(message.id)) {
        if (ui_)
            ui_->receive(message);
        return message.result;
    }
    auto route = registries().routes.find(message.id);
    if (route == registries().routes.end())
        return 0;
    BusModule* target = module(route->second);
    if (!target)
        return 0;
    return target->handleSend(message);
}

int32_t ViewerApp::post(std::unique_ptr<BusMessage> message) {
    if (state() != Running)
        return -1;  // the message is freed on return
    if (isUiNotice(message->id)) {
        if (ui_)
            ui_->receive(*message);
        return 0;
    }
    auto route = registries().routes.find(message->id);
    if (route == registries().routes.end())
        return 0;
    if (BusModule* target = module(route->second))
        target->handlePost(std::move(message));
    return 0;
}

void ViewerApp::stopModules() {
    for (auto& [number, module] : modules_)
        module->stop();
    storeRelaxed(state_, Stopping);
}

void ViewerApp::destroyModules() {
    if (services_.beforeModulesGo && !modules_.empty())
        services_.beforeModulesGo();
    for (auto& [number, module] : modules_)
        module->beforeDestroy();
    for (auto& [number, module] : modules_)
        module.reset();  // in ascending module number
    modules_.clear();
}

void ViewerApp::quit() {
    // (before-stop hook: nothing to do)
    stopModules();
    shutdown();
}

void ViewerApp::shutdown() {
    State s = state();
    if (s != Starting && s != Stopping)
        return;
    destroyModules();
    if (ui_) {
        UiPartner* ui = ui_;
        ui_ = nullptr;
        ui->teardown();
    }
    if (services_.saveSettings)
        services_.saveSettings();
    if (services_.freeTaskList)
        services_.freeTaskList();
    storeRelaxed(state_, Stopped);
    if (instanceGuardHeld_ && services_.releaseInstanceGuard)
        services_.releaseInstanceGuard();
    instanceGuardHeld_ = false;
}

}  // namespace vidora
