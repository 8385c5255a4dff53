#pragma once
// Starting the programs under test as child processes, as a user, a shell or a desktop would:
// in a folder and an environment of the test's choosing, collecting what they print and how
// they end, and sending them signals.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
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

struct ChildRun {
    std::vector<std::string> args;  // after the program's own name
    std::filesystem::path folder;   // working directory
    // Variables set (a value) or removed (none) on top of the test's own environment.
    std::map<std::string, std::optional<std::string>> environment;
    std::chrono::seconds limit{60};
};

struct ChildResult {
    int status = -1;  // exit code, 128 + signal, or -1 when it had to be killed
    std::string out;
    std::string err;
};

inline std::string readWhole(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// Standard output and error go to files in `scratch` (which the program never sees).
inline ChildResult runChild(const std::string& program, const ChildRun& run,
                            const std::filesystem::path& scratch) {
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        if (!run.environment.count(entry.substr(0, entry.find('='))))
            env.push_back(entry);
    }
    for (const auto& [name, value] : run.environment) {
        if (value)
            env.push_back(name + "=" + *value);
    }
    std::vector<std::string> args = run.args;
    args.insert(args.begin(), program);
    std::vector<char*> argv, envp;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    for (std::string& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);

    const std::string outFile = (scratch / "child.out").string();
    const std::string errFile = (scratch / "child.err").string();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_addopen(&actions, 2, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_addchdir_np(&actions, run.folder.c_str());
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    ChildResult result;
    if (rc != 0)
        return result;
    const auto end = std::chrono::steady_clock::now() + run.limit;
    int status = 0;
    bool ended = false;
    while (!(ended = waitpid(pid, &status, WNOHANG) == pid) &&
           std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    if (!ended) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    } else {
        result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    result.out = readWhole(outFile);
    result.err = readWhole(errFile);
    return result;
}

// Every path below `folder` with its size (0 for folders) and link target, one per line.
inline std::string listing(const std::filesystem::path& folder) {
    std::string lines;
    std::error_code ec;
    for (auto it = std::filesystem::recursive_directory_iterator(folder, ec);
         it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
        const std::filesystem::path& p = it->path();
        lines += std::filesystem::relative(p, folder).string();
        if (it->is_symlink())
            lines += " -> " + std::filesystem::read_symlink(p).string();
        else if (it->is_regular_file())
            lines += " " + std::to_string(it->file_size());
        lines += "\n";
    }
    return lines;
}

}  // namespace vidora::test
