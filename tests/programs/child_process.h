#pragma once
// Runs a program as a user would from a shell: in a folder of its own, with an environment of
// the test's choosing, and collects its exit status and what it printed.
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

extern char** environ;

namespace vidora::test {

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
