// The trash as a user meets it: Delete puts catalogs and documents into it, the Trash window (from
// the tree's menu or its key) lists them newest first with when and from where, and Restore, Delete
// for good and Empty the trash do what they say, asking first where nothing can be undone.

#include "app/progress.h"
#include "app/qt_texts.h"
#include "check/check_dlg.h"
#include "commands/move_dlg.h"
#include "gui_fixture.h"
#include "support/open_gate.h"
#include "support/process.h"
#include "trash/trash_dlg.h"

#include <QApplication>
#include <QDateTime>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <QTreeWidget>
#include <filesystem>
#include <future>
#include <thread>

namespace fs = std::filesystem;

namespace mwdx::test {
namespace {

class TrashWindow : public GuiTest {
protected:
    TrashWindow() {
        MakeDatabase(true);
        RunSql(m_db, "update SYS_CONFIG set DELDOC_AFTERDELNODE=1;");
    }

    void AddRow(int id, const std::string& name, int parent, int type, int level, const std::string& raw = "") {
        RunSql(m_db, "insert into FILE_NODE values(" + std::to_string(id) + ",'" + name + "'," +
                         std::to_string(parent) + ",'about " + name + "'," + std::to_string(type) + ",'" + raw + "'," +
                         std::to_string(level) + ");");
    }

    // Deletes the node of `item` as the user does: Delete, then OK.
    static void Delete(CMarrowdexDlg& window, const QModelIndex& item) {
        window.SelectItem(item);
        ModalScript script;
        script.Then<QMessageBox>([](QMessageBox* box) { box->button(QMessageBox::Ok)->click(); }, "the question");
        window.OnCommand(kCmdDeleteNode);
        EXPECT_TRUE(script.Finished());
    }

    std::string Trash() const { return m_home + "/.marrowdex-trash"; }

    // Physics with Optics in it, which holds the document Lens (lens.txt), and Maths beside it.
    void PhysicsWithOpticsAndMaths() {
        AddRow(1, "Physics", 0, 0, 1);
        AddRow(2, "Optics", 1, 0, 2);
        AddRow(3, "Lens", 2, 1, 3, "lens.txt");
        AddRow(4, "Maths", 0, 0, 1);
        PutFile(m_home + "/Physics/Optics/lens.txt", "lens");
        fs::create_directories(m_home + "/Maths");
    }
};

// The rows of the Trash window as shown: "name | from", newest first.
QStringList Rows(CTrashDlg& dialog) {
    QStringList rows;
    auto* list = Child<QTreeWidget>(&dialog, "trashList");
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
        rows << list->topLevelItem(i)->text(0) + " | " + list->topLevelItem(i)->text(2);
    }
    return rows;
}

void SelectRow(CTrashDlg& dialog, const QString& name) {
    auto* list = Child<QTreeWidget>(&dialog, "trashList");
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
        if (list->topLevelItem(i)->text(0) == name) {
            list->setCurrentItem(list->topLevelItem(i));
            return;
        }
    }
    ADD_FAILURE() << "no row " << name.toStdString();
}

void Press(CTrashDlg& dialog, const char* button) {
    auto* pressed = Child<QPushButton>(&dialog, button);
    ASSERT_TRUE(pressed->isEnabled()) << button;
    pressed->click();
}

// Deleted with their files, catalogs wait in the Trash window, newest first, with when and where
// from; Restore brings one back with its files where it was, shown and selected in the tree, as
// the next start shows it too. The window opens from the tree's menu and from Ctrl+Shift+T wherever
// the focus is.
TEST_F(TrashWindow, DeletedCatalogsWaitInTheTrashAndComeBackWhereTheyWere) {
    const ScopedLocale locale("en_US.UTF-8");
    PhysicsWithOpticsAndMaths();
    auto window = OpenWindow();
    const QPersistentModelIndex physics = FindTopItem(*window, "Physics");
    Delete(*window, ChildItem(*window, physics, QStringLiteral("Optics")));
    const qint64 deletedAt = QDateTime::currentSecsSinceEpoch();
    Delete(*window, FindTopItem(*window, "Maths"));
    EXPECT_EQ(TreeText(*window), "Physics");
    EXPECT_FALSE(fs::exists(m_home + "/Physics/Optics"));
    EXPECT_FALSE(fs::exists(m_home + "/Maths"));
    EXPECT_EQ(Bytes(Trash() + "/1/Optics/lens.txt"), "lens");

    auto* field = Child<QLineEdit>(window.get(), "searchEdit");
    field->setFocus();
    QApplication::setActiveWindow(window.get());
    ModalScript script;
    script.Then<CTrashDlg>(
        [&](CTrashDlg* dialog) {
            EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Trash"));
            EXPECT_EQ(Child<QLabel>(dialog, "explanationLabel")->text(),
                      QStringLiteral("What was deleted, newest first. Restore puts it back where it was, with its "
                                     "files."));
            EXPECT_EQ(Rows(*dialog), (QStringList{"Maths | Top level", "Optics | Physics"}));
            auto* list = Child<QTreeWidget>(dialog, "trashList");
            EXPECT_EQ(list->headerItem()->text(1), QStringLiteral("Deleted on"));
            const qint64 stored = std::stoll(QueryText(m_db, "select DELETED_AT from MWDX_TRASH where NAME='Optics';"));
            EXPECT_LE(std::abs(stored - deletedAt), 60);
            EXPECT_EQ(list->topLevelItem(1)->text(1),
                      UiLocale().toString(QDateTime::fromSecsSinceEpoch(stored), QLocale::ShortFormat));
            SelectRow(*dialog, QStringLiteral("Optics"));
            Press(*dialog, "restoreButton");
            EXPECT_EQ(Rows(*dialog), QStringList{"Maths | Top level"});
            dialog->accept();
        },
        "the Trash window");
    QTest::keyClick(field, Qt::Key_T, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_TRUE(script.Finished());

    EXPECT_EQ(Bytes(m_home + "/Physics/Optics/lens.txt"), "lens");
    EXPECT_FALSE(fs::exists(Trash() + "/1"));
    EXPECT_EQ(ViewLines(*window->findChild<CTreeCtrlEx*>()), (QStringList{"Physics", "  Optics"}))
        << "shown where it went, its catalog opened";
    ASSERT_NE(window->SelectedNode(), nullptr);
    EXPECT_EQ(window->SelectedNode()->Details().fileName, "Optics");
    EXPECT_EQ(QueryText(m_db, "select group_concat(FILE_ID||':'||PARENT_ID||':'||PATH_LEVEL,' ') from FILE_NODE;"),
              "1:0:1 2:1:2 3:2:3");
    window.reset();
    window = OpenWindow();
    EXPECT_EQ(TreeText(*window), "Physics(Optics(Lens))");
}

// A restored node takes its place among its siblings by its id, in the rows the view draws as in
// the catalog, where the next start shows it too: before a sibling added after it.
TEST_F(TrashWindow, ARestoredNodeTakesItsPlaceAmongItsSiblings) {
    const ScopedLocale locale("en_US.UTF-8");
    PhysicsWithOpticsAndMaths();
    AddRow(5, "Acoustics", 1, 0, 2);
    fs::create_directories(m_home + "/Physics/Acoustics");
    auto window = OpenWindow();
    const QPersistentModelIndex physics = FindTopItem(*window, "Physics");
    window->ExpandItem(physics);
    Delete(*window, ChildItem(*window, physics, QStringLiteral("Optics")));
    ModalScript script;
    script.Then<CTrashDlg>(
        [&](CTrashDlg* dialog) {
            SelectRow(*dialog, QStringLiteral("Optics"));
            Press(*dialog, "restoreButton");
            dialog->accept();
        },
        "the Trash window");
    window->OnCommand(kCmdTrash);
    EXPECT_TRUE(script.Finished());
    EXPECT_EQ(ViewLines(*window->findChild<CTreeCtrlEx*>()),
              (QStringList{"Physics", "  Optics", "  Acoustics", "Maths"}));
    EXPECT_EQ(TreeText(*window), "Physics(Optics(Lens),Acoustics),Maths");
    window.reset();
    window = OpenWindow();
    EXPECT_EQ(TreeText(*window), "Physics(Optics(Lens),Acoustics),Maths");
}

// With the catalog it came from gone, a restore asks for one, and goes there; a place that is
// taken on disk is named, and nothing moves. Texts in Chinese.
TEST_F(TrashWindow, ARestoreAsksWhereWhenItsCatalogIsGoneAndSaysWhyWhenItCannot) {
    const ScopedLocale locale("zh_CN.UTF-8");
    PhysicsWithOpticsAndMaths();
    auto window = OpenWindow();
    Delete(*window, ChildItem(*window, FindTopItem(*window, "Physics"), QStringLiteral("Optics")));
    Delete(*window, FindTopItem(*window, "Physics"));
    PutFile(m_home + "/Physics/mine.txt", "mine"); // a folder of the user's where Physics was

    ModalScript script;
    script.Then<CTrashDlg>(
        [&](CTrashDlg* dialog) {
            EXPECT_EQ(dialog->windowTitle(), QStringLiteral("回收站"));
            EXPECT_EQ(Rows(*dialog), (QStringList{"Physics | 最上层", "Optics | Physics"}))
                << "from a catalog that is gone: where it was";
            SelectRow(*dialog, QStringLiteral("Physics"));
            script.ThenMessage(QStringLiteral("未还原任何内容：这个位置已被占用：\n") + QString::fromStdString(m_home) +
                               QStringLiteral("/Physics"));
            Press(*dialog, "restoreButton");
            EXPECT_EQ(Bytes(m_home + "/Physics/mine.txt"), "mine");

            SelectRow(*dialog, QStringLiteral("Optics"));
            script.Then<CMoveDlg>(
                [&](CMoveDlg* chooser) {
                    EXPECT_EQ(chooser->windowTitle(), QStringLiteral("从回收站还原"));
                    EXPECT_EQ(Child<QLabel>(chooser, "chooseLabel")->text(),
                              QStringLiteral("它原来所在的目录已不存在。请选择要还原到的目录："));
                    auto* tree = Child<QTreeView>(chooser, "catalogChooser");
                    const QModelIndex top = tree->model()->index(0, 0);
                    tree->setCurrentIndex(tree->model()->index(0, 0, top)); // Maths
                    Child<QPushButton>(chooser, "okButton")->click();
                },
                "the catalog chooser");
            Press(*dialog, "restoreButton");
            EXPECT_EQ(Rows(*dialog), QStringList{"Physics | 最上层"});
            dialog->accept();
        },
        "the Trash window");
    window->OnCommand(kCmdTrash);
    EXPECT_TRUE(script.Finished());
    EXPECT_EQ(Bytes(m_home + "/Maths/Optics/lens.txt"), "lens");
    EXPECT_EQ(TreeText(*window), "Maths(Optics(Lens))");
}

// Delete for good and Empty the trash ask first, Empty with the size it frees; Cancel keeps all.
// An empty trash says so and offers nothing to do.
TEST_F(TrashWindow, DeletingForGoodAndEmptyingAskFirstWithTheSizeTheyFree) {
    const ScopedLocale locale("en_US.UTF-8");
    AddRow(1, "Physics", 0, 0, 1);
    AddRow(2, "Book", 1, 1, 2, "book.pdf");
    AddRow(3, "Maths", 0, 0, 1);
    AddRow(4, "Proof", 3, 1, 2, "proof.txt");
    AddRow(5, "Recipes", 0, 0, 1);
    PutFile(m_home + "/Physics/book.pdf", std::string(1000, 'b'));
    PutFile(m_home + "/Maths/proof.txt", std::string(2000, 'p'));
    PutFile(m_home + "/Recipes/soup.txt", std::string(500, 's')); // no document of its own: it goes along
    auto window = OpenWindow();
    for (const char* name : {"Physics", "Maths", "Recipes"}) {
        Delete(*window, FindTopItem(*window, name));
    }
    ModalScript script;
    script.Then<CTrashDlg>(
        [&](CTrashDlg* dialog) {
            SelectRow(*dialog, QStringLiteral("Maths"));
            script.Then<QMessageBox>([](QMessageBox* box) {
                EXPECT_EQ(box->windowTitle(), QStringLiteral("Caution"));
                EXPECT_EQ(box->text(), QStringLiteral("Delete \u201cMaths\u201d for good? It cannot be restored "
                                                      "afterwards."));
                box->button(QMessageBox::Cancel)->click();
            });
            Press(*dialog, "deleteButton");
            EXPECT_EQ(Rows(*dialog).size(), 3);
            script.Then<QMessageBox>([](QMessageBox* box) { box->button(QMessageBox::Ok)->click(); });
            Press(*dialog, "deleteButton");
            EXPECT_EQ(Rows(*dialog), (QStringList{"Recipes | Top level", "Physics | Top level"}));

            const QString frees = QStringLiteral("1.46 KiB");
            const auto emptyQuestion = [frees](QMessageBox::StandardButton answer) {
                return [frees, answer](QMessageBox* box) {
                    EXPECT_EQ(box->text(), QStringLiteral("Empty the trash? Its 2 entries are deleted for good, "
                                                          "which frees ") +
                                               frees + QStringLiteral("."));
                    box->button(answer)->click();
                };
            };
            script.Then<QMessageBox>(emptyQuestion(QMessageBox::Cancel));
            Press(*dialog, "emptyButton");
            EXPECT_EQ(Rows(*dialog).size(), 2);
            script.Then<QMessageBox>(emptyQuestion(QMessageBox::Ok));
            Press(*dialog, "emptyButton");
            EXPECT_EQ(Rows(*dialog), QStringList{});
            EXPECT_EQ(Child<QLabel>(dialog, "explanationLabel")->text(), QStringLiteral("The trash is empty"));
            for (const char* name : {"restoreButton", "deleteButton", "emptyButton"}) {
                EXPECT_FALSE(Child<QPushButton>(dialog, name)->isEnabled()) << name;
            }
            dialog->accept();
        },
        "the Trash window");
    window->OnCommand(kCmdTrash);
    EXPECT_TRUE(script.Finished());
    EXPECT_FALSE(fs::exists(Trash()));
    EXPECT_EQ(QueryText(m_db, "select count(*) from MWDX_TRASH;"), "0");
    EXPECT_EQ(QueryText(m_db, "select count(*) from MWDX_TRASH_NODE;"), "0");
}

// Emptying a trash of many files removes them on a thread of its own behind the progress window,
// and the window goes on handling its events meanwhile instead of standing frozen until the last
// file is gone. (The removal is held where it opens a folder inside, as a slow disk would hold it.)
TEST_F(TrashWindow, EmptyingABigTrashLeavesTheWindowAnswering) {
    const ScopedLocale locale("en_US.UTF-8");
    AddRow(1, "Big", 0, 0, 1);
    for (int i = 0; i < 100; ++i) {
        PutFile(m_home + "/Big/" + std::to_string(i) + ".txt", "x");
        PutFile(m_home + "/Big/Inner/" + std::to_string(i) + ".txt", "x");
    }
    auto window = OpenWindow();
    Delete(*window, FindTopItem(*window, "Big"));
    ASSERT_TRUE(fs::is_directory(Trash() + "/1/Big/Inner"));
    OpenGate gate({Trash() + "/1/Big/Inner"});
    if (!gate.Active()) {
        GTEST_SKIP() << gate.Reason();
    }
    int ticks = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        // Ten turns of the window's own timers, then the disk lets the removal go on.
        if (++ticks == 10) {
            gate.Open();
        }
    });
    std::promise<void> ended;
    std::thread release([&gate, done = ended.get_future()] {
        done.wait_for(std::chrono::seconds(5));
        gate.Open();
    });
    ModalScript script;
    script.Then<CTrashDlg>(
        [&](CTrashDlg* dialog) {
            // Measuring opens the held folder too: the progress window shows meanwhile.
            ticker.start(50);
            script.Then<CPRGDlg>(
                [](CPRGDlg* progress) {
                    EXPECT_EQ(Child<QLabel>(progress, "textLabel")->text(),
                              QStringLiteral("Measuring the trash, please wait"));
                },
                "the progress window of the measuring");
            script.Then<QMessageBox>([&](QMessageBox* box) {
                EXPECT_GE(ticks, 10) << "the window's timers ran while the trash was measured";
                box->button(QMessageBox::Ok)->click();
            });
            Press(*dialog, "emptyButton");
            dialog->accept();
        },
        "the Trash window");
    window->OnCommand(kCmdTrash);
    EXPECT_TRUE(script.Finished());
    ticker.stop();
    ended.set_value();
    release.join();
    EXPECT_FALSE(fs::exists(Trash()));
    EXPECT_EQ(Entries(m_home), std::vector<std::string>{}) << "nothing left aside";
}

// Files on another file system than the trash: the delete asks whether they go for good; No keeps
// everything, Yes deletes them and their rows for good, nothing in the trash.
TEST_F(TrashWindow, FilesOnAnotherFileSystemGoForGoodOnlyIfTheUserSaysSo) {
    const ScopedLocale locale("en_US.UTF-8");
    AddRow(1, "Mounted", 0, 0, 1);
    AddRow(2, "Far", 1, 1, 2, "far.txt");
    fs::create_directories(m_home + "/Mounted");
    const SmallFileSystem mounted(m_home + "/Mounted");
    if (!mounted.Mounted()) {
        GTEST_SKIP() << mounted.Reason();
    }
    PutFile(m_home + "/Mounted/far.txt", "far");
    auto window = OpenWindow();
    const QModelIndex far = ChildItem(*window, FindTopItem(*window, "Mounted"), QStringLiteral("Far"));
    const QString question = QStringLiteral("These files lie on another file system than the trash and cannot be "
                                            "moved into it. Delete them for good?");
    for (const QMessageBox::StandardButton answer : {QMessageBox::No, QMessageBox::Yes}) {
        window->SelectItem(far);
        ModalScript script;
        script.Then<QMessageBox>([](QMessageBox* box) { box->button(QMessageBox::Ok)->click(); }, "the question");
        script.Then<QMessageBox>(
            [&](QMessageBox* box) {
                EXPECT_EQ(box->text(), question);
                EXPECT_EQ(box->defaultButton(), box->button(QMessageBox::No));
                box->button(answer)->click();
            },
            "the question about another file system");
        window->OnCommand(kCmdDeleteNode);
        EXPECT_TRUE(script.Finished());
        if (answer == QMessageBox::No) {
            EXPECT_EQ(Bytes(m_home + "/Mounted/far.txt"), "far");
            EXPECT_EQ(TreeText(*window), "Mounted(Far)");
        }
    }
    EXPECT_FALSE(fs::exists(m_home + "/Mounted/far.txt"));
    EXPECT_EQ(TreeText(*window), "Mounted");
    EXPECT_EQ(QueryText(m_db, "select count(*) from FILE_NODE;"), "1");
    EXPECT_FALSE(fs::exists(Trash() + "/1"));
    EXPECT_EQ(QueryText(m_db, "select count(*) from MWDX_TRASH;"), "0");
}

// The Check window knows the trash: nothing in it is untracked, and its damage is a kind of its own.
TEST_F(TrashWindow, TheCheckWindowShowsADamagedTrashAsAKindOfItsOwn) {
    const ScopedLocale locale("en_US.UTF-8");
    AddRow(1, "Physics", 0, 0, 1);
    PutFile(m_home + "/Physics/notes.txt", "notes");
    fs::copy(SourceScriptFolder(), m_home + "/js", fs::copy_options::recursive);
    auto window = OpenWindow();
    Delete(*window, FindTopItem(*window, "Physics"));
    fs::remove_all(Trash() + "/1/Physics");
    PutFile(Trash() + "/stray.txt", "stray");
    ModalScript script;
    script.Then<CCheckDlg>(
        [](CCheckDlg* dialog) {
            QStringList groups;
            auto* tree = Child<QTreeWidget>(dialog, "findingsTree");
            for (int i = 0; i < tree->topLevelItemCount(); ++i) {
                groups << tree->topLevelItem(i)->text(0);
                for (int j = 0; j < tree->topLevelItem(i)->childCount(); ++j) {
                    groups << "  " + tree->topLevelItem(i)->child(j)->text(0);
                }
            }
            EXPECT_EQ(groups, (QStringList{"Damaged trash (2)", "  .marrowdex-trash/1/Physics",
                                           "  .marrowdex-trash/stray.txt"}));
            dialog->accept();
        },
        "the Check window");
    window->OnCommand(kCmdCheck);
    EXPECT_TRUE(script.Finished());
}

} // namespace
} // namespace mwdx::test
