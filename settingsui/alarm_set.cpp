#include "settingsui/alarm_set.h"
#include "settingsui/control_ids.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "settingsui/field_text.h"
#include "settingsui/stored_choices.h"
#include "settingsui/up_down.h"

namespace vidora::settingsui {

namespace {

const QString kNotice = QStringLiteral("提示");

QCheckBox* makeCheck(QWidget* parent, int id, const QString& text, bool checked) {
    auto* box = new QCheckBox(text, parent);
    box->setObjectName(idName(id));
    box->setChecked(checked);
    return box;
}

}  // namespace

CAlarmSet::CAlarmSet(const PageContext& context) : SettingsPage(context, QStringLiteral("Alarm")) {}

CAlarmSet::Duration CAlarmSet::makeDuration(const std::array<int, 6>& ids) {
    Duration duration;
    duration.hours = makeNumberEdit(ids[0]);
    duration.minutes = makeNumberEdit(ids[2]);
    duration.seconds = makeNumberEdit(ids[4]);
    makeUpDown(ids[1], duration.hours, 0, 23);
    makeUpDown(ids[3], duration.minutes, 0, 59);
    makeUpDown(ids[5], duration.seconds, 0, 59);
    return duration;
}

void CAlarmSet::build() {
    const VidoraConfig& cfg = config();

    // Channel switches: edit id pairs (move, sound) per channel.
    constexpr int kChannelIds[4][2] = {{ids::alarm::kMotion1, ids::alarm::kSound1},
                                       {ids::alarm::kMotion2, ids::alarm::kSound2},
                                       {ids::alarm::kMotion3, ids::alarm::kSound3},
                                       {ids::alarm::kMotion4, ids::alarm::kSound4}};
    auto* channels = new QGridLayout;
    for (int ch = 0; ch < 4; ++ch) {
        auto* group = new QGroupBox(QStringLiteral("CH%1").arg(ch + 1), this);
        moveAlarm_[ch] = makeCheck(group, kChannelIds[ch][0], QStringLiteral("Open move alarm"),
                                   cfg.motionAlarmChannel[ch] != 0);
        soundAlarm_[ch] = makeCheck(group, kChannelIds[ch][1], QStringLiteral("Open sound alarm"),
                                    cfg.soundAlarmChannel[ch] != 0);
        auto* column = new QVBoxLayout(group);
        column->addWidget(moveAlarm_[ch]);
        column->addWidget(soundAlarm_[ch]);
        channels->addWidget(group, 0, ch);
    }

    auto* operating = new QGroupBox(QStringLiteral("Operating of alarm"), this);
    record_ =
        makeCheck(operating, ids::alarm::kRecord, QStringLiteral("Record"), cfg.alarmRecord != 0);
    capture_ = makeCheck(operating, ids::alarm::kCapture, QStringLiteral("Capture"),
                         cfg.alarmCapture != 0);
    sound_ = makeCheck(operating, ids::alarm::kPlaySound, QStringLiteral("Play alarm sound"),
                       cfg.alarmSound != 0);
    auto* operatingRow = new QHBoxLayout(operating);
    operatingRow->addWidget(record_);
    operatingRow->addWidget(capture_);
    operatingRow->addWidget(sound_);
    operatingRow->addStretch();

    recordFor_ = makeDuration({ids::alarm::kRecordHours, ids::alarm::kRecordHoursUpDown,
                               ids::alarm::kRecordMinutes, ids::alarm::kRecordMinutesUpDown,
                               ids::alarm::kRecordSeconds, ids::alarm::kRecordSecondsUpDown});
    captureFor_ = makeDuration({ids::alarm::kCaptureHours, ids::alarm::kCaptureHoursUpDown,
                                ids::alarm::kCaptureMinutes, ids::alarm::kCaptureMinutesUpDown,
                                ids::alarm::kCaptureSeconds, ids::alarm::kCaptureSecondsUpDown});
    fps_ = makeNumberEdit(ids::alarm::kFps);
    maxFps_ = maxFramesPerSecond(knownStandard(cfg.videoStandard));
    makeUpDown(ids::alarm::kFpsUpDown, fps_, 1, maxFps_);

    auto* recordGroup = new QGroupBox(QStringLiteral("Record strategy of alarm"), this);
    auto* recordRow = new QHBoxLayout(recordGroup);
    recordRow->addWidget(makeLabel(QStringLiteral("After alarm triggered,record video for")));
    addNumberField(recordRow, recordFor_.hours, QStringLiteral("h:"));
    addNumberField(recordRow, recordFor_.minutes, QStringLiteral("m:"));
    addNumberField(recordRow, recordFor_.seconds, QStringLiteral("s."));
    recordRow->addStretch();

    auto* captureGroup = new QGroupBox(QStringLiteral("Capture strategy of alarm"), this);
    auto* captureRow = new QHBoxLayout(captureGroup);
    captureRow->addWidget(makeLabel(QStringLiteral("After alarm triggered,take photos in:")));
    addNumberField(captureRow, captureFor_.hours, QStringLiteral("h:"));
    addNumberField(captureRow, captureFor_.minutes, QStringLiteral("m:"));
    addNumberField(captureRow, captureFor_.seconds, QStringLiteral("s,at"));
    addNumberField(captureRow, fps_, QStringLiteral("fps."));
    captureRow->addStretch();

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(channels);
    layout->addWidget(operating);
    layout->addWidget(recordGroup);
    layout->addWidget(captureGroup);
    layout->addStretch();

    showDuration(recordFor_, cfg.alarmRecordSeconds);
    showDuration(captureFor_, cfg.alarmCaptureSeconds);
    fps_->setText(QString::number(cfg.alarmCaptureFps));

    watchDuration(recordFor_);
    watchDuration(captureFor_);
    checkOnFocusOut(fps_, [this] { checkFrameRate(); });
}

void CAlarmSet::showDuration(const Duration& duration, std::int32_t totalSeconds) {
    duration.hours->setText(QString::number(totalSeconds / 3600));
    duration.minutes->setText(QString::number(totalSeconds % 3600 / 60));
    duration.seconds->setText(QString::number(totalSeconds % 60));
}

std::int32_t CAlarmSet::durationSeconds(const Duration& duration) const {
    return clampToInt32(fieldNumber(duration.hours) * 3600 + fieldNumber(duration.minutes) * 60 +
                        fieldNumber(duration.seconds));
}

void CAlarmSet::watchDuration(const Duration& duration) {
    checkOnFocusOut(duration.hours, [this, duration] { checkNotZero(duration); });
    checkOnFocusOut(duration.minutes,
                    [this, duration] { checkMinutesOrSeconds(duration.minutes, duration); });
    checkOnFocusOut(duration.seconds,
                    [this, duration] { checkMinutesOrSeconds(duration.seconds, duration); });
}

void CAlarmSet::checkMinutesOrSeconds(QLineEdit* edit, const Duration& duration) {
    const std::int64_t value = fieldNumber(edit);
    if (value > 59 || value < 0) {
        showMessage(QStringLiteral("Time setuped have error!"), QStringLiteral("time error"));
        focusAndSelect(edit);
        return;
    }
    checkNotZero(duration);
}

void CAlarmSet::checkNotZero(const Duration& duration) {
    const std::int64_t total =
        fieldNumber(duration.hours) + fieldNumber(duration.minutes) + fieldNumber(duration.seconds);
    if (total == 0) {
        showMessage(QStringLiteral("时间不能为零!"), kNotice);
        focusAndSelect(duration.seconds);
    }
}

void CAlarmSet::checkFrameRate() {
    const std::int64_t value = fieldNumber(fps_);
    if (value > maxFps_ || value <= 0) {
        QString text = fps_->text();
        text.chop(1);
        fps_->setText(text);
        showMessage(QStringLiteral("最小值为1，最大值为%1").arg(maxFps_), kNotice);
        focusAndSelect(fps_);
    }
}

void CAlarmSet::writeBack() {
    VidoraConfig& cfg = config();
    for (int ch = 0; ch < 4; ++ch) {
        cfg.motionAlarmChannel[ch] = moveAlarm_[ch]->isChecked() ? 1 : 0;
        cfg.soundAlarmChannel[ch] = soundAlarm_[ch]->isChecked() ? 1 : 0;
    }
    cfg.alarmRecord = record_->isChecked() ? 1 : 0;
    cfg.alarmCapture = capture_->isChecked() ? 1 : 0;
    cfg.alarmSound = sound_->isChecked() ? 1 : 0;
    cfg.alarmRecordSeconds = durationSeconds(recordFor_);
    cfg.alarmCaptureSeconds = durationSeconds(captureFor_);
    cfg.alarmCaptureFps = clampToInt32(fieldNumber(fps_));
}

}  // namespace vidora::settingsui
