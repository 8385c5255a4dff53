#pragma once
// Helpers shared by the window and skin tests: a temporary skin folder, synthetic pictures, a
// parent window, a recording listener and a fixture that installs a headless host.
#include <gtest/gtest.h>

#include <QApplication>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/headless_host.h"
#include "ui/bitmap24.h"
#include "ui/skin_control.h"
#include "ui/skin_group_panel.h"
#include "ui/skin_window.h"

namespace vidora::test {

// A folder of its own per test, removed afterwards.
class TempFolder {
  public:
    TempFolder();
    ~TempFolder();
    const std::filesystem::path& path() const { return path_; }
    std::string file(const std::string& name) const { return (path_ / name).string(); }
    void write(const std::string& name, const std::string& text) const;
    void write(const std::string& name, const std::vector<uint8_t>& bytes) const;

  private:
    std::filesystem::path path_;
};

// A plain window standing in for the control panel.
class ParentWindow : public SkinWindow {
  public:
    ParentWindow(int32_t id, int width, int height)
        : SkinWindow(nullptr, id, 0, 0, width, height) {}
    const char* className() const override { return "VD_TestParent"; }
    std::vector<uint32_t> messages;
    intptr_t windowProc(uint32_t message, uintptr_t wParam, intptr_t lParam) override {
        messages.push_back(message);
        return SkinWindow::windowProc(message, wParam, lParam);
    }
};

class RecordingListener : public ControlListener {
  public:
    void notify(const ControlNotification& n) override { received.push_back(n); }
    std::vector<ControlNotification> received;
};

// Installs a fresh headless host; tears every window down afterwards.
class WindowTest : public ::testing::Test {
  protected:
    WindowTest();
    ~WindowTest() override;
    // A created parent window (id 4098) owned by the framework.
    ParentWindow* makeParent(int width = 160, int height = 600);

    HeadlessHost host;
};

// The process's QApplication, offscreen, created on first use.
QApplication& testApplication();

// A picture whose every pixel is a function of its position, so copies can be traced back.
Rgb tracePixel(int x, int y);
Bitmap24 tracedPicture(int width, int height);

}  // namespace vidora::test
