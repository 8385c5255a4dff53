#include "app/message_poster.h"

#include <algorithm>
#include <chrono>

namespace vidora {

namespace {

bool sameBox(const MessageBoxRequest& a, const MessageBoxRequest& b) {
    return a.text == b.text && a.caption == b.caption && a.type == b.type;
}

}  // namespace

MessagePoster::MessagePoster(Show show) : show_(std::move(show)) {
    if (!show_) {
        show_ = [](const MessageBoxRequest& box) {
            return userMessageBox(box.text, box.caption, box.type);
        };
    }
}

MessagePoster::~MessagePoster() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        queue_.clear();
    }
    wake_.notify_all();
    // The box on screen is answered by the UI thread; when that is this thread, keep showing.
    std::function<void()> pump;
    if (onUiThread())
        pump = [] { pumpMessageBoxes(); };
    thread_.stop(std::chrono::milliseconds(5), pump);
}

bool MessagePoster::post(MessageBoxRequest box) {
    {
        std::lock_guard lock(mutex_);
        if (stopping_ || queue_.size() >= kMaxWaiting)
            return false;
        if (onScreen_ && sameBox(*onScreen_, box))
            return false;
        if (std::any_of(queue_.begin(), queue_.end(),
                        [&](const MessageBoxRequest& waiting) { return sameBox(waiting, box); }))
            return false;
        queue_.push_back(std::move(box));
        if (!started_) {
            started_ = true;
            thread_.start([this](WorkerThread& self) { run(self); });
        }
    }
    wake_.notify_one();
    return true;
}

std::size_t MessagePoster::waiting() const {
    std::lock_guard lock(mutex_);
    return queue_.size();
}

void MessagePoster::run(WorkerThread& /*self*/) {
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
        if (stopping_)
            return;
        onScreen_ = std::move(queue_.front());
        queue_.pop_front();
        const MessageBoxRequest box = *onScreen_;
        lock.unlock();
        show_(box);
        lock.lock();
        onScreen_.reset();
    }
}

}  // namespace vidora
