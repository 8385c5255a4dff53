#pragma once
// The recordings window: a day of recordings and snapshots from the catalog on a timeline and in
// a list with thumbnails, filtered by alarm and channel; the selected recording plays in the
// window (a run of files cut by their size as one), a selected snapshot is shown. Delete goes
// through the catalog (the same removal as the folder limits), "Show in folder" opens the file's
// folder. Lives on the GUI thread; it owns the player and the thumbnail loader and stops both
// before its widgets go.
#include <QAbstractTableModel>
#include <QCache>
#include <QImage>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>
#include <vector>

#include "events/catalog.h"
#include "review/player.h"
#include "review/thumbnail_loader.h"

class QCheckBox;
class QComboBox;
class QDateEdit;
class QLabel;
class QPushButton;
class QSlider;
class QTableView;

namespace vidora {

class PictureView;
class TimelineView;

// The list's rows: the day's items as the catalog gives them (in time order).
class RecordingsModel : public QAbstractTableModel {
  public:
    enum Column { Thumbnail, Start, Length, Channel, Reason, Size, ColumnCount };
    // `wanted` is asked for a thumbnail that is not cached yet; it must not wait.
    explicit RecordingsModel(std::function<void(const CatalogItem&)> wanted, QObject* parent);

    void setItems(std::vector<CatalogItem> items);
    const std::vector<CatalogItem>& items() const { return items_; }
    int rowOf(int64_t id) const;
    // GUI thread: a thumbnail arrived.
    void thumbnailReady(int64_t id, const QImage& image);
    bool hasThumbnail(int64_t id) const { return thumbnails_.contains(id); }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  private:
    std::function<void(const CatalogItem&)> wanted_;
    std::vector<CatalogItem> items_;
    mutable QCache<int64_t, QImage> thumbnails_;
    QImage placeholder_;
};

// Texts of the list's cells.
QString lengthText(int64_t ms);
QString sizeText(uint64_t bytes);
QString reasonText(const CatalogItem& item);
QString channelText(EventChannel channel);

struct RecordingsWindowOptions {
    // The sound output of the player ("fakesink" in tests).
    std::string audioSink = "autoaudiosink";
    // Asks before a file is deleted; default: a question box.
    std::function<bool(QWidget* parent, const QString& text)> confirm;
    // Shows a failure; default: a warning box.
    std::function<void(QWidget* parent, const QString& text)> tell;
    // Opens a folder in the file manager; default: Qt's desktop services.
    std::function<void(const std::string& folder)> openFolder;
    // Start the thumbnail thread (tests drive the loader themselves).
    bool thumbnailThread = true;
};

class RecordingsWindow : public QWidget {
  public:
    RecordingsWindow(Catalog& catalog, RecordingsWindowOptions options = {},
                     QWidget* parent = nullptr);
    ~RecordingsWindow() override;

    // Shows a day (the newest day with items when the window opens).
    void showDay(const CatalogDay& day);
    CatalogDay day() const { return day_; }
    void setAlarmOnly(bool on);
    void setChannel(EventChannel channel);
    // Selects and opens an item of the list (plays nothing until play()).
    void selectRow(int row);
    const CatalogItem* selectedItem() const;

    void togglePlay();
    void nextItem();
    void previousItem();
    void deleteSelected();
    void showSelectedInFolder();
    // Runs the player's notices and refreshes the slider (a timer does it every 40 ms).
    void poll();

    RecordingsModel& model() { return *model_; }
    Player& player() { return *player_; }
    PictureView& pictureView() { return *picture_; }
    TimelineView& timeline() { return *timeline_; }
    ThumbnailLoader& thumbnails() { return *thumbnails_; }
    QTableView& list() { return *list_; }
    QSlider& seekSlider() { return *slider_; }
    QPushButton& playButton() { return *play_; }

  private:
    void build();
    void reload();
    void openItem(int row);
    void updateControls();
    void syncListToPlayer();

    Catalog& catalog_;
    RecordingsWindowOptions options_;
    CatalogDay day_;
    CatalogFilter filter_;
    int64_t selectedId_ = 0;

    // Widgets (owned by Qt's parent chain).
    QDateEdit* date_ = nullptr;
    QCheckBox* alarmOnly_ = nullptr;
    QComboBox* channel_ = nullptr;
    TimelineView* timeline_ = nullptr;
    QTableView* list_ = nullptr;
    PictureView* picture_ = nullptr;
    QSlider* slider_ = nullptr;
    QLabel* time_ = nullptr;
    QPushButton* play_ = nullptr;
    QPushButton* step_ = nullptr;
    QPushButton* previous_ = nullptr;
    QPushButton* next_ = nullptr;
    QComboBox* speed_ = nullptr;
    QCheckBox* mute_ = nullptr;
    QPushButton* delete_ = nullptr;
    QPushButton* folder_ = nullptr;
    RecordingsModel* model_ = nullptr;
    QTimer poll_;
    bool sliderHeld_ = false;

    // Stopped before the widgets they feed: declared last, destroyed first.
    std::unique_ptr<ThumbnailLoader> thumbnails_;
    std::unique_ptr<Player> player_;
};

// Opens the recordings window over a catalog, or raises it when it is open already.
void showRecordingsWindow(Catalog& catalog, QWidget* owner, RecordingsWindowOptions options = {});
// Closes it (before its catalog goes).
void closeRecordingsWindow();
bool recordingsWindowOpen();

}  // namespace vidora
