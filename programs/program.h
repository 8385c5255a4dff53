#pragma once
// The program entry shared by `vidora` (real receivers) and `vidora-demo` (the simulated one).
#include <functional>

class QWidget;

namespace vidora {

enum class ReceiverKind { Real, Simulated };

// Ways into a running viewer for measuring tools; the programs themselves pass none.
struct ProgramHooks {
    // After the settings file was read, before the windows and the engine exist.
    std::function<void()> afterSettingsLoaded;
    // Once the viewer runs (UI thread), with its main window; the hook ends the run by closing it.
    std::function<void(QWidget* mainWindow)> whenRunning;
};

int runProgram(int argc, char** argv, ReceiverKind receiver, const ProgramHooks* hooks = nullptr);

}  // namespace vidora
