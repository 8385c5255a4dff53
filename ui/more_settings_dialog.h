#pragma once
// "More settings": the viewer's own dialog for the preferences in vidora.ini, which the
// settings library's dialog (bound to the fixed settings record) has no room for. Each feature
// contributes one page; Ok checks every page, stores the values, writes the file and tells the
// running viewer (Preferences::changed). Runs modally on the user-interface thread.
#include <QDialog>
#include <QString>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/preferences.h"
#include "platform/media/capture_graph.h"

class QTabWidget;

namespace vidora {

class MoreSettingsPage {
  public:
    virtual ~MoreSettingsPage() = default;
    virtual QString title() const = 0;
    // The page's widget, filled from `prefs`; the dialog owns it.
    virtual QWidget* build(const Preferences& prefs) = 0;
    // Empty when the page's values may be stored, else the text telling the user what to fix.
    virtual QString problem() const { return {}; }
    virtual void store(Preferences& prefs) const = 0;
};

// The "Receiver" page, listing the capture devices `lister` gives (name and node).
using CaptureDeviceLister = std::function<std::vector<media::DeviceInfo>()>;
std::unique_ptr<MoreSettingsPage> receiverPage(CaptureDeviceLister lister);

// The pages, in the order the dialog shows them.
std::vector<std::unique_ptr<MoreSettingsPage>> moreSettingsPages();

// The dark look of the viewer's own dialogs, matching the main window.
QString viewerDialogStyleSheet();

class MoreSettingsDialog : public QDialog {
  public:
    MoreSettingsDialog(Preferences& prefs, std::vector<std::unique_ptr<MoreSettingsPage>> pages,
                       QWidget* parent = nullptr);

    // Ok: every page checked, then stored and written; on a problem or a failed write the user
    // is told and the dialog stays open. Returns whether the dialog closed.
    bool confirm();
    QTabWidget* tabs() const { return tabs_; }

  private:
    Preferences& prefs_;
    std::vector<std::unique_ptr<MoreSettingsPage>> pages_;
    QTabWidget* tabs_;
};

// The text shown when vidora.ini cannot be written.
std::string preferencesWriteFailureText(const std::string& file, const std::string& reason);

}  // namespace vidora
