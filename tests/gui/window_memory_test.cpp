// Where the user was: the main window closed (by Escape, as happens by accident) opens again as it
// was left, per knowledge base and outside it; the tree keeps its open catalogs and its selection
// through an import, a repair and a reload; and the comment pane shows only what the tree shows.

#include "app/catalog_tree_model.h"
#include "app/tree_ctrl_ex.h"
#include "check/check_dlg.h"
#include "commands/command_list.h"
#include "gui_fixture.h"
#include "support/process.h"

#include <QApplication>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSplitter>
#include <QTest>
#include <QTreeWidget>
#include <filesystem>

namespace fs = std::filesystem;

namespace mwdx::test {
namespace {

QString SelectedName(CMarrowdexDlg& window) {
    return window.GetSelectedItem().data().toString();
}

class WindowMemoryTest : public GuiTest {
protected:
    // Physics (Optics with the Lens), Maths with sixty topics, Travel.
    void SetUp() override {
        MakeDatabase(true);
        std::string rows =
            "insert into FILE_NODE(FILE_ID,FILE_NAME,PARENT_ID,COMMENT,FILETYPE,RAW_FILE_NAME,PATH_LEVEL) values"
            "(1,'Physics',0,'',0,'',1),(2,'Optics',1,'',0,'',2),(3,'Lens',2,'about the lens',0,'',3),"
            "(4,'Travel',0,'',0,'',1),(5,'Maths',0,'',0,'',1)";
        for (int i = 0; i < 60; ++i) {
            rows += ",(" + std::to_string(10 + i) + ",'Topic " + std::to_string(100 + i) + "',5,'topic " +
                    std::to_string(100 + i) + "',0,'',2)";
        }
        RunSql(m_db, rows + ";");
        for (const char* folder : {"Physics/Optics/Lens", "Travel", "Maths"}) {
            fs::create_directories(m_home + "/" + folder);
        }
    }

    std::string MemoryFile() const { return m_dir.File("user/.config/marrowdex/window.conf"); }

    // The window shown and active, as on a desktop.
    std::unique_ptr<CMarrowdexDlg> OpenActiveWindow() {
        auto window = OpenWindow();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        QApplication::setActiveWindow(window.get());
        QApplication::processEvents();
        return window;
    }

    const ScopedLocale m_locale{"en_US.UTF-8"};
};

TEST_F(WindowMemoryTest, AWindowClosedByEscapeOpensAgainWhereTheUserWas) {
    const std::string tables = QueryText(m_db, "select group_concat(name) from sqlite_master;");
    auto window = OpenActiveWindow();
    CTreeCtrlEx* tree = TreeOf(*window);
    window->resize(700, 520);
    window->move(40, 30);
    window->ExpandItem(window->ShowItem(window->Catalog().NodeById(2)));
    const QModelIndex topic = window->ShowItem(window->Catalog().NodeById(40)); // Topic 130
    window->SelectItem(topic);
    tree->scrollTo(topic, QAbstractItemView::PositionAtTop);
    const int scroll = tree->verticalScrollBar()->value();
    ASSERT_GT(scroll, 10);
    // The line between the tree and the pane, moved.
    auto* splitter = window->findChild<QSplitter*>(QStringLiteral("paneSplitter"));
    QList<int> shares;
    if (splitter != nullptr) {
        splitter->setSizes({260, 420});
        QApplication::processEvents();
        shares = splitter->sizes();
    }
    const QStringList shown = ViewLines(*tree);

    // Escape, pressed by accident in the tree: the window closes, as it always did.
    tree->setFocus();
    QTest::keyClick(tree, Qt::Key_Escape);
    EXPECT_FALSE(window->isVisible());
    window.reset();
    EXPECT_TRUE(fs::is_regular_file(MemoryFile())) << "in the user's configuration folder";
    EXPECT_EQ(QueryText(m_db, "select group_concat(name) from sqlite_master;"), tables) << "nothing in the store";

    // The next start: the same size and place, the same catalogs open, the same row at the top,
    // the same node selected with its comment, the same share of the width.
    window = OpenActiveWindow();
    tree = TreeOf(*window);
    EXPECT_EQ(window->size(), QSize(700, 520));
    EXPECT_EQ(window->pos(), QPoint(40, 30));
    EXPECT_EQ(ViewLines(*tree), shown);
    EXPECT_EQ(SelectedName(*window), QStringLiteral("Topic 130"));
    EXPECT_EQ(PaneText(*window), QStringLiteral("topic 130"));
    EXPECT_TRUE(WaitUntil([&] { return tree->verticalScrollBar()->value() == scroll; }))
        << tree->verticalScrollBar()->value() << " instead of " << scroll;
    splitter = Child<QSplitter>(window.get(), "paneSplitter");
    ASSERT_NE(splitter, nullptr);
    EXPECT_EQ(splitter->sizes(), shares);
    window->reject(); // the close box
    window.reset();

    // Gone since: Topic 130 and Optics are passed over without a word; the rest is as it was.
    RunSql(m_db, "delete from FILE_NODE where FILE_ID in (2,3,40);");
    window = OpenActiveWindow();
    tree = TreeOf(*window);
    QTest::qWait(kStartupDelayMs + 200);
    EXPECT_EQ(TopModal(), nullptr);
    EXPECT_FALSE(window->GetSelectedItem().isValid());
    EXPECT_EQ(PaneText(*window), QString());
    const QStringList lines = ViewLines(*tree);
    EXPECT_EQ(lines.mid(0, 3),
              (QStringList{QStringLiteral("Physics"), QStringLiteral("Travel"), QStringLiteral("Maths")}));
    EXPECT_EQ(lines.size(), 3 + 59) << "Maths still open";
    window.reset();

    // Another knowledge base keeps its own: it starts as a first start does.
    const std::string other = m_dir.File("other");
    fs::create_directories(other);
    MakeFreshDatabase(other + "/mymwdx.db");
    RunSql(other + "/mymwdx.db",
           "update SYS_CONFIG set ROOT_DIR='" + m_home +
               "',FIRST_RUNNING=0;"
               "insert into FILE_NODE values(5,'Maths',0,'',0,'',1),(40,'Topic 130',5,'',0,'',2);");
    auto second = std::make_unique<CMarrowdexDlg>(other, MakeCommands);
    second->show();
    QApplication::processEvents();
    EXPECT_EQ(ViewLines(*TreeOf(*second)), QStringList{QStringLiteral("Maths")});
    EXPECT_FALSE(second->GetSelectedItem().isValid());
    EXPECT_NE(second->size(), QSize(700, 520));
}

TEST_F(WindowMemoryTest, TheTreeKeepsItsPlaceThroughAnImportARepairAndAReload) {
    auto window = OpenActiveWindow();
    QTest::qWait(kStartupDelayMs + 100);
    window->ShowAndSelect(window->Catalog().NodeById(3));
    window->ExpandItem(window->ShowItem(window->Catalog().NodeById(5)));
    const QStringList shown = ViewLines(*TreeOf(*window));
    const auto asBefore = [&](const QStringList& more) {
        QStringList expected = shown;
        for (const QString& line : more) {
            expected.insert(expected.indexOf(QStringLiteral("Maths")), line);
        }
        EXPECT_EQ(ViewLines(*TreeOf(*window)), expected);
        EXPECT_EQ(SelectedName(*window), QStringLiteral("Lens"));
        EXPECT_EQ(PaneText(*window), QStringLiteral("about the lens"));
    };

    // Import folder…, chosen in the menu opened below the rows (the top level): everything stays
    // open and Lens selected; the new catalog comes last, closed.
    const std::string inbox = m_dir.File("inbox");
    PutFile(inbox + "/Trip/plan.txt", "plan");
    ModalScript script;
    script.Then<QFileDialog>(
        [&](QFileDialog* chooser) {
            chooser->setDirectory(QString::fromStdString(inbox + "/Trip"));
            static_cast<QDialog*>(chooser)->accept();
        },
        "the folder chooser");
    CTreeCtrlEx* tree = TreeOf(*window);
    Invocation belowRows{Invocation::From::kMenu};
    belowRows.belowItems = true;
    window->OnCommand(kCmdImportFolder, belowRows);
    ASSERT_TRUE(WaitUntil([&] { return script.Finished() && TopModal() == nullptr; }));
    EXPECT_TRUE(fs::exists(m_home + "/Trip/plan.txt"));
    QStringList lines = ViewLines(*tree);
    EXPECT_EQ(lines.last(), QStringLiteral("Trip"));
    lines.removeLast();
    EXPECT_EQ(lines, shown);
    EXPECT_EQ(SelectedName(*window), QStringLiteral("Lens"));

    // A repair in the check window: a row whose level is wrong, rewritten.
    ChangeStoreBehindWindow("update FILE_NODE set PATH_LEVEL=7 where FILE_ID=4;");
    window->ReloadTree();
    script.Then<CCheckDlg>(
        [](CCheckDlg* dialog) {
            auto* findings = Child<QTreeWidget>(dialog, "findingsTree");
            for (int i = 0; i < findings->topLevelItemCount(); ++i) {
                if (findings->topLevelItem(i)->text(0).startsWith(QStringLiteral("Entries whose stored level"))) {
                    findings->setCurrentItem(findings->topLevelItem(i));
                }
            }
            auto* rewrite = Child<QPushButton>(dialog, "rewriteButton");
            EXPECT_TRUE(rewrite->isEnabled());
            rewrite->click();
            Child<QPushButton>(dialog, "closeButton")->click();
        },
        "the check window");
    window->OnCommand(kCmdCheck);
    EXPECT_TRUE(script.Finished());
    EXPECT_EQ(QueryText(m_db, "select PATH_LEVEL from FILE_NODE where FILE_ID=4;"), "1");
    EXPECT_EQ(ViewLines(*tree).mid(0, shown.size()), shown);
    EXPECT_EQ(SelectedName(*window), QStringLiteral("Lens"));

    // Another program changes the store: loaded again before the next command, as it was.
    RunSql(m_db, "insert into FILE_NODE values(80,'Waves',1,'',0,'',2);");
    script.ThenMessage(QStringLiteral("The knowledge base was changed by another program. The tree has been "
                                      "loaded again; please check it and try again."));
    window->OnCommand(kCmdAddSubCatalog);
    EXPECT_TRUE(script.Finished());
    lines = ViewLines(*tree);
    EXPECT_TRUE(lines.contains(QStringLiteral("  Waves")));
    EXPECT_TRUE(lines.contains(QStringLiteral("    Lens")));
    EXPECT_TRUE(lines.contains(QStringLiteral("  Topic 159")));
    EXPECT_EQ(SelectedName(*window), QStringLiteral("Lens"));
    EXPECT_EQ(PaneText(*window), QStringLiteral("about the lens"));

    // Reloaded during a search, with a match selected whose catalog was closed before it: the
    // search ends, and the match stays selected, the catalogs above it opened.
    tree->collapse(window->ItemOf(window->Catalog().NodeById(5)));
    auto* field = Child<QLineEdit>(window.get(), "searchEdit");
    field->setText(QStringLiteral("topic 137"));
    ASSERT_TRUE(WaitUntil([&] { return ViewLines(*tree).contains(QStringLiteral("  Topic 137")); }));
    window->SelectItem(window->ItemOf(window->Catalog().NodeById(47)));
    RunSql(m_db, "update FILE_NODE set COMMENT='changed' where FILE_ID=4;");
    script.ThenMessage(QStringLiteral("The knowledge base was changed by another program. The tree has been "
                                      "loaded again; please check it and try again."));
    window->OnCommand(kCmdAddSubCatalog);
    EXPECT_TRUE(script.Finished());
    EXPECT_TRUE(field->text().isEmpty());
    EXPECT_EQ(SelectedName(*window), QStringLiteral("Topic 137"));
    EXPECT_EQ(PaneText(*window), QStringLiteral("topic 137"));
    EXPECT_TRUE(ViewLines(*tree).contains(QStringLiteral("    Lens"))) << "the catalogs open before the search";
}

TEST_F(WindowMemoryTest, TheCommentPaneShowsOnlyWhatTheSearchShows) {
    auto window = OpenActiveWindow();
    window->ShowAndSelect(window->Catalog().NodeById(3));
    ASSERT_EQ(PaneText(*window), QStringLiteral("about the lens"));
    auto* field = Child<QLineEdit>(window.get(), "searchEdit");
    auto* count = Child<QLabel>(window.get(), "matchCount");

    // The Lens is not among the matches: nothing is selected, and the pane says nothing of it.
    field->setText(QStringLiteral("topic 12"));
    ASSERT_TRUE(WaitUntil([&] { return count->text() == QStringLiteral("10"); }));
    EXPECT_FALSE(window->GetSelectedItem().isValid());
    EXPECT_EQ(PaneText(*window), QString());
    // A match chosen: its comment; the search narrowed past it: nothing again.
    window->SelectItem(window->ItemOf(window->Catalog().NodeById(35)));
    EXPECT_EQ(PaneText(*window), QStringLiteral("topic 125"));
    field->setText(QStringLiteral("topic 121"));
    ASSERT_TRUE(WaitUntil([&] { return count->text() == QStringLiteral("1"); }));
    EXPECT_EQ(PaneText(*window), QString());
    // A search that shows the Lens selects it again, and the pane follows.
    field->setText(QStringLiteral("lens"));
    ASSERT_TRUE(WaitUntil([&] { return ViewLines(*TreeOf(*window)).contains(QStringLiteral("    Lens")); }));
    EXPECT_EQ(SelectedName(*window), QStringLiteral("Lens"));
    EXPECT_EQ(PaneText(*window), QStringLiteral("about the lens"));
}

} // namespace
} // namespace mwdx::test
