#pragma once
// The receiver's vendor requests: channel select (high bit, then low bit, each sent by a select
// thread of its own) and the status read of the alarm inputs. Owned by the CaptureEngine; the
// select threads run from live start to live stop. Every request goes through
// receiverCommand() under the process-wide receiver command lock, so a status read never
// overlaps a select. A failing or throwing request never blocks a caller.
#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>

#include "platform/auto_reset_event.h"
#include "platform/worker_thread.h"

namespace vidora {

namespace media {
class CaptureGraph;
}

// The three 8-byte request blocks.
std::array<uint8_t, 8> selectHighRequest(int highBit);
std::array<uint8_t, 8> selectLowRequest(int lowBit);
std::array<uint8_t, 8> readStatusRequest();

// What became of a channel selection.
enum class SelectResult {
    Selected,      // both requests reached the receiver
    Failed,        // a request failed: the receiver may still be on the channel it was on
    NoPermission,  // the user may not send requests to the receiver's USB device
    NotRunning,    // the select threads are not running: nothing was sent
};

class ReceiverControl {
  public:
    ReceiverControl();
    ~ReceiverControl();  // ends the select threads
    ReceiverControl(const ReceiverControl&) = delete;
    ReceiverControl& operator=(const ReceiverControl&) = delete;

    // The process-wide lock around every receiver request (innermost of the engine's locks).
    static std::mutex& commandLock();

    // The graph whose device receives the requests; nullptr while there is none. Changing it
    // waits for a request in flight, so a graph can be destroyed once it is detached. A new
    // graph (the receiver arrived again) clears a refused permission.
    void setGraph(media::CaptureGraph* graph);

    // A request was refused for lack of permission on the receiver's USB device since the
    // graph was set. Any thread.
    bool noPermission() const { return noPermission_.load(std::memory_order_relaxed); }

    // Sends one request block to the receiver; 0 = success, anything else = failure (no
    // graph, or the request failed or threw). For a read the data comes back in the block.
    int32_t receiverCommand(uint8_t* block, int32_t length);

    // The status byte (bit 5 clear: sound, bit 4 clear: motion), or nullopt when the read failed.
    std::optional<uint8_t> readStatus();

    // Live start: clears stale events and starts both select threads (above normal priority).
    void startSelectThreads();
    // Live stop: clears both run flags and wakes the high thread; each thread sends its request
    // once more and ends.
    void requestStopSelectThreads();
    void waitSelectThreadsEnded(std::chrono::milliseconds step,
                                const std::function<void()>& whileWaiting);
    bool selectThreadsAlive() const { return high_.alive() || low_.alive(); }

    // Tunes the receiver to channel n (0..3; other values resend the previous bits) and returns
    // when both requests were sent. A selection that failed leaves the bits of the channel
    // before it pending (the stop round resends those). Returns NotRunning without waiting when
    // the select threads are not running.
    SelectResult selectChannel(int channel);

  private:
    void highBody(WorkerThread& self);
    void lowBody(WorkerThread& self);

    media::CaptureGraph* graph_ = nullptr;  // guarded by commandLock()
    std::mutex selectLock_;                 // one selection at a time
    std::atomic<int> pendingHigh_{0};
    std::atomic<int> pendingLow_{0};
    std::atomic<bool> lastRound_{false};  // the high thread's final round is on its way
    // Each select thread's result for the round under way; read after "select done".
    std::atomic<int32_t> highResult_{0};
    std::atomic<int32_t> lowResult_{0};
    std::atomic<bool> noPermission_{false};
    AutoResetEvent highRequest_;
    AutoResetEvent lowRequest_;
    AutoResetEvent selectDone_;
    WorkerThread high_{"select-high"};
    WorkerThread low_{"select-low"};
};

}  // namespace vidora
