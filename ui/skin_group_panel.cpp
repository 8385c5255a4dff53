#include "ui/skin_group_panel.h"

#include <algorithm>
#include <limits>

namespace vidora {
namespace {

// Skin numbers are arbitrary 32-bit values; sums of them are kept in range here so that
// coordinate arithmetic never overflows. Anything this far out lies outside every picture.
int clampCoordinate(int64_t v) {
    constexpr int64_t kLimit = int64_t{1} << 30;
    return static_cast<int>(std::clamp(v, -kLimit, kLimit));
}

bool isButtonType(int32_t type) {
    return type >= CONTROL_PUSH && type <= CONTROL_PROGRAM_APPEARANCE;
}

const WindowKindRegistration kGroupKind(GROUP_PANEL_KIND, [](SkinWindow* parent, int32_t id, int x,
                                                             int y, int width, int height) {
    return std::make_unique<SkinGroupPanel>(parent, id, x, y, width, height);
});

}  // namespace

SkinGroupPanel::SkinGroupPanel(SkinWindow* parent, int32_t id, int x, int y, int width, int height)
    : SkinWindow(parent, id, x, y, width, height) {}

WindowClass SkinGroupPanel::classDescription() const {
    WindowClass c;
    c.name = kClassName;
    c.style = CS_HREDRAW | CS_VREDRAW;
    c.cursor = CursorShape::Arrow;
    return c;
}

void SkinGroupPanel::createDrawingBuffer() {
    buffer_ = Bitmap24(width(), height());
}

bool SkinGroupPanel::loadPicture(const std::string& path) {
    auto loaded = Bitmap24::loadBmp(path);
    if (!loaded) {
        picture_ = Bitmap24();
        return false;
    }
    picture_ = std::move(*loaded);
    return true;
}

void SkinGroupPanel::addTooltip(const SkinControl& control) {
    if (!tooltipsActive_)
        return;
    tools_.push_back({control.id,
                      {control.x, control.y, clampCoordinate(int64_t{control.x} + control.width),
                       clampCoordinate(int64_t{control.y} + control.height)},
                      control.hint});
}

void SkinGroupPanel::setTooltip(int32_t controlId, const std::string& text) {
    for (Tool& tool : tools_) {
        if (tool.controlId == controlId)
            tool.text = text;
    }
}

std::string SkinGroupPanel::tooltip(int32_t controlId) const {
    for (const Tool& tool : tools_) {
        if (tool.controlId == controlId)
            return tool.text;
    }
    return {};
}

std::string SkinGroupPanel::tooltipAt(int x, int y, Rect* area) const {
    for (const Tool& tool : tools_) {
        if (!tool.rect.contains(x, y))
            continue;
        const SkinControl* c = control(tool.controlId);
        if (c && c->state == STATE_HIDDEN)
            continue;
        if (tool.text.empty())
            return {};
        if (area)
            *area = tool.rect;
        return tool.text;
    }
    return {};
}

void SkinGroupPanel::setBitmapLayout(int32_t layout, int32_t panelOffset, int32_t maskOffset) {
    bitmapLayout_ = layout;
    if (layout == 0) {
        panelOrigin_ = {panelOffset, 0};
        maskOrigin_ = {maskOffset, 0};
    } else {
        panelOrigin_ = {0, panelOffset};
        maskOrigin_ = {0, maskOffset};
    }
}

void SkinGroupPanel::setStateOffset(int appearance, int state, int32_t offset) {
    if (appearance < 0 || appearance > 1 || state < 0 || state > 4)
        return;
    const int i = index(appearance, state);
    xOffsets_[i] = bitmapLayout_ == 0 ? offset : 0;
    yOffsets_[i] = bitmapLayout_ == 0 ? 0 : offset;
}

void SkinGroupPanel::setStretch(bool enabled, int32_t direction, int32_t startRow, int32_t endRow) {
    stretch_ = enabled;
    stretchDirection_ = direction;
    stretchStart_ = startRow;
    stretchEnd_ = endRow;
}

SkinControl& SkinGroupPanel::addControl(SkinControl control) {
    control.group = this;
    controls_.push_back(std::move(control));
    return controls_.back();
}

SkinControl* SkinGroupPanel::control(int32_t controlId) {
    if (controlId < 1 || static_cast<size_t>(controlId) > controls_.size())
        return nullptr;
    return &controls_[static_cast<size_t>(controlId) - 1];
}

const SkinControl* SkinGroupPanel::control(int32_t controlId) const {
    return const_cast<SkinGroupPanel*>(this)->control(controlId);
}

// ---- drawing ----------------------------------------------------------------------------

void SkinGroupPanel::render() {
    if (buffer_.empty())
        return;
    // Without a picture (or where it ends) the group shows black rather than stale pixels.
    if (picture_.empty() || !picture_.bounds().contains(panelOrigin_.x, panelOrigin_.y) ||
        int64_t{panelOrigin_.x} + width() > picture_.width() ||
        int64_t{panelOrigin_.y} + height() > picture_.height())
        buffer_.fill({});
    copyBlock(buffer_, 0, 0, picture_, panelOrigin_.x, panelOrigin_.y, width(), height());
    for (const SkinControl& c : controls_) {
        if (c.state == STATE_HIDDEN)
            continue;
        const int i = index(c.appearance, c.state);
        const int64_t sourceX = int64_t{c.x} + xOffsets_[i];
        const int64_t sourceY = int64_t{c.y} + yOffsets_[i];
        if (c.shape != 0) {
            renderShaped(c, sourceX, sourceY);
        } else if (c.type != CONTROL_TRACKER) {
            copyBlock(buffer_, c.x, c.y, picture_, clampCoordinate(sourceX),
                      clampCoordinate(sourceY), c.width, c.height);
        } else {
            copyBlockTransparent(buffer_, clampCoordinate(int64_t{c.x} + c.thumbPosition), c.y,
                                 picture_, c.thumbImageX, c.thumbImageY, c.thumbWidth, c.height,
                                 kThumbTransparent);
        }
    }
}

void SkinGroupPanel::renderShaped(const SkinControl& c, int64_t sourceX, int64_t sourceY) {
    // Only the part of the control's rectangle that lies in the buffer can change anything.
    const int64_t i0 = std::max<int64_t>(0, -int64_t{c.x});
    const int64_t j0 = std::max<int64_t>(0, -int64_t{c.y});
    const int64_t i1 = std::min<int64_t>(c.width, int64_t{buffer_.width()} - c.x);
    const int64_t j1 = std::min<int64_t>(c.height, int64_t{buffer_.height()} - c.y);
    const auto key = static_cast<uint8_t>(c.id & 0xFF);
    const int64_t maskX = int64_t{maskOrigin_.x} + c.x;
    const int64_t maskY = int64_t{maskOrigin_.y} + c.y;
    const auto inPicture = [this](int64_t x, int64_t y) {
        return x >= 0 && y >= 0 && x < picture_.width() && y < picture_.height();
    };
    for (int64_t j = j0; j < j1; ++j) {
        for (int64_t i = i0; i < i1; ++i) {
            if (!inPicture(maskX + i, maskY + j) || !inPicture(sourceX + i, sourceY + j))
                continue;
            const uint8_t* mask =
                picture_.pixelAt(static_cast<int>(maskX + i), static_cast<int>(maskY + j));
            if (mask[2] != key)
                continue;  // red component names the control
            const uint8_t* s =
                picture_.pixelAt(static_cast<int>(sourceX + i), static_cast<int>(sourceY + j));
            uint8_t* d = buffer_.pixelAt(static_cast<int>(c.x + i), static_cast<int>(c.y + j));
            d[0] = s[0];
            d[1] = s[1];
            d[2] = s[2];
        }
    }
}

void SkinGroupPanel::present(Canvas* canvas) {
    if (canvas) {
        presentTo(*canvas);
        return;
    }
    if (!handle() || !hasWindowHost())
        return;
    windowHost().paintNow(handle(), [this](Canvas& c) { presentTo(c); });
}

void SkinGroupPanel::presentTo(Canvas& canvas) {
    const int w = width();
    const int h = height();
    if (!stretch_) {
        canvas.blit(buffer_, 0, 0, w, h, 0, 0);
        return;
    }
    const int64_t start = stretchStart_;
    const int64_t end = stretchEnd_;
    canvas.blit(buffer_, 0, 0, w, clampCoordinate(start), 0, 0);
    if (stretchDirection_ != 1)
        return;
    const int64_t current = handle() && hasWindowHost() ? windowHost().clientSize(handle()).height
                                                        : canvas.size().height;
    const int px = panelOrigin_.x;
    const int64_t py = panelOrigin_.y;
    if (current <= h) {
        canvas.blit(picture_, px, clampCoordinate(py + start), w, clampCoordinate(h - start), 0,
                    clampCoordinate(start + current - h));
        return;
    }
    const int64_t band = end - start + 1;
    canvas.stretchBlit(picture_, px, clampCoordinate(py + start), w, clampCoordinate(band), 0,
                       clampCoordinate(start), w, clampCoordinate(current - h + band));
    // The rows below the band follow the stretched band directly, ending on the last row.
    canvas.blit(picture_, px, clampCoordinate(py + end + 1), w, clampCoordinate(h - end - 1), 0,
                clampCoordinate(end + 1 + current - h));
}

void SkinGroupPanel::refresh() {
    render();
    present();
}

// ---- operations --------------------------------------------------------------------------

void SkinGroupPanel::disableAll() {
    for (SkinControl& c : controls_) {
        if (c.state == STATE_DISABLED || c.state == STATE_HIDDEN)
            continue;
        c.savedState = c.state;
        c.state = STATE_DISABLED;
    }
    refresh();
}

void SkinGroupPanel::enableAll() {
    for (SkinControl& c : controls_)
        if (c.state == STATE_DISABLED)
            c.state = c.savedState;
    refresh();
}

void SkinGroupPanel::setEnabled(int32_t controlId, bool enable) {
    SkinControl* c = control(controlId);
    if (!c || c->state == STATE_HIDDEN)
        return;
    if (enable && c->state == STATE_DISABLED) {
        c->state = c->savedState == STATE_DISABLED ? STATE_NORMAL : c->savedState;
    } else if (!enable && c->state != STATE_DISABLED) {
        c->savedState = c->state;
        c->state = STATE_DISABLED;
    } else {
        return;
    }
    refresh();
}

void SkinGroupPanel::setAppearance(int32_t controlId, int32_t value) {
    SkinControl* c = control(controlId);
    if (!c || (c->type != CONTROL_TOGGLE && c->type != CONTROL_PROGRAM_APPEARANCE))
        return;
    c->appearance = value != 0 ? 1 : 0;
    refresh();
}

void SkinGroupPanel::setThumbPosition(int32_t controlId, int32_t value) {
    SkinControl* c = control(controlId);
    if (!c || c->type != CONTROL_TRACKER)
        return;
    // A value beyond the travel would draw the thumb off the track.
    c->thumbPosition =
        std::clamp<int64_t>(value, 0, std::max<int64_t>(0, int64_t{c->width} - c->thumbWidth));
    refresh();
}

int32_t SkinGroupPanel::trackerValue(int32_t controlId) const {
    const SkinControl* c = control(controlId);
    if (!c || c->type != CONTROL_TRACKER)
        return 0;
    const int64_t travel = int64_t{c->width} - c->thumbWidth;
    if (travel <= 0)
        return 0;  // a thumb as wide as its track has nowhere to go
    return static_cast<int32_t>(int64_t{c->thumbPosition} * 100 / travel);
}

int32_t SkinGroupPanel::hitTest(int x, int y) const {
    if (x < 0 || y < 0 || x >= width() || y >= height())
        return -1;
    for (const SkinControl& c : controls_) {
        if (c.shape != 0 || c.state == STATE_HIDDEN)
            continue;
        if (!control(c.id))
            continue;  // an id that names no place in the group is inert
        if (x >= c.x && y >= c.y && x < int64_t{c.x} + c.width && y < int64_t{c.y} + c.height)
            return c.id;
    }
    const int64_t mx = int64_t{maskOrigin_.x} + x;
    const int64_t my = int64_t{maskOrigin_.y} + y;
    if (mx < 0 || my < 0 || mx >= picture_.width() || my >= picture_.height())
        return 0;
    const int32_t k = picture_.pixel(static_cast<int>(mx), static_cast<int>(my)).r;
    if (k == 0)
        return 0;
    const SkinControl* c = control(k);
    if (!c || c->state == STATE_HIDDEN)
        return 0;
    return k;
}

// ---- mouse -------------------------------------------------------------------------------

void SkinGroupPanel::enter(SkinControl& c) {
    if (captured_ && isButtonType(c.type)) {
        c.state = STATE_DOWN_HIGHLIGHTED;
    } else if (c.state == STATE_NORMAL) {
        c.state = STATE_HIGHLIGHTED;
    } else if (c.state == STATE_DOWN) {
        c.state = STATE_DOWN_HIGHLIGHTED;
    }
}

void SkinGroupPanel::leave(SkinControl& c) {
    if (captured_ && isButtonType(c.type)) {
        if (c.state != STATE_DISABLED)
            c.state = STATE_NORMAL;
    } else if (c.state == STATE_HIGHLIGHTED) {
        c.state = STATE_NORMAL;
    } else if (c.state == STATE_DOWN_HIGHLIGHTED) {
        c.state = STATE_DOWN;
    }
}

void SkinGroupPanel::completeClick(SkinControl& c) {
    switch (c.type) {
        case CONTROL_TOGGLE:
            c.appearance = c.appearance ? 0 : 1;
            c.state = STATE_HIGHLIGHTED;
            break;
        case CONTROL_PUSH:
        case CONTROL_PROGRAM_APPEARANCE:
            c.state = STATE_HIGHLIGHTED;
            break;
        case CONTROL_TRACKER:
            return;
        case CONTROL_LATCH:
            c.state = (c.state == STATE_NORMAL || c.state == STATE_HIGHLIGHTED)
                          ? STATE_DOWN_HIGHLIGHTED
                          : STATE_HIGHLIGHTED;
            break;
        default:
            break;
    }
    notify(c);
}

bool SkinGroupPanel::pressControl(int32_t controlId) {
    SkinControl* c = control(controlId);
    if (!c || c->state == STATE_DISABLED || c->state == STATE_HIDDEN ||
        !(isButtonType(c->type) || c->type == CONTROL_LATCH))
        return false;
    // The highlight stays with the mouse: it is lit only if the mouse rests on it.
    const bool lit = hot_ == controlId && !captured_;
    const bool wasDown = c->state == STATE_DOWN || c->state == STATE_DOWN_HIGHLIGHTED;
    if (c->type == CONTROL_TOGGLE)
        c->appearance = c->appearance ? 0 : 1;
    if (c->type == CONTROL_LATCH && !wasDown)
        c->state = lit ? STATE_DOWN_HIGHLIGHTED : STATE_DOWN;
    else
        c->state = lit ? STATE_HIGHLIGHTED : STATE_NORMAL;
    notify(*c);
    refresh();
    return true;
}

void SkinGroupPanel::notify(const SkinControl& c) {
    if (!listener_)
        return;
    const ControlNotification n{id(), c.id, c.state};
    listener_->notify(n);
}

void SkinGroupPanel::pressTracker(SkinControl& c, int x) {
    const int64_t x0 = c.x;
    const int64_t travel = std::max<int64_t>(0, int64_t{c.width} - c.thumbWidth);
    if (x < x0 + c.thumbPosition || x > x0 + c.thumbPosition + c.thumbWidth) {
        c.thumbPosition = static_cast<int32_t>(std::clamp<int64_t>(x - x0 - 7, 0, travel));
        c.lastMouseX = x;
        notify(c);
        return;
    }
    c.lastMouseX = x;
}

void SkinGroupPanel::dragTracker(SkinControl& c, int x) {
    const int64_t x0 = c.x;
    if (x < x0 + 7 || x > x0 + c.width)
        return;
    const int64_t travel = std::max<int64_t>(0, int64_t{c.width} - c.thumbWidth);
    c.thumbPosition = static_cast<int32_t>(
        std::clamp<int64_t>(int64_t{c.thumbPosition} + x - c.lastMouseX, 0, travel));
    c.lastMouseX = x;
    notify(c);
}

void SkinGroupPanel::onButtonDown(int x, int y) {
    if (hasWindowHost() && handle())
        windowHost().setFocus(handle());
    const int32_t h = hitTest(x, y);
    SkinControl* c = control(h);
    if (captured_ || !c || c->state == STATE_DISABLED)
        return;
    if (hasWindowHost() && handle())
        windowHost().setCapture(handle());
    captured_ = true;
    if (hot_ == 0)
        hot_ = h;
    if (isButtonType(c->type)) {
        c->state = STATE_DOWN_HIGHLIGHTED;
        refresh();
    } else if (c->type == CONTROL_TRACKER) {
        pressTracker(*c, x);
        refresh();
    }
}

void SkinGroupPanel::onButtonUp(int x, int y) {
    if (!captured_)
        return;
    if (hasWindowHost() && handle())
        windowHost().releaseCapture();
    captured_ = false;
    const int32_t h = hitTest(x, y);
    SkinControl* c = control(h);
    // A release counts only over the control that was pressed, and not once the program
    // disabled it meanwhile.
    if (!c || h != hot_ || c->state == STATE_DISABLED)
        return;
    completeClick(*c);
    refresh();
}

void SkinGroupPanel::onMouseMove(int x, int y, bool leaving) {
    const int32_t h = leaving ? -1 : hitTest(x, y);
    bool redraw = false;
    if (captured_ && hot_ != 0 && h == hot_) {
        if (SkinControl* c = control(h); c && c->type == CONTROL_TRACKER) {
            dragTracker(*c, x);
            redraw = true;
        }
    }
    if (hot_ != 0 && h != hot_) {
        if (SkinControl* hot = control(hot_))
            leave(*hot);
        if (!captured_)
            hot_ = 0;
        redraw = true;
    }
    if ((!captured_ && h > 0) || (hot_ != 0 && h == hot_)) {
        SkinControl* c = control(h);
        if (c && c->state != STATE_DISABLED) {
            const int32_t before = c->state;
            const bool wasHot = hot_ == h;
            hot_ = h;
            enter(*c);
            if (hasWindowHost() && handle())
                windowHost().trackMouseLeave(handle());
            if (redraw || !wasHot || before != c->state)
                refresh();
            return;
        }
    }
    if (redraw)
        refresh();
}

void SkinGroupPanel::onKillFocus() {
    if (!captured_)
        return;
    if (hasWindowHost() && handle())
        windowHost().releaseCapture();
    captured_ = false;
    if (SkinControl* hot = control(hot_);
        hot && hot->type != CONTROL_LATCH && hot->state != STATE_DISABLED)
        hot->state = STATE_NORMAL;
    refresh();
}

intptr_t SkinGroupPanel::windowProc(uint32_t message, uintptr_t wParam, intptr_t lParam) {
    switch (message) {
        case WM_LBUTTONDOWN:
            onButtonDown(paramX(lParam), paramY(lParam));
            return 0;
        case WM_LBUTTONUP:
            onButtonUp(paramX(lParam), paramY(lParam));
            return 0;
        case WM_MOUSEMOVE:
            onMouseMove(paramX(lParam), paramY(lParam), false);
            return 0;
        case WM_MOUSELEAVE:
            onMouseMove(0, 0, true);
            return 0;
        case WM_KILLFOCUS:
            onKillFocus();
            return 0;
        case WM_PAINT:
            if (wParam)
                present(reinterpret_cast<Canvas*>(wParam));
            return 0;
        case WM_SHOWWINDOW:
            render();
            return defaultProc(message, wParam, lParam);
        case WM_CREATE:
        case WM_DESTROY:
        case WM_SIZE:
            return 0;
        default:
            return defaultProc(message, wParam, lParam);
    }
}

}  // namespace vidora
