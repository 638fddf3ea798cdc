#pragma once

// Small pieces the benchmarks share.

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <string>
#include <string_view>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace mwdx::bench {

// Runs both measurements of a round, the order alternating from round to round so that a busy
// spell of the machine falls on both alike.
template <class A, class B> void InTurn(int round, const A& a, const B& b) {
    if (round % 2 == 0) {
        a();
        b();
    } else {
        b();
        a();
    }
}

// "10000,100000" as sorted positive numbers; empty when any entry is not one.
inline std::vector<std::int64_t> ParseSizes(std::string_view text) {
    std::vector<std::int64_t> sizes;
    std::string list(text);
    for (char* token = std::strtok(list.data(), ","); token != nullptr; token = std::strtok(nullptr, ",")) {
        const long long value = std::atoll(token);
        if (value <= 0) {
            return {};
        }
        sizes.push_back(value);
    }
    std::sort(sizes.begin(), sizes.end());
    return sizes;
}

// The options of the benchmarks that measure several catalog sizes.
struct SizedRunOptions {
    std::vector<std::int64_t> sizes; // the defaults until --sizes= replaces them
    int repeats = 5;
    std::filesystem::path workDir; // an existing folder for the samples
};

// Reads --sizes=, --repeats= and --work-dir= into `options`. On anything else, or without an
// existing work folder, prints `usage` to stderr and returns false.
inline bool ParseSizedRunOptions(int argc, char** argv, SizedRunOptions& options, const char* usage) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg.starts_with("--sizes=")) {
            options.sizes = ParseSizes(arg.substr(8));
        } else if (arg.starts_with("--repeats=")) {
            options.repeats = std::max(1, std::atoi(argv[i] + 10));
        } else if (arg.starts_with("--work-dir=")) {
            options.workDir = std::string(arg.substr(11));
        } else {
            options.sizes.clear();
        }
        if (options.sizes.empty()) {
            break;
        }
    }
    if (options.sizes.empty() || options.workDir.empty() || !std::filesystem::is_directory(options.workDir)) {
        std::fprintf(stderr, "usage: %s\n", usage);
        return false;
    }
    return true;
}

// Runs a tool found on PATH and waits for it: true when it ran and exited with 0.
inline bool RunTool(std::vector<std::string> args) {
    std::vector<char*> argv;
    for (std::string& arg : args) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    pid_t pid = 0;
    int status = 0;
    return ::posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) == 0 &&
           ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Starts this program again (/proc/self/exe) with `args` (the first is its name), its standard
// output a new pipe whose read end is put in *readEnd. The child's pid; -1 with the reason in
// *error when it could not be started.
inline pid_t SpawnSelf(std::vector<std::string> args, int* readEnd, std::string* error) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        *error = std::string("pipe: ") + std::strerror(errno);
        return -1;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    std::vector<char*> argv;
    for (std::string& arg : args) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    std::fflush(stdout);
    pid_t pid = 0;
    const int spawned = ::posix_spawn(&pid, "/proc/self/exe", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    if (spawned != 0) {
        ::close(fds[0]);
        *error = std::string("posix_spawn: ") + std::strerror(spawned);
        return -1;
    }
    *readEnd = fds[0];
    return pid;
}

// The resident memory (VmRSS) of process `pid` (0: this one) in MB; 0 when it cannot be read.
inline double ResidentMb(pid_t pid = 0) {
    std::ifstream status(pid == 0 ? std::string("/proc/self/status") : "/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.starts_with("VmRSS:")) {
            return std::atof(line.c_str() + 6) / 1024.0;
        }
    }
    return 0;
}

// "100", "100k", "1M": a row count as the tables print it.
inline std::string SizeLabel(std::int64_t rows) {
    if (rows >= 1000000 && rows % 1000000 == 0) {
        return std::to_string(rows / 1000000) + "M";
    }
    if (rows >= 1000 && rows % 1000 == 0) {
        return std::to_string(rows / 1000) + "k";
    }
    return std::to_string(rows);
}

// The smallest of the figures: the run least disturbed by the rest of the machine.
inline double BestOf(const std::vector<double>& values) {
    return *std::min_element(values.begin(), values.end());
}

inline double MedianOf(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

} // namespace mwdx::bench
