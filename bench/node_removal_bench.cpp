// Node removal benchmark: how long RemoveNode takes to delete a large catalog (its rows and its
// nodes), against one plain "delete from FILE_NODE where FILE_ID in (...)" of the same rows on an
// identical copy of the store, in the same run; and how long RebuildPaths takes after renaming
// such a catalog, against a plain walk that computes the same path strings. Prints figures and
// ratios; never passes or fails on speed.

#include "bench_common.h"
#include "catalog/insert_remove.h"
#include "catalog/loader.h"
#include "catalog/model.h"
#include "catalog/paths.h"
#include "operations/move_node.h"
#include "sample_catalog.h"
#include "store/connection.h"
#include "store/settings.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <sqlite3.h>
#include <string>
#include <string_view>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using mwdx::bench::BestOf;
using mwdx::bench::MedianOf;

constexpr double kTargetRemovalRatio = 3.0;
constexpr std::int64_t kRowsBeside = 20000; // other projects next to the removed catalog
constexpr std::string_view kBigCatalog = "Archive";

[[noreturn]] void Fail(const std::string& what) {
    std::fflush(stdout);
    std::fprintf(stderr, "\nnode_removal_bench: FATAL: %s\n", what.c_str());
    std::exit(1);
}

double Seconds(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

void Exec(sqlite3* db, const std::string& sql) {
    char* message = nullptr;
    if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
        const std::string reason = message != nullptr ? message : sqlite3_errmsg(db);
        sqlite3_free(message);
        Fail(sql.substr(0, 80) + ": " + reason);
    }
}

// Appends a top-level catalog with exactly `descendants` nodes below it: year catalogs of
// case catalogs of 40 documents, four levels in all.
void AddBigCatalog(const std::string& path, std::int64_t descendants) {
    sqlite3* db = nullptr;
    if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) {
        Fail("cannot open " + path);
    }
    Exec(db, "BEGIN;");
    sqlite3_stmt* insert = nullptr;
    if (sqlite3_prepare_v2(db,
                           "INSERT INTO FILE_NODE (FILE_NAME,PARENT_ID,COMMENT,FILETYPE,RAW_FILE_NAME,PATH_LEVEL) "
                           "VALUES (?,?,'',?,?,?);",
                           -1, &insert, nullptr) != SQLITE_OK) {
        Fail(std::string("prepare: ") + sqlite3_errmsg(db));
    }
    std::int64_t budget = descendants + 1;
    const auto add = [&](std::int64_t parent, int level, bool document, const std::string& name) -> std::int64_t {
        if (budget == 0) {
            return 0;
        }
        --budget;
        sqlite3_reset(insert);
        sqlite3_bind_text(insert, 1, name.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_int64(insert, 2, parent);
        sqlite3_bind_int(insert, 3, document ? mwdx::kDocumentType : mwdx::kCatalogType);
        sqlite3_bind_text(insert, 4, document ? name.c_str() : "", -1, SQLITE_TRANSIENT);
        sqlite3_bind_int(insert, 5, level);
        if (sqlite3_step(insert) != SQLITE_DONE) {
            Fail(std::string("insert: ") + sqlite3_errmsg(db));
        }
        return sqlite3_last_insert_rowid(db);
    };
    const std::int64_t top = add(0, 1, false, std::string(kBigCatalog));
    for (int year = 0; budget > 0; ++year) {
        const std::int64_t yearId = add(top, 2, false, "Year " + std::to_string(1900 + year));
        for (int c = 0; c < 12 && budget > 0; ++c) {
            const std::int64_t caseId = add(yearId, 3, false, "Case " + std::to_string(c + 1));
            for (int d = 0; d < 40 && budget > 0; ++d) {
                add(caseId, 4, true,
                    "scan-" + std::to_string(year) + "-" + std::to_string(c) + "-" + std::to_string(d) + ".pdf");
            }
        }
    }
    sqlite3_finalize(insert);
    Exec(db, "COMMIT;");
    sqlite3_close(db);
}

// A copy of the store, on disk before anything is timed: the commit being measured must not
// also flush the copy's pages.
void CopyStore(const std::string& from, const std::string& to) {
    fs::copy_file(from, to, fs::copy_options::overwrite_existing);
    const int fd = ::open(to.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0 || ::fsync(fd) != 0) {
        Fail("cannot flush " + to);
    }
    ::close(fd);
}

mwdx::CatalogNode* FindBigCatalog(const mwdx::CatalogModel& model) {
    for (mwdx::CatalogNode* n = model.RootNode() != nullptr ? model.RootNode()->FirstChild() : nullptr; n != nullptr;
         n = n->NextSibling()) {
        if (n->Details().fileName == kBigCatalog) {
            return n;
        }
    }
    Fail("the sample has no catalog " + std::string(kBigCatalog));
}

void OpenAndLoad(const std::string& path, mwdx::CatalogModel& model) {
    mwdx::OpenStore(path);
    if (!mwdx::IsStoreOpen() || mwdx::LoadSettings() != 1 || mwdx::LoadCatalog(model) != 1) {
        Fail("cannot load " + path);
    }
}

std::int64_t RowCount(const std::string& path) {
    sqlite3* db = nullptr;
    sqlite3_open(path.c_str(), &db);
    sqlite3_stmt* stmt = nullptr;
    std::int64_t count = -1;
    if (sqlite3_prepare_v2(db, "select count(*) from FILE_NODE;", -1, &stmt, nullptr) == SQLITE_OK &&
        sqlite3_step(stmt) == SQLITE_ROW) {
        count = sqlite3_column_int64(stmt, 0);
    }
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return count;
}

// The reference for RebuildPaths: a walk with a stack of its own, each path joined onto its
// parent's, every string kept (and reused from round to round, as a node reuses its path).
std::size_t PlainPathWalk(const mwdx::CatalogNode& top, std::string_view newName, std::vector<std::string>& paths) {
    std::size_t count = 0;
    const auto put = [&](std::string_view parent, std::string_view name) -> std::size_t {
        if (count == paths.size()) {
            paths.emplace_back();
        }
        std::string& path = paths[count];
        path.assign(parent);
        path += '/';
        path.append(name);
        return count++;
    };
    std::vector<std::pair<const mwdx::CatalogNode*, std::size_t>> stack; // node, its path's index
    stack.emplace_back(&top, put(top.Parent()->Path(), newName));
    while (!stack.empty()) {
        const auto [node, index] = stack.back();
        stack.pop_back();
        // Pushed in reverse so that children come out in list order, as the program walks them.
        const std::size_t first = stack.size();
        for (const mwdx::CatalogNode* child = node->FirstChild(); child != nullptr; child = child->NextSibling()) {
            stack.emplace_back(child, put(paths[index], child->NameOnDisk()));
        }
        std::reverse(stack.begin() + static_cast<std::ptrdiff_t>(first), stack.end());
    }
    return count;
}

struct Figures {
    std::vector<double> removal;       // RemoveNode, rows and model
    std::vector<double> reference;     // one delete ... in (...)
    std::vector<double> rebuild;       // RebuildPaths
    std::vector<double> walk;          // the plain walk
    std::vector<double> move;          // MoveNodeOperation of the catalog one level deeper
    std::vector<double> moveReference; // one update of the same rows' PATH_LEVEL
    double modelOnly = 0;              // unlinking and freeing the nodes alone, once
    std::int64_t nodes = 0;            // the catalog and its descendants
};

Figures Measure(const fs::path& workDir, std::int64_t descendants, int repeats) {
    const std::string tag = std::to_string(descendants);
    const std::string sample = (workDir / ("removal-" + tag + ".db")).string();
    const std::string programCopy = (workDir / ("removal-" + tag + "-program.db")).string();
    const std::string referenceCopy = (workDir / ("removal-" + tag + "-reference.db")).string();
    fs::remove(sample);
    std::string error;
    if (!mwdx::bench::BuildSampleCatalog(sample, mwdx::bench::Shape::Wide, kRowsBeside, nullptr, &error)) {
        Fail("cannot build the sample store: " + error);
    }
    AddBigCatalog(sample, descendants);
    const std::int64_t rowsBefore = RowCount(sample);

    Figures figures;
    std::string referenceSql;
    std::string levelSql;
    {
        // The ids of the catalog's rows, and the path figures, from one load of the sample.
        mwdx::CatalogModel model;
        OpenAndLoad(sample, model);
        mwdx::CatalogNode* big = FindBigCatalog(model);
        referenceSql = "delete from FILE_NODE where FILE_ID in (" + std::to_string(big->FileId());
        figures.nodes = 1;
        mwdx::ForEachDescendant(*big, [&](const mwdx::CatalogNode& n) {
            referenceSql += ',';
            referenceSql += std::to_string(n.FileId());
            ++figures.nodes;
        });
        referenceSql += ");";
        levelSql = "update FILE_NODE set PATH_LEVEL = PATH_LEVEL + 1 where FILE_ID in (" +
                   referenceSql.substr(referenceSql.find('(') + 1);

        std::vector<std::string> paths;
        std::size_t walked = 0;
        for (int round = 0; round < repeats + 1; ++round) {
            // Each round a new name, so every path really changes; the first round is untimed.
            const std::string name = std::string(kBigCatalog) + (round % 2 == 0 ? " (old)" : " (new)");
            const auto rebuild = [&] {
                const auto start = Clock::now();
                mwdx::RebuildPaths(*big, name);
                figures.rebuild.push_back(Seconds(start));
            };
            const auto walk = [&] {
                const auto start = Clock::now();
                walked = PlainPathWalk(*big, name, paths);
                figures.walk.push_back(Seconds(start));
            };
            mwdx::bench::InTurn(round, rebuild, walk);
            if (round == 0) {
                figures.rebuild.clear();
                figures.walk.clear();
            }
        }
        const mwdx::CatalogNode* last = big;
        mwdx::ForEachDescendant(*big, [&](const mwdx::CatalogNode& n) { last = &n; });
        if (static_cast<std::int64_t>(walked) != figures.nodes ||
            std::find(paths.begin(), paths.end(), last->Path()) == paths.end()) {
            Fail("the plain walk did not compute the program's paths");
        }

        const auto start = Clock::now();
        model.UnlinkAndFree(*model.RootNode(), *big);
        figures.modelOnly = Seconds(start);
        model.Clear();
        mwdx::FreeSettings();
        mwdx::CloseStore();
    }

    for (int round = 0; round < repeats; ++round) {
        CopyStore(sample, programCopy);
        CopyStore(sample, referenceCopy);
        const auto program = [&] {
            mwdx::CatalogModel model;
            OpenAndLoad(programCopy, model);
            mwdx::CatalogNode* big = FindBigCatalog(model);
            const std::size_t nodesBefore = model.NodeCount();
            const auto start = Clock::now();
            const bool removed = mwdx::RemoveNode(model, *model.RootNode(), big);
            figures.removal.push_back(Seconds(start));
            if (!removed || static_cast<std::int64_t>(nodesBefore - model.NodeCount()) != figures.nodes) {
                Fail("RemoveNode did not remove the catalog");
            }
            model.Clear();
            mwdx::FreeSettings();
            mwdx::CloseStore();
        };
        const auto reference = [&] {
            sqlite3* db = nullptr;
            if (sqlite3_open(referenceCopy.c_str(), &db) != SQLITE_OK) {
                Fail("cannot open " + referenceCopy);
            }
            sqlite3_busy_timeout(db, mwdx::kBusyTimeoutMs);
            const auto start = Clock::now();
            Exec(db, referenceSql);
            figures.reference.push_back(Seconds(start));
            if (sqlite3_changes(db) != figures.nodes) {
                Fail("the reference deleted " + std::to_string(sqlite3_changes(db)) + " rows");
            }
            sqlite3_close(db);
        };
        mwdx::bench::InTurn(round, program, reference);
        if (RowCount(programCopy) != rowsBefore - figures.nodes ||
            RowCount(referenceCopy) != rowsBefore - figures.nodes) {
            Fail("the two copies do not hold the same rows after the removal");
        }
    }
    // Moving the catalog one level down, under the first project: its rows and nodes follow.
    for (int round = 0; round < repeats; ++round) {
        CopyStore(sample, programCopy);
        CopyStore(sample, referenceCopy);
        const auto program = [&] {
            mwdx::CatalogModel model;
            OpenAndLoad(programCopy, model);
            mwdx::CatalogNode* big = FindBigCatalog(model);
            mwdx::CatalogNode* target = model.RootNode()->FirstChild();
            const std::string home = model.RootNode()->Path();
            const auto start = Clock::now();
            const mwdx::OpResult result = mwdx::MoveNodeOperation(model, home, *big, target);
            figures.move.push_back(Seconds(start));
            if (!result.done || big->Parent() != target) {
                Fail("the move failed: " + result.detail);
            }
            model.Clear();
            mwdx::FreeSettings();
            mwdx::CloseStore();
        };
        const auto reference = [&] {
            sqlite3* db = nullptr;
            if (sqlite3_open(referenceCopy.c_str(), &db) != SQLITE_OK) {
                Fail("cannot open " + referenceCopy);
            }
            const auto start = Clock::now();
            Exec(db, levelSql);
            figures.moveReference.push_back(Seconds(start));
            sqlite3_close(db);
        };
        mwdx::bench::InTurn(round, program, reference);
    }
    fs::remove(sample);
    fs::remove(programCopy);
    fs::remove(referenceCopy);
    return figures;
}

std::string Cell(const std::vector<double>& seconds) {
    char text[48];
    std::snprintf(text, sizeof text, "%.1f (%.1f)", BestOf(seconds) * 1000, MedianOf(seconds) * 1000);
    return text;
}

} // namespace

int main(int argc, char** argv) {
    mwdx::bench::SizedRunOptions options;
    options.sizes = {10000, 100000};
    if (!mwdx::bench::ParseSizedRunOptions(
            argc, argv, options, "marrowdex_node_removal_bench --work-dir=DIR [--sizes=10000,100000] [--repeats=N]")) {
        return 2;
    }
    const auto& [sizes, repeats, workDir, keep] = options;

#ifdef NDEBUG
    const char* build = "optimised build";
#else
    const char* build = "NOT an optimised build (assertions on): figures are not representative";
#endif
    std::printf("Node removal: SQLite %s, %s; a top-level catalog with N descendants beside %lld other rows\n",
                sqlite3_libversion(), build, static_cast<long long>(kRowsBeside));
    std::printf("(b) = RemoveNode of the catalog: its rows in one transaction, then its nodes unlinked and freed\n");
    std::printf("(a) = one \"delete from FILE_NODE where FILE_ID in (...)\" of the same ids on an identical copy\n");
    std::printf("ms, best of %d (median); ratio from the bests; each round on fresh copies, order alternating\n\n",
                repeats);
    std::printf("%8s | %17s %17s %7s %6s | %10s %11s\n", "N", "(b) RemoveNode", "(a) delete in", "ratio", "<= 3",
                "model ms", "(b) us/row");
    std::vector<std::pair<std::int64_t, Figures>> all;
    for (const std::int64_t descendants : sizes) {
        Figures figures = Measure(workDir, descendants, repeats);
        const double ratio = BestOf(figures.removal) / BestOf(figures.reference);
        std::printf("%8lld | %17s %17s %7.2f %6s | %10.1f %11.2f\n", static_cast<long long>(descendants),
                    Cell(figures.removal).c_str(), Cell(figures.reference).c_str(), ratio,
                    ratio <= kTargetRemovalRatio ? "ok" : "MISSED", figures.modelOnly * 1000,
                    BestOf(figures.removal) * 1e6 / static_cast<double>(figures.nodes));
        std::fflush(stdout);
        all.emplace_back(descendants, std::move(figures));
    }
    std::printf("(model ms: unlinking and freeing the same nodes alone, once, for information)\n");

    std::printf("\nRenaming the catalog: RebuildPaths against a plain walk joining the same path strings\n");
    std::printf("%8s | %17s %17s %7s | %10s\n", "N", "RebuildPaths ms", "plain walk ms", "ratio", "ns/node");
    for (const auto& [descendants, figures] : all) {
        std::printf("%8lld | %17s %17s %7.2f | %10.1f\n", static_cast<long long>(descendants),
                    Cell(figures.rebuild).c_str(), Cell(figures.walk).c_str(),
                    BestOf(figures.rebuild) / BestOf(figures.walk),
                    BestOf(figures.rebuild) * 1e9 / static_cast<double>(figures.nodes));
    }

    std::printf("\nMoving the catalog one level down: MoveNodeOperation (rows in one transaction, nodes,\n"
                "paths) against one \"update FILE_NODE set PATH_LEVEL = PATH_LEVEL + 1 where FILE_ID in (...)\"\n");
    std::printf("%8s | %17s %17s %7s %6s\n", "N", "move ms", "update in ms", "ratio", "<= 3");
    for (const auto& [descendants, figures] : all) {
        const double ratio = BestOf(figures.move) / BestOf(figures.moveReference);
        std::printf("%8lld | %17s %17s %7.2f %6s\n", static_cast<long long>(descendants), Cell(figures.move).c_str(),
                    Cell(figures.moveReference).c_str(), ratio, ratio <= 3 ? "ok" : "MISSED");
    }
    return 0;
}
