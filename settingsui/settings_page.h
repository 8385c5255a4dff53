#pragma once
// Base of the seven pages of the settings sheet. A page is an empty widget until the sheet shows
// it for the first time; then it builds its controls and loads them from the working copy. The
// sheet asks the active page whether it may be left, and makes every created page write back
// as the sheet closes. Owned by CParamSetSheet (or a test); GUI thread.
#include <QString>
#include <QWidget>
#include <functional>
#include <map>

#include "settingsui/page_context.h"

class QBoxLayout;
class QLabel;
class QLineEdit;

namespace vidora::settingsui {

class UpDown;

class SettingsPage : public QWidget {
  public:
    SettingsPage(const PageContext& context, const QString& caption);

    const QString& caption() const { return caption_; }

    // Builds the controls and loads them from the working copy, the first time only.
    void ensureCreated();
    bool isCreated() const { return created_; }

    // Leaving the page for another tab or through "Ok". False keeps the page active.
    virtual bool onKillActive() { return true; }
    // Stores the controls into the working copy; called once, as the sheet closes.
    virtual void writeBack() {}

  protected:
    virtual void build() = 0;

    VidoraConfig& config() const { return *context_.config; }
    const PageContext& context() const { return context_; }
    std::intptr_t callBack(int code, std::intptr_t value) const;

    void showMessage(const QString& text, const QString& caption);
    // Runs check after edit has lost the focus to another control of the dialog. Checks run
    // one at a time: focus moves they cause themselves start no further checks.
    void checkOnFocusOut(QLineEdit* edit, std::function<void()> check);
    void focusAndSelect(QLineEdit* edit);

    // Control factories: every control carries its id as its object name.
    QLineEdit* makeNumberEdit(int id, int digits = 3);
    UpDown* makeUpDown(int id, QLineEdit* buddy, int minimum, int maximum);
    QLabel* makeLabel(const QString& text);
    // Appends an edit, its up-down (if it has one) and the unit label that follows it.
    void addNumberField(QBoxLayout* row, QLineEdit* edit, const QString& unit);

    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void runCheck(QLineEdit* edit);

    PageContext context_;
    QString caption_;
    bool created_ = false;
    bool checking_ = false;
    std::map<QLineEdit*, std::function<void()>> checks_;
    std::map<QLineEdit*, UpDown*> upDowns_;
};

QString idName(int id);

}  // namespace vidora::settingsui
