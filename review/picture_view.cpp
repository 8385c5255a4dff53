#include "review/picture_view.h"

#include <QPainter>
#include <algorithm>

#include "ui/qt_canvas.h"

namespace vidora {

namespace {

// Buffers start at the receiver's largest picture so that playback never reallocates.
constexpr std::size_t kInitialPixels = 720 * 576;

// The largest 4:3 rectangle inside the view, centred: recordings hold one field of a 4:3
// picture (720x288 of 720x576) and are shown as 4:3, as the live picture is.
Rect fitted(Size view) {
    if (view.width <= 0 || view.height <= 0)
        return {};
    const double aspect = 4.0 / 3.0;
    int w = view.width, h = static_cast<int>(view.width / aspect);
    if (h > view.height) {
        h = view.height;
        w = static_cast<int>(view.height * aspect);
    }
    return Rect::fromSize((view.width - w) / 2, (view.height - h) / 2, w, h);
}

}  // namespace

PictureView::PictureView(QWidget* parent)
    : QWidget(parent),
      back_(std::make_unique<Frame>()),
      ready_(std::make_unique<Frame>()),
      front_(std::make_unique<Frame>()) {
    for (Frame* f : {back_.get(), ready_.get(), front_.get()})
        f->pixels.resize(kInitialPixels);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(320, 240);
}

void PictureView::present(const PlaybackPicture& picture) {
    Frame& f = *back_;
    const PackedPicture422& p = picture.picture;
    const std::size_t needed = static_cast<std::size_t>(std::max(0, p.width)) * std::max(0, p.rows);
    if (needed == 0 || !p.data)
        return;
    if (f.pixels.size() < needed)
        f.pixels.resize(needed);
    const Size size =
        convertPacked422(p, Rect::fromSize(0, 0, p.width, p.rows), f.pixels.data(), p.width);
    f.width = size.width;
    f.height = size.height;
    f.positionMs = picture.positionMs;
    {
        std::lock_guard lock(lock_);
        std::swap(back_, ready_);
        readyFresh_ = true;
    }
    received_.fetch_add(1, std::memory_order_relaxed);
    if (!wakePending_.exchange(true))
        QMetaObject::invokeMethod(
            this,
            [this] {
                wakePending_ = false;
                update();
            },
            Qt::QueuedConnection);
}

void PictureView::showStill(const QImage& image) {
    const QImage argb = image.convertToFormat(QImage::Format_RGB32);
    {
        std::lock_guard lock(lock_);
        readyFresh_ = false;
    }
    Frame& f = *front_;
    f.width = argb.width();
    f.height = argb.height();
    f.positionMs = 0;
    f.pixels.resize(static_cast<std::size_t>(f.width) * f.height);
    for (int y = 0; y < f.height; ++y) {
        const auto* row = reinterpret_cast<const uint32_t*>(argb.constScanLine(y));
        std::copy(row, row + f.width, f.pixels.begin() + static_cast<std::ptrdiff_t>(y) * f.width);
    }
    haveFront_ = !argb.isNull();
    update();
}

void PictureView::paintEvent(QPaintEvent*) {
    {
        std::lock_guard lock(lock_);
        if (readyFresh_) {
            std::swap(front_, ready_);
            readyFresh_ = false;
            haveFront_ = true;
        }
    }
    QPainter painter(this);
    const Size size{width(), height()};
    QtCanvas canvas(painter, size);
    canvas.fillRect({0, 0, size.width, size.height}, Rgb{0, 0, 0});
    if (!haveFront_)
        return;
    const Frame& f = *front_;
    canvas.drawImage({f.pixels.data(), f.width, f.height, f.width}, {0, 0, f.width, f.height},
                     fitted(size));
    paintedPositionMs_ = f.positionMs;
    painted_.fetch_add(1, std::memory_order_relaxed);
}

}  // namespace vidora
