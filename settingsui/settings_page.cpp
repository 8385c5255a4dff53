#include "settingsui/settings_page.h"

#include <QBoxLayout>
#include <QFocusEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>

#include "settingsui/dark_theme.h"

#include "settingsui/field_text.h"
#include "settingsui/up_down.h"
#include "settingsui/user_dialogs.h"

namespace vidora::settingsui {

QString idName(int id) {
    return QString::number(id);
}

SettingsPage::SettingsPage(const PageContext& context, const QString& caption)
    : context_(context), caption_(caption) {}

void SettingsPage::ensureCreated() {
    if (created_) {
        return;
    }
    created_ = true;
    build();
    // Built after the sheet was themed: its controls take the sheet's look too.
    applyDarkTheme(*this);
}

std::intptr_t SettingsPage::callBack(int code, std::intptr_t value) const {
    return context_.callback ? context_.callback(code, value) : 0;
}

void SettingsPage::showMessage(const QString& text, const QString& caption) {
    if (context_.dialogs) {
        context_.dialogs->message(this, text, caption);
    }
}

void SettingsPage::checkOnFocusOut(QLineEdit* edit, std::function<void()> check) {
    checks_[edit] = std::move(check);
    edit->installEventFilter(this);
}

void SettingsPage::focusAndSelect(QLineEdit* edit) {
    edit->setFocus(Qt::OtherFocusReason);
    edit->selectAll();
}

bool SettingsPage::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusOut && !checking_) {
        const auto reason = static_cast<QFocusEvent*>(event)->reason();
        // Another window taking the focus (a message box, another program) does not leave the
        // field; only a move inside the dialog does.
        const bool leftField =
            reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason;
        auto* edit = qobject_cast<QLineEdit*>(watched);
        if (leftField && edit && checks_.count(edit)) {
            // The check may show a message box and move the focus back; doing that from inside
            // the focus change would re-enter it, so it runs once the change is complete.
            QPointer<QLineEdit> guarded(edit);
            QMetaObject::invokeMethod(
                this,
                [this, guarded] {
                    if (guarded) {
                        runCheck(guarded);
                    }
                },
                Qt::QueuedConnection);
        }
    }
    return QWidget::eventFilter(watched, event);
}

void SettingsPage::runCheck(QLineEdit* edit) {
    // A sheet that has closed meanwhile checks nothing.
    if (checking_ || !window()->isVisible()) {
        return;
    }
    const auto it = checks_.find(edit);
    if (it == checks_.end()) {
        return;
    }
    checking_ = true;
    it->second();
    checking_ = false;
}

QLineEdit* SettingsPage::makeNumberEdit(int id, int digits) {
    auto* edit = new QLineEdit(this);
    edit->setObjectName(idName(id));
    edit->setValidator(makeDigitsValidator(edit));
    edit->setMaxLength(10);
    const int width = edit->fontMetrics().horizontalAdvance(QString(digits + 1, QLatin1Char('0')));
    edit->setFixedWidth(width + 12);
    edit->setAlignment(Qt::AlignRight);
    return edit;
}

UpDown* SettingsPage::makeUpDown(int id, QLineEdit* buddy, int minimum, int maximum) {
    auto* upDown = new UpDown(buddy, minimum, maximum, this);
    upDown->setObjectName(idName(id));
    upDowns_[buddy] = upDown;
    return upDown;
}

void SettingsPage::addNumberField(QBoxLayout* row, QLineEdit* edit, const QString& unit) {
    row->addWidget(edit);
    if (const auto it = upDowns_.find(edit); it != upDowns_.end()) {
        row->addWidget(it->second);
    }
    if (!unit.isEmpty()) {
        row->addWidget(makeLabel(unit));
    }
}

QLabel* SettingsPage::makeLabel(const QString& text) {
    return new QLabel(text, this);
}

}  // namespace vidora::settingsui
