#pragma once
// The engine on the bus over the real capture graph and the simulated receiver, with the real
// recording side (and, where a test asks for it, the real schedule supervisor): what a user of
// vidora-demo gets, driven through the bus commands.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/bus.h"
#include "app/live_config.h"
#include "app/message_box.h"
#include "app/messages.h"
#include "app/settings.h"
#include "engine/engine_module.h"
#include "engine/recording_bridge.h"
#include "engine/timer_state.h"
#include "platform/relaxed.h"
#include "platform/sim/simulated_receiver.h"
#include "tests/engine/fakes.h"
#include "tests/recording/test_support.h"
#include "tests/support/notice_counter.h"

namespace vidora::test {

// Waits up to `limitMs` for `pred`, showing the message boxes that worker threads ask for
// meanwhile (the test thread is the UI thread).
inline bool pumpUntil(const std::function<bool()>& pred, int limitMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    while (std::chrono::steady_clock::now() < end) {
        pumpMessageBoxes();
        if (pred())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    pumpMessageBoxes();
    return pred();
}

inline void pumpFor(int ms) {
    pumpUntil([] { return false; }, ms);
}

class SimEngineFixture : public ::testing::Test {
  protected:
    void SetUp() override {
        resetSettings(folder.path());
        resetTimerState();
        gConfig.cycleSeconds = 59;  // the auto-cycle never switches by itself here
        gConfig.recordFps = 10;
        gConfig.recordImageSize = 3;
        setVideoWindow(&window);
        setMessageBoxPresenter([this](const MessageBoxRequest& request) {
            std::lock_guard lock(mutex_);
            messages_.push_back(request);
            return IDOK;
        });
        clearBusRegistries();
    }

    void TearDown() override {
        if (app)
            sendMessage(APP_QUIT);
        app.reset();
        clearBusRegistries();
        setMessageBoxPresenter({});
        setVideoWindow(nullptr);
    }

    // Registers the engine with the simulated receiver and the real recording side;
    // `schedule` (may be empty) makes the schedule supervisor.
    void registerEngine(std::function<std::unique_ptr<SchedulePort>()> schedule = {}) {
        EngineFactories factories;
        factories.backend = [sim = sim] { return sim::createSimulatedBackend(sim); };
        factories.soundPlayer = [log = soundLog] { return std::make_unique<FakeSoundPlayer>(log); };
        factories.recording = [] { return std::make_unique<RecordingBridge>(); };
        factories.schedule = std::move(schedule);
        registerEngineModule(factories);
    }

    void startApp() {
        ViewerApp::Services services;
        services.obtainUi = [this] { return &ui; };
        app = std::make_unique<ViewerApp>(services);
        ASSERT_EQ(app->run().reason(), "");
        ASSERT_TRUE(engine().graphBuilt());
    }

    CaptureEngine& engine() {
        return static_cast<EngineModule*>(app->module(kEngineModuleNumber))->engine();
    }
    RecordingBridge& bridge() { return static_cast<RecordingBridge&>(engine().recordingPort()); }

    bool picturesFlow(int more = 3) {
        const int start = window.pictures.load();
        return pumpUntil([&] { return window.pictures.load() >= start + more; }, 15000);
    }

    std::vector<MessageBoxRequest> shownMessages() {
        std::lock_guard lock(mutex_);
        return messages_;
    }
    void clearMessages() {
        std::lock_guard lock(mutex_);
        messages_.clear();
    }

    TempFolder folder;
    std::shared_ptr<sim::SimulatedReceiver> sim = std::make_shared<sim::SimulatedReceiver>();
    std::shared_ptr<SoundLog> soundLog = std::make_shared<SoundLog>();
    FakeVideoWindow window;
    NoticeCounter ui;
    std::unique_ptr<ViewerApp> app;

  private:
    std::mutex mutex_;
    std::vector<MessageBoxRequest> messages_;
};

// Rewrites a string setting while engine threads may read it, as the settings dialog's "Ok"
// does: a copy of the record with the new value, written back whole.
template <std::size_t N>
void storeSetting(char (VidoraConfig::*field)[N], const std::string& value) {
    VidoraConfig edited = loadConfig();
    for (std::size_t i = 0; i < N; ++i)
        (edited.*field)[i] = i < value.size() && i + 1 < N ? value[i] : '\0';
    storeConfig(edited);
}

// Files of a folder with a given extension, sorted by name.
inline std::vector<std::string> filesEndingWith(const TempFolder& folder, const std::string& ext) {
    std::vector<std::string> out;
    for (const auto& name : folder.files()) {
        if (name.size() > ext.size() &&
            name.compare(name.size() - ext.size(), ext.size(), ext) == 0)
            out.push_back(folder.file(name));
    }
    return out;
}

inline double number(const std::map<std::string, std::string>& values, const std::string& key) {
    auto it = values.find(key);
    return it == values.end() ? -1.0 : std::atof(it->second.c_str());
}

// The mono 16-bit samples of a recording's sound stream, as ffmpeg decodes them.
inline std::vector<int16_t> decodedSound(const std::string& avi) {
    const std::string raw = avi + ".raw";
    CommandResult r = run("ffmpeg -nostdin -v error -y -i " + quoted(avi) +
                          " -map 0:a:0 -f s16le " + quoted(raw) + " 2>&1");
    std::vector<int16_t> samples;
    if (r.status != 0)
        return samples;
    std::vector<uint8_t> bytes = readFile(raw);
    std::remove(raw.c_str());
    samples.resize(bytes.size() / 2);
    std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
    return samples;
}

}  // namespace vidora::test
