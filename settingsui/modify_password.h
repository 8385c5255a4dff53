#pragma once
// Security page: switches the start-up password on and off and changes it. The only page that
// refuses to be left while its input is not acceptable. Owned by CParamSetSheet; GUI thread.
#include "settingsui/settings_page.h"

class QCheckBox;
class QLineEdit;

namespace vidora::settingsui {

class CModifyPassword final : public SettingsPage {
  public:
    explicit CModifyPassword(const PageContext& context);

    bool onKillActive() override;

  protected:
    void build() override;

  private:
    void onAskClicked(bool checked);

    QCheckBox* ask_ = nullptr;
    QLineEdit* oldEdit_ = nullptr;
    QLineEdit* newEdit_ = nullptr;
    QLineEdit* confirmEdit_ = nullptr;
    bool wasOn_ = false;
    QString oldPassword_;
};

}  // namespace vidora::settingsui
