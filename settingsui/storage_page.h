#pragma once
// What the Record and Capture pages share: a folder field with its "Change" button and folder
// browser, the free-space check of a size limit, and the two limit-policy radios. Owned by
// CParamSetSheet; GUI thread.
#include "settingsui/settings_page.h"

class QGroupBox;
class QLineEdit;
class QRadioButton;

namespace vidora::settingsui {

class StoragePage : public SettingsPage {
  protected:
    using SettingsPage::SettingsPage;

    // The read-only folder field and its "Change" button, laid out in one row.
    QLayout* makeFolderRow(const QString& label, int editId, int buttonId, const QString& folder);
    // The "Take following operation ..." group with its two radios; checks the first for policy 1.
    QGroupBox* makePolicyGroup(int deleteId, int stopId, std::int32_t policy);
    // Warns when the size typed into limitEdit reaches the free space of the folder's volume.
    void checkFreeSpace(QLineEdit* limitEdit);

    QString folderText() const;
    std::int32_t policy() const;

  private:
    void browseFolder();

    QLineEdit* folder_ = nullptr;
    QRadioButton* deleteOldest_ = nullptr;
    QRadioButton* stopAndNotify_ = nullptr;
};

// Longest folder path a folder field takes, in bytes without its NUL.
inline constexpr std::size_t kMaxFolderBytes = sizeof(VidoraConfig::recordFolder) - 1;
static_assert(sizeof(VidoraConfig::recordFolder) == sizeof(VidoraConfig::pictureFolder));

}  // namespace vidora::settingsui
