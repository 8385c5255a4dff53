#include "engine/timer_state.h"

#include <atomic>

#include "engine/video_window.h"

namespace vidora {

TimerState gTimer;

void resetTimerState() {
    gTimer = TimerState{};
}

namespace {
std::atomic<VideoWindow*> gVideoWindow{nullptr};
}

void setVideoWindow(VideoWindow* window) {
    gVideoWindow.store(window, std::memory_order_release);
}
VideoWindow* videoWindow() {
    return gVideoWindow.load(std::memory_order_acquire);
}

}  // namespace vidora
