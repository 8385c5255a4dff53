// vidora-demo with a stopwatch: the whole viewer on the simulated receiver in quad layout, live
// for a warm-up and then a measured window, after which it prints how many pictures reached the
// presenter and how many the GUI painted, per second, and the process's CPU time per second,
// and closes its main window. Run by scripts/measure-demo.sh.
//   vidora-demo-measure [seconds]   (default 30; the warm-up is 3 s)
#include <unistd.h>

#include <QApplication>
#include <QTimer>
#include <QWidget>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "app/settings.h"
#include "platform/relaxed.h"
#include "programs/program.h"
#include "ui/monitor_panel.h"
#include "ui/skin_window.h"
#include "ui/ui_module.h"

namespace {

// User and system time of the whole process (all threads), from /proc.
double cpuSeconds() {
    FILE* f = std::fopen("/proc/self/stat", "r");
    if (!f)
        return 0;
    char line[1024] = {};
    const size_t n = std::fread(line, 1, sizeof line - 1, f);
    std::fclose(f);
    line[n] = '\0';
    // Fields after the command name, which ends at the last ')': state is field 3, utime 14,
    // stime 15.
    const char* p = std::strrchr(line, ')');
    if (!p)
        return 0;
    unsigned long utime = 0, stime = 0;
    std::sscanf(p + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %lu %lu", &utime, &stime);
    return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
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
    if (vidora::MonitorPanel* panel = vidora::UiModule::obtain().monitorPanel()) {
        s.received = panel->presenter().picturesReceived();
        s.presented = panel->presenter().picturesPresented();
    }
    return s;
}

}  // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 30;
    auto first = std::make_shared<Sample>();
    vidora::ProgramHooks hooks;
    hooks.afterSettingsLoaded = [] {
        vidora::storeRelaxed(vidora::gState.quadLayout, 1);
        vidora::storeRelaxed(vidora::gState.autoCycleOn, 0);
    };
    hooks.whenRunning = [first, seconds](QWidget*) {
        QTimer::singleShot(3000, Qt::PreciseTimer, qApp, [first, seconds] {
            *first = sample();
            QTimer::singleShot(seconds * 1000, Qt::PreciseTimer, qApp, [first] {
                const Sample last = sample();
                const double span = std::chrono::duration<double>(last.at - first->at).count();
                std::printf("measured %.1f s in quad layout, live\n", span);
                std::printf("pictures received by the presenter: %.2f per second\n",
                            (last.received - first->received) / span);
                std::printf("pictures presented (painted):       %.2f per second\n",
                            (last.presented - first->presented) / span);
                std::printf("CPU time of the process:            %.1f %% of one core\n",
                            100.0 * (last.cpu - first->cpu) / span);
                std::fflush(stdout);
                if (const vidora::WindowHandle main = vidora::UiModule::obtain().mainWindowHandle())
                    vidora::routeWindowMessage(main, vidora::WM_CLOSE, 0, 0);
            });
        });
    };
    // The seconds are ours; the program entry sees no arguments.
    int programArgc = 1;
    return vidora::runProgram(programArgc, argv, vidora::ReceiverKind::Simulated, &hooks);
}
