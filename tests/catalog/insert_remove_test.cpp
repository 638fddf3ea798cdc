#include "catalog/insert_remove.h"
#include "catalog/loader.h"
#include "catalog/paths.h"
#include "store/connection.h"
#include "store/settings.h"
#include "support/catalog_fixture.h"

#include <gtest/gtest.h>

namespace mwdx::test {
namespace {

class InsertRemoveTest : public CatalogFixture {
protected:
    CatalogNode* AddCatalog(CatalogNode* parent, const std::string& name) {
        const NodeId parentId = parent == nullptr ? 0 : parent->FileId();
        const int level = parent == nullptr ? 1 : parent->PathLevel() + 1;
        const std::string parentPath = parent == nullptr ? m_home : parent->Path();
        return InsertNode(m_model, name, "", kCatalogType, parentId, "", level, parent, JoinNodePath(parentPath, name));
    }
    CatalogNode* Root() { return m_model.RootNode(); }
};

TEST_F(InsertRemoveTest, TheFirstInsertCreatesTheRootNodeAndNewNodesGoLast) {
    ASSERT_EQ(Reload(), 1);
    ASSERT_EQ(Root(), nullptr);
    CatalogNode* a = AddCatalog(nullptr, "A");
    ASSERT_NE(a, nullptr);
    ASSERT_NE(Root(), nullptr);
    EXPECT_EQ(Root()->Path(), m_home);
    EXPECT_EQ(Root()->FirstChild(), a);
    EXPECT_EQ(Root()->LastChild(), a);
    EXPECT_EQ(a->FileId(), std::stoi(QueryText(m_db, "select max(FILE_ID) from FILE_NODE;")));
    EXPECT_EQ(GetMaxFileId(), a->FileId());

    CatalogNode* doc = InsertNode(m_model, "It's \"quoted\"", "Bob's comment -- '; drop table FILE_NODE; --",
                                  kDocumentType, a->FileId(), "l'été 中文.txt", 2, a, a->Path() + "/l'été 中文.txt");
    ASSERT_NE(doc, nullptr);
    CatalogNode* b = AddCatalog(a, "B");
    EXPECT_EQ(a->LastChild(), b);
    EXPECT_EQ(doc->NextSibling(), b);
    EXPECT_GT(b->FileId(), doc->FileId());
    const int docId = doc->FileId();

    // The next start reads back exactly what was inserted.
    ASSERT_EQ(Reload(), 1);
    EXPECT_EQ(Outline(*Root()), (std::vector<std::string>{"A", "  It's \"quoted\"", "  B"}));
    const CatalogNode* loaded = m_model.FindNode(Root(), docId, 2);
    ASSERT_NE(loaded, nullptr);
    EXPECT_EQ(loaded->Details().comment, "Bob's comment -- '; drop table FILE_NODE; --");
    EXPECT_EQ(loaded->Details().rawFileName, "l'été 中文.txt");
    EXPECT_EQ(loaded->Path(), m_home + "/A/l'été 中文.txt");
}

TEST_F(InsertRemoveTest, IdsBeyondThirtyTwoBitsNameOnlyTheirOwnRows) {
    // A store whose ids went past 2^32: cut to 32 bits, the new node's id would be another's.
    const NodeId big = (NodeId{1} << 32) + 7;
    AddRow(7, "Seven", 0, kCatalogType, 1);
    AddRow(big, "Big", 0, kCatalogType, 1);
    ASSERT_EQ(Reload(), 1);
    CatalogNode* added = AddCatalog(m_model.NodeById(big), "Under big");
    ASSERT_NE(added, nullptr);
    EXPECT_EQ(added->FileId(), big + 1);
    EXPECT_EQ(QueryText(m_db, "select PARENT_ID from FILE_NODE where FILE_NAME = 'Under big';"), std::to_string(big));

    EXPECT_TRUE(RemoveNode(m_model, *Root(), m_model.NodeById(big)));
    EXPECT_EQ(QueryText(m_db, "select group_concat(FILE_NAME) from FILE_NODE;"), "Seven");
    ASSERT_EQ(Reload(), 1);
    EXPECT_EQ(Outline(*Root()), (std::vector<std::string>{"Seven"}));
}

TEST_F(InsertRemoveTest, RemovingFirstMiddleLastAndOnlyChildrenKeepsStoreAndTreeInStep) {
    CatalogNode* a = AddCatalog(nullptr, "A");
    CatalogNode* c1 = AddCatalog(a, "c1");
    CatalogNode* c2 = AddCatalog(a, "c2");
    CatalogNode* c3 = AddCatalog(a, "c3");
    AddCatalog(AddCatalog(c2, "c2 sub"), "c2 sub sub");
    ASSERT_TRUE(c1 && c2 && c3);
    const int idOfC1 = c1->FileId();
    const int idOfC3 = c3->FileId();

    EXPECT_TRUE(RemoveNode(m_model, *a, c3)); // last
    EXPECT_EQ(a->LastChild(), c2);
    CatalogNode* c4 = AddCatalog(a, "c4");
    EXPECT_EQ(c2->NextSibling(), c4) << "a new child follows the second after the last was removed";
    EXPECT_GT(c4->FileId(), idOfC3) << "ids only grow, even after a removal";
    EXPECT_TRUE(RemoveNode(m_model, *a, c2)); // middle, with two levels below it
    EXPECT_EQ(RowCount(), 3);
    EXPECT_TRUE(RemoveNode(m_model, *a, c1)); // first
    EXPECT_EQ(a->FirstChild(), c4);
    EXPECT_EQ(m_model.FindNode(Root(), idOfC1, 2), nullptr);
    EXPECT_TRUE(RemoveNode(m_model, *a, c4)); // only
    EXPECT_EQ(a->FirstChild(), nullptr);
    EXPECT_EQ(a->LastChild(), nullptr);
    EXPECT_EQ(RowCount(), 1);

    EXPECT_FALSE(RemoveNode(m_model, *a, nullptr));
    CatalogNode* other = AddCatalog(nullptr, "Other");
    EXPECT_TRUE(RemoveNode(m_model, *a, other)) << "not a child of that parent: true, and nothing changes";
    EXPECT_EQ(RowCount(), 2);
    EXPECT_EQ(Root()->LastChild(), other);

    ASSERT_EQ(Reload(), 1);
    EXPECT_EQ(Outline(*Root()), (std::vector<std::string>{"A", "Other"}));
}

TEST_F(InsertRemoveTest, AFailedRemovalChangesNothingAnywhere) {
    CatalogNode* a = AddCatalog(nullptr, "A");
    CatalogNode* b = AddCatalog(a, "B");
    CatalogNode* c = AddCatalog(b, "C");
    AddCatalog(c, "D");
    ASSERT_NE(AddCatalog(a, "E"), nullptr);
    // Deleting D's row fails after A's, B's and C's statements already ran.
    RunSql(m_db, "create trigger keep_d before delete on FILE_NODE when old.FILE_NAME = 'D'"
                 " begin select raise(abort, 'kept'); end;");
    EXPECT_FALSE(RemoveNode(m_model, *Root(), a));
    EXPECT_EQ(RowCount(), 5) << "every row of the subtree is still there";
    EXPECT_EQ(Root()->FirstChild(), a);
    EXPECT_EQ(Outline(*Root()), (std::vector<std::string>{"A", "  B", "    C", "      D", "  E"}));
    EXPECT_EQ(m_model.NodeCount(), 5u);

    // A read-only store: not even the first statement goes through.
    RunSql(m_db, "drop trigger keep_d;");
    ASSERT_EQ(ExecStatement("PRAGMA query_only = 1;"), kStatementOk);
    EXPECT_FALSE(RemoveNode(m_model, *a, b));
    EXPECT_EQ(a->FirstChild(), b);
    EXPECT_EQ(m_model.NodeCount(), 5u);
    ASSERT_EQ(Reload(), 1);
    EXPECT_EQ(m_model.NodeCount(), 5u);
}

TEST_F(InsertRemoveTest, ALargeCatalogGoesWithEveryRowOrKeepsThemAll) {
    // "Big" holds 50 sub-catalogs of 99 documents each (ids 10..5009); "Beside" stands next to it.
    RunSql(m_db, "insert into FILE_NODE(FILE_ID,FILE_NAME,PARENT_ID,PATH_LEVEL) values(1,'Big',0,1),(2,'Beside',0,1);"
                 "with recursive n(i) as (select 0 union all select i + 1 from n where i < 4999)"
                 " insert into FILE_NODE(FILE_ID,FILE_NAME,PARENT_ID,FILETYPE,RAW_FILE_NAME,PATH_LEVEL)"
                 " select 10 + i, 'n' || i, iif(i % 100 = 0, 1, 10 + i - i % 100), i % 100 > 0,"
                 " iif(i % 100 = 0, '', 'n' || i || '.pdf'), iif(i % 100 = 0, 2, 3) from n;");
    ASSERT_EQ(Reload(), 1);
    ASSERT_EQ(m_model.NodeCount(), 5002u);
    CatalogNode* big = Root()->FirstChild();

    // The very last row of the walk refuses to go: the 5000 deleted before it come back.
    RunSql(m_db, "create trigger keep_last before delete on FILE_NODE when old.FILE_ID = 5009"
                 " begin select raise(abort, 'kept'); end;");
    EXPECT_FALSE(RemoveNode(m_model, *Root(), big));
    EXPECT_EQ(RowCount(), 5002);
    EXPECT_EQ(m_model.NodeCount(), 5002u);

    RunSql(m_db, "drop trigger keep_last;");
    EXPECT_TRUE(RemoveNode(m_model, *Root(), big));
    EXPECT_EQ(QueryText(m_db, "select group_concat(FILE_NAME) from FILE_NODE;"), "Beside");
    EXPECT_EQ(m_model.NodeCount(), 1u);
    ASSERT_EQ(Reload(), 1);
    EXPECT_EQ(Outline(*Root()), (std::vector<std::string>{"Beside"}));
}

TEST_F(InsertRemoveTest, AFailedInsertLeavesNeitherRowNorNode) {
    CatalogNode* a = AddCatalog(nullptr, "A");
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(InsertNode(m_model, "orphan", "", kCatalogType, a->FileId(), "", 2, nullptr, "/x"), nullptr)
        << "a parent id without a parent node";
    RunSql(m_db, "create trigger no_bad before insert on FILE_NODE when new.FILE_NAME = 'bad'"
                 " begin select raise(abort, 'refused'); end;");
    EXPECT_EQ(AddCatalog(a, "bad"), nullptr);
    ASSERT_EQ(ExecStatement("PRAGMA query_only = 1;"), kStatementOk);
    EXPECT_EQ(AddCatalog(a, "fine but read-only"), nullptr);
    ASSERT_EQ(ExecStatement("PRAGMA query_only = 0;"), kStatementOk);
    // The commit itself fails (a deferred constraint the insert broke): the node added in memory goes again.
    RunSql(m_db, "create table TAGS(NODE integer references NOPE(ID) deferrable initially deferred);"
                 "create table NOPE(ID integer primary key);"
                 "create trigger tag after insert on FILE_NODE begin insert into TAGS values(new.FILE_ID); end;");
    ASSERT_EQ(ExecStatement("PRAGMA foreign_keys = ON;"), kStatementOk);
    EXPECT_EQ(AddCatalog(a, "commit fails"), nullptr);
    ASSERT_EQ(ExecStatement("PRAGMA foreign_keys = OFF;"), kStatementOk);
    EXPECT_EQ(RowCount(), 1);
    EXPECT_EQ(a->FirstChild(), nullptr);
    EXPECT_EQ(a->LastChild(), nullptr);
    EXPECT_EQ(m_model.NodeCount(), 1u);

    CloseStore();
    EXPECT_EQ(AddCatalog(a, "no connection"), nullptr);
    EXPECT_EQ(GetMaxFileId(), -1);
    EXPECT_FALSE(RemoveNode(m_model, *Root(), a)) << "without a store nothing is removed";
    EXPECT_EQ(Root()->FirstChild(), a);
}

} // namespace
} // namespace mwdx::test
