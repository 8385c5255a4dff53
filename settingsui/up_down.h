#pragma once
// The small up/down arrow pair beside a number edit. It steps the number in its buddy edit
// within its range, from its buttons or the Up/Down keys in the edit, and follows the edit's
// enabled state. The edit itself still accepts any digits, so the pages' own checks see values
// outside the range. Owned by the page that holds the edit; GUI thread.
#include <QWidget>

class QLineEdit;
class QToolButton;

namespace vidora::settingsui {

class UpDown final : public QWidget {
  public:
    UpDown(QLineEdit* buddy, int minimum, int maximum, QWidget* parent);

    void setRange(int minimum, int maximum);
    int minimum() const { return minimum_; }
    int maximum() const { return maximum_; }
    QLineEdit* buddy() const { return buddy_; }

    // One step up (+1) or down (-1), clamped to the range; the buddy shows the result.
    void stepBy(int steps);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    QLineEdit* buddy_;
    QToolButton* up_;
    QToolButton* down_;
    int minimum_;
    int maximum_;
};

}  // namespace vidora::settingsui
