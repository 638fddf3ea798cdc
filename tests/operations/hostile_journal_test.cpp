// A store can come from anywhere (a backup, a synced folder, another person), and its journal with
// it. Entries that do not fit the knowledge base they are found in are never carried out: the start
// reports them, the check shows them with the reason, and the user may discard them.

#include "operations/check.h"
#include "operations/home_move.h"
#include "operations/import_folder.h"
#include "operations/recovery.h"
#include "platform/home_fs.h"
#include "platform/text_ids.h"
#include "store/connection.h"
#include "store/journal.h"
#include "support/catalog_fixture.h"
#include "support/process.h"
#include "support/test_support.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <map>

namespace fs = std::filesystem;

namespace mwdx::test {
namespace {

// Every entry below `folder` with its content ("/" for a folder); none when the folder is gone.
std::map<std::string, std::string> Contents(const std::string& folder) {
    std::map<std::string, std::string> seen;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(folder, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec)) {
        seen[it->path().string()] = it->is_directory() ? "/" : Bytes(it->path().string());
    }
    return seen;
}

class HostileJournalTest : public CatalogFixture {
protected:
    void SetUp() override {
        CatalogFixture::SetUp();
        SetHome(m_realHome);
        AddRow(1, "Physics", 0, 0, 1);
        AddRow(2, "Optics", 1, 0, 2);
        AddRow(3, "Lens", 2, 1, 3, "lens.txt");
        MakeFile(m_realHome + "/Physics/Optics/lens.txt", "lens");
        MakeFile(m_realHome + "/Scans/scan.jpg", "a folder no node owns");
        // A folder of the user's outside the Home Directory, and another that looks like a moved
        // copy of the knowledge base.
        MakeFile(m_outside + "/letters/mother.txt", "dear mother");
        MakeFile(m_outside + "/tax.pdf", "tax");
        MakeFile(m_elsewhere + "/Physics/old.txt", "someone else's physics");
    }

    JournalEntry Plant(JournalEntry entry) {
        EXPECT_EQ(WriteJournalEntry(entry), kStatementOk);
        return entry;
    }

    std::string RootDir() { return QueryText(m_db, "select ROOT_DIR from SYS_CONFIG;"); }

    std::string m_realHome = m_dir.File("Knowledge");
    std::string m_outside = m_dir.File("Private");
    std::string m_elsewhere = m_dir.File("Elsewhere");
};

TEST_F(HostileJournalTest, EntriesThatDoNotFitAreNeverCarriedOutAndNothingIsSaidToBeDone) {
    const auto outsideBefore = Contents(m_outside);
    const auto elsewhereBefore = Contents(m_elsewhere);
    const auto homeBefore = Contents(m_realHome);
    const std::string aside = m_realHome + "/" + TemporaryName(TemporaryKind::kDeleting, 1);

    // A moved import whose originals and copy are the same folder outside: every file in it would
    // be unlinked as an original whose copy is in place.
    Plant({.kind = kJournalImportKind,
           .step = kJournalRowsWritten,
           .fromPath = m_outside,
           .toPath = m_outside,
           .asidePath = m_outside + "/" + TemporaryName(TemporaryKind::kFolderCopy, 1),
           .flags = 1});
    // A Home Directory move into a folder that happens to hold a Physics: the knowledge base's own
    // Physics would go as the original of a copy moved whole.
    Plant({.kind = kJournalHomeMove, .fromPath = m_realHome, .toPath = m_elsewhere});
    // A move of somebody else's folder, which would become the Home Directory.
    Plant({.kind = kJournalHomeMove, .fromPath = m_outside, .toPath = m_dir.File("Taken")});
    // A delete whose rows are still there.
    Plant({.kind = kJournalDelete,
           .step = kJournalRowsWritten,
           .nodeId = 77,
           .fromPath = m_realHome + "/Physics",
           .asidePath = aside});
    // A move of Optics that "reached" an untracked folder: its own folder would go as the original.
    Plant({.kind = kJournalMove,
           .nodeId = 2,
           .fromPath = m_realHome + "/Physics/Optics",
           .toPath = m_realHome + "/Scans",
           .pathLevel = 1});
    // A step that adding a catalog never has.
    Plant({.kind = kJournalAddCatalog,
           .step = kJournalRowsWritten,
           .toPath = m_realHome + "/Planted",
           .name = "Planted",
           .pathLevel = 1});
    // A document "added" as a file outside.
    Plant({.kind = kJournalAddDocument,
           .toPath = m_outside + "/tax.pdf",
           .name = "Tax",
           .rawFileName = "tax.pdf",
           .fileType = 1,
           .pathLevel = 1});

    const RecoveryReport report = RecoverInterruptedCommands(m_realHome);
    EXPECT_TRUE(report.finished.empty());
    EXPECT_TRUE(report.undone.empty());
    EXPECT_TRUE(report.unresolved.empty());
    EXPECT_EQ(report.refused,
              (std::vector<std::string>{m_outside, m_elsewhere, m_dir.File("Taken"), m_realHome + "/Physics",
                                        m_realHome + "/Scans", m_realHome + "/Planted", m_outside + "/tax.pdf"}));
    EXPECT_EQ(Contents(m_outside), outsideBefore) << "nothing outside is touched";
    EXPECT_EQ(Contents(m_elsewhere), elsewhereBefore);
    EXPECT_FALSE(fs::exists(m_dir.File("Taken")));
    EXPECT_EQ(Contents(m_realHome), homeBefore) << "nor anything in the Home Directory";
    EXPECT_EQ(RootDir(), m_realHome);
    EXPECT_EQ(RowCount(), 3);
    EXPECT_EQ(ReadJournal().size(), 7u) << "they stay until the user discards them";

    // A second start refuses them again, and still carries nothing out.
    EXPECT_EQ(RecoverInterruptedCommands(m_realHome).refused.size(), 7u);
    EXPECT_EQ(Contents(m_outside), outsideBefore);
}

TEST_F(HostileJournalTest, TheCheckShowsWhyAndTheUserDiscardsThemWithoutTouchingAFile) {
    const auto outsideBefore = Contents(m_outside);
    const JournalEntry planted = Plant({.kind = kJournalImportKind,
                                        .step = kJournalRowsWritten,
                                        .fromPath = m_outside,
                                        .toPath = m_outside,
                                        .asidePath = m_outside + "/" + TemporaryName(TemporaryKind::kFolderCopy, 1),
                                        .flags = 1});
    // An entry a crash of this program left: it fits, and stays for "Finish or undo".
    const JournalEntry fitting = Plant({.kind = kJournalAddDocument,
                                        .parentId = 1,
                                        .toPath = m_realHome + "/Physics/late.txt",
                                        .name = "Late",
                                        .rawFileName = "late.txt",
                                        .fileType = 1,
                                        .pathLevel = 2});

    CheckReport report = CheckOpenStore({});
    ASSERT_EQ(report.Count(FindingKind::kRefusedEntry), 1u);
    ASSERT_EQ(report.Count(FindingKind::kUnfinished), 1u);
    const auto refused = std::find_if(report.findings.begin(), report.findings.end(),
                                      [](const Finding& f) { return f.kind == FindingKind::kRefusedEntry; });
    EXPECT_EQ(refused->path, m_outside);
    EXPECT_EQ(refused->entryId, planted.id);
    EXPECT_EQ(refused->detail, "import: a path lies outside the Home Directory");
    EXPECT_EQ(FindingTitle(FindingKind::kRefusedEntry), text::kRefusedEntries);
    EXPECT_EQ(FindingTitle(FindingKind::kScriptFolder), text::kFindingsFirst + 8);

    // Discarding the fitting one is not the user's to do here: it stays.
    ASSERT_TRUE(DiscardRefusedEntries({planted.id, fitting.id}, m_realHome).done);
    const std::vector<JournalEntry> left = ReadJournal();
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(left.front().id, fitting.id);
    EXPECT_EQ(Contents(m_outside), outsideBefore);
    report = CheckOpenStore({});
    EXPECT_EQ(report.Count(FindingKind::kRefusedEntry), 0u);

    // A store that cannot be written keeps the entry, and says so.
    const JournalEntry again = Plant(planted);
    ASSERT_EQ(ExecStatement("PRAGMA query_only = 1;"), kStatementOk);
    EXPECT_EQ(DiscardRefusedEntries({again.id}, m_realHome).message, text::kChangeNotSaved);
    ASSERT_EQ(ExecStatement("PRAGMA query_only = 0;"), kStatementOk);
    EXPECT_EQ(ReadJournal().size(), 2u);
}

TEST_F(HostileJournalTest, AHomeMoveIsCarriedOutOnlyFromTheStoresHomeIntoAFolderItsMarkIsIn) {
    fs::create_directories(m_dir.File("New"));
    std::string error;
    // The mark of a move from another folder does not make a move from this one.
    const std::string otherMark = WriteMoveMark(m_outside, m_dir.File("New"), &error);
    ASSERT_FALSE(otherMark.empty()) << error;
    std::vector<std::int64_t> ids;
    ids.push_back(
        Plant({.kind = kJournalHomeMove, .fromPath = m_realHome, .toPath = m_dir.File("New"), .asidePath = otherMark})
            .id);
    // Nor a mark somewhere else than the folder moved into.
    const std::string mark = WriteMoveMark(m_realHome, m_elsewhere, &error);
    ids.push_back(
        Plant({.kind = kJournalHomeMove, .fromPath = m_realHome, .toPath = m_dir.File("New"), .asidePath = mark}).id);
    // Nor a home named another way.
    ids.push_back(Plant({.kind = kJournalHomeMove,
                         .fromPath = m_realHome + "/../Knowledge",
                         .toPath = m_elsewhere,
                         .asidePath = mark})
                      .id);
    const RecoveryReport report = RecoverInterruptedCommands(m_realHome);
    EXPECT_EQ(report.refused.size(), 3u);
    EXPECT_TRUE(report.finished.empty());
    EXPECT_TRUE(report.undone.empty());
    EXPECT_TRUE(fs::exists(m_realHome + "/Physics/Optics/lens.txt"));
    EXPECT_EQ(Bytes(m_elsewhere + "/Physics/old.txt"), "someone else's physics");
    EXPECT_EQ(RootDir(), m_realHome);

    // With its own mark in the folder it moves into, the same move is finished.
    ASSERT_TRUE(DiscardRefusedEntries(ids, m_realHome).done);
    EXPECT_TRUE(ReadJournal().empty());
    fs::remove_all(m_elsewhere + "/Physics");
    Plant({.kind = kJournalHomeMove, .fromPath = m_realHome, .toPath = m_elsewhere, .asidePath = mark});
    const RecoveryReport moved = RecoverInterruptedCommands(m_realHome);
    EXPECT_EQ(moved.finished, std::vector<std::string>{m_elsewhere});
    EXPECT_EQ(Bytes(m_elsewhere + "/Physics/Optics/lens.txt"), "lens");
    EXPECT_EQ(RootDir(), m_elsewhere);
    EXPECT_FALSE(fs::exists(mark));
}

} // namespace
} // namespace mwdx::test
