#include "app/message_poster.h"

#include <chrono>

namespace vidora {

MessagePoster::~MessagePoster() {
    {
        std::lock_guard lock(mutex_);
        closing_ = true;
        waiting_.clear();
    }
    wake_.notify_all();
    std::function<void()> pump;
    if (onUiThread())
        pump = [] { pumpMessageBoxes(); };
    thread_.stop(std::chrono::milliseconds(5), pump);
}

bool MessagePoster::post(MessageBoxRequest request) {
    {
        std::lock_guard lock(mutex_);
        if (closing_ || waiting_.size() >= kMaxWaiting)
            return false;
        waiting_.push_back(std::move(request));
        if (!started_) {
            started_ = true;
            thread_.start([this](WorkerThread&) { body(); });
        }
    }
    wake_.notify_one();
    return true;
}

std::size_t MessagePoster::waiting() {
    std::lock_guard lock(mutex_);
    return waiting_.size();
}

void MessagePoster::body() {
    for (;;) {
        MessageBoxRequest request;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return closing_ || !waiting_.empty(); });
            if (closing_)
                return;
            request = std::move(waiting_.front());
            waiting_.pop_front();
        }
        userMessageBox(request.text, request.caption, request.type);
    }
}

}  // namespace vidora
