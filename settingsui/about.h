#pragma once
// About page: the product's version; edits nothing. Owned by CParamSetSheet; GUI thread.
#include "settingsui/settings_page.h"

namespace vidora::settingsui {

class CAbout final : public SettingsPage {
  public:
    explicit CAbout(const PageContext& context);

  protected:
    void build() override;
};

}  // namespace vidora::settingsui
