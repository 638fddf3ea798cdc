// Deleting a catalog of N descendants with all their files into the trash, against deleting the
// same catalog for good (its rows, then its folder removed file by file), both through the
// operations the Delete command runs, on trees made anew and alike for every measurement, in turn.
// The restore of what went into the trash is timed too, against that delete; then the same catalog
// is deleted into the trash once more, as the Delete command records it in the undo history, and
// the history's Undo (what Ctrl+Z runs) is timed against that delete.
//
//   marrowdex_trash_bench --work-dir=DIR [--sizes=100000] [--repeats=N]

#include "bench_common.h"
#include "sample_store.h"
#include "catalog/loader.h"
#include "operations/delete_node.h"
#include "operations/trash.h"
#include "operations/undo.h"
#include "store/connection.h"
#include "store/fresh_database.h"
#include "store/settings.h"
#include "store/statements.h"
#include "store/store_session.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr std::int64_t kPerFolder = 1000; // documents per sub-catalog

double Seconds(const std::chrono::steady_clock::time_point& start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// A knowledge base in `folder`: a store whose catalog "Big" holds `descendants` nodes (sub-catalogs
// of kPerFolder - 1 documents each, every document a file of 200 bytes) beside a small catalog
// that stays, and its Home Directory on disk. Opened as the program opens it, the tree loaded.
class Sample final {
public:
    Sample(const fs::path& folder, std::int64_t descendants) : m_home((folder / "home").string()) {
        fs::remove_all(folder);
        fs::create_directories(m_home);
        const std::string db = (folder / "mymwdx.db").string();
        std::string error;
        if (!mwdx::CreateFreshDatabase(db, &error)) {
            std::fprintf(stderr, "cannot make the store: %s\n", error.c_str());
            std::exit(1);
        }
        mwdx::OpenStore(db);
        mwdx::ExecStatement("update SYS_CONFIG set ROOT_DIR='" + mwdx::EscapeSqlText(m_home) + "',FIRST_RUNNING=0;");
        {
            mwdx::Transaction transaction;
            transaction.Begin();
            mwdx::Statement insert("insert into FILE_NODE (FILE_ID,FILE_NAME,PARENT_ID,COMMENT,FILETYPE,RAW_FILE_NAME,"
                                   "PATH_LEVEL) values (?,?,?,'',?,?,?);");
            const auto row = [&insert](std::int64_t id, const std::string& name, std::int64_t parent, int type,
                                       const std::string& raw, int level) {
                insert.Reset();
                insert.Bind(1, id).Bind(2, name).Bind(3, parent).Bind(4, type).Bind(5, raw).Bind(6, level).Run();
            };
            row(1, "Kept", 0, 0, "", 1);
            row(2, "Big", 0, 0, "", 1);
            fs::create_directories(m_home + "/Kept");
            const std::string block(200, 'd');
            std::int64_t id = 3;
            std::int64_t folderId = 0;
            std::string folderPath;
            for (std::int64_t made = 0; made < descendants; ++made, ++id) {
                if (made % kPerFolder == 0) {
                    folderId = id;
                    const std::string name = "Part " + std::to_string(made / kPerFolder);
                    row(id, name, 2, 0, "", 2);
                    folderPath = m_home + "/Big/" + name;
                    fs::create_directories(folderPath);
                    continue;
                }
                const std::string file = "doc-" + std::to_string(id) + ".txt";
                row(id, "Document " + std::to_string(id), folderId, 1, file, 3);
                std::ofstream(folderPath + "/" + file, std::ios::binary) << block;
            }
            transaction.Commit();
        }
        mwdx::bench::OpenSampleStore(db, m_catalog);
    }
    ~Sample() { mwdx::bench::CloseSampleStore(m_catalog); }
    Sample(const Sample&) = delete;
    Sample& operator=(const Sample&) = delete;

    mwdx::CatalogModel& Catalog() { return m_catalog; }
    mwdx::CatalogNode& Big() { return *m_catalog.NodeById(2); }
    const std::string& Home() const { return m_home; }

private:
    std::string m_home;
    mwdx::CatalogModel m_catalog;
};

void Require(const mwdx::OpResult& result, const char* what) {
    if (!result.done || result.message != 0) {
        std::fprintf(stderr, "%s failed: %s\n", what, result.detail.c_str());
        std::exit(1);
    }
}

struct Figures {
    std::vector<double> forGood;
    std::vector<double> toTrash;
    std::vector<double> restore;
    std::vector<double> deleteAgain; // the delete the undo takes back
    std::vector<double> undo;
};

} // namespace

int main(int argc, char** argv) {
    mwdx::bench::SizedRunOptions options;
    options.sizes = {100000};
    options.repeats = 3;
    if (!mwdx::bench::ParseSizedRunOptions(argc, argv, options,
                                           "marrowdex_trash_bench --work-dir=DIR [--sizes=100000] [--repeats=N] "
                                           "[--keep]")) {
        return 2;
    }
    std::printf("Deleting a catalog of N descendants with their files: into the trash, against for good\n"
                "(seconds, best of %d, median in brackets; ratios from the medians; the two take turns, each on\n"
                "a tree made anew; the restore brings back what went into the trash)\n\n",
                options.repeats);
    std::printf("%8s | %15s %15s %7s %6s | %15s %9s | %15s %15s %9s %5s\n", "N", "for good", "into trash", "ratio",
                "<= 1.5", "restore", "/ delete", "delete again", "undo", "/ delete", "<= 2");
    for (const std::int64_t descendants : options.sizes) {
        Figures figures;
        for (int round = 0; round < options.repeats; ++round) {
            mwdx::bench::InTurn(
                round,
                [&] {
                    Sample sample(options.workDir / "for-good", descendants);
                    const auto start = std::chrono::steady_clock::now();
                    Require(mwdx::DeleteNodeOperation(sample.Catalog(), sample.Home(), sample.Big(), true),
                            "the delete for good");
                    figures.forGood.push_back(Seconds(start));
                },
                [&] {
                    Sample sample(options.workDir / "to-trash", descendants);
                    std::int64_t entry = 0;
                    auto start = std::chrono::steady_clock::now();
                    Require(
                        mwdx::DeleteToTrashOperation(sample.Catalog(), sample.Home(), sample.Big(), true, {}, &entry),
                        "the delete into the trash");
                    figures.toTrash.push_back(Seconds(start));
                    start = std::chrono::steady_clock::now();
                    Require(mwdx::RestoreFromTrashOperation(sample.Catalog(), sample.Home(), entry), "the restore");
                    figures.restore.push_back(Seconds(start));
                    const auto whole = [&](const char* what) {
                        if (sample.Catalog().NodeCount() != static_cast<std::size_t>(descendants) + 2) {
                            std::fprintf(stderr, "the %s brought back %zu nodes\n", what, sample.Catalog().NodeCount());
                            std::exit(1);
                        }
                    };
                    whole("restore");
                    mwdx::UndoHistory history;
                    start = std::chrono::steady_clock::now();
                    Require(
                        mwdx::DeleteToTrashOperation(sample.Catalog(), sample.Home(), sample.Big(), true, {}, &entry),
                        "the delete into the trash");
                    history.Record(mwdx::DeleteStep(sample.Home(), {entry}, true));
                    figures.deleteAgain.push_back(Seconds(start));
                    start = std::chrono::steady_clock::now();
                    Require(history.Undo(sample.Catalog(), sample.Home()), "the undo");
                    figures.undo.push_back(Seconds(start));
                    whole("undo");
                });
        }
        if (!options.keep) {
            fs::remove_all(options.workDir / "for-good");
            fs::remove_all(options.workDir / "to-trash");
        }
        const double forGood = mwdx::bench::MedianOf(figures.forGood);
        const double toTrash = mwdx::bench::MedianOf(figures.toTrash);
        const double restore = mwdx::bench::MedianOf(figures.restore);
        const double deleteAgain = mwdx::bench::MedianOf(figures.deleteAgain);
        const double undo = mwdx::bench::MedianOf(figures.undo);
        char a[32];
        char b[32];
        char c[32];
        char d[32];
        char e[32];
        std::snprintf(a, sizeof a, "%.3f (%.3f)", mwdx::bench::BestOf(figures.forGood), forGood);
        std::snprintf(b, sizeof b, "%.3f (%.3f)", mwdx::bench::BestOf(figures.toTrash), toTrash);
        std::snprintf(c, sizeof c, "%.3f (%.3f)", mwdx::bench::BestOf(figures.restore), restore);
        std::snprintf(d, sizeof d, "%.3f (%.3f)", mwdx::bench::BestOf(figures.deleteAgain), deleteAgain);
        std::snprintf(e, sizeof e, "%.3f (%.3f)", mwdx::bench::BestOf(figures.undo), undo);
        std::printf("%8s | %15s %15s %7.2f %6s | %15s %9.2f | %15s %15s %9.2f %5s\n",
                    mwdx::bench::SizeLabel(descendants).c_str(), a, b, toTrash / forGood,
                    toTrash / forGood <= 1.5 ? "ok" : "MISSED", c, restore / toTrash, d, e, undo / deleteAgain,
                    undo / deleteAgain <= 2.0 ? "ok" : "MISSED");
        std::fflush(stdout);
    }
    return 0;
}
