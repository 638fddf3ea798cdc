// The tree view with a wide catalog expanded: the commands' operations add, rename and delete
// there, and the view takes in just those rows, never laying out every row again, while what it
// shows stays exactly what a full layout shows.

#include "app/catalog_tree_model.h"
#include "app/tree_ctrl_ex.h"
#include "catalog/model.h"
#include "gui_fixture.h"
#include "operations/add_catalog.h"
#include "operations/delete_node.h"
#include "operations/edit_node.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QScrollBar>
#include <memory>
#include <vector>

namespace mwdx::test {
namespace {

constexpr int kWide = 3000;

// Big (id 1) with kWide sub-catalogs "Item 00001" ..., of which Item 00010 holds three catalogs,
// Item 00030 one, and Item 00040 one holding one; then a top-level After with two.
void AddWideCatalog(const std::string& db) {
    RunSql(db, "insert into FILE_NODE(FILE_NAME,PARENT_ID,COMMENT,FILETYPE,RAW_FILE_NAME,PATH_LEVEL) "
               "values ('Big',0,'',0,'',1);"
               "with recursive n(i) as (select 1 union all select i+1 from n where i < " +
                   std::to_string(kWide) +
                   ") insert into FILE_NODE(FILE_NAME,PARENT_ID,COMMENT,FILETYPE,RAW_FILE_NAME,PATH_LEVEL) "
                   "select printf('Item %05d', i), 1, '', 0, '', 2 from n;"
                   "insert into FILE_NODE(FILE_NAME,PARENT_ID,COMMENT,FILETYPE,RAW_FILE_NAME,PATH_LEVEL) values "
                   "('x',11,'',0,'',3),('y',11,'',0,'',3),('z',11,'',0,'',3),('only',31,'',0,'',3),"
                   "('After',0,'',0,'',1);"
                   "insert into FILE_NODE(FILE_NAME,PARENT_ID,COMMENT,FILETYPE,RAW_FILE_NAME,PATH_LEVEL) "
                   "select 'a'||FILE_ID, FILE_ID, '', 0, '', 2 from FILE_NODE where FILE_NAME='After';"
                   "insert into FILE_NODE(FILE_NAME,PARENT_ID,COMMENT,FILETYPE,RAW_FILE_NAME,PATH_LEVEL) "
                   "select 'b'||FILE_ID, FILE_ID, '', 0, '', 2 from FILE_NODE where FILE_NAME='After';"
                   "insert into FILE_NODE(FILE_NAME,PARENT_ID,COMMENT,FILETYPE,RAW_FILE_NAME,PATH_LEVEL) "
                   "values ('w',41,'',0,'',3);"
                   "insert into FILE_NODE(FILE_NAME,PARENT_ID,COMMENT,FILETYPE,RAW_FILE_NAME,PATH_LEVEL) "
                   "select 'v', FILE_ID, '', 0, '', 4 from FILE_NODE where FILE_NAME='w';");
}

CTreeCtrlEx* TreeOf(CMarrowdexDlg& window) {
    return window.findChild<CTreeCtrlEx*>();
}

// Lets the view take in what happened and paint, as it does before the user sees the result.
void Settle(CMarrowdexDlg& window) {
    QApplication::processEvents();
    window.repaint();
}

// Where the view shows every row that is shown, top to bottom, with the item it finds there.
struct Shown {
    std::vector<QModelIndex> rows;
    std::vector<QRect> rects;
    std::vector<QModelIndex> found;
    int scrollRange = 0;
    bool operator==(const Shown&) const = default;
};

Shown WhatIsShown(CTreeCtrlEx& tree) {
    Shown shown;
    for (QModelIndex row = tree.model()->index(0, 0); row.isValid(); row = tree.indexBelow(row)) {
        shown.rows.push_back(row);
        const QRect rect = tree.visualRect(row);
        shown.rects.push_back(rect);
        shown.found.push_back(tree.indexAt(rect.center()));
    }
    shown.scrollRange = tree.verticalScrollBar()->maximum();
    return shown;
}

QModelIndex ItemNamed(const QAbstractItemModel& model, const QModelIndex& parent, const QString& name) {
    for (int row = 0; row < model.rowCount(parent); ++row) {
        if (model.index(row, 0, parent).data().toString() == name) {
            return model.index(row, 0, parent);
        }
    }
    return {};
}

class TreeViewTest : public GuiTest {
protected:
    void SetUp() override {
        MakeDatabase(true);
        AddWideCatalog(m_db);
        m_window = OpenWindow();
        m_tree = TreeOf(*m_window);
        m_tester = std::make_unique<QAbstractItemModelTester>(m_tree->model(),
                                                              QAbstractItemModelTester::FailureReportingMode::Fatal);
        m_big = FindTopItem(*m_window, "Big");
        m_tree->expand(m_big);
    }

    std::unique_ptr<CMarrowdexDlg> m_window;
    CTreeCtrlEx* m_tree = nullptr;
    std::unique_ptr<QAbstractItemModelTester> m_tester; // checks every signal the model sends
    QModelIndex m_big;
};

TEST_F(TreeViewTest, EditsInAWideExpandedCatalogChangeOnlyTheirOwnRows) {
    CMarrowdexDlg* window = m_window.get();
    CTreeCtrlEx& tree = *m_tree;
    QAbstractItemModel& model = *tree.model();
    CatalogModel& catalog = window->Catalog();
    const std::string home = window->HomeDirectory();
    const QModelIndex big = m_big;
    const QModelIndex after = FindTopItem(*window, "After");
    ASSERT_EQ(model.rowCount(big), kWide);
    tree.expand(model.index(9, 0, big));  // Item 00010 and its three
    tree.expand(model.index(29, 0, big)); // Item 00030 and its one
    tree.expand(after);
    Settle(*window);
    const std::size_t layouts = tree.FullLayouts();
    CatalogNode* bigNode = window->ItemNode(big);
    const auto node = [&](const QModelIndex& parent, const char* name) {
        return window->ItemNode(ItemNamed(model, parent, QString::fromUtf8(name)));
    };

    // Added at the end of Big, under a collapsed catalog and at the top level.
    CatalogNode* added = nullptr;
    ASSERT_TRUE(AddCatalogOperation(catalog, home, {bigNode, "Added", "new"}, &added).done);
    Settle(*window);
    EXPECT_EQ(model.rowCount(big), kWide + 1);
    EXPECT_EQ(tree.indexBelow(window->ItemOf(added)), after) << "shown last in Big, before After";
    ASSERT_TRUE(AddCatalogOperation(catalog, home, {node(big, "Item 00020"), "Inner", ""}).done);
    ASSERT_TRUE(AddCatalogOperation(catalog, home, {nullptr, "Top", ""}).done);
    Settle(*window);
    EXPECT_EQ(model.rowCount(), 3);
    EXPECT_FALSE(tree.isExpanded(ItemNamed(model, big, QStringLiteral("Item 00020"))));

    // Renamed: the row shows the new name where it was.
    window->SelectItem(window->ItemOf(added));
    ASSERT_TRUE(EditNodeOperation(catalog, home, *added, "Renamed", "new").done);
    Settle(*window);
    EXPECT_EQ(window->ItemOf(added).data().toString(), QStringLiteral("Renamed"));
    EXPECT_EQ(window->ItemOf(added).row(), kWide);

    // Deleted: the selected last row (the selection moves to the row before it), an expanded
    // catalog with its shown rows, the first row, and the only child of an expanded catalog.
    ASSERT_TRUE(DeleteNodeOperation(catalog, home, *added, false).done);
    Settle(*window);
    EXPECT_EQ(window->GetSelectedItem().data().toString(), QStringLiteral("Item 03000"));
    ASSERT_TRUE(DeleteNodeOperation(catalog, home, *node(big, "Item 00010"), false).done);
    ASSERT_TRUE(DeleteNodeOperation(catalog, home, *node(big, "Item 00001"), false).done);
    const QModelIndex holder = ItemNamed(model, big, QStringLiteral("Item 00030"));
    ASSERT_TRUE(DeleteNodeOperation(catalog, home, *node(holder, "only"), false).done);
    Settle(*window);
    EXPECT_EQ(model.rowCount(big), kWide - 2);
    EXPECT_EQ(model.index(0, 0, big).data().toString(), QStringLiteral("Item 00002"));
    EXPECT_EQ(model.index(27, 0, big).data().toString(), QStringLiteral("Item 00030"));
    EXPECT_FALSE(model.hasChildren(holder));
    ASSERT_TRUE(DeleteNodeOperation(catalog, home, *window->ItemNode(model.index(0, 0, after)), false).done);
    Settle(*window);
    EXPECT_EQ(model.rowCount(after), 1);

    // Under a collapsed catalog, which loses its only child, and under an expanded one that a
    // collapsed Big hides.
    const QModelIndex item20 = ItemNamed(model, big, QStringLiteral("Item 00020"));
    ASSERT_TRUE(DeleteNodeOperation(catalog, home, *node(item20, "Inner"), false).done);
    const QModelIndex item40 = ItemNamed(model, big, QStringLiteral("Item 00040"));
    const QModelIndex w = model.index(0, 0, item40);
    tree.expand(item40);
    tree.expand(w);
    tree.collapse(big);
    Settle(*window);
    ASSERT_TRUE(DeleteNodeOperation(catalog, home, *node(w, "v"), false).done);
    tree.expand(big);
    Settle(*window);
    EXPECT_FALSE(model.hasChildren(item20));
    EXPECT_FALSE(model.hasChildren(w));
    EXPECT_EQ(tree.indexBelow(w), ItemNamed(model, big, QStringLiteral("Item 00041")));

    EXPECT_EQ(tree.FullLayouts(), layouts) << "the view laid out every row again";

    // What the view shows after these edits in place is what a layout from scratch shows.
    const Shown inPlace = WhatIsShown(tree);
    // Big and its rows with w, After and its one left, Top.
    EXPECT_EQ(inPlace.rows.size(), static_cast<std::size_t>(1 + kWide - 2 + 1 + 2 + 1));
    tree.doItemsLayout();
    Settle(*window);
    EXPECT_TRUE(WhatIsShown(tree) == inPlace);
}

// The model finds rows and nodes in a wide catalog that loses many of its children, wherever
// they were, and every index it hands out names its node, its row and its parent rightly.
TEST_F(TreeViewTest, RowsAndParentsStayRightAsAWideCatalogLosesChildren) {
    CMarrowdexDlg* window = m_window.get();
    CTreeCtrlEx& tree = *m_tree;
    QAbstractItemModel& model = *tree.model();
    CatalogModel& catalog = window->Catalog();
    const QModelIndex big = m_big;
    CatalogNode* bigNode = window->ItemNode(big);
    Settle(*window);
    const std::size_t layouts = tree.FullLayouts();

    const auto expectRows = [&] {
        std::vector<const CatalogNode*> inOrder;
        for (const CatalogNode* child = bigNode->FirstChild(); child != nullptr; child = child->NextSibling()) {
            inOrder.push_back(child);
        }
        ASSERT_EQ(model.rowCount(big), static_cast<int>(inOrder.size()));
        // Backwards and then forwards, as a view asks when scrolling either way.
        for (int row = static_cast<int>(inOrder.size()) - 1; row >= 0; row -= 7) {
            const QModelIndex item = model.index(row, 0, big);
            ASSERT_EQ(window->ItemNode(item), inOrder[static_cast<std::size_t>(row)]) << row;
            ASSERT_EQ(item.parent(), big);
        }
        for (std::size_t row = 0; row < inOrder.size(); ++row) {
            ASSERT_EQ(window->ItemOf(inOrder[row]).row(), static_cast<int>(row));
            ASSERT_EQ(window->ItemNode(model.index(static_cast<int>(row), 0, big)), inOrder[row]);
        }
    };
    // Every third child first (the rows shift after each), then most of the rest, enough that the
    // model squeezes out the gaps they leave, then some added at the end.
    int step = 0;
    for (CatalogNode* child = bigNode->FirstChild(); child != nullptr;) {
        CatalogNode* next = child->NextSibling();
        if (step++ % 3 == 0) {
            ASSERT_TRUE(catalog.UnlinkAndFree(*bigNode, *child));
        }
        child = next;
    }
    Settle(*window);
    expectRows();
    for (int i = 0; i < 1500; ++i) {
        ASSERT_TRUE(catalog.UnlinkAndFree(*bigNode, *bigNode->FirstChild()->NextSibling()));
    }
    ASSERT_TRUE(AddCatalogOperation(catalog, window->HomeDirectory(), {bigNode, "Late", ""}).done);
    Settle(*window);
    expectRows();
    EXPECT_EQ(model.index(model.rowCount(big) - 1, 0, big).data().toString(), QStringLiteral("Late"));
    EXPECT_EQ(tree.FullLayouts(), layouts);
}

} // namespace
} // namespace mwdx::test
