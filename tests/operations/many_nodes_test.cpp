// Several nodes at once on a real store and real folders: which of them a command acts on, a move
// of many as one command with its refusals, a failure part-way that puts everything back, and a
// delete of many into the trash.

#include "catalog/loader.h"
#include "catalog/selection.h"
#include "operations/add_catalog.h"
#include "operations/add_document.h"
#include "operations/check.h"
#include "operations/move_node.h"
#include "operations/recovery.h"
#include "operations/trash.h"
#include "platform/text_ids.h"
#include "store/journal.h"
#include "support/catalog_fixture.h"
#include "support/process.h"
#include "support/test_support.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace mwdx::test {
namespace {

class ManyNodesTest : public CatalogFixture {
protected:
    void SetUp() override {
        CatalogFixture::SetUp();
        MakeFile(m_realHome + "/js/dtree.js");
        MakeFile(m_realHome + "/js/dtree.css");
        SetHome(m_realHome);
    }

    CatalogNode* Catalog(CatalogNode* parent, const std::string& name) {
        return AddCatalogAsUser(m_realHome, parent, name);
    }
    CatalogNode* Document(CatalogNode* parent, const std::string& file) {
        return AddDocumentAsUser(m_realHome, parent, file, "text of " + file);
    }

    // The rows as "name:parent:level" in id order.
    std::string Rows() const {
        return QueryText(m_db, "select ifnull(group_concat(FILE_NAME||':'||PARENT_ID||':'||PATH_LEVEL,' '),'') "
                               "from (select * from FILE_NODE order by FILE_ID);");
    }
    // Every file and folder below the Home Directory, relative to it, sorted.
    std::vector<std::string> Listing() const {
        std::vector<std::string> paths;
        for (const auto& entry : fs::recursive_directory_iterator(m_realHome)) {
            paths.push_back(fs::relative(entry.path(), m_realHome).string());
        }
        std::sort(paths.begin(), paths.end());
        return paths;
    }
    std::vector<std::string> Restarted() {
        CatalogModel model;
        EXPECT_EQ(LoadCatalog(model), 1);
        return model.RootNode() != nullptr ? Outline(*model.RootNode()) : std::vector<std::string>{};
    }
    static std::string Findings() {
        std::string lines;
        for (const Finding& finding : CheckAndRemember({}).findings) {
            lines += finding.path + " (" + finding.detail + ")\n";
        }
        return lines;
    }
    static std::string ReadText(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    static std::vector<int> Reasons(const std::vector<NodeRefusal>& refused) {
        std::vector<int> reasons;
        for (const NodeRefusal& refusal : refused) {
            reasons.push_back(refusal.why.message);
        }
        return reasons;
    }

    std::string m_realHome = m_dir.File("Knowledge");
};

// A selection that holds a catalog and nodes below it acts on the catalog only, each node once,
// in the order chosen.
TEST_F(ManyNodesTest, ANodeBelowAChosenCatalogGoesWithIt) {
    CatalogNode* physics = Catalog(nullptr, "Physics");
    CatalogNode* optics = Catalog(physics, "Optics");
    CatalogNode* lens = Document(optics, "lens.txt");
    CatalogNode* maths = Catalog(nullptr, "Maths");
    CatalogNode* algebra = Document(maths, "algebra.txt");

    EXPECT_EQ(TopNodes({lens, algebra, physics, nullptr, optics, algebra}),
              (std::vector<CatalogNode*>{algebra, physics}));
    EXPECT_EQ(TopNodes({optics, lens}), (std::vector<CatalogNode*>{optics}));
    EXPECT_EQ(TopNodes({lens, maths}), (std::vector<CatalogNode*>{lens, maths}));
    EXPECT_TRUE(TopNodes({}).empty());
}

// Catalogs and documents from different places go into one catalog with their files, in one
// command: the rows of each subtree follow (levels included), nothing is left in the journal, the
// next start shows the same tree, and the check finds nothing. A node chosen with its catalog goes
// with it, not on its own.
TEST_F(ManyNodesTest, SeveralNodesMoveIntoACatalogWithTheirFiles) {
    CatalogNode* physics = Catalog(nullptr, "Physics");
    CatalogNode* optics = Catalog(physics, "Optics");
    CatalogNode* lens = Document(optics, "lens.txt");
    Document(Catalog(optics, "Deep"), "deep.txt");
    CatalogNode* maths = Catalog(nullptr, "Maths");
    CatalogNode* algebra = Document(maths, "algebra.txt");
    CatalogNode* archive = Catalog(nullptr, "Archive");
    CatalogNode* old = Catalog(archive, "Old");
    CatalogNode* history = Catalog(nullptr, "History");

    int moved = 0;
    const ManyNodesResult many = MoveNodesOperation(m_model, m_realHome, {lens, optics, algebra, history}, old, {},
                                                    [&moved](std::size_t done, std::size_t total) {
                                                        EXPECT_EQ(total, 3U);
                                                        moved = static_cast<int>(done);
                                                    });
    ASSERT_TRUE(many.result.done) << many.result.detail;
    EXPECT_TRUE(many.refused.empty());
    EXPECT_EQ(many.acted, 3U);
    EXPECT_EQ(moved, 3);
    EXPECT_EQ(optics->Parent(), old);
    EXPECT_EQ(lens->Parent(), optics) << "the document went with its catalog";
    EXPECT_EQ(algebra->Parent(), old);
    EXPECT_EQ(history->Parent(), old);
    EXPECT_EQ(lens->Path(), m_realHome + "/Archive/Old/Optics/lens.txt");
    EXPECT_TRUE(fs::is_regular_file(m_realHome + "/Archive/Old/Optics/Deep/deep.txt"));
    EXPECT_TRUE(fs::is_regular_file(m_realHome + "/Archive/Old/algebra.txt"));
    EXPECT_TRUE(fs::is_directory(m_realHome + "/Archive/Old/History"));
    EXPECT_FALSE(fs::exists(m_realHome + "/Physics/Optics"));
    EXPECT_FALSE(fs::exists(m_realHome + "/Maths/algebra.txt"));
    // Optics was at level 2 and is at 3 now; its grandchild at 4.
    EXPECT_EQ(QueryText(m_db, "select PATH_LEVEL||':'||PARENT_ID from FILE_NODE where FILE_NAME='Deep';"),
              "4:" + std::to_string(optics->FileId()));
    EXPECT_EQ(QueryText(m_db, "select PATH_LEVEL||':'||PARENT_ID from FILE_NODE where FILE_NAME='History';"),
              "3:" + std::to_string(old->FileId()));
    EXPECT_TRUE(ReadJournal().empty());
    EXPECT_EQ(Restarted(), Outline(*m_model.RootNode()));
    EXPECT_EQ(Findings(), "");

    // Back to the top level: the Root Node as the target.
    const ManyNodesResult back = MoveNodesOperation(m_model, m_realHome, {optics, history}, nullptr);
    EXPECT_TRUE(back.result.done);
    EXPECT_EQ(back.acted, 2U);
    EXPECT_EQ(QueryText(m_db, "select PATH_LEVEL||':'||PARENT_ID from FILE_NODE where FILE_NAME='Deep';"),
              "2:" + std::to_string(optics->FileId()));
    EXPECT_TRUE(fs::is_regular_file(m_realHome + "/Optics/lens.txt"));
    EXPECT_EQ(Restarted(), Outline(*m_model.RootNode()));
    EXPECT_EQ(Findings(), "");
}

// Forty documents at once, so the folders they come from and go to are read once instead of a
// look at each place: what stands at the target under a document's name still refuses it, a
// document whose file is missing still moves as a row, and every other file arrives.
TEST_F(ManyNodesTest, AMoveOfManyReadsTheirFoldersOnceAndStillSeesEveryPlace) {
    CatalogNode* from = Catalog(nullptr, "From");
    CatalogNode* shelf = Catalog(Catalog(nullptr, "Archive"), "Shelf");
    std::vector<CatalogNode*> documents;
    for (int i = 0; i < 40; ++i) {
        documents.push_back(Document(from, "paper" + std::to_string(i) + ".txt"));
    }
    fs::remove(m_realHome + "/From/paper5.txt");                  // missing: a row to move alone
    MakeFile(m_realHome + "/Archive/Shelf/paper7.txt", "theirs"); // untracked, in the way

    EXPECT_EQ(Reasons(CheckMoveNodes(m_model, m_realHome, documents, shelf)),
              std::vector<int>{text::kFileNameTaken});
    const ManyNodesResult many = MoveNodesOperation(m_model, m_realHome, documents, shelf);
    ASSERT_TRUE(many.result.done) << many.result.detail;
    ASSERT_EQ(many.refused.size(), 1U);
    EXPECT_EQ(many.refused.front().node, documents[7]);
    EXPECT_EQ(many.acted, 39U);
    EXPECT_EQ(documents[7]->Parent(), from);
    EXPECT_EQ(ReadText(m_realHome + "/From/paper7.txt"), "text of paper7.txt");
    EXPECT_EQ(ReadText(m_realHome + "/Archive/Shelf/paper7.txt"), "theirs");
    EXPECT_EQ(documents[5]->Parent(), shelf);
    EXPECT_FALSE(fs::exists(m_realHome + "/Archive/Shelf/paper5.txt"));
    for (int i : {0, 6, 8, 39}) {
        EXPECT_EQ(ReadText(m_realHome + "/Archive/Shelf/paper" + std::to_string(i) + ".txt"),
                  "text of paper" + std::to_string(i) + ".txt");
    }
    EXPECT_TRUE(ReadJournal().empty());
    EXPECT_EQ(Restarted(), Outline(*m_model.RootNode()));
    EXPECT_EQ(Findings(), m_realHome + "/Archive/Shelf/paper5.txt (file missing)\n" + m_realHome +
                              "/Archive/Shelf/paper7.txt (file)\n");
}

// Each node that cannot go is listed with its reason, before anything happens and again by the
// move, which takes the others: a name taken at the target, two chosen nodes of the same name, the
// target below a chosen catalog, the Root Node. When none can go, nothing changes at all.
TEST_F(ManyNodesTest, RefusedNodesAreListedAndTheOthersGo) {
    CatalogNode* a = Catalog(nullptr, "A");
    CatalogNode* inner = Catalog(a, "Inner");
    CatalogNode* b = Catalog(nullptr, "B");
    CatalogNode* notes = Catalog(b, "Notes");
    CatalogNode* c = Catalog(nullptr, "C");
    CatalogNode* cNotes = Catalog(c, "Notes");
    CatalogNode* d = Catalog(nullptr, "D");
    CatalogNode* dNotes = Catalog(d, "Notes");
    CatalogNode* letter = Document(d, "letter.txt");
    CatalogNode* target = Catalog(nullptr, "Target");
    Catalog(target, "Notes");
    CatalogNode* root = m_model.RootNode();

    // Into a chosen catalog's own descendant, and the Root Node: nothing can go.
    const std::string rows = Rows();
    const std::vector<std::string> listing = Listing();
    EXPECT_EQ(Reasons(CheckMoveNodes(m_model, m_realHome, {a, root}, inner)),
              (std::vector<int>{text::kRootDoesNotMove, text::kMoveIntoItself}));
    const ManyNodesResult none = MoveNodesOperation(m_model, m_realHome, {a, root}, inner);
    EXPECT_FALSE(none.result.done);
    EXPECT_EQ(none.acted, 0U);
    EXPECT_EQ(Reasons(none.refused), (std::vector<int>{text::kRootDoesNotMove, text::kMoveIntoItself}));
    EXPECT_EQ(none.refused.back().node, a);
    EXPECT_EQ(Rows(), rows);
    EXPECT_EQ(Listing(), listing);
    EXPECT_TRUE(ReadJournal().empty());

    // "Notes" is taken at the target; of C's and D's, the first one chosen would have taken the place.
    const std::vector<CatalogNode*> chosen{notes, inner, letter, target};
    const std::vector<NodeRefusal> asked = CheckMoveNodes(m_model, m_realHome, chosen, target);
    EXPECT_EQ(Reasons(asked), (std::vector<int>{text::kCatalogNameTaken, text::kMoveIntoItself}));
    EXPECT_EQ(Rows(), rows) << "asking changes nothing";
    const ManyNodesResult some = MoveNodesOperation(m_model, m_realHome, chosen, target);
    ASSERT_TRUE(some.result.done) << some.result.detail;
    EXPECT_EQ(some.acted, 2U);
    ASSERT_EQ(some.refused.size(), 2U);
    EXPECT_EQ(some.refused[0].node, notes);
    EXPECT_EQ(some.refused[1].node, target);
    EXPECT_EQ(inner->Parent(), target);
    EXPECT_EQ(letter->Parent(), target);
    EXPECT_EQ(notes->Parent(), b);
    EXPECT_TRUE(fs::is_directory(m_realHome + "/Target/Inner"));
    EXPECT_TRUE(fs::is_regular_file(m_realHome + "/Target/letter.txt"));
    EXPECT_TRUE(fs::is_directory(m_realHome + "/B/Notes"));

    // Two chosen nodes of one name, both free at the target: the first goes, the second is refused.
    const ManyNodesResult twins = MoveNodesOperation(m_model, m_realHome, {cNotes, dNotes}, inner);
    EXPECT_EQ(twins.acted, 1U);
    EXPECT_EQ(Reasons(twins.refused), (std::vector<int>{text::kCatalogNameTaken}));
    EXPECT_EQ(cNotes->Parent(), inner);
    EXPECT_EQ(dNotes->Parent(), d);
    EXPECT_EQ(Restarted(), Outline(*m_model.RootNode()));
    EXPECT_EQ(Findings(), "");
}

// A disk step that fails part-way puts back every node moved before it: the same rows, files and
// tree as before, and no journal entry left. So does a store that refuses the rows.
TEST_F(ManyNodesTest, AFailurePartWayPutsEveryNodeBack) {
    CatalogNode* a = Catalog(nullptr, "A");
    CatalogNode* first = Document(a, "first.txt");
    CatalogNode* b = Catalog(nullptr, "B");
    CatalogNode* second = Document(b, "second.txt");
    CatalogNode* third = Catalog(a, "Third");
    CatalogNode* target = Catalog(nullptr, "Target");
    const std::string rows = Rows();
    const std::vector<std::string> listing = Listing();
    const std::vector<std::string> outline = Outline(*m_model.RootNode());

    RunSql(m_db, "create trigger refuse before update on FILE_NODE begin select raise(abort,'no'); end;");
    EXPECT_EQ(MoveNodesOperation(m_model, m_realHome, {first, second, third}, target).result.message,
              text::kChangeNotSaved);
    RunSql(m_db, "drop trigger refuse;");
    EXPECT_EQ(Rows(), rows);
    EXPECT_EQ(Listing(), listing);
    EXPECT_EQ(Outline(*m_model.RootNode()), outline);
    EXPECT_TRUE(ReadJournal().empty());

    // B's folder takes nothing new and gives nothing up: the second node's file cannot leave it
    // once the first has gone.
    if (RunProcess({"chattr", "+i", m_realHome + "/B"}).exitCode != 0) {
        GTEST_SKIP() << "chattr +i is not available here (needs root on a file system that has it)";
    }
    const ManyNodesResult failed = MoveNodesOperation(m_model, m_realHome, {first, second, third}, target);
    RunProcess({"chattr", "-i", m_realHome + "/B"});
    EXPECT_FALSE(failed.result.done);
    EXPECT_EQ(failed.result.message, text::kMoveFailed);
    EXPECT_EQ(failed.acted, 0U);
    EXPECT_EQ(Rows(), rows);
    EXPECT_EQ(Listing(), listing);
    EXPECT_EQ(Outline(*m_model.RootNode()), outline);
    EXPECT_EQ(first->Parent(), a);
    EXPECT_TRUE(ReadJournal().empty());
    EXPECT_EQ(Findings(), "");
}

// Several nodes deleted into the trash at once: each its own entry with its files, a node below a
// chosen catalog with it and not on its own, the Root Node refused while the others go, and each
// entry restored by itself.
TEST_F(ManyNodesTest, SeveralNodesGoToTheTrashEachAsItsOwnEntry) {
    CatalogNode* physics = Catalog(nullptr, "Physics");
    CatalogNode* optics = Catalog(physics, "Optics");
    CatalogNode* lens = Document(optics, "lens.txt");
    CatalogNode* maths = Catalog(nullptr, "Maths");
    CatalogNode* algebra = Document(maths, "algebra.txt");
    Catalog(nullptr, "Kept");
    const std::vector<std::string> outline = Outline(*m_model.RootNode());

    std::size_t reported = 0;
    const ManyNodesResult many =
        DeleteNodesToTrashOperation(m_model, m_realHome, {lens, optics, algebra, m_model.RootNode()}, true, {},
                                    [&reported](std::size_t done, std::size_t total) {
                                        EXPECT_EQ(total, 2U);
                                        reported = done;
                                    });
    EXPECT_TRUE(many.result.done) << many.result.detail;
    EXPECT_EQ(many.acted, 2U);
    EXPECT_EQ(reported, 2U);
    EXPECT_EQ(Reasons(many.refused), (std::vector<int>{text::kSelectToDelete}));
    EXPECT_EQ(Outline(*m_model.RootNode()), (std::vector<std::string>{"Physics", "Maths", "Kept"}));
    EXPECT_FALSE(fs::exists(m_realHome + "/Physics/Optics"));
    EXPECT_FALSE(fs::exists(m_realHome + "/Maths/algebra.txt"));
    EXPECT_EQ(QueryText(m_db, "select count(*) from MWDX_TRASH;"), "2");
    EXPECT_EQ(QueryText(m_db, "select count(*) from MWDX_TRASH_NODE;"), "3");
    EXPECT_EQ(Restarted(), Outline(*m_model.RootNode()));
    EXPECT_EQ(Findings(), "");

    const std::string entries = QueryText(m_db, "select group_concat(TRASH_ID) from MWDX_TRASH;");
    for (const std::string& id : {entries.substr(0, entries.find(',')), entries.substr(entries.find(',') + 1)}) {
        EXPECT_TRUE(RestoreFromTrashOperation(m_model, m_realHome, std::stoll(id)).done) << id;
    }
    EXPECT_EQ(Restarted(), outline);
    EXPECT_TRUE(fs::is_regular_file(m_realHome + "/Physics/Optics/lens.txt"));
    EXPECT_TRUE(fs::is_regular_file(m_realHome + "/Maths/algebra.txt"));
    EXPECT_EQ(Findings(), "");
}

} // namespace
} // namespace mwdx::test
