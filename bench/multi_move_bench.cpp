// A move of N selected documents into another catalog, through the operation the Move command
// runs for several nodes, against one UPDATE of the same rows' PARENT_ID in one transaction
// (`UPDATE FILE_NODE SET PARENT_ID=? WHERE FILE_ID IN (...)`, the baseline of the target), and
// against the same rows updated one by one in one transaction (one prepared statement run N
// times), on stores made anew and alike for every measurement, in turn. The documents lie one level deeper after the
// move, so the operation also shifts their PATH_LEVEL, which the baseline leaves alone.
//
// The ratio is of the rows-only case: the documents have no files, so the move is the checks, the
// rows in one transaction and the nodes. The move with their files (each file renamed, journalled
// first, the journal entries written in one transaction and cleared with the rows) is a second
// figure against the same baseline.
//
//   marrowdex_multi_move_bench --work-dir=DIR [--sizes=1000] [--others=100000] [--repeats=N] [--keep]

#include "bench_common.h"
#include "sample_store.h"
#include "catalog/loader.h"
#include "operations/move_node.h"
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

double Seconds(const std::chrono::steady_clock::time_point& start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// A knowledge base in `folder`: "From" (level 1) holding `selected` documents, "Archive/Shelf"
// (Shelf at level 2) to move them into, and "Others" holding `others` documents so that the table
// is of a real size; with `files`, each selected document has its file of 200 bytes. Opened as the
// program opens it, the tree loaded.
class Sample final {
public:
    static constexpr std::int64_t kFrom = 1;
    static constexpr std::int64_t kShelf = 3;
    static constexpr std::int64_t kFirstSelected = 10;

    Sample(const fs::path& folder, std::int64_t selected, std::int64_t others, bool files)
        : m_home((folder / "home").string()), m_selected(selected) {
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
            row(kFrom, "From", 0, 0, "", 1);
            row(2, "Archive", 0, 0, "", 1);
            row(kShelf, "Shelf", 2, 0, "", 2);
            row(4, "Others", 0, 0, "", 1);
            for (const char* made : {"From", "Archive/Shelf", "Others"}) {
                fs::create_directories(m_home + "/" + made);
            }
            const std::string block(200, 'd');
            std::int64_t id = kFirstSelected;
            for (std::int64_t i = 0; i < selected; ++i, ++id) {
                const std::string file = "doc-" + std::to_string(id) + ".txt";
                row(id, "Document " + std::to_string(id), kFrom, 1, file, 2);
                if (files) {
                    std::ofstream(m_home + "/From/" + file, std::ios::binary) << block;
                }
            }
            for (std::int64_t i = 0; i < others; ++i, ++id) {
                row(id, "Other " + std::to_string(id), 4, 1, "other-" + std::to_string(id) + ".txt", 2);
            }
            transaction.Commit();
        }
        mwdx::bench::OpenSampleStore(db, m_catalog);
    }
    ~Sample() { mwdx::bench::CloseSampleStore(m_catalog); }
    Sample(const Sample&) = delete;
    Sample& operator=(const Sample&) = delete;

    mwdx::CatalogModel& Catalog() { return m_catalog; }
    const std::string& Home() const { return m_home; }
    std::vector<mwdx::CatalogNode*> Selected() const {
        std::vector<mwdx::CatalogNode*> nodes;
        for (std::int64_t i = 0; i < m_selected; ++i) {
            nodes.push_back(m_catalog.NodeById(kFirstSelected + i));
        }
        return nodes;
    }
    std::string SelectedIds() const {
        std::string ids;
        for (std::int64_t i = 0; i < m_selected; ++i) {
            ids += (i == 0 ? "" : ",") + std::to_string(kFirstSelected + i);
        }
        return ids;
    }
    // How many of the selected rows are under the shelf, one level deeper.
    std::string Moved() const {
        std::string count;
        mwdx::Statement query("select count(*) from FILE_NODE where PARENT_ID=3 and PATH_LEVEL=3;");
        if (query.Next()) {
            count = std::to_string(query.Integer(0));
        }
        return count;
    }

private:
    std::string m_home;
    std::int64_t m_selected;
    mwdx::CatalogModel m_catalog;
};

void Require(bool done, const char* what) {
    if (!done) {
        std::fprintf(stderr, "%s failed\n", what);
        std::exit(1);
    }
}

struct Figures {
    std::vector<double> update;
    std::vector<double> oneByOne;
    std::vector<double> rowsOnly;
    std::vector<double> withFiles;
};

} // namespace

int main(int argc, char** argv) {
    mwdx::bench::SizedRunOptions options;
    options.sizes = {1000};
    options.repeats = 5;
    int others = 100000;
    if (!mwdx::bench::ParseSizedRunOptions(
            argc, argv, options,
            "marrowdex_multi_move_bench --work-dir=DIR [--sizes=1000] "
            "[--others=100000] [--repeats=N] [--keep]",
            [&others](mwdx::bench::Options& parser) { parser.Number("others", others); })) {
        return 2;
    }
    std::printf("Moving N selected documents into another catalog in one command, against one UPDATE of the same\n"
                "rows' PARENT_ID in one transaction, and against the same rows one by one in one transaction (a\n"
                "table of N + %d rows; seconds, best of %d, median in brackets; ratios from the medians; the four\n"
                "take turns, each on a store made anew). The target's ratio is of the move without files against\n"
                "the one UPDATE; with files, each document's file is renamed too.\n\n",
                others, options.repeats);
    std::printf("%6s | %15s %15s | %15s %7s %6s %7s | %15s %7s\n", "N", "one UPDATE", "one by one", "move, rows",
                "ratio", "<= 3", "/ 1by1", "move, files", "ratio");
    for (const std::int64_t selected : options.sizes) {
        Figures figures;
        const auto update = [&] {
            Sample sample(options.workDir / "update", selected, others, false);
            const std::string sql = "UPDATE FILE_NODE SET PARENT_ID=? WHERE FILE_ID IN (" + sample.SelectedIds() + ");";
            const auto start = std::chrono::steady_clock::now();
            {
                mwdx::Transaction transaction;
                mwdx::Statement statement(sql);
                Require(transaction.Begin() == mwdx::kStatementOk &&
                            statement.Bind(1, Sample::kShelf).Run() == mwdx::kStatementOk &&
                            transaction.Commit() == mwdx::kStatementOk,
                        "the UPDATE");
            }
            figures.update.push_back(Seconds(start));
        };
        const auto oneByOne = [&] {
            Sample sample(options.workDir / "one-by-one", selected, others, false);
            const auto start = std::chrono::steady_clock::now();
            {
                mwdx::Transaction transaction;
                mwdx::Statement statement("UPDATE FILE_NODE SET PARENT_ID=?1 WHERE FILE_ID=?2;");
                bool done = transaction.Begin() == mwdx::kStatementOk;
                for (std::int64_t i = 0; done && i < selected; ++i) {
                    statement.Reset();
                    done = statement.Bind(1, Sample::kShelf).Bind(2, Sample::kFirstSelected + i).Run() ==
                           mwdx::kStatementOk;
                }
                Require(done && transaction.Commit() == mwdx::kStatementOk, "the UPDATEs one by one");
            }
            figures.oneByOne.push_back(Seconds(start));
        };
        const auto move = [&](bool files) {
            Sample sample(options.workDir / (files ? "files" : "rows"), selected, others, files);
            const std::vector<mwdx::CatalogNode*> nodes = sample.Selected();
            mwdx::CatalogNode* shelf = sample.Catalog().NodeById(Sample::kShelf);
            const auto start = std::chrono::steady_clock::now();
            const mwdx::ManyNodesResult many = mwdx::MoveNodesOperation(sample.Catalog(), sample.Home(), nodes, shelf);
            (files ? figures.withFiles : figures.rowsOnly).push_back(Seconds(start));
            Require(many.result.done && many.refused.empty() && many.acted == static_cast<std::size_t>(selected) &&
                        sample.Moved() == std::to_string(selected),
                    "the move");
        };
        for (int round = 0; round < options.repeats; ++round) {
            // All four in turn: the order rotates from round to round.
            const std::function<void()> runs[] = {update, oneByOne, [&] { move(false); }, [&] { move(true); }};
            for (int i = 0; i < 4; ++i) {
                runs[(round + i) % 4]();
            }
        }
        if (!options.keep) {
            for (const char* made : {"update", "one-by-one", "rows", "files"}) {
                fs::remove_all(options.workDir / made);
            }
        }
        const double base = mwdx::bench::MedianOf(figures.update);
        const double single = mwdx::bench::MedianOf(figures.oneByOne);
        const double rows = mwdx::bench::MedianOf(figures.rowsOnly);
        const double files = mwdx::bench::MedianOf(figures.withFiles);
        const auto cell = [](const std::vector<double>& values, double median) {
            char text[32];
            std::snprintf(text, sizeof text, "%.4f (%.4f)", mwdx::bench::BestOf(values), median);
            return std::string(text);
        };
        std::printf("%6s | %15s %15s | %15s %7.2f %6s %7.2f | %15s %7.2f\n", mwdx::bench::SizeLabel(selected).c_str(),
                    cell(figures.update, base).c_str(), cell(figures.oneByOne, single).c_str(),
                    cell(figures.rowsOnly, rows).c_str(), rows / base, rows / base <= 3.0 ? "ok" : "MISSED",
                    rows / single, cell(figures.withFiles, files).c_str(), files / base);
        std::fflush(stdout);
    }
    return 0;
}
