// Editing a very wide catalog in the main window: how long adding, renaming and deleting a
// sub-catalog takes, through the real window (offscreen) and the commands' own operations, while
// the catalog is expanded in the tree, with a million children against a hundred, side by side
// in the same run. Prints figures and ratios; never passes or fails on speed.
//
// Each sample is a program folder with one top-level catalog "Big" holding N sub-catalogs. Each
// measurement series is one new process of this benchmark (`--child FOLDER EDITS`): it opens the
// main window on the folder, selects and expands "Big", does one untimed round, then EDITS timed
// rounds of add, rename and delete of one sub-catalog at the end and delete of one from the middle,
// each timed from the call of the operation until the window has been painted again, and reports
// the times on one line.

#include "app/marrowdex_app.h"
#include "app/marrowdex_dlg.h"
#include "app/tree_ctrl_ex.h"
#include "commands/command_list.h"
#include "bench_common.h"
#include "catalog/model.h"
#include "offscreen.h"
#include "operations/add_catalog.h"
#include "operations/delete_node.h"
#include "operations/edit_node.h"
#include "sample_catalog.h"

#include <QApplication>
#include <QWindow>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <map>
#include <sqlite3.h>
#include <sstream>
#include <string>
#include <string_view>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;
using mwdx::bench::InTurn;
using mwdx::bench::MedianOf;
using mwdx::bench::SizeLabel;
using Clock = std::chrono::steady_clock;

constexpr double kTargetMs = 50;
constexpr double kTargetRatio = 2;
// The last deletes a sub-catalog from the middle of Big (and an untimed add puts one back at the
// end): every later row moves up.
constexpr const char* kActions[] = {"add", "rename", "delete", "delete-mid"};
constexpr int kActionCount = 4;

[[noreturn]] void Fail(const std::string& what) {
    std::fflush(stdout);
    std::fprintf(stderr, "\ntree_edit_bench: FATAL: %s\n", what.c_str());
    std::_Exit(1);
}

double MsSince(Clock::time_point from) {
    return std::chrono::duration<double, std::milli>(Clock::now() - from).count();
}

double CpuMsNow() {
    timespec now{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

// Elapsed time, and the process's CPU time, which waiting for the disk (every edit commits to the
// store) does not count.
struct Stopwatch {
    Clock::time_point wall = Clock::now();
    double cpu = CpuMsNow();
};

// Series of an edit: its elapsed ms at [action], its CPU ms at [kActionCount + action].
void Record(std::vector<std::vector<double>>& times, int action, const Stopwatch& start) {
    times[static_cast<std::size_t>(action)].push_back(MsSince(start.wall));
    times[static_cast<std::size_t>(kActionCount + action)].push_back(CpuMsNow() - start.cpu);
}

// ---- the child -------------------------------------------------------------------------------

// The rows the view shows below Big, the one top-level catalog: the view is one flat list of the
// shown rows, Big's children right after it.
int ShownBelow(mwdx::CMarrowdexDlg& window, const QAbstractItemView& tree, const mwdx::CatalogNode* big) {
    return tree.model()->rowCount() - window.ItemOf(big).row() - 1;
}

// What the user waits for after a command: the view has taken in the change (its delayed layout
// and the header's column width included) and the window is painted again.
void Settle(mwdx::CMarrowdexDlg& window) {
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
    window.repaint();
}

// The timed rounds, in a function of their own so that a profiler can be told to look at them
// alone (valgrind --toggle-collect='*EditRounds*'). Times in ms, one list per action.
[[gnu::noinline]] std::vector<std::vector<double>> EditRounds(mwdx::CMarrowdexDlg& window, mwdx::CTreeCtrlEx& tree,
                                                              mwdx::CatalogNode& bigNode, int children, int edits) {
    mwdx::CatalogModel& catalog = window.Catalog();
    mwdx::CatalogNode* big = &bigNode;
    std::vector<std::vector<double>> times(2 * kActionCount);
    for (int round = 0; round <= edits; ++round) {
        const std::string added = "Added " + std::to_string(round);
        const std::string renamed = "Renamed " + std::to_string(round);
        const bool timed = round > 0; // the first round warms up

        // Add Sub Catalog with Big selected, as the command does it once the dialog is answered.
        window.SelectItem(window.ItemOf(big));
        Stopwatch start;
        mwdx::CatalogNode* node = nullptr;
        mwdx::OpResult result =
            mwdx::AddCatalogOperation(catalog, window.HomeDirectory(), {big, added, "a new sub-catalog"}, &node);
        if (result.done) {
            window.ExpandItem(window.ItemOf(big));
        }
        Settle(window);
        if (timed) {
            Record(times, 0, start);
        }
        if (!result.done || node == nullptr || ShownBelow(window, tree, big) != children + 1 ||
            window.ItemOf(node).row() != window.ItemOf(big).row() + children + 1) {
            Fail("child: adding " + added + " failed: " + result.detail);
        }

        // Update on the new catalog: a new name and comment.
        window.SelectItem(window.ItemOf(node));
        Settle(window);
        start = Stopwatch();
        result = mwdx::EditNodeOperation(catalog, window.HomeDirectory(), *node, renamed, "renamed");
        if (result.done) {
            window.SetCommentText(node->Details().comment);
        }
        Settle(window);
        if (timed) {
            Record(times, 1, start);
        }
        if (!result.done || window.ItemOf(node).data().toString().toStdString() != renamed) {
            Fail("child: renaming " + added + " failed: " + result.detail);
        }

        // Delete, with its folder.
        start = Stopwatch();
        result = mwdx::DeleteNodeOperation(catalog, window.HomeDirectory(), *node, true);
        Settle(window);
        if (timed) {
            Record(times, 2, start);
        }
        if (!result.done || result.message != 0 || ShownBelow(window, tree, big) != children) {
            Fail("child: deleting " + renamed + " failed: " + result.detail);
        }

        // Delete from the middle, selected, with its folder (it has none on disk).
        const int middleRow = window.ItemOf(big).row() + 1 + children / 2;
        mwdx::CatalogNode* middle = window.ItemNode(tree.model()->index(middleRow, 0));
        const std::string middleName = middle->Details().fileName;
        window.SelectItem(window.ItemOf(middle));
        Settle(window);
        start = Stopwatch();
        result = mwdx::DeleteNodeOperation(catalog, window.HomeDirectory(), *middle, true);
        Settle(window);
        if (timed) {
            Record(times, 3, start);
        }
        if (!result.done || ShownBelow(window, tree, big) != children - 1 ||
            tree.model()->index(middleRow, 0).data().toString().toStdString() == middleName) {
            Fail("child: deleting " + middleName + " failed: " + result.detail);
        }
        const std::string refill = "Refill " + std::to_string(::getpid()) + " " + std::to_string(round);
        if (!mwdx::AddCatalogOperation(catalog, window.HomeDirectory(), {big, refill, ""}).done) {
            Fail("child: adding " + refill + " failed");
        }
        Settle(window);
    }
    return times;
}

int Child(const std::string& folder, int edits) {
    mwdx::bench::UseOffscreenPlatform();
    static int argc = 1;
    static char name[] = "marrowdex_tree_edit_bench";
    static char* argv[] = {name, nullptr};
    mwdx::CMarrowdexApp app(argc, argv);

    mwdx::CMarrowdexDlg window(folder, mwdx::MakeCommands);
    if (window.StartRefusal() != 0) {
        Fail("child: the knowledge base in " + folder + " cannot be opened");
    }
    window.show();
    auto* tree = window.findChild<mwdx::CTreeCtrlEx*>(QStringLiteral("catalogTree"));
    if (tree == nullptr) {
        Fail("child: the main window has no catalog tree");
    }
    const QModelIndex bigItem = window.GetRootItem();
    mwdx::CatalogNode* big = window.ItemNode(bigItem);
    if (big == nullptr || big->Details().fileName != "Big") {
        Fail("child: the first top-level catalog is not Big");
    }
    const int children = static_cast<int>(big->ChildCount());
    window.SelectItem(bigItem);
    window.ExpandItem(bigItem);
    Settle(window);
    if (!tree->isExpanded(window.ItemOf(big)) || ShownBelow(window, *tree, big) != children) {
        Fail("child: Big did not expand");
    }

    const std::vector<std::vector<double>> times = EditRounds(window, *tree, *big, children, edits);
    std::printf("edit children=%d", children);
    for (int series = 0; series < 2 * kActionCount; ++series) {
        std::printf(" %s%s=", kActions[series % kActionCount], series < kActionCount ? "" : "/cpu");
        for (std::size_t i = 0; i < times[series].size(); ++i) {
            std::printf("%s%.4f", i == 0 ? "" : ",", times[series][i]);
        }
    }
    std::printf("\n");
    std::fflush(stdout);
    ::_exit(0);
}

// ---- the parent --------------------------------------------------------------------------------

struct ChildTimes {
    int children = 0;
    std::vector<double> ms[2 * kActionCount]; // as EditRounds returns them
};

ChildTimes RunChild(const fs::path& folder, int edits) {
    const std::string folderText = folder.string();
    int readEnd = -1;
    std::string error;
    const pid_t pid = mwdx::bench::SpawnSelf(
        {"marrowdex_tree_edit_bench", "--child", folderText, std::to_string(edits)}, &readEnd, &error);
    if (pid < 0) {
        Fail(error);
    }
    std::string output;
    char buffer[4096];
    ssize_t n;
    while ((n = ::read(readEnd, buffer, sizeof buffer)) > 0 || (n < 0 && errno == EINTR)) {
        if (n > 0) {
            output.append(buffer, static_cast<std::size_t>(n));
        }
    }
    ::close(readEnd);
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        Fail("child on " + folderText + " failed: " + output);
    }
    ChildTimes result;
    std::istringstream words(output);
    std::string word;
    words >> word;
    if (word != "edit") {
        Fail("child printed: " + output);
    }
    while (words >> word) {
        const auto equals = word.find('=');
        const std::string key = word.substr(0, equals);
        std::istringstream values(word.substr(equals + 1));
        if (key == "children") {
            values >> result.children;
            continue;
        }
        for (int series = 0; series < 2 * kActionCount; ++series) {
            if (key == std::string(kActions[series % kActionCount]) + (series < kActionCount ? "" : "/cpu")) {
                for (std::string value; std::getline(values, value, ',');) {
                    result.ms[series].push_back(std::atof(value.c_str()));
                }
            }
        }
    }
    for (const auto& ms : result.ms) {
        if (static_cast<int>(ms.size()) != edits) {
            Fail("child printed: " + output);
        }
    }
    return result;
}

struct Options {
    std::vector<std::int64_t> sizes{100, 1000000};
    int repeats = 3;
    int edits = 5;
    bool keep = false;
    fs::path workDir;
};

constexpr const char* kUsage =
    "marrowdex_tree_edit_bench --work-dir=DIR [--sizes=100,1000000] [--repeats=N] [--edits=K] [--keep]\n"
    "       marrowdex_tree_edit_bench --child FOLDER EDITS\n"
    "  --sizes=...   children of the expanded catalog; the smallest is the reference\n"
    "  --repeats=N   fresh processes per size (default 3)\n"
    "  --edits=K     timed rounds of add, rename, delete, delete-mid in each process (default 5)\n"
    "  --keep        leave the sample program folders in DIR (for profiling a single child)";

Options ParseOptions(int argc, char** argv) {
    Options options;
    mwdx::bench::Options parser(kUsage);
    parser.Sizes("sizes", options.sizes)
        .Number("repeats", options.repeats)
        .Number("edits", options.edits)
        .Folder("work-dir", options.workDir)
        .Flag("keep", options.keep);
    if (!parser.Parse(argc, argv)) {
        std::exit(2);
    }
    return options;
}

// A program folder whose store holds Big with `children` sub-catalogs, configured, with a Home
// Directory of its own in which Big's folder exists; deleting a node deletes its folder.
fs::path BuildSample(const fs::path& workDir, std::int64_t children) {
    const fs::path folder = workDir / ("flat-" + std::to_string(children));
    const fs::path home = folder / "home";
    fs::create_directories(home / "Big");
    const std::string db = (folder / "mymwdx.db").string();
    std::string error;
    if (!mwdx::bench::BuildSampleCatalog(db, mwdx::bench::Shape::Flat, children + 1, nullptr, &error)) {
        Fail("cannot build the sample store: " + error);
    }
    sqlite3* handle = nullptr;
    const std::string sql = "UPDATE SYS_CONFIG SET ROOT_DIR='" + home.string() + "', DELDOC_AFTERDELNODE=1;";
    if (sqlite3_open(db.c_str(), &handle) != SQLITE_OK ||
        sqlite3_exec(handle, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) {
        Fail("cannot configure " + db);
    }
    sqlite3_close(handle);
    return folder;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::string_view(argv[1]) == "--child") {
        return Child(argv[2], std::max(1, std::atoi(argv[3])));
    }
    const Options options = ParseOptions(argc, argv);
#ifdef NDEBUG
    const char* build = "optimised build";
#else
    const char* build = "NOT an optimised build (assertions on): figures are not representative";
#endif
    std::printf("Marrowdex tree edits: add, rename and delete a sub-catalog at the end of an expanded catalog, and\n"
                "delete one from its middle, through the main window (offscreen) and the commands' operations, until\n"
                "the window is painted again (%s)\n\n",
                build);

    std::vector<fs::path> folders;
    for (const std::int64_t size : options.sizes) {
        const auto started = Clock::now();
        folders.push_back(BuildSample(options.workDir, size));
        std::printf("  sample: Big with %s sub-catalogs, built in %.1f s\n", SizeLabel(size).c_str(),
                    MsSince(started) / 1000);
        std::fflush(stdout);
    }

    // All the times of one size and action, over every process; the sizes take turns.
    std::map<std::int64_t, std::vector<double>> ms[2 * kActionCount];
    for (int r = 0; r < options.repeats; ++r) {
        for (std::size_t s = 0; s < options.sizes.size(); ++s) {
            const std::size_t first = (r % 2 == 0) ? s : options.sizes.size() - 1 - s;
            const ChildTimes child = RunChild(folders[first], options.edits);
            if (child.children != options.sizes[first]) {
                Fail("a child found " + std::to_string(child.children) + " children in Big");
            }
            for (int series = 0; series < 2 * kActionCount; ++series) {
                auto& all = ms[series][options.sizes[first]];
                all.insert(all.end(), child.ms[series].begin(), child.ms[series].end());
            }
        }
    }

    const std::int64_t reference = options.sizes.front();
    std::printf("\nms per edit: median [min - max] over %d processes x %d edits, elapsed (the targets') and CPU\n"
                "time; ratios of the medians to the same edit at %s children\n",
                options.repeats, options.edits, SizeLabel(reference).c_str());
    std::printf("  %-10s %9s | %28s %6s | %28s %6s | %s\n", "edit", "children", "elapsed ms", "ratio", "cpu ms",
                "ratio", "targets");
    const auto cell = [](const std::vector<double>& all) {
        char text[64];
        std::snprintf(text, sizeof text, "%.2f [%.2f - %.2f]", MedianOf(all), *std::min_element(all.begin(), all.end()),
                      *std::max_element(all.begin(), all.end()));
        return std::string(text);
    };
    for (int action = 0; action < kActionCount; ++action) {
        const double referenceWall = MedianOf(ms[action][reference]);
        const double referenceCpu = MedianOf(ms[kActionCount + action][reference]);
        for (const std::int64_t size : options.sizes) {
            const std::vector<double>& wall = ms[action][size];
            const std::vector<double>& cpu = ms[kActionCount + action][size];
            const double median = MedianOf(wall);
            const double ratio = median / referenceWall;
            std::printf("  %-10s %9s | %28s %6.2f | %28s %6.2f |", kActions[action], SizeLabel(size).c_str(),
                        cell(wall).c_str(), ratio, cell(cpu).c_str(), MedianOf(cpu) / referenceCpu);
            if (size != reference) {
                std::printf(" at most %.0f ms: %s, at most %.0fx: %s", kTargetMs, median <= kTargetMs ? "ok" : "MISSED",
                            kTargetRatio, ratio <= kTargetRatio ? "ok" : "MISSED");
            }
            std::printf("\n");
        }
    }

    if (options.keep) {
        std::printf("\nsample program folders kept in %s\n", options.workDir.c_str());
    } else {
        for (const fs::path& folder : folders) {
            std::error_code ignored;
            fs::remove_all(folder, ignored);
        }
    }
    return 0;
}
