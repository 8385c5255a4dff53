#pragma once
// The tabbed "Vidora Setup" sheet: seven pages over one working copy of the settings record,
// and only "Ok" and "Cancel". A page is created when its tab is first shown; the Security page
// may refuse to be left; every created page writes back into the working copy as the sheet
// closes, whatever the button (the Display page last). Owned by the caller of ShowConfigDialog (on
// its stack) for one modal run; GUI thread.
#include <QDialog>
#include <array>

#include "settingsui/about.h"
#include "settingsui/alarm_set.h"
#include "settingsui/capture_setup.h"
#include "settingsui/display_setup.h"
#include "settingsui/modify_password.h"
#include "settingsui/plan_task.h"
#include "settingsui/record_setup.h"

class QPushButton;
class QStackedWidget;
class QTabBar;

namespace vidora::settingsui {

class CParamSetSheet final : public QDialog {
  public:
    // Tab order, which is also the start page numbering of ShowConfigDialog.
    enum PageIndex {
        kSecurity = 0,
        kDisplay,
        kAlarm,
        kRecord,
        kCapture,
        kPlanTask,
        kAbout,
        kPageCount
    };

    // context.config is the working copy. A startPage outside 0..6 opens the first page.
    CParamSetSheet(const PageContext& context, int startPage, QWidget* parent = nullptr);
    ~CParamSetSheet() override;

    int activePage() const;
    // Makes index the active page after the active page's leave check; false if it refused.
    bool setActivePage(int index);
    SettingsPage* page(int index) const;

    QPushButton* okButton() const { return ok_; }
    QPushButton* cancelButton() const { return cancel_; }

    void accept() override;
    void done(int result) override;

  private:
    void onTabChanged(int index);

    QTabBar* tabs_;
    QStackedWidget* stack_;
    QPushButton* ok_;
    QPushButton* cancel_;
    CModifyPassword security_;
    CDisplaySetup display_;
    CAlarmSet alarm_;
    CRecordSetup record_;
    CCaptureSetup capture_;
    CPlanTask planTask_;
    CAbout about_;
    std::array<SettingsPage*, kPageCount> pages_;
    bool revertingTab_ = false;
    bool closed_ = false;
};

}  // namespace vidora::settingsui
