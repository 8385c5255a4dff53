#include "programs/stand_in_ui.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QLabel>
#include <QVBoxLayout>

#include "app/settings.h"
#include "platform/relaxed.h"

namespace vidora {

namespace {

class StandInWindow : public QWidget {
public:
    StandInWindow() {
        setWindowTitle("Vidora V1.0.4");
        resize(640, 480);
        auto* layout = new QVBoxLayout(this);
        auto* label = new QLabel("Vidora V1.0.4", this);
        label->setAlignment(Qt::AlignCenter);
        layout->addWidget(label);
        setStyleSheet("background:#16181d; color:#e0e0e0; font-size:24px;");
    }

protected:
    void closeEvent(QCloseEvent* event) override {
        event->accept();
        // The main window is going away: stop and shut down, then end the message loop.
        sendMessage(APP_QUIT);
        QCoreApplication::quit();
    }
};

}  // namespace

void StandInUi::attachBus(ViewerApp* app) {
    app_ = app;
    app->makeBusTarget();
}

int StandInUi::createWindows() {
    window_ = new StandInWindow;
    window_->setAttribute(Qt::WA_DeleteOnClose);
    storeRelaxed(gState.notifyWindow, 1u);
    window_->show();
    return 0;
}

void StandInUi::receive(BusMessage& message) { message.result = 0; }

void StandInUi::teardown() {
    storeRelaxed(gState.notifyWindow, 0u);
    if (window_ && window_->isVisible()) window_->close();
}

}  // namespace vidora
