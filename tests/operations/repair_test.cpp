// Mending a damaged knowledge base: every repair changes rows or brings files and folders in,
// never deletes or overwrites a file, and the check afterwards shows only what remains.

#include "catalog/loader.h"
#include "operations/check.h"
#include "operations/home_move.h"
#include "operations/import_folder.h"
#include "operations/recovery.h"
#include "operations/repair.h"
#include "platform/home_fs.h"
#include "platform/text_ids.h"
#include "store/connection.h"
#include "store/journal.h"
#include "support/catalog_fixture.h"
#include "support/process.h"
#include "support/test_support.h"

#include <atomic>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <thread>

namespace fs = std::filesystem;

namespace mwdx::test {
namespace {

class RepairTest : public CatalogFixture {
protected:
    void SetUp() override {
        CatalogFixture::SetUp();
        MakeFile(m_realHome + "/js/dtree.js");
        MakeFile(m_realHome + "/js/dtree.css");
        SetHome(m_realHome);
    }

    // Every file under the Home Directory with its content: what no repair may take away.
    std::map<std::string, std::string> Files() {
        std::map<std::string, std::string> files;
        for (const auto& entry : fs::recursive_directory_iterator(m_realHome)) {
            if (entry.is_regular_file()) {
                files[entry.path().string()] = Bytes(entry.path());
            }
        }
        return files;
    }

    // Loads the tree as a start would; the check's counts by kind.
    std::map<FindingKind, std::size_t> Check() {
        m_load = {};
        m_model.Clear();
        LoadCatalog(m_model, &m_load);
        std::map<FindingKind, std::size_t> counts;
        for (const Finding& f : CheckKnowledgeBase(m_model, m_load, m_realHome, {}).findings) {
            ++counts[f.kind];
        }
        return counts;
    }

    std::string m_realHome = m_dir.File("Knowledge");
    LoadReport m_load;
};

// The check found nodes whose files are gone; the user removes them from the tree behind a progress
// window, on a worker, and cancels part-way: what is removed stays removed, the rest waits for the
// next go, and a node below one removed before has gone with it.
TEST_F(RepairTest, MissingNodesAreRemovedOneByOneOnAWorkerAndCancelKeepsWhatIsDone) {
    AddRow(1, "Physics", 0, 0, 1);
    AddRow(2, "Gone a", 1, 1, 2, "a.txt");
    AddRow(3, "Gone b", 1, 1, 2, "b.txt");
    AddRow(4, "Kept", 1, 1, 2, "kept.txt");
    AddRow(5, "Lost catalog", 0, 0, 1);
    AddRow(6, "Lost inside", 5, 1, 2, "in.txt");
    AddRow(7, "Gone c", 0, 1, 1, "c.txt");
    MakeFile(m_realHome + "/Physics/kept.txt", "kept");
    MakeFile(m_realHome + "/stray.txt", "no node's");
    const auto files = Files();
    Check();
    std::vector<Finding> missing;
    for (const Finding& finding : CheckKnowledgeBase(m_model, m_load, m_realHome, {}).findings) {
        if (finding.kind == FindingKind::kMissing || finding.kind == FindingKind::kUntracked) {
            missing.push_back(finding); // a finding of another kind is passed over
        }
    }
    ASSERT_EQ(missing.size(), 6u); // 2, 3, 5, 6, 7 by id, then stray.txt

    std::atomic<bool> cancel{false};
    std::vector<std::size_t> progress;
    RepairControl control;
    control.cancel = &cancel;
    control.progress = [&](std::size_t done, std::size_t total) {
        progress.push_back(done * 10 + total);
        cancel = done == 2;
    };
    NodeRemoval first;
    std::thread worker([&] { first = RemoveMissingNodes(m_model, m_realHome, missing, {}, control); });
    worker.join();
    EXPECT_TRUE(first.cancelled);
    EXPECT_EQ(first.removed, 2u);
    EXPECT_EQ(progress, (std::vector<std::size_t>{16, 26}));
    EXPECT_EQ(QueryText(m_db, "select group_concat(FILE_ID) from (select FILE_ID from FILE_NODE order by FILE_ID);"),
              "1,4,5,6,7");

    cancel = false;
    control.progress = {};
    const NodeRemoval rest = RemoveMissingNodes(m_model, m_realHome, missing, {}, control);
    EXPECT_FALSE(rest.cancelled);
    EXPECT_TRUE(rest.result.done);
    EXPECT_EQ(rest.result.message, 0);
    EXPECT_EQ(rest.removed, 2u) << "5 with 6 below it, and 7";
    EXPECT_EQ(QueryText(m_db, "select group_concat(FILE_ID) from (select FILE_ID from FILE_NODE order by FILE_ID);"),
              "1,4");
    EXPECT_EQ(m_model.NodeCount(), 2u);
    EXPECT_EQ(Files(), files) << "no file is touched";
    const auto counts = Check();
    EXPECT_EQ(counts.count(FindingKind::kMissing), 0u);
}

TEST_F(RepairTest, RowsThatCouldNotBePlacedAreAttachedUnderRecoveredOrRemoved) {
    AddRow(1, "Physics", 0, 0, 1);
    AddRow(2, "Lost", 99, 0, 2);               // its parent row is gone
    AddRow(3, "Lost child", 2, 1, 3, "c.txt"); // follows it
    AddRow(4, "Loop a", 5, 0, 2);
    AddRow(5, "Loop b", 4, 0, 3);
    AddRow(6, "Wrong level", 1, 1, 5, "w.txt"); // placed, with a stored level of 5
    fs::create_directories(m_realHome + "/Physics");
    MakeFile(m_realHome + "/Physics/w.txt", "w");
    MakeFile(m_realHome + "/Elsewhere/Lost/c.txt", "where the lost files are");
    const auto files = Files();

    auto counts = Check();
    EXPECT_EQ(counts[FindingKind::kUnplaced], 4u);
    EXPECT_EQ(counts[FindingKind::kWrongLevel], 1u);
    ASSERT_TRUE(RewriteLevels(m_load).done);
    ASSERT_TRUE(AttachUnplacedRows(m_model, m_realHome, m_load, "Recovered").done);
    counts = Check();
    EXPECT_EQ(counts[FindingKind::kUnplaced], 0u);
    EXPECT_EQ(counts[FindingKind::kWrongLevel], 0u) << "the attached rows got their levels too";
    EXPECT_EQ(Outline(*m_model.RootNode()), (std::vector<std::string>{"Physics", "  Wrong level", "Recovered", "  Lost",
                                                                      "    Lost child", "  Loop a", "    Loop b"}))
        << "a cycle is broken at one row, the rest keeping their places below it";
    EXPECT_EQ(counts[FindingKind::kMissing], 4u) << "their folders stay where they were: to be located";
    EXPECT_TRUE(fs::is_directory(m_realHome + "/Recovered"));
    for (const auto& [path, bytes] : files) {
        EXPECT_EQ(Bytes(path), bytes) << path;
    }

    // A missing folder is made again, a missing file brought back; nothing there is replaced.
    CatalogNode* lost = m_model.NodeById(2);
    ASSERT_TRUE(LocateMissing(m_model, m_realHome, *lost, "", false).done);
    CatalogNode* child = m_model.NodeById(3);
    ASSERT_TRUE(LocateMissing(m_model, m_realHome, *child, m_realHome + "/Elsewhere/Lost/c.txt", false).done);
    EXPECT_EQ(Bytes(m_realHome + "/Recovered/Lost/c.txt"), "where the lost files are");
    EXPECT_EQ(LocateMissing(m_model, m_realHome, *child, m_realHome + "/Physics/w.txt", false).message,
              text::kFileNameTaken);
    EXPECT_EQ(Bytes(m_realHome + "/Recovered/Lost/c.txt"), "where the lost files are");
    counts = Check();
    EXPECT_EQ(counts[FindingKind::kMissing], 2u);
    for (const auto& [kind, count] : counts) {
        EXPECT_TRUE(kind == FindingKind::kMissing || kind == FindingKind::kUntracked)
            << static_cast<int>(kind) << " x" << count;
    }
    EXPECT_EQ(counts[FindingKind::kUntracked], 1u) << "where the lost file was copied from";
}

TEST_F(RepairTest, RemovingRowsThatCouldNotBePlacedLeavesEveryFile) {
    AddRow(1, "Physics", 0, 0, 1);
    AddRow(2, "Lost", 99, 0, 2);
    AddRow(3, "Lost child", 2, 1, 3, "c.txt");
    AddRow(-3, "Bad id", 1, 0, 2);
    fs::create_directories(m_realHome + "/Physics");
    MakeFile(m_realHome + "/Lost/c.txt", "kept");
    const auto files = Files();
    Check();
    ASSERT_EQ(m_load.unplaced.size(), 3u);
    ASSERT_TRUE(RemoveUnplacedRows(m_load).done);
    EXPECT_EQ(QueryText(m_db, "select group_concat(FILE_ID) from (select FILE_ID from FILE_NODE order by FILE_ID);"),
              "1");
    EXPECT_EQ(Files(), files);
    auto counts = Check();
    EXPECT_EQ(counts[FindingKind::kUnplaced], 0u);
    EXPECT_EQ(counts[FindingKind::kUntracked], 1u) << "the lost folder is now the user's to import";
}

TEST_F(RepairTest, TheScriptFolderGetsWhatItLacksAndKeepsWhatItHas) {
    const std::string source = m_dir.File("program/js");
    MakeFile(source + "/dtree.js", "script");
    MakeFile(source + "/dtree.css", "style");
    MakeFile(source + "/img/folder.gif", "gif");
    MakeFile(m_realHome + "/js/dtree.js", "the user's own");
    fs::remove(m_realHome + "/js/dtree.css");
    ASSERT_TRUE(RestoreScriptFiles(m_realHome, source).done);
    EXPECT_EQ(Bytes(m_realHome + "/js/dtree.js"), "the user's own");
    EXPECT_EQ(Bytes(m_realHome + "/js/dtree.css"), "style");
    EXPECT_EQ(Bytes(m_realHome + "/js/img/folder.gif"), "gif");
    EXPECT_EQ(Check().count(FindingKind::kScriptFolder), 0u);

    // A file where a folder belongs stays, and nothing is copied past it.
    fs::remove_all(m_realHome + "/js");
    MakeFile(m_realHome + "/js", "not a folder");
    EXPECT_EQ(RestoreScriptFiles(m_realHome, source).message, text::kNameTakenOnDisk);
    EXPECT_EQ(Bytes(m_realHome + "/js"), "not a folder");
}

TEST_F(RepairTest, LocatingNeverMovesTheStoreItselfIntoPlace) {
    AddRow(1, "Copy of the store", 0, 1, 1, "kept.db");
    Check();
    CatalogNode* node = m_model.NodeById(1);
    ASSERT_NE(node, nullptr);
    const std::string store = Bytes(m_db);
    EXPECT_EQ(LocateMissing(m_model, m_realHome, *node, m_db, true, {}, ProgramFiles{{}, m_db}).message,
              text::kSourceBelongsToStore);
    EXPECT_EQ(Bytes(m_db), store);
    EXPECT_FALSE(fs::exists(m_realHome + "/kept.db"));
    ASSERT_TRUE(LocateMissing(m_model, m_realHome, *node, m_db, false, {}, ProgramFiles{{}, m_db}).done)
        << "a copy is fine";
    EXPECT_TRUE(fs::is_regular_file(m_db));
    EXPECT_TRUE(fs::is_regular_file(m_realHome + "/kept.db"));
}

// The Home Directory must be a full, normal folder path other than "/": a relative one would have
// the repairs write under the working folder, "/" at the root, "nothing/../home" in "nothing".
TEST_F(RepairTest, AHomeDirectoryThatIsNotAFullPathIsReportedAndNothingIsDoneThere) {
    EXPECT_TRUE(IsUsableHomeDirectory(m_realHome));
    const std::string work = m_dir.File("work");
    fs::create_directories(work + "/Knowledge");
    fs::create_directories(m_dir.File("nothing"));
    const std::string source = m_dir.File("program/js");
    MakeFile(source + "/dtree.js", "script");
    MakeFile(m_dir.File("inbox/Trip/a.txt"), "a");
    AddRow(1, "Physics", 0, 0, 1);
    AddRow(2, "Lost", 99, 0, 2);
    // Run from a working folder of its own, where a relative Home Directory would lead.
    struct WorkingFolder {
        fs::path previous = fs::current_path();
        explicit WorkingFolder(const fs::path& folder) { fs::current_path(folder); }
        ~WorkingFolder() { fs::current_path(previous); }
    } workingFolder(work);
    for (const std::string& home : {std::string("Knowledge"), std::string("/"), m_dir.File("nothing/../Knowledge"),
                                    m_realHome + "/", m_realHome + "/.", std::string()}) {
        SCOPED_TRACE(home);
        EXPECT_FALSE(IsUsableHomeDirectory(home));
        SetHome(home);
        JournalEntry entry;
        entry.kind = kJournalRename;
        entry.fromPath = home + "/Physics";
        entry.toPath = home + "/Science";
        ASSERT_EQ(WriteJournalEntry(entry), kStatementOk);

        m_model.Clear();
        m_load = {};
        LoadCatalog(m_model, &m_load);
        const CheckReport report = CheckKnowledgeBase(m_model, m_load, home, {{}, m_db});
        EXPECT_EQ(report.Count(FindingKind::kHomeDirectory), 1u);
        EXPECT_EQ(report.entries, 0u) << "the disk is not looked at";
        EXPECT_EQ(report.Count(FindingKind::kMissing) + report.Count(FindingKind::kScriptFolder), 0u);
        EXPECT_EQ(RestoreScriptFiles(home, source).message, text::kHomeNotUsable);
        EXPECT_EQ(AttachUnplacedRows(m_model, home, m_load, "Recovered").message, text::kHomeNotUsable);
        EXPECT_EQ(LocateMissing(m_model, home, *m_model.NodeById(1), {}, false).message, text::kHomeNotUsable);
        EXPECT_EQ(ImportOperation(m_model, home, nullptr, m_dir.File("inbox/Trip"), false).result.message,
                  text::kHomeNotUsable);
        EXPECT_EQ(MoveHomeOperation(m_model, home, m_dir.File("New")).message, text::kHomeNotUsable);
        EXPECT_FALSE(HomeTree(home).MakeDirectoryPath(home + "/Physics"));
        // Recovery leaves the entry for a usable Home Directory.
        const RecoveryReport recovery = RecoverInterruptedCommands(home);
        EXPECT_EQ(recovery.unresolved, std::vector<std::string>{entry.toPath});
        EXPECT_EQ(ReadJournal().size(), 1u);
        ClearJournalEntry(entry.id);

        EXPECT_TRUE(Entries(work + "/Knowledge").empty());
        EXPECT_EQ(Entries(work), std::vector<std::string>{"Knowledge"});
        EXPECT_TRUE(Entries(m_dir.File("nothing")).empty());
        EXPECT_FALSE(fs::exists("/js/dtree.js"));
        EXPECT_FALSE(fs::exists(m_dir.File("New")));
        EXPECT_EQ(RowCount(), 2);
    }
    EXPECT_EQ(Entries(m_realHome), std::vector<std::string>{"js"});
}

} // namespace
} // namespace mwdx::test
