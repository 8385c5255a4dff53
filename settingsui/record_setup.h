#pragma once
// Record page: where video is recorded, the recorded picture size and frame rate, the storage
// limits and the policy at the limit, with the free space of every mounted volume. Owned by
// CParamSetSheet; GUI thread.
#include "settingsui/storage_page.h"

class QComboBox;
class QLineEdit;
class QTableWidget;

namespace vidora::settingsui {

class CRecordSetup final : public StoragePage {
  public:
    explicit CRecordSetup(const PageContext& context);

    void writeBack() override;

  protected:
    void build() override;

  private:
    void fillDriveList();
    void checkSingleFile();

    QTableWidget* drives_ = nullptr;
    QComboBox* imageSize_ = nullptr;
    QComboBox* frameRate_ = nullptr;
    QLineEdit* totalLimit_ = nullptr;
    QLineEdit* fileLimit_ = nullptr;
};

// Item texts of the picture size lists for a video standard (1 PAL, 2 NTSC; the Record page
// treats any other value as NTSC, the Capture page as no standard at all).
QStringList pictureSizeItems(bool pal);

}  // namespace vidora::settingsui
