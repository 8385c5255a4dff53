// vidora-demo with a user at the keyboard: the real program entry on the simulated receiver,
// plus an observer that writes every dialog and message box the program shows to standard
// output, one line each, and answers it as a user would:
//   box|<caption>|<text>|<icon>      a message box; its OK button is pressed
//   prompt|<caption>|<label text>    the password prompt; the next entry given on the command
//                                    line is typed and OK pressed, or Cancel once none is left
//   running                          start-up is complete; the main window is closed at once
//   exit <code>                      the program entry returned
//   dialog_probe [entry...]
// With --leave-boxes-open the user is away: boxes are reported but never answered, and the main
// window stays open until the program is ended from outside (a signal). With --quit-at-box the
// first box reported is followed by a quit request to the application, as the end of the desktop
// session makes.
// With --unplug-and-replug the user first pulls the simulated receiver out with the demo's key,
// closes the message that follows, plugs it back in with the same key and waits for live view:
//   unplugged live <0|1>             the receiver is out and the message was closed
//   replugged live <0|1>             live view came back (or 10 s passed)
// With --open-recordings the user presses R in the main window and reads the recordings window:
//   recordings <day> <rows> <start of the first row>   (or "recordings none" after 10 s)
#include <QApplication>
#include <QDateEdit>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <utility>

#include "app/settings.h"
#include "platform/relaxed.h"
#include "programs/program.h"
#include "ui/skin_window.h"
#include "ui/ui_module.h"

namespace {

QStringList gEntries;
bool gAnswerPending = false;
bool gUserAway = false;
bool gQuitAtBox = false;
QList<QPointer<QMessageBox>> gReported;

void report(const QString& line) {
    std::printf("%s\n", line.toUtf8().constData());
    std::fflush(stdout);
}

const char* iconName(QMessageBox::Icon icon) {
    switch (icon) {
        case QMessageBox::Warning:
            return "warning";
        case QMessageBox::Critical:
            return "error";
        case QMessageBox::Information:
            return "information";
        case QMessageBox::Question:
            return "question";
        default:
            return "none";
    }
}

// Answers later, from the event loop, so that a box the answer opens gets its own look.
void answer(QWidget* widget, std::function<void()> press) {
    gAnswerPending = true;
    QTimer::singleShot(0, widget, [press = std::move(press)] {
        gAnswerPending = false;
        press();
    });
}

void look() {
    if (gAnswerPending)
        return;
    QWidget* modal = QApplication::activeModalWidget();
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
        if (gUserAway && gReported.contains(box))
            return;
        report(QString("box|%1|%2|%3").arg(box->windowTitle(), box->text(), iconName(box->icon())));
        if (gUserAway) {
            gReported.append(box);
            if (std::exchange(gQuitAtBox, false))
                QTimer::singleShot(0, qApp, [] { QCoreApplication::quit(); });
            return;
        }
        QPointer<QMessageBox> target(box);
        answer(box, [target] {
            if (target)
                target->button(QMessageBox::Ok)->click();
        });
    } else if (auto* dialog = qobject_cast<QDialog*>(modal);
               dialog && dialog->objectName() == "129") {
        const QLabel* label = dialog->findChild<QLabel*>();
        report(QString("prompt|%1|%2").arg(dialog->windowTitle(), label ? label->text() : ""));
        QPointer<QDialog> target(dialog);
        answer(dialog, [target] {
            if (!target)
                return;
            if (gEntries.isEmpty()) {
                target->findChild<QPushButton*>("2")->click();
                return;
            }
            target->findChild<QLineEdit*>("1008")->setText(gEntries.takeFirst());
            target->findChild<QPushButton*>("1")->click();
        });
    }
}

// Runs as soon as the program has created its QApplication.
void startObserving() {
    auto* timer = new QTimer(qApp);
    QObject::connect(timer, &QTimer::timeout, look);
    timer->start(20);
}
Q_COREAPP_STARTUP_FUNCTION(startObserving)

}  // namespace

void closeMainWindow() {
    if (const vidora::WindowHandle main = vidora::UiModule::obtain().mainWindowHandle())
        vidora::routeWindowMessage(main, vidora::WM_CLOSE, 0, 0);
}

bool live() {
    return vidora::loadRelaxed(vidora::gState.liveViewOn) != 0;
}

// Calls `then` once `done` holds (checked every 100 ms from the event loop) or `limit` passed.
void when(std::function<bool()> done, std::chrono::milliseconds limit, std::function<void()> then) {
    auto* timer = new QTimer(qApp);
    const auto end = std::chrono::steady_clock::now() + limit;
    QObject::connect(timer, &QTimer::timeout, [=] {
        if (!done() && std::chrono::steady_clock::now() < end)
            return;
        timer->deleteLater();
        timer->stop();
        then();
    });
    timer->start(100);
}

// As a user does: back at the main window (after a message box) and then the key.
void pressUnplugKey(QWidget* mainWindow) {
    mainWindow->activateWindow();
    if (!QTest::qWaitForWindowActive(mainWindow))
        report("main window not active");
    QTest::keyClick(mainWindow, Qt::Key_U, Qt::ControlModifier | Qt::ShiftModifier);
}

void unplugAndReplug(QWidget* mainWindow) {
    using namespace std::chrono_literals;
    when(live, 10s, [mainWindow] {
        pressUnplugKey(mainWindow);
        // The unplug message comes and is answered; live view is off after it.
        when([] { return !live() && !QApplication::activeModalWidget() && !gAnswerPending; }, 10s,
             [mainWindow] {
                 report(QString("unplugged live %1").arg(live() ? 1 : 0));
                 pressUnplugKey(mainWindow);
                 when(live, 10s, [] {
                     report(QString("replugged live %1").arg(live() ? 1 : 0));
                     closeMainWindow();
                 });
             });
    });
}

QWidget* recordingsWindow() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible() && w->windowTitle() == "Recordings")
            return w;
    return nullptr;
}

void openRecordings(QWidget* mainWindow) {
    using namespace std::chrono_literals;
    mainWindow->activateWindow();
    if (!QTest::qWaitForWindowActive(mainWindow))
        report("main window not active");
    QTest::keyClick(mainWindow, Qt::Key_R);
    when([] { return recordingsWindow() != nullptr; }, 10s,
         [] {
             QWidget* window = recordingsWindow();
             const auto* list = window ? window->findChild<QTableView*>("list") : nullptr;
             const auto* day = window ? window->findChild<QDateEdit*>() : nullptr;
             if (!list || !day) {
                 report("recordings none");
             } else {
                 const QAbstractItemModel* model = list->model();
                 report(QString("recordings %1 %2 %3")
                            .arg(day->date().toString(Qt::ISODate))
                            .arg(model->rowCount())
                            .arg(model->data(model->index(0, 1)).toString()));
             }
             closeMainWindow();
         });
}

int main(int argc, char** argv) {
    bool unplugging = false;
    bool recordings = false;
    for (int i = 1; i < argc; ++i) {
        const QString arg = QString::fromUtf8(argv[i]);
        if (arg == "--unplug-and-replug")
            unplugging = true;
        else if (arg == "--open-recordings")
            recordings = true;
        else if (arg == "--leave-boxes-open")
            gUserAway = true;
        else if (arg == "--quit-at-box")
            gUserAway = gQuitAtBox = true;
        else
            gEntries << QString::fromUtf8(argv[i]);
    }
    vidora::ProgramHooks hooks;
    hooks.whenRunning = [unplugging, recordings](QWidget* mainWindow) {
        report("running");
        if (unplugging)
            unplugAndReplug(mainWindow);
        else if (recordings)
            openRecordings(mainWindow);
        else if (!gUserAway)
            QTimer::singleShot(0, qApp, closeMainWindow);
    };
    int programArgc = 1;
    const int code = vidora::runProgram(programArgc, argv, vidora::ReceiverKind::Simulated, &hooks);
    report(QString("exit %1").arg(code));
    return code;
}
