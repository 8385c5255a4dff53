#pragma once
// The user interface's part on the application bus: creates the windows, answers APP_STARTED and
// brings the buttons in line with the engine's notices. One per process, created on first
// request (obtain) and deleted by release() when the program ends. Windows and handlers run on
// the message-loop thread; receive() may be called from any thread and never blocks: notices
// from other threads are posted to the control panel.
#include <functional>
#include <thread>
#include <vector>

#include "app/bus.h"
#include "ui/window_host.h"

namespace vidora {

class ControlPanel;
class MainWindow;
class MonitorPanel;

class UiModule final : public UiPartner {
  public:
    static UiModule& obtain();
    static void release();

    void attachBus(ViewerApp* app) override;
    // Creates and shows the main window (with its panels), centred on the screen; 0 on success.
    Result createWindows() override;
    void receive(BusMessage& message) override;
    // Destroys every window of the program.
    void teardown() override;

    // The main window, for the accelerators, message boxes and screenshots; 0 before it exists.
    WindowHandle mainWindowHandle() const;
    MainWindow* mainWindow() const;
    ControlPanel* controlPanel() const;
    MonitorPanel* monitorPanel() const;

  private:
    UiModule() = default;

    ViewerApp* app_ = nullptr;
    std::thread::id uiThread_;
};

// The main window's keys: Esc and Space as ever, then F11, 1 to 4, R, S, Q, + (or =) and -.
std::vector<Accelerator> viewerAccelerators();

// Routes userMessageBox from every thread to the main window (WM_SHOW_MESSAGE), whose box the
// window host shows; before the main window exists, boxes have no owner. `wakeUi` is called from
// other threads to make the UI thread pump the queued requests. Call on the UI thread.
void installWindowMessageBoxes(std::function<void()> wakeUi);

}  // namespace vidora
