// Importing a folder tree of F files in D folders: copied in, against `cp -r` followed by `sync`;
// taken in place, against `find` over it plus inserting the same rows in one transaction.
//
//   marrowdex_import_bench --work-dir=DIR [--sizes=100000] [--repeats=N]     (sizes: files; ten a folder)

#include "bench_common.h"
#include "catalog/loader.h"
#include "operations/import_folder.h"
#include "store/connection.h"
#include "store/fresh_database.h"
#include "store/settings.h"
#include "store/statements.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sqlite3.h>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using mwdx::bench::BestOf;
using mwdx::bench::MedianOf;

namespace {

double Seconds(const std::chrono::steady_clock::time_point& start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void Shell(const std::string& command) {
    mwdx::bench::RunTool({"sh", "-c", "{ " + command + "; } >/dev/null 2>&1"});
}

// A fresh store whose Home Directory is `home`, opened as the program's.
void FreshStore(const fs::path& db, const fs::path& home) {
    fs::remove(db);
    std::string error;
    mwdx::CreateFreshDatabase(db.string(), &error);
    mwdx::OpenStore(db.string());
    mwdx::ExecStatement("update SYS_CONFIG set ROOT_DIR='" + mwdx::EscapeSqlText(home.string()) +
                        "', FIRST_RUNNING=0;");
    mwdx::LoadSettings();
}

void CloseStore() {
    mwdx::FreeSettings();
    mwdx::CloseStore();
}

// The rows a plain program would write for the same tree: one prepared insert each, one transaction.
void PlainRows(const fs::path& db, const fs::path& tree) {
    sqlite3* handle = nullptr;
    sqlite3_open(db.string().c_str(), &handle);
    sqlite3_exec(handle, "BEGIN;", nullptr, nullptr, nullptr);
    sqlite3_stmt* insert = nullptr;
    sqlite3_prepare_v2(handle,
                       "INSERT INTO FILE_NODE (FILE_NAME,PARENT_ID,COMMENT,FILETYPE,RAW_FILE_NAME,PATH_LEVEL) "
                       "VALUES (?,?,'',?,?,?);",
                       -1, &insert, nullptr);
    for (auto it = fs::recursive_directory_iterator(tree); it != fs::recursive_directory_iterator(); ++it) {
        const fs::directory_entry& entry = *it;
        const std::string name = entry.path().filename().string();
        sqlite3_reset(insert);
        sqlite3_bind_text(insert, 1, name.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_int64(insert, 2, 1);
        sqlite3_bind_int(insert, 3, entry.is_directory() ? 0 : 1);
        sqlite3_bind_text(insert, 4, entry.is_directory() ? "" : name.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_int(insert, 5, it.depth() + 2);
        sqlite3_step(insert);
    }
    sqlite3_finalize(insert);
    sqlite3_exec(handle, "COMMIT;", nullptr, nullptr, nullptr);
    sqlite3_close(handle);
}

} // namespace

int main(int argc, char** argv) {
    mwdx::bench::SizedRunOptions options;
    options.sizes = {100000};
    options.repeats = 3;
    if (!mwdx::bench::ParseSizedRunOptions(argc, argv, options,
                                           "marrowdex_import_bench --work-dir=DIR [--sizes=100000] [--repeats=N]")) {
        return 2;
    }
    std::printf("Importing a tree of N files, ten a folder (1 KiB each); s, best of %d (median); ratio from\n"
                "the bests; the two sides in turn\n\n",
                options.repeats);
    std::printf("%8s | %-8s | %17s %17s %7s %s\n", "N", "import", "marrowdex", "reference", "ratio", "target");
    for (const std::int64_t files : options.sizes) {
        const fs::path work = options.workDir / std::to_string(files);
        const fs::path source = work / "source" / "Archive";
        fs::remove_all(work);
        const std::string block(1024, 'k');
        for (std::int64_t i = 0; i < files; ++i) {
            const fs::path folder = source / ("Folder " + std::to_string(i / 10));
            if (i % 10 == 0) {
                fs::create_directories(folder);
            }
            std::ofstream(folder / ("file " + std::to_string(i) + ".txt")) << block;
        }
        std::vector<double> copyOurs, copyTheirs, placeOurs, placeTheirs;
        for (int round = 0; round < options.repeats; ++round) {
            const fs::path home = work / ("home" + std::to_string(round));
            const fs::path plain = work / ("plain" + std::to_string(round));
            const fs::path db = work / "bench.db";
            fs::create_directories(home);
            fs::create_directories(plain);
            Shell("sync");
            mwdx::bench::InTurn(
                round,
                [&] {
                    FreshStore(db, home);
                    mwdx::CatalogModel catalog;
                    mwdx::LoadCatalog(catalog);
                    const auto start = std::chrono::steady_clock::now();
                    const mwdx::ImportResult result =
                        mwdx::ImportOperation(catalog, home.string(), nullptr, source.string(), false);
                    Shell("sync");
                    copyOurs.push_back(Seconds(start));
                    if (!result.result.done || result.documents != static_cast<std::size_t>(files)) {
                        std::fprintf(stderr, "the import failed: %s\n", result.result.detail.c_str());
                        std::exit(1);
                    }
                    catalog.Clear();
                    CloseStore();
                },
                [&] {
                    const auto start = std::chrono::steady_clock::now();
                    Shell("cp -r '" + source.string() + "' '" + plain.string() + "/' && sync");
                    copyTheirs.push_back(Seconds(start));
                });
            // In place: the copy just made, its rows taken again into a fresh store.
            const fs::path inPlace = home / "Archive";
            mwdx::bench::InTurn(
                round,
                [&] {
                    FreshStore(db, home);
                    mwdx::CatalogModel catalog;
                    mwdx::LoadCatalog(catalog);
                    const auto start = std::chrono::steady_clock::now();
                    const mwdx::ImportResult result =
                        mwdx::ImportOperation(catalog, home.string(), nullptr, inPlace.string(), false);
                    placeOurs.push_back(Seconds(start));
                    if (!result.result.done || result.documents != static_cast<std::size_t>(files)) {
                        std::fprintf(stderr, "the import in place failed: %s\n", result.result.detail.c_str());
                        std::exit(1);
                    }
                    catalog.Clear();
                    CloseStore();
                },
                [&] {
                    FreshStore(db, home);
                    CloseStore();
                    const auto start = std::chrono::steady_clock::now();
                    Shell("find '" + inPlace.string() + "'");
                    PlainRows(db, inPlace);
                    placeTheirs.push_back(Seconds(start));
                });
            fs::remove_all(home);
            fs::remove_all(plain);
        }
        const auto row = [&](const char* what, const std::vector<double>& ours, const std::vector<double>& theirs,
                             double target) {
            char a[40];
            char b[40];
            std::snprintf(a, sizeof a, "%.2f (%.2f)", BestOf(ours), MedianOf(ours));
            std::snprintf(b, sizeof b, "%.2f (%.2f)", BestOf(theirs), MedianOf(theirs));
            const double ratio = BestOf(ours) / BestOf(theirs);
            std::printf("%8lld | %-8s | %17s %17s %7.2f <= %.1f %s\n", static_cast<long long>(files), what, a, b, ratio,
                        target, ratio <= target ? "ok" : "MISSED");
        };
        row("copy", copyOurs, copyTheirs, 1.5);
        row("in place", placeOurs, placeTheirs, 3.0);
        std::fflush(stdout);
        fs::remove_all(work);
    }
    return 0;
}
