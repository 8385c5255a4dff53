#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "app/message_box.h"
#include "platform/auto_reset_event.h"
#include "platform/clock.h"
#include "platform/instance_guard.h"
#include "platform/worker_thread.h"

using namespace vidora;

TEST(InstanceGuardTest, ASecondProcessIsRefusedUntilTheFirstEnds) {
    // The first instance is a real process of its own.
    int toChild[2], fromChild[2];
    ASSERT_EQ(pipe2(toChild, O_CLOEXEC), 0);
    ASSERT_EQ(pipe2(fromChild, O_CLOEXEC), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, toChild[0], 0);
    posix_spawn_file_actions_adddup2(&actions, fromChild[1], 1);
    char arg0[] = "guard_holder";
    char arg1[] = "VidoraMutex-test";
    char* argv[] = {arg0, arg1, nullptr};
    pid_t child = 0;
    ASSERT_EQ(posix_spawn(&child, GUARD_HOLDER_PATH, &actions, nullptr, argv, environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    close(toChild[0]);
    close(fromChild[1]);
    char held = 0;
    ASSERT_EQ(read(fromChild[0], &held, 1), 1);
    ASSERT_EQ(held, '1');

    InstanceGuard second("VidoraMutex-test");
    EXPECT_EQ(second.acquire(), InstanceGuard::AlreadyRunning);
    // The first instance is killed outright: the kernel frees the name anyway.
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    EXPECT_EQ(second.acquire(), InstanceGuard::Acquired);
    close(toChild[1]);
    close(fromChild[0]);
}

TEST(ClockTest, ManualClockMovesOnlyWhenTold) {
    ManualClock clock(1796558400);  // 2026-12-06 12:00:00 UTC
    uint32_t t0 = clock.tickCount();
    clock.sleepMs(1500);
    EXPECT_EQ(clock.tickCount() - t0, 1500u);
    EXPECT_EQ(clock.calendarSeconds(), 1796558401);
    SystemTime st = clock.localTime();  // tests run with TZ=UTC
    EXPECT_EQ(st.year, 2026);
    EXPECT_EQ(st.month, 12);
    EXPECT_EQ(st.day, 6);
    EXPECT_EQ(st.dayOfWeek, 0);  // a Sunday
    EXPECT_EQ(st.hour, 12);
    EXPECT_EQ(st.second, 1);
    EXPECT_EQ(st.milliseconds, 500);
    clock.setCalendar(1796601600);  // next midnight; ticks keep running
    EXPECT_EQ(clock.localTime().day, 7);
    EXPECT_EQ(clock.tickCount() - t0, 1500u);
}

TEST(WorkerThreadTest, StopWakesASleepingBodyAndClearsAlive) {
    WorkerThread worker("test-worker");
    std::atomic<int> ticks{0};
    ASSERT_TRUE(
        worker.start([&](WorkerThread& self) { runPeriodic(self, 10000, [&] { ++ticks; }); }));
    while (ticks.load() == 0)
        std::this_thread::yield();
    EXPECT_TRUE(worker.alive());
    EXPECT_FALSE(worker.start([](WorkerThread&) {})) << "one thread at a time";
    auto before = std::chrono::steady_clock::now();
    worker.stop(std::chrono::milliseconds(5));
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(5));
    EXPECT_FALSE(worker.alive());
    EXPECT_EQ(ticks.load(), 1);
}

TEST(AutoResetEventTest, WakesOneWaitAndResets) {
    AutoResetEvent event;
    EXPECT_FALSE(event.waitFor(std::chrono::milliseconds(1)));
    event.set();
    EXPECT_TRUE(event.waitFor(std::chrono::milliseconds(1)));
    EXPECT_FALSE(event.waitFor(std::chrono::milliseconds(1))) << "reset itself";
}

TEST(MessageBoxTest, AWorkerBlockedInABoxNeverDeadlocksTheUiThreadWaitingForIt) {
    std::vector<std::string> shown;
    setMessageBoxPresenter([&](const MessageBoxRequest& r) {
        shown.push_back(r.caption + "|" + r.text);
        return IDYES;
    });
    ASSERT_TRUE(onUiThread());
    WorkerThread worker("boxer");
    std::atomic<int> answer{0};
    worker.start([&](WorkerThread&) {
        answer = userMessageBox("USB Receiver was unpluged from your computer,please reconnect it.",
                                "", MB_OK);
    });
    // The UI thread waits for the worker and keeps pumping boxes meanwhile.
    worker.waitEnded(std::chrono::milliseconds(5), [] { pumpMessageBoxes(); });
    EXPECT_EQ(answer.load(), IDYES);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0], "|USB Receiver was unpluged from your computer,please reconnect it.");
    // On the UI thread itself the box is shown at once.
    EXPECT_EQ(userMessageBox("x", "Vidora", MB_OK), IDYES);
    setMessageBoxPresenter({});
    EXPECT_EQ(userMessageBox("no presenter", "Error", MB_OK), IDOK);
}
