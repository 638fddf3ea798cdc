#pragma once

// Small pieces the benchmarks share.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <spawn.h>
#include <string>
#include <string_view>
#include <sys/wait.h>
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
