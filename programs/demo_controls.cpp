#include "programs/demo_controls.h"

#include <QKeySequence>
#include <QShortcut>
#include <QWidget>

#include "platform/sim/simulated_receiver.h"

namespace vidora {

void installSimulatedReceiverKeys(QWidget* mainWindow,
                                  std::shared_ptr<sim::SimulatedReceiver> receiver) {
    if (!mainWindow || !receiver)
        return;
    auto bind = [mainWindow](QKeyCombination keys, auto action) {
        auto* shortcut = new QShortcut(QKeySequence(keys), mainWindow);
        shortcut->setContext(Qt::WindowShortcut);
        QObject::connect(shortcut, &QShortcut::activated, mainWindow, action);
    };
    const Qt::KeyboardModifiers ctrlShift = Qt::ControlModifier | Qt::ShiftModifier;
    // Unplugging makes the running graph report the loss (the viewer shows the unplug message);
    // plugging back in is the device arrival that makes the viewer reconnect.
    bind(QKeyCombination(ctrlShift, Qt::Key_U), [receiver] {
        if (receiver->plugged())
            receiver->unplug();
        else
            receiver->replug();
    });
    bind(QKeyCombination(ctrlShift, Qt::Key_A), [receiver] { receiver->failNextStatusRead(); });
    bind(QKeyCombination(ctrlShift, Qt::Key_C), [receiver] { receiver->failNextSelect(); });
}

}  // namespace vidora
