#pragma once
// The message boxes and the folder browser the pages open. The desktop implementation shows
// real modal dialogs; tests install one that records the texts and answers at once.
// ShowConfigDialog owns the desktop implementation for one call; GUI thread only.
#include <QString>

class QWidget;

namespace vidora::settingsui {

class UserDialogs {
  public:
    virtual ~UserDialogs() = default;
    // A message box with an OK button, owned by owner.
    virtual void message(QWidget* owner, const QString& text, const QString& caption) = 0;
    // The folder browser, limited to folders; the chosen folder's full path, or an empty string
    // when the user cancelled.
    virtual QString chooseFolder(QWidget* owner, const QString& title) = 0;
};

class DesktopDialogs final : public UserDialogs {
  public:
    void message(QWidget* owner, const QString& text, const QString& caption) override;
    QString chooseFolder(QWidget* owner, const QString& title) override;
};

}  // namespace vidora::settingsui
