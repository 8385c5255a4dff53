#pragma once
// Message boxes for threads that must keep their pace (the capture timer takes a photo every few
// milliseconds): post() queues the box and returns at once; a thread of the poster's own shows
// the boxes one after the other through userMessageBox and waits for each answer in their place.
// A box with the same text, caption and type as one that waits or is on screen is not queued
// again, and at most kMaxWaiting boxes wait.
//
// post() may be called from any thread. The owner destroys the poster after its posting threads
// have stopped; the destructor drops the boxes still waiting and waits for the one on screen (on
// the UI thread it keeps showing the boxes of other threads meanwhile, so it cannot deadlock).
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>

#include "app/message_box.h"
#include "platform/worker_thread.h"

namespace vidora {

class MessagePoster {
  public:
    static constexpr std::size_t kMaxWaiting = 4;
    using Show = std::function<int(const MessageBoxRequest&)>;

    // `show` defaults to userMessageBox.
    explicit MessagePoster(Show show = {});
    ~MessagePoster();
    MessagePoster(const MessagePoster&) = delete;
    MessagePoster& operator=(const MessagePoster&) = delete;

    // False when the box was dropped (the same one waits or is on screen, or too many wait).
    bool post(MessageBoxRequest box);

    // Boxes posted but not yet handed to `show`.
    std::size_t waiting() const;

  private:
    void run(WorkerThread& self);

    Show show_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<MessageBoxRequest> queue_;
    std::optional<MessageBoxRequest> onScreen_;
    bool started_ = false;
    bool stopping_ = false;
    // Started at the first post; last member, so it stops before the rest goes.
    WorkerThread thread_{"message-post"};
};

}  // namespace vidora
