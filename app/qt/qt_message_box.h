#pragma once
// Shows the program's message boxes with Qt on the UI thread, for userMessageBox callers on any
// thread.
#include <QWidget>
#include <functional>

#include "app/message_box.h"

namespace vidora {

// Shows one box now (UI thread) with the icon and buttons that the type flags ask for.
int showQtMessageBox(QWidget* owner, const MessageBoxRequest& request);

// Installs the Qt presenter for userMessageBox; `owner` gives the window that owns the boxes
// (the main window once it exists). Call on the UI thread after the QApplication exists.
void installQtMessageBoxPresenter(std::function<QWidget*()> owner);

}  // namespace vidora
