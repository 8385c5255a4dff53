#include "app/message_box.h"

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "app/event_sink.h"

namespace vidora {

namespace {

// One request. Shared between its caller and the dispatcher: a caller released early (the
// program quits) may return while the UI thread still shows its box.
struct Pending {
    MessageBoxRequest request;
    bool fromOtherThread = true;
    int result = IDOK;
    bool done = false;
};
using PendingPtr = std::shared_ptr<Pending>;

enum class Closed { No, ForOtherThreads, ForAll };

struct Dispatcher {
    std::mutex mutex;
    std::condition_variable answered;
    MessageBoxPresenter presenter;
    std::function<void()> wakeUi;
    std::thread::id uiThread;
    std::deque<PendingPtr> queue;       // other threads' requests, not shown yet
    std::vector<PendingPtr> showing;    // handed to the presenter, innermost last
    std::vector<OpenMessageBox*> open;  // boxes on the screen, innermost last
    Closed closed = Closed::No;
};

Dispatcher& dispatcher() {
    static Dispatcher d;
    return d;
}

bool refusedLocked(const Dispatcher& d, bool fromOtherThread) {
    return d.closed == Closed::ForAll || (d.closed == Closed::ForOtherThreads && fromOtherThread);
}

// The caller learns the answer; the first answer counts.
void answerLocked(Dispatcher& d, Pending& pending, int result) {
    if (pending.done)
        return;
    pending.result = result;
    pending.done = true;
    d.answered.notify_all();
}

void tellStandardError(const MessageBoxRequest& request) {
    std::fprintf(stderr, "%s%s%s\n", request.caption.c_str(), request.caption.empty() ? "" : ": ",
                 request.text.c_str());
}

// UI thread: shows one request with the presenter and answers it, unless the quit did first.
int present(const MessageBoxPresenter& presenter, const PendingPtr& pending) {
    Dispatcher& d = dispatcher();
    {
        std::lock_guard lock(d.mutex);
        d.showing.push_back(pending);
    }
    const int result = presenter(pending->request);
    std::lock_guard lock(d.mutex);
    d.showing.erase(std::find(d.showing.begin(), d.showing.end(), pending));
    answerLocked(d, *pending, result);
    return pending->result;
}

}  // namespace

int quitAnswer(uint32_t type) {
    switch (type & 0x0F) {
        case MB_OKCANCEL:
            return IDCANCEL;
        case MB_YESNO:
            return IDNO;
        default:
            return IDOK;
    }
}

void setMessageBoxPresenter(MessageBoxPresenter presenter, std::function<void()> wakeUi) {
    Dispatcher& d = dispatcher();
    bool removed = false;
    {
        std::lock_guard lock(d.mutex);
        d.presenter = std::move(presenter);
        d.wakeUi = std::move(wakeUi);
        d.uiThread = d.presenter ? std::this_thread::get_id() : std::thread::id();
        d.closed = Closed::No;
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
    // Every box the user is shown (or, without a screen, is told on standard error) is logged.
    eventSink().messageShown(eventTimeNow(), caption, text);
    Dispatcher& d = dispatcher();
    auto pending = std::make_shared<Pending>();
    pending->request = MessageBoxRequest{text, caption, type};
    std::unique_lock lock(d.mutex);
    const MessageBoxPresenter presenter = d.presenter;
    const std::function<void()> wake = d.wakeUi;
    pending->fromOtherThread = !(presenter && d.uiThread == std::this_thread::get_id());
    if (refusedLocked(d, pending->fromOtherThread)) {
        lock.unlock();
        tellStandardError(pending->request);
        return quitAnswer(type);
    }
    if (!presenter) {
        lock.unlock();
        tellStandardError(pending->request);
        return IDOK;
    }
    if (!pending->fromOtherThread) {
        lock.unlock();
        return present(presenter, pending);
    }

    d.queue.push_back(pending);
    lock.unlock();
    if (wake)
        wake();
    lock.lock();
    d.answered.wait(lock, [&] { return pending->done; });
    return pending->result;
}

void pumpMessageBoxes() {
    Dispatcher& d = dispatcher();
    for (;;) {
        std::unique_lock lock(d.mutex);
        if (d.queue.empty())
            return;
        PendingPtr pending = d.queue.front();
        d.queue.pop_front();
        MessageBoxPresenter presenter = d.presenter;
        if (!presenter) {
            answerLocked(d, *pending, IDOK);
            lock.unlock();
            tellStandardError(pending->request);
            continue;
        }
        lock.unlock();
        present(presenter, pending);
    }
}

void closeMessageBoxes(Quitting how) {
    Dispatcher& d = dispatcher();
    std::vector<std::function<void()>> closers;
    std::vector<MessageBoxRequest> unanswered;
    {
        std::lock_guard lock(d.mutex);
        const Closed now = how == Quitting::Unattended ? Closed::ForAll : Closed::ForOtherThreads;
        d.closed = std::max(d.closed, now);
        for (const PendingPtr& pending : d.queue) {
            unanswered.push_back(pending->request);
            answerLocked(d, *pending, quitAnswer(pending->request.type));
        }
        d.queue.clear();
        for (const PendingPtr& pending : d.showing) {
            if (refusedLocked(d, pending->fromOtherThread))
                answerLocked(d, *pending, quitAnswer(pending->request.type));
        }
        for (OpenMessageBox* box : d.open) {
            if (!box->closed_ && refusedLocked(d, box->forOtherThread_)) {
                box->closed_ = true;
                closers.push_back(box->close_);
            }
        }
    }
    for (const MessageBoxRequest& request : unanswered)
        tellStandardError(request);
    // Innermost first: each box's own loop ends as the stack of boxes unwinds.
    for (auto it = closers.rbegin(); it != closers.rend(); ++it) {
        if (*it)
            (*it)();
    }
}

void reopenMessageBoxes() {
    Dispatcher& d = dispatcher();
    std::lock_guard lock(d.mutex);
    d.closed = Closed::No;
}

OpenMessageBox::OpenMessageBox(std::function<void()> close) : close_(std::move(close)) {
    Dispatcher& d = dispatcher();
    std::lock_guard lock(d.mutex);
    // The box belongs to the request the presenter shows, if any.
    forOtherThread_ = !d.showing.empty() && d.showing.back()->fromOtherThread;
    closed_ = refusedLocked(d, forOtherThread_);
    d.open.push_back(this);
}

OpenMessageBox::~OpenMessageBox() {
    Dispatcher& d = dispatcher();
    std::lock_guard lock(d.mutex);
    d.open.erase(std::find(d.open.begin(), d.open.end(), this));
}

bool OpenMessageBox::closed() const {
    Dispatcher& d = dispatcher();
    std::lock_guard lock(d.mutex);
    return closed_;
}

}  // namespace vidora
