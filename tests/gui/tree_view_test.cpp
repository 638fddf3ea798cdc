// The catalog tree as the user sees it: after every command, open, close, search and drop, the
// rows the view draws (read where it draws them, and as a screen reader walks them) are the
// catalog's nodes in their order, each under its catalog, exactly as far as catalogs are open.

#include "app/catalog_tree_model.h"
#include "app/tree_ctrl_ex.h"
#include "catalog/model.h"
#include "catalog/search.h"
#include "commands/dir_dlg.h"
#include "gui_fixture.h"
#include "operations/add_catalog.h"
#include "operations/delete_node.h"
#include "operations/edit_node.h"
#include "operations/move_node.h"

#include <QAccessible>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <algorithm>
#include <cstdlib>
#include <random>
#include <set>

namespace mwdx::test {
namespace {

// A row as expected or as a screen reader reads it: its name and level.
struct Row {
    QString name;
    int level = 0;
    bool operator==(const Row&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Row& row) {
    return out << std::string(static_cast<std::size_t>(row.level) * 2, ' ') << row.name.toStdString();
}

std::vector<Row> Drawn(CTreeCtrlEx& tree) {
    std::vector<Row> rows;
    for (const ViewRow& row : ViewRows(tree)) {
        rows.push_back({row.name, row.level});
    }
    return rows;
}

// The tree a screen reader walks: each item's name at its depth below the tree.
void Heard(QAccessibleInterface* item, int level, std::vector<Row>& rows) {
    for (int i = 0; i < item->childCount(); ++i) {
        QAccessibleInterface* child = item->child(i);
        if (child == nullptr) {
            rows.push_back({QStringLiteral("<missing child>"), level});
            continue;
        }
        EXPECT_EQ(child->role(), QAccessible::TreeItem);
        EXPECT_EQ(child->parent(), item) << child->text(QAccessible::Name).toStdString();
        EXPECT_EQ(item->indexOfChild(child), i);
        rows.push_back({child->text(QAccessible::Name), level});
        Heard(child, level + 1, rows);
    }
}

std::vector<Row> Heard(CTreeCtrlEx& tree) {
    QAccessibleInterface* root = QAccessible::queryAccessibleInterface(&tree);
    EXPECT_EQ(root->role(), QAccessible::Tree);
    std::vector<Row> rows;
    Heard(root, 0, rows);
    return rows;
}

QString NameOf(const CatalogNode& node) {
    return QString::fromStdString(node.Details().fileName);
}

// Types a name into the catalog window and presses OK.
void TypeCatalog(ModalScript& script, const QString& name) {
    script.Then<CDirDlg>([name](CDirDlg* dialog) {
        Child<QLineEdit>(dialog, "nameEdit")->setText(name);
        Child<QPushButton>(dialog, "okButton")->click();
    });
}

// The tree's menu, when it opens: the item with this text is chosen, as with the keyboard.
void ChooseFromMenu(ModalScript& script, const QString& item) {
    script.Then<QMenu>(
        [item](QMenu* menu) {
            for (QAction* action : menu->actions()) {
                if (action->text() == item) {
                    menu->setActiveAction(action);
                    QTest::keyClick(menu, Qt::Key_Return);
                    return;
                }
            }
            ADD_FAILURE() << "no menu item " << item.toStdString();
            menu->close();
        },
        "the tree's menu");
}

// A right click at `point` of the tree (viewport coordinates) with the mouse, through the window.
void RightClick(CMarrowdexDlg& window, const QPoint& point) {
    QWidget* viewport = TreeOf(window)->viewport();
    QTest::mouseClick(window.windowHandle(), Qt::RightButton, {}, viewport->mapTo(&window, point));
}

QPoint OnItem(CTreeCtrlEx& tree, const QModelIndex& item) {
    const QRect rect = tree.ItemRect(item);
    return {rect.left() + 10, rect.center().y()};
}

class TreeViewTest : public GuiTest {
protected:
    void SetUp() override { MakeDatabase(true); }
    const ScopedLocale m_locale{"en_US.UTF-8"};
};

// The first thing a new user does: in an empty knowledge base, right-click the tree, Add Sub
// Catalog, type a name, Enter. The catalog shows at once, and so does the next.
TEST_F(TreeViewTest, TheFirstCatalogOfAnEmptyTreeShowsAtOnce) {
    auto window = OpenWindow();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    CTreeCtrlEx& tree = *TreeOf(*window);
    EXPECT_EQ(ViewLines(tree), QStringList{});
    {
        ModalScript script;
        ChooseFromMenu(script, QStringLiteral("Add Sub Catalog"));
        TypeCatalog(script, QStringLiteral("Physics"));
        RightClick(*window, QPoint(20, 20));
        EXPECT_TRUE(WaitUntil([&] { return script.Finished(); }));
    }
    EXPECT_EQ(ViewLines(tree), QStringList{QStringLiteral("Physics")});
    EXPECT_EQ(Heard(tree), (std::vector<Row>{{QStringLiteral("Physics"), 0}}));
    {
        ModalScript script;
        ChooseFromMenu(script, QStringLiteral("Add Sub Catalog"));
        TypeCatalog(script, QStringLiteral("Chemistry"));
        RightClick(*window, QPoint(20, tree.viewport()->height() - 10));
        EXPECT_TRUE(WaitUntil([&] { return script.Finished(); }));
    }
    EXPECT_EQ(ViewLines(tree), (QStringList{QStringLiteral("Physics"), QStringLiteral("Chemistry")}));
    EXPECT_EQ(QueryText(m_db, "select group_concat(FILE_NAME) from FILE_NODE;"), "Physics,Chemistry");
}

// A neighbour added beside a catalog without children, then a catalog added into that catalog and
// one into the neighbour: each shows where it belongs, its catalog opened to show it.
TEST_F(TreeViewTest, ASubCatalogOfAFreshNeighbourShows) {
    RunSql(m_db, "insert into FILE_NODE(FILE_NAME,PARENT_ID,COMMENT,FILETYPE,RAW_FILE_NAME,PATH_LEVEL) values"
                 "('Physics',0,'',0,'',1);");
    auto window = OpenWindow();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    CTreeCtrlEx& tree = *TreeOf(*window);
    const QModelIndex physics = FindTopItem(*window, "Physics");
    {
        ModalScript script;
        ChooseFromMenu(script, QStringLiteral("Add Neighbour Catalog"));
        TypeCatalog(script, QStringLiteral("Maths"));
        RightClick(*window, OnItem(tree, physics));
        EXPECT_TRUE(WaitUntil([&] { return script.Finished(); }));
    }
    ASSERT_EQ(ViewLines(tree), (QStringList{QStringLiteral("Physics"), QStringLiteral("Maths")}));
    for (const auto& [into, name] : {std::pair{"Physics", "Optics"}, std::pair{"Maths", "Algebra"}}) {
        ModalScript script;
        ChooseFromMenu(script, QStringLiteral("Add Sub Catalog"));
        TypeCatalog(script, QString::fromLatin1(name));
        RightClick(*window, OnItem(tree, FindTopItem(*window, into)));
        EXPECT_TRUE(WaitUntil([&] { return script.Finished(); }));
    }
    EXPECT_EQ(ViewLines(tree), (QStringList{QStringLiteral("Physics"), QStringLiteral("  Optics"),
                                            QStringLiteral("Maths"), QStringLiteral("  Algebra")}));
    EXPECT_EQ(Heard(tree), (std::vector<Row>{{QStringLiteral("Physics"), 0},
                                             {QStringLiteral("Optics"), 1},
                                             {QStringLiteral("Maths"), 0},
                                             {QStringLiteral("Algebra"), 1}}));
}

// A node dragged onto a catalog that is open and empty (its last child was just deleted) goes
// into it and stays in view, selected; so does one dropped onto a closed catalog.
TEST_F(TreeViewTest, ANodeDroppedOntoAnOpenEmptyCatalogStaysInView) {
    RunSql(m_db, "insert into FILE_NODE(FILE_NAME,PARENT_ID,COMMENT,FILETYPE,RAW_FILE_NAME,PATH_LEVEL) values"
                 "('Physics',0,'',0,'',1),('Empty',0,'',0,'',1),('Optics',1,'',0,'',2),('Old',2,'',0,'',2),"
                 "('Closed',0,'',0,'',1),('Inside',5,'',0,'',2);");
    for (const char* folder : {"Physics/Optics", "Empty/Old", "Closed/Inside"}) {
        std::filesystem::create_directories(m_home + "/" + folder);
    }
    auto window = OpenWindow();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    CTreeCtrlEx& tree = *TreeOf(*window);
    const QModelIndex empty = FindTopItem(*window, "Empty");
    const QModelIndex old = ChildItem(*window, empty, QStringLiteral("Old"));
    ASSERT_TRUE(DeleteNodeOperation(window->Catalog(), window->HomeDirectory(), *window->ItemNode(old), true).done);
    ASSERT_TRUE(tree.isExpanded(empty));
    const QModelIndex optics = ChildItem(*window, FindTopItem(*window, "Physics"), QStringLiteral("Optics"));
    window->SelectItem(optics);
    QMimeData* data = tree.DragData(optics);
    ASSERT_NE(data, nullptr);
    EXPECT_TRUE(DropOnWindow(window.get(), *data,
                             tree.viewport()->mapTo(window.get(), OnItem(tree, FindTopItem(*window, "Empty"))),
                             Qt::MoveAction));
    delete data;
    EXPECT_TRUE(WaitUntil([&] { return std::filesystem::is_directory(m_home + "/Empty/Optics"); }));
    QApplication::processEvents();
    EXPECT_EQ(ViewLines(tree), (QStringList{QStringLiteral("Physics"), QStringLiteral("Empty"),
                                            QStringLiteral("  Optics"), QStringLiteral("Closed")}));
    EXPECT_EQ(window->GetSelectedItem().data().toString(), QStringLiteral("Optics"));

    data = tree.DragData(window->GetSelectedItem());
    EXPECT_TRUE(DropOnWindow(window.get(), *data,
                             tree.viewport()->mapTo(window.get(), OnItem(tree, FindTopItem(*window, "Closed"))),
                             Qt::MoveAction));
    delete data;
    EXPECT_TRUE(WaitUntil([&] { return std::filesystem::is_directory(m_home + "/Closed/Optics"); }));
    QApplication::processEvents();
    EXPECT_EQ(ViewLines(tree),
              (QStringList{QStringLiteral("Physics"), QStringLiteral("Empty"), QStringLiteral("Closed"),
                           QStringLiteral("  Optics"), QStringLiteral("  Inside")}))
        << "Optics is older than Inside: before it, as the next start shows them";
    EXPECT_EQ(window->GetSelectedItem().data().toString(), QStringLiteral("Optics"));
}

// The tree loaded again, because another program changed the store, shows what it showed: the
// same catalogs open, the same node selected, its comment in the pane; so does the tree after work
// that let go of it (an import), and a node gone since is passed over.
TEST_F(TreeViewTest, ATreeLoadedAgainShowsWhatItShowed) {
    RunSql(m_db, "insert into FILE_NODE(FILE_ID,FILE_NAME,PARENT_ID,COMMENT,FILETYPE,RAW_FILE_NAME,PATH_LEVEL) "
                 "values(1,'Physics',0,'',0,'',1),(2,'Optics',1,'about optics',0,'',2),(3,'Lenses',2,'',0,'',3),"
                 "(4,'Maths',0,'',0,'',1),(5,'Algebra',4,'',0,'',2);");
    auto window = OpenWindow();
    CTreeCtrlEx& tree = *TreeOf(*window);
    window->ShowAndSelect(window->Catalog().NodeById(3));
    window->SelectItem(window->ItemOf(window->Catalog().NodeById(2)));
    const QStringList shown = ViewLines(tree);
    ASSERT_EQ(shown, (QStringList{QStringLiteral("Physics"), QStringLiteral("  Optics"), QStringLiteral("    Lenses"),
                                  QStringLiteral("Maths")}));

    RunSql(m_db, "insert into FILE_NODE(FILE_ID,FILE_NAME,PARENT_ID,COMMENT,FILETYPE,RAW_FILE_NAME,PATH_LEVEL) "
                 "values(6,'Waves',1,'',0,'',2);");
    {
        ModalScript script;
        script.ThenMessage(QStringLiteral("The knowledge base was changed by another program. The tree has been "
                                          "loaded again; please check it and try again."));
        window->OnCommand(kCmdAddSubCatalog);
        EXPECT_TRUE(script.Finished());
    }
    EXPECT_EQ(ViewLines(tree), (QStringList{QStringLiteral("Physics"), QStringLiteral("  Optics"),
                                            QStringLiteral("    Lenses"), QStringLiteral("  Waves"),
                                            QStringLiteral("Maths")}));
    EXPECT_EQ(window->GetSelectedItem().data().toString(), QStringLiteral("Optics"));
    EXPECT_EQ(Child<QPlainTextEdit>(window.get(), "commentPane")->toPlainText(), QStringLiteral("about optics"));

    // Let go of and shown again: as it was. Gone meanwhile: nothing selected, an empty pane.
    window->DetachTree();
    window->AttachTree();
    EXPECT_EQ(window->GetSelectedItem().data().toString(), QStringLiteral("Optics"));
    RunSql(m_db, "delete from FILE_NODE where FILE_ID in (2,3);");
    window->ReloadTree();
    EXPECT_EQ(ViewLines(tree), (QStringList{QStringLiteral("Physics"), QStringLiteral("  Waves"),
                                            QStringLiteral("Maths")}));
    EXPECT_FALSE(window->GetSelectedItem().isValid());
    EXPECT_EQ(Child<QPlainTextEdit>(window.get(), "commentPane")->toPlainText(), QString());
}

// The keys of a tree: arrows, Home and End, Page Up and Down, "+" "-" "*", Left and Right, the
// first letters of a name, Enter; the comment pane follows the current row.
TEST_F(TreeViewTest, TheKeysWalkAndOpenTheTree) {
    std::string rows = "insert into FILE_NODE(FILE_ID,FILE_NAME,PARENT_ID,COMMENT,FILETYPE,RAW_FILE_NAME,PATH_LEVEL) "
                       "values(1,'Physics',0,'about physics',0,'',1),(2,'Optics',1,'about optics',0,'',2),"
                       "(3,'Lenses',2,'',0,'',3),(4,'Waves',1,'',0,'',2),(5,'Maths',0,'',0,'',1)";
    for (int i = 0; i < 60; ++i) {
        rows += ",(" + std::to_string(10 + i) + ",'Topic " + std::to_string(100 + i) + "',5,'',0,'',2)";
    }
    RunSql(m_db, rows + ";");
    auto window = OpenWindow();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    CTreeCtrlEx& tree = *TreeOf(*window);
    auto* pane = Child<QPlainTextEdit>(window.get(), "commentPane");
    tree.setFocus();
    const auto current = [&] { return tree.currentIndex().data().toString(); };
    const auto key = [&](int k, Qt::KeyboardModifiers modifiers = {}) { QTest::keyClick(&tree, Qt::Key(k), modifiers); };

    key(Qt::Key_Down);
    key(Qt::Key_Up);
    EXPECT_EQ(current(), QStringLiteral("Physics"));
    EXPECT_EQ(pane->toPlainText(), QStringLiteral("about physics"));
    key(Qt::Key_Right); // opens
    EXPECT_EQ(ViewLines(tree), (QStringList{QStringLiteral("Physics"), QStringLiteral("  Optics"),
                                            QStringLiteral("  Waves"), QStringLiteral("Maths")}));
    key(Qt::Key_Right); // goes in
    EXPECT_EQ(current(), QStringLiteral("Optics"));
    EXPECT_EQ(pane->toPlainText(), QStringLiteral("about optics"));
    key(Qt::Key_Asterisk);
    EXPECT_EQ(ViewLines(tree).mid(1, 3), (QStringList{QStringLiteral("  Optics"), QStringLiteral("    Lenses"),
                                                      QStringLiteral("  Waves")}));
    key(Qt::Key_Minus);
    EXPECT_EQ(ViewLines(tree).size(), 4);
    key(Qt::Key_Plus);
    EXPECT_EQ(ViewLines(tree).size(), 5);
    key(Qt::Key_Left); // closes Optics
    key(Qt::Key_Left); // goes up to Physics
    EXPECT_EQ(current(), QStringLiteral("Physics"));
    key(Qt::Key_Return); // closes it
    EXPECT_EQ(ViewLines(tree), (QStringList{QStringLiteral("Physics"), QStringLiteral("Maths")}));
    key(Qt::Key_End);
    EXPECT_EQ(current(), QStringLiteral("Maths"));
    key(Qt::Key_Enter, Qt::KeypadModifier); // opens it: sixty topics
    EXPECT_EQ(ViewLines(tree).size(), 62);
    key(Qt::Key_End);
    EXPECT_EQ(current(), QStringLiteral("Topic 159"));
    key(Qt::Key_Home);
    EXPECT_EQ(current(), QStringLiteral("Physics"));
    key(Qt::Key_PageDown);
    const int page = tree.currentIndex().row();
    EXPECT_GT(page, 3) << "a page is more than a row";
    EXPECT_TRUE(tree.viewport()->rect().contains(tree.visualRect(tree.currentIndex()).center()));
    key(Qt::Key_PageUp);
    EXPECT_LT(tree.currentIndex().row(), page);
    // Type-ahead: the first row whose name starts with what is typed.
    QTest::keyClicks(&tree, QStringLiteral("topic 12"));
    EXPECT_EQ(current(), QStringLiteral("Topic 120"));
    EXPECT_TRUE(tree.viewport()->rect().contains(tree.visualRect(tree.currentIndex()).center()));
}

// A screen reader sees a tree: items with their names and levels, which can be opened and which
// are open, which is selected and has the focus, and it can open one itself.
TEST_F(TreeViewTest, AScreenReaderSeesATree) {
    RunSql(m_db, "insert into FILE_NODE(FILE_ID,FILE_NAME,PARENT_ID,COMMENT,FILETYPE,RAW_FILE_NAME,PATH_LEVEL) "
                 "values(1,'Physics',0,'',0,'',1),(2,'Optics',1,'',0,'',2),(3,'Lens.pdf',2,'',1,'lens.pdf',3),"
                 "(4,'Maths',0,'',0,'',1);");
    auto window = OpenWindow();
    CTreeCtrlEx& tree = *TreeOf(*window);
    QAccessibleInterface* root = QAccessible::queryAccessibleInterface(&tree);
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->role(), QAccessible::Tree);
    ASSERT_EQ(root->childCount(), 2);
    QAccessibleInterface* physics = root->child(0);
    EXPECT_EQ(physics->text(QAccessible::Name), QStringLiteral("Physics"));
    EXPECT_TRUE(physics->state().expandable);
    EXPECT_TRUE(physics->state().collapsed);
    EXPECT_EQ(physics->childCount(), 0) << "a closed catalog shows no children";
    EXPECT_FALSE(root->child(1)->state().expandable) << "Maths is empty";

    // Opened by the screen reader's own action, as a user of one would.
    ASSERT_NE(physics->actionInterface(), nullptr);
    physics->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
    EXPECT_TRUE(tree.isExpanded(window->ItemOf(window->Catalog().NodeById(1))));
    tree.expand(window->ItemOf(window->Catalog().NodeById(2)));
    EXPECT_EQ(Heard(tree), (std::vector<Row>{{QStringLiteral("Physics"), 0},
                                             {QStringLiteral("Optics"), 1},
                                             {QStringLiteral("Lens.pdf"), 2},
                                             {QStringLiteral("Maths"), 0}}));
    physics = root->child(0);
    EXPECT_TRUE(physics->state().expanded);
    QAccessibleInterface* lens = physics->child(0)->child(0);
    EXPECT_EQ(lens->parent()->parent(), physics);
    EXPECT_FALSE(lens->state().expandable);

    // Selection and focus; where the item is drawn.
    window->SelectItem(window->ItemOf(window->Catalog().NodeById(3)));
    tree.setFocus();
    QApplication::processEvents();
    EXPECT_TRUE(lens->state().selected);
    EXPECT_TRUE(lens->state().focused);
    EXPECT_EQ(root->focusChild(), lens);
    const QRect drawn = tree.ItemRect(tree.currentIndex());
    EXPECT_EQ(lens->rect(), QRect(tree.viewport()->mapToGlobal(drawn.topLeft()), drawn.size()));
    EXPECT_GT(lens->rect().left(), physics->rect().left()) << "indented by its level";
}

// Random commands, opening, closing, searches and drops on a real store and window: after every
// step, the rows the view draws and the tree a screen reader hears are the catalog's nodes in
// order, each under its catalog, as far as catalogs are open. Set MARROWDEX_TREE_SEED to run one
// seed again, MARROWDEX_TREE_STEPS for a longer run.
TEST_F(TreeViewTest, RandomStepsShowTheCatalogAsItIs) {
    std::string rows = "insert into FILE_NODE(FILE_ID,FILE_NAME,PARENT_ID,COMMENT,FILETYPE,RAW_FILE_NAME,PATH_LEVEL) "
                       "values(1,'c1',0,'',0,'',1),(2,'c2',0,'',0,'',1),(3,'c3',1,'',0,'',2),(4,'e4',0,'',0,'',1),"
                       "(5,'d5',1,'about light',1,'d5.txt',2),(6,'w6',0,'',0,'',1)";
    for (int i = 0; i < 40; ++i) {
        rows += ",(" + std::to_string(10 + i) + ",'k" + std::to_string(10 + i) + "',6,'',0,'',2)";
    }
    RunSql(m_db, rows + ";");
    for (const char* folder : {"c1/c3", "c2", "e4"}) {
        std::filesystem::create_directories(m_home + "/" + folder);
    }
    for (int i = 0; i < 40; ++i) {
        std::filesystem::create_directories(m_home + "/w6/k" + std::to_string(10 + i));
    }
    PutFile(m_home + "/c1/d5.txt", "light");

    const char* seedText = std::getenv("MARROWDEX_TREE_SEED");
    const char* stepsText = std::getenv("MARROWDEX_TREE_STEPS");
    const unsigned seed = seedText != nullptr ? static_cast<unsigned>(std::strtoul(seedText, nullptr, 10))
                                              : static_cast<unsigned>(std::random_device{}());
    const int steps = stepsText != nullptr ? std::atoi(stepsText) : 2000;
    SCOPED_TRACE("seed " + std::to_string(seed) + " (MARROWDEX_TREE_SEED=" + std::to_string(seed) + " to run it again)");
    std::mt19937 random(seed);

    auto window = OpenWindow();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    CTreeCtrlEx& tree = *TreeOf(*window);
    CatalogModel& catalog = window->Catalog();
    const std::string home = window->HomeDirectory();
    auto* field = Child<QLineEdit>(window.get(), "searchEdit");
    auto* count = Child<QLabel>(window.get(), "matchCount");

    // What the test expects to be open and, during a search, shown.
    std::set<const CatalogNode*> open;
    std::set<const CatalogNode*> shown;
    std::set<const CatalogNode*> openBefore;
    const CatalogNode* selectedBefore = nullptr;
    bool searching = false;
    int nextName = 100;

    const auto nodes = [&] {
        std::vector<CatalogNode*> all;
        ForEachDescendant(*catalog.RootNode(), [&](const CatalogNode& node) { all.push_back(const_cast<CatalogNode*>(&node)); });
        return all;
    };
    const auto visible = [&](const CatalogNode* node) { return window->ItemOf(node).isValid(); };
    const auto shownChildren = [&](const CatalogNode& node) {
        for (const CatalogNode* child = node.FirstChild(); child != nullptr; child = child->NextSibling()) {
            if (!searching || shown.count(child) != 0) {
                return true;
            }
        }
        return false;
    };
    const auto reveal = [&](const CatalogNode* node) {
        for (const CatalogNode* at = node; at != catalog.RootNode(); at = at->Parent()) {
            shown.insert(at);
            if (at != node) {
                open.insert(at);
            }
        }
    };
    const auto forget = [&](const CatalogNode& gone) {
        std::vector<const CatalogNode*> below{&gone};
        ForEachDescendant(gone, [&](const CatalogNode& node) { below.push_back(&node); });
        for (const CatalogNode* node : below) {
            open.erase(node);
            shown.erase(node);
            openBefore.erase(node);
            if (selectedBefore == node) {
                selectedBefore = nullptr;
            }
        }
    };
    const auto expected = [&] {
        std::vector<Row> rowsNow;
        std::vector<std::pair<const CatalogNode*, int>> stack;
        const auto pushChildren = [&](const CatalogNode& parent, int level) {
            std::vector<const CatalogNode*> children;
            for (const CatalogNode* child = parent.FirstChild(); child != nullptr; child = child->NextSibling()) {
                if (!searching || shown.count(child) != 0) {
                    children.push_back(child);
                }
            }
            for (auto it = children.rbegin(); it != children.rend(); ++it) {
                stack.emplace_back(*it, level);
            }
        };
        if (catalog.RootNode() != nullptr) {
            pushChildren(*catalog.RootNode(), 0);
        }
        while (!stack.empty()) {
            const auto [node, level] = stack.back();
            stack.pop_back();
            rowsNow.push_back({NameOf(*node), level});
            if (open.count(node) != 0) {
                pushChildren(*node, level + 1);
            }
        }
        return rowsNow;
    };
    const auto pickShown = [&]() -> CatalogNode* {
        std::vector<CatalogNode*> candidates;
        for (CatalogNode* node : nodes()) {
            if (visible(node)) {
                candidates.push_back(node);
            }
        }
        return candidates.empty() ? nullptr : candidates[random() % candidates.size()];
    };
    const auto pickCatalog = [&]() -> CatalogNode* {
        std::vector<CatalogNode*> candidates;
        for (CatalogNode* node : nodes()) {
            if (node->IsCatalog()) {
                candidates.push_back(node);
            }
        }
        return candidates.empty() || random() % 6 == 0 ? nullptr : candidates[random() % candidates.size()];
    };
    const auto keyOn = [&](CatalogNode* node, Qt::Key key) {
        tree.setFocus();
        window->SelectItem(window->ItemOf(node));
        QTest::keyClick(&tree, key);
    };
    const auto search = [&](const QString& text) {
        if (field->text() == text) {
            return false; // the field would not change
        }
        if (!searching) {
            openBefore = open;
            selectedBefore = window->ItemNode(window->GetSelectedItem());
        }
        count->clear();
        field->setText(text);
        EXPECT_TRUE(WaitUntil([&] { return !count->text().isEmpty(); })) << "the search never ended";
        searching = true;
        shown.clear();
        open.clear();
        const std::string folded = FoldCase(text.toStdString());
        for (const CatalogNode* node : nodes()) {
            if (FoldCase(node->Details().fileName).find(folded) != std::string::npos ||
                FoldCase(node->Details().comment).find(folded) != std::string::npos) {
                reveal(node);
            }
        }
        return true;
    };

    int checked = 0;
    std::size_t largest = 0;
    // Steps that do nothing (nothing to open, a refused move) are not counted.
    for (int step = 0; checked < steps && step < 4 * steps; ++step) {
        std::string what;
        CatalogNode* node = pickShown();
        switch (random() % 14) {
        case 0:
        case 1: { // Add Sub Catalog under the selected catalog (nothing selected: the top level)
            CatalogNode* parent = node != nullptr && node->IsCatalog() && random() % 5 != 0 ? node : nullptr;
            CatalogNode* added = nullptr;
            const std::string name = "n" + std::to_string(nextName++);
            if (AddCatalogOperation(catalog, home, {parent, name, ""}, &added).done) {
                window->ExpandItem(window->ItemOf(parent)); // as the command does
                if (parent != nullptr && (!searching || shown.count(parent) != 0)) {
                    open.insert(parent);
                }
                if (searching) {
                    reveal(added);
                }
                what = "add " + name;
            }
            break;
        }
        case 2: { // Add Neighbour Catalog beside the selected node
            CatalogNode* parent = node != nullptr ? node->Parent() : nullptr;
            CatalogNode* added = nullptr;
            const std::string name = "b" + std::to_string(nextName++);
            if (node != nullptr && AddCatalogOperation(catalog, home, {parent, name, ""}, &added).done) {
                window->ExpandItem(window->ItemOf(node));
                if (shownChildren(*node)) {
                    open.insert(node);
                }
                if (searching) {
                    reveal(added);
                }
                what = "add neighbour " + name;
            }
            break;
        }
        case 3: // Update: a new name
            if (node != nullptr && node->IsCatalog()) {
                const std::string name = "r" + std::to_string(nextName++);
                if (EditNodeOperation(catalog, home, *node, name, "renamed").done) {
                    what = "rename to " + name;
                }
            }
            break;
        case 4: // Delete with everything below
            if (node != nullptr && random() % 2 == 0) {
                what = "delete " + node->Details().fileName;
                forget(*node);
                if (!DeleteNodeOperation(catalog, home, *node, false).done) {
                    what.clear();
                }
            }
            break;
        case 5: { // Move to another catalog or the top level
            CatalogNode* target = pickCatalog();
            if (node != nullptr && MoveNodeOperation(catalog, home, *node, target).done) {
                what = "move " + node->Details().fileName + " into " +
                       (target != nullptr ? target->Details().fileName : std::string("the top level"));
                if (searching) {
                    reveal(node);
                }
            }
            break;
        }
        case 6: { // Drag onto a shown catalog
            CatalogNode* target = pickShown();
            bool inside = false; // a catalog cannot go into itself or below itself
            for (const CatalogNode* at = target; at != nullptr && !inside; at = at->Parent()) {
                inside = at == node;
            }
            if (node != nullptr && target != nullptr && !inside && target->IsCatalog() && node->Parent() != target) {
                tree.scrollTo(window->ItemOf(target));
                std::unique_ptr<QMimeData> data(tree.DragData(window->ItemOf(node)));
                const std::string moving = node->Details().fileName;
                const NodeId id = node->FileId();
                DropOnWindow(window.get(), *data,
                             tree.viewport()->mapTo(window.get(), OnItem(tree, window->ItemOf(target))), Qt::MoveAction);
                QApplication::processEvents();
                QApplication::processEvents();
                const CatalogNode* moved = catalog.NodeById(id);
                if (moved != nullptr && moved->Parent() == target) {
                    what = "drop " + moving + " onto " + target->Details().fileName;
                    // The moved node is shown where it went, and selected.
                    reveal(moved);
                    if (!searching) {
                        shown.clear();
                    }
                    EXPECT_EQ(window->ItemNode(window->GetSelectedItem()), moved) << what;
                }
            }
            break;
        }
        case 7: // "+" or Right: open
            if (node != nullptr) {
                keyOn(node, random() % 2 == 0 ? Qt::Key_Plus : Qt::Key_Right);
                if (shownChildren(*node)) {
                    open.insert(node);
                }
                what = "open " + node->Details().fileName;
            }
            break;
        case 8: // "-": close
            if (node != nullptr) {
                keyOn(node, Qt::Key_Minus);
                open.erase(node);
                what = "close " + node->Details().fileName;
            }
            break;
        case 9: // "*": open everything below
            if (node != nullptr && shownChildren(*node)) {
                keyOn(node, Qt::Key_Asterisk);
                std::vector<const CatalogNode*> below{node};
                ForEachDescendant(*node, [&](const CatalogNode& n) { below.push_back(&n); });
                for (const CatalogNode* n : below) {
                    if ((!searching || shown.count(n) != 0) && shownChildren(*n)) {
                        open.insert(n);
                    }
                }
                what = "open all below " + node->Details().fileName;
            }
            break;
        case 10:
        case 11: { // Search for a few letters of some node's name, or a comment's word
            static const char* kTexts[] = {"1", "2", "c", "k1", "n1", "r", "light", "b", "k3", "zz"};
            const QString text = QString::fromLatin1(kTexts[random() % std::size(kTexts)]);
            if (search(text)) {
                what = "search " + text.toStdString();
            }
            break;
        }
        case 12: // Escape in the search field: the tree as it was, the selection shown
            if (searching) {
                const CatalogNode* selected = window->ItemNode(window->GetSelectedItem());
                if (selected == nullptr) {
                    selected = selectedBefore;
                }
                field->setFocus();
                QTest::keyClick(field, Qt::Key_Escape);
                searching = false;
                shown.clear();
                open.clear();
                for (const CatalogNode* before : openBefore) {
                    if (before->FirstChild() != nullptr) {
                        open.insert(before);
                    }
                }
                if (selected != nullptr) {
                    for (const CatalogNode* at = selected->Parent(); at != catalog.RootNode(); at = at->Parent()) {
                        open.insert(at);
                    }
                }
                what = "end the search";
            }
            break;
        case 13: // Left on an open catalog closes it
            if (node != nullptr && open.count(node) != 0 && shownChildren(*node)) {
                keyOn(node, Qt::Key_Left);
                open.erase(node);
                what = "close with Left " + node->Details().fileName;
            }
            break;
        }
        if (what.empty()) {
            continue;
        }
        QApplication::processEvents();
        ++checked;
        const std::vector<Row> want = expected();
        largest = std::max(largest, want.size());
        ASSERT_EQ(Drawn(tree), want) << "after step " << step << ": " << what;
        ASSERT_EQ(Heard(tree), want) << "as heard, after step " << step << ": " << what;
    }
    EXPECT_EQ(checked, steps);
    EXPECT_GT(largest, 40u);
    std::printf("seed %u: %d steps checked, up to %zu rows\n", seed, checked, largest);
}

} // namespace
} // namespace mwdx::test
