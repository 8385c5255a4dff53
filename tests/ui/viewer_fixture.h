#pragma once
// The viewer's windows on a headless host, started by a real application on the real bus, with
// a bus module in the engine's place that records every command it receives. The settings dialog
// and the file manager are replaced by recorders. Each test runs in a temporary working folder
// holding a copy of the default skin (or a skin of its own).
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/bus.h"
#include "tests/app/temp_dir.h"
#include "tests/support/headless_host.h"
#include "ui/control_panel.h"
#include "ui/main_window.h"
#include "ui/monitor_panel.h"
#include "ui/skin_group_panel.h"

namespace vidora::test {

struct Command {
    int32_t id = 0;
    int32_t value = 0;
    bool posted = false;
    friend bool operator==(const Command&, const Command&) = default;
};
std::ostream& operator<<(std::ostream& os, const Command& c);

Command sent(int32_t id, int32_t value = 0);
Command posted(int32_t id, int32_t value = 0);

// Registers module 1 as a recorder of every engine command (in place of the engine).
void installCommandRecorder();
// The commands it received since the last call, in order.
std::vector<Command> takeCommands();

struct SettingsCall {
    WindowHandle owner = 0;
    int page = 0;
    friend bool operator==(const SettingsCall&, const SettingsCall&) = default;
};

class ViewerTest : public ::testing::Test {
  protected:
    // `skin`: the default skin, or a folder of ui.ini and pictures written by the test first.
    explicit ViewerTest(bool defaultSkin = true);
    ~ViewerTest() override;

    // Starts the application: windows, APP_STARTED, the recording module. Called by SetUp unless
    // a test wants to prepare the folder or the records first.
    void start();
    void SetUp() override;

    // The commands the engine's stand-in received since the last call, in order.
    std::vector<Command> commands();
    // Sends an engine notice the way the engine does (on the bus, this thread).
    void notice(int32_t id);
    // A group's notification as the group would give it.
    void click(int32_t group, int32_t control, int32_t newState);

    SkinGroupPanel& group(int32_t id);
    int32_t state(int32_t group, int32_t control);
    int32_t appearance(int32_t group, int32_t control);

    HeadlessHost host;
    ScopedTempDir folder;
    bool autoStart_ = true;
    std::unique_ptr<ViewerApp> app;
    MainWindow* main = nullptr;
    ControlPanel* panel = nullptr;
    MonitorPanel* monitor = nullptr;
    std::vector<SettingsCall> settingsCalls;
    std::vector<WindowHandle> moreSettingsCalls;
    std::vector<std::string> exploredFolders;
    std::vector<WindowHandle> recordingsCalls;  // the recordings window was asked for
    bool noFolderProgram = false;  // the file manager's stand-in finds no program for folders
};

// The default skin's geometry.
inline constexpr int kMonitorX = 10;
inline constexpr int kMonitorY = 49;
inline constexpr int kRightBorder = 11;

}  // namespace vidora::test
