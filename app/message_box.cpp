#include "app/message_box.h"

#include <condition_variable>
#include <cstdio>
#include <deque>
#include <mutex>
#include <thread>

namespace vidora {

namespace {

struct Pending {
    MessageBoxRequest request;
    int result = IDOK;
    bool done = false;
};

struct Dispatcher {
    std::mutex mutex;
    std::condition_variable answered;
    MessageBoxPresenter presenter;
    std::function<void()> wakeUi;
    std::thread::id uiThread;
    std::deque<Pending*> queue;
};

Dispatcher& dispatcher() {
    static Dispatcher d;
    return d;
}

}  // namespace

void setMessageBoxPresenter(MessageBoxPresenter presenter, std::function<void()> wakeUi) {
    Dispatcher& d = dispatcher();
    bool removed = false;
    {
        std::lock_guard lock(d.mutex);
        d.presenter = std::move(presenter);
        d.wakeUi = std::move(wakeUi);
        d.uiThread = d.presenter ? std::this_thread::get_id() : std::thread::id();
        removed = !d.presenter;
    }
    // Nobody will answer requests that are still queued: release their callers.
    if (removed)
        pumpMessageBoxes();
}

bool onUiThread() {
    Dispatcher& d = dispatcher();
    std::lock_guard lock(d.mutex);
    return d.presenter && d.uiThread == std::this_thread::get_id();
}

int userMessageBox(const std::string& text, const std::string& caption, uint32_t type) {
    Dispatcher& d = dispatcher();
    MessageBoxPresenter presenter;
    std::function<void()> wake;
    bool direct = false;
    {
        std::lock_guard lock(d.mutex);
        presenter = d.presenter;
        wake = d.wakeUi;
        direct = presenter && d.uiThread == std::this_thread::get_id();
    }
    MessageBoxRequest request{text, caption, type};
    if (!presenter) {
        std::fprintf(stderr, "%s%s%s\n", caption.c_str(), caption.empty() ? "" : ": ",
                     text.c_str());
        return IDOK;
    }
    if (direct)
        return presenter(request);

    Pending pending;
    pending.request = std::move(request);
    std::unique_lock lock(d.mutex);
    d.queue.push_back(&pending);
    lock.unlock();
    if (wake)
        wake();
    lock.lock();
    d.answered.wait(lock, [&] { return pending.done; });
    return pending.result;
}

void pumpMessageBoxes() {
    Dispatcher& d = dispatcher();
    for (;;) {
        std::unique_lock lock(d.mutex);
        if (d.queue.empty())
            return;
        Pending* pending = d.queue.front();
        d.queue.pop_front();
        MessageBoxPresenter presenter = d.presenter;
        lock.unlock();
        int result = presenter ? presenter(pending->request) : IDOK;
        if (!presenter) {
            std::fprintf(stderr, "%s: %s\n", pending->request.caption.c_str(),
                         pending->request.text.c_str());
        }
        lock.lock();
        pending->result = result;
        pending->done = true;
        d.answered.notify_all();
    }
}

}  // namespace vidora
