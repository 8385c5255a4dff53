#pragma once
// The monitor panel's video area as the engine sees it: shows the live picture of the current
// channel scaled into its cell, the frozen pictures of the other channels, the separator bars of
// the quad layout and the on-screen display of every cell.
//
// Owned by the monitor panel. presentLivePicture() runs on the capture graph's streaming thread:
// it converts the part of the picture to be shown into 32-bit pixels there, into buffers that are
// reused from picture to picture, and leaves the result in a one-picture mailbox (the latest
// picture wins) with at most one wake-up of the GUI thread waiting. The GUI thread paints what
// the mailbox holds when it gets round to it, so a GUI that falls behind drops pictures instead
// of queueing them. The other VideoWindow calls may come from any thread and only post to the
// GUI thread; paint() and the on...() handlers run on the GUI thread.
#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "engine/osd.h"
#include "engine/video_window.h"
#include "platform/system_time.h"
#include "ui/canvas.h"
#include "ui/window_host.h"

namespace vidora {

struct DisplayView;

// Window messages between the presenter and its panel.
enum : uint32_t {
    WM_LIVE_PICTURE = 0x8003,   // a new live picture waits in the mailbox
    WM_VIDEO_REPAINT = 0x8004,  // repaint the whole video area
};

// The font of the on-screen display in a cell of that height: the same face at 2 or 3 times its
// size once the cell is large (full screen), so that it stays readable from a distance. Only the
// screen's overlay grows; the stamp burned into recordings and snapshots keeps its size.
TextFont overlayFont(int cellHeight);
// 1 below 960 pixels, 2 below 1440, else 3.
int overlayScale(int cellHeight);

class LivePresenter final : public VideoWindow {
  public:
    LivePresenter();
    ~LivePresenter() override;
    LivePresenter(const LivePresenter&) = delete;
    LivePresenter& operator=(const LivePresenter&) = delete;

    // GUI thread: the panel that shows the pictures and the window that answers device notices
    // (the main window). Until attached, and after detach(), nothing is posted.
    void attach(WindowHandle panel, WindowHandle deviceWindow);
    void detach();
    // The panel's client size (GUI thread; read by the engine from any thread).
    void setClientSize(int width, int height);

    // VideoWindow.
    VideoSize clientSize() override;
    void presentLivePicture(const LivePicture& picture) override;
    void invalidate(bool erase) override;
    void repaint() override;
    void displayModeChanged() override;
    void postGraphNotify() override;
    void postDeviceArrival() override;

    // GUI thread: WM_LIVE_PICTURE arrived.
    void onPictureArrived();
    // GUI thread: paints the video area while live view is on or paused. The frozen cells and
    // the separators are painted when the engine answers ENG_PAINT with repaint().
    void paint(Canvas& canvas);

    // Pictures handed over by the streaming thread, and pictures the GUI thread painted.
    uint64_t picturesReceived() const { return received_.load(std::memory_order_relaxed); }
    uint64_t picturesPresented() const { return presented_.load(std::memory_order_relaxed); }

    // GUI thread: from now on keep, for every live picture painted, the time from its entry into
    // the video transfer to the end of its paint (microseconds; for measurements).
    void keepLatencies(bool keep);
    const std::vector<uint32_t>& latenciesUs() const { return latenciesUs_; }
    void clearLatencies() { latenciesUs_.clear(); }

  private:
    struct Frame {
        std::vector<uint32_t> pixels;
        int width = 0;
        int height = 0;
        VideoRect destination;
        int64_t enteredNs = 0;
    };
    struct FrozenImage {
        const uint8_t* source = nullptr;  // the stored picture it was made from
        SystemTime time{};
        std::vector<uint32_t> pixels;
        int width = 0;
        int height = 0;
    };

    bool onGuiThread() const { return std::this_thread::get_id() == guiThread_; }
    void post(uint32_t message, WindowHandle target);
    void paintVideoArea(Canvas& canvas);
    void paintFrozenCells(Canvas& canvas, const DisplayView& view);
    void paintOverlay(Canvas& canvas, const CellOverlayInput& input);

    const std::thread::id guiThread_;
    std::atomic<WindowHandle> panel_{0};
    std::atomic<WindowHandle> deviceWindow_{0};
    std::atomic<int> width_{0};
    std::atomic<int> height_{0};

    // Streaming thread.
    std::unique_ptr<Frame> back_;
    // The mailbox.
    std::mutex mailboxLock_;
    std::unique_ptr<Frame> ready_;
    bool readyFresh_ = false;
    std::atomic<bool> wakePending_{false};

    // GUI thread.
    std::unique_ptr<Frame> front_;
    bool haveFront_ = false;
    bool frontFresh_ = false;  // the front picture has not been painted yet
    bool keepLatencies_ = false;
    std::vector<uint32_t> latenciesUs_;
    Canvas* activeCanvas_ = nullptr;  // the canvas of the paint in progress
    VideoRect lastLiveRect_;
    SystemTime liveTime_{};
    std::array<FrozenImage, 4> frozen_;

    std::atomic<uint64_t> received_{0};
    std::atomic<uint64_t> presented_{0};
};

// Converts the `source` part of a packed 4:2:2 picture into 32-bit pixels 0xffRRGGBB (full-range
// BT.601), `outStride` pixels per row. The source is kept inside the picture; returns the size
// converted.
VideoSize convertLiveRegion(const LivePicture& picture, const VideoRect& source, uint32_t* out,
                            int outStride);

}  // namespace vidora
