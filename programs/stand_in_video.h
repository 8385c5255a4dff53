#pragma once
// The stand-in window's video area until the skinned monitor panel exists: shows the live
// picture in its cell and the frozen pictures of the quad layout, and turns the engine's graph
// and device notices into ENG_GRAPH_EVENT and ENG_CONNECT on the UI thread. A child of the
// stand-in window; registered as the process-wide video window while it lives.
#include <QImage>
#include <QWidget>
#include <atomic>
#include <mutex>

#include "engine/video_window.h"

namespace vidora {

class StandInVideoArea final : public QWidget, public VideoWindow {
  public:
    explicit StandInVideoArea(QWidget* parent);
    ~StandInVideoArea() override;

    VideoSize clientSize() override;
    void presentLivePicture(const LivePicture& picture) override;
    void invalidate(bool erase) override;
    void repaint() override;
    void displayModeChanged() override {}
    void postGraphNotify() override;
    void postDeviceArrival() override;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    void post(std::function<void()> call);

    std::atomic<int> width_{0};
    std::atomic<int> height_{0};
    std::atomic<bool> picturePending_{false};  // drop pictures while the GUI is behind
    std::mutex mutex_;
    QImage live_;
    QRect liveSource_;
    QRect liveCell_;
};

}  // namespace vidora
