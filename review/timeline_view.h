#pragma once
// The day at a glance: one row per channel across 24 hours, recordings as bars (alarm ones red),
// snapshots as ticks, alarms as shaded spans, the selected item outlined and the player's
// position as a line. A click picks the item nearest to it in the row. GUI thread only.
#include <QWidget>
#include <functional>
#include <vector>

#include "events/catalog.h"

namespace vidora {

class TimelineView : public QWidget {
  public:
    explicit TimelineView(QWidget* parent = nullptr);

    void setDay(EventTime dayStart, std::vector<CatalogItem> items,
                std::vector<CatalogAlarm> alarms);
    void setSelected(int64_t id);
    // The player's position (wall-clock time), or 0 for none.
    void setPosition(EventTime at);
    void onPicked(std::function<void(int64_t id)> picked) { picked_ = std::move(picked); }

    // Where a time of the day lies across the widget, and which row a channel takes.
    int xOf(EventTime at) const;
    int rowOf(EventChannel channel) const;
    QRect rowRect(int row) const;
    int rows() const;

    QSize sizeHint() const override { return {900, 24 + 5 * 22}; }

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

  private:
    static constexpr int kLabelWidth = 48;
    static constexpr int kScaleHeight = 18;
    static constexpr int kRowHeight = 22;

    EventTime dayStart_ = 0;
    std::vector<CatalogItem> items_;
    std::vector<CatalogAlarm> alarms_;
    bool otherRow_ = false;  // items without a channel get a row of their own
    int64_t selected_ = 0;
    EventTime position_ = 0;
    std::function<void(int64_t)> picked_;
};

}  // namespace vidora
