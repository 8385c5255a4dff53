#pragma once
// Keys of vidora-demo that work the simulated receiver's fault switches, so that anyone can see
// how the viewer copes with a receiver that is pulled out or stops answering:
//   Ctrl+Shift+U  unplug the receiver, or plug it back in;
//   Ctrl+Shift+A  the next alarm status read fails;
//   Ctrl+Shift+C  the next channel select request fails.
// The keys live on the main window (UI thread) and keep the receiver alive with it.
#include <memory>

class QWidget;

namespace vidora {

namespace sim {
class SimulatedReceiver;
}

void installSimulatedReceiverKeys(QWidget* mainWindow,
                                  std::shared_ptr<sim::SimulatedReceiver> receiver);

}  // namespace vidora
