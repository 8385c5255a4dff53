// Message boxes of worker threads once the program quits: nobody answers them any more, so their
// callers get the quit answer at once and the workers that the quit waits for can end.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "app/bus.h"
#include "app/message_box.h"

namespace vidora {
namespace {

using namespace std::chrono_literals;

class QuitBoxes : public ::testing::Test {
  protected:
    QuitBoxes() {
        setMessageBoxPresenter(
            [this](const MessageBoxRequest& r) {
                shown.push_back(r.text);
                return whileShown ? whileShown(r) : IDYES;
            },
            [this] { ++queued; });
    }
    ~QuitBoxes() override {
        setMessageBoxPresenter({});
        clearBusRegistries();
    }
    static std::future<int> workerAsks(const char* text, uint32_t type) {
        return std::async(std::launch::async, [=] { return userMessageBox(text, "Vidora", type); });
    }
    // The caller's answer, or -1 when it still waits after 5 s (it is then released, so that a
    // failing test ends).
    static int answerOf(std::future<int>& caller) {
        if (caller.wait_for(5s) == std::future_status::ready)
            return caller.get();
        closeMessageBoxes(Quitting::Unattended);
        caller.get();
        return -1;
    }
    void waitQueued(int n) {
        for (int i = 0; i < 500 && queued < n; ++i)
            std::this_thread::sleep_for(10ms);
        ASSERT_EQ(queued, n);
    }

    std::vector<std::string> shown;
    std::function<int(const MessageBoxRequest&)> whileShown;
    std::atomic<int> queued{0};
};

TEST_F(QuitBoxes, WaitingRequestsGetTheirQuitAnswerAndLaterOnesNeverWait) {
    auto ok = workerAsks("ok", MB_OK), cancel = workerAsks("cancel", MB_OKCANCEL),
         no = workerAsks("no", MB_YESNO | MB_ICONQUESTION);
    waitQueued(3);
    closeMessageBoxes(Quitting::Attended);
    EXPECT_EQ(answerOf(ok), IDOK);
    EXPECT_EQ(answerOf(cancel), IDCANCEL);
    EXPECT_EQ(answerOf(no), IDNO);
    auto late = workerAsks("late", MB_YESNO);
    EXPECT_EQ(answerOf(late), IDNO) << "answered at once";

    // The user closed the window and is there: the UI thread's own boxes are still shown.
    EXPECT_EQ(userMessageBox("Can't save configuration to file.", "Error", MB_OK), IDYES);
    closeMessageBoxes(Quitting::Unattended);
    EXPECT_EQ(userMessageBox("own", "Vidora", MB_OKCANCEL), IDCANCEL);
    EXPECT_EQ(shown, std::vector<std::string>{"Can't save configuration to file."});
    EXPECT_EQ(queued, 3);

    reopenMessageBoxes();
    auto again = workerAsks("again", MB_OK);
    waitQueued(4);
    pumpMessageBoxes();
    EXPECT_EQ(answerOf(again), IDYES);
}

TEST_F(QuitBoxes, AnOpenBoxIsTakenDownAndItsCallerReleasedBeforeItsLoopEnds) {
    std::future<int> worker;
    std::vector<std::string> takenDown;
    whileShown = [&](const MessageBoxRequest& r) {
        OpenMessageBox open([&] { takenDown.push_back(r.text); });
        // The quit arrives while the box's own loop runs.
        closeMessageBoxes(Quitting::Attended);
        if (r.text == "worker") {
            EXPECT_TRUE(open.closed());
            EXPECT_EQ(worker.wait_for(5s), std::future_status::ready) << "released at once";
        } else {
            EXPECT_FALSE(open.closed()) << "the user is there to answer the UI thread's own box";
            closeMessageBoxes(Quitting::Unattended);
            EXPECT_TRUE(open.closed());
        }
        return IDYES;  // what the box says as its loop ends: nobody's answer any more
    };
    worker = workerAsks("worker", MB_YESNO);
    waitQueued(1);
    pumpMessageBoxes();
    EXPECT_EQ(answerOf(worker), IDNO);
    reopenMessageBoxes();
    EXPECT_EQ(userMessageBox("own", "Vidora", MB_OKCANCEL), IDCANCEL);
    EXPECT_EQ(takenDown, (std::vector<std::string>{"worker", "own"}));
}

// A module whose stop waits for its worker, which waits for a box: the quit must not hang.
struct StopRecord {
    bool workerEndedInTime = false;
    int answer = 0;
};

class BoxWaitingModule : public BusModule {
  public:
    explicit BoxWaitingModule(StopRecord& record) : record_(record) {}
    int32_t handleSend(BusMessage&) override { return 0; }
    void handlePost(std::unique_ptr<BusMessage>) override {}
    Result start() override {
        worker_ = std::async(std::launch::async, [] {
            return userMessageBox("Total size of record files have exceeded the limit(1MB).",
                                  "Vidora", MB_OK | MB_ICONINFORMATION);
        });
        return Result::success();
    }
    void stop() override {
        record_.workerEndedInTime = worker_.wait_for(5s) == std::future_status::ready;
        if (!record_.workerEndedInTime)
            pumpMessageBoxes();  // so that a failing test still ends
        record_.answer = worker_.get();
    }

  private:
    StopRecord& record_;
    std::future<int> worker_;
};

TEST_F(QuitBoxes, QuittingReleasesAWorkerThatAStoppingModuleWaitsFor) {
    StopRecord record;
    registerModule(1, [&](int32_t) { return std::make_unique<BoxWaitingModule>(record); });
    bool saved = false;
    ViewerApp::Services services;
    services.saveSettings = [&] { saved = true; };
    ViewerApp app(std::move(services));
    ASSERT_EQ(app.run().reason(), "");
    waitQueued(1);
    sendMessage(APP_QUIT);
    EXPECT_TRUE(record.workerEndedInTime);
    EXPECT_EQ(record.answer, IDOK);
    EXPECT_TRUE(saved);
    EXPECT_TRUE(shown.empty()) << "nobody is shown a box on the way out";
}

}  // namespace
}  // namespace vidora
