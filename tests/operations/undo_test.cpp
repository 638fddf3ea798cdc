// Undo and redo on a real store and real folders: each command's step put back and done again,
// the node's place among its siblings as a restart shows it, and the refusals that change nothing.

#include "catalog/loader.h"
#include "operations/add_catalog.h"
#include "operations/add_document.h"
#include "operations/edit_node.h"
#include "operations/move_node.h"
#include "operations/trash.h"
#include "operations/undo.h"
#include "platform/text_ids.h"
#include "store/journal.h"
#include "store/trash_rows.h"
#include "support/catalog_fixture.h"
#include "support/process.h"
#include "support/test_support.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace mwdx::test {
namespace {

class UndoTest : public CatalogFixture {
protected:
    void SetUp() override {
        CatalogFixture::SetUp();
        SetHome(m_realHome);
    }

    CatalogNode* Catalog(CatalogNode* parent, const std::string& name) {
        const NodeId before = LastNodeId();
        CatalogNode* added = AddCatalogAsUser(m_realHome, parent, name, "about " + name);
        m_history.Record(AddStep(UndoKind::kAddCatalog, m_model, AddedSince(m_model, before)));
        return added;
    }

    CatalogNode* Document(CatalogNode* parent, const std::string& file, const std::string& content, bool move) {
        CatalogNode* added = AddDocumentAsUser(m_realHome, parent, file, content, move);
        m_history.Record(AddStep(UndoKind::kAddDocument, m_model, {added->FileId()}));
        return added;
    }

    OpResult Move(CatalogNode& node, CatalogNode* target) {
        const NodeId old = node.Parent()->Parent() == nullptr ? 0 : node.Parent()->FileId();
        OpResult result = MoveNodeOperation(m_model, m_realHome, node, target);
        EXPECT_TRUE(result.done) << result.detail;
        m_history.Record(MoveStep(m_model, {{node.FileId(), old}}));
        return result;
    }

    OpResult Undo() { return m_history.Undo(m_model, m_realHome); }
    OpResult Redo() { return m_history.Redo(m_model, m_realHome); }

    std::string Rows() const {
        return QueryText(m_db, "select ifnull(group_concat(FILE_ID||':'||FILE_NAME||':'||PARENT_ID||':'||PATH_LEVEL||"
                               "':'||COMMENT,' '),'') from (select * from FILE_NODE order by FILE_ID);");
    }
    // The tree as the store gives it at the next start.
    std::vector<std::string> Restarted() {
        CatalogModel model;
        EXPECT_EQ(LoadCatalog(model), 1);
        return model.RootNode() != nullptr ? Outline(*model.RootNode()) : std::vector<std::string>{};
    }
    std::vector<std::string> Now() const { return Outline(*m_model.RootNode()); }

    std::string m_realHome = m_dir.File("Knowledge");
    UndoHistory m_history;
};

// A catalog moved into another goes back with its files, in its old place among its siblings, as a
// restart shows it; a redo moves it again. The history names the step, and a new command clears
// what could be redone.
TEST_F(UndoTest, AMoveGoesBackToItsPlaceAndComesAgain) {
    CatalogNode* physics = Catalog(nullptr, "Physics");
    Document(physics, "lens.txt", "lens", false);
    CatalogNode* maths = Catalog(nullptr, "Maths");
    Catalog(nullptr, "Zoology");
    const std::vector<std::string> before = Now();
    const std::string rows = Rows();

    Move(*physics, maths);
    ASSERT_NE(m_history.NextUndo(), nullptr);
    EXPECT_EQ(m_history.NextUndo()->kind, UndoKind::kMove);
    EXPECT_EQ(m_history.NextUndo()->name, "Physics");
    EXPECT_EQ(Bytes(m_realHome + "/Maths/Physics/lens.txt"), "lens");

    const OpResult undone = Undo();
    ASSERT_TRUE(undone.done) << undone.detail;
    EXPECT_EQ(Bytes(m_realHome + "/Physics/lens.txt"), "lens");
    EXPECT_FALSE(fs::exists(m_realHome + "/Maths/Physics"));
    EXPECT_EQ(Now(), before) << "first among its siblings again, as its id says";
    EXPECT_EQ(Restarted(), before);
    EXPECT_EQ(Rows(), rows);
    EXPECT_EQ(m_history.NextRedo()->kind, UndoKind::kMove);
    EXPECT_TRUE(ReadJournal().empty() || ReadJournal().size() <= 1u);

    const OpResult redone = Redo();
    ASSERT_TRUE(redone.done) << redone.detail;
    EXPECT_EQ(Bytes(m_realHome + "/Maths/Physics/lens.txt"), "lens");
    EXPECT_EQ(Restarted(), (std::vector<std::string>{"Maths", "  Physics", "    Doc lens.txt", "Zoology"}));
    EXPECT_EQ(m_history.NextRedo(), nullptr);

    // Undone again, then a new command: nothing left to redo.
    ASSERT_TRUE(Undo().done);
    Catalog(nullptr, "Botany");
    EXPECT_EQ(m_history.NextRedo(), nullptr);
    EXPECT_EQ(Redo().message, text::kNothingToRedo);
}

// An undo that can no longer be done says why and changes nothing, and the step stays to be tried
// again: the file changed outside, the name taken at the old place, the old catalog gone.
TEST_F(UndoTest, AnUndoThatCannotBeDoneChangesNothing) {
    CatalogNode* physics = Catalog(nullptr, "Physics");
    CatalogNode* lens = Document(physics, "lens.txt", "lens", false);
    CatalogNode* maths = Catalog(nullptr, "Maths");
    Move(*lens, maths);
    const std::string moved = m_realHome + "/Maths/lens.txt";

    // Written to outside the program: another size.
    MakeFile(moved, "a longer text than before");
    const std::string rows = Rows();
    OpResult refused = Undo();
    EXPECT_FALSE(refused.done);
    EXPECT_EQ(refused.message, text::kUndoFileChanged);
    EXPECT_EQ(Rows(), rows);
    EXPECT_EQ(Bytes(moved), "a longer text than before");
    EXPECT_EQ(m_history.NextUndo()->kind, UndoKind::kMove) << "the step stays";

    // Replaced by another file of the same size: another inode.
    MakeFile(moved + ".new", "lens");
    fs::rename(moved + ".new", moved);
    EXPECT_EQ(Undo().message, text::kUndoFileChanged);
    EXPECT_EQ(Bytes(moved), "lens");

    // A new step of a file as it is now, but another takes its name at the old place.
    m_history.Record(MoveStep(m_model, {{lens->FileId(), physics->FileId()}}));
    MakeFile(m_realHome + "/Physics/lens.txt", "someone else's");
    refused = Undo();
    EXPECT_FALSE(refused.done);
    EXPECT_EQ(refused.message, text::kFileNameTaken);
    EXPECT_EQ(Bytes(moved), "lens");
    EXPECT_EQ(Bytes(m_realHome + "/Physics/lens.txt"), "someone else's");
    fs::remove(m_realHome + "/Physics/lens.txt");

    // The catalog it came from is gone.
    ASSERT_TRUE(DeleteToTrashOperation(m_model, m_realHome, *physics, true).done);
    refused = Undo();
    EXPECT_EQ(refused.message, text::kUndoNodeGone);
    EXPECT_EQ(Bytes(moved), "lens");
    EXPECT_EQ(m_model.NodeById(lens->FileId())->Parent(), maths);
}

// A delete undone comes back from the trash whole, with the same ids and files; redone, it goes to
// the trash again, and can be undone again. A step of several nodes is checked whole before any
// goes back.
TEST_F(UndoTest, ADeleteComesBackFromTheTrashAndGoesAgain) {
    CatalogNode* physics = Catalog(nullptr, "Physics");
    CatalogNode* optics = Catalog(physics, "Optics");
    Document(optics, "lens.txt", "lens", true);
    CatalogNode* maths = Catalog(nullptr, "Maths");
    const std::vector<std::string> before = Now();
    const std::string rows = Rows();

    std::int64_t physicsEntry = 0;
    std::int64_t mathsEntry = 0;
    ASSERT_TRUE(DeleteToTrashOperation(m_model, m_realHome, *physics, true, {}, &physicsEntry).done);
    ASSERT_TRUE(DeleteToTrashOperation(m_model, m_realHome, *maths, true, {}, &mathsEntry).done);
    m_history.Record(DeleteStep(m_realHome, {physicsEntry, mathsEntry}, true));
    EXPECT_EQ(m_history.NextUndo()->name, "Physics");
    EXPECT_EQ(Rows(), "");

    // A folder in the way of one of them: neither comes back.
    MakeFile(m_realHome + "/Maths/mine.txt", "mine");
    EXPECT_EQ(Undo().message, text::kRestorePlaceTaken);
    EXPECT_EQ(Rows(), "");
    EXPECT_EQ(ReadTrash().size(), 2u);
    fs::remove_all(m_realHome + "/Maths");

    const OpResult undone = Undo();
    ASSERT_TRUE(undone.done) << undone.detail;
    EXPECT_EQ(Rows(), rows) << "the same ids, texts, parents and levels";
    EXPECT_EQ(Now(), before);
    EXPECT_EQ(Restarted(), before);
    EXPECT_EQ(Bytes(m_realHome + "/Physics/Optics/lens.txt"), "lens");
    EXPECT_TRUE(ReadTrash().empty());

    ASSERT_TRUE(Redo().done);
    EXPECT_EQ(Rows(), "");
    EXPECT_EQ(ReadTrash().size(), 2u);
    EXPECT_FALSE(fs::exists(m_realHome + "/Physics"));
    ASSERT_TRUE(Undo().done);
    EXPECT_EQ(Rows(), rows);
    EXPECT_EQ(Bytes(m_realHome + "/Physics/Optics/lens.txt"), "lens");

    // Deleted again; then its folder in the trash is swapped for another: the undo refuses.
    ASSERT_TRUE(Redo().done);
    const std::vector<TrashEntry> trash = ReadTrash();
    const std::string item = TrashItemPath(m_realHome, trash.front().name == "Physics" ? trash[0] : trash[1]);
    fs::rename(item, item + ".old");
    fs::create_directories(item);
    EXPECT_EQ(Undo().message, text::kUndoFileChanged);
    EXPECT_EQ(Rows(), "");
    fs::remove(item);
    fs::rename(item + ".old", item);
    // Restored from the Trash window meanwhile: the entry is gone.
    ASSERT_TRUE(RestoreFromTrashOperation(m_model, m_realHome, ReadTrash().front().id).done);
    EXPECT_EQ(Undo().message, text::kUndoNodeGone);
}

// Adding is undone into the trash, never losing a file, whether it was copied or moved in; a redo
// brings it back. A rename and a comment go back and forth; a repair is a barrier.
TEST_F(UndoTest, AddsEditsAndABarrier) {
    CatalogNode* physics = Catalog(nullptr, "Physics");
    CatalogNode* lens = Document(physics, "lens.txt", "lens", true);
    const NodeId lensId = lens->FileId();
    EXPECT_FALSE(fs::exists(m_dir.File("inbox/lens.txt")));

    ASSERT_TRUE(Undo().done);
    EXPECT_EQ(m_model.NodeById(lensId), nullptr);
    ASSERT_EQ(ReadTrash().size(), 1u);
    EXPECT_EQ(Bytes(TrashItemPath(m_realHome, ReadTrash().front())), "lens") << "the moved-in file is kept";
    ASSERT_TRUE(Redo().done);
    lens = m_model.NodeById(lensId); // the node restored is a new one, with the same id
    ASSERT_NE(lens, nullptr);
    EXPECT_EQ(Bytes(m_realHome + "/Physics/lens.txt"), "lens");

    // The rename of a catalog takes its folder; undone, the old name and folder are back.
    const std::string rows = Rows();
    ASSERT_TRUE(EditNodeOperation(m_model, m_realHome, *physics, "Optics", "light").done);
    m_history.Record(EditStep(m_model, physics->FileId(), "Physics", "about Physics"));
    EXPECT_EQ(m_history.NextUndo()->kind, UndoKind::kRename);
    ASSERT_TRUE(Undo().done);
    EXPECT_EQ(Rows(), rows);
    EXPECT_EQ(Bytes(m_realHome + "/Physics/lens.txt"), "lens");
    ASSERT_TRUE(Redo().done);
    EXPECT_EQ(Bytes(m_realHome + "/Optics/lens.txt"), "lens");
    EXPECT_EQ(physics->Details().comment, "light");
    ASSERT_TRUE(Undo().done);

    // A comment alone; an edit that changed nothing is no step.
    ASSERT_TRUE(EditNodeOperation(m_model, m_realHome, *lens, lens->Details().fileName, "new words").done);
    m_history.Record(EditStep(m_model, lensId, lens->Details().fileName, ""));
    EXPECT_EQ(m_history.NextUndo()->kind, UndoKind::kEditComment);
    const std::size_t steps = m_history.UndoCount();
    m_history.Record(EditStep(m_model, lensId, lens->Details().fileName, "new words"));
    EXPECT_EQ(m_history.UndoCount(), steps);
    ASSERT_TRUE(Undo().done);
    EXPECT_EQ(lens->Details().comment, "");
    EXPECT_EQ(QueryText(m_db, "select COMMENT from FILE_NODE where FILE_ID=" + std::to_string(lensId) + ";"), "");

    // A repair: the history cannot go back past it, and says so.
    const std::string atBarrier = Rows();
    m_history.Record(BarrierStep(UndoKind::kRepair));
    EXPECT_EQ(Undo().message, text::kCannotUndoRepair);
    EXPECT_EQ(m_history.NextUndo()->kind, UndoKind::kRepair);
    EXPECT_EQ(m_history.NextRedo(), nullptr);
    EXPECT_EQ(Rows(), atBarrier);
}

// The history keeps its last steps up to its limit, the oldest dropped first.
TEST_F(UndoTest, TheHistoryKeepsItsLastStepsUpToItsLimit) {
    UndoHistory history(3);
    CatalogNode* physics = Catalog(nullptr, "Physics");
    for (int i = 0; i < 5; ++i) {
        UndoStep step = EditStep(m_model, physics->FileId(), "Old " + std::to_string(i), "");
        history.Record(step);
    }
    EXPECT_EQ(history.UndoCount(), 3u);
    EXPECT_EQ(history.NextUndo()->edited.front().oldName, "Old 4");
    EXPECT_EQ(UndoHistory().UndoCount(), 0u);
    EXPECT_GE(UndoHistory::kDefaultLimit, 100u);
    history.Record(UndoStep{}); // nothing in it
    EXPECT_EQ(history.UndoCount(), 3u);
}

} // namespace
} // namespace mwdx::test
