#include "settingsui/up_down.h"

#include <QEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

namespace vidora::settingsui {

namespace {

QToolButton* makeArrow(Qt::ArrowType arrow, QWidget* parent) {
    auto* button = new QToolButton(parent);
    button->setArrowType(arrow);
    button->setAutoRepeat(true);
    // Clicking an arrow must not take the focus from the edit, or the edit's leave checks
    // would run on every click.
    button->setFocusPolicy(Qt::NoFocus);
    button->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Ignored);
    button->setFixedWidth(16);
    return button;
}

}  // namespace

UpDown::UpDown(QLineEdit* buddy, int minimum, int maximum, QWidget* parent)
    : QWidget(parent),
      buddy_(buddy),
      up_(makeArrow(Qt::UpArrow, this)),
      down_(makeArrow(Qt::DownArrow, this)),
      minimum_(minimum),
      maximum_(maximum) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(up_);
    layout->addWidget(down_);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
    setFixedHeight(buddy->sizeHint().height());
    setFocusPolicy(Qt::NoFocus);
    setEnabled(buddy->isEnabled());
    connect(up_, &QToolButton::clicked, this, [this] { stepBy(1); });
    connect(down_, &QToolButton::clicked, this, [this] { stepBy(-1); });
    buddy->installEventFilter(this);
}

void UpDown::setRange(int minimum, int maximum) {
    minimum_ = minimum;
    maximum_ = std::max(minimum, maximum);
}

void UpDown::stepBy(int steps) {
    if (!buddy_->isEnabled() || buddy_->isReadOnly()) {
        return;
    }
    bool ok = false;
    long long value = buddy_->text().trimmed().toLongLong(&ok);
    if (!ok) {
        value = minimum_;
    }
    value = std::clamp<long long>(value + steps, minimum_, maximum_);
    buddy_->setText(QString::number(value));
}

bool UpDown::eventFilter(QObject* watched, QEvent* event) {
    if (watched == buddy_) {
        if (event->type() == QEvent::EnabledChange) {
            setEnabled(buddy_->isEnabled());
        } else if (event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent*>(event)->key();
            if (key == Qt::Key_Up || key == Qt::Key_Down) {
                stepBy(key == Qt::Key_Up ? 1 : -1);
                return true;
            }
        }
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace vidora::settingsui
