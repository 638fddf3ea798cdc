#include "catalog/loader.h"
#include "store/connection.h"
#include "store/settings.h"
#include "store/statements.h"
#include "support/catalog_fixture.h"
#include "support/process.h"

#include <fstream>
#include <gtest/gtest.h>
#include <map>

namespace mwdx::test {
namespace {

using LoaderTest = CatalogFixture;

TEST_F(LoaderTest, AnEmptyTableLoadsNoRootNode) {
    EXPECT_EQ(Reload(), 1);
    EXPECT_EQ(m_model.RootNode(), nullptr);
    EXPECT_EQ(m_model.NodeCount(), 0u);
}

TEST_F(LoaderTest, NestedCatalogsAndDocumentsLoadWithTheirPaths) {
    AddRow(1, "A", 0, kCatalogType, 1);
    AddRow(2, "B", 1, kCatalogType, 2);
    AddRow(3, "C", 2, kCatalogType, 3);
    AddRow(4, "Minutes", 1, kDocumentType, 2, "m-2009.txt", "the first meeting");
    AddRow(5, "Minutes", 1, kDocumentType, 2, "m-2010.txt"); // same display name, another file
    AddRow(6, "Top doc", 0, kDocumentType, 1, "top.pdf");
    ASSERT_EQ(Reload(), 1);

    const CatalogNode* root = m_model.RootNode();
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->Path(), m_home);
    EXPECT_EQ(root->FileId(), 0);
    EXPECT_EQ(root->PathLevel(), 0);
    EXPECT_EQ(Outline(*root), (std::vector<std::string>{"A", "  B", "    C", "  Minutes", "  Minutes", "Top doc"}));

    const CatalogNode* c = m_model.FindNode(root, 3, 3);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->Path(), m_home + "/A/B/C");
    const CatalogNode* m1 = m_model.FindNode(root, 4, 2);
    const CatalogNode* m2 = m_model.FindNode(root, 5, 2);
    ASSERT_TRUE(m1 && m2);
    EXPECT_EQ(m1->Path(), m_home + "/A/m-2009.txt");
    EXPECT_EQ(m2->Path(), m_home + "/A/m-2010.txt");
    EXPECT_EQ(m1->Details().fileName, "Minutes");
    EXPECT_EQ(m1->Details().comment, "the first meeting");
    EXPECT_EQ(m1->Details().parentId, 1);
    EXPECT_EQ(m1->FileType(), kDocumentType);
    EXPECT_EQ(m_model.FindNode(root, 6, 1)->Path(), m_home + "/top.pdf");
}

// How many unplaced rows the report gives for each reason.
std::map<UnplacedReason, int> ReasonCounts(const LoadReport& report) {
    std::map<UnplacedReason, int> counts;
    for (const UnplacedRow& row : report.unplaced) {
        ++counts[row.reason];
    }
    return counts;
}

TEST_F(LoaderTest, ARowThatCannotBePlacedHidesNothingElse) {
    AddRow(1, "A", 0, kCatalogType, 1);
    AddRow(2, "B", 1, kCatalogType, 2);
    AddRow(3, "Lost", 7, kCatalogType, 2); // parent 7 does not exist; sorts before the rows below
    AddRow(4, "Lost child", 3, kDocumentType, 3, "c.txt");
    AddRow(5, "Later", 8, kCatalogType, 2);
    AddRow(8, "Top", 0, kCatalogType, 1);
    AddRow(9, "Newest", 0, kCatalogType, 1);
    AddRow(10, "Under Top", 8, kDocumentType, 2, "u.txt");
    const std::string before = Bytes(m_db);

    LoadReport report;
    EXPECT_EQ(LoadCatalog(m_model, &report), 0) << "not every row was placed";
    EXPECT_EQ(Outline(*m_model.RootNode()),
              (std::vector<std::string>{"A", "  B", "Top", "  Later", "  Under Top", "Newest"}));
    EXPECT_EQ(report.rowsRead, 8u);
    ASSERT_EQ(report.unplaced.size(), 2u);
    EXPECT_EQ(ReasonCounts(report), (std::map<UnplacedReason, int>{{UnplacedReason::kMissingParent, 1},
                                                                   {UnplacedReason::kParentNotPlaced, 1}}));
    for (const UnplacedRow& row : report.unplaced) {
        EXPECT_EQ(row.reason, row.fileId == 3 ? UnplacedReason::kMissingParent : UnplacedReason::kParentNotPlaced)
            << row.fileName;
    }
    EXPECT_EQ(Bytes(m_db), before) << "loading writes nothing";
    EXPECT_EQ(RowCount(), 8) << "no row is deleted";
}

TEST_F(LoaderTest, AChildThatComesBeforeItsParentWaitsForItAndKeepsItsOrder) {
    // Catalog 2 was moved under the newer top-level catalog 9, and 9 under 12: rows ordered by
    // PARENT_ID bring the children of 9 and 12 before 9 and 12 themselves.
    AddRow(1, "A", 0, kCatalogType, 1);
    AddRow(2, "Moved", 9, kCatalogType, 2);
    AddRow(3, "In moved", 2, kDocumentType, 3, "m.txt");
    AddRow(4, "Second", 9, kDocumentType, 2, "s.txt");
    AddRow(5, "Third", 9, kCatalogType, 2);
    AddRow(9, "Nine", 12, kCatalogType, 1); // its level is wrong now: corrected, not refused
    AddRow(12, "Twelve", 0, kCatalogType, 1);

    LoadReport report;
    ASSERT_EQ(LoadCatalog(m_model, &report), 1);
    EXPECT_EQ(Outline(*m_model.RootNode()), (std::vector<std::string>{"A", "Twelve", "  Nine", "    Moved",
                                                                      "      In moved", "    Second", "    Third"}));
    const CatalogNode* inMoved = m_model.NodeById(3);
    ASSERT_NE(inMoved, nullptr);
    EXPECT_EQ(inMoved->Path(), m_home + "/Twelve/Nine/Moved/m.txt");
    EXPECT_EQ(inMoved->PathLevel(), 4);
    EXPECT_EQ(m_model.FindNode(m_model.RootNode(), 3, 4), inMoved) << "levels follow the tree";
    EXPECT_TRUE(report.unplaced.empty());
    // Every row below 12 had the level of its old place.
    EXPECT_EQ(report.correctedLevels.size(), 5u);
    EXPECT_EQ(QueryText(m_db, "select PATH_LEVEL from FILE_NODE where FILE_ID = 3;"), "3") << "nothing is written";
}

TEST_F(LoaderTest, SiblingsAreInIdOrderWhateverOrderTheStoreGivesThem) {
    // A store made by another tool, whose FILE_ID is not the row id: the query gives the rows of
    // one parent in the order they were written.
    RunSql(m_db, "drop table FILE_NODE; create table FILE_NODE(FILE_ID integer, FILE_NAME text, PARENT_ID integer,"
                 " COMMENT text, FILETYPE integer, RAW_FILE_NAME text, PATH_LEVEL integer);");
    AddRow(30, "Thirty", 0, kCatalogType, 1);
    AddRow(10, "Ten", 0, kCatalogType, 1);
    AddRow(25, "In ten, 25", 10, kDocumentType, 2, "b.txt");
    AddRow(20, "Twenty", 0, kCatalogType, 1);
    AddRow(12, "In ten, 12", 10, kDocumentType, 2, "a.txt");
    ASSERT_EQ(Reload(), 1);
    EXPECT_EQ(Outline(*m_model.RootNode()),
              (std::vector<std::string>{"Ten", "  In ten, 12", "  In ten, 25", "Twenty", "Thirty"}));
}

TEST_F(LoaderTest, CyclesBadIdsAndDuplicatesAreCountedWithTheirReasons) {
    // Rows the program never writes, as a damaged or hand-made store may hold them.
    RunSql(m_db, "create table NODES as select * from FILE_NODE; drop table FILE_NODE;"
                 "alter table NODES rename to FILE_NODE;");
    AddRow(1, "A", 0, kCatalogType, 1);
    AddRow(20, "Loop 1", 21, kCatalogType, 2);
    AddRow(21, "Loop 2", 20, kCatalogType, 3);
    AddRow(22, "Hangs off the loop", 21, kDocumentType, 4, "h.txt");
    AddRow(-4, "Negative", 0, kCatalogType, 1);
    AddRow(30, "Under negative", -4, kCatalogType, 2);
    AddRow(1, "Same id as A", 0, kCatalogType, 1);
    AddRow(2, "B", 1, kCatalogType, 2);

    LoadReport report;
    EXPECT_EQ(LoadCatalog(m_model, &report), 0);
    EXPECT_EQ(Outline(*m_model.RootNode()), (std::vector<std::string>{"A", "  B"}));
    EXPECT_EQ(ReasonCounts(report), (std::map<UnplacedReason, int>{{UnplacedReason::kCycle, 2},
                                                                   {UnplacedReason::kParentNotPlaced, 2},
                                                                   {UnplacedReason::kIdOutOfRange, 1},
                                                                   {UnplacedReason::kDuplicateId, 1}}));
}

TEST_F(LoaderTest, IdsBeyondThirtyTwoBitsStayWhole) {
    const NodeId big = (NodeId{1} << 32) + 7;
    AddRow(7, "Seven", 0, kCatalogType, 1);
    AddRow(big, "Big", 0, kCatalogType, 1);
    AddRow(big + 1, "Under big", big, kDocumentType, 2, "u.txt");
    ASSERT_EQ(Reload(), 1);
    const CatalogNode* node = m_model.NodeById(big);
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(node->Details().fileName, "Big");
    EXPECT_EQ(m_model.NodeById(big + 1)->Parent(), node);
    EXPECT_EQ(m_model.NodeById(7)->Details().fileName, "Seven");
}

TEST_F(LoaderTest, ADeepChainStopsWhereItsPathWouldBeTooLongForLinux) {
    // 200,000 nested catalogs: only the levels whose path Linux can take are placed.
    std::string sql = "begin;";
    for (int id = 1; id <= 200000; ++id) {
        sql += "insert into FILE_NODE values(" + std::to_string(id) + ",'d'," + std::to_string(id - 1) + ",'',0,''," +
               std::to_string(id) + ");";
    }
    RunSql(m_db, sql + "commit;");
    LoadReport report;
    EXPECT_EQ(LoadCatalog(m_model, &report), 0);
    const std::size_t placed = (kMaxPathBytes - 1 - m_home.size()) / 2; // "/d" a level
    EXPECT_EQ(m_model.NodeCount(), placed);
    EXPECT_LT(m_model.NodeById(static_cast<NodeId>(placed))->Path().size(), kMaxPathBytes);
    EXPECT_EQ(m_model.NodeById(static_cast<NodeId>(placed) + 1), nullptr);
    EXPECT_EQ(report.unplaced.size(), 200000u - placed);
    EXPECT_EQ(ReasonCounts(report)[UnplacedReason::kPathTooLong], 1);
    m_model.Clear();
    EXPECT_EQ(m_model.RootNode(), nullptr);
}

TEST_F(LoaderTest, AQueryThatFailsPartWayLeavesTheModelAsIfItFailedAtOnce) {
    // FILE_NODE as a view whose third row raises an error when it is read. The index lets the
    // ordered query hand out rows one by one, so the first rows arrive before the failure.
    RunSql(m_db, "create table NODES as select * from FILE_NODE; drop table FILE_NODE;"
                 "create index NODES_PARENT on NODES(PARENT_ID);"
                 "create view FILE_NODE as select FILE_ID,"
                 " case when FILE_ID = 3 then json('{broken') else FILE_NAME end as FILE_NAME,"
                 " PARENT_ID, COMMENT, FILETYPE, RAW_FILE_NAME, PATH_LEVEL from NODES;"
                 "insert into NODES values(1,'A',0,'',0,'',1),(2,'B',0,'',0,'',1),(3,'C',1,'',0,'',2);");
    {
        Statement probe(kSelectNodes);
        ASSERT_TRUE(probe.Next()) << "the failure must come after the first row";
    }
    CatalogModel model;
    EXPECT_EQ(LoadCatalog(model), 0);
    EXPECT_EQ(model.RootNode(), nullptr);
    EXPECT_EQ(model.NodeCount(), 0u);
}

TEST_F(LoaderTest, ADatabaseWithoutTablesOrNotADatabaseLoadsAsAnEmptyTree) {
    CloseStore();
    FreeSettings();
    const std::string empty = m_dir.File("empty.db");
    OpenStore(empty); // a missing file becomes an empty database
    EXPECT_EQ(LoadSettings(), 0);
    EXPECT_FALSE(HasSettings());
    EXPECT_EQ(Reload(), 0);
    EXPECT_EQ(m_model.RootNode(), nullptr);
    CloseStore();

    const std::string text = m_dir.File("notes.db");
    std::ofstream(text) << "These are my notes, not a database.\n";
    OpenStore(text);
    EXPECT_EQ(LoadSettings(), 0);
    int count = -7;
    EXPECT_EQ(CountNodes(&count), 0);
    EXPECT_EQ(count, -7) << "a failed count leaves the slot alone";
    EXPECT_EQ(Reload(), 0);
    EXPECT_EQ(m_model.RootNode(), nullptr);
}

TEST_F(LoaderTest, StoredTextsAreKeptWholeAndMadeValid) {
    // Longer than the fixed fields of a row record: the node holds them whole all the same.
    const std::string longName(600, 'n');
    std::string longComment = std::string(1022, 'c') + "\xE4\xB8\xAD"; // a character across byte 1023
    for (int i = 0; i < 300; ++i) {
        longComment += "\xE6\xB3\xA8"; // 注
    }
    const std::string longRaw = std::string(1100, 'r') + ".pdf";
    AddRow(1, longName, 0, kCatalogType, 1, "", longComment);
    AddRow(3, "Paper", 1, kDocumentType, 2, longRaw, "");
    RunSql(m_db,
           "insert into FILE_NODE values(2, cast(x'4162ff63' as text), 1, '', 1, cast(x'66e2822e747874' as text), 2);");
    ASSERT_EQ(Reload(), 1);
    const CatalogNode* a = m_model.FindNode(m_model.RootNode(), 1, 1);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->Details().fileName, longName);
    EXPECT_EQ(a->Details().comment, longComment);
    EXPECT_EQ(a->Path(), m_home + "/" + longName);
    EXPECT_EQ(m_model.NodeById(3)->Details().rawFileName, longRaw);
    EXPECT_EQ(m_model.NodeById(3)->Path(), a->Path() + "/" + longRaw);
    const CatalogNode* doc = m_model.FindNode(m_model.RootNode(), 2, 2);
    ASSERT_NE(doc, nullptr);
    EXPECT_EQ(doc->Details().fileName, "Ab\xEF\xBF\xBD"
                                       "c");
    EXPECT_EQ(doc->Path(), a->Path() + "/f\xEF\xBF\xBD.txt");
}

TEST_F(LoaderTest, TopLevelRowsTakeTheHomeDirectoryOfTheSettings) {
    AddRow(1, "A", 0, kCatalogType, 1);
    FreeSettings(); // no Settings: an empty Home Directory, so paths start at the separator
    ASSERT_EQ(Reload(), 1);
    EXPECT_EQ(m_model.RootNode()->Path(), "");
    EXPECT_EQ(m_model.FindNode(m_model.RootNode(), 1, 1)->Path(), "/A");
}

} // namespace
} // namespace mwdx::test
