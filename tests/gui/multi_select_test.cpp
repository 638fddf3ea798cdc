// Several nodes at once in the main window: selected with the mouse and the keys as a user does,
// seen in the rows the view draws, in the status line and by a screen reader; deleted, moved and
// dragged together with one question, and the refused listed before anything happens.

#include "app/tree_ctrl_ex.h"
#include "commands/move_dlg.h"
#include "gui_fixture.h"

#include <QAccessible>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTreeView>
#include <filesystem>
#include <fstream>
#include <memory>

namespace fs = std::filesystem;

namespace mwdx::test {
namespace {

class MultiSelect : public GuiTest {
protected:
    // Physics (Optics with lens.pdf, and notes.txt), Maths (its own notes.txt and an Optics
    // catalog), Travel, each with a comment about itself.
    void SetUp() override {
        MakeDatabase(true);
        RunSql(m_db, "insert into FILE_NODE(FILE_ID,FILE_NAME,PARENT_ID,COMMENT,FILETYPE,RAW_FILE_NAME,PATH_LEVEL) "
                     "values(1,'Physics',0,'about Physics',0,'',1),(2,'Optics',1,'about Optics',0,'',2),"
                     "(3,'Lens',2,'about Lens',1,'lens.pdf',3),(4,'Notes',1,'about Notes',1,'notes.txt',2),"
                     "(5,'Maths',0,'about Maths',0,'',1),(6,'Notes',5,'',1,'notes.txt',2),"
                     "(7,'Optics',5,'',0,'',2),(8,'Travel',0,'about Travel',0,'',1);");
        for (const char* folder : {"Physics/Optics", "Maths/Optics", "Travel"}) {
            fs::create_directories(m_home + "/" + folder);
        }
        std::ofstream(m_home + "/Physics/Optics/lens.pdf") << "lens";
        std::ofstream(m_home + "/Physics/notes.txt") << "physics notes";
        std::ofstream(m_home + "/Maths/notes.txt") << "maths notes";
    }

    std::string Rows() {
        return QueryText(m_db, "select group_concat(FILE_ID||','||PARENT_ID||','||PATH_LEVEL,';') from FILE_NODE;");
    }
    std::string Parent(int id) {
        return QueryText(m_db, "select PARENT_ID||'/'||PATH_LEVEL from FILE_NODE where FILE_ID=" + std::to_string(id));
    }
    QModelIndex ItemOfId(CMarrowdexDlg& window, NodeId id) { return window.ShowItem(window.Catalog().NodeById(id)); }
    QPoint OnLabel(CMarrowdexDlg& window, const QModelIndex& item) {
        const QRect row = TreeOf(window)->ItemRect(item);
        return {row.left() + 24, row.center().y()};
    }
    // A click on the row's label, with `modifiers`, through the window as the user makes it.
    void Click(CMarrowdexDlg& window, NodeId id, Qt::KeyboardModifiers modifiers = {}) {
        CTreeCtrlEx* tree = TreeOf(window);
        const QPoint at = tree->viewport()->mapTo(&window, OnLabel(window, ItemOfId(window, id)));
        QTest::mouseClick(window.windowHandle(), Qt::LeftButton, modifiers, at);
        QApplication::processEvents();
    }
    void Key(CMarrowdexDlg& window, int key, Qt::KeyboardModifiers modifiers = {}) {
        QTest::keyClick(TreeOf(window), static_cast<Qt::Key>(key), modifiers);
        QApplication::processEvents();
    }
    // The names the view draws in the selection's colour, top to bottom.
    QStringList DrawnSelected(CMarrowdexDlg& window) {
        CTreeCtrlEx* tree = TreeOf(window);
        const QColor highlighted = tree->palette().color(QPalette::Active, QPalette::HighlightedText);
        const QColor plain = tree->palette().color(QPalette::Active, QPalette::Text);
        EXPECT_NE(highlighted, plain) << "the style draws selected rows like the others";
        QStringList names;
        for (const DrawnText& text : DrawnTexts(tree->viewport())) {
            if (text.color == highlighted) {
                names << text.text;
            }
        }
        return names;
    }
    // The names of the top-level items a screen reader hears as selected, and of their children.
    QStringList HeardSelected(CMarrowdexDlg& window) {
        QAccessibleInterface* tree = QAccessible::queryAccessibleInterface(TreeOf(window));
        QStringList names;
        std::vector<QAccessibleInterface*> items;
        for (int i = 0; tree != nullptr && i < tree->childCount(); ++i) {
            items.push_back(tree->child(i));
            for (int j = 0; j < tree->child(i)->childCount(); ++j) {
                items.push_back(tree->child(i)->child(j));
            }
        }
        for (QAccessibleInterface* item : items) {
            if (item->state().selected) {
                names << item->text(QAccessible::Name);
            }
        }
        return names;
    }
    QString Status(CMarrowdexDlg& window) {
        auto* status = Child<QLabel>(&window, "selectionStatus");
        return status->isVisible() ? status->text() : QString();
    }
};

TEST_F(MultiSelect, CtrlShiftAndCtrlASelectSeveralAndAPlainClickOne) {
    const ScopedLocale locale("en_US.UTF-8");
    auto window = OpenWindow();
    window->ExpandItem(ItemOfId(*window, 1));
    TreeOf(*window)->setFocus();
    // Rows: Physics, Optics, Notes, Maths, Travel.

    Click(*window, 1);
    EXPECT_EQ(DrawnSelected(*window), QStringList{"Physics"});
    EXPECT_EQ(Status(*window), QString());
    EXPECT_EQ(PaneText(*window), QStringLiteral("about Physics"));

    Click(*window, 8, Qt::ControlModifier);
    EXPECT_EQ(DrawnSelected(*window), (QStringList{"Physics", "Travel"}));
    EXPECT_EQ(HeardSelected(*window), (QStringList{"Physics", "Travel"}));
    EXPECT_EQ(Status(*window), QStringLiteral("2 nodes selected"));
    EXPECT_EQ(PaneText(*window), QStringLiteral("about Travel")) << "the pane follows the current node";
    QAccessibleInterface* tree = QAccessible::queryAccessibleInterface(TreeOf(*window));
    ASSERT_NE(tree, nullptr);
    EXPECT_TRUE(tree->state().multiSelectable);

    // Ctrl+click on a selected row takes it out again.
    Click(*window, 1, Qt::ControlModifier);
    EXPECT_EQ(DrawnSelected(*window), QStringList{"Travel"});
    EXPECT_EQ(Status(*window), QString());

    // Shift+Up from Travel: Maths joins; Shift+click on Optics: everything from Optics to Travel.
    Click(*window, 8);
    Key(*window, Qt::Key_Up, Qt::ShiftModifier);
    EXPECT_EQ(DrawnSelected(*window), (QStringList{"Maths", "Travel"}));
    EXPECT_EQ(PaneText(*window), QStringLiteral("about Maths"));
    Click(*window, 2, Qt::ShiftModifier);
    EXPECT_EQ(DrawnSelected(*window), (QStringList{"Optics", "Notes", "Maths", "Travel"}));
    EXPECT_EQ(HeardSelected(*window), (QStringList{"Optics", "Notes", "Maths", "Travel"}));
    EXPECT_EQ(Status(*window), QStringLiteral("4 nodes selected"));

    Key(*window, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(DrawnSelected(*window), (QStringList{"Physics", "Optics", "Notes", "Maths", "Travel"}));
    EXPECT_EQ(Status(*window), QStringLiteral("5 nodes selected"));

    // A plain arrow selects one again, and so does typing a name.
    Key(*window, Qt::Key_Down);
    EXPECT_EQ(DrawnSelected(*window).size(), 1);
    EXPECT_EQ(Status(*window), QString());
    Click(*window, 2, Qt::ControlModifier);
    QTest::keyClicks(TreeOf(*window), QStringLiteral("Tr"));
    QApplication::processEvents();
    EXPECT_EQ(DrawnSelected(*window), QStringList{"Travel"});
    EXPECT_EQ(Status(*window), QString());

    // A search keeps working with several selected, and leaves them when it ends.
    Click(*window, 1);
    Click(*window, 5, Qt::ControlModifier);
    auto* search = Child<QLineEdit>(window.get(), "searchEdit");
    TypeInto(search, QStringLiteral("Lens"));
    EXPECT_TRUE(WaitUntil([&] { return ViewLines(*TreeOf(*window)).contains(QStringLiteral("    Lens")); }));
}

TEST_F(MultiSelect, TheStatusLineCountsInChinese) {
    const ScopedLocale locale("zh_CN.UTF-8");
    auto window = OpenWindow();
    TreeOf(*window)->setFocus();
    Click(*window, 1);
    Click(*window, 5, Qt::ControlModifier);
    Click(*window, 8, Qt::ControlModifier);
    EXPECT_EQ(Status(*window), QStringLiteral("已选择 3 个节点"));
}

// Delete with several selected asks once, No the default; Yes sends each with its files to the
// trash, a node below a selected catalog with it.
TEST_F(MultiSelect, DeletingSeveralAsksOnceAndSendsThemToTheTrash) {
    const ScopedLocale locale("en_US.UTF-8");
    ChangeStoreBehindWindow("update SYS_CONFIG set DELDOC_AFTERDELNODE=1;");
    auto window = OpenWindow();
    window->ExpandItem(ItemOfId(*window, 1));
    window->ExpandItem(ItemOfId(*window, 2));
    TreeOf(*window)->setFocus();
    Click(*window, 2);
    Click(*window, 3, Qt::ControlModifier);
    Click(*window, 8, Qt::ControlModifier);
    const std::string before = Rows();

    // The Delete key first, answered No; then Delete from the menu of a right click on one of the
    // selected items, which keeps all three selected, answered Yes.
    for (const QMessageBox::StandardButton answer : {QMessageBox::No, QMessageBox::Yes}) {
        ModalScript script;
        if (answer == QMessageBox::Yes) {
            script.Then<QMenu>(
                [](QMenu* menu) {
                    for (QAction* action : menu->actions()) {
                        if (action->text() == QStringLiteral("Delete ")) { // the menu's own text, with its blank
                            menu->setActiveAction(action);
                        }
                    }
                    QTest::keyClick(menu, Qt::Key_Return);
                },
                "the tree's menu");
        }
        script.Then<QMessageBox>([answer](QMessageBox* box) {
            EXPECT_EQ(box->text(), QStringLiteral("Delete 3 nodes and their files? They go to the trash."));
            EXPECT_EQ(box->defaultButton(), box->button(QMessageBox::No));
            box->button(answer)->click();
        });
        if (answer == QMessageBox::No) {
            QApplication::setActiveWindow(window.get());
            TreeOf(*window)->setFocus();
            Key(*window, Qt::Key_Delete);
        } else {
            CTreeCtrlEx* tree = TreeOf(*window);
            QTest::mouseClick(window->windowHandle(), Qt::RightButton, {},
                              tree->viewport()->mapTo(window.get(), OnLabel(*window, ItemOfId(*window, 3))));
        }
        EXPECT_TRUE(WaitUntil([&] { return script.Finished() && TopModal() == nullptr; }));
        if (answer == QMessageBox::No) {
            EXPECT_EQ(Rows(), before);
            EXPECT_EQ(DrawnSelected(*window), (QStringList{"Optics", "Lens", "Travel"}));
        }
    }
    EXPECT_EQ(ViewLines(*TreeOf(*window)), (QStringList{"Physics", "  Notes", "Maths"}));
    EXPECT_EQ(Rows(), "1,0,1;4,1,2;5,0,1;6,5,2;7,5,2");
    EXPECT_EQ(QueryText(m_db, "select count(*) from MWDX_TRASH;"), "2");
    EXPECT_FALSE(fs::exists(m_home + "/Physics/Optics"));
    EXPECT_FALSE(fs::exists(m_home + "/Travel"));
    const auto files = FilesBelow(m_home + "/.marrowdex-trash");
    EXPECT_EQ(files.size(), 1U);
    EXPECT_EQ(files.begin()->second, "lens");

    // One undo brings all three back, with their files, and empties the trash.
    window->OnCommand(kCmdUndo);
    EXPECT_EQ(Rows(), before);
    EXPECT_TRUE(fs::exists(m_home + "/Physics/Optics/lens.pdf"));
    EXPECT_TRUE(fs::is_directory(m_home + "/Travel"));
    EXPECT_EQ(QueryText(m_db, "select count(*) from MWDX_TRASH;"), "0");
}

// Several nodes dragged or moved onto a catalog where some cannot go: each refused node listed with
// its reason and the question whether the others go, No the default; Yes moves them, shown
// selected where they went. When none can go, the place does not take the drag, and the "Move to"
// window's choice gives the list alone.
TEST_F(MultiSelect, RefusedNodesAreListedAndTheOthersMoveOnlyWhenTheUserAgrees) {
    const ScopedLocale locale("en_US.UTF-8");
    auto window = OpenWindow();
    CTreeCtrlEx* tree = TreeOf(*window);
    window->ExpandItem(ItemOfId(*window, 1));
    tree->setFocus();
    Click(*window, 2);
    Click(*window, 4, Qt::ControlModifier);
    Click(*window, 8, Qt::ControlModifier);
    const std::unique_ptr<QMimeData> data(tree->DragData(tree->SelectedRows()));
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(data->data(QLatin1String(kNodeMimeType)), QByteArray("2,4,8"));
    const std::string before = Rows();
    const QString listed = QStringLiteral("These nodes cannot go:\n"
                                          "Optics: A catalog with this name already exists here\n"
                                          "Notes: A file with this name is already in the catalog's directory\n\n"
                                          "Go ahead with the other 1?");

    for (const QMessageBox::StandardButton answer : {QMessageBox::No, QMessageBox::Yes}) {
        ModalScript script;
        script.Then<QMessageBox>([&](QMessageBox* box) {
            EXPECT_EQ(box->text(), listed);
            EXPECT_EQ(box->defaultButton(), box->button(QMessageBox::No));
            box->button(answer)->click();
        });
        const QPoint maths = tree->viewport()->mapTo(window.get(), OnLabel(*window, ItemOfId(*window, 5)));
        EXPECT_TRUE(DropOnWindow(window.get(), *data, maths, Qt::MoveAction));
        EXPECT_TRUE(WaitUntil([&] { return script.Finished() && TopModal() == nullptr; }));
        QApplication::processEvents();
        if (answer == QMessageBox::No) {
            EXPECT_EQ(Rows(), before);
        }
    }
    EXPECT_EQ(Parent(8), "5/2");
    EXPECT_EQ(Parent(2), "1/2");
    EXPECT_TRUE(fs::is_directory(m_home + "/Maths/Travel"));
    EXPECT_EQ(ViewLines(*tree),
              (QStringList{"Physics", "  Optics", "  Notes", "Maths", "  Notes", "  Optics", "  Travel"}));
    EXPECT_EQ(DrawnSelected(*window), QStringList{"Travel"});

    // Optics and Notes onto Maths again: neither can go, so Maths does not take them.
    Click(*window, 2);
    Click(*window, 4, Qt::ControlModifier);
    const std::unique_ptr<QMimeData> refused(tree->DragData(tree->SelectedRows()));
    const QPoint maths = tree->viewport()->mapTo(window.get(), OnLabel(*window, ItemOfId(*window, 5)));
    EXPECT_FALSE(DragOverWindow(window.get(), refused.get(), maths));
    DragOverWindow(window.get(), nullptr, maths);
    // Chosen in the "Move to" window: the list alone, and nothing moves.
    ModalScript script;
    script
        .Then<CMoveDlg>(
            [&](CMoveDlg* dialog) {
                auto* chooser = Child<QTreeView>(dialog, "catalogChooser");
                const QModelIndex top = chooser->model()->index(0, 0);
                chooser->setCurrentIndex(chooser->model()->index(1, 0, top));
                EXPECT_EQ(chooser->currentIndex().data().toString(), QStringLiteral("Maths"));
                Child<QPushButton>(dialog, "okButton")->click();
            },
            "the move window")
        .ThenMessage(QStringLiteral("None of the selected nodes can go:\n"
                                    "Optics: A catalog with this name already exists here\n"
                                    "Notes: A file with this name is already in the catalog's directory"));
    const std::string still = Rows();
    window->OnCommand(kCmdMoveNodeTo);
    EXPECT_TRUE(WaitUntil([&] { return script.Finished() && TopModal() == nullptr; }));
    EXPECT_EQ(Rows(), still);
}

// The "Move to" window moves every selected node where it may go, with their files, in one command:
// they are shown selected where they went, and the next start finds them there.
TEST_F(MultiSelect, MoveToTakesEverySelectedNodeWithItsFiles) {
    const ScopedLocale locale("en_US.UTF-8");
    auto window = OpenWindow();
    window->ExpandItem(ItemOfId(*window, 1));
    window->ExpandItem(ItemOfId(*window, 2));
    TreeOf(*window)->setFocus();
    Click(*window, 3);
    Click(*window, 4, Qt::ControlModifier);
    ModalScript script;
    script.Then<CMoveDlg>(
        [&](CMoveDlg* dialog) {
            auto* chooser = Child<QTreeView>(dialog, "catalogChooser");
            const QModelIndex top = chooser->model()->index(0, 0);
            chooser->setCurrentIndex(chooser->model()->index(2, 0, top));
            EXPECT_EQ(chooser->currentIndex().data().toString(), QStringLiteral("Travel"));
            Child<QPushButton>(dialog, "okButton")->click();
        },
        "the move window");
    window->OnCommand(kCmdMoveNodeTo);
    EXPECT_TRUE(WaitUntil([&] { return script.Finished() && TopModal() == nullptr; }));
    EXPECT_EQ(Parent(3), "8/2");
    EXPECT_EQ(Parent(4), "8/2");
    EXPECT_TRUE(fs::exists(m_home + "/Travel/lens.pdf"));
    EXPECT_TRUE(fs::exists(m_home + "/Travel/notes.txt"));
    EXPECT_EQ(DrawnSelected(*window), (QStringList{"Lens", "Notes"}));
    EXPECT_EQ(Status(*window), QStringLiteral("2 nodes selected"));

    // The whole move is one step: one undo puts both back with their files, one redo moves both.
    window->OnCommand(kCmdUndo);
    EXPECT_EQ(Parent(3), "2/3");
    EXPECT_EQ(Parent(4), "1/2");
    EXPECT_TRUE(fs::exists(m_home + "/Physics/Optics/lens.pdf"));
    EXPECT_TRUE(fs::exists(m_home + "/Physics/notes.txt"));
    window->OnCommand(kCmdRedo);
    EXPECT_EQ(Parent(3), "8/2");
    EXPECT_EQ(Parent(4), "8/2");
    window.reset();
    auto again = OpenWindow();
    EXPECT_EQ(TreeText(*again), "Physics(Optics),Maths(Notes,Optics),Travel(Lens,Notes)");
}

} // namespace
} // namespace mwdx::test
