#pragma once
// Starting the programs under test as child processes of a test, as a user or a desktop would,
// and watching them end.
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <fcntl.h>
#include <chrono>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace vidora::test {

// Starts `program` in the current folder with `args`; its standard output goes to `outFile`
// (or nowhere), its standard error is appended to demo.stderr.
inline pid_t startProgram(const char* program, std::vector<std::string> args = {},
                          const char* outFile = "/dev/null") {
    args.insert(args.begin(), program);
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outFile, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, "demo.stderr", O_WRONLY | O_CREAT | O_APPEND,
                                     0644);
    int rc = posix_spawn(&pid, program, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return rc == 0 ? pid : -1;
}

template <class Pred>
bool waitFor(Pred pred, std::chrono::milliseconds limit,
             std::chrono::milliseconds step = std::chrono::milliseconds(50)) {
    auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        if (pred())
            return true;
        std::this_thread::sleep_for(step);
    }
    return pred();
}

// Exit status once the process has ended (128 + the signal when a signal ended it), or -1 when
// it is still running after `limit`.
inline int waitExit(pid_t pid, std::chrono::milliseconds limit) {
    int status = 0;
    bool ended = waitFor([&] { return waitpid(pid, &status, WNOHANG) == pid; }, limit,
                         std::chrono::milliseconds(10));
    if (!ended)
        return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// True once the process catches `signal`: the programs catch SIGTERM, SIGINT and SIGHUP from
// the start of their start-up, and end in order on them.
inline bool catchesSignal(pid_t pid, int signal) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("SigCgt:", 0) == 0)
            return (std::stoull(line.substr(7), nullptr, 16) >> (signal - 1)) & 1;
    }
    return false;
}

// Kills a child that a failed assertion left running (it would hold the single-instance guard).
struct KillAtEnd {
    pid_t pid;
    ~KillAtEnd() {
        if (pid > 0 && waitpid(pid, nullptr, WNOHANG) == 0) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
    }
};

}  // namespace vidora::test
