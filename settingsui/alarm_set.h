#pragma once
// Alarm page: which channels raise move and sound alarms, what an alarm does, and how long it
// records and takes photos. Owned by CParamSetSheet; GUI thread.
#include <array>

#include "settingsui/settings_page.h"

class QCheckBox;
class QLineEdit;

namespace vidora::settingsui {

class CAlarmSet final : public SettingsPage {
  public:
    explicit CAlarmSet(const PageContext& context);

    void writeBack() override;

  protected:
    void build() override;

  private:
    // One alarm duration entered as hours, minutes and seconds.
    struct Duration {
        QLineEdit* hours = nullptr;
        QLineEdit* minutes = nullptr;
        QLineEdit* seconds = nullptr;
    };

    Duration makeDuration(const std::array<int, 6>& ids);
    void showDuration(const Duration& duration, std::int32_t totalSeconds);
    std::int32_t durationSeconds(const Duration& duration) const;
    void watchDuration(const Duration& duration);
    void checkMinutesOrSeconds(QLineEdit* edit, const Duration& duration);
    void checkNotZero(const Duration& duration);
    void checkFrameRate();

    std::array<QCheckBox*, 4> moveAlarm_{};
    std::array<QCheckBox*, 4> soundAlarm_{};
    QCheckBox* record_ = nullptr;
    QCheckBox* capture_ = nullptr;
    QCheckBox* sound_ = nullptr;
    Duration recordFor_;
    Duration captureFor_;
    QLineEdit* fps_ = nullptr;
    int maxFps_ = 25;
};

}  // namespace vidora::settingsui
