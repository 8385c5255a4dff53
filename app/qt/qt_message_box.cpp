#include "app/qt/qt_message_box.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QMetaObject>

namespace vidora {

int showQtMessageBox(QWidget* owner, const MessageBoxRequest& request) {
    QMessageBox box(owner);
    box.setWindowTitle(QString::fromUtf8(request.caption.c_str()));
    box.setText(QString::fromUtf8(request.text.c_str()));
    switch (request.type & 0xF0) {
        case MB_ICONERROR:
            box.setIcon(QMessageBox::Critical);
            break;
        case MB_ICONQUESTION:
            box.setIcon(QMessageBox::Question);
            break;
        case MB_ICONWARNING:
            box.setIcon(QMessageBox::Warning);
            break;
        case MB_ICONINFORMATION:
            box.setIcon(QMessageBox::Information);
            break;
        default:
            box.setIcon(QMessageBox::NoIcon);
            break;
    }
    switch (request.type & 0x0F) {
        case MB_OKCANCEL:
            box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
            break;
        case MB_YESNO:
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
            break;
        default:
            box.setStandardButtons(QMessageBox::Ok);
            break;
    }
    // A quit takes the box down early (the program ends and nobody answers it any more).
    const OpenMessageBox open([&box] { box.done(QDialog::Rejected); });
    const int pressed = open.closed() ? 0 : box.exec();
    if (open.closed())
        return quitAnswer(request.type);
    switch (pressed) {
        case QMessageBox::Cancel:
            return IDCANCEL;
        case QMessageBox::Yes:
            return IDYES;
        case QMessageBox::No:
            return IDNO;
        default:
            return IDOK;
    }
}

void installQtMessageBoxPresenter(std::function<QWidget*()> owner) {
    setMessageBoxPresenter(
        [owner](const MessageBoxRequest& request) {
            return showQtMessageBox(owner ? owner() : nullptr, request);
        },
        [] {
            // From a worker thread: ask the UI thread's event loop to show the queued boxes.
            if (QCoreApplication* app = QCoreApplication::instance()) {
                QMetaObject::invokeMethod(
                    app, [] { pumpMessageBoxes(); }, Qt::QueuedConnection);
            }
        });
}

}  // namespace vidora
