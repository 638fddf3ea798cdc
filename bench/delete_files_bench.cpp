// Deleting one document with its file, against deleting one without, in a store of N nodes: the
// check that no other node uses the file, the journal's steps and the file's removal are what the
// first costs more. Both run the delete command's operation on the same loaded tree, in turn.
//
//   marrowdex_delete_files_bench --work-dir=DIR [--sizes=100000,1000000] [--repeats=N]

#include "bench_common.h"
#include "catalog/loader.h"
#include "operations/delete_node.h"
#include "sample_catalog.h"
#include "store/connection.h"
#include "store/settings.h"
#include "store/statements.h"
#include "store/store_session.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <vector>

namespace fs = std::filesystem;
using mwdx::bench::InTurn;

namespace {

double Milliseconds(const std::chrono::steady_clock::time_point& start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

double Best(std::vector<double> values) {
    return *std::min_element(values.begin(), values.end());
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

struct Figures {
    std::vector<double> withFiles;
    std::vector<double> withoutFiles;
};

bool Measure(const fs::path& workDir, std::int64_t rows, int repeats, Figures& figures) {
    const fs::path db = workDir / ("sample-" + std::to_string(rows) + ".db");
    const fs::path home = workDir / ("home-" + std::to_string(rows));
    std::string error;
    fs::remove(db);
    if (!mwdx::bench::BuildSampleCatalog(db.string(), mwdx::bench::Shape::Wide, rows, nullptr, &error)) {
        std::fprintf(stderr, "cannot build the sample: %s\n", error.c_str());
        return false;
    }
    // The Home Directory of the sample made real, so that files can be deleted in it.
    fs::remove_all(home);
    fs::create_directories(home);
    mwdx::OpenStore(db.string());
    mwdx::ExecStatement("update SYS_CONFIG set ROOT_DIR='" + mwdx::EscapeSqlText(home.string()) + "';");
    mwdx::CloseStore();
    if (mwdx::StartStore(db.string()).status != mwdx::StoreStart::kReady) {
        std::fprintf(stderr, "cannot open the sample\n");
        return false;
    }
    mwdx::LoadSettings();
    mwdx::CatalogModel catalog;
    mwdx::LoadCatalog(catalog);

    // Documents in different catalogs, two for every round: one deleted each way.
    std::vector<mwdx::CatalogNode*> documents;
    mwdx::ForEachDescendant(*catalog.RootNode(), [&](const mwdx::CatalogNode& node) {
        if (!node.IsCatalog() && documents.size() < static_cast<std::size_t>(2 * repeats + 2) &&
            (documents.empty() || documents.back()->Parent() != node.Parent())) {
            documents.push_back(const_cast<mwdx::CatalogNode*>(&node));
        }
    });
    for (mwdx::CatalogNode* document : documents) {
        fs::create_directories(fs::path(document->Path()).parent_path());
        std::ofstream(document->Path()) << "a document";
    }
    const std::string homeText = home.string();
    std::size_t next = 0;
    for (int round = -1; round < repeats; ++round) { // round -1 warms up, untimed
        mwdx::CatalogNode* withFiles = documents[next++];
        mwdx::CatalogNode* withoutFiles = documents[next++];
        double a = 0;
        double b = 0;
        InTurn(
            round + 1,
            [&] {
                const auto start = std::chrono::steady_clock::now();
                mwdx::DeleteNodeOperation(catalog, homeText, *withoutFiles, false);
                a = Milliseconds(start);
            },
            [&] {
                const std::string path = withFiles->Path();
                const auto start = std::chrono::steady_clock::now();
                const mwdx::OpResult result = mwdx::DeleteNodeOperation(catalog, homeText, *withFiles, true);
                b = Milliseconds(start);
                if (!result.done || fs::exists(path)) {
                    std::fprintf(stderr, "the delete with files failed: %s\n", result.detail.c_str());
                    std::exit(1);
                }
            });
        if (round >= 0) {
            figures.withoutFiles.push_back(a);
            figures.withFiles.push_back(b);
        }
    }
    catalog.Clear();
    mwdx::FreeSettings();
    mwdx::StopStore();
    fs::remove_all(home);
    fs::remove(db);
    return true;
}

} // namespace

int main(int argc, char** argv) {
    mwdx::bench::SizedRunOptions options;
    options.sizes = {100000, 1000000};
    options.repeats = 9;
    if (!mwdx::bench::ParseSizedRunOptions(
            argc, argv, options,
            "marrowdex_delete_files_bench --work-dir=DIR [--sizes=100000,1000000] [--repeats=N]")) {
        return 2;
    }
    std::printf("Deleting one document of a wide store of N nodes, with its file and without (ms, best of %d,\n"
                "median in brackets; ratio from the medians; the two alternate on one loaded tree)\n\n",
                options.repeats);
    std::printf("%8s | %17s %17s %7s %6s\n", "N", "with file", "without", "ratio", "<= 2");
    for (const std::int64_t rows : options.sizes) {
        Figures figures;
        if (!Measure(options.workDir, rows, options.repeats, figures)) {
            return 1;
        }
        const double ratio = Median(figures.withFiles) / Median(figures.withoutFiles);
        char with[32];
        char without[32];
        std::snprintf(with, sizeof with, "%.2f (%.2f)", Best(figures.withFiles), Median(figures.withFiles));
        std::snprintf(without, sizeof without, "%.2f (%.2f)", Best(figures.withoutFiles), Median(figures.withoutFiles));
        std::printf("%8lld | %17s %17s %7.2f %6s\n", static_cast<long long>(rows), with, without, ratio,
                    ratio <= 2 ? "ok" : "MISSED");
        std::fflush(stdout);
    }
    return 0;
}
