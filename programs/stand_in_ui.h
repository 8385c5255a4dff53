#pragma once
// A plain window standing in for the skinned user interface: it shows that the viewer runs and
// closing it runs the quit sequence. Lives on the UI thread.
#include <QPointer>
#include <QWidget>

#include "app/bus.h"

namespace vidora {

class StandInUi final : public UiPartner {
public:
    void attachBus(ViewerApp* app) override;
    int createWindows() override;
    void receive(BusMessage& message) override;
    void teardown() override;

    QWidget* mainWindow() const { return window_; }

private:
    ViewerApp* app_ = nullptr;
    QPointer<QWidget> window_;
};

}  // namespace vidora
