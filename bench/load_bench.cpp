// Start-up load benchmark: how long the program takes to turn FILE_NODE into the catalog tree,
// against plain SQLite reading the same rows with the same query in the same run, and how much
// memory a million-node tree costs. Prints figures and ratios; never passes or fails on speed.
//
// A plain main rather than Google Benchmark: the two measurements are interleaved repetition by
// repetition so that drift on a shared machine hits both alike, the figures that matter are
// ratios between them, and peak memory needs a separate child process per measurement.

#include "bench_common.h"
#include "catalog/loader.h"
#include "catalog/model.h"
#include "sample_catalog.h"
#include "store/connection.h"
#include "store/settings.h"
#include "store/statements.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sqlite3.h>
#include <string>
#include <string_view>
#include <sys/resource.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using mwdx::bench::BestOf;
using mwdx::bench::InTurn;
using mwdx::bench::MedianOf;
using mwdx::bench::Shape;
using mwdx::bench::SizeLabel;
using Clock = std::chrono::steady_clock;

constexpr double kTargetRatioAt100k = 2.5;
constexpr double kTargetScaling = 12.0;
constexpr double kTargetPeakMb = 1000.0; // 1 GB

// The folder holding the sample stores; removed on every way out that we control.
std::filesystem::path g_workDir;
bool g_ownsWorkDir = false;

void RemoveWorkDir() {
    if (!g_workDir.empty()) {
        std::error_code ignored;
        if (g_ownsWorkDir) {
            std::filesystem::remove_all(g_workDir, ignored);
        } else {
            // A folder given to us: remove only what we put there.
            for (const auto& entry : std::filesystem::directory_iterator(g_workDir, ignored)) {
                if (entry.path().filename().string().rfind("sample-", 0) == 0) {
                    std::filesystem::remove(entry.path(), ignored);
                }
            }
        }
        g_workDir.clear();
    }
}

// Files to remove when a signal ends the run, as plain C strings: the handler may only unlink.
constexpr int kMaxCleanupFiles = 64;
char g_cleanupFiles[kMaxCleanupFiles][1024];
volatile std::sig_atomic_t g_cleanupCount = 0;
char g_cleanupDir[1024]; // empty unless the folder is ours

void RemoveOnSignal(const std::string& path) {
    if (g_cleanupCount < kMaxCleanupFiles && path.size() < sizeof g_cleanupFiles[0]) {
        std::memcpy(g_cleanupFiles[g_cleanupCount], path.c_str(), path.size() + 1);
        g_cleanupCount = g_cleanupCount + 1;
    }
}

extern "C" void CleanUpAndDie(int signal) {
    for (int i = 0; i < g_cleanupCount; ++i) {
        ::unlink(g_cleanupFiles[i]);
    }
    if (g_cleanupDir[0] != '\0') {
        ::rmdir(g_cleanupDir);
    }
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

[[noreturn]] void Fail(const std::string& what) {
    std::fflush(stdout);
    std::fprintf(stderr, "\nload_bench: FATAL: %s\n", what.c_str());
    RemoveWorkDir();
    std::abort();
}

double Seconds(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double>(to - from).count();
}

double CpuNow() {
    timespec now{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

// Wall time and the process's CPU time (user + system) of one measurement. Other work on the
// machine stretches the first more than the second (time spent waiting for a core is not
// counted); everything here is one thread reading files already in the page cache, so on a
// quiet machine the two agree.
struct Elapsed {
    double wall = 0;
    double cpu = 0;
};

class Stopwatch {
public:
    Stopwatch() : m_wall(Clock::now()), m_cpu(CpuNow()) {}
    Elapsed Read() const { return {Seconds(m_wall, Clock::now()), CpuNow() - m_cpu}; }

private:
    Clock::time_point m_wall;
    double m_cpu;
};

// A field of /proc/self/status in kB (VmHWM, VmRSS), or -1.
long StatusKb(std::string_view field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(field, 0) == 0 && line.size() > field.size() && line[field.size()] == ':') {
            return std::strtol(line.c_str() + field.size() + 1, nullptr, 10);
        }
    }
    return -1;
}

double KbToMb(long kb) {
    return static_cast<double>(kb) * 1024.0 / 1e6;
}

// (a) The reference: plain SQLite on a fresh connection, the program's loading query, every
// column of every row read once. Returns seconds from open to finalize.
Elapsed RunReference(const std::string& path, std::int64_t expectedRows, std::uint64_t* sink) {
    const Stopwatch watch;
    sqlite3* db = nullptr;
    if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) {
        Fail("reference: cannot open " + path);
    }
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db, mwdx::kSelectNodes, -1, &stmt, nullptr) != SQLITE_OK) {
        Fail(std::string("reference: prepare: ") + sqlite3_errmsg(db));
    }
    std::uint64_t acc = 0;
    std::int64_t rows = 0;
    const auto text = [&](int column) {
        const unsigned char* value = sqlite3_column_text(stmt, column);
        const int bytes = sqlite3_column_bytes(stmt, column);
        acc += static_cast<std::uint64_t>(bytes) + (bytes > 0 ? value[bytes - 1] : 0u);
    };
    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
        acc += static_cast<std::uint32_t>(sqlite3_column_int(stmt, 0));
        text(1);
        acc += static_cast<std::uint32_t>(sqlite3_column_int(stmt, 2));
        text(3);
        acc += static_cast<std::uint32_t>(sqlite3_column_int(stmt, 4));
        text(5);
        acc += static_cast<std::uint32_t>(sqlite3_column_int(stmt, 6));
        ++rows;
    }
    sqlite3_finalize(stmt);
    const Elapsed elapsed = watch.Read();
    sqlite3_close(db);
    if (rc != SQLITE_DONE || rows != expectedRows) {
        Fail("reference: read " + std::to_string(rows) + " rows of " + std::to_string(expectedRows) + ", last status " +
             std::to_string(rc));
    }
    *sink += acc;
    return elapsed;
}

struct LoadTimes {
    Elapsed load; // open, settings, count, query, every node attached
    Elapsed free; // model.Clear, FreeSettings, CloseStore
};

// (b) The start-up load exactly as the program does it; `expectedRows` is what it must place.
LoadTimes RunProgramLoad(const std::string& path, std::int64_t expectedRows) {
    LoadTimes times;
    const Stopwatch loading;
    mwdx::OpenStore(path);
    if (!mwdx::IsStoreOpen()) {
        Fail("load: OpenStore failed for " + path);
    }
    if (mwdx::LoadSettings() != 1) {
        Fail("load: LoadSettings failed");
    }
    mwdx::CatalogModel model;
    mwdx::LoadCatalog(model); // 0 for a damaged store, whose unplaceable rows are counted below
    times.load = loading.Read();

    if (static_cast<std::int64_t>(model.NodeCount()) != expectedRows) {
        Fail("load: the model holds " + std::to_string(model.NodeCount()) + " nodes, " + std::to_string(expectedRows) +
             " expected");
    }
    if (model.RootNode() == nullptr || model.RootNode()->Path() != mwdx::bench::kSampleHomeDirectory) {
        Fail("load: the Root Node is missing or not at the Home Directory");
    }

    const Stopwatch freeing;
    model.Clear();
    mwdx::FreeSettings();
    mwdx::CloseStore();
    times.free = freeing.Read();
    return times;
}

// ---- peak memory in a child process ----------------------------------------------------------

// What a child does: nothing (the process floor), the reference read, or the program's load,
// exactly once in a new process, as at a real start-up: every page of the heap is new to it.
int ChildMain(std::string_view mode, const std::string& path, std::int64_t expectedRows) {
    Elapsed elapsed;
    if (mode == "load") {
        // Measure up to the loaded tree (the peak); freeing cannot raise it.
        const Stopwatch watch;
        mwdx::OpenStore(path);
        if (!mwdx::IsStoreOpen() || mwdx::LoadSettings() != 1) {
            Fail("child: cannot open the store");
        }
        mwdx::CatalogModel model;
        mwdx::LoadCatalog(model);
        if (static_cast<std::int64_t>(model.NodeCount()) != expectedRows) {
            Fail("child: the load did not place every row");
        }
        elapsed = watch.Read();
        std::printf("hwm_kb=%ld wall=%.6f cpu=%.6f\n", StatusKb("VmHWM"), elapsed.wall, elapsed.cpu);
        std::fflush(stdout);
        std::_Exit(0); // leave the tree to the kernel: its teardown is not what we measure here
    }
    if (mode == "reference") {
        std::uint64_t sink = 0;
        elapsed = RunReference(path, expectedRows, &sink);
        std::printf("hwm_kb=%ld wall=%.6f cpu=%.6f sink=%llu\n", StatusKb("VmHWM"), elapsed.wall, elapsed.cpu,
                    static_cast<unsigned long long>(sink));
        return 0;
    }
    if (mode == "idle") {
        std::printf("hwm_kb=%ld wall=0 cpu=0\n", StatusKb("VmHWM"));
        return 0;
    }
    std::fprintf(stderr, "unknown child mode\n");
    return 2;
}

struct ChildResult {
    long maxRssKb = 0;  // ru_maxrss of the child, from wait4
    long selfHwmKb = 0; // the child's own VmHWM, as a cross-check
    Elapsed elapsed;    // as the child timed itself (process start-up not included)
};

ChildResult RunChild(const char* mode, const std::string& path, std::int64_t expectedRows) {
    int fds[2];
    if (::pipe(fds) != 0) {
        Fail("pipe failed");
    }
    const std::string rows = std::to_string(expectedRows);
    std::fflush(stdout);
    const pid_t pid = ::fork();
    if (pid < 0) {
        Fail("fork failed");
    }
    if (pid == 0) {
        ::dup2(fds[1], STDOUT_FILENO);
        ::close(fds[0]);
        ::close(fds[1]);
        const char* argv[] = {"marrowdex_load_bench", "--child", mode, path.c_str(), rows.c_str(), nullptr};
        ::execv("/proc/self/exe", const_cast<char* const*>(argv));
        std::_Exit(127);
    }
    ::close(fds[1]);
    std::string output;
    char buffer[512];
    ssize_t n;
    while ((n = ::read(fds[0], buffer, sizeof buffer)) > 0 || (n < 0 && errno == EINTR)) {
        if (n > 0) {
            output.append(buffer, static_cast<std::size_t>(n));
        }
    }
    ::close(fds[0]);
    int status = 0;
    struct rusage usage {};
    if (::wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        Fail(std::string("child '") + mode + "' failed: " + output);
    }
    ChildResult result;
    result.maxRssKb = usage.ru_maxrss;
    if (std::sscanf(output.c_str(), "hwm_kb=%ld wall=%lf cpu=%lf", &result.selfHwmKb, &result.elapsed.wall,
                    &result.elapsed.cpu) != 3) {
        Fail(std::string("child '") + mode + "' printed: " + output);
    }
    return result;
}

// ---- statistics and printing -----------------------------------------------------------------

struct Samples {
    std::vector<double> wall;
    std::vector<double> cpu;
    void Add(const Elapsed& e) {
        wall.push_back(e.wall);
        cpu.push_back(e.cpu);
    }
    double BestWall() const { return BestOf(wall); }
    double BestCpu() const { return BestOf(cpu); }
    double MedianWall() const { return MedianOf(wall); }
    double MedianCpu() const { return MedianOf(cpu); }
};

std::string Ms(double seconds) {
    char text[32];
    const double ms = seconds * 1000;
    std::snprintf(text, sizeof text, ms >= 100 ? "%.0f" : ms >= 10 ? "%.1f" : "%.2f", ms);
    return text;
}

const char* Verdict(bool met) {
    return met ? "ok" : "MISSED";
}

// ---- options -----------------------------------------------------------------------------------

struct Options {
    std::vector<std::int64_t> sizes{10000, 100000, 1000000};
    std::vector<Shape> shapes{Shape::Wide, Shape::Deep, Shape::Damaged};
    int repeats = 0;      // 0: by size (7, 5, 3)
    bool children = true; // fresh-process start-up and peak memory
    bool parentIndex = false;
    bool keep = false;
    std::string workDir;
};

constexpr const char* kUsage =
    "marrowdex_load_bench [--sizes=10000,100000,1000000] [--shapes=wide,deep,damaged] [--repeats=N]\n"
    "                            [--no-children] [--parent-index] [--work-dir=DIR] [--keep]\n"
    "       marrowdex_load_bench --child load|reference FILE ROWS\n"
    "  --repeats=N     timed repetitions per measurement (default 11 below 100k rows, 7 below 1M, 5 from 1M)\n"
    "  --no-children   skip the fresh-process start-up times and the peak memory\n"
    "  --parent-index  also time the loading query without the index on FILE_NODE(PARENT_ID), 100k rows and up\n"
    "  --work-dir=DIR  build the sample stores in DIR (default: a new folder under the temporary directory)\n"
    "  --keep          leave the sample stores behind (for profiling a single load with --child)\n"
    "  --child ...     one load (b) or one reference read (a) of FILE, which must hold ROWS nodes, and its\n"
    "                  peak memory; what the memory figures run, and a handy target for perf or callgrind";

Options ParseOptions(int argc, char** argv) {
    Options options;
    mwdx::bench::Options parser(kUsage);
    parser.Sizes("sizes", options.sizes)
        .Value("shapes", mwdx::bench::ShapesInto(options.shapes))
        .Number("repeats", options.repeats)
        .Flag("no-children", options.children, false)
        .Flag("keep", options.keep)
        .Flag("parent-index", options.parentIndex)
        .Text("work-dir", options.workDir);
    if (!parser.Parse(argc, argv)) {
        std::exit(2);
    }
    return options;
}

// Rounds of the fresh-process figures, the ones the targets are judged on.
int FreshRepeatsFor(const Options& options, std::int64_t rows) {
    if (options.repeats > 0) {
        return options.repeats;
    }
    return rows < 100000 ? 11 : rows < 1000000 ? 7 : 5;
}

// Rounds of the in-process figures, which only add the reload and free times.
int RepeatsFor(const Options& options, std::int64_t rows) {
    if (options.repeats > 0) {
        return options.repeats;
    }
    return rows < 100000 ? 7 : rows < 1000000 ? 5 : 3;
}

struct Sample {
    Shape shape;
    std::int64_t rows;
    std::string path;
    mwdx::bench::SampleStats stats;
};

// The rows the loader can place: all of them but in a damaged store.
std::int64_t Placeable(const Sample& sample) {
    return sample.rows - sample.stats.unplaceable;
}

struct Timing {
    Samples reference; // (a)
    Samples load;      // (b)
    Samples free;
};

// Times (a) and (b) for every size of one shape. After one untimed round of each, every
// repetition round measures every size still due, (a) and (b) side by side with the order
// alternating, so that a burst of other work on the machine hits both and all sizes alike and
// the ratios between them stay meaningful.
std::vector<Timing> MeasureShape(const std::vector<const Sample*>& group, const Options& options, std::uint64_t* sink) {
    std::vector<Timing> timings(group.size());
    int rounds = 0;
    for (const Sample* sample : group) {
        RunReference(sample->path, sample->rows, sink);
        RunProgramLoad(sample->path, Placeable(*sample));
        rounds = std::max(rounds, RepeatsFor(options, sample->rows));
    }
    for (int r = 0; r < rounds; ++r) {
        for (std::size_t i = 0; i < group.size(); ++i) {
            const Sample& sample = *group[i];
            if (r >= RepeatsFor(options, sample.rows)) {
                continue;
            }
            Timing& timing = timings[i];
            const auto a = [&] { timing.reference.Add(RunReference(sample.path, sample.rows, sink)); };
            const auto b = [&] {
                const LoadTimes t = RunProgramLoad(sample.path, Placeable(sample));
                timing.load.Add(t.load);
                timing.free.Add(t.free);
            };
            InTurn(r, a, b);
        }
    }
    return timings;
}

// The fresh-process table carries the targets; the in-process one the time to free the tree.
void PrintTimingHeader(bool inProcess) {
    std::printf("  best of N (median); wall: elapsed; cpu: the process's CPU time, which other work on the machine\n"
                "  disturbs less. Ratios from the bests%s.\n",
                inProcess ? "" : "; targets judged on cpu");
    std::printf("  %-5s %5s %3s | %-33s | %-33s | %-11s | %s\n", "", "", "", "(a) reference", "(b) load", "b/a",
                inProcess ? "(b) free" : "target");
    std::printf("  %-5s %5s %3s | %16s %16s | %16s %16s | %5s %5s | %s\n", "shape", "rows", "N", "wall", "cpu", "wall",
                "cpu", "wall", "cpu", inProcess ? "     wall" : "b/a <= 2.5 at 100k");
}

void PrintTimingRow(const Sample& sample, int repeats, const Timing& timing, bool inProcess) {
    const auto cell = [](double best, double median) { return Ms(best) + " (" + Ms(median) + ")"; };
    const Samples& a = timing.reference;
    const Samples& b = timing.load;
    const double cpuRatio = b.BestCpu() / a.BestCpu();
    char last[32] = "";
    if (inProcess) {
        std::snprintf(last, sizeof last, "%9s", Ms(timing.free.BestWall()).c_str());
    } else if (sample.rows == 100000) {
        std::snprintf(last, sizeof last, "%s", Verdict(cpuRatio <= kTargetRatioAt100k));
    }
    std::printf("  %-5s %5s %3d | %16s %16s | %16s %16s | %5.2f %5.2f | %s\n",
                std::string(ShapeName(sample.shape)).c_str(), SizeLabel(sample.rows).c_str(), repeats,
                cell(a.BestWall(), a.MedianWall()).c_str(), cell(a.BestCpu(), a.MedianCpu()).c_str(),
                cell(b.BestWall(), b.MedianWall()).c_str(), cell(b.BestCpu(), b.MedianCpu()).c_str(),
                b.BestWall() / a.BestWall(), cpuRatio, last);
    std::fflush(stdout);
}

std::string QueryPlan(const std::string& path) {
    sqlite3* db = nullptr;
    sqlite3_open(path.c_str(), &db);
    sqlite3_stmt* stmt = nullptr;
    std::string plan;
    const std::string sql = std::string("EXPLAIN QUERY PLAN ") + mwdx::kSelectNodes;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr) == SQLITE_OK) {
        while (sqlite3_step(stmt) == SQLITE_ROW) {
            if (!plan.empty()) {
                plan += "; ";
            }
            plan += reinterpret_cast<const char*>(sqlite3_column_text(stmt, 3));
        }
    }
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return plan;
}

// The experiment: how much does the index on PARENT_ID (part of every fresh database) help the
// loading query? Times (a) and (b) in fresh processes on the sample and on a copy without the
// index, all four interleaved.
void ParentIndexExperiment(const std::vector<Sample>& samples, const Options& options) {
    std::printf("\nParent index experiment: the sample against a copy without FILE_NODE_PARENT\n");
    std::printf(
        "  fresh processes; CPU ms, best of N (median); ratio = with index / without, from the bests (wall-time\n"
        "  ratio after /); +MB = what the index adds to the file\n");
    std::printf("  %-5s %5s %3s | %15s %15s %11s | %15s %15s %11s | %5s\n", "shape", "rows", "N", "(a) no index",
                "(a) index", "ratio", "(b) no index", "(b) index", "ratio", "+MB");
    std::string plainPlan;
    std::string indexPlan;
    for (const Sample& sample : samples) {
        if (sample.rows < 100000) {
            continue;
        }
        const std::string plain = (g_workDir / ("sample-" + std::string(ShapeName(sample.shape)) + "-" +
                                                std::to_string(sample.rows) + "-no-index.db"))
                                      .string();
        std::filesystem::remove(plain);
        RemoveOnSignal(plain);
        std::filesystem::copy_file(sample.path, plain);
        sqlite3* db = nullptr;
        sqlite3_open(plain.c_str(), &db);
        if (sqlite3_exec(db, "DROP INDEX FILE_NODE_PARENT; VACUUM;", nullptr, nullptr, nullptr) != SQLITE_OK) {
            Fail(std::string("drop index: ") + sqlite3_errmsg(db));
        }
        sqlite3_close(db);
        const double growthMb =
            static_cast<double>(std::filesystem::file_size(sample.path) - std::filesystem::file_size(plain)) / 1e6;
        plainPlan = QueryPlan(plain);
        indexPlan = QueryPlan(sample.path);

        Samples aPlain, aIndex, bPlain, bIndex;
        const int repeats = FreshRepeatsFor(options, sample.rows);
        for (int r = 0; r < repeats; ++r) {
            aPlain.Add(RunChild("reference", plain, sample.rows).elapsed);
            aIndex.Add(RunChild("reference", sample.path, sample.rows).elapsed);
            bIndex.Add(RunChild("load", sample.path, Placeable(sample)).elapsed);
            bPlain.Add(RunChild("load", plain, Placeable(sample)).elapsed);
        }
        std::filesystem::remove(plain);
        const auto cell = [](const Samples& s) { return Ms(s.BestCpu()) + " (" + Ms(s.MedianCpu()) + ")"; };
        const auto ratio = [](const Samples& with, const Samples& without) {
            char text[32];
            std::snprintf(text, sizeof text, "%.2f / %.2f", with.BestCpu() / without.BestCpu(),
                          with.BestWall() / without.BestWall());
            return std::string(text);
        };
        std::printf("  %-5s %5s %3d | %15s %15s %11s | %15s %15s %11s | %5.1f\n",
                    std::string(ShapeName(sample.shape)).c_str(), SizeLabel(sample.rows).c_str(), repeats,
                    cell(aPlain).c_str(), cell(aIndex).c_str(), ratio(aIndex, aPlain).c_str(), cell(bPlain).c_str(),
                    cell(bIndex).c_str(), ratio(bIndex, bPlain).c_str(), growthMb);
        std::fflush(stdout);
    }
    std::printf("  plan without index: %s\n  plan with index:    %s\n", plainPlan.c_str(), indexPlan.c_str());
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 5 && std::string_view(argv[1]) == "--child") {
        return ChildMain(argv[2], argv[3], std::atoll(argv[4]));
    }
    const Options options = ParseOptions(argc, argv);

    if (!options.workDir.empty()) {
        g_workDir = options.workDir;
        if (!std::filesystem::is_directory(g_workDir)) {
            Fail("no such folder: " + options.workDir);
        }
    } else {
        std::string pattern = (std::filesystem::temp_directory_path() / "marrowdex-bench-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            Fail("cannot create a temporary folder");
        }
        g_workDir = pattern;
        g_ownsWorkDir = true;
        if (pattern.size() < sizeof g_cleanupDir) {
            std::memcpy(g_cleanupDir, pattern.c_str(), pattern.size() + 1);
        }
    }
    for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) {
        std::signal(signal, CleanUpAndDie);
    }

#ifdef NDEBUG
    const char* build = "optimised build";
#else
    const char* build = "NOT an optimised build (assertions on): figures are not representative";
#endif
    std::printf("Marrowdex start-up load benchmark: SQLite %s, %s\n", sqlite3_libversion(), build);
    std::printf("(a) = plain SQLite C API: open, prepare the loading query, step and read every column of every row\n");
    std::printf("(b) = the program's start-up: OpenStore, LoadSettings, LoadCatalog into an empty CatalogModel\n\n");

    // Every sample first, so that the memory children are forked from a small process.
    std::printf("Sample stores (%s)\n", g_workDir.c_str());
    std::printf("  %-5s %8s %8s %8s %6s %9s %10s %8s %8s\n", "shape", "rows", "catalogs", "docs", "top", "max level",
                "mean level", "file MB", "build s");
    std::vector<Sample> samples;
    for (Shape shape : options.shapes) {
        for (std::int64_t rows : options.sizes) {
            Sample sample{
                shape,
                rows,
                (g_workDir / ("sample-" + std::string(ShapeName(shape)) + "-" + std::to_string(rows) + ".db")).string(),
                {}};
            std::string error;
            RemoveOnSignal(sample.path);
            if (!mwdx::bench::BuildSampleCatalog(sample.path, shape, rows, &sample.stats, &error)) {
                Fail("cannot build " + sample.path + ": " + error);
            }
            const auto& s = sample.stats;
            std::printf("  %-5s %8lld %8lld %8lld %6lld %9d %10.2f %8.1f %8.2f\n",
                        std::string(ShapeName(shape)).c_str(), static_cast<long long>(s.rows),
                        static_cast<long long>(s.catalogs), static_cast<long long>(s.documents),
                        static_cast<long long>(s.topLevel), s.maxLevel, s.meanLevel,
                        static_cast<double>(s.fileBytes) / 1e6, s.seconds);
            std::fflush(stdout);
            samples.push_back(std::move(sample));
        }
    }

    // Fresh processes first, while this one is still small: a child's ru_maxrss starts from what
    // it inherited at the fork.
    std::map<std::pair<Shape, std::int64_t>, Timing> fresh;
    std::map<std::pair<Shape, std::int64_t>, std::pair<ChildResult, ChildResult>> peaks; // (a), (b)
    if (options.children) {
        const long parentRssKb = StatusKb("VmRSS");
        const ChildResult idle = RunChild("idle", samples.front().path, 0);
        // In rounds over every sample, (a) and (b) side by side, so that slower spells of the
        // machine spread over all sizes instead of skewing the ratios between them.
        int rounds = 0;
        for (const Sample& sample : samples) {
            rounds = std::max(rounds, FreshRepeatsFor(options, sample.rows));
        }
        for (int r = 0; r < rounds; ++r) {
            for (const Sample& sample : samples) {
                if (r >= FreshRepeatsFor(options, sample.rows)) {
                    continue;
                }
                Timing& timing = fresh[{sample.shape, sample.rows}];
                auto& [referencePeak, loadPeak] = peaks[{sample.shape, sample.rows}];
                const auto a = [&] {
                    const ChildResult child = RunChild("reference", sample.path, sample.rows);
                    timing.reference.Add(child.elapsed);
                    if (child.maxRssKb > referencePeak.maxRssKb) {
                        referencePeak = child;
                    }
                };
                const auto b = [&] {
                    const ChildResult child = RunChild("load", sample.path, Placeable(sample));
                    timing.load.Add(child.elapsed);
                    if (child.maxRssKb > loadPeak.maxRssKb) {
                        loadPeak = child;
                    }
                };
                InTurn(r, a, b);
            }
        }

        std::printf("\nPeak resident memory, the highest of the fresh processes below (ru_maxrss from wait4; the\n"
                    "child's own VmHWM in brackets). Forked from a parent of %.1f MB RSS; a child that does\n"
                    "nothing peaks at %.1f MB (%.1f).\n",
                    KbToMb(parentRssKb), KbToMb(idle.maxRssKb), KbToMb(idle.selfHwmKb));
        std::printf("  %-5s %5s | %17s | %17s | %9s | %10s | %s\n", "shape", "rows", "open + (a) MB", "(b) load MB",
                    "(b) - (a)", "bytes/node", "target (b) < 1000 MB at 1M");
        for (const Sample& sample : samples) {
            if (sample.rows != options.sizes.back()) {
                continue;
            }
            const auto& [reference, load] = peaks[{sample.shape, sample.rows}];
            const double modelMb = KbToMb(load.maxRssKb) - KbToMb(reference.maxRssKb);
            char a[32], b[32];
            std::snprintf(a, sizeof a, "%.1f (%.1f)", KbToMb(reference.maxRssKb), KbToMb(reference.selfHwmKb));
            std::snprintf(b, sizeof b, "%.1f (%.1f)", KbToMb(load.maxRssKb), KbToMb(load.selfHwmKb));
            std::printf("  %-5s %5s | %17s | %17s | %9.1f | %10.0f | %s\n",
                        std::string(ShapeName(sample.shape)).c_str(), SizeLabel(sample.rows).c_str(), a, b, modelMb,
                        modelMb * 1e6 / static_cast<double>(sample.rows),
                        sample.rows == 1000000 ? Verdict(KbToMb(load.maxRssKb) < kTargetPeakMb) : "");
        }

        std::printf("\nStart-up in a fresh process, ms: each figure one new child timing its own (a) or (b), as the\n"
                    "program does once at start-up with every heap page new to it (the exec not included).\n");
        PrintTimingHeader(false);
        for (const Sample& sample : samples) {
            PrintTimingRow(sample, FreshRepeatsFor(options, sample.rows), fresh[{sample.shape, sample.rows}], false);
        }
        std::fflush(stdout);
    }

    // The same again and again in this process: a reload in a long-running program, and the time
    // to free the tree. The heap here is warm from earlier rounds, so the page faults of a real
    // start-up are missing, and how much of it is warm depends on what ran before.
    std::uint64_t sink = 0;
    std::map<std::pair<Shape, std::int64_t>, Timing> timings;
    std::printf("\nLoad in this process, ms, for comparison: (a) and (b) interleaved after one untimed round. The\n"
                "heap is warm from earlier rounds, so first-touch page faults are mostly missing.\n");
    PrintTimingHeader(true);
    for (Shape shape : options.shapes) {
        std::vector<const Sample*> group;
        for (const Sample& sample : samples) {
            if (sample.shape == shape) {
                group.push_back(&sample);
            }
        }
        const std::vector<Timing> measured = MeasureShape(group, options, &sink);
        for (std::size_t i = 0; i < group.size(); ++i) {
            PrintTimingRow(*group[i], RepeatsFor(options, group[i]->rows), measured[i], true);
            timings[{group[i]->shape, group[i]->rows}] = measured[i];
        }
    }

    bool printedScaling = false;
    const auto printScaling = [&](const char* where, std::map<std::pair<Shape, std::int64_t>, Timing>& table,
                                  bool judged) {
        for (Shape shape : options.shapes) {
            if (table.count({shape, 100000}) == 0 || table.count({shape, 1000000}) == 0) {
                continue;
            }
            if (!printedScaling) {
                std::printf("\nScaling, 1M time / 100k time from the bests (10.0 is linear)\n");
                std::printf("  %-13s %-5s | %-11s | %-11s | %s\n", "", "", "(b) load", "(a) ref", "target");
                std::printf("  %-13s %-5s | %5s %5s | %5s %5s | %s\n", "measured", "shape", "wall", "cpu", "wall",
                            "cpu", "(b) cpu <= 12");
                printedScaling = true;
            }
            const Timing& small = table[{shape, 100000}];
            const Timing& large = table[{shape, 1000000}];
            const double bCpu = large.load.BestCpu() / small.load.BestCpu();
            std::printf("  %-13s %-5s | %5.2f %5.2f | %5.2f %5.2f | %s\n", where, std::string(ShapeName(shape)).c_str(),
                        large.load.BestWall() / small.load.BestWall(), bCpu,
                        large.reference.BestWall() / small.reference.BestWall(),
                        large.reference.BestCpu() / small.reference.BestCpu(),
                        judged ? Verdict(bCpu <= kTargetScaling) : "");
        }
    };
    printScaling("fresh process", fresh, true);
    printScaling("this process", timings, false);

    // A damaged store costs a little more than a healthy one of the same size, never a hang.
    bool printedDamage = false;
    for (const Sample& sample : samples) {
        if (sample.shape != Shape::Damaged || timings.count({Shape::Wide, sample.rows}) == 0) {
            continue;
        }
        if (!printedDamage) {
            std::printf("\nDamaged store, (b) load / (b) load of the wide store of the same size, from the bests\n");
            std::printf("  %5s | %10s | %13s %13s | %s\n", "rows", "unplaceable", "fresh process", "this process",
                        "target at 1M: <= 3");
            printedDamage = true;
        }
        const auto ratio = [&](std::map<std::pair<Shape, std::int64_t>, Timing>& table) {
            if (table.count({Shape::Wide, sample.rows}) == 0 || table.count({Shape::Damaged, sample.rows}) == 0) {
                return -1.0;
            }
            return table[{Shape::Damaged, sample.rows}].load.BestWall() /
                   table[{Shape::Wide, sample.rows}].load.BestWall();
        };
        const double freshRatio = ratio(fresh);
        const double warmRatio = ratio(timings);
        const auto shown = [](double r) { return r < 0 ? std::string("-") : std::to_string(r).substr(0, 4); };
        std::printf("  %5s | %10lld | %13s %13s | %s\n", SizeLabel(sample.rows).c_str(),
                    static_cast<long long>(sample.stats.unplaceable), shown(freshRatio).c_str(),
                    shown(warmRatio).c_str(),
                    sample.rows >= 1000000 ? Verdict((freshRatio > 0 ? freshRatio : warmRatio) <= 3.0) : "");
    }
    if (!options.children) {
        std::printf("\n(the time targets are judged on the fresh-process figures, skipped with --no-children)\n");
    }

    if (options.parentIndex) {
        ParentIndexExperiment(samples, options);
    }

    std::printf("\n(checksum %llu)\n", static_cast<unsigned long long>(sink % 1000));
    if (options.keep) {
        std::printf("sample stores kept in %s\n", g_workDir.c_str());
        g_workDir.clear();
    }
    RemoveWorkDir();
    return 0;
}
