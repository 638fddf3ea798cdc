// Search benchmark: typing into the main window's search field over a catalog of a million nodes.
//
// The core's filtering per keystroke (fold the text, scan the folded names and comments, gather
// the matches with their catalogs) is timed against a plain scan of the same strings in the same
// run (std::string::find over every node's name and comment, as stored, case kept). Then the
// same keystrokes are typed into the real window (offscreen): the time from each key to the
// tree showing its matches, and the longest the window went without handling events meanwhile
// (a 1 ms timer that stops ticking while the window's thread is busy).
// Prints figures and ratios; never passes or fails on speed.

#include "app/marrowdex_app.h"
#include "app/marrowdex_dlg.h"
#include "commands/command_list.h"
#include "bench_common.h"
#include "catalog/search.h"
#include "offscreen.h"
#include "sample_catalog.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>
#include <QTreeView>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using mwdx::bench::MedianOf;

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
                const mwdx::ShownTree shown = mwdx::ShowMatches(matches, root);
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
