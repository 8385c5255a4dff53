#include "ui/live_presenter.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include "app/bus.h"
#include "app/live_state.h"
#include "app/settings.h"
#include "engine/capture_engine.h"
#include "platform/clock.h"
#include "platform/relaxed.h"
#include "ui/picture_convert.h"
#include "ui/picture_feedback.h"
#include "ui/skin_window.h"

namespace vidora {

namespace {

// The largest picture of the receiver; buffers start at this size so that zooming never
// reallocates.
constexpr std::size_t kInitialPixels = 720 * 576;

constexpr Rgb kBlack{0, 0, 0};
constexpr Rgb kSeparatorGrey{192, 192, 192};

Rect toRect(const VideoRect& r) {
    return Rect::fromSize(r.x, r.y, r.width, r.height);
}

Rgb toRgb(OsdColour c) {
    return {c.r, c.g, c.b};
}

VideoRect clipToPicture(const LivePicture& picture, const VideoRect& source) {
    VideoRect r;
    r.x = std::clamp(source.x, 0, std::max(0, picture.width));
    r.y = std::clamp(source.y, 0, std::max(0, picture.rows));
    r.width = std::clamp(source.width, 0, std::max(0, picture.width - r.x));
    r.height = std::clamp(source.height, 0, std::max(0, picture.rows - r.y));
    return r;
}

std::string_view channelName(int channel) {
    const char* name = gConfig.channelName[channel];
    return {name, strnlen(name, sizeof gConfig.channelName[channel])};
}

}  // namespace

int overlayScale(int cellHeight) {
    return std::clamp(cellHeight / 480, 1, 3);
}

TextFont overlayFont(int cellHeight) {
    // A fixed-pitch font, drawn without smoothing like the rest of the display.
    return {"DejaVu Sans Mono", 12 * overlayScale(cellHeight), true, false};
}

VideoSize convertLiveRegion(const LivePicture& picture, const VideoRect& source, uint32_t* out,
                            int outStride) {
    const Size size = convertPacked422({picture.data, picture.width, picture.rows, picture.pitch},
                                       toRect(source), out, outStride);
    return {size.width, size.height};
}

LivePresenter::LivePresenter()
    : guiThread_(std::this_thread::get_id()),
      back_(std::make_unique<Frame>()),
      ready_(std::make_unique<Frame>()),
      front_(std::make_unique<Frame>()) {
    for (Frame* f : {back_.get(), ready_.get(), front_.get()})
        f->pixels.resize(kInitialPixels);
}

LivePresenter::~LivePresenter() {
    if (videoWindow() == this)
        setVideoWindow(nullptr);
}

void LivePresenter::attach(WindowHandle panel, WindowHandle deviceWindow) {
    panel_ = panel;
    deviceWindow_ = deviceWindow;
}

void LivePresenter::detach() {
    panel_ = 0;
    deviceWindow_ = 0;
}

void LivePresenter::setClientSize(int width, int height) {
    width_ = width;
    height_ = height;
}

VideoSize LivePresenter::clientSize() {
    return {width_.load(), height_.load()};
}

void LivePresenter::post(uint32_t message, WindowHandle target) {
    if (target && hasWindowHost())
        windowHost().postMessage(target, message, 0, 0);
}

void LivePresenter::presentLivePicture(const LivePicture& picture) {
    Frame& f = *back_;
    const VideoRect source = clipToPicture(picture, picture.source);
    const std::size_t needed = static_cast<std::size_t>(source.width) * source.height;
    if (needed == 0 || !picture.data)
        return;
    if (f.pixels.size() < needed)
        f.pixels.resize(needed);  // only for pictures larger than any the receiver sends
    const VideoSize size = convertLiveRegion(picture, source, f.pixels.data(), source.width);
    f.width = size.width;
    f.height = size.height;
    f.destination = picture.destination;
    f.enteredNs = picture.enteredNs;
    {
        std::lock_guard lock(mailboxLock_);
        std::swap(back_, ready_);
        readyFresh_ = true;
    }
    received_.fetch_add(1, std::memory_order_relaxed);
    if (!wakePending_.exchange(true)) {
        const WindowHandle panel = panel_.load();
        if (panel && hasWindowHost())
            windowHost().postMessage(panel, WM_LIVE_PICTURE, 0, 0);
        else
            wakePending_ = false;
    }
}

void LivePresenter::invalidate(bool) {
    if (onGuiThread()) {
        if (const WindowHandle panel = panel_.load(); panel && hasWindowHost())
            windowHost().invalidate(panel);
        return;
    }
    post(WM_VIDEO_REPAINT, panel_.load());
}

void LivePresenter::repaint() {
    if (onGuiThread() && activeCanvas_) {
        paintVideoArea(*activeCanvas_);
        return;
    }
    invalidate(false);
}

void LivePresenter::displayModeChanged() {
    if (onGuiThread()) {
        for (FrozenImage& image : frozen_)
            image = FrozenImage();
    }
    invalidate(true);
}

void LivePresenter::postGraphNotify() {
    post(WM_GRAPH_NOTIFY, panel_.load());
}

void LivePresenter::postDeviceArrival() {
    const WindowHandle target = deviceWindow_.load();
    if (target && hasWindowHost())
        windowHost().postMessage(target, WM_DEVICECHANGE, DBT_DEVICEARRIVAL, 0);
}

void LivePresenter::onPictureArrived() {
    wakePending_ = false;
    const WindowHandle panel = panel_.load();
    if (!panel || !hasWindowHost())
        return;
    VideoRect destination;
    {
        std::lock_guard lock(mailboxLock_);
        if (!readyFresh_)
            return;
        destination = ready_->destination;
    }
    // While the live cell stays where it is only it needs painting; when it moved, the cell it
    // left gets its frozen picture back.
    if (destination == lastLiveRect_ && !destination.empty()) {
        windowHost().invalidateRect(panel, toRect(destination));
    } else {
        windowHost().invalidate(panel);
        lastLiveRect_ = destination;
    }
}

void LivePresenter::paint(Canvas& canvas) {
    const Size size = canvas.size();
    canvas.fillRect({0, 0, size.width, size.height}, kBlack);
    {
        std::lock_guard lock(mailboxLock_);
        if (readyFresh_) {
            std::swap(front_, ready_);
            readyFresh_ = false;
            haveFront_ = true;
            frontFresh_ = true;
            presented_.fetch_add(1, std::memory_order_relaxed);
        }
    }
    activeCanvas_ = &canvas;
    // The engine paints the video area only while it has a graph and a layout; it answers with
    // repaint(), which lands in paintVideoArea() on this canvas.
    sendMessage(ENG_PAINT);
    activeCanvas_ = nullptr;
}

void LivePresenter::paintVideoArea(Canvas& canvas) {
    CaptureEngine* engine = CaptureEngine::instance();
    if (!engine)
        return;
    VideoRect liveCell;
    int current = 0;
    bool live = false;
    engine->withDisplay([&](const DisplayView& view) {
        paintFrozenCells(canvas, view);
        current = std::clamp(view.currentChannel, 0, 3);
        liveCell = view.cells[current];
        live = view.live;
    });
    if (!haveFront_ || liveCell.empty())
        return;
    const Frame& f = *front_;
    canvas.drawImage({f.pixels.data(), f.width, f.height, f.width}, {0, 0, f.width, f.height},
                     toRect(liveCell));
    if (live)
        liveTime_ = processClock().localTime();  // a running picture shows the time now
    CellOverlayInput input;
    input.cell = liveCell;
    input.channel = current;
    input.current = true;
    input.liveRunning = live;
    input.time = liveTime_;
    paintOverlay(canvas, input);
    paintPictureFeedback(canvas, toRect(liveCell), pictureFeedbackNow(processClock().tickCount()));
    if (frontFresh_) {
        frontFresh_ = false;
        if (keepLatencies_ && f.enteredNs != 0) {
            const int64_t now = std::chrono::duration_cast<std::chrono::nanoseconds>(
                                    std::chrono::steady_clock::now().time_since_epoch())
                                    .count();
            latenciesUs_.push_back(
                static_cast<uint32_t>(std::max<int64_t>(0, now - f.enteredNs) / 1000));
        }
    }
}

void LivePresenter::keepLatencies(bool keep) {
    keepLatencies_ = keep;
    if (keep)
        latenciesUs_.reserve(1 << 14);
}

void LivePresenter::paintFrozenCells(Canvas& canvas, const DisplayView& view) {
    if (isQuadLayout(view.layoutMode)) {
        const int cw = view.client.width, ch = view.client.height;
        canvas.fillRect({cw / 2 - 1, 0, cw / 2 + 1, ch}, kSeparatorGrey);
        canvas.fillRect({0, ch / 2 - 1, cw, ch / 2 + 1}, kSeparatorGrey);
    }
    for (int i = 0; i < 4; ++i) {
        const StoredPicture* picture = view.frozen[i];
        const VideoRect& cell = view.cells[i];
        if (i == view.currentChannel || !picture || cell.empty())
            continue;
        FrozenImage& image = frozen_[i];
        const SystemTime& time = view.frozenTime[i];
        if (image.source != picture->data() || image.width != picture->width() ||
            image.height != picture->height() ||
            std::memcmp(&image.time, &time, sizeof time) != 0) {
            // Converted once per frozen picture; the stored rows are bottom-up blue-green-red.
            image.source = picture->data();
            image.time = time;
            image.width = picture->width();
            image.height = picture->height();
            image.pixels.resize(static_cast<std::size_t>(image.width) * image.height);
            const std::size_t stride = picture->rowStride();
            for (int y = 0; y < image.height; ++y) {
                const uint8_t* s = picture->pixels() + (image.height - 1 - y) * stride;
                uint32_t* d = image.pixels.data() + static_cast<std::size_t>(y) * image.width;
                for (int x = 0; x < image.width; ++x, s += 3)
                    d[x] = 0xFF000000u | (uint32_t{s[2]} << 16) | (uint32_t{s[1]} << 8) | s[0];
            }
        }
        const ChannelPan stored = loadChannelPan(i);
        const PanOffset pan{stored.x, stored.y};
        const VideoRect source =
            frozenSource(image.width, image.height, loadRelaxed(gState.channelZoom[i]), pan);
        canvas.drawImage({image.pixels.data(), image.width, image.height, image.width},
                         toRect(source), toRect(cell));
        CellOverlayInput input;
        input.cell = cell;
        input.channel = i;
        input.current = false;
        input.time = time;
        paintOverlay(canvas, input);
    }
}

void LivePresenter::paintOverlay(Canvas& canvas, const CellOverlayInput& base) {
    CellOverlayInput input = base;
    input.recording = loadRelaxed(gState.recordingOn) != 0;
    if (input.recording && input.current) {
        const CaptureEngine* engine = CaptureEngine::instance();
        input.recordingStalled = engine && engine->recordingStalled();
    }
    input.tick = processClock().tickCount();
    input.lastAlarmTick = loadRelaxed(gState.lastAlarmTick);
    input.showDate = loadRelaxed(gConfig.showDate) != 0;
    input.showTime = loadRelaxed(gConfig.showTime) != 0;
    input.showChannelName = loadRelaxed(gConfig.showChannelName) != 0;
    input.channelName = channelName(input.channel);
    canvas.setFont(overlayFont(input.cell.height));
    const auto extent = [&canvas](std::string_view text) {
        const Size s = canvas.textExtent(text);
        return TextSize{s.width, s.height};
    };
    for (const OverlayText& text : overlayTexts(input, extent)) {
        canvas.drawText(text.x + 1, text.y + 1, text.text, toRgb(text.shadow));
        canvas.drawText(text.x, text.y, text.text, toRgb(text.colour));
    }
}

}  // namespace vidora
