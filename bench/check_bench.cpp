// The health check of a knowledge base of N nodes whose files and folders all exist, as the
// marrowdex-check process, against `find` over its Home Directory plus the `sqlite3` shell dumping
// FILE_NODE, in the same run: what reading both sides costs at the least.
//
//   marrowdex_check_bench --work-dir=DIR --check-tool=PATH [--sizes=10000,100000] [--repeats=N]

#include "bench_common.h"
#include "catalog/loader.h"
#include "sample_catalog.h"
#include "store/connection.h"
#include "store/settings.h"
#include "store/statements.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using mwdx::bench::BestOf;
using mwdx::bench::MedianOf;

namespace {

double Seconds(const std::chrono::steady_clock::time_point& start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Runs `command` with sh, its output thrown away; the time it took.
double Timed(const std::string& command) {
    const auto start = std::chrono::steady_clock::now();
    // The check exits 1 when it finds something; only a failure to run matters here.
    mwdx::bench::RunTool({"sh", "-c", "{ " + command + "; } >/dev/null 2>&1 || true"});
    return Seconds(start);
}

std::string Quoted(const std::string& text) {
    return "'" + text + "'";
}

} // namespace

int main(int argc, char** argv) {
    std::string tool;
    mwdx::bench::SizedRunOptions options;
    options.sizes = {10000, 100000};
    options.repeats = 5;
    if (!mwdx::bench::ParseSizedRunOptions(
            argc, argv, options,
            "marrowdex_check_bench --work-dir=DIR --check-tool=PATH [--sizes=10000,100000] [--repeats=N]",
            [&](mwdx::bench::Options& more) { more.Text("check-tool", tool, true); })) {
        return 2;
    }
    std::printf("The health check as a process (marrowdex-check) against find over the Home Directory plus\n"
                "sqlite3 dumping FILE_NODE; s, best of %d (median); ratio from the bests; order alternating\n\n",
                options.repeats);
    std::printf("%8s | %17s %17s %7s %6s\n", "N", "marrowdex-check", "find + sqlite3", "ratio", "<= 3");
    for (const std::int64_t rows : options.sizes) {
        const fs::path db = options.workDir / ("check-" + std::to_string(rows) + ".db");
        const fs::path home = options.workDir / ("home-" + std::to_string(rows));
        std::string error;
        fs::remove(db);
        fs::remove_all(home);
        if (!mwdx::bench::BuildSampleCatalog(db.string(), mwdx::bench::Shape::Wide, rows, nullptr, &error)) {
            std::fprintf(stderr, "cannot build the sample: %s\n", error.c_str());
            return 1;
        }
        // Every node's folder or file made real under a real Home Directory, with the page's script.
        mwdx::OpenStore(db.string());
        mwdx::ExecStatement("update SYS_CONFIG set ROOT_DIR='" + mwdx::EscapeSqlText(home.string()) + "';");
        mwdx::LoadSettings();
        mwdx::CatalogModel catalog;
        mwdx::LoadCatalog(catalog);
        fs::create_directories(home / "js");
        std::ofstream(home / "js" / "dtree.js");
        std::ofstream(home / "js" / "dtree.css");
        mwdx::ForEachDescendant(*catalog.RootNode(), [](const mwdx::CatalogNode& node) {
            if (node.IsCatalog()) {
                fs::create_directories(node.Path());
            } else {
                std::ofstream(node.Path());
            }
        });
        catalog.Clear();
        mwdx::FreeSettings();
        mwdx::CloseStore();

        const std::string check = Quoted(tool) + " " + Quoted(db.string());
        const std::string reference =
            "find " + Quoted(home.string()) + " && sqlite3 " + Quoted(db.string()) + " '.dump FILE_NODE'";
        std::vector<double> ours;
        std::vector<double> theirs;
        Timed(check); // warms the page cache for both
        Timed(reference);
        for (int round = 0; round < options.repeats; ++round) {
            mwdx::bench::InTurn(
                round, [&] { ours.push_back(Timed(check)); }, [&] { theirs.push_back(Timed(reference)); });
        }
        const double ratio = BestOf(ours) / BestOf(theirs);
        char a[40];
        char b[40];
        std::snprintf(a, sizeof a, "%.3f (%.3f)", BestOf(ours), MedianOf(ours));
        std::snprintf(b, sizeof b, "%.3f (%.3f)", BestOf(theirs), MedianOf(theirs));
        std::printf("%8lld | %17s %17s %7.2f %6s\n", static_cast<long long>(rows), a, b, ratio,
                    ratio <= 3 ? "ok" : "MISSED");
        std::fflush(stdout);
        fs::remove_all(home);
        fs::remove(db);
    }
    return 0;
}
