// Start-up benchmark: how long after the program is started its main window is on the screen
// with the catalog tree painted, against the core load alone (store, Settings, catalog tree),
// both in fresh processes of the same run. Prints figures and ratios; never passes or fails on
// speed.
//
// Each measurement is one new process of this benchmark (`--child window|core FOLDER`), timed by
// the parent from just before posix_spawn until the child's one-line report arrives on a pipe, so
// both figures carry process start-up and dynamic linking alike. The child leaves with _exit as
// soon as it has reported: freeing a million nodes is not part of a start-up.

#include "app/marrowdex_app.h"
#include "app/marrowdex_dlg.h"
#include "commands/command_list.h"
#include "bench_common.h"
#include "catalog/loader.h"
#include "catalog/model.h"
#include "offscreen.h"
#include "sample_catalog.h"
#include "store/connection.h"
#include "store/fresh_database.h"
#include "store/settings.h"

#include <QEvent>
#include <QObject>
#include <QTimer>
#include <QAbstractItemView>
#include <QWindow>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <spawn.h>
#include <sqlite3.h>
#include <string>
#include <string_view>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;
using mwdx::bench::BestOf;
using mwdx::bench::InTurn;
using mwdx::bench::MedianOf;
using mwdx::bench::Shape;
using Clock = std::chrono::steady_clock;

constexpr double kTargetRatioAt1M = 1.3;
constexpr int kChildTimeoutMs = 120000;

// Taken first thing in main: the child's own figures count from here.
Clock::time_point g_mainEntry;

double Since(Clock::time_point from, Clock::time_point to = Clock::now()) {
    return std::chrono::duration<double>(to - from).count();
}

double CpuNow() {
    timespec now{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

[[noreturn]] void Fail(const std::string& what) {
    std::fflush(stdout);
    std::fprintf(stderr, "\nstartup_bench: FATAL: %s\n", what.c_str());
    std::_Exit(1);
}

// ---- the children ------------------------------------------------------------------------------

// One line on stdout (the parent's pipe), then out without tearing anything down.
[[noreturn]] void Report(const char* mode, std::size_t nodes, double constructed, double firstPaint) {
    std::printf("%s nodes=%zu main=%.6f cpu=%.6f constructed=%.6f paint=%.6f\n", mode, nodes, Since(g_mainEntry),
                CpuNow(), constructed, firstPaint);
    std::fflush(stdout);
    ::_exit(0);
}

// The store, the Settings and the catalog tree, as the main window loads them, and nothing else.
int CoreChild(const std::string& folder) {
    mwdx::OpenStore(folder + "/mymwdx.db");
    if (!mwdx::IsStoreOpen() || mwdx::LoadSettings() != 1) {
        Fail("core child: cannot open the store in " + folder);
    }
    mwdx::CatalogModel model;
    if (mwdx::LoadCatalog(model) != 1) {
        Fail("core child: the catalog did not load");
    }
    Report("core", model.NodeCount(), 0, 0);
}

// Reports once the tree's viewport has had its first paint event and that paint is over (a
// zero timer runs only after the window's whole paint and flush).
class FirstPaint final : public QObject {
public:
    FirstPaint(mwdx::CMarrowdexDlg& window, QAbstractItemView& tree, double constructed)
        : m_window(window), m_tree(tree), m_constructed(constructed) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && !m_painted) {
            m_painted = true;
            m_firstPaint = Since(g_mainEntry);
            QTimer::singleShot(0, this, [this] { Painted(); });
        }
        return QObject::eventFilter(watched, event);
    }

private:
    void Painted() {
        const QWindow* handle = m_window.windowHandle();
        if (!m_window.isVisible() || handle == nullptr || !handle->isExposed()) {
            Fail("window child: the tree was painted but the window is not exposed");
        }
        if (mwdx::SettingsCopy().firstRunning != 0) {
            Fail("window child: the store is not marked as configured, the configuration dialog would open");
        }
        if (m_window.Catalog().NodeCount() > 0 && m_tree.model()->rowCount() == 0) {
            Fail("window child: the tree shows no items");
        }
        Report("window", m_window.Catalog().NodeCount(), m_constructed, m_firstPaint);
    }

    mwdx::CMarrowdexDlg& m_window;
    QAbstractItemView& m_tree;
    double m_constructed;
    double m_firstPaint = 0;
    bool m_painted = false;
};

// The program's own start-up, on `folder` instead of the program's folder: the application, the
// main window run as InitInstance runs it.
int WindowChild(const std::string& folder) {
    mwdx::bench::UseOffscreenPlatform();
    static int argc = 1;
    static char name[] = "marrowdex_startup_bench";
    static char* argv[] = {name, nullptr};
    mwdx::CMarrowdexApp app(argc, argv);

    mwdx::CMarrowdexDlg window(folder, mwdx::MakeCommands);
    const double constructed = Since(g_mainEntry);
    auto* tree = window.findChild<QAbstractItemView*>(QStringLiteral("catalogTree"));
    if (tree == nullptr) {
        Fail("window child: the main window has no catalog tree");
    }
    FirstPaint watcher(window, *tree, constructed);
    tree->viewport()->installEventFilter(&watcher);
    QTimer::singleShot(kChildTimeoutMs, &app, [] { Fail("window child: the tree was never painted"); });
    window.exec();
    Fail("window child: the window closed before its tree was painted");
}

// ---- the parent ----------------------------------------------------------------------------------

struct ChildResult {
    double wall = 0;        // parent's clock: just before posix_spawn until the report arrived
    double main = 0;        // the child's own: since its main was entered
    double cpu = 0;         // the child's CPU time (user + system) at the report, start-up included
    double constructed = 0; // window: since main, the main window constructed (the catalog loaded)
    double paint = 0;       // window: since main, the tree's first paint event
    long maxRssKb = 0;      // from wait4
    std::int64_t nodes = 0;
};

ChildResult RunChild(const char* mode, const fs::path& folder) {
    const std::string folderText = folder.string();
    int readEnd = -1;
    std::string error;
    const Clock::time_point start = Clock::now();
    const pid_t pid =
        mwdx::bench::SpawnSelf({"marrowdex_startup_bench", "--child", mode, folderText}, &readEnd, &error);
    if (pid < 0) {
        Fail(error);
    }
    std::string output;
    double wall = -1;
    char buffer[512];
    ssize_t n;
    while ((n = ::read(readEnd, buffer, sizeof buffer)) > 0 || (n < 0 && errno == EINTR)) {
        if (n > 0) {
            output.append(buffer, static_cast<std::size_t>(n));
            if (wall < 0 && output.find('\n') != std::string::npos) {
                wall = Since(start);
            }
        }
    }
    ::close(readEnd);
    int status = 0;
    struct rusage usage {};
    if (::wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0 || wall < 0) {
        Fail(std::string("child '") + mode + "' on " + folderText + " failed: " + output);
    }
    ChildResult result;
    result.wall = wall;
    result.maxRssKb = usage.ru_maxrss;
    char reported[16] = "";
    long long nodes = -1;
    if (std::sscanf(output.c_str(), "%15s nodes=%lld main=%lf cpu=%lf constructed=%lf paint=%lf", reported, &nodes,
                    &result.main, &result.cpu, &result.constructed, &result.paint) != 6 ||
        std::string_view(reported) != mode) {
        Fail(std::string("child '") + mode + "' printed: " + output);
    }
    result.nodes = nodes;
    return result;
}

struct Series {
    std::vector<double> values;
    void Add(double value) { values.push_back(value); }
    double Best() const { return BestOf(values); }
    double Median() const { return MedianOf(values); }
};

struct Figures {
    Series coreWall, windowWall;           // the figures the ratio is taken on
    Series coreMain, windowMain;           // the children's own, since main
    Series windowConstructed, windowPaint; // since main
    Series coreCpu, windowCpu;             // the children's CPU time
    long corePeakKb = 0, windowPeakKb = 0; // highest ru_maxrss
};

std::string SizeLabel(std::int64_t rows) {
    return rows == 0 ? "empty" : mwdx::bench::SizeLabel(rows);
}

std::string Cell(const Series& series) {
    char text[40];
    std::snprintf(text, sizeof text, "%.3f (%.3f)", series.Best(), series.Median());
    return text;
}

double KbToMb(long kb) {
    return static_cast<double>(kb) * 1024.0 / 1e6;
}

struct Options {
    std::vector<std::int64_t> sizes{100000, 1000000};
    std::vector<Shape> shapes{Shape::Wide};
    int repeats = 0; // 0: by size (11, 7, 5)
    bool keep = false;
    fs::path workDir;
};

constexpr const char* kUsage =
    "marrowdex_startup_bench --work-dir=DIR [--sizes=100000,1000000] [--shapes=wide,deep] [--repeats=N]\n"
    "                               [--keep]\n"
    "       marrowdex_startup_bench --child window|core FOLDER\n"
    "  --work-dir=DIR  an existing folder for the sample program folders (about 100 MB per million rows)\n"
    "  --repeats=N     fresh processes per figure (default 11 below 100k rows, 7 below 1M, 5 from 1M)\n"
    "  --keep          leave the sample program folders in DIR (for profiling a single child)\n"
    "  --child ...     one start-up on FOLDER, which holds mymwdx.db: the main window shown with its tree\n"
    "                  painted (offscreen), or only the store, Settings and catalog loaded; prints one line";

Options ParseOptions(int argc, char** argv) {
    Options options;
    mwdx::bench::Options parser(kUsage);
    parser.Sizes("sizes", options.sizes)
        .Value("shapes", mwdx::bench::ShapesInto(options.shapes))
        .Number("repeats", options.repeats)
        .Folder("work-dir", options.workDir)
        .Flag("keep", options.keep);
    if (!parser.Parse(argc, argv)) {
        std::exit(2);
    }
    return options;
}

int RepeatsFor(const Options& options, std::int64_t rows) {
    if (options.repeats > 0) {
        return options.repeats;
    }
    return rows < 100000 ? 11 : rows < 1000000 ? 7 : 5;
}

struct Sample {
    Shape shape;
    std::int64_t rows; // 0: an empty store, the fixed cost of starting
    fs::path folder;   // the program folder, holding mymwdx.db
};

std::string ShapeLabel(const Sample& sample) {
    return sample.rows == 0 ? "-" : std::string(ShapeName(sample.shape));
}

// A fresh store with no nodes, configured like the samples: what starting costs before any row.
void BuildEmptyStore(const fs::path& folder) {
    const std::string db = (folder / "mymwdx.db").string();
    std::string error;
    if (!mwdx::CreateFreshDatabase(db, &error)) {
        Fail("cannot create " + db + ": " + error);
    }
    sqlite3* handle = nullptr;
    const std::string sql =
        "UPDATE SYS_CONFIG SET ROOT_DIR='" + std::string(mwdx::bench::kSampleHomeDirectory) + "', FIRST_RUNNING=0;";
    if (sqlite3_open(db.c_str(), &handle) != SQLITE_OK ||
        sqlite3_exec(handle, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) {
        Fail("cannot configure " + db);
    }
    sqlite3_close(handle);
}

} // namespace

int main(int argc, char** argv) {
    g_mainEntry = Clock::now();
    if (argc == 4 && std::string_view(argv[1]) == "--child") {
        const std::string_view mode = argv[2];
        if (mode == "core") {
            return CoreChild(argv[3]);
        }
        if (mode == "window") {
            return WindowChild(argv[3]);
        }
        std::fprintf(stderr, "usage: %s\n", kUsage);
        return 2;
    }
    const Options options = ParseOptions(argc, argv);

#ifdef NDEBUG
    const char* build = "optimised build";
#else
    const char* build = "NOT an optimised build (assertions on): figures are not representative";
#endif
    std::printf("Marrowdex start-up: main window shown against the core load, fresh processes (%s)\n", build);
    std::printf("core   = OpenStore, LoadSettings, LoadCatalog into a CatalogModel, as the main window does them\n");
    std::printf("window = the application and the main window on the same folder, run as InitInstance runs it\n"
                "         (offscreen), until the tree's first paint is over\n\n");

    std::vector<Sample> samples;
    std::printf("Sample program folders (%s)\n", options.workDir.c_str());
    std::printf("  %-5s %8s %8s %8s %6s %8s %8s\n", "shape", "rows", "catalogs", "docs", "top", "file MB", "build s");
    {
        Sample empty{Shape::Wide, 0, options.workDir / "sample-empty"};
        fs::create_directory(empty.folder);
        BuildEmptyStore(empty.folder);
        std::printf("  %-5s %8d %8d %8d %6d %8.1f %8s\n", "-", 0, 0, 0, 0,
                    static_cast<double>(fs::file_size(empty.folder / "mymwdx.db")) / 1e6, "-");
        samples.push_back(empty);
    }
    for (const Shape shape : options.shapes) {
        for (const std::int64_t rows : options.sizes) {
            Sample sample{shape, rows,
                          options.workDir / ("sample-" + std::string(ShapeName(shape)) + "-" + std::to_string(rows))};
            fs::create_directory(sample.folder);
            mwdx::bench::SampleStats stats;
            std::string error;
            if (!mwdx::bench::BuildSampleCatalog((sample.folder / "mymwdx.db").string(), shape, rows, &stats, &error)) {
                Fail("cannot build the sample store: " + error);
            }
            std::printf("  %-5s %8lld %8lld %8lld %6lld %8.1f %8.2f\n", std::string(ShapeName(shape)).c_str(),
                        static_cast<long long>(stats.rows), static_cast<long long>(stats.catalogs),
                        static_cast<long long>(stats.documents), static_cast<long long>(stats.topLevel),
                        static_cast<double>(stats.fileBytes) / 1e6, stats.seconds);
            std::fflush(stdout);
            samples.push_back(sample);
        }
    }

    // Rounds over every sample, core and window side by side with the order alternating, so that
    // a busy spell of the machine falls on both and on every size alike.
    std::map<std::pair<Shape, std::int64_t>, Figures> figures;
    int rounds = 0;
    for (const Sample& sample : samples) {
        rounds = std::max(rounds, RepeatsFor(options, sample.rows));
    }
    for (int r = 0; r < rounds; ++r) {
        for (const Sample& sample : samples) {
            if (r >= RepeatsFor(options, sample.rows)) {
                continue;
            }
            Figures& f = figures[{sample.shape, sample.rows}];
            const auto check = [&](const ChildResult& child) {
                if (child.nodes != sample.rows) {
                    Fail("a child loaded " + std::to_string(child.nodes) + " nodes from a store of " +
                         std::to_string(sample.rows) + " rows");
                }
            };
            const auto core = [&] {
                const ChildResult child = RunChild("core", sample.folder);
                check(child);
                f.coreWall.Add(child.wall);
                f.coreMain.Add(child.main);
                f.coreCpu.Add(child.cpu);
                f.corePeakKb = std::max(f.corePeakKb, child.maxRssKb);
            };
            const auto window = [&] {
                const ChildResult child = RunChild("window", sample.folder);
                check(child);
                f.windowWall.Add(child.wall);
                f.windowMain.Add(child.main);
                f.windowConstructed.Add(child.constructed);
                f.windowPaint.Add(child.paint);
                f.windowCpu.Add(child.cpu);
                f.windowPeakKb = std::max(f.windowPeakKb, child.maxRssKb);
            };
            InTurn(r, core, window);
        }
    }

    std::printf("\nStart-up, s: from just before posix_spawn until the child's report arrives on the pipe, so\n"
                "process start-up and dynamic linking are in both. Best of N (median); ratio from the bests\n"
                "(from the medians in brackets).\n");
    std::printf("  %-5s %5s %3s | %15s | %15s | %s\n", "shape", "rows", "N", "core load s", "window shown s",
                "window / core");
    for (const Sample& sample : samples) {
        const Figures& f = figures[{sample.shape, sample.rows}];
        std::printf("  %-5s %5s %3d | %15s | %15s | %5.2f (%.2f)", ShapeLabel(sample).c_str(),
                    SizeLabel(sample.rows).c_str(), RepeatsFor(options, sample.rows), Cell(f.coreWall).c_str(),
                    Cell(f.windowWall).c_str(), f.windowWall.Best() / f.coreWall.Best(),
                    f.windowWall.Median() / f.coreWall.Median());
        if (sample.rows == 1000000) {
            std::printf("   target at 1M: at most %.1f", kTargetRatioAt1M);
        }
        std::printf("\n");
    }

    std::printf("\nIn the child, for information, s since its main was entered (best (median)): the core load;\n"
                "the window constructed (store and catalog loaded), its tree's first paint event, the report\n"
                "after that paint. CPU: the child's CPU time at its report, process start-up included. Peak:\n"
                "highest ru_maxrss.\n");
    std::printf("  %-5s %5s | %15s | %15s %15s %15s | %6s %6s | %7s %7s\n", "shape", "rows", "core", "constructed",
                "first paint", "shown", "cpu c", "cpu w", "peak c", "peak w");
    for (const Sample& sample : samples) {
        const Figures& f = figures[{sample.shape, sample.rows}];
        std::printf("  %-5s %5s | %15s | %15s %15s %15s | %6.3f %6.3f | %7.1f %7.1f\n", ShapeLabel(sample).c_str(),
                    SizeLabel(sample.rows).c_str(), Cell(f.coreMain).c_str(), Cell(f.windowConstructed).c_str(),
                    Cell(f.windowPaint).c_str(), Cell(f.windowMain).c_str(), f.coreCpu.Best(), f.windowCpu.Best(),
                    KbToMb(f.corePeakKb), KbToMb(f.windowPeakKb));
    }

    if (options.keep) {
        std::printf("\nsample program folders kept in %s\n", options.workDir.c_str());
    } else {
        for (const Sample& sample : samples) {
            std::error_code ignored;
            fs::remove_all(sample.folder, ignored);
        }
    }
    return 0;
}
