#pragma once
// Display page: camera names, the channel loop interval, what the on-screen display shows, the
// video standard and the four picture adjustments, which act live through the callback while
// the sheet is open. Owned by CParamSetSheet; GUI thread.
#include <array>

#include "settingsui/settings_page.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QSlider;

namespace vidora::settingsui {

class CDisplaySetup final : public SettingsPage {
  public:
    explicit CDisplaySetup(const PageContext& context);

    void writeBack() override;

  protected:
    void build() override;

  private:
    void restoreDefaults();
    void checkLoopField(QLineEdit* edit, int minimum);

    std::array<QLineEdit*, 4> names_{};
    QLineEdit* hours_ = nullptr;
    QLineEdit* minutes_ = nullptr;
    QLineEdit* seconds_ = nullptr;
    QCheckBox* showDate_ = nullptr;
    QCheckBox* showTime_ = nullptr;
    QCheckBox* showChannel_ = nullptr;
    QComboBox* standard_ = nullptr;
    // Brightness, sharpness, contrast, saturation: the order of the callback codes 1 to 4.
    std::array<QSlider*, 4> sliders_{};
    std::array<bool, 4> adjusted_{};
};

}  // namespace vidora::settingsui
