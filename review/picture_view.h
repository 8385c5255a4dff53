#pragma once
// The player's picture: the latest decoded picture, converted on the graph's streaming thread
// by the live view's own conversion into a one-picture mailbox (the latest picture wins, at most
// one repaint waiting), and painted on the GUI thread through the canvas the live view paints
// with. A GUI that falls behind drops pictures instead of queueing them. Snapshots are shown
// through the same canvas. Owned by the recordings window; the graph feeding it stops first.
#include <QImage>
#include <QWidget>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "review/playback.h"

namespace vidora {

class PictureView : public QWidget {
  public:
    explicit PictureView(QWidget* parent = nullptr);

    // Streaming thread: a new picture to show.
    void present(const PlaybackPicture& picture);
    // GUI thread: shows a still picture (a snapshot); an empty image clears the view.
    void showStill(const QImage& image);

    // Pictures handed over, and pictures painted.
    uint64_t received() const { return received_.load(std::memory_order_relaxed); }
    uint64_t painted() const { return painted_.load(std::memory_order_relaxed); }
    // Position of the picture painted last.
    int64_t paintedPositionMs() const { return paintedPositionMs_; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    struct Frame {
        std::vector<uint32_t> pixels;
        int width = 0;
        int height = 0;
        int64_t positionMs = 0;
    };

    // Streaming thread.
    std::unique_ptr<Frame> back_;
    // The mailbox.
    std::mutex lock_;
    std::unique_ptr<Frame> ready_;
    bool readyFresh_ = false;
    std::atomic<bool> wakePending_{false};
    // GUI thread.
    std::unique_ptr<Frame> front_;
    bool haveFront_ = false;
    int64_t paintedPositionMs_ = 0;

    std::atomic<uint64_t> received_{0};
    std::atomic<uint64_t> painted_{0};
};

}  // namespace vidora
