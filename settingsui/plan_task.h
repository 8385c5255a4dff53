#pragma once
// Plan task page: lists the viewer's scheduled tasks, shows one, creates and deletes tasks. It
// never touches the working copy: it walks the viewer's task list read-only through the
// callback (codes 9 and 10) and changes it only through codes 5 to 8, so its changes act at
// once and stay after Cancel. Owned by CParamSetSheet; GUI thread.
#include <array>

#include "settingsui/settings_page.h"

class QAbstractButton;
class QButtonGroup;
class QComboBox;
class QDateEdit;
class QDateTimeEdit;
class QGridLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTableWidget;

namespace vidora::settingsui {

class CPlanTask final : public SettingsPage {
  public:
    explicit CPlanTask(const PageContext& context);

  protected:
    void build() override;

  private:
    int taskCount() const;
    const TaskRecord* taskAt(int index) const;

    void refreshList();
    void showTask(const TaskRecord* task);
    void onNew();
    void onAdd();
    void onDelete();
    // Enables (when editing) and lays out the timing controls that the frequency uses.
    void applyFrequency(int frequency, bool editing);
    void layoutTiming(int frequency);
    void applyOperation();
    int checkedFrequency() const;
    void setEditingEnabled(bool enabled);
    void abandonAdd(std::intptr_t record, const QString& text, const QString& caption,
                    QLineEdit* focus);

    QTableWidget* list_ = nullptr;
    QPushButton* new_ = nullptr;
    QPushButton* add_ = nullptr;
    QPushButton* delete_ = nullptr;
    QButtonGroup* frequencies_ = nullptr;
    std::array<QRadioButton*, 4> frequencyRadios_{};  // Daily, Weekly, Monthly, Only Once
    QGridLayout* timingGrid_ = nullptr;
    QLabel* dayLabel_ = nullptr;
    QComboBox* day_ = nullptr;
    QLabel* weekdayLabel_ = nullptr;
    QComboBox* weekday_ = nullptr;
    QLabel* dateLabel_ = nullptr;
    QDateEdit* date_ = nullptr;
    QLabel* timeLabel_ = nullptr;
    QDateTimeEdit* time_ = nullptr;
    QRadioButton* recorder_ = nullptr;
    QRadioButton* capture_ = nullptr;
    QLineEdit* lengthHours_ = nullptr;
    QLineEdit* lengthMinutes_ = nullptr;
    QLineEdit* lengthSeconds_ = nullptr;
    QLineEdit* captureSeconds_ = nullptr;
    QLineEdit* captureFps_ = nullptr;
    QComboBox* channel_ = nullptr;
};

}  // namespace vidora::settingsui
