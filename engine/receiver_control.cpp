#include "engine/receiver_control.h"

#include <exception>

#include "app/settings.h"
#include "platform/log/log.h"
#include "platform/media/capture_graph.h"
#include "platform/relaxed.h"

namespace vidora {

std::array<uint8_t, 8> selectHighRequest(int highBit) {
    return {0x40, 0x03, 0x02, 0x01, static_cast<uint8_t>(highBit & 1), 0x00, 0x00, 0x00};
}
std::array<uint8_t, 8> selectLowRequest(int lowBit) {
    return {0x40, 0x03, 0x03, 0x01, static_cast<uint8_t>(lowBit & 1), 0x00, 0x00, 0x00};
}
std::array<uint8_t, 8> readStatusRequest() {
    return {0xC0, 0x03, 0x00, 0x03, 0x00, 0x00, 0x01, 0x00};
}

ReceiverControl::ReceiverControl() = default;

ReceiverControl::~ReceiverControl() {
    requestStopSelectThreads();
    waitSelectThreadsEnded(std::chrono::milliseconds(5), {});
}

std::mutex& ReceiverControl::commandLock() {
    static std::mutex lock;
    return lock;
}

void ReceiverControl::setGraph(media::CaptureGraph* graph) {
    std::lock_guard lock(commandLock());
    if (graph != graph_)
        noPermission_.store(false, std::memory_order_relaxed);
    graph_ = graph;
}

int32_t ReceiverControl::receiverCommand(uint8_t* block, int32_t length) {
    std::lock_guard lock(commandLock());
    if (!graph_)
        return -1;
    try {
        int32_t len = length;
        const int32_t result = graph_->vendorCmdRW(block, &len);
        if (result == media::kVendorNoPermission)
            noPermission_.store(true, std::memory_order_relaxed);
        return result;
    } catch (const std::exception& error) {
        // A select must never wait on a failed request: it fails, and the log says why.
        qCWarning(log::engine) << "receiver request failed:" << error.what();
        return -1;
    }
}

std::optional<uint8_t> ReceiverControl::readStatus() {
    auto block = readStatusRequest();
    if (receiverCommand(block.data(), static_cast<int32_t>(block.size())) != 0)
        return std::nullopt;
    return block[0];
}

void ReceiverControl::startSelectThreads() {
    // A stop leaves "select done" signalled by the last round; without the reset the first
    // selection after a restart would return before anything was sent.
    highRequest_.reset();
    lowRequest_.reset();
    selectDone_.reset();
    lastRound_.store(false);
    high_.start([this](WorkerThread& self) { highBody(self); }, true);
    low_.start([this](WorkerThread& self) { lowBody(self); }, true);
}

void ReceiverControl::requestStopSelectThreads() {
    high_.requestStop();
    low_.requestStop();
    highRequest_.set();
}

void ReceiverControl::waitSelectThreadsEnded(std::chrono::milliseconds step,
                                             const std::function<void()>& whileWaiting) {
    high_.waitEnded(step, whileWaiting);
    low_.waitEnded(step, whileWaiting);
}

// Each thread waits before it looks at its run flag: the stop request always arrives as one last
// round (high request, then low request), so neither thread can be left waiting for a signal
// that its partner, already gone, would never give.
void ReceiverControl::highBody(WorkerThread& self) {
    for (;;) {
        highRequest_.wait();
        const bool last = !self.running();
        auto block = selectHighRequest(pendingHigh_.load(std::memory_order_relaxed));
        highResult_.store(receiverCommand(block.data(), static_cast<int32_t>(block.size())),
                          std::memory_order_relaxed);
        if (last)
            lastRound_.store(true, std::memory_order_release);
        lowRequest_.set();
        if (last)
            return;
    }
}

void ReceiverControl::lowBody(WorkerThread&) {
    for (;;) {
        lowRequest_.wait();
        const bool last = lastRound_.exchange(false, std::memory_order_acq_rel);
        auto block = selectLowRequest(pendingLow_.load(std::memory_order_relaxed));
        lowResult_.store(receiverCommand(block.data(), static_cast<int32_t>(block.size())),
                         std::memory_order_relaxed);
        storeRelaxed(gState.motionAlarmActive, 0);
        storeRelaxed(gState.soundAlarmActive, 0);
        storeRelaxed(gState.lastAlarmTick, 0);
        selectDone_.set();
        if (last)
            return;
    }
}

SelectResult ReceiverControl::selectChannel(int channel) {
    std::lock_guard lock(selectLock_);
    const int previousHigh = pendingHigh_.load(std::memory_order_relaxed);
    const int previousLow = pendingLow_.load(std::memory_order_relaxed);
    if (channel >= 0 && channel <= 3) {
        pendingHigh_.store((channel >> 1) & 1, std::memory_order_relaxed);
        pendingLow_.store(channel & 1, std::memory_order_relaxed);
    }
    if (!high_.running() || !low_.running())
        return SelectResult::NotRunning;
    highRequest_.set();
    // The select threads always signal, whatever the receiver answered; the periodic check only
    // guards against threads that were stopped while this selection was on its way.
    while (!selectDone_.waitFor(std::chrono::milliseconds(100))) {
        if (!high_.alive() || !low_.alive())
            return SelectResult::NotRunning;
    }
    // "select done" orders the threads' results before these reads.
    const int32_t high = highResult_.load(std::memory_order_relaxed);
    const int32_t low = lowResult_.load(std::memory_order_relaxed);
    if (high == 0 && low == 0)
        return SelectResult::Selected;
    pendingHigh_.store(previousHigh, std::memory_order_relaxed);
    pendingLow_.store(previousLow, std::memory_order_relaxed);
    if (high == media::kVendorNoPermission || low == media::kVendorNoPermission)
        return SelectResult::NoPermission;
    return SelectResult::Failed;
}

}  // namespace vidora
