// What the next start finds after a crash at each step of a command, set up as the crash leaves
// it (the journal entry and the disk), and what it makes of it.

#include "catalog/loader.h"
#include "operations/recovery.h"
#include "platform/home_fs.h"
#include "store/connection.h"
#include "store/journal.h"
#include "support/catalog_fixture.h"
#include "support/process.h"
#include "support/test_support.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace mwdx::test {
namespace {

class RecoveryTest : public CatalogFixture {
protected:
    void SetUp() override {
        CatalogFixture::SetUp();
        fs::create_directories(m_realHome);
        SetHome(m_realHome);
        AddRow(1, "Physics", 0, 0, 1);
        fs::create_directories(m_realHome + "/Physics");
    }

    JournalEntry Write(JournalEntry entry) {
        EXPECT_EQ(WriteJournalEntry(entry), kStatementOk);
        return entry;
    }

    std::string Row(NodeId id) const {
        return QueryText(m_db, "select ifnull((select FILE_NAME||'|'||PARENT_ID||'|'||COMMENT||'|'||FILETYPE||'|'||"
                               "RAW_FILE_NAME||'|'||PATH_LEVEL from FILE_NODE where FILE_ID=" +
                                   std::to_string(id) + "),'');");
    }

    std::string m_realHome = m_dir.File("Knowledge");
    std::string m_inbox = m_dir.File("inbox");
};

TEST_F(RecoveryTest, AnAddThatGotItsFileIsCompletedAndOneThatDidNotIsUndone) {
    // Crashed after the file was published, before its row: the row follows the file.
    JournalEntry arrived;
    arrived.kind = kJournalAddDocument;
    arrived.parentId = 1;
    arrived.fromPath = m_inbox + "/book.pdf";
    arrived.toPath = m_realHome + "/Physics/book.pdf";
    arrived.name = "Book";
    arrived.comment = "it's here";
    arrived.rawFileName = "book.pdf";
    arrived.fileType = 1;
    arrived.pathLevel = 2;
    Write(arrived);
    MakeFile(arrived.toPath, "book");

    // Crashed while copying into a folder the command had just made for a catalog whose folder
    // was gone: a partial file under a temporary name, nothing under the final one.
    AddRow(10, "Chemistry", 0, 0, 1);
    AddRow(11, "Organic", 10, 0, 2);
    JournalEntry partial = arrived;
    partial.parentId = 11;
    partial.pathLevel = 3;
    partial.toPath = m_realHome + "/Chemistry/Organic/notes.txt";
    partial.asidePath = m_realHome + "/Chemistry";
    partial.rawFileName = "notes.txt";
    Write(partial);
    MakeFile(m_realHome + "/Chemistry/Organic/" + TemporaryName(TemporaryKind::kFileCopy, 7), "half");

    // Crashed after making a new catalog's folder, before its row.
    JournalEntry catalog;
    catalog.kind = kJournalAddCatalog;
    catalog.parentId = 1;
    catalog.toPath = m_realHome + "/Physics/Optics";
    catalog.asidePath = catalog.toPath;
    catalog.name = "Optics";
    catalog.pathLevel = 2;
    Write(catalog);
    fs::create_directories(catalog.toPath);

    const RecoveryReport report = RecoverInterruptedCommands(m_realHome);
    EXPECT_EQ(report.finished, std::vector<std::string>{arrived.toPath});
    EXPECT_EQ(report.undone, (std::vector<std::string>{partial.toPath, catalog.toPath}));
    EXPECT_TRUE(report.unresolved.empty());
    EXPECT_EQ(Row(12), "Book|1|it's here|1|book.pdf|2");
    EXPECT_FALSE(fs::exists(m_realHome + "/Chemistry")) << "the temporary file and the folders made for it go";
    EXPECT_FALSE(fs::exists(catalog.toPath));
    EXPECT_TRUE(ReadJournal().empty());

    // What the start then loads agrees with the disk.
    ASSERT_EQ(Reload(), 1);
    EXPECT_EQ(Outline(*m_model.RootNode()), (std::vector<std::string>{"Physics", "  Book", "Chemistry", "  Organic"}));
    EXPECT_EQ(m_model.NodeById(12)->Path(), arrived.toPath);
}

TEST_F(RecoveryTest, ARenameFollowsTheFolderAndADeleteFollowsItsRows) {
    AddRow(2, "Optics", 1, 0, 2);
    AddRow(3, "Lens", 2, 1, 3, "lens.txt");
    AddRow(4, "Waves", 1, 0, 2);
    MakeFile(m_realHome + "/Physics/Optics/lens.txt", "lens");

    // The folder got its new name, the row did not.
    JournalEntry renamed;
    renamed.kind = kJournalRename;
    renamed.nodeId = 2;
    renamed.fromPath = m_realHome + "/Physics/Optics";
    renamed.toPath = m_realHome + "/Physics/Light";
    renamed.name = "Light";
    renamed.comment = "renamed";
    Write(renamed);
    fs::rename(renamed.fromPath, renamed.toPath);

    // A rename that never reached the disk.
    JournalEntry notYet = renamed;
    notYet.nodeId = 4;
    notYet.fromPath = m_realHome + "/Physics/Waves";
    notYet.toPath = m_realHome + "/Physics/Tides";
    notYet.name = "Tides";
    Write(notYet);
    fs::create_directories(notYet.fromPath);

    // A delete put its folder aside but its rows are still there: it comes back. Another had
    // deleted its rows: what it put aside goes.
    AddRow(5, "Old", 0, 0, 1);
    MakeFile(m_realHome + "/Old/old.txt", "old");
    JournalEntry deleting;
    deleting.kind = kJournalDelete;
    deleting.nodeId = 5;
    deleting.fromPath = m_realHome + "/Old";
    deleting.asidePath = m_realHome + "/" + TemporaryName(TemporaryKind::kDeleting, 1);
    Write(deleting);
    fs::rename(deleting.fromPath, deleting.asidePath);
    JournalEntry deleted = deleting;
    deleted.step = kJournalRowsWritten;
    deleted.fromPath = m_realHome + "/Gone";
    deleted.asidePath = m_realHome + "/" + TemporaryName(TemporaryKind::kDeleting, 2);
    Write(deleted);
    MakeFile(deleted.asidePath + "/deep/file.txt", "going");

    // A kind this program does not know: a newer one wrote it, and it stays for that one.
    JournalEntry newer;
    newer.kind = "repair-something";
    newer.toPath = m_realHome + "/x";
    Write(newer);

    const RecoveryReport report = RecoverInterruptedCommands(m_realHome);
    EXPECT_EQ(report.finished, (std::vector<std::string>{renamed.toPath, deleted.fromPath}));
    EXPECT_EQ(report.undone, (std::vector<std::string>{notYet.fromPath, deleting.fromPath}));
    EXPECT_EQ(report.unresolved, std::vector<std::string>{newer.toPath});
    EXPECT_EQ(Row(2), "Light|1|renamed|0||2");
    EXPECT_EQ(Row(4), "Waves|1||0||2");
    EXPECT_EQ(Bytes(m_realHome + "/Old/old.txt"), "old");
    EXPECT_EQ(Entries(m_realHome), (std::vector<std::string>{"Old", "Physics"}));
    const std::vector<JournalEntry> left = ReadJournal();
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(left[0].kind, "repair-something");

    ASSERT_EQ(Reload(), 1);
    EXPECT_EQ(m_model.NodeById(3)->Path(), m_realHome + "/Physics/Light/lens.txt");
}

TEST_F(RecoveryTest, AMoveThatReachedTheDiskIsCompletedWithEveryLevelBelowIt) {
    AddRow(2, "Optics", 1, 0, 2);
    AddRow(3, "Lenses", 2, 0, 3);
    AddRow(4, "Lens", 3, 1, 4, "lens.txt");
    AddRow(5, "Archive", 0, 0, 1);
    AddRow(6, "Old", 5, 0, 2);
    MakeFile(m_realHome + "/Physics/Optics/Lenses/lens.txt", "lens");
    fs::create_directories(m_realHome + "/Archive/Old");

    JournalEntry moved;
    moved.kind = kJournalMove;
    moved.nodeId = 2;
    moved.parentId = 6;
    moved.fromPath = m_realHome + "/Physics/Optics";
    moved.toPath = m_realHome + "/Archive/Old/Optics";
    moved.pathLevel = 3;
    Write(moved);
    fs::rename(moved.fromPath, moved.toPath);
    // One that never reached the disk.
    JournalEntry notYet = moved;
    notYet.nodeId = 6;
    notYet.parentId = 0;
    notYet.fromPath = m_realHome + "/Archive/Old";
    notYet.toPath = m_realHome + "/Old";
    notYet.pathLevel = 1;
    Write(notYet);

    const RecoveryReport report = RecoverInterruptedCommands(m_realHome);
    EXPECT_EQ(report.finished, std::vector<std::string>{moved.toPath});
    EXPECT_EQ(report.undone, std::vector<std::string>{notYet.fromPath});
    EXPECT_EQ(QueryText(m_db, "select group_concat(FILE_ID||':'||PARENT_ID||':'||PATH_LEVEL,' ') from "
                              "(select * from FILE_NODE order by FILE_ID);"),
              "1:0:1 2:6:3 3:2:4 4:3:5 5:0:1 6:5:2");
    LoadReport load;
    ASSERT_EQ(LoadCatalog(m_model, &load), 1);
    EXPECT_TRUE(load.correctedLevels.empty()) << "the stored levels agree with the tree";
    EXPECT_EQ(m_model.NodeById(4)->Path(), m_realHome + "/Archive/Old/Optics/Lenses/lens.txt");
}

TEST_F(RecoveryTest, AMoveTurningBackKeepsWhatWasPutBackWholeAndAMoveGoingOnKeepsItsCopy) {
    AddRow(2, "Optics", 1, 0, 2);
    AddRow(3, "Lens", 2, 1, 3, "lens.txt");
    AddRow(4, "Archive", 0, 0, 1);
    AddRow(5, "Waves", 1, 0, 2);
    AddRow(6, "Tide", 5, 1, 3, "tide.txt");
    MakeFile(m_realHome + "/Physics/Optics/lens.txt", "lens");
    MakeFile(m_realHome + "/Physics/Waves/tide.txt", "tide");
    fs::create_directories(m_realHome + "/Archive");

    // Its rows could not be written, so the move turned back across file systems: Optics was
    // copied back whole, and its copy under Archive was half removed when the program was killed.
    const JournalEntry back = Write({.kind = kJournalMove,
                                     .step = kJournalRollingBack,
                                     .nodeId = 2,
                                     .parentId = 4,
                                     .fromPath = m_realHome + "/Physics/Optics",
                                     .toPath = m_realHome + "/Archive/Optics",
                                     .pathLevel = 2});
    fs::create_directories(back.toPath);
    // Going on, the copy of Waves was published whole and its original not yet set aside.
    const JournalEntry on = Write({.kind = kJournalMove,
                                   .nodeId = 5,
                                   .parentId = 4,
                                   .fromPath = m_realHome + "/Physics/Waves",
                                   .toPath = m_realHome + "/Archive/Waves",
                                   .pathLevel = 2});
    fs::copy(on.fromPath, on.toPath, fs::copy_options::recursive);
    MakeFile(m_realHome + "/Physics/" + TemporaryName(TemporaryKind::kDeleting, 3) + "/half.txt", "half");

    const RecoveryReport report = RecoverInterruptedCommands(m_realHome);
    EXPECT_EQ(report.undone, std::vector<std::string>{back.fromPath});
    EXPECT_EQ(report.finished, std::vector<std::string>{on.toPath});
    EXPECT_EQ(Bytes(m_realHome + "/Physics/Optics/lens.txt"), "lens") << "what was put back whole stays";
    EXPECT_EQ(Bytes(m_realHome + "/Archive/Waves/tide.txt"), "tide");
    EXPECT_EQ(Entries(m_realHome + "/Archive"), std::vector<std::string>{"Waves"});
    EXPECT_EQ(Entries(m_realHome + "/Physics"), std::vector<std::string>{"Optics"});
    EXPECT_TRUE(ReadJournal().empty());
    ASSERT_EQ(Reload(), 1);
    EXPECT_EQ(m_model.NodeById(3)->Path(), m_realHome + "/Physics/Optics/lens.txt");
    EXPECT_EQ(m_model.NodeById(6)->Path(), m_realHome + "/Archive/Waves/tide.txt");
}

} // namespace
} // namespace mwdx::test
