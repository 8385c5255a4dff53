#pragma once
// Capture page: where still pictures are stored, their file format and size, and the storage
// limit with its policy. Owned by CParamSetSheet; GUI thread.
#include "settingsui/storage_page.h"

class QComboBox;
class QLineEdit;

namespace vidora::settingsui {

class CCaptureSetup final : public StoragePage {
  public:
    explicit CCaptureSetup(const PageContext& context);

    void writeBack() override;

  protected:
    void build() override;

  private:
    QComboBox* format_ = nullptr;
    QComboBox* size_ = nullptr;
    QLineEdit* limit_ = nullptr;
};

}  // namespace vidora::settingsui
