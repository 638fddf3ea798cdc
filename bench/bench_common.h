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
#include <functional>
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

// The options a benchmark takes: each --NAME=VALUE, or a bare --NAME for a flag, told with what it
// sets. Parse prints the usage to stderr and returns false on an option it does not know, a value
// that does not read, or a required option left out; --help prints it to stdout and exits.
class Options final {
public:
    explicit Options(std::string usage) : m_usage(std::move(usage)) {}

    // Reads the value; false when it does not read.
    Options& Value(std::string name, std::function<bool(std::string_view)> read, bool required = false) {
        m_options.push_back({"--" + std::move(name) + "=", std::move(read), required, false});
        return *this;
    }
    Options& Flag(std::string name, bool& into, bool value = true) {
        m_options.push_back({"--" + std::move(name),
                             [&into, value](std::string_view) {
                                 into = value;
                                 return true;
                             },
                             false, false});
        return *this;
    }
    // "10000,100000": sorted positive numbers.
    Options& Sizes(std::string name, std::vector<std::int64_t>& into) {
        return Value(std::move(name), [&into](std::string_view text) {
            into = ParseSizes(text);
            return !into.empty();
        });
    }
    Options& Number(std::string name, std::int64_t& into, std::int64_t least = 1) {
        return Value(std::move(name), [&into, least](std::string_view text) {
            into = std::atoll(std::string(text).c_str());
            return into >= least;
        });
    }
    Options& Number(std::string name, int& into, int least = 1) {
        return Value(std::move(name), [&into, least](std::string_view text) {
            into = std::atoi(std::string(text).c_str());
            return into >= least;
        });
    }
    Options& Number(std::string name, double& into) {
        return Value(std::move(name), [&into](std::string_view text) {
            into = std::atof(std::string(text).c_str());
            return into > 0;
        });
    }
    Options& Text(std::string name, std::string& into, bool required = false) {
        return Value(
            std::move(name),
            [&into](std::string_view text) {
                into = text;
                return !into.empty();
            },
            required);
    }
    // An existing folder.
    Options& Folder(std::string name, std::filesystem::path& into, bool required = true) {
        return Value(
            std::move(name),
            [&into](std::string_view text) {
                into = std::string(text);
                return std::filesystem::is_directory(into);
            },
            required);
    }

    bool Parse(int argc, char** argv) {
        for (int i = 1; i < argc; ++i) {
            const std::string_view arg = argv[i];
            if (arg == "--help" || arg == "-h") {
                std::printf("usage: %s\n", m_usage.c_str());
                std::exit(0);
            }
            Option* known = nullptr;
            for (Option& option : m_options) {
                const bool isValue = option.name.ends_with('=');
                if (isValue ? arg.starts_with(option.name) : arg == option.name) {
                    known = &option;
                    break;
                }
            }
            if (known == nullptr || !known->read(arg.substr(known->name.size()))) {
                return Usage("not understood: " + std::string(arg));
            }
            known->seen = true;
        }
        for (const Option& option : m_options) {
            if (option.required && !option.seen) {
                return Usage("missing: " + option.name + "...");
            }
        }
        return true;
    }

private:
    struct Option {
        std::string name;
        std::function<bool(std::string_view)> read;
        bool required;
        bool seen;
    };
    bool Usage(const std::string& what) const {
        std::fprintf(stderr, "%s\nusage: %s\n", what.c_str(), m_usage.c_str());
        return false;
    }

    std::string m_usage;
    std::vector<Option> m_options;
};

// The options of the benchmarks that measure several catalog sizes.
struct SizedRunOptions {
    std::vector<std::int64_t> sizes; // the defaults until --sizes= replaces them
    int repeats = 5;
    std::filesystem::path workDir; // an existing folder for the samples
    bool keep = false;             // the samples stay (bench/with_work_dir.sh keeps the folder)
};

// --sizes=, --repeats= and the required --work-dir= into `options`, and whatever else `more`
// adds, under `usage`.
inline bool ParseSizedRunOptions(int argc, char** argv, SizedRunOptions& options, const char* usage,
                                 const std::function<void(Options&)>& more = {}) {
    Options parser(usage);
    parser.Sizes("sizes", options.sizes)
        .Number("repeats", options.repeats)
        .Folder("work-dir", options.workDir)
        .Flag("keep", options.keep);
    if (more) {
        more(parser);
    }
    return parser.Parse(argc, argv);
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
