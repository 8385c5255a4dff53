#include "settingsui/plan_task.h"
#include "settingsui/control_ids.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QDateEdit>
#include <QDateTimeEdit>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <set>

#include "settingsui/field_text.h"
#include "settingsui/task_text.h"

namespace vidora::settingsui {

namespace {

QComboBox* makeList(QWidget* parent, int id, const QStringList& items) {
    auto* list = new QComboBox(parent);
    list->setObjectName(idName(id));
    list->addItems(items);
    list->setCurrentIndex(0);
    return list;
}

QRadioButton* makeRadio(QWidget* parent, int id, const QString& text) {
    auto* radio = new QRadioButton(text, parent);
    radio->setObjectName(idName(id));
    return radio;
}

SystemTime toSystemTime(const QDateTime& value) {
    SystemTime t;
    const QDate date = value.date();
    const QTime time = value.time();
    t.year = static_cast<std::uint16_t>(date.year());
    t.month = static_cast<std::uint16_t>(date.month());
    t.dayOfWeek = static_cast<std::uint16_t>(date.dayOfWeek() % 7);  // Sunday = 0
    t.day = static_cast<std::uint16_t>(date.day());
    t.hour = static_cast<std::uint16_t>(time.hour());
    t.minute = static_cast<std::uint16_t>(time.minute());
    t.second = static_cast<std::uint16_t>(time.second());
    t.milliseconds = 0;
    return t;
}

}  // namespace

CPlanTask::CPlanTask(const PageContext& context)
    : SettingsPage(context, QStringLiteral("Plan task")) {}

int CPlanTask::taskCount() const {
    const std::intptr_t count = callBack(CFG_CB_TASK_COUNT, 0);
    return count > 0 ? static_cast<int>(std::min<std::intptr_t>(count, 1 << 20)) : 0;
}

const TaskRecord* CPlanTask::taskAt(int index) const {
    return reinterpret_cast<const TaskRecord*>(callBack(CFG_CB_TASK_AT, index));
}

void CPlanTask::build() {
    list_ = new QTableWidget(0, 3, this);
    list_->setObjectName(idName(ids::plan::kTaskList));
    list_->setHorizontalHeaderLabels({QStringLiteral(" CHx"), QStringLiteral("        Timing"),
                                      QStringLiteral("             Operation")});
    list_->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    list_->setColumnWidth(0, 40);
    list_->setColumnWidth(1, 180);
    list_->setColumnWidth(2, 300);
    list_->horizontalHeader()->setStretchLastSection(true);
    list_->setWordWrap(false);
    list_->verticalHeader()->hide();
    list_->setShowGrid(true);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list_->setMinimumHeight(110);

    new_ = new QPushButton(QStringLiteral("&New"), this);
    new_->setObjectName(idName(ids::plan::kNew));
    add_ = new QPushButton(QStringLiteral("&Add"), this);
    add_->setObjectName(idName(ids::plan::kAdd));
    delete_ = new QPushButton(QStringLiteral("&Delete"), this);
    delete_->setObjectName(idName(ids::plan::kDelete));
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(new_);
    buttons->addWidget(add_);
    buttons->addWidget(delete_);

    // Task Strategy.
    auto* strategy = new QGroupBox(QStringLiteral("Task Strategy"), this);
    frequencyRadios_ = {makeRadio(strategy, ids::plan::kDaily, QStringLiteral("Daily")),
                        makeRadio(strategy, ids::plan::kWeekly, QStringLiteral("Weekly")),
                        makeRadio(strategy, ids::plan::kMonthly, QStringLiteral("Monthly")),
                        makeRadio(strategy, ids::plan::kOnce, QStringLiteral("Only Once"))};
    frequencies_ = new QButtonGroup(this);
    auto* strategyColumn = new QVBoxLayout(strategy);
    for (int i = 0; i < 4; ++i) {
        frequencies_->addButton(frequencyRadios_[i], i + 1);
        strategyColumn->addWidget(frequencyRadios_[i]);
    }
    strategyColumn->addStretch();

    // Timing: the rows are laid out again whenever the frequency changes.
    auto* timing = new QGroupBox(QStringLiteral("Timing"), this);
    QStringList days;
    for (int d = 1; d <= 31; ++d) {
        days << QString::number(d);
    }
    QStringList weekdays;
    for (int d = 0; d < 7; ++d) {
        weekdays << weekdayName(d);
    }
    dayLabel_ = new QLabel(QStringLiteral("Day"), timing);
    dayLabel_->setObjectName(idName(ids::plan::kDayLabel));
    day_ = makeList(timing, ids::plan::kDay, days);
    weekdayLabel_ = new QLabel(QStringLiteral("DayOfWeek"), timing);
    weekdayLabel_->setObjectName(idName(ids::plan::kWeekdayLabel));
    weekday_ = makeList(timing, ids::plan::kWeekday, weekdays);
    dateLabel_ = new QLabel(QStringLiteral("Date"), timing);
    dateLabel_->setObjectName(idName(ids::plan::kDateLabel));
    date_ = new QDateEdit(QDate::currentDate(), timing);
    date_->setObjectName(idName(ids::plan::kDate));
    date_->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    date_->setCalendarPopup(true);
    timeLabel_ = new QLabel(QStringLiteral("Time"), timing);
    timeLabel_->setObjectName(idName(ids::plan::kTimeLabel));
    const QDateTime now = QDateTime::currentDateTime();
    time_ = new QDateTimeEdit(
        QDateTime(now.date(), QTime(now.time().hour(), now.time().minute(), now.time().second())),
        timing);
    time_->setObjectName(idName(ids::plan::kTime));
    time_->setDisplayFormat(QStringLiteral("HH:mm:ss"));
    timingGrid_ = new QGridLayout(timing);
    timingGrid_->setColumnStretch(1, 1);
    timingGrid_->setRowStretch(2, 1);
    timingGrid_->setColumnMinimumWidth(
        0, dayLabel_->fontMetrics().horizontalAdvance(QStringLiteral("DayOfWeek")) + 8);

    // Operation.
    auto* operation = new QGroupBox(QStringLiteral("Operation"), this);
    recorder_ = makeRadio(operation, ids::plan::kRecorder, QStringLiteral("Recorder"));
    capture_ = makeRadio(operation, ids::plan::kCapture, QStringLiteral("Capture"));
    auto* operations = new QButtonGroup(this);
    operations->addButton(recorder_);
    operations->addButton(capture_);
    lengthHours_ = makeNumberEdit(ids::plan::kLengthHours);
    lengthMinutes_ = makeNumberEdit(ids::plan::kLengthMinutes);
    lengthSeconds_ = makeNumberEdit(ids::plan::kLengthSeconds);
    makeUpDown(ids::plan::kLengthHoursUpDown, lengthHours_, 0, 23);
    makeUpDown(ids::plan::kLengthMinutesUpDown, lengthMinutes_, 0, 59);
    makeUpDown(ids::plan::kLengthSecondsUpDown, lengthSeconds_, 0, 59);
    captureSeconds_ = makeNumberEdit(ids::plan::kCaptureSeconds);
    captureFps_ = makeNumberEdit(ids::plan::kCaptureFps);
    makeUpDown(ids::plan::kCaptureSecondsUpDown, captureSeconds_, 1, 999);
    makeUpDown(ids::plan::kCaptureFpsUpDown, captureFps_, 1, 25);
    auto* recordRow = new QHBoxLayout;
    recordRow->addWidget(recorder_);
    recordRow->addSpacing(12);
    recordRow->addWidget(makeLabel(QStringLiteral("Length:")));
    addNumberField(recordRow, lengthHours_, QStringLiteral(":"));
    addNumberField(recordRow, lengthMinutes_, QStringLiteral(":"));
    addNumberField(recordRow, lengthSeconds_, QString());
    recordRow->addStretch();
    auto* captureRow = new QHBoxLayout;
    captureRow->addWidget(capture_);
    captureRow->addSpacing(12);
    captureRow->addWidget(makeLabel(QStringLiteral("In")));
    addNumberField(captureRow, captureSeconds_, QStringLiteral("seconds at"));
    addNumberField(captureRow, captureFps_, QStringLiteral("fps."));
    captureRow->addStretch();
    auto* operationColumn = new QVBoxLayout(operation);
    operationColumn->addLayout(recordRow);
    operationColumn->addLayout(captureRow);

    // Channel.
    auto* channelGroup = new QGroupBox(QStringLiteral("Channel"), this);
    channel_ = makeList(channelGroup, ids::plan::kChannel,
                        {QStringLiteral("CH1"), QStringLiteral("CH2"), QStringLiteral("CH3"),
                         QStringLiteral("CH4"), QStringLiteral("ALL")});
    auto* channelColumn = new QVBoxLayout(channelGroup);
    channelColumn->addWidget(channel_);
    channelColumn->addStretch();

    auto* upper = new QHBoxLayout;
    upper->addWidget(strategy);
    upper->addWidget(timing, 1);
    auto* lower = new QHBoxLayout;
    lower->addWidget(operation, 1);
    lower->addWidget(channelGroup);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(list_, 1);
    layout->addLayout(buttons);
    layout->addLayout(upper);
    layout->addLayout(lower);

    connect(new_, &QPushButton::clicked, this, [this] { onNew(); });
    connect(add_, &QPushButton::clicked, this, [this] { onAdd(); });
    connect(delete_, &QPushButton::clicked, this, [this] { onDelete(); });
    connect(list_, &QTableWidget::itemSelectionChanged, this, [this] {
        const auto rows = list_->selectionModel()->selectedRows();
        if (!rows.isEmpty()) {
            showTask(taskAt(rows.first().row()));
        }
    });
    connect(frequencies_, &QButtonGroup::idClicked, this,
            [this](int frequency) { applyFrequency(frequency, true); });
    connect(recorder_, &QRadioButton::clicked, this, [this] { applyOperation(); });
    connect(capture_, &QRadioButton::clicked, this, [this] { applyOperation(); });

    refreshList();
    setEditingEnabled(false);
    add_->setEnabled(false);
    showTask(taskCount() > 0 ? taskAt(0) : nullptr);
}

void CPlanTask::refreshList() {
    list_->setRowCount(0);
    const int count = taskCount();
    for (int i = 0; i < count; ++i) {
        const TaskRecord* task = taskAt(i);
        if (!task) {
            break;
        }
        list_->insertRow(i);
        list_->setItem(i, 0, new QTableWidgetItem(taskChannelText(*task)));
        list_->setItem(i, 1, new QTableWidgetItem(taskTimingText(*task)));
        list_->setItem(i, 2, new QTableWidgetItem(taskOperationText(*task)));
    }
    // The columns keep their widths unless a text needs more ("Weekly Wednesday 23:59:58" does
    // in most fonts); a cut-off time would be misread.
    constexpr int kColumnWidths[2] = {40, 180};
    for (int column = 0; column < 2; ++column) {
        list_->resizeColumnToContents(column);
        list_->setColumnWidth(column, std::max(kColumnWidths[column], list_->columnWidth(column)));
    }
    delete_->setEnabled(list_->rowCount() > 0);
}

void CPlanTask::showTask(const TaskRecord* task) {
    lengthHours_->setText(QStringLiteral("0"));
    lengthMinutes_->setText(QStringLiteral("0"));
    lengthSeconds_->setText(QStringLiteral("1"));
    captureSeconds_->setText(QStringLiteral("1"));
    captureFps_->setText(QStringLiteral("1"));
    if (!task) {
        frequencyRadios_[1]->setChecked(true);
        capture_->setChecked(true);
        layoutTiming(2);
        return;
    }
    if (task->channel >= 0 && task->channel <= 4) {
        channel_->setCurrentIndex(task->channel);
    }
    if (task->frequency >= 1 && task->frequency <= 4) {
        frequencyRadios_[task->frequency - 1]->setChecked(true);
    } else if (QAbstractButton* checked = frequencies_->checkedButton()) {
        frequencies_->setExclusive(false);
        checked->setChecked(false);
        frequencies_->setExclusive(true);
    }
    const SystemTime& t = task->startTime;
    const QTime clock(t.hour, t.minute, t.second);
    if (clock.isValid()) {
        time_->setTime(clock);
    }
    switch (task->frequency) {
        case 2:
            if (task->weekday >= 0 && task->weekday < 7) {
                weekday_->setCurrentIndex(task->weekday);
            }
            break;
        case 3:
            if (task->monthDay >= 1 && task->monthDay <= 31) {
                day_->setCurrentIndex(task->monthDay - 1);
            }
            break;
        case 4:
            if (const QDate date(t.year, t.month, t.day); date.isValid()) {
                date_->setDate(date);
            }
            break;
        default:
            break;
    }
    layoutTiming(task->frequency);
    if (task->operation == 1) {
        recorder_->setChecked(true);
        const std::int32_t seconds = task->durationSeconds;
        lengthHours_->setText(QString::number(seconds / 3600));
        lengthMinutes_->setText(QString::number(seconds % 3600 / 60));
        lengthSeconds_->setText(QString::number(seconds % 60));
    } else {
        capture_->setChecked(true);
        captureSeconds_->setText(QString::number(task->durationSeconds));
        captureFps_->setText(QString::number(task->captureFps));
    }
}

void CPlanTask::setEditingEnabled(bool enabled) {
    for (QRadioButton* radio : frequencyRadios_) {
        radio->setEnabled(enabled);
    }
    for (QWidget* w : std::initializer_list<QWidget*>{
             day_, weekday_, date_, time_, recorder_, capture_, lengthHours_, lengthMinutes_,
             lengthSeconds_, captureSeconds_, captureFps_, channel_}) {
        w->setEnabled(enabled);
    }
}

void CPlanTask::onNew() {
    for (QRadioButton* radio : frequencyRadios_) {
        radio->setEnabled(true);
    }
    frequencyRadios_[0]->setChecked(true);
    recorder_->setEnabled(true);
    capture_->setEnabled(true);
    channel_->setEnabled(true);
    applyFrequency(1, true);
    applyOperation();
    add_->setEnabled(true);
    new_->setEnabled(false);
}

void CPlanTask::applyFrequency(int frequency, bool editing) {
    if (editing) {
        day_->setEnabled(frequency == 3);
        weekday_->setEnabled(frequency == 2);
        date_->setEnabled(frequency == 4);
        time_->setEnabled(frequency >= 1 && frequency <= 4);
    }
    layoutTiming(frequency);
}

void CPlanTask::layoutTiming(int frequency) {
    const std::pair<QLabel*, QWidget*> rows[4] = {
        {dayLabel_, day_}, {weekdayLabel_, weekday_}, {dateLabel_, date_}, {timeLabel_, time_}};
    for (const auto& [label, control] : rows) {
        timingGrid_->removeWidget(label);
        timingGrid_->removeWidget(control);
        label->hide();
        control->hide();
    }
    std::vector<std::pair<QLabel*, QWidget*>> shown;
    switch (frequency) {
        case 2:
            shown.push_back(rows[1]);
            break;
        case 3:
            shown.push_back(rows[0]);
            break;
        case 4:
            shown.push_back(rows[2]);
            break;
        default:
            break;
    }
    if (frequency >= 1 && frequency <= 4) {
        shown.push_back(rows[3]);
    }
    for (int row = 0; row < static_cast<int>(shown.size()); ++row) {
        timingGrid_->addWidget(shown[row].first, row, 0);
        timingGrid_->addWidget(shown[row].second, row, 1, Qt::AlignLeft);
        shown[row].first->show();
        shown[row].second->show();
    }
}

void CPlanTask::applyOperation() {
    const bool record = recorder_->isChecked();
    lengthHours_->setEnabled(record);
    lengthMinutes_->setEnabled(record);
    lengthSeconds_->setEnabled(record);
    captureSeconds_->setEnabled(!record);
    captureFps_->setEnabled(!record);
}

int CPlanTask::checkedFrequency() const {
    const int id = frequencies_->checkedId();
    return id >= 1 && id <= 4 ? id : 1;
}

void CPlanTask::abandonAdd(std::intptr_t record, const QString& text, const QString& caption,
                           QLineEdit* focus) {
    showMessage(text, caption);
    focusAndSelect(focus);
    callBack(CFG_CB_FREE_TASK, record);
}

void CPlanTask::onAdd() {
    const std::intptr_t record = callBack(CFG_CB_NEW_TASK, 0);
    if (record == 0) {
        return;  // the viewer could not give a record; nothing to fill
    }
    auto* task = reinterpret_cast<TaskRecord*>(record);
    task->channel = std::max(0, channel_->currentIndex());
    const int frequency = checkedFrequency();
    task->frequency = frequency;
    task->startTime = toSystemTime(time_->dateTime());
    switch (frequency) {
        case 2:
            task->weekday = weekday_->currentIndex();
            break;
        case 3:
            task->monthDay = day_->currentIndex() + 1;
            break;
        case 4:
            task->startTime = toSystemTime(QDateTime(date_->date(), time_->time()));
            break;
        default:
            break;
    }
    if (recorder_->isChecked()) {
        task->operation = 1;
        task->durationSeconds =
            clampToInt32(fieldNumber(lengthHours_) * 3600 + fieldNumber(lengthMinutes_) * 60 +
                         fieldNumber(lengthSeconds_));
        if (task->durationSeconds == 0) {
            abandonAdd(record, QStringLiteral("录像时间不能为零!"), QStringLiteral("提示"),
                       lengthSeconds_);
            return;
        }
    } else {
        task->operation = 2;
        task->durationSeconds = clampToInt32(fieldNumber(captureSeconds_));
        task->captureFps = clampToInt32(fieldNumber(captureFps_));
        if (task->durationSeconds < 1) {
            abandonAdd(record, QStringLiteral("拍照时间不能为0秒！"),
                       QString::fromLatin1(kLibraryName), captureSeconds_);
            return;
        }
        if (task->durationSeconds > 1 && task->captureFps < 1) {
            abandonAdd(record, QStringLiteral("拍照帧速不能为0!"),
                       QString::fromLatin1(kLibraryName), captureFps_);
            return;
        }
    }
    callBack(CFG_CB_ADD_TASK, record);
    refreshList();
    setEditingEnabled(false);
    add_->setEnabled(false);
    new_->setEnabled(true);
}

void CPlanTask::onDelete() {
    std::set<int> rows;
    for (const QModelIndex& index : list_->selectionModel()->selectedRows()) {
        rows.insert(index.row());
    }
    if (rows.empty()) {
        return;
    }
    int deleted = 0;
    for (const int row : rows) {
        const std::intptr_t record = callBack(CFG_CB_TASK_AT, row - deleted);
        if (record == 0) {
            continue;
        }
        // The viewer's list keeps a freed record readable until it is removed (code 8 compares
        // addresses only), so freeing first is safe for a concurrent reader.
        callBack(CFG_CB_FREE_TASK, record);
        callBack(CFG_CB_REMOVE_TASK, record);
        ++deleted;
    }
    refreshList();
}

}  // namespace vidora::settingsui
