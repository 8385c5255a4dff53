#pragma once
// Makes the list's thumbnails off the GUI thread: the first key frame of a recording (decoded
// by GStreamer, scaled) or the snapshot itself, scaled. Requests are served newest first (the
// rows on screen now), and a bounded queue forgets the oldest (rows scrolled past), so the list
// never waits for a picture. Owned by the recordings window; request() is called on the GUI
// thread, tick() on the loader's own thread (or directly by tests), and `ready` on the loader's
// thread: it must only hand the picture over to the GUI.
#include <QImage>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "events/catalog.h"

namespace vidora {

inline constexpr int kThumbnailWidth = 96;
inline constexpr int kThumbnailHeight = 72;

// The first key frame of a recording or the snapshot, scaled to the thumbnail size. A null image
// when the file cannot be read.
QImage makeThumbnail(const CatalogItem& item);

class ThumbnailLoader {
  public:
    using Ready = std::function<void(int64_t id, const QImage& image)>;
    static constexpr std::size_t kMaxPending = 64;

    explicit ThumbnailLoader(Ready ready);
    ~ThumbnailLoader();  // stops and joins the thread
    ThumbnailLoader(const ThumbnailLoader&) = delete;
    ThumbnailLoader& operator=(const ThumbnailLoader&) = delete;

    // Starts the loader's thread (tests leave it off and call tick()).
    void start();
    void stop();
    // Asks for an item's thumbnail; an item already asked for is moved to the front.
    void request(const CatalogItem& item);
    // Forgets every request (the day changed).
    void clear();
    // Makes one thumbnail; false when nothing was asked for.
    bool tick();

    std::size_t pending() const;
    // Requests forgotten because the queue was full.
    uint64_t dropped() const;

  private:
    void run();

    Ready ready_;
    mutable std::mutex lock_;
    std::condition_variable wake_;
    std::deque<CatalogItem> queue_;  // newest at the front
    bool stopping_ = false;
    uint64_t dropped_ = 0;
    std::thread thread_;
};

}  // namespace vidora
