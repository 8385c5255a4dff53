#include "programs/stand_in_video.h"

#include <QMetaObject>
#include <QPainter>
#include <QResizeEvent>
#include <algorithm>

#include "app/bus.h"
#include "app/messages.h"
#include "engine/capture_engine.h"

namespace vidora {

namespace {

inline uint8_t clampByte(int v) {
    return static_cast<uint8_t>(std::clamp(v, 0, 255));
}

// Packed 4:2:2 rows to RGB32, good enough for a preview.
QImage toImage(const LivePicture& picture) {
    QImage image(picture.width, picture.rows, QImage::Format_RGB32);
    for (int y = 0; y < picture.rows; ++y) {
        const uint8_t* s = picture.data + static_cast<std::size_t>(y) * picture.pitch;
        auto* d = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x + 1 < picture.width; x += 2, s += 4) {
            const int u = s[0] - 128;
            const int v = s[2] - 128;
            for (int k = 0; k < 2; ++k) {
                const int luma = s[1 + 2 * k];
                d[x + k] = qRgb(clampByte(luma + (1436 * v >> 10)),
                                clampByte(luma - (352 * u >> 10) - (731 * v >> 10)),
                                clampByte(luma + (1815 * u >> 10)));
            }
        }
    }
    return image;
}

QRect toQRect(const VideoRect& r) {
    return QRect(r.x, r.y, r.width, r.height);
}

}  // namespace

StandInVideoArea::StandInVideoArea(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setVideoWindow(this);
}

StandInVideoArea::~StandInVideoArea() {
    if (videoWindow() == this)
        setVideoWindow(nullptr);
}

void StandInVideoArea::post(std::function<void()> call) {
    QMetaObject::invokeMethod(this, std::move(call), Qt::QueuedConnection);
}

VideoSize StandInVideoArea::clientSize() {
    return {width_.load(), height_.load()};
}

void StandInVideoArea::presentLivePicture(const LivePicture& picture) {
    if (picturePending_.exchange(true))
        return;
    QImage image = toImage(picture);
    {
        std::lock_guard lock(mutex_);
        live_ = std::move(image);
        liveSource_ = toQRect(picture.source);
        liveCell_ = toQRect(picture.destination);
    }
    post([this] {
        picturePending_ = false;
        update();
    });
}

void StandInVideoArea::invalidate(bool) {
    post([this] { update(); });
}

void StandInVideoArea::repaint() {
    post([this] { update(); });
}

void StandInVideoArea::postGraphNotify() {
    post([] { sendMessage(ENG_GRAPH_EVENT); });
}

void StandInVideoArea::postDeviceArrival() {
    post([] { sendMessage(ENG_CONNECT); });
}

void StandInVideoArea::resizeEvent(QResizeEvent* event) {
    width_ = event->size().width();
    height_ = event->size().height();
    postMessage(ENG_VIDEO_RECT_CHANGED);
}

void StandInVideoArea::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    if (CaptureEngine* engine = CaptureEngine::instance()) {
        engine->withDisplay([&](const DisplayView& view) {
            if (isQuadLayout(view.layoutMode)) {
                painter.fillRect(QRect(view.client.width / 2 - 1, 0, 2, view.client.height),
                                 Qt::lightGray);
                painter.fillRect(QRect(0, view.client.height / 2 - 1, view.client.width, 2),
                                 Qt::lightGray);
            }
            for (int i = 0; i < 4; ++i) {
                const StoredPicture* frozen = view.frozen[i];
                if (i == view.currentChannel || !frozen || view.cells[i].empty())
                    continue;
                QImage image(frozen->pixels(), frozen->width(), frozen->height(),
                             frozen->width() * 3, QImage::Format_BGR888);
                painter.drawImage(toQRect(view.cells[i]), image.mirrored());
            }
        });
    }
    std::lock_guard lock(mutex_);
    if (!live_.isNull() && !liveCell_.isEmpty())
        painter.drawImage(liveCell_, live_, liveSource_);
}

}  // namespace vidora
