#include "review/timeline_view.h"

#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <limits>

namespace vidora {

namespace {

constexpr EventTime kDayMs = 24LL * 3600 * 1000;
const QColor kBackground(24, 24, 24);
const QColor kRowBackground(40, 40, 40);
const QColor kText(200, 200, 200);
const QColor kGrid(70, 70, 70);
const QColor kRecording(70, 130, 210);
const QColor kAlarmRecording(220, 60, 50);
const QColor kAlarmSpan(120, 30, 30);
const QColor kSnapshot(240, 200, 60);
const QColor kPosition(255, 255, 255);

}  // namespace

TimelineView::TimelineView(QWidget* parent) : QWidget(parent) {
    setMinimumHeight(kScaleHeight + 4 * kRowHeight + 4);
}

void TimelineView::setDay(EventTime dayStart, std::vector<CatalogItem> items,
                          std::vector<CatalogAlarm> alarms) {
    dayStart_ = dayStart;
    items_ = std::move(items);
    alarms_ = std::move(alarms);
    otherRow_ = std::any_of(items_.begin(), items_.end(), [](const CatalogItem& item) {
        return item.channel == EventChannel::None;
    });
    setMinimumHeight(kScaleHeight + rows() * kRowHeight + 4);
    update();
}

void TimelineView::setSelected(int64_t id) {
    selected_ = id;
    update();
}

void TimelineView::setPosition(EventTime at) {
    if (at == position_)
        return;
    position_ = at;
    update();
}

int TimelineView::rows() const {
    return otherRow_ ? 5 : 4;
}

int TimelineView::rowOf(EventChannel channel) const {
    const int c = static_cast<int>(channel);
    return c >= 1 && c <= 4 ? c - 1 : 4;
}

QRect TimelineView::rowRect(int row) const {
    return {kLabelWidth, kScaleHeight + row * kRowHeight, std::max(1, width() - kLabelWidth - 4),
            kRowHeight - 4};
}

int TimelineView::xOf(EventTime at) const {
    const int span = std::max(1, width() - kLabelWidth - 4);
    const EventTime offset = std::clamp<EventTime>(at - dayStart_, 0, kDayMs);
    return kLabelWidth + static_cast<int>(offset * span / kDayMs);
}

void TimelineView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), kBackground);
    p.setPen(kText);
    QFont font = p.font();
    font.setPixelSize(11);
    p.setFont(font);
    // The hour scale.
    for (int hour = 0; hour <= 24; hour += 1) {
        const int x = xOf(dayStart_ + hour * 3600000LL);
        p.setPen(kGrid);
        p.drawLine(x, kScaleHeight - 4, x, kScaleHeight + rows() * kRowHeight);
        if (hour % 3 == 0 && hour < 24) {
            p.setPen(kText);
            p.drawText(x + 2, kScaleHeight - 5,
                       QStringLiteral("%1:00").arg(hour, 2, 10, QChar('0')));
        }
    }
    for (int row = 0; row < rows(); ++row) {
        const QRect r = rowRect(row);
        p.fillRect(r, kRowBackground);
        p.setPen(kText);
        p.drawText(QRect(4, r.top(), kLabelWidth - 8, r.height()), Qt::AlignVCenter,
                   row < 4 ? QStringLiteral("CH%1").arg(row + 1) : QStringLiteral("Other"));
    }
    for (const CatalogAlarm& alarm : alarms_) {
        const QRect r = rowRect(rowOf(alarm.channel));
        const int x0 = xOf(alarm.start), x1 = std::max(x0 + 1, xOf(alarm.end));
        p.fillRect(QRect(x0, r.top(), x1 - x0, r.height()), kAlarmSpan);
    }
    for (const CatalogItem& item : items_) {
        const QRect r = rowRect(rowOf(item.channel));
        const int x0 = xOf(item.start);
        QRect shape;
        if (item.kind == CatalogItemKind::Recording) {
            const int x1 = std::max(x0 + 2, xOf(item.end));
            shape = QRect(x0, r.top() + 3, x1 - x0, r.height() - 6);
            p.fillRect(shape, item.reason == CaptureReason::Alarm ? kAlarmRecording : kRecording);
        } else {
            shape = QRect(x0, r.top(), 1, r.height());
            p.fillRect(shape, kSnapshot);
        }
        if (item.id == selected_) {
            p.setPen(kPosition);
            p.drawRect(shape.adjusted(-1, -1, 0, 0));
        }
    }
    if (position_ > 0) {
        const int x = xOf(position_);
        p.setPen(kPosition);
        p.drawLine(x, kScaleHeight - 2, x, kScaleHeight + rows() * kRowHeight);
    }
}

void TimelineView::mousePressEvent(QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    const int row = (at.y() - kScaleHeight) / kRowHeight;
    if (at.y() < kScaleHeight || row >= rows() || !picked_)
        return;
    // The item under the click, or else the nearest one in the row.
    int64_t best = 0;
    int bestDistance = std::numeric_limits<int>::max();
    for (const CatalogItem& item : items_) {
        if (rowOf(item.channel) != row)
            continue;
        const int x0 = xOf(item.start), x1 = std::max(x0 + 2, xOf(item.end));
        const int distance = at.x() < x0 ? x0 - at.x() : at.x() > x1 ? at.x() - x1 : 0;
        if (distance < bestDistance) {
            bestDistance = distance;
            best = item.id;
        }
    }
    if (best != 0 && bestDistance <= 12)
        picked_(best);
}

}  // namespace vidora
