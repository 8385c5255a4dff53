#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "app/message_box.h"
#include "platform/auto_reset_event.h"
#include "platform/clock.h"
#include "platform/instance_guard.h"
#include "platform/le_bytes.h"
#include "platform/result.h"
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
    EXPECT_EQ(second.acquire(), InstanceGuard::Claim::AlreadyRunning);
    // The first instance is killed outright: the kernel frees the name anyway.
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    EXPECT_EQ(second.acquire(), InstanceGuard::Claim::Acquired);
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

// The stored formats put the least significant byte first on any machine; a RIFF chunk header
// built with the writer reads back as the file formats' own readers see it.
TEST(LeBytesTest, FieldsAndFourCharacterCodesAreStoredLowByteFirst) {
    static_assert(fourcc("RIFF") == 0x46464952u);
    static_assert(fourcc("00dc") == 0x63643030u);

    std::vector<uint8_t> out;
    LeBytes b(out);
    b.u32(fourcc("LIST"));
    const std::size_t size = b.placeholder32();
    b.u32(fourcc("strl"));
    b.u16(0xBEEF);
    b.u8(0x7F);
    const uint8_t tail[] = {1, 2, 3};
    b.bytes(tail);
    b.patch32(size, static_cast<uint32_t>(b.size() - size - 4));
    EXPECT_EQ(out, (std::vector<uint8_t>{'L', 'I', 'S', 'T', 10, 0, 0, 0, 's', 't', 'r', 'l', 0xEF,
                                         0xBE, 0x7F, 1, 2, 3}));
    EXPECT_EQ(readLe32(out, 4), 10u);
    EXPECT_EQ(readLe16(out, 12), 0xBEEF);
    EXPECT_EQ(readLe32(out, 0), fourcc("LIST"));

    uint8_t field[6] = {0xAA, 0, 0, 0, 0, 0xAA};
    putLe32(field + 1, 0x12345678u);
    EXPECT_EQ(std::vector<uint8_t>(field, field + 6),
              (std::vector<uint8_t>{0xAA, 0x78, 0x56, 0x34, 0x12, 0xAA}));
    putLe16(field + 1, 0xFFFE);
    EXPECT_EQ(readLe32(field, 1), 0x1234FFFEu);
    // Bytes with the high bit set stay unsigned on the way back.
    EXPECT_EQ(readLe32(std::vector<uint8_t>{0xFF, 0xFF, 0xFF, 0xFF}, 0), 0xFFFFFFFFu);
}

TEST(ResultTest, AFailureKeepsItsReasonAndSuccessHasNone) {
    const Result done;
    EXPECT_TRUE(done.ok());
    EXPECT_TRUE(static_cast<bool>(done));
    EXPECT_EQ(done.reason(), "");
    const Result failed = Failure{"cannot create the file", 28};
    EXPECT_FALSE(failed.ok());
    EXPECT_FALSE(static_cast<bool>(failed));
    EXPECT_EQ(failed.reason(), "cannot create the file");
    EXPECT_EQ(failed.failure().systemError, 28);
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
