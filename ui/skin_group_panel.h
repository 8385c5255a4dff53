#pragma once
// A skin button group: a child window of the control panel showing one strip of buttons and
// trackers painted from one picture, turning mouse actions into notifications for its listener.
// It knows nothing of what its controls mean. Built by the skin loader, owned by the window
// framework (kind 5), used on the message-loop thread only.
#include <array>
#include <string>
#include <vector>

#include "ui/bitmap24.h"
#include "ui/skin_control.h"
#include "ui/skin_window.h"

namespace vidora {

class SkinGroupPanel : public SkinWindow {
  public:
    static constexpr const char* kClassName = "VD_GroupPanel";
    static constexpr Rgb kThumbTransparent{255, 255, 255};

    SkinGroupPanel(SkinWindow* parent, int32_t id, int x, int y, int width, int height);

    const char* className() const override { return kClassName; }
    WindowClass classDescription() const override;
    intptr_t windowProc(uint32_t message, uintptr_t wParam, intptr_t lParam) override;
    std::string tooltipAt(int x, int y, Rect* area) const override;

    // Building, by the skin loader.
    void setListener(ControlListener* listener) { listener_ = listener; }
    void createDrawingBuffer();
    bool loadPicture(const std::string& path);
    void setPicture(Bitmap24 picture) { picture_ = std::move(picture); }
    void createTooltipWindow() { tooltipsActive_ = true; }
    void addTooltip(const SkinControl& control);
    // BITMAPLAYOUT 0: offsets are x offsets; otherwise y offsets.
    void setBitmapLayout(int32_t layout, int32_t panelOffset, int32_t maskOffset);
    void setStateOffset(int appearance, int state, int32_t offset);
    void setStretch(bool enabled, int32_t direction, int32_t startRow, int32_t endRow);
    // Appends a control; it becomes control number controls().size().
    SkinControl& addControl(SkinControl control);

    // Operations of the program. Everything that changes a state, an appearance or a thumb
    // position renders and presents at once. Ids outside 1..count are ignored.
    void render();
    // Copies the drawing buffer (and, when stretched, parts of the picture) to the canvas, or
    // to the window itself when none is given.
    void present(Canvas* canvas = nullptr);
    void disableAll();
    void enableAll();
    void setEnabled(int32_t controlId, bool enable);
    void setAppearance(int32_t controlId, int32_t value);     // types 1 and 2
    void setThumbPosition(int32_t controlId, int32_t value);  // trackers
    // The tooltip of a control from now on (the skin gives its hint).
    void setTooltip(int32_t controlId, const std::string& text);
    // The tooltip of a control; empty when it has none.
    std::string tooltip(int32_t controlId) const;
    int32_t trackerValue(int32_t controlId) const;
    // A click on a button from the keyboard or a menu: the same change of state and the same
    // notification as a click of the mouse, and nothing for a control that is disabled, absent
    // or a tracker. True when the click happened.
    bool pressControl(int32_t controlId);
    // Control id at a client point; 0 for none, -1 outside the group.
    int32_t hitTest(int x, int y) const;

    // What tests and the control panel read.
    const std::vector<SkinControl>& controls() const { return controls_; }
    SkinControl* control(int32_t controlId);
    const SkinControl* control(int32_t controlId) const;
    const Bitmap24& drawingBuffer() const { return buffer_; }
    const Bitmap24& picture() const { return picture_; }
    int32_t bitmapLayout() const { return bitmapLayout_; }
    Point panelOrigin() const { return panelOrigin_; }
    Point maskOrigin() const { return maskOrigin_; }
    int32_t xOffset(int appearance, int state) const { return xOffsets_[index(appearance, state)]; }
    int32_t yOffset(int appearance, int state) const { return yOffsets_[index(appearance, state)]; }
    bool stretched() const { return stretch_; }
    bool mouseCaptured() const { return captured_; }
    int32_t hotControl() const { return hot_; }

  private:
    struct Tool {
        int32_t controlId;
        Rect rect;
        std::string text;
    };

    static int index(int appearance, int state) {
        return std::clamp(appearance, 0, 1) * 5 + std::clamp(state, 0, 4);
    }
    void presentTo(Canvas& canvas);
    void renderShaped(const SkinControl& c, int64_t sourceX, int64_t sourceY);
    void enter(SkinControl& c);
    void leave(SkinControl& c);
    void completeClick(SkinControl& c);
    void notify(const SkinControl& c);
    void pressTracker(SkinControl& c, int x);
    void dragTracker(SkinControl& c, int x);
    void refresh();  // render + present

    void onButtonDown(int x, int y);
    void onButtonUp(int x, int y);
    void onMouseMove(int x, int y, bool leaving);
    void onKillFocus();

    ControlListener* listener_ = nullptr;
    bool captured_ = false;
    int32_t hot_ = 0;  // id of the hot control, 0 for none
    int32_t bitmapLayout_ = 0;
    Point panelOrigin_;
    Point maskOrigin_;
    std::array<int32_t, 10> xOffsets_{};
    std::array<int32_t, 10> yOffsets_{};
    bool tooltipsActive_ = false;
    std::vector<Tool> tools_;
    Bitmap24 picture_;
    Bitmap24 buffer_;
    bool stretch_ = false;
    int32_t stretchDirection_ = 0;
    int32_t stretchStart_ = 0;
    int32_t stretchEnd_ = 0;
    std::vector<SkinControl> controls_;
};

}  // namespace vidora
