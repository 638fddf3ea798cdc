// Moving catalogs and documents in the main window: dragged with the mouse (real presses, moves
// and releases through the window, which Qt's own drag loop takes in) or chosen in the "Move to"
// window; the refusals, and a move the disk refuses, leave everything as it was.

#include "app/catalog_tree_model.h"
#include "app/tree_ctrl_ex.h"
#include "commands/move_dlg.h"
#include "gui_fixture.h"
#include "support/process.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <filesystem>
#include <fstream>
#include <memory>

namespace fs = std::filesystem;

namespace mwdx::test {
namespace {

class MoveCommands : public GuiTest {
protected:
    // Physics (Optics with lens.pdf, and notes.txt), Maths (holding its own notes.txt and an
    // Optics catalog), Travel.
    void SetUp() override {
        MakeDatabase(true);
        RunSql(m_db, "insert into FILE_NODE(FILE_ID,FILE_NAME,PARENT_ID,COMMENT,FILETYPE,RAW_FILE_NAME,PATH_LEVEL) "
                     "values(1,'Physics',0,'',0,'',1),(2,'Optics',1,'',0,'',2),(3,'Lens',2,'',1,'lens.pdf',3),"
                     "(4,'Notes',1,'',1,'notes.txt',2),(5,'Maths',0,'',0,'',1),(6,'Notes',5,'',1,'notes.txt',2),"
                     "(7,'Optics',5,'',0,'',2),(8,'Travel',0,'',0,'',1);");
        for (const char* folder : {"Physics/Optics", "Maths/Optics", "Travel"}) {
            fs::create_directories(m_home + "/" + folder);
        }
        std::ofstream(m_home + "/Physics/Optics/lens.pdf") << "lens";
        std::ofstream(m_home + "/Physics/notes.txt") << "physics notes";
        std::ofstream(m_home + "/Maths/notes.txt") << "maths notes";
    }

    std::string Parent(int id) {
        return QueryText(m_db, "select PARENT_ID||'/'||PATH_LEVEL from FILE_NODE where FILE_ID=" + std::to_string(id));
    }

    // Everything the store holds, to compare before and after a refusal.
    std::string Rows() {
        return QueryText(m_db, "select group_concat(FILE_ID||','||PARENT_ID||','||PATH_LEVEL,';') from FILE_NODE;");
    }

    std::vector<std::string> Files() {
        std::vector<std::string> files;
        for (const auto& entry : fs::recursive_directory_iterator(m_home)) {
            files.push_back(fs::relative(entry.path(), m_home).string());
        }
        std::sort(files.begin(), files.end());
        return files;
    }
};

QPoint OnLabel(CMarrowdexDlg& window, const QModelIndex& item) {
    const QRect row = TreeOf(window)->ItemRect(item);
    return {row.left() + 24, row.center().y()};
}

// The item of a node, shown (the catalogs above it opened), as a user finds it to drag it.
QModelIndex ItemOfId(CMarrowdexDlg& window, NodeId id) {
    return window.ShowItem(window.Catalog().NodeById(id));
}

// Drags `item` with the left button to `to` (the tree's viewport) and lets go there. The press and
// the moves that start the drag reach the view as real mouse events; the offscreen platform has
// no drag loop of its own (its drag ends at once), so the drag's moves and its drop then reach
// the window as a platform's drag loop hands them on, with what the view put in its drag.
// `taken`: whether the place takes the drop (elsewhere the drag shows the refusal cursor and
// letting go does nothing).
void Drag(CMarrowdexDlg& window, const QModelIndex& item, const QPoint& to, ModalScript* script = nullptr,
          bool taken = true) {
    CTreeCtrlEx* tree = TreeOf(window);
    QWindow* handle = window.windowHandle();
    const auto at = [&](const QPoint& point) { return tree->viewport()->mapTo(&window, point); };
    const QPoint from = OnLabel(window, item);
    QTest::mousePress(handle, Qt::LeftButton, {}, at(from));
    QTest::mouseMove(handle, at(from + QPoint(2, 0)));
    QTest::mouseMove(handle, at(from + QPoint(QApplication::startDragDistance() + 4, 0)));
    QTest::mouseRelease(handle, Qt::LeftButton, {}, at(to));
    // What the view puts in its drag (the drag itself is over at once here).
    const std::unique_ptr<QMimeData> data(tree->DragData(item));
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(data->data(QLatin1String(kNodeMimeType)).toLongLong(), window.ItemNode(item)->FileId());
    EXPECT_EQ(DropOnWindow(&window, *data, at(to), Qt::MoveAction), taken);
    // The command runs once the drag is over.
    EXPECT_TRUE(WaitUntil([&] { return script == nullptr || script->Finished(); }));
    QApplication::processEvents();
}

TEST_F(MoveCommands, DraggingMovesOntoCatalogsDocumentsAndTheTopLevel) {
    const ScopedLocale locale("en_US.UTF-8");
    auto window = OpenWindow();
    CTreeCtrlEx* tree = TreeOf(*window);
    window->ExpandItem(ItemOfId(*window, 1));
    window->ExpandItem(ItemOfId(*window, 2));

    // Lens onto Travel: the file goes along, and the view shows it under Travel, selected.
    Drag(*window, ItemOfId(*window, 3), OnLabel(*window, ItemOfId(*window, 8)));
    EXPECT_EQ(Parent(3), "8/2");
    EXPECT_TRUE(fs::exists(m_home + "/Travel/lens.pdf"));
    EXPECT_FALSE(fs::exists(m_home + "/Physics/Optics/lens.pdf"));
    EXPECT_EQ(window->ItemNode(window->GetSelectedItem())->FileId(), 3);
    EXPECT_EQ(window->GetParentItem(window->GetSelectedItem()), ItemOfId(*window, 8));
    EXPECT_TRUE(tree->isExpanded(ItemOfId(*window, 8)));

    // Optics (now empty) onto the Physics document Notes: into Notes' catalog... which is where
    // it is, so that place does not take it; onto the empty space below the rows: the top level.
    const std::string before = Rows();
    Drag(*window, ItemOfId(*window, 2), OnLabel(*window, ItemOfId(*window, 4)), nullptr, false);
    EXPECT_EQ(Rows(), before);
    const QPoint below(30, tree->visualRect(tree->model()->index(tree->model()->rowCount() - 1, 0)).bottom() + 60);
    ASSERT_FALSE(tree->indexAt(below).isValid());
    Drag(*window, ItemOfId(*window, 2), below);
    EXPECT_EQ(Parent(2), "0/1");
    EXPECT_TRUE(fs::is_directory(m_home + "/Optics"));
    EXPECT_FALSE(fs::exists(m_home + "/Physics/Optics"));

    // Travel (holding lens.pdf) onto the document Notes of Maths: under Maths, its rows a level
    // deeper, its file along with it.
    Drag(*window, ItemOfId(*window, 8), OnLabel(*window, ItemOfId(*window, 4)));
    EXPECT_EQ(Parent(8), "1/2");
    EXPECT_EQ(Parent(3), "8/3");
    EXPECT_TRUE(fs::exists(m_home + "/Physics/Travel/lens.pdf"));

    // Let go where it was picked up: nothing at all.
    const std::string still = Rows();
    Drag(*window, ItemOfId(*window, 5), OnLabel(*window, ItemOfId(*window, 5)) + QPoint(2, 0), nullptr, false);
    EXPECT_EQ(Rows(), still);

    // After a restart the nodes are where they were put.
    window.reset();
    window = OpenWindow();
    const QPersistentModelIndex physics = FindTopItem(*window, "Physics");
    ASSERT_TRUE(physics.isValid());
    const QPersistentModelIndex travel = ChildItem(*window, physics, QStringLiteral("Travel"));
    ASSERT_TRUE(travel.isValid());
    EXPECT_EQ(ChildNames(*window, travel), QStringList{QStringLiteral("Lens")});
}

// How many pixels of the frame a drag draws around an item's icon and name the view shows
// around `item`: along the top of its place, in the highlight colour.
int FramePixels(CMarrowdexDlg& window, const QModelIndex& item) {
    CTreeCtrlEx* tree = TreeOf(window);
    const QImage shown = tree->viewport()->grab().toImage();
    const QRect place = tree->ItemRect(item);
    const QColor frame = tree->palette().color(QPalette::Highlight);
    const qreal scale = shown.devicePixelRatio();
    int pixels = 0;
    for (int x = place.left() + 4; x < place.right() - 4; ++x) {
        for (int y = place.top(); y <= place.top() + 2; ++y) {
            if (shown.pixelColor(QPoint(x, y) * scale) == frame) {
                ++pixels;
            }
        }
    }
    return pixels;
}

TEST_F(MoveCommands, ADragFramesOnlyThePlacesThatTakeTheNode) {
    const ScopedLocale locale("en_US.UTF-8");
    auto window = OpenWindow();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    CTreeCtrlEx* tree = TreeOf(*window);
    window->ExpandItem(ItemOfId(*window, 1));
    window->ExpandItem(ItemOfId(*window, 2));
    window->ExpandItem(ItemOfId(*window, 5));
    const auto at = [&](const QModelIndex& item) {
        return tree->viewport()->mapTo(window.get(), OnLabel(*window, item));
    };
    // What the user sees with the drag held over `target`: taken (the move cursor) or not (the
    // refusal cursor), and whether the place is framed.
    const auto over = [&](NodeId dragged, NodeId target) {
        const QModelIndex item = ItemOfId(*window, dragged);
        window->SelectItem(item);
        const std::unique_ptr<QMimeData> data(tree->DragData(item));
        const QModelIndex place = ItemOfId(*window, target);
        const bool taken = DragOverWindow(window.get(), data.get(), at(place));
        window->repaint();
        const bool framed = FramePixels(*window, place) > 10;
        DragOverWindow(window.get(), nullptr, {});
        return std::pair{taken, framed};
    };

    // Travel takes Physics' Optics: framed, as the picture in the help pages shows.
    EXPECT_EQ(over(2, 8), std::pair(true, true));
    // Physics into its own Optics, Physics' Optics into Maths (which has an Optics), Physics'
    // Notes onto Maths' notes.txt, Optics onto its own catalog's document: refused, not framed.
    EXPECT_EQ(over(1, 2), std::pair(false, false));
    EXPECT_EQ(over(2, 5), std::pair(false, false));
    EXPECT_EQ(over(4, 6), std::pair(false, false));
    EXPECT_EQ(over(2, 4), std::pair(false, false));
    // The same drag moving on from a refused place to one that takes it.
    const QModelIndex optics = ItemOfId(*window, 2);
    window->SelectItem(optics);
    const std::unique_ptr<QMimeData> data(tree->DragData(optics));
    EXPECT_FALSE(DragOverWindow(window.get(), data.get(), at(ItemOfId(*window, 5))));
    EXPECT_TRUE(DragOverWindow(window.get(), data.get(), at(ItemOfId(*window, 8))));
    window->repaint();
    EXPECT_GT(FramePixels(*window, ItemOfId(*window, 8)), 10);
    EXPECT_EQ(FramePixels(*window, ItemOfId(*window, 5)), 0);
    DragOverWindow(window.get(), nullptr, {});
}

TEST_F(MoveCommands, RefusalsAndAFailedDiskStepChangeNothing) {
    const ScopedLocale locale("en_US.UTF-8");
    auto window = OpenWindow();
    window->ExpandItem(ItemOfId(*window, 1));
    window->ExpandItem(ItemOfId(*window, 2));
    window->ExpandItem(ItemOfId(*window, 5));
    const std::string rows = Rows();
    const std::vector<std::string> files = Files();

    // Places that would refuse the node do not take the drop: Physics into its own Optics, Physics'
    // Optics into Maths, which has an Optics, Physics' Notes next to Maths' notes.txt.
    ModalScript script;
    Drag(*window, ItemOfId(*window, 1), OnLabel(*window, ItemOfId(*window, 2)), &script, false);
    Drag(*window, ItemOfId(*window, 2), OnLabel(*window, ItemOfId(*window, 5)), &script, false);
    Drag(*window, ItemOfId(*window, 4), OnLabel(*window, ItemOfId(*window, 6)), &script, false);
    QTest::qWait(50);
    EXPECT_EQ(TopModal(), nullptr) << "nothing to say: the drag showed it";
    EXPECT_EQ(Rows(), rows);
    EXPECT_EQ(Files(), files);

    // The disk refuses: Physics' folder cannot change, so Optics cannot leave it.
    if (RunProcess({"chattr", "+i", m_home + "/Physics"}).exitCode != 0) {
        GTEST_SKIP() << "chattr +i does not work here (needs root and a file system that supports it)";
    }
    script.ThenMessage(QStringLiteral("The catalog or document could not be moved; nothing was changed"));
    Drag(*window, ItemOfId(*window, 2), OnLabel(*window, ItemOfId(*window, 8)), &script);
    RunProcess({"chattr", "-i", m_home + "/Physics"});
    EXPECT_EQ(Rows(), rows);
    EXPECT_EQ(Files(), files);
    EXPECT_EQ(window->GetParentItem(ItemOfId(*window, 2)), ItemOfId(*window, 1)) << "the view as it was";
    EXPECT_EQ(QueryText(m_db, "select count(*) from MWDX_JOURNAL;"), "0") << "no journal entry left behind";
}

TEST_F(MoveCommands, MoveToOffersTheCatalogsItCanGoTo) {
    const ScopedLocale locale("en_US.UTF-8");
    auto window = OpenWindow();
    window->SelectItem(ItemOfId(*window, 1));

    // Physics: the chooser starts at the top level; Physics and everything below it cannot be
    // chosen; documents are not listed. Cancel changes nothing.
    const std::string rows = Rows();
    ModalScript script;
    script.Then<CMoveDlg>(
        [&](CMoveDlg* dialog) {
            EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Move to catalog"));
            EXPECT_EQ(Child<QLabel>(dialog, "chooseLabel")->text(),
                      QStringLiteral("Choose the catalog to move it into:"));
            auto* chooser = Child<QTreeView>(dialog, "catalogChooser");
            const QAbstractItemModel* model = chooser->model();
            const QPersistentModelIndex top = model->index(0, 0);
            EXPECT_EQ(top.data().toString(), QStringLiteral("Top level"));
            EXPECT_EQ(chooser->currentIndex(), top);
            ASSERT_EQ(model->rowCount(top), 3);
            const QPersistentModelIndex physics = model->index(0, 0, top);
            EXPECT_EQ(physics.data().toString(), QStringLiteral("Physics"));
            EXPECT_FALSE(model->flags(physics) & Qt::ItemIsEnabled);
            ASSERT_EQ(model->rowCount(physics), 1) << "Optics, not the document Notes";
            EXPECT_FALSE(model->flags(model->index(0, 0, physics)) & Qt::ItemIsEnabled);
            const QPersistentModelIndex maths = model->index(1, 0, top);
            EXPECT_TRUE(model->flags(maths) & Qt::ItemIsEnabled);
            EXPECT_EQ(model->rowCount(maths), 1);
            Child<QPushButton>(dialog, "cancelButton")->click();
        },
        "the move window");
    window->OnCommand(kCmdMoveNodeTo);
    EXPECT_TRUE(script.Finished());
    EXPECT_EQ(Rows(), rows);

    // Physics' Notes into Travel, from the menu.
    window->ExpandItem(ItemOfId(*window, 1));
    window->SelectItem(ItemOfId(*window, 4));
    script
        .Then<QMenu>(
            [](QMenu* menu) {
                for (QAction* action : menu->actions()) {
                    if (action->text() == QStringLiteral("Move to…")) {
                        menu->setActiveAction(action);
                    }
                }
                QTest::keyClick(menu, Qt::Key_Return);
            },
            "the tree's menu")
        .Then<CMoveDlg>(
            [&](CMoveDlg* dialog) {
                auto* chooser = Child<QTreeView>(dialog, "catalogChooser");
                const QModelIndex top = chooser->model()->index(0, 0);
                EXPECT_EQ(chooser->currentIndex().data().toString(), QStringLiteral("Physics"));
                chooser->setCurrentIndex(chooser->model()->index(2, 0, top));
                Child<QPushButton>(dialog, "okButton")->click();
            },
            "the move window");
    QTest::mouseClick(window->windowHandle(), Qt::RightButton, {},
                      TreeOf(*window)->viewport()->mapTo(window.get(), OnLabel(*window, ItemOfId(*window, 4))));
    EXPECT_TRUE(WaitUntil([&] { return script.Finished() && TopModal() == nullptr; }));
    EXPECT_EQ(Parent(4), "8/2");
    EXPECT_TRUE(fs::exists(m_home + "/Travel/notes.txt"));
    EXPECT_EQ(window->GetSelectedItem(), ItemOfId(*window, 4));
}


// The tree's menu for undoing and redoing as it reads now: each entry's text and whether it is
// offered.
std::vector<std::pair<QString, bool>> UndoEntries(CMarrowdexDlg& window) {
    std::vector<std::pair<QString, bool>> entries;
    ModalScript script;
    script.Then<QMenu>(
        [&](QMenu* menu) {
            for (const QAction* action : menu->actions()) {
                const int id = action->data().toInt();
                if (id == kCmdUndo || id == kCmdRedo) {
                    entries.emplace_back(action->text(), action->isEnabled());
                }
            }
            menu->close();
        },
        "the tree's menu");
    QWidget* viewport = TreeOf(window)->viewport();
    QContextMenuEvent event(QContextMenuEvent::Keyboard, {10, 10}, viewport->mapToGlobal(QPoint(10, 10)));
    QApplication::sendEvent(viewport, &event);
    EXPECT_TRUE(script.Finished());
    return entries;
}

// A node dragged into another catalog, undone with Ctrl+Z in the tree: back in its place among the
// top-level catalogs, and the menu offers to redo the move by name; Ctrl+Y and Ctrl+Shift+Z redo
// it. A file changed outside since makes the undo say why, and nothing changes.
TEST_F(MoveCommands, CtrlZUndoesAMoveAndTheMenuNamesIt) {
    const ScopedLocale locale("en_US.UTF-8");
    auto window = OpenWindow();
    CTreeCtrlEx* tree = TreeOf(*window);
    const QStringList topLevel{QStringLiteral("Physics"), QStringLiteral("Maths"), QStringLiteral("Travel")};
    const std::string rows = Rows();
    using Entries = std::vector<std::pair<QString, bool>>;
    EXPECT_EQ(UndoEntries(*window), (Entries{{QStringLiteral("Undo"), false}, {QStringLiteral("Redo"), false}}));

    Drag(*window, ItemOfId(*window, 5), OnLabel(*window, ItemOfId(*window, 8)));
    EXPECT_EQ(Parent(5), "8/2");
    EXPECT_EQ(UndoEntries(*window),
              (Entries{{QStringLiteral("Undo Move 'Maths'"), true}, {QStringLiteral("Redo"), false}}));

    tree->setFocus();
    QTest::keyClick(tree, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(Rows(), rows);
    EXPECT_EQ(Bytes(m_home + "/Maths/notes.txt"), "maths notes");
    EXPECT_FALSE(fs::exists(m_home + "/Travel/Maths"));
    EXPECT_EQ(ChildNames(*window, {}), topLevel) << "between Physics and Travel again, as a restart shows it";
    EXPECT_EQ(window->SelectedNode()->FileId(), 5);
    EXPECT_EQ(UndoEntries(*window),
              (Entries{{QStringLiteral("Undo"), false}, {QStringLiteral("Redo Move 'Maths'"), true}}));

    QTest::keyClick(tree, Qt::Key_Y, Qt::ControlModifier);
    EXPECT_EQ(Parent(5), "8/2");
    QTest::keyClick(tree, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(Parent(5), "0/1");
    QTest::keyClick(tree, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(Parent(5), "8/2");
    EXPECT_TRUE(fs::exists(m_home + "/Travel/Maths/notes.txt"));

    // Changed outside the program: the undo says why and leaves everything as it is.
    const std::string moved = Rows();
    ModalScript script;
    script.ThenMessage(QStringLiteral("It cannot be undone: its file or folder was changed outside the program since. "
                                      "Nothing was changed."));
    // A catalog's folder keeps its identity when a file in it changes: the change that counts is
    // the folder's own, replaced by another.
    fs::rename(m_home + "/Travel/Maths", m_home + "/Travel/Maths.old");
    fs::create_directories(m_home + "/Travel/Maths");
    QTest::keyClick(tree, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_TRUE(WaitUntil([&] { return script.Finished(); }));
    EXPECT_EQ(Rows(), moved);
    EXPECT_TRUE(fs::exists(m_home + "/Travel/Maths.old/notes.txt"));
}

// The menu speaks the UI language: "撤销移动“Maths”".
TEST_F(MoveCommands, TheUndoEntryInChinese) {
    const ScopedLocale locale("zh_CN.UTF-8");
    auto window = OpenWindow();
    Drag(*window, ItemOfId(*window, 5), OnLabel(*window, ItemOfId(*window, 8)));
    using Entries = std::vector<std::pair<QString, bool>>;
    EXPECT_EQ(UndoEntries(*window),
              (Entries{{QStringLiteral("撤销移动“Maths”"), true}, {QStringLiteral("重做"), false}}));
}

} // namespace
} // namespace mwdx::test
