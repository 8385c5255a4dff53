#include "settingsui/display_setup.h"
#include "settingsui/control_ids.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QVBoxLayout>
#include <algorithm>

#include "settingsui/field_text.h"
#include "settingsui/stored_choices.h"

namespace vidora::settingsui {

namespace {

// Typed names are limited to 30 characters, and to what fits a 32-byte slot with its NUL.
constexpr int kMaxNameChars = 30;
constexpr int kMaxNameBytes = sizeof(VidoraConfig::channelName[0]) - 1;

}  // namespace

CDisplaySetup::CDisplaySetup(const PageContext& context)
    : SettingsPage(context, QStringLiteral("Display")) {}

void CDisplaySetup::build() {
    const VidoraConfig& cfg = config();

    // Camera alias edits, in the order of the channels.
    constexpr int kNameIds[4] = {ids::display::kChannelName1, ids::display::kChannelName2,
                                 ids::display::kChannelName3, ids::display::kChannelName4};
    auto* alias = new QGroupBox(QStringLiteral("Camera Alias"), this);
    auto* aliasGrid = new QGridLayout(alias);
    for (int ch = 0; ch < 4; ++ch) {
        auto* edit = new QLineEdit(alias);
        edit->setObjectName(idName(kNameIds[ch]));
        auto* limit = new TextLimitValidator(kMaxNameChars, kMaxNameBytes, edit);
        limit->allowStoredText(fieldText(cfg.channelName[ch]));
        edit->setValidator(limit);
        edit->setText(fieldText(cfg.channelName[ch]));
        names_[ch] = edit;
        aliasGrid->addWidget(new QLabel(QStringLiteral("Camera%1:").arg(ch + 1), alias), ch / 2,
                             (ch % 2) * 2);
        aliasGrid->addWidget(edit, ch / 2, (ch % 2) * 2 + 1);
    }
    aliasGrid->setColumnStretch(1, 1);
    aliasGrid->setColumnStretch(3, 1);

    auto* loop = new QGroupBox(QStringLiteral("Channel Loop"), this);
    hours_ = makeNumberEdit(ids::display::kCycleHours);
    minutes_ = makeNumberEdit(ids::display::kCycleMinutes);
    seconds_ = makeNumberEdit(ids::display::kCycleSeconds);
    makeUpDown(ids::display::kCycleHoursUpDown, hours_, 0, 23);
    makeUpDown(ids::display::kCycleMinutesUpDown, minutes_, 0, 59);
    makeUpDown(ids::display::kCycleSecondsUpDown, seconds_, 3, 59);
    const std::uint32_t cycle = cfg.cycleSeconds;
    hours_->setText(QString::number(cycle / 3600));
    minutes_->setText(QString::number(cycle % 3600 / 60));
    seconds_->setText(QString::number(cycle % 60));
    auto* loopRow = new QHBoxLayout(loop);
    loopRow->addWidget(makeLabel(QStringLiteral("Interval of automatic channel loop:")));
    addNumberField(loopRow, hours_, QStringLiteral("h:"));
    addNumberField(loopRow, minutes_, QStringLiteral("m:"));
    addNumberField(loopRow, seconds_, QStringLiteral("s"));
    loopRow->addStretch();

    auto* osd = new QGroupBox(QStringLiteral("On Screen Display"), this);
    showDate_ = new QCheckBox(QStringLiteral("Date"), osd);
    showDate_->setObjectName(idName(ids::display::kShowDate));
    showDate_->setChecked(cfg.showDate != 0);
    showTime_ = new QCheckBox(QStringLiteral("Time"), osd);
    showTime_->setObjectName(idName(ids::display::kShowTime));
    showTime_->setChecked(cfg.showTime != 0);
    showChannel_ = new QCheckBox(QStringLiteral("CHx"), osd);
    showChannel_->setObjectName(idName(ids::display::kShowChannelName));
    showChannel_->setChecked(cfg.showChannelName != 0);
    auto* osdRow = new QHBoxLayout(osd);
    osdRow->addWidget(showDate_);
    osdRow->addWidget(showTime_);
    osdRow->addWidget(showChannel_);
    osdRow->addStretch();

    auto* video = new QGroupBox(QStringLiteral("Video Adjustment"), this);
    auto* videoGrid = new QGridLayout(video);
    standard_ = new QComboBox(video);
    standard_->setObjectName(idName(ids::display::kStandard));
    standard_->addItems({QStringLiteral("PAL"), QStringLiteral("NTSC")});
    const auto standard = knownStandard(cfg.videoStandard);
    standard_->setCurrentIndex(standard ? standardRow(*standard) : -1);
    videoGrid->addWidget(new QLabel(QStringLiteral("Standard"), video), 0, 0);
    videoGrid->addWidget(standard_, 0, 1, Qt::AlignLeft);

    constexpr int kSliderIds[4] = {ids::display::kBrightness, ids::display::kSharpness,
                                   ids::display::kContrast, ids::display::kSaturation};
    const QString kSliderNames[4] = {QStringLiteral("Brightness"), QStringLiteral("Sharpness"),
                                     QStringLiteral("Contrast"), QStringLiteral("Saturation")};
    const std::int32_t values[4] = {cfg.brightness, cfg.sharpness, cfg.contrast, cfg.saturation};
    for (int i = 0; i < 4; ++i) {
        auto* slider = new QSlider(Qt::Horizontal, video);
        slider->setObjectName(idName(kSliderIds[i]));
        slider->setRange(cfg.adjustMin[i], cfg.adjustMax[i]);
        const std::int64_t span = std::int64_t{slider->maximum()} - slider->minimum();
        slider->setPageStep(static_cast<int>(std::max<std::int64_t>(1, span / 10)));
        slider->setValue(values[i]);
        slider->setMinimumWidth(260);
        sliders_[i] = slider;
        videoGrid->addWidget(new QLabel(kSliderNames[i], video), i + 1, 0);
        videoGrid->addWidget(slider, i + 1, 1);
        // Every position change goes to the viewer at once, so the picture follows the drag.
        const int code = CFG_CB_BRIGHTNESS + i;
        connect(slider, &QSlider::valueChanged, this, [this, i, code](int position) {
            adjusted_[i] = true;
            callBack(code, position);
        });
    }
    auto* defaults = new QPushButton(QStringLiteral("Default"), video);
    defaults->setObjectName(idName(ids::display::kDefaults));
    connect(defaults, &QPushButton::clicked, this, [this] { restoreDefaults(); });
    videoGrid->addWidget(defaults, 5, 1, Qt::AlignRight);
    videoGrid->setColumnStretch(1, 1);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(alias);
    layout->addWidget(loop);
    layout->addWidget(osd);
    layout->addWidget(video);
    layout->addStretch();

    checkOnFocusOut(minutes_, [this] { checkLoopField(minutes_, 0); });
    checkOnFocusOut(seconds_, [this] { checkLoopField(seconds_, 3); });
}

void CDisplaySetup::restoreDefaults() {
    const VidoraConfig& cfg = config();
    for (int i = 0; i < 4; ++i) {
        const QSignalBlocker quiet(sliders_[i]);
        sliders_[i]->setValue(cfg.adjustDefault[i]);
        adjusted_[i] = true;
    }
    for (int i = 0; i < 4; ++i) {
        callBack(CFG_CB_BRIGHTNESS + i, cfg.adjustDefault[i]);
    }
}

void CDisplaySetup::checkLoopField(QLineEdit* edit, int minimum) {
    const std::int64_t value = fieldNumber(edit);
    if (value >= 60 || value < minimum) {
        showMessage(QStringLiteral("时间设置错误!"), QStringLiteral("diplay"));
        focusAndSelect(edit);
    }
}

void CDisplaySetup::writeBack() {
    VidoraConfig& cfg = config();
    for (int ch = 0; ch < 4; ++ch) {
        storeChangedFieldText(cfg.channelName[ch], names_[ch]->text());
    }
    cfg.cycleSeconds = clampToUInt32(fieldNumber(hours_) * 3600 + fieldNumber(minutes_) * 60 +
                                     fieldNumber(seconds_));
    cfg.showDate = showDate_->isChecked() ? 1 : 0;
    cfg.showTime = showTime_->isChecked() ? 1 : 0;
    cfg.showChannelName = showChannel_->isChecked() ? 1 : 0;
    // A slider only stores what the user set: with no receiver the ranges are empty, and the
    // clamped position would otherwise overwrite the stored adjustment.
    std::int32_t* values[4] = {&cfg.brightness, &cfg.sharpness, &cfg.contrast, &cfg.saturation};
    for (int i = 0; i < 4; ++i) {
        if (adjusted_[i]) {
            *values[i] = sliders_[i]->value();
        }
    }
    // A list without a selection (an unknown stored standard) keeps the stored value.
    if (standard_->currentIndex() >= 0) {
        cfg.videoStandard = storedValue(standardAtRow(standard_->currentIndex()));
    }
    constexpr int palMaxFps = maxFramesPerSecond(VideoStandard::Pal);
    if (knownStandard(cfg.videoStandard) == VideoStandard::Pal && cfg.recordFps > palMaxFps) {
        cfg.recordFps = palMaxFps;
    }
}

}  // namespace vidora::settingsui
