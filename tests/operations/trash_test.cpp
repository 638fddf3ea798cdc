// The trash on a real store and real folders: what a delete puts there, what a restore brings back
// and where, what it refuses, deleting for good and emptying, and what the next start makes of a
// crash in the middle of each.

#include "catalog/loader.h"
#include "operations/add_catalog.h"
#include "operations/add_document.h"
#include "operations/check.h"
#include "operations/home_move.h"
#include "operations/journal_check.h"
#include "operations/names.h"
#include "operations/recovery.h"
#include "operations/steps.h"
#include "operations/trash.h"
#include "platform/home_fs.h"
#include "platform/text_ids.h"
#include "store/connection.h"
#include "store/journal.h"
#include "store/settings.h"
#include "support/catalog_fixture.h"
#include "support/process.h"
#include "support/test_support.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace mwdx::test {
namespace {

class TrashTest : public CatalogFixture {
protected:
    void SetUp() override {
        CatalogFixture::SetUp();
        // The page's script folder, so that a healthy knowledge base checks healthy.
        MakeFile(m_realHome + "/js/dtree.js");
        MakeFile(m_realHome + "/js/dtree.css");
        SetHome(m_realHome);
    }

    CatalogNode* Catalog(CatalogNode* parent, const std::string& name) {
        return AddCatalogAsUser(m_realHome, parent, name, "about " + name);
    }
    CatalogNode* Document(CatalogNode* parent, const std::string& file, const std::string& content) {
        return AddDocumentAsUser(m_realHome, parent, file, content);
    }

    // The rows as "id:name:parent:level" in id order.
    std::string Rows() const {
        return QueryText(m_db, "select ifnull(group_concat(FILE_ID||':'||FILE_NAME||':'||PARENT_ID||':'||PATH_LEVEL,"
                               "' '),'') from (select * from FILE_NODE order by FILE_ID);");
    }
    std::string TrashRows() const {
        if (QueryText(m_db, "select count(*) from sqlite_master where name='MWDX_TRASH';") == "0") {
            return "no tables";
        }
        return QueryText(m_db, "select count(*)||' entries, '||(select count(*) from MWDX_TRASH_NODE)||' rows' "
                               "from MWDX_TRASH;");
    }
    // The tree as the store gives it at the next start.
    std::vector<std::string> Restarted() {
        CatalogModel model;
        EXPECT_EQ(LoadCatalog(model), 1);
        return model.RootNode() != nullptr ? Outline(*model.RootNode()) : std::vector<std::string>{};
    }
    std::string Trash() const { return m_realHome + "/.marrowdex-trash"; }
    // The check as the Check button runs it: a finished command's entry left for later is no finding.
    static CheckReport Check() { return CheckAndRemember({}); }
    // What the check finds, a line each: "kind path (detail)"; "" for a healthy knowledge base.
    static std::string Findings() {
        std::string lines;
        for (const Finding& finding : Check().findings) {
            lines +=
                std::to_string(static_cast<int>(finding.kind)) + " " + finding.path + " (" + finding.detail + ")\n";
        }
        return lines;
    }

    std::string m_realHome = m_dir.File("Knowledge");
};

// Deleted with its files, a catalog leaves its place whole for its entry's folder in the trash;
// restored, it comes back as it was: the same ids, rows, texts and files, and nothing stays in the
// trash. A store without the trash's tables reads as an empty trash and gets them at the first
// delete.
TEST_F(TrashTest, ADeletedCatalogWaitsInTheTrashAndComesBackWhole) {
    CatalogNode* physics = Catalog(nullptr, "Physics");
    CatalogNode* optics = Catalog(physics, "Optics");
    Document(optics, "lens.txt", "lens");
    Document(physics, "book.pdf", "book");
    CatalogNode* maths = Catalog(nullptr, "Maths");
    MakeFile(m_realHome + "/Physics/Optics/untracked.txt", "goes with its folder");
    // A comment longer than a node holds: the trash keeps the stored text, not the node's.
    const std::string longComment(2000, 'c');
    RunSql(m_db, "update FILE_NODE set COMMENT='" + longComment +
                     "' where FILE_ID=" + std::to_string(optics->FileId()) + ";");
    const std::string before = Rows();
    const std::vector<std::string> outline = Outline(*m_model.RootNode());

    int status = -1;
    EXPECT_TRUE(ReadTrash(&status).empty());
    EXPECT_EQ(status, kStatementOk);
    EXPECT_EQ(TrashRows(), "no tables") << "reading the trash never writes";

    std::int64_t id = 0;
    const OpResult deleted = DeleteToTrashOperation(m_model, m_realHome, *physics, true, {}, &id);
    ASSERT_TRUE(deleted.done) << deleted.detail;
    EXPECT_EQ(deleted.message, 0);
    EXPECT_FALSE(fs::exists(m_realHome + "/Physics"));
    const std::string item = Trash() + "/" + std::to_string(id) + "/Physics";
    EXPECT_EQ(Bytes(item + "/Optics/lens.txt"), "lens");
    EXPECT_EQ(Bytes(item + "/Optics/untracked.txt"), "goes with its folder");
    EXPECT_EQ(Bytes(item + "/book.pdf"), "book");
    EXPECT_EQ(Rows(), std::to_string(maths->FileId()) + ":Maths:0:1");
    EXPECT_EQ(m_model.NodeCount(), 1u);
    EXPECT_EQ(TrashRows(), "1 entries, 4 rows");
    const std::vector<TrashEntry> trash = ReadTrash();
    ASSERT_EQ(trash.size(), 1u);
    EXPECT_EQ(trash[0].id, id);
    EXPECT_EQ(trash[0].name, "Physics");
    EXPECT_EQ(trash[0].place, "Physics");
    EXPECT_EQ(trash[0].parentId, 0);
    EXPECT_TRUE(trash[0].files);
    EXPECT_EQ(trash[0].nodes, 4);
    EXPECT_GT(trash[0].deletedAt, 0);
    EXPECT_EQ(Restarted(), std::vector<std::string>{"Maths"});
    EXPECT_EQ(Findings(), "") << "the trash is not untracked, and it agrees with its rows";

    CatalogNode* restored = nullptr;
    const OpResult back = RestoreFromTrashOperation(m_model, m_realHome, id, nullptr, &restored);
    ASSERT_TRUE(back.done) << back.detail;
    ASSERT_NE(restored, nullptr);
    EXPECT_EQ(restored->Path(), m_realHome + "/Physics");
    EXPECT_EQ(Bytes(m_realHome + "/Physics/Optics/lens.txt"), "lens");
    EXPECT_EQ(Bytes(m_realHome + "/Physics/book.pdf"), "book");
    EXPECT_EQ(Rows(), before) << "the same ids, parents and levels";
    EXPECT_EQ(QueryText(m_db, "select length(COMMENT) from FILE_NODE where FILE_NAME='Optics';"), "2000");
    EXPECT_EQ(TrashRows(), "0 entries, 0 rows");
    EXPECT_TRUE(fs::is_empty(Trash())) << "the entry's folder went with it";
    EXPECT_EQ(m_model.NodeCount(), 5u);
    EXPECT_EQ(m_model.NodeById(restored->FileId())->Parent(), m_model.RootNode());
    EXPECT_EQ(Restarted(), outline);
    EXPECT_EQ(Findings(), "2 " + m_realHome + "/Physics/Optics/untracked.txt (file)\n") << "it came back too";
    EXPECT_EQ(RestoreFromTrashOperation(m_model, m_realHome, id).message, text::kTrashEntryGone);
}

// A restore never replaces anything and changes nothing when it cannot go back: a sibling took the
// name, something else lies at the place, the files are gone from the trash. With the catalog it
// came from gone, it asks where to, and goes there.
TEST_F(TrashTest, ARestoreNeverReplacesAnythingAndAsksWhereWhenItsCatalogIsGone) {
    CatalogNode* physics = Catalog(nullptr, "Physics");
    CatalogNode* optics = Catalog(physics, "Optics");
    Document(optics, "lens.txt", "lens");
    CatalogNode* maths = Catalog(nullptr, "Maths");
    std::int64_t opticsEntry = 0;
    ASSERT_TRUE(DeleteToTrashOperation(m_model, m_realHome, *optics, true, {}, &opticsEntry).done);
    const std::string item = Trash() + "/" + std::to_string(opticsEntry) + "/Optics";

    // Another catalog of that name in Physics.
    CatalogNode* other = Catalog(physics, "Optics");
    EXPECT_EQ(RestoreFromTrashOperation(m_model, m_realHome, opticsEntry).message, text::kCatalogNameTaken);
    EXPECT_EQ(Bytes(item + "/lens.txt"), "lens");
    ASSERT_TRUE(DeleteToTrashOperation(m_model, m_realHome, *other, false).done);
    // A folder no node owns at the place.
    MakeFile(m_realHome + "/Physics/Optics/mine.txt", "mine");
    const OpResult taken = RestoreFromTrashOperation(m_model, m_realHome, opticsEntry);
    EXPECT_EQ(taken.message, text::kRestorePlaceTaken);
    EXPECT_EQ(taken.detail, m_realHome + "/Physics/Optics");
    EXPECT_EQ(Entries(m_realHome + "/Physics/Optics"), std::vector<std::string>{"mine.txt"});
    EXPECT_EQ(Bytes(item + "/lens.txt"), "lens");
    EXPECT_EQ(ReadTrash().size(), 2u);
    EXPECT_TRUE(ReadJournal().empty());
    fs::remove_all(m_realHome + "/Physics/Optics");

    // Physics goes for good: Optics has nowhere to go until the user says where.
    ASSERT_TRUE(DeleteToTrashOperation(m_model, m_realHome, *physics, true).done);
    const std::int64_t physicsEntry = ReadTrash().back().id;
    ASSERT_TRUE(DeleteFromTrashOperation(m_realHome, physicsEntry).done);
    EXPECT_EQ(RestoreFromTrashOperation(m_model, m_realHome, opticsEntry).message, text::kChooseRestoreCatalog);
    EXPECT_EQ(Bytes(item + "/lens.txt"), "lens");
    CatalogNode* restored = nullptr;
    ASSERT_TRUE(RestoreFromTrashOperation(m_model, m_realHome, opticsEntry, maths, &restored).done);
    EXPECT_EQ(restored->Path(), m_realHome + "/Maths/Optics");
    EXPECT_EQ(Bytes(m_realHome + "/Maths/Optics/lens.txt"), "lens");
    EXPECT_EQ(Restarted(), (std::vector<std::string>{"Maths", "  Optics", "    Doc lens.txt"}));
    EXPECT_EQ(QueryText(m_db, "select group_concat(PATH_LEVEL) from FILE_NODE where FILE_NAME<>'Maths';"), "2,3");

    // Its files gone from the trash behind the program's back: nothing is restored.
    ASSERT_TRUE(DeleteToTrashOperation(m_model, m_realHome, *restored, true, {}, &opticsEntry).done);
    fs::remove_all(Trash() + "/" + std::to_string(opticsEntry));
    EXPECT_EQ(RestoreFromTrashOperation(m_model, m_realHome, opticsEntry).message, text::kTrashFilesMissing);
    EXPECT_EQ(Restarted(), std::vector<std::string>{"Maths"});
    const CheckReport report = Check();
    ASSERT_EQ(report.Count(FindingKind::kTrash), 1u);
    EXPECT_EQ(report.findings.back().detail, "files missing");
    // Deleted for good, it leaves a healthy knowledge base.
    EXPECT_TRUE(DeleteFromTrashOperation(m_realHome, opticsEntry).done);
    EXPECT_EQ(Findings(), "");
}

// Deleting without files keeps today's behaviour on disk; the rows still wait in the trash, and
// come back without a file being touched.
TEST_F(TrashTest, DeleteWithoutFilesLeavesTheDiskAloneAndItsRowsCanComeBack) {
    CatalogNode* physics = Catalog(nullptr, "Physics");
    Document(physics, "book.pdf", "book");
    const std::string before = Rows();
    std::int64_t id = 0;
    ASSERT_TRUE(DeleteToTrashOperation(m_model, m_realHome, *physics, false, {}, &id).done);
    EXPECT_EQ(Bytes(m_realHome + "/Physics/book.pdf"), "book");
    EXPECT_FALSE(fs::exists(Trash()));
    EXPECT_EQ(Rows(), "");
    ASSERT_EQ(ReadTrash().size(), 1u);
    EXPECT_FALSE(ReadTrash()[0].files);
    EXPECT_TRUE(ReadJournal().empty());
    ASSERT_TRUE(RestoreFromTrashOperation(m_model, m_realHome, id).done);
    EXPECT_EQ(Rows(), before);
    EXPECT_EQ(Bytes(m_realHome + "/Physics/book.pdf"), "book");
    EXPECT_EQ(Findings(), "");
}

// An old store whose ids are given again: a node added after the delete took one of the deleted
// ids, so the restored rows take new ones, each child under its parent's new id.
TEST_F(TrashTest, IdsGivenAgainSinceTheDeleteGiveTheRestoredRowsNewOnes) {
    RunSql(m_db, "drop table FILE_NODE; create table FILE_NODE (FILE_ID INTEGER PRIMARY KEY, FILE_NAME TEXT, "
                 "PARENT_ID INTEGER, COMMENT TEXT, FILETYPE INTEGER, RAW_FILE_NAME TEXT, PATH_LEVEL INTEGER);");
    AddRow(1, "Maths", 0, 0, 1);
    AddRow(2, "Physics", 0, 0, 1);
    AddRow(3, "Optics", 2, 0, 2);
    AddRow(4, "Lens", 3, 1, 3, "lens.txt");
    fs::create_directories(m_realHome + "/Maths");
    MakeFile(m_realHome + "/Physics/Optics/lens.txt", "lens");
    ASSERT_EQ(Reload(), 1);
    std::int64_t id = 0;
    ASSERT_TRUE(DeleteToTrashOperation(m_model, m_realHome, *m_model.NodeById(2), true, {}, &id).done);
    // Ids 2 to 4 are free again: the next catalog takes 2.
    ASSERT_NE(Catalog(nullptr, "Chemistry"), nullptr);
    EXPECT_EQ(Rows(), "1:Maths:0:1 2:Chemistry:0:1");
    ASSERT_TRUE(RestoreFromTrashOperation(m_model, m_realHome, id).done);
    EXPECT_EQ(Rows(), "1:Maths:0:1 2:Chemistry:0:1 3:Physics:0:1 4:Optics:3:2 5:Lens:4:3");
    EXPECT_EQ(m_model.NodeById(5)->Path(), m_realHome + "/Physics/Optics/lens.txt");
    EXPECT_EQ(Restarted(), (std::vector<std::string>{"Maths", "Chemistry", "Physics", "  Optics", "    Lens"}));
    EXPECT_EQ(Findings(), "");
}

// Delete for good and Empty the trash remove what they say and nothing else; the size asked
// about is what the trash's files hold. A removal that cannot finish leaves the journal to the
// next start, which ends it.
TEST_F(TrashTest, DeletingForGoodAndEmptyingRemoveOnlyTheTrashsFiles) {
    CatalogNode* physics = Catalog(nullptr, "Physics");
    Document(physics, "book.pdf", std::string(1000, 'b'));
    CatalogNode* maths = Catalog(nullptr, "Maths");
    Document(maths, "proof.txt", std::string(300, 'p'));
    CatalogNode* recipes = Catalog(nullptr, "Recipes");
    Document(recipes, "soup.txt", std::string(20, 's'));
    std::int64_t physicsEntry = 0;
    std::int64_t mathsEntry = 0;
    ASSERT_TRUE(DeleteToTrashOperation(m_model, m_realHome, *physics, true, {}, &physicsEntry).done);
    ASSERT_TRUE(DeleteToTrashOperation(m_model, m_realHome, *maths, true, {}, &mathsEntry).done);
    const TrashSize size = MeasureTrash(m_realHome);
    EXPECT_EQ(size.bytes, 1300u);
    EXPECT_EQ(size.entries, 6u) << "two entry folders, two catalog folders, two files";

    ASSERT_TRUE(DeleteFromTrashOperation(m_realHome, physicsEntry).done);
    EXPECT_EQ(Entries(Trash()), std::vector<std::string>{std::to_string(mathsEntry)});
    ASSERT_EQ(ReadTrash().size(), 1u);
    EXPECT_EQ(DeleteFromTrashOperation(m_realHome, physicsEntry).message, text::kTrashEntryGone);

    // The removal fails part-way: what is left stays aside, and the next start removes it.
    const OpResult partly = DeleteFromTrashOperation(
        m_realHome, mathsEntry, [](const HomeTree&, const std::string&, std::size_t, std::string* error) {
            *error = "the disk said no";
            return false;
        });
    EXPECT_TRUE(partly.done);
    EXPECT_EQ(partly.message, text::kSomeFilesNotDeleted);
    EXPECT_TRUE(ReadTrash().empty());
    ASSERT_EQ(Entries(Trash()).size(), 1u);
    EXPECT_TRUE(IsTemporaryName(Entries(Trash())[0]));
    const RecoveryReport recovered = RecoverInterruptedCommands(m_realHome);
    EXPECT_EQ(recovered.finished, std::vector<std::string>{Trash() + "/" + std::to_string(mathsEntry)});
    EXPECT_TRUE(fs::is_empty(Trash()));
    EXPECT_TRUE(ReadJournal().empty());

    // Emptying: the whole trash folder goes, foreign files in it too, and every entry.
    ASSERT_TRUE(DeleteToTrashOperation(m_model, m_realHome, *recipes, true).done);
    MakeFile(Trash() + "/dropped here.txt", "x");
    EXPECT_EQ(MeasureTrash(m_realHome).bytes, 21u);
    const OpResult emptied = EmptyTrashOperation(m_realHome);
    EXPECT_TRUE(emptied.done) << emptied.detail;
    EXPECT_FALSE(fs::exists(Trash()));
    EXPECT_TRUE(ReadTrash().empty());
    EXPECT_EQ(MeasureTrash(m_realHome).bytes, 0u);
    EXPECT_EQ(Entries(m_realHome), std::vector<std::string>{"js"}) << "nothing aside left behind";
    EXPECT_EQ(ClearJournalEntriesLeftForLater(), kStatementOk);
    EXPECT_TRUE(ReadJournal().empty());
    EXPECT_TRUE(EmptyTrashOperation(m_realHome).done) << "an empty trash empties at once";
}

// Files that cannot go to the trash: the delete changes nothing at all, and says why.
TEST_F(TrashTest, FilesTheTrashCannotTakeStopTheDeleteWithNothingChanged) {
    CatalogNode* physics = Catalog(nullptr, "Physics");
    Document(physics, "book.pdf", "book");
    const std::string before = Rows();

    // Something that is not a folder under the trash's name.
    MakeFile(Trash(), "not a folder");
    EXPECT_EQ(DeleteToTrashOperation(m_model, m_realHome, *physics, true).message, text::kTrashNotAFolder);
    EXPECT_EQ(Rows(), before);
    EXPECT_EQ(Bytes(Trash()), "not a folder");
    const CheckReport report = Check();
    ASSERT_EQ(report.Count(FindingKind::kTrash), 1u);
    EXPECT_EQ(report.findings.back().detail, "not a folder");
    EXPECT_EQ(EmptyTrashOperation(m_realHome).message, text::kTrashNotAFolder);
    EXPECT_EQ(Bytes(Trash()), "not a folder") << "emptying never removes what is not the trash's";
    fs::remove(Trash());

    // A folder that cannot be renamed.
    if (RunProcess({"chattr", "+i", m_realHome + "/Physics"}).exitCode == 0) {
        const OpResult refused = DeleteToTrashOperation(m_model, m_realHome, *physics, true);
        RunProcess({"chattr", "-i", m_realHome + "/Physics"});
        EXPECT_FALSE(refused.done);
        EXPECT_EQ(refused.message, text::kCannotMoveToTrash);
        EXPECT_EQ(Rows(), before);
        EXPECT_EQ(m_model.NodeCount(), 2u);
        EXPECT_EQ(Bytes(m_realHome + "/Physics/book.pdf"), "book");
        EXPECT_TRUE(ReadTrash().empty());
        EXPECT_TRUE(ReadJournal().empty());
        EXPECT_TRUE(!fs::exists(Trash()) || fs::is_empty(Trash()));
    }

    // A catalog on a file system of its own: no copy is made behind the user's back.
    if (::geteuid() != 0 || ::unshare(CLONE_NEWNS) != 0 ||
        ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
        GTEST_SKIP() << "needs root and a private mount namespace";
    }
    CatalogNode* mounted = Catalog(nullptr, "Mounted");
    ASSERT_EQ(::mount("tmpfs", mounted->Path().c_str(), "tmpfs", 0, "size=1M"), 0) << std::strerror(errno);
    Document(mounted, "far.txt", "far");
    const std::string withMounted = Rows();
    // The document alone lies on the other file system; so does the catalog's folder, a mount point.
    EXPECT_EQ(DeleteToTrashOperation(m_model, m_realHome, *mounted->FirstChild(), true).message,
              text::kTrashOtherFileSystem);
    EXPECT_EQ(Rows(), withMounted);
    EXPECT_EQ(Bytes(m_realHome + "/Mounted/far.txt"), "far");
    EXPECT_TRUE(ReadTrash().empty());
    ::umount2(mounted->Path().c_str(), MNT_DETACH);
}

// The names the trash keeps: no catalog, document or import takes them at the top level, and no
// document is taken out of the trash.
TEST_F(TrashTest, TheTrashsNameAndFilesAreTheKnowledgeBases) {
    EXPECT_EQ(CatalogNameRefusal(".marrowdex-trash", nullptr, nullptr), text::kNameNotUsable);
    CatalogNode* physics = Catalog(nullptr, "Physics");
    EXPECT_EQ(CatalogNameRefusal(".marrowdex-trash", physics, nullptr), 0) << "only at the top level";
    Document(physics, "book.pdf", "book");
    std::int64_t id = 0;
    ASSERT_TRUE(DeleteToTrashOperation(m_model, m_realHome, *physics, true, {}, &id).done);
    const std::string inTrash = Trash() + "/" + std::to_string(id) + "/Physics/book.pdf";
    EXPECT_TRUE(BelongsToKnowledgeBase(m_model, m_realHome, inTrash, {}));
    NewDocument request;
    request.source = inTrash;
    request.name = "Taken out";
    request.move = true;
    EXPECT_FALSE(AddDocumentOperation(m_model, m_realHome, request).done);
    EXPECT_EQ(Bytes(inTrash), "book");
}

// The trash belongs to the knowledge base: a move of the Home Directory takes it along, and what is
// in it is restored in the new place.
TEST_F(TrashTest, TheTrashMovesWithTheHomeDirectory) {
    CatalogNode* physics = Catalog(nullptr, "Physics");
    Document(physics, "book.pdf", "book");
    std::int64_t id = 0;
    ASSERT_TRUE(DeleteToTrashOperation(m_model, m_realHome, *physics, true, {}, &id).done);
    const std::string moved = m_dir.File("Moved");
    const OpResult result = MoveHomeOperation(m_model, m_realHome, moved);
    ASSERT_TRUE(result.done) << result.detail;
    LoadSettings(); // as the window does once the move is done
    EXPECT_FALSE(fs::exists(Trash()));
    EXPECT_EQ(Bytes(moved + "/.marrowdex-trash/" + std::to_string(id) + "/Physics/book.pdf"), "book");
    ASSERT_TRUE(RestoreFromTrashOperation(m_model, moved, id).done);
    EXPECT_EQ(Bytes(moved + "/Physics/book.pdf"), "book");
    EXPECT_EQ(Findings(), "");
}

// A crash at any moment of each trash command: the next start finishes it or undoes it, says so,
// and leaves the rows and the files agreeing.
TEST_F(TrashTest, TheNextStartFinishesOrUndoesWhatACrashInterrupted) {
    CatalogNode* physics = Catalog(nullptr, "Physics");
    Document(physics, "book.pdf", "book");
    const NodeId maths = Catalog(nullptr, "Maths")->FileId();

    // Into the trash: the rows and the journal's word committed, the files not yet moved.
    TrashEntry entry;
    entry.nodeId = physics->FileId();
    entry.name = "Physics";
    entry.place = "Physics";
    entry.onDisk = "Physics";
    entry.files = true;
    JournalEntry moving;
    moving.kind = kJournalTrash;
    moving.step = kJournalRowsWritten;
    moving.fromPath = physics->Path();
    {
        Transaction transaction;
        ASSERT_EQ(transaction.Begin(), kStatementOk);
        ASSERT_EQ(MoveRowsToTrash(*physics, entry), kStatementOk);
        moving.nodeId = entry.id;
        moving.toPath = TrashItemPath(m_realHome, entry);
        ASSERT_EQ(WriteJournalEntry(moving), kStatementOk);
        ASSERT_EQ(transaction.Commit(), kStatementOk);
    }
    RecoveryReport report = RecoverInterruptedCommands(m_realHome);
    EXPECT_EQ(report.finished, std::vector<std::string>{m_realHome + "/Physics"});
    EXPECT_EQ(Bytes(moving.toPath + "/book.pdf"), "book");
    EXPECT_FALSE(fs::exists(m_realHome + "/Physics"));
    EXPECT_TRUE(ReadJournal().empty());
    ASSERT_EQ(Reload(), 1);
    EXPECT_EQ(Findings(), "");

    // A restore whose rename happened, its rows not yet written: the rows follow.
    JournalEntry restoring;
    restoring.kind = kJournalRestore;
    restoring.nodeId = entry.id;
    restoring.fromPath = moving.toPath;
    restoring.toPath = m_realHome + "/Physics";
    restoring.name = "Physics";
    restoring.pathLevel = 1;
    ASSERT_EQ(WriteJournalEntry(restoring), kStatementOk);
    ASSERT_TRUE(HomeTree(m_realHome).RenameNoReplace(restoring.fromPath, restoring.toPath));
    report = RecoverInterruptedCommands(m_realHome);
    EXPECT_EQ(report.finished, std::vector<std::string>{m_realHome + "/Physics"});
    EXPECT_TRUE(ReadTrash().empty());
    EXPECT_TRUE(fs::is_empty(Trash()));
    EXPECT_EQ(Restarted(), (std::vector<std::string>{"Physics", "  Doc book.pdf", "Maths"}));
    ASSERT_EQ(Reload(), 1);
    EXPECT_EQ(Findings(), "");

    // A restore that had not renamed yet, into a catalog whose folder it was about to make: undone.
    std::int64_t id = 0;
    ASSERT_TRUE(DeleteToTrashOperation(m_model, m_realHome, *m_model.NodeById(maths), true, {}, &id).done);
    AddRow(50, "Chemistry", 0, 0, 1);
    JournalEntry notYet;
    notYet.kind = kJournalRestore;
    notYet.nodeId = id;
    notYet.parentId = 50;
    notYet.fromPath = Trash() + "/" + std::to_string(id) + "/Maths";
    notYet.toPath = m_realHome + "/Chemistry/Maths";
    notYet.asidePath = m_realHome + "/Chemistry";
    notYet.name = "Maths";
    notYet.pathLevel = 2;
    ASSERT_EQ(WriteJournalEntry(notYet), kStatementOk);
    fs::create_directories(m_realHome + "/Chemistry");
    report = RecoverInterruptedCommands(m_realHome);
    EXPECT_EQ(report.undone, std::vector<std::string>{m_realHome + "/Chemistry/Maths"});
    EXPECT_FALSE(fs::exists(m_realHome + "/Chemistry")) << "the folder it made goes again";
    EXPECT_TRUE(fs::is_directory(notYet.fromPath));
    EXPECT_EQ(ReadTrash().size(), 1u);

    // A delete for good put aside, its rows still there: the folder comes back.
    const std::string folder = Trash() + "/" + std::to_string(id);
    JournalEntry purging;
    purging.kind = kJournalPurge;
    purging.nodeId = id;
    purging.fromPath = folder;
    purging.asidePath = Trash() + "/" + TemporaryName(TemporaryKind::kDeleting, 5);
    ASSERT_EQ(WriteJournalEntry(purging), kStatementOk);
    ASSERT_TRUE(HomeTree(m_realHome).RenameNoReplace(folder, purging.asidePath));
    report = RecoverInterruptedCommands(m_realHome);
    EXPECT_EQ(report.undone, std::vector<std::string>{folder});
    EXPECT_TRUE(fs::is_directory(folder + "/Maths"));
    // The same after its rows went: the folder aside is removed.
    purging.step = kJournalRowsWritten;
    ASSERT_EQ(ForgetTrashEntry(id), kStatementOk);
    ASSERT_EQ(WriteJournalEntry(purging), kStatementOk);
    ASSERT_TRUE(HomeTree(m_realHome).RenameNoReplace(folder, purging.asidePath));
    report = RecoverInterruptedCommands(m_realHome);
    EXPECT_EQ(report.finished, std::vector<std::string>{folder});
    EXPECT_TRUE(fs::is_empty(Trash()));
    EXPECT_TRUE(ReadJournal().empty());
}

// Entries that do not fit the trash are never carried out: nothing is moved into, out of or
// removed from it on a journal's word alone.
TEST_F(TrashTest, JournalEntriesThatDoNotFitTheTrashAreRefused) {
    CatalogNode* physics = Catalog(nullptr, "Physics");
    Document(physics, "book.pdf", "book");
    CatalogNode* maths = Catalog(nullptr, "Maths");
    std::int64_t id = 0;
    ASSERT_TRUE(DeleteToTrashOperation(m_model, m_realHome, *maths, true, {}, &id).done);
    const std::string mathsItem = Trash() + "/" + std::to_string(id) + "/Maths";

    // Physics still has its rows: a "delete into the trash" of it is refused.
    JournalEntry intoTrash;
    intoTrash.kind = kJournalTrash;
    intoTrash.step = kJournalRowsWritten;
    intoTrash.nodeId = id;
    intoTrash.fromPath = m_realHome + "/Physics";
    intoTrash.toPath = mathsItem;
    EXPECT_EQ(WhyEntryIsRefused(intoTrash, m_realHome), "its trash entry does not agree with it");
    // A delete for good of an entry the trash still holds, its rows "gone".
    JournalEntry purge;
    purge.kind = kJournalPurge;
    purge.step = kJournalRowsWritten;
    purge.nodeId = id;
    purge.fromPath = Trash() + "/" + std::to_string(id);
    purge.asidePath = Trash() + "/" + TemporaryName(TemporaryKind::kDeleting, 9);
    EXPECT_EQ(WhyEntryIsRefused(purge, m_realHome), "the trash still holds what it would delete");
    // ... or of the Home Directory's own catalog.
    purge.fromPath = m_realHome + "/Physics";
    purge.asidePath = m_realHome + "/" + TemporaryName(TemporaryKind::kDeleting, 9);
    EXPECT_EQ(WhyEntryIsRefused(purge, m_realHome), "a path lies outside the trash");
    // A restore onto a place a node uses.
    JournalEntry restore;
    restore.kind = kJournalRestore;
    restore.nodeId = id;
    restore.fromPath = mathsItem;
    restore.toPath = m_realHome + "/Physics";
    restore.name = "Maths";
    EXPECT_EQ(WhyEntryIsRefused(restore, m_realHome), "its catalog's rows do not agree with it");

    for (JournalEntry entry : {intoTrash, purge, restore}) {
        ASSERT_EQ(WriteJournalEntry(entry), kStatementOk);
    }
    const RecoveryReport report = RecoverInterruptedCommands(m_realHome);
    EXPECT_EQ(report.refused.size(), 3u);
    EXPECT_TRUE(report.finished.empty() && report.undone.empty());
    EXPECT_EQ(Bytes(m_realHome + "/Physics/book.pdf"), "book");
    EXPECT_TRUE(fs::is_directory(mathsItem));
    EXPECT_EQ(ReadTrash().size(), 1u);
}

} // namespace
} // namespace mwdx::test
