#include "review/recordings_window.h"

#include <QApplication>
#include <QCalendarWidget>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDateTime>
#include <QDesktopServices>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QShortcut>
#include <QSlider>
#include <QSplitter>
#include <QTableView>
#include <QTextCharFormat>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>
#include <filesystem>
#include <optional>

#include "review/folder_catalog.h"
#include "review/gst_playback.h"
#include "review/picture_view.h"
#include "review/timeline_view.h"

namespace vidora {

namespace {

// Thumbnails kept in memory (about 27 KB each).
constexpr int kThumbnailCacheEntries = 2000;
constexpr int kPollIntervalMs = 40;

const char* const kStyle = R"(
QWidget { background-color: #181818; color: #d8d8d8; }
QTableView { background-color: #202020; alternate-background-color: #262626;
             gridline-color: #303030; selection-background-color: #3a5f95; }
QHeaderView::section { background-color: #2a2a2a; color: #d8d8d8; border: 0; padding: 3px; }
QPushButton, QComboBox, QDateEdit { background-color: #2c2c2c; border: 1px solid #444;
             padding: 3px 8px; }
QPushButton:disabled { color: #666; }
QPushButton:hover { border-color: #777; }
QSlider::groove:horizontal { height: 6px; background: #333; }
QSlider::handle:horizontal { width: 10px; margin: -5px 0; background: #c0c0c0; }
QSlider::sub-page:horizontal { background: #4682d2; }
QCheckBox::indicator { width: 12px; height: 12px; border: 1px solid #777; background: #202020; }
QCheckBox::indicator:checked { background: #4682d2; }
)";

QString timeOfDay(EventTime at) {
    return QDateTime::fromMSecsSinceEpoch(at).toString(QStringLiteral("HH:mm:ss"));
}

QDate toQDate(const CatalogDay& day) {
    return {day.year, day.month, day.day};
}

CatalogDay fromQDate(const QDate& date) {
    return {date.year(), date.month(), date.day()};
}

}  // namespace

QString lengthText(int64_t ms) {
    const int64_t s = std::max<int64_t>(0, ms) / 1000;
    return QStringLiteral("%1:%2:%3")
        .arg(s / 3600)
        .arg((s / 60) % 60, 2, 10, QChar('0'))
        .arg(s % 60, 2, 10, QChar('0'));
}

QString sizeText(uint64_t bytes) {
    if (bytes < 1024 * 1024)
        return QStringLiteral("%1 KB").arg((bytes + 1023) / 1024);
    return QStringLiteral("%1 MB").arg(static_cast<double>(bytes) / (1024.0 * 1024.0), 0, 'f', 1);
}

QString channelText(EventChannel channel) {
    const int c = static_cast<int>(channel);
    return c >= 1 && c <= 4 ? QStringLiteral("CH%1").arg(c) : QStringLiteral("-");
}

QString reasonText(const CatalogItem& item) {
    switch (item.reason) {
        case CaptureReason::Alarm:
            if (item.alarm == AlarmKind::Sound)
                return QStringLiteral("Alarm (sound)");
            if (item.alarm == AlarmKind::Motion)
                return QStringLiteral("Alarm (motion)");
            return QStringLiteral("Alarm");
        case CaptureReason::Task:
            return QStringLiteral("Task");
        case CaptureReason::Manual:
            break;
    }
    return QStringLiteral("Manual");
}

// ---- the list ---------------------------------------------------------------------------

RecordingsModel::RecordingsModel(std::function<void(const CatalogItem&)> wanted, QObject* parent)
    : QAbstractTableModel(parent),
      wanted_(std::move(wanted)),
      thumbnails_(kThumbnailCacheEntries),
      placeholder_(kThumbnailWidth, kThumbnailHeight, QImage::Format_RGB32) {
    placeholder_.fill(QColor(48, 48, 48));
}

void RecordingsModel::setItems(std::vector<CatalogItem> items) {
    beginResetModel();
    items_ = std::move(items);
    endResetModel();
}

int RecordingsModel::rowOf(int64_t id) const {
    const auto it = std::find_if(items_.begin(), items_.end(),
                                 [id](const CatalogItem& item) { return item.id == id; });
    return it == items_.end() ? -1 : static_cast<int>(it - items_.begin());
}

void RecordingsModel::thumbnailReady(int64_t id, const QImage& image) {
    // A file that cannot be read keeps the placeholder, and is not asked for again.
    thumbnails_.insert(id, new QImage(image.isNull() ? placeholder_ : image));
    const int row = rowOf(id);
    if (row >= 0)
        emit dataChanged(index(row, Thumbnail), index(row, Thumbnail), {Qt::DecorationRole});
}

int RecordingsModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(items_.size());
}

int RecordingsModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant RecordingsModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= static_cast<int>(items_.size()))
        return {};
    const CatalogItem& item = items_[index.row()];
    if (role == Qt::DecorationRole && index.column() == Thumbnail) {
        if (const QImage* cached = thumbnails_.object(item.id))
            return *cached;
        // Asked for, never waited for: the row shows the placeholder until it arrives.
        if (wanted_)
            wanted_(item);
        return placeholder_;
    }
    if (role == Qt::ForegroundRole && item.reason == CaptureReason::Alarm)
        return QColor(240, 110, 100);
    if (role != Qt::DisplayRole)
        return {};
    switch (index.column()) {
        case Start:
            return timeOfDay(item.start);
        case Length:
            if (item.kind == CatalogItemKind::Snapshot)
                return QStringLiteral("snapshot");
            return item.truncated ? lengthText(item.end - item.start) + QStringLiteral(" (cut)")
                                  : lengthText(item.end - item.start);
        case Channel:
            return channelText(item.channel);
        case Reason:
            return reasonText(item);
        case Size:
            return sizeText(item.bytes);
        default:
            return {};
    }
}

QVariant RecordingsModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    static const char* const kTitles[] = {"", "Start", "Length", "Channel", "Reason", "Size"};
    return section >= 0 && section < ColumnCount ? QString::fromLatin1(kTitles[section])
                                                 : QVariant();
}

// ---- the window -------------------------------------------------------------------------

RecordingsWindow::RecordingsWindow(Catalog& catalog, RecordingsWindowOptions options,
                                   QWidget* parent)
    : QWidget(parent, Qt::Window), catalog_(catalog), options_(std::move(options)) {
    if (!options_.confirm)
        options_.confirm = [](QWidget* parent, const QString& text) {
            return QMessageBox::question(parent, QStringLiteral("Recordings"), text) ==
                   QMessageBox::Yes;
        };
    if (!options_.tell)
        options_.tell = [](QWidget* parent, const QString& text) {
            QMessageBox::warning(parent, QStringLiteral("Recordings"), text);
        };
    if (!options_.openFolder)
        options_.openFolder = [](const std::string& folder) {
            QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(folder)));
        };
    setWindowTitle(QStringLiteral("Recordings"));
    setStyleSheet(QString::fromLatin1(kStyle));
    resize(1100, 720);
    build();
    thumbnails_ = std::make_unique<ThumbnailLoader>([this](int64_t id, const QImage& image) {
        // Handed to the GUI thread; dropped there if the window is gone by then.
        QMetaObject::invokeMethod(
            this, [this, id, image] { model_->thumbnailReady(id, image); }, Qt::QueuedConnection);
    });
    if (options_.thumbnailThread)
        thumbnails_->start();
    player_ = std::make_unique<Player>(std::make_unique<GstPlayback>(
        [view = picture_](const PlaybackPicture& picture) { view->present(picture); },
        options_.audioSink));
    connect(&poll_, &QTimer::timeout, this, [this] { poll(); });
    poll_.start(kPollIntervalMs);
    const std::vector<CatalogDay> days = catalog_.daysWithItems();
    QTextCharFormat bold;
    bold.setFontWeight(QFont::Bold);
    bold.setForeground(QColor(120, 170, 240));
    for (const CatalogDay& d : days)
        date_->calendarWidget()->setDateTextFormat(toQDate(d), bold);
    showDay(days.empty() ? fromQDate(QDate::currentDate()) : days.back());
}

RecordingsWindow::~RecordingsWindow() {
    poll_.stop();
    // The graph and the loader stop before the widgets they hand pictures to.
    player_.reset();
    thumbnails_.reset();
}

void RecordingsWindow::build() {
    auto* top = new QHBoxLayout;
    auto* earlier = new QPushButton(QStringLiteral("<"), this);
    date_ = new QDateEdit(this);
    date_->setCalendarPopup(true);
    date_->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    auto* later = new QPushButton(QStringLiteral(">"), this);
    alarmOnly_ = new QCheckBox(QStringLiteral("Alarms only"), this);
    channel_ = new QComboBox(this);
    channel_->addItems({QStringLiteral("All channels"), QStringLiteral("CH1"),
                        QStringLiteral("CH2"), QStringLiteral("CH3"), QStringLiteral("CH4")});
    top->addWidget(earlier);
    top->addWidget(date_);
    top->addWidget(later);
    top->addSpacing(16);
    top->addWidget(alarmOnly_);
    top->addWidget(channel_);
    top->addStretch();

    timeline_ = new TimelineView(this);

    model_ = new RecordingsModel(
        [this](const CatalogItem& item) {
            if (thumbnails_)
                thumbnails_->request(item);
        },
        this);
    list_ = new QTableView(this);
    list_->setObjectName(QStringLiteral("list"));
    list_->setModel(model_);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setAlternatingRowColors(true);
    list_->setShowGrid(false);
    list_->verticalHeader()->hide();
    list_->verticalHeader()->setDefaultSectionSize(kThumbnailHeight + 4);
    list_->setIconSize(QSize(kThumbnailWidth, kThumbnailHeight));
    list_->horizontalHeader()->setStretchLastSection(true);
    list_->setColumnWidth(RecordingsModel::Thumbnail, kThumbnailWidth + 8);
    list_->setColumnWidth(RecordingsModel::Start, 70);
    list_->setColumnWidth(RecordingsModel::Length, 96);
    list_->setColumnWidth(RecordingsModel::Channel, 60);
    list_->setColumnWidth(RecordingsModel::Reason, 104);
    list_->setMinimumWidth(300);

    picture_ = new PictureView(this);
    slider_ = new QSlider(Qt::Horizontal, this);
    time_ = new QLabel(QStringLiteral("0:00:00 / 0:00:00"), this);
    previous_ = new QPushButton(QStringLiteral("Previous"), this);
    play_ = new QPushButton(QStringLiteral("Play"), this);
    step_ = new QPushButton(QStringLiteral("Step"), this);
    next_ = new QPushButton(QStringLiteral("Next"), this);
    speed_ = new QComboBox(this);
    for (double s : kPlaybackSpeeds)
        speed_->addItem(s < 1 ? QStringLiteral("1/%1x").arg(static_cast<int>(1 / s))
                              : QStringLiteral("%1x").arg(static_cast<int>(s)));
    speed_->setCurrentIndex(kNormalSpeedIndex);
    mute_ = new QCheckBox(QStringLiteral("Mute"), this);
    delete_ = new QPushButton(QStringLiteral("Delete"), this);
    folder_ = new QPushButton(QStringLiteral("Show in folder"), this);

    auto* seekRow = new QHBoxLayout;
    seekRow->addWidget(slider_, 1);
    seekRow->addWidget(time_);
    auto* controls = new QHBoxLayout;
    for (QWidget* w :
         std::initializer_list<QWidget*>{previous_, play_, step_, next_, speed_, mute_})
        controls->addWidget(w);
    controls->addStretch();
    controls->addWidget(delete_);
    controls->addWidget(folder_);
    auto* playerBox = new QWidget(this);
    auto* playerLayout = new QVBoxLayout(playerBox);
    playerLayout->setContentsMargins(0, 0, 0, 0);
    playerLayout->addWidget(picture_, 1);
    playerLayout->addLayout(seekRow);
    playerLayout->addLayout(controls);

    auto* split = new QSplitter(Qt::Horizontal, this);
    split->addWidget(list_);
    split->addWidget(playerBox);
    split->setStretchFactor(0, 2);
    split->setStretchFactor(1, 3);
    split->setSizes({500, 600});

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(timeline_);
    layout->addWidget(split, 1);

    connect(date_, &QDateEdit::dateChanged, this, [this](const QDate& date) {
        if (fromQDate(date) != day_)
            showDay(fromQDate(date));
    });
    const auto stepDay = [this](int direction) {
        // To the nearest day with items in that direction.
        const std::vector<CatalogDay> days = catalog_.daysWithItems();
        const QDate now = toQDate(day_);
        std::optional<CatalogDay> best;
        for (const CatalogDay& d : days) {
            const QDate q = toQDate(d);
            if (direction < 0 && q < now && (!best || q > toQDate(*best)))
                best = d;
            if (direction > 0 && q > now && (!best || q < toQDate(*best)))
                best = d;
        }
        if (best)
            showDay(*best);
    };
    connect(earlier, &QPushButton::clicked, this, [stepDay] { stepDay(-1); });
    connect(later, &QPushButton::clicked, this, [stepDay] { stepDay(1); });
    connect(alarmOnly_, &QCheckBox::toggled, this, [this](bool on) { setAlarmOnly(on); });
    connect(channel_, &QComboBox::currentIndexChanged, this,
            [this](int index) { setChannel(static_cast<EventChannel>(index)); });
    connect(list_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) {
                if (current.isValid())
                    openItem(current.row());
            });
    timeline_->onPicked([this](int64_t id) {
        const int row = model_->rowOf(id);
        if (row >= 0)
            selectRow(row);
    });
    connect(play_, &QPushButton::clicked, this, [this] { togglePlay(); });
    connect(step_, &QPushButton::clicked, this, [this] {
        player_->step();
        updateControls();
    });
    connect(previous_, &QPushButton::clicked, this, [this] { previousItem(); });
    connect(next_, &QPushButton::clicked, this, [this] { nextItem(); });
    connect(speed_, &QComboBox::currentIndexChanged, this,
            [this](int index) { player_->setSpeed(index); });
    connect(mute_, &QCheckBox::toggled, this, [this](bool on) { player_->setMuted(on); });
    connect(delete_, &QPushButton::clicked, this, [this] { deleteSelected(); });
    connect(folder_, &QPushButton::clicked, this, [this] { showSelectedInFolder(); });
    connect(slider_, &QSlider::sliderPressed, this, [this] { sliderHeld_ = true; });
    connect(slider_, &QSlider::sliderReleased, this, [this] {
        sliderHeld_ = false;
        player_->seekRun(slider_->value());
    });
    connect(slider_, &QSlider::sliderMoved, this, [this](int value) { player_->seekRun(value); });
    connect(slider_, &QSlider::actionTriggered, this, [this](int action) {
        // Clicks on the groove and keys (not drags, handled above) seek too.
        if (action != QAbstractSlider::SliderMove)
            QTimer::singleShot(0, this, [this] { player_->seekRun(slider_->value()); });
    });
    auto* space = new QShortcut(QKeySequence(Qt::Key_Space), this);
    connect(space, &QShortcut::activated, this, [this] { togglePlay(); });
    updateControls();
}

void RecordingsWindow::showDay(const CatalogDay& day) {
    day_ = day;
    {
        const QSignalBlocker block(date_);
        date_->setDate(toQDate(day));
    }
    reload();
}

void RecordingsWindow::setAlarmOnly(bool on) {
    filter_.alarmOnly = on;
    if (alarmOnly_->isChecked() != on) {
        const QSignalBlocker block(alarmOnly_);
        alarmOnly_->setChecked(on);
    }
    reload();
}

void RecordingsWindow::setChannel(EventChannel channel) {
    filter_.channel = channel;
    if (channel_->currentIndex() != static_cast<int>(channel)) {
        const QSignalBlocker block(channel_);
        channel_->setCurrentIndex(static_cast<int>(channel));
    }
    reload();
}

void RecordingsWindow::reload() {
    thumbnails_->clear();
    std::vector<CatalogItem> items = catalog_.items(day_, filter_);
    timeline_->setDay(startOfDay(day_), items, catalog_.alarms(day_));
    player_->setRecordings(items);
    model_->setItems(std::move(items));
    // The item shown stays selected (and is opened again) when the new list still holds it.
    const int row = model_->rowOf(selectedId_);
    selectedId_ = 0;
    if (row >= 0) {
        selectRow(row);
    } else {
        picture_->showStill({});
        timeline_->setSelected(0);
        timeline_->setPosition(0);
    }
    updateControls();
}

void RecordingsWindow::selectRow(int row) {
    if (row < 0 || row >= model_->rowCount())
        return;
    const QModelIndex index = model_->index(row, RecordingsModel::Start);
    if (list_->selectionModel()->currentIndex().row() == row &&
        model_->items()[row].id == selectedId_ && player_->current() >= 0) {
        return;
    }
    list_->selectionModel()->setCurrentIndex(
        index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    // currentRowChanged does not fire when the row stays the same (after a reload).
    if (model_->items()[row].id != selectedId_ || player_->current() < 0)
        openItem(row);
}

const CatalogItem* RecordingsWindow::selectedItem() const {
    const int row = model_->rowOf(selectedId_);
    return row >= 0 ? &model_->items()[row] : nullptr;
}

void RecordingsWindow::openItem(int row) {
    if (row < 0 || row >= static_cast<int>(model_->items().size()))
        return;
    const CatalogItem item = model_->items()[row];
    if (item.id == selectedId_ &&
        (item.kind == CatalogItemKind::Snapshot ||
         (player_->current() >= 0 && player_->recordings()[player_->current()].id == item.id)))
        return;
    selectedId_ = item.id;
    timeline_->setSelected(item.id);
    list_->scrollTo(model_->index(row, 0));
    if (item.kind == CatalogItemKind::Snapshot) {
        player_->close();
        const QImage image(QString::fromStdString(item.path));
        picture_->showStill(image);
        timeline_->setPosition(item.start);
        if (image.isNull())
            options_.tell(this, QStringLiteral("The snapshot %1 cannot be read.")
                                    .arg(QString::fromStdString(item.path)));
    } else {
        const std::string failure = player_->select(item.id);
        if (!failure.empty())
            options_.tell(
                this, QStringLiteral("The recording %1 cannot be played: %2")
                          .arg(QString::fromStdString(item.path), QString::fromStdString(failure)));
    }
    updateControls();
}

void RecordingsWindow::togglePlay() {
    const CatalogItem* item = selectedItem();
    if (!item || item->kind != CatalogItemKind::Recording)
        return;
    if (player_->playing())
        player_->pause();
    else
        player_->play();
    updateControls();
}

void RecordingsWindow::nextItem() {
    const CatalogItem* item = selectedItem();
    if (item && item->kind == CatalogItemKind::Recording) {
        if (player_->next())
            syncListToPlayer();
        return;
    }
    // Snapshots step through the day's snapshots.
    const auto& items = model_->items();
    for (int row = model_->rowOf(selectedId_) + 1; row < static_cast<int>(items.size()); ++row)
        if (items[row].kind == CatalogItemKind::Snapshot) {
            selectRow(row);
            return;
        }
}

void RecordingsWindow::previousItem() {
    const CatalogItem* item = selectedItem();
    if (item && item->kind == CatalogItemKind::Recording) {
        if (player_->previous())
            syncListToPlayer();
        return;
    }
    const auto& items = model_->items();
    for (int row = model_->rowOf(selectedId_) - 1; row >= 0; --row)
        if (items[row].kind == CatalogItemKind::Snapshot) {
            selectRow(row);
            return;
        }
}

void RecordingsWindow::syncListToPlayer() {
    if (player_->current() < 0)
        return;
    const int64_t id = player_->recordings()[player_->current()].id;
    if (id == selectedId_)
        return;
    selectedId_ = id;
    timeline_->setSelected(id);
    const int row = model_->rowOf(id);
    if (row >= 0) {
        const QSignalBlocker block(list_->selectionModel());
        list_->selectionModel()->setCurrentIndex(
            model_->index(row, RecordingsModel::Start),
            QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        list_->scrollTo(model_->index(row, 0));
        list_->viewport()->update();
    }
    updateControls();
}

void RecordingsWindow::deleteSelected() {
    const CatalogItem* selected = selectedItem();
    if (!selected)
        return;
    const CatalogItem item = *selected;
    const QString name =
        QString::fromStdString(std::filesystem::path(item.path).filename().string());
    if (!options_.confirm(this, QStringLiteral("Delete %1?").arg(name)))
        return;
    // The file is closed before it goes.
    if (item.kind == CatalogItemKind::Recording)
        player_->setRecordings({});
    const std::string failure = catalog_.remove(item);
    if (!failure.empty())
        options_.tell(
            this,
            QStringLiteral("%1 was not deleted: %2").arg(name, QString::fromStdString(failure)));
    const int row = model_->rowOf(item.id);
    selectedId_ = 0;
    reload();
    if (model_->rowCount() > 0)
        selectRow(std::min(row, model_->rowCount() - 1));
}

void RecordingsWindow::showSelectedInFolder() {
    if (const CatalogItem* item = selectedItem())
        options_.openFolder(std::filesystem::path(item->path).parent_path().string());
}

void RecordingsWindow::poll() {
    const std::string failure = player_->poll();
    if (!failure.empty())
        options_.tell(this,
                      QStringLiteral("Playback stopped: %1").arg(QString::fromStdString(failure)));
    syncListToPlayer();
    if (player_->current() >= 0) {
        const Player::Run run = player_->run();
        const int64_t at = player_->runPositionMs();
        if (!sliderHeld_) {
            const QSignalBlocker block(slider_);
            slider_->setRange(0, static_cast<int>(run.lengthMs));
            slider_->setValue(static_cast<int>(at));
        }
        time_->setText(lengthText(at) + QStringLiteral(" / ") + lengthText(run.lengthMs));
        timeline_->setPosition(player_->recordings()[run.first].start + at);
    }
    if (play_->text() != (player_->playing() ? QStringLiteral("Pause") : QStringLiteral("Play")))
        updateControls();
}

void RecordingsWindow::updateControls() {
    const CatalogItem* item = selectedItem();
    const bool recording = item && item->kind == CatalogItemKind::Recording;
    play_->setText(player_ && player_->playing() ? QStringLiteral("Pause")
                                                 : QStringLiteral("Play"));
    for (QWidget* w : std::initializer_list<QWidget*>{play_, step_, slider_, speed_, mute_})
        w->setEnabled(recording);
    previous_->setEnabled(item != nullptr);
    next_->setEnabled(item != nullptr);
    delete_->setEnabled(item != nullptr);
    folder_->setEnabled(item != nullptr);
}

namespace {

QPointer<RecordingsWindow>& openWindow() {
    static QPointer<RecordingsWindow> window;
    return window;
}

}  // namespace

void showRecordingsWindow(Catalog& catalog, QWidget* owner, RecordingsWindowOptions options) {
    QPointer<RecordingsWindow>& window = openWindow();
    if (!window) {
        // A window of its own (not kept above the viewer), placed over the viewer at first.
        window = new RecordingsWindow(catalog, std::move(options), nullptr);
        window->setAttribute(Qt::WA_DeleteOnClose);
        if (owner)
            window->move(owner->geometry().topLeft() + QPoint(40, 40));
    }
    window->show();
    window->raise();
    window->activateWindow();
}

void closeRecordingsWindow() {
    delete openWindow().data();
}

bool recordingsWindowOpen() {
    return !openWindow().isNull();
}

}  // namespace vidora
