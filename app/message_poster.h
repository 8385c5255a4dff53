#pragma once
// Message boxes for a thread that must not wait for the user (the record writer's: the packets
// behind it would pile up while a box is open). post() queues the box and returns at once; a
// thread of its own, started with the first box, shows the boxes one after another through
// userMessageBox, which waits for the user there.
//
// Owned by the object whose thread posts; post() may be called from any thread. Destroying the
// poster drops the boxes not shown yet and waits until the user closes the one on screen (on the
// user-interface thread it keeps showing the boxes that workers wait for meanwhile).
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>

#include "app/message_box.h"
#include "platform/worker_thread.h"

namespace vidora {

class MessagePoster {
  public:
    // Boxes waiting beyond this are dropped: a user does not read a pile of them.
    static constexpr std::size_t kMaxWaiting = 4;

    MessagePoster() = default;
    ~MessagePoster();
    MessagePoster(const MessagePoster&) = delete;
    MessagePoster& operator=(const MessagePoster&) = delete;

    // False when kMaxWaiting boxes wait already (this one is dropped).
    bool post(MessageBoxRequest request);
    // Boxes posted and not yet on their way to the screen.
    std::size_t waiting();

  private:
    void body();

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<MessageBoxRequest> waiting_;  // under mutex_, as are the flags below
    bool closing_ = false;
    bool started_ = false;
    WorkerThread thread_{"message-post"};
};

}  // namespace vidora
