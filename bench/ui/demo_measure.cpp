// vidora-demo with a stopwatch: the whole viewer on the simulated receiver, live for a warm-up
// and then a measured window, after which it prints how many pictures reached the presenter and
// how many the GUI painted, per second, the capture-to-screen latency of the painted pictures
// (from a picture's entry into the video transfer to the end of its paint: median, 99th
// percentile, maximum), the process's CPU time per second, and the time from the process's
// start to its first painted picture; then it closes its main window. Run by
// scripts/measure-demo.sh.
//   vidora-demo-measure [seconds] [single|quad] [record]
// seconds: the measured window (default 30; the warm-up is 3 s). "record": records at
// 720x576, 25 pictures per second, with motion and sound alarms armed and polled.
#include <unistd.h>

#include <QApplication>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "app/bus.h"
#include "app/settings.h"
#include "platform/relaxed.h"
#include "programs/program.h"
#include "ui/monitor_panel.h"
#include "ui/skin_window.h"
#include "ui/ui_module.h"

namespace {

// Fields of /proc/self/stat after the command name (which ends at the last ')'); field 3 is
// the state.
bool statFields(unsigned long& utime, unsigned long& stime, unsigned long long& startTicks) {
    FILE* f = std::fopen("/proc/self/stat", "r");
    if (!f)
        return false;
    char line[1024] = {};
    const size_t n = std::fread(line, 1, sizeof line - 1, f);
    std::fclose(f);
    line[n] = '\0';
    const char* p = std::strrchr(line, ')');
    if (!p)
        return false;
    // utime is field 14, stime 15, starttime 22.
    return std::sscanf(p + 2,
                       "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %lu %lu %*d %*d %*d %*d %*d "
                       "%*d %llu",
                       &utime, &stime, &startTicks) == 3;
}

// User and system time of the whole process (all threads).
double cpuSeconds() {
    unsigned long utime = 0, stime = 0;
    unsigned long long start = 0;
    if (!statFields(utime, stime, start))
        return 0;
    return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// Seconds since the process started (the kernel's start time, in clock ticks since boot).
double secondsSinceProcessStart() {
    unsigned long utime = 0, stime = 0;
    unsigned long long start = 0;
    timespec boot{};
    if (!statFields(utime, stime, start) || clock_gettime(CLOCK_BOOTTIME, &boot) != 0)
        return -1;
    const double now = static_cast<double>(boot.tv_sec) + boot.tv_nsec / 1e9;
    return now - static_cast<double>(start) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

vidora::LivePresenter* presenter() {
    vidora::MonitorPanel* panel = vidora::UiModule::obtain().monitorPanel();
    return panel ? &panel->presenter() : nullptr;
}

struct Sample {
    std::chrono::steady_clock::time_point at;
    double cpu = 0;
    uint64_t received = 0;
    uint64_t presented = 0;
};

Sample sample() {
    Sample s;
    s.at = std::chrono::steady_clock::now();
    s.cpu = cpuSeconds();
    if (vidora::LivePresenter* p = presenter()) {
        s.received = p->picturesReceived();
        s.presented = p->picturesPresented();
    }
    return s;
}

double percentile(std::vector<uint32_t> values, double share) {
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const std::size_t index =
        std::min(values.size() - 1, static_cast<std::size_t>(share * (values.size() - 1) + 0.5));
    return values[index] / 1000.0;
}

struct Options {
    int seconds = 30;
    bool quad = true;
    bool record = false;
};

}  // namespace

int main(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "single")
            options.quad = false;
        else if (arg == "quad")
            options.quad = true;
        else if (arg == "record")
            options.record = true;
        else
            options.seconds = std::max(1, std::atoi(argv[i]));
    }
    auto first = std::make_shared<Sample>();
    auto startup = std::make_shared<double>(-1);
    vidora::ProgramHooks hooks;
    hooks.afterSettingsLoaded = [options] {
        using namespace vidora;
        storeRelaxed(gState.quadLayout, options.quad ? 1 : 0);
        storeRelaxed(gState.autoCycleOn, 0);
        if (options.record) {
            storeRelaxed(gConfig.recordImageSize, 1);  // 720 x 576
            storeRelaxed(gConfig.recordFps, 25);
            storeRelaxed(gState.motionAlarmOn, 1);
            storeRelaxed(gState.soundAlarmOn, 1);
            for (int c = 0; c < 4; ++c) {
                storeRelaxed(gConfig.motionAlarmChannel[c], 1);
                storeRelaxed(gConfig.soundAlarmChannel[c], 1);
            }
        }
    };
    hooks.whenRunning = [first, startup, options](QWidget*) {
        // The first painted picture, looked for every 2 ms.
        auto* poll = new QTimer(qApp);
        QObject::connect(poll, &QTimer::timeout, qApp, [poll, startup] {
            vidora::LivePresenter* p = presenter();
            if (p && p->picturesPresented() > 0) {
                *startup = secondsSinceProcessStart();
                poll->stop();
                poll->deleteLater();
            }
        });
        poll->start(2);
        QTimer::singleShot(3000, Qt::PreciseTimer, qApp, [first, startup, options] {
            if (options.record)
                vidora::sendMessage(vidora::ENG_RECORD_START);
            if (vidora::LivePresenter* p = presenter())
                p->keepLatencies(true);
            *first = sample();
            QTimer::singleShot(
                options.seconds * 1000, Qt::PreciseTimer, qApp, [first, startup, options] {
                    const Sample last = sample();
                    const double span = std::chrono::duration<double>(last.at - first->at).count();
                    std::vector<uint32_t> latencies;
                    if (vidora::LivePresenter* p = presenter())
                        latencies = p->latenciesUs();
                    std::printf("measured %.1f s in %s layout, live%s\n", span,
                                options.quad ? "quad" : "single",
                                options.record ? ", recording 720x576 at 25/s, alarms polled" : "");
                    std::printf("pictures received by the presenter: %.2f per second\n",
                                (last.received - first->received) / span);
                    std::printf("pictures presented (painted):       %.2f per second\n",
                                (last.presented - first->presented) / span);
                    std::printf(
                        "capture-to-screen latency:          median %.1f ms, p99 %.1f ms, "
                        "max %.1f ms (%zu pictures)\n",
                        percentile(latencies, 0.5), percentile(latencies, 0.99),
                        percentile(latencies, 1.0), latencies.size());
                    std::printf("CPU time of the process:            %.1f %% of one core\n",
                                100.0 * (last.cpu - first->cpu) / span);
                    std::printf("process start to first picture:    %.0f ms\n", *startup * 1000);
                    std::printf("recording was on:                   %s\n",
                                vidora::loadRelaxed(vidora::gState.recordingOn) ? "yes" : "no");
                    std::fflush(stdout);
                    if (options.record)
                        vidora::sendMessage(vidora::ENG_RECORD_STOP);
                    if (const vidora::WindowHandle main =
                            vidora::UiModule::obtain().mainWindowHandle())
                        vidora::routeWindowMessage(main, vidora::WM_CLOSE, 0, 0);
                });
        });
    };
    // The options are ours; the program entry sees no arguments.
    int programArgc = 1;
    return vidora::runProgram(programArgc, argv, vidora::ReceiverKind::Simulated, &hooks);
}
