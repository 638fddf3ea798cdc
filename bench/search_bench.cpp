// Search benchmark: typing into the main window's search field over a catalog of a million nodes.
//
// The core's filtering per keystroke (fold the text, scan the folded names and comments, gather
// the matches with their catalogs) is timed against a plain scan of the same strings in the same
// run (std::string::find over every node's name and comment, as stored, case kept). Then the
// same keystrokes are typed into the real window (offscreen): the time from each key to the
// tree showing its matches, and the longest the window went without handling events meanwhile
// (a 1 ms timer that stops ticking while the window's thread is busy). Last, where a keystroke's
// time goes in the window, each step timed on its own: the scan, gathering the matches with their
// catalogs, the shown rows, the view's reset, its layout and paint; and the memory a search leaves.
// Prints figures and ratios; never passes or fails on speed.

#include "app/marrowdex_app.h"
#include "app/catalog_tree_model.h"
#include "app/marrowdex_dlg.h"
#include "app/tree_ctrl_ex.h"
#include "commands/command_list.h"
#include "bench_common.h"
#include "catalog/search.h"
#include "catalog/visible_rows.h"
#include "offscreen.h"
#include "sample_catalog.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <malloc.h>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using mwdx::bench::MedianOf;
using mwdx::bench::ResidentMb;

constexpr double kTargetMs = 100;
constexpr double kTargetRatio = 2;

[[noreturn]] void Fail(const std::string& what) {
    std::fflush(stdout);
    std::fprintf(stderr, "\nsearch_bench: FATAL: %s\n", what.c_str());
    std::exit(1);
}

double Ms(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// The keystrokes: each word typed letter by letter (UTF-8 prefixes at character boundaries).
std::vector<std::string> Keystrokes(const std::vector<std::string>& words) {
    std::vector<std::string> typed;
    for (const std::string& word : words) {
        for (std::size_t end = 1; end <= word.size(); ++end) {
            if (end == word.size() || (static_cast<unsigned char>(word[end]) & 0xC0) != 0x80) {
                typed.push_back(word.substr(0, end));
            }
        }
    }
    return typed;
}

struct CoreFigures {
    std::size_t matches = 0;
    double filterMs = 0; // fold + scan + the shown tree
    double scanMs = 0;   // fold + scan alone
    double plainMs = 0;
    std::size_t plainMatches = 0; // case kept: the same as `matches` for text without case
};

// Nodes in walk order, for the plain scan.
std::vector<const mwdx::CatalogNode*> AllNodes(const mwdx::CatalogNode& root) {
    std::vector<const mwdx::CatalogNode*> nodes;
    mwdx::ForEachDescendant(root, [&](const mwdx::CatalogNode& node) { nodes.push_back(&node); });
    return nodes;
}

CoreFigures MeasureCore(const mwdx::CatalogSearch& search, const mwdx::CatalogNode& root,
                        const std::vector<const mwdx::CatalogNode*>& nodes, const std::string& text, int repeats) {
    std::vector<double> filter;
    std::vector<double> scan;
    std::vector<double> plain;
    CoreFigures figures;
    std::size_t plainMatches = 0;
    for (int round = 0; round < repeats; ++round) {
        mwdx::bench::InTurn(
            round,
            [&] {
                const auto start = Clock::now();
                std::vector<const mwdx::CatalogNode*> matches;
                search.FindIn(mwdx::FoldCase(text), 0, search.Places(), matches);
                scan.push_back(Ms(start));
                mwdx::ShownTreeBuilder builder(root);
                builder.Add(matches);
                const mwdx::ShownTree shown = builder.Finish();
                filter.push_back(Ms(start));
                figures.matches = shown.matches;
            },
            [&] {
                const auto start = Clock::now();
                std::size_t found = 0;
                for (const mwdx::CatalogNode* node : nodes) {
                    const mwdx::NodeDetails& details = node->Details();
                    found += details.fileName.find(text) != std::string::npos ||
                             details.comment.find(text) != std::string::npos;
                }
                plain.push_back(Ms(start));
                plainMatches = found;
            });
    }
    figures.plainMatches = plainMatches;
    figures.filterMs = MedianOf(filter);
    figures.scanMs = MedianOf(scan);
    figures.plainMs = MedianOf(plain);
    return figures;
}

struct WindowFigures {
    double keyToResultMs = 0;
    double longestFrozenMs = 0;
    QString matches;
};

void SendKey(QWidget* field, const QString& text, int key) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QApplication::sendEvent(field, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, text);
    QApplication::sendEvent(field, &release);
}

// Types `character` and waits until the count of matches shows again.
WindowFigures TypeAndWait(QLineEdit* field, QLabel* count, const QString& character, int key) {
    WindowFigures figures;
    count->clear();
    auto last = Clock::now();
    QTimer ticker;
    ticker.setInterval(1);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        figures.longestFrozenMs = std::max(figures.longestFrozenMs, Ms(last));
        last = Clock::now();
    });
    ticker.start();
    const auto start = Clock::now();
    // From the event loop, so the ticker sees how long the key itself keeps the thread.
    QTimer::singleShot(0, field, [&] {
        last = Clock::now();
        SendKey(field, character, key);
    });
    while (count->text().isEmpty()) {
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
        if (Ms(start) > 60000) {
            Fail("no result after a minute");
        }
    }
    figures.keyToResultMs = Ms(start);
    figures.longestFrozenMs = std::max(figures.longestFrozenMs, Ms(last));
    figures.matches = count->text();
    return figures;
}

// What the window waits for after the model changed: the view's delayed layout and the header's
// column width taken in (posted events and zero timers), then the window painted.
double LayOutMs() {
    const auto start = Clock::now();
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
    return Ms(start);
}

struct StepFigures {
    std::size_t matches = 0;
    double scan = 0, gather = 0, finish = 0, rows = 0, setFilter = 0, layout = 0, paint = 0;
    // `rows` is inside `setFilter`.
    double Total() const { return scan + gather + finish + setFilter + layout + paint; }
};

// One keystroke's work as the window does it, step by step: scan and gather (done in slices in the
// window), finish the shown tree, the shown rows alone (a VisibleRows of its own on a copy), the
// model's SetFilter (the same rows again, inside the model and view reset), the view's layout, the
// paint.
StepFigures MeasureSteps(mwdx::CMarrowdexDlg& window, mwdx::CatalogTreeModel& model, const mwdx::CatalogSearch& search,
                         mwdx::CatalogNode& root, const std::string& text) {
    StepFigures steps;
    auto start = Clock::now();
    std::vector<const mwdx::CatalogNode*> matches;
    search.FindIn(mwdx::FoldCase(text), 0, search.Places(), matches);
    steps.scan = Ms(start);
    start = Clock::now();
    mwdx::ShownTreeBuilder builder(root);
    builder.Add(matches);
    steps.gather = Ms(start);
    start = Clock::now();
    mwdx::ShownTree shown = builder.Finish();
    steps.finish = Ms(start);
    steps.matches = shown.matches;
    {
        mwdx::ShownTree copy = shown;
        mwdx::VisibleRows rows;
        start = Clock::now();
        rows.ResetShown(&root, copy);
        steps.rows = Ms(start);
    }
    start = Clock::now();
    model.SetFilter(shown);
    steps.setFilter = Ms(start);
    steps.layout = LayOutMs();
    start = Clock::now();
    window.repaint();
    steps.paint = Ms(start);
    return steps;
}

int Run(const fs::path& work, std::int64_t rows, int repeats) {
    const fs::path folder = work / "program";
    fs::create_directories(folder);
    mwdx::bench::SampleStats stats;
    std::string error;
    if (!mwdx::bench::BuildSampleCatalog((folder / "mymwdx.db").string(), mwdx::bench::Shape::Wide, rows, &stats,
                                         &error)) {
        Fail(error);
    }
    mwdx::bench::UseOffscreenPlatform();
    static int argc = 1;
    static char name[] = "marrowdex_search_bench";
    static char* argv[] = {name, nullptr};
    mwdx::CMarrowdexApp app(argc, argv);
    mwdx::CMarrowdexDlg window(folder.string(), mwdx::MakeCommands);
    if (window.StartRefusal() != 0) {
        Fail("the sample knowledge base cannot be opened");
    }
    window.show();
    QApplication::processEvents();
    const mwdx::CatalogNode* root = window.Catalog().RootNode();
    if (root == nullptr) {
        Fail("the sample catalog is empty");
    }

    const std::vector<std::string> words = {"minutes", "2015-04", "Review", "会议记录"};
    const std::vector<std::string> typed = Keystrokes(words);
    std::printf("search over %zu nodes (%s shape), medians of %d runs\n\n", window.Catalog().NodeCount(), "wide",
                repeats);

    // The core.
    mwdx::CatalogSearch search;
    const auto buildStart = Clock::now();
    search.Build(*root);
    const double buildMs = Ms(buildStart);
    const std::vector<const mwdx::CatalogNode*> nodes = AllNodes(*root);
    std::printf("folding every name and comment once: %.1f ms (%.1f MB of folded text)\n\n", buildMs,
                static_cast<double>(search.TextBytes()) / 1e6);
    std::printf("%-14s %9s %9s %11s %9s %10s %12s %12s\n", "typed", "matches", "plain", "filter ms", "scan ms",
                "plain ms", "filter/plain", "scan/plain");
    std::vector<double> filterMs;
    std::vector<double> ratios;
    std::vector<double> scanRatios;
    for (const std::string& text : typed) {
        const CoreFigures figures = MeasureCore(search, *root, nodes, text, repeats);
        std::printf("%-14s %9zu %9zu %11.1f %9.1f %10.1f %12.2f %12.2f\n", text.c_str(), figures.matches,
                    figures.plainMatches, figures.filterMs, figures.scanMs, figures.plainMs,
                    figures.filterMs / figures.plainMs, figures.scanMs / figures.plainMs);
        filterMs.push_back(figures.filterMs);
        ratios.push_back(figures.filterMs / figures.plainMs);
        scanRatios.push_back(figures.scanMs / figures.plainMs);
    }
    std::printf("\nper keystroke: median %.1f ms, slowest %.1f ms (target at most %.0f ms)\n", MedianOf(filterMs),
                *std::max_element(filterMs.begin(), filterMs.end()), kTargetMs);
    std::printf("against the plain scan: median %.2f, largest %.2f (target at most %.1f); the scan alone: "
                "median %.2f, largest %.2f\n\n",
                MedianOf(ratios), *std::max_element(ratios.begin(), ratios.end()), kTargetRatio, MedianOf(scanRatios),
                *std::max_element(scanRatios.begin(), scanRatios.end()));

    // The window.
    auto* field = window.findChild<QLineEdit*>(QStringLiteral("searchEdit"));
    auto* count = window.findChild<QLabel*>(QStringLiteral("matchCount"));
    if (field == nullptr || count == nullptr) {
        Fail("the main window has no search field");
    }
    field->setFocus();
    std::printf("%-14s %9s %16s %18s\n", "typed in window", "matches", "key to result ms", "longest frozen ms");
    std::vector<double> keyMs;
    std::vector<double> frozenMs;
    for (const std::string& word : words) {
        const QString text = QString::fromStdString(word);
        for (const QChar character : text) {
            const WindowFigures figures = TypeAndWait(field, count, QString(character), character.toUpper().unicode());
            std::printf("%-14s %9s %16.1f %18.1f\n", field->text().toStdString().c_str(),
                        figures.matches.toStdString().c_str(), figures.keyToResultMs, figures.longestFrozenMs);
            keyMs.push_back(figures.keyToResultMs);
            frozenMs.push_back(figures.longestFrozenMs);
        }
        // Escape: the whole tree again.
        const auto start = Clock::now();
        SendKey(field, QString(), Qt::Key_Escape);
        QApplication::processEvents();
        std::printf("%-14s %9s %16.1f\n", "Escape", "", Ms(start));
        field->setFocus();
    }
    std::printf("\nin the window: key to result median %.1f ms, slowest %.1f ms (the first key folds the "
                "catalog once); longest frozen frame %.1f ms (median %.1f)\n",
                MedianOf(keyMs), *std::max_element(keyMs.begin(), keyMs.end()),
                *std::max_element(frozenMs.begin(), frozenMs.end()), MedianOf(frozenMs));
    std::fflush(stdout);

    // Where the time goes, step by step (medians of the runs), and what a search leaves in memory.
    auto* tree = window.findChild<mwdx::CTreeCtrlEx*>(QStringLiteral("catalogTree"));
    mwdx::CatalogTreeModel* model = tree != nullptr ? tree->CatalogModel() : nullptr;
    if (model == nullptr) {
        Fail("the main window has no catalog tree");
    }
    mwdx::CatalogNode& rootNode = *window.Catalog().RootNode();
    std::printf("\nwhere a keystroke's time goes in the window, ms (medians of %d runs; in the window the scan and\n"
                "the gathering run in slices between which it handles events, the rest in one piece):\n",
                repeats);
    std::printf("(rows: the shown rows alone, also inside `set filter`, which is them with the model and view reset)\n");
    std::printf("%-14s %9s %7s %7s %7s %7s %7s %7s %7s %7s\n", "typed", "matches", "scan", "gather", "finish",
                "rows", "set filt", "layout", "paint", "total");
    const double beforeMb = ResidentMb();
    double searchedMb = 0;
    for (const std::string& text : typed) {
        std::vector<StepFigures> runs;
        for (int round = 0; round < repeats; ++round) {
            runs.push_back(MeasureSteps(window, *model, search, rootNode, text));
            searchedMb = std::max(searchedMb, ResidentMb());
            model->ClearFilter({});
            LayOutMs();
        }
        const auto median = [&](double StepFigures::*field) {
            std::vector<double> values;
            for (const StepFigures& run : runs) {
                values.push_back(run.*field);
            }
            return MedianOf(values);
        };
        std::vector<double> totals;
        for (const StepFigures& run : runs) {
            totals.push_back(run.Total());
        }
        std::printf("%-14s %9zu %7.1f %7.1f %7.1f %7.1f %7.1f %7.1f %7.1f %7.1f\n", text.c_str(), runs.front().matches,
                    median(&StepFigures::scan), median(&StepFigures::gather), median(&StepFigures::finish),
                    median(&StepFigures::rows), median(&StepFigures::setFilter), median(&StepFigures::layout),
                    median(&StepFigures::paint), MedianOf(totals));
    }
    const double clearedMb = ResidentMb();
    ::malloc_trim(0);
    std::printf("\nresident memory: %.1f MB with the window's search index and the bench's own, at most %.1f MB during\n"
                "the searches, %.1f MB once cleared, %.1f MB after malloc_trim(0) (what the allocator kept unused)\n",
                beforeMb, searchedMb, clearedMb, ResidentMb());
    std::fflush(stdout);
    ::_exit(0);
}

} // namespace

int main(int argc, char** argv) {
    mwdx::bench::SizedRunOptions options;
    options.sizes = {1000000};
    if (!mwdx::bench::ParseSizedRunOptions(argc, argv, options,
                                           "marrowdex_search_bench --work-dir=DIR [--sizes=ROWS] [--repeats=N]")) {
        return 2;
    }
    return Run(options.workDir, options.sizes.back(), options.repeats);
}
