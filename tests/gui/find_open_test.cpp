// Finding, opening and the keys, in the main window on a real store and Home Directory: typing in
// the search field filters the tree, Escape brings it back as it was; Open, Show in folder, Enter
// and a double click hand the files to the desktop; Delete, F2, Insert and Ctrl+F.

#include "app/tree_ctrl_ex.h"
#include "commands/dir_dlg.h"
#include "commands/doc_dlg.h"
#include "gui_fixture.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace mwdx::test {
namespace {

class FindAndOpen : public GuiTest {
protected:
    void SetUp() override {
        MakeDatabase(true);
        RunSql(m_db, "insert into FILE_NODE(FILE_ID,FILE_NAME,PARENT_ID,COMMENT,FILETYPE,RAW_FILE_NAME,PATH_LEVEL) "
                     "values(1,'Physics',0,'',0,'',1),(2,'Optics',1,'Lenses and LIGHT',0,'',2),"
                     "(3,'Lens design',2,'',1,'lens.pdf',3),(4,'Waves',1,'',0,'',2),(5,'Maths',0,'',0,'',1),"
                     "(6,'Algebra',5,'代数讲义',1,'algebra.pdf',2),(7,'Travel',0,'Light luggage',0,'',1),"
                     "(8,'Missing',5,'',1,'missing.pdf',2);");
        for (const char* folder : {"Physics/Optics", "Physics/Waves", "Maths", "Travel"}) {
            fs::create_directories(m_home + "/" + folder);
        }
        std::ofstream(m_home + "/Physics/Optics/lens.pdf") << "lens";
        std::ofstream(m_home + "/Maths/algebra.pdf") << "algebra";
    }
};

QModelIndex ItemOfId(CMarrowdexDlg& window, NodeId id) {
    return window.ItemOf(window.Catalog().NodeById(id));
}

// The rows shown, top to bottom, each indented by two blanks a level, where the view draws them.
QStringList Shown(CMarrowdexDlg& window) {
    return ViewLines(*TreeOf(window));
}

// Types into the search field (text outside ASCII as an input method hands it over) and waits
// until the tree shows the result.
void Type(CMarrowdexDlg& window, const QString& text) {
    auto* field = Child<QLineEdit>(&window, "searchEdit");
    bool ascii = true;
    for (const QChar c : text) {
        ascii = ascii && c.unicode() < 0x80;
    }
    if (ascii) {
        QTest::keyClicks(field, text);
    } else {
        field->insert(text);
    }
    QTest::qWait(50);
    QApplication::processEvents();
}

TEST_F(FindAndOpen, SearchShowsMatchesWithTheirCatalogsAndEscapeRestoresTheTree) {
    const ScopedLocale locale("en_US.UTF-8");
    auto window = OpenWindow();
    CTreeCtrlEx* tree = TreeOf(*window);
    auto* field = Child<QLineEdit>(window.get(), "searchEdit");
    auto* count = Child<QLabel>(window.get(), "matchCount");
    window->ExpandItem(ItemOfId(*window, 5));
    window->SelectItem(ItemOfId(*window, 6));
    const QStringList before = Shown(*window);
    ASSERT_EQ(before, (QStringList{"Physics", "Maths", "  Algebra", "  Missing", "Travel"}));

    // Ctrl+F from the tree goes to the field.
    tree->setFocus();
    QTest::keyClick(tree, Qt::Key_F, Qt::ControlModifier);
    EXPECT_TRUE(field->hasFocus());

    // Names and comments, in any case: Optics by its comment, Travel by its comment, with the
    // catalogs above them open; Algebra is not selected while it is not shown.
    Type(*window, QStringLiteral("light"));
    EXPECT_EQ(Shown(*window), (QStringList{"Physics", "  Optics", "Travel"}));
    EXPECT_EQ(count->text(), QStringLiteral("2"));
    Type(*window, QStringLiteral(" LUG"));
    EXPECT_EQ(Shown(*window), (QStringList{"Travel"}));
    EXPECT_EQ(count->text(), QStringLiteral("1"));
    field->clear();
    EXPECT_EQ(Shown(*window), before) << "an emptied field shows the whole tree again";
    Type(*window, QStringLiteral("LENS"));
    EXPECT_EQ(Shown(*window), (QStringList{"Physics", "  Optics", "    Lens design"}));
    field->clear();
    Type(*window, QStringLiteral("讲义"));
    EXPECT_EQ(Shown(*window), (QStringList{"Maths", "  Algebra"}));
    ASSERT_TRUE(window->GetSelectedItem().isValid()) << "selected again: it is shown";
    EXPECT_EQ(window->ItemNode(window->GetSelectedItem())->FileId(), 6);
    field->clear();
    Type(*window, QStringLiteral("nothing like it"));
    EXPECT_EQ(Shown(*window), QStringList());
    EXPECT_EQ(count->text(), QStringLiteral("0"));

    // Commands work on what is shown: a catalog added under Optics while searching stays in view.
    field->clear();
    Type(*window, QStringLiteral("optics"));
    window->SelectItem(ItemOfId(*window, 2));
    ModalScript script;
    script.Then<CDirDlg>([](CDirDlg* dialog) {
        Child<QLineEdit>(dialog, "nameEdit")->setText(QStringLiteral("Mirrors"));
        Child<QPushButton>(dialog, "okButton")->click();
    });
    tree->setFocus();
    QTest::keyClick(tree, Qt::Key_Insert);
    EXPECT_TRUE(script.Finished());
    EXPECT_EQ(Shown(*window), (QStringList{"Physics", "  Optics", "    Mirrors"}));
    EXPECT_TRUE(fs::is_directory(m_home + "/Physics/Optics/Mirrors"));

    // Escape: the tree as it was (Maths open, Physics closed), the search's selection kept in
    // view, the field empty; a second Escape is the window's again. (The offscreen platform does
    // not give the window its activation back after a dialog, as a desktop does.)
    QApplication::setActiveWindow(window.get());
    window->SelectItem(ItemOfId(*window, 2));
    field->setFocus();
    QTest::keyClick(field, Qt::Key_Escape);
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(field->text().isEmpty());
    EXPECT_TRUE(count->text().isEmpty());
    EXPECT_TRUE(tree->hasFocus());
    ASSERT_TRUE(window->GetSelectedItem().isValid());
    EXPECT_EQ(window->ItemNode(window->GetSelectedItem())->FileId(), 2);
    EXPECT_EQ(Shown(*window),
              (QStringList{"Physics", "  Optics", "  Waves", "Maths", "  Algebra", "  Missing", "Travel"}));
    EXPECT_FALSE(tree->isExpanded(ItemOfId(*window, 2))) << "Optics was not open before";

    // Without changing the selection, the tree comes back exactly as it was.
    window->SelectItem(ItemOfId(*window, 6));
    tree->collapse(ItemOfId(*window, 1));
    const QStringList again = Shown(*window);
    Type(*window, QStringLiteral("a"));
    EXPECT_NE(Shown(*window), again);
    QTest::keyClick(field, Qt::Key_Escape);
    EXPECT_EQ(Shown(*window), again);
    ASSERT_TRUE(window->GetSelectedItem().isValid());
    EXPECT_EQ(window->ItemNode(window->GetSelectedItem())->FileId(), 6);
}

TEST_F(FindAndOpen, OpenShowInFolderEnterAndDoubleClickHandTheFilesToTheDesktop) {
    const ScopedLocale locale("en_US.UTF-8");
    OpenedUrls opened;
    auto window = OpenWindow();
    CTreeCtrlEx* tree = TreeOf(*window);
    window->ExpandItem(ItemOfId(*window, 5));

    window->SelectItem(ItemOfId(*window, 6));
    window->OnCommand(kCmdOpenNode);
    window->OnCommand(kCmdShowInFolder);
    window->SelectItem(ItemOfId(*window, 1));
    window->OnCommand(kCmdOpenNode);
    EXPECT_EQ(opened.urls, (QList<QUrl>{QUrl::fromLocalFile(QString::fromStdString(m_home + "/Maths/algebra.pdf")),
                                        QUrl::fromLocalFile(QString::fromStdString(m_home + "/Maths")),
                                        QUrl::fromLocalFile(QString::fromStdString(m_home + "/Physics"))}));

    // Enter: a catalog opens and closes in the tree, a document opens on the desktop; the window
    // stays.
    opened.urls.clear();
    tree->setFocus();
    window->SelectItem(ItemOfId(*window, 1));
    QTest::keyClick(tree, Qt::Key_Return);
    EXPECT_TRUE(tree->isExpanded(ItemOfId(*window, 1)));
    QTest::keyClick(tree, Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_FALSE(tree->isExpanded(ItemOfId(*window, 1)));
    window->SelectItem(ItemOfId(*window, 6));
    QTest::keyClick(tree, Qt::Key_Return);
    EXPECT_TRUE(window->isVisible());
    // A double click on the document's label opens it too.
    const QRect row = tree->visualRect(ItemOfId(*window, 6));
    QTest::mouseDClick(window->windowHandle(), Qt::LeftButton, {},
                       tree->viewport()->mapTo(window.get(), QPoint(row.left() + 24, row.center().y())));
    const QUrl algebra = QUrl::fromLocalFile(QString::fromStdString(m_home + "/Maths/algebra.pdf"));
    EXPECT_EQ(opened.urls, (QList<QUrl>{algebra, algebra}));
    EXPECT_TRUE(opened.urls.size() == 2 && !tree->isExpanded(ItemOfId(*window, 1)));

    // A document whose file is gone: its path in a message, nothing handed on.
    opened.urls.clear();
    window->SelectItem(ItemOfId(*window, 8));
    ModalScript script;
    script.ThenMessage(QStringLiteral("This file or folder is not there:\n") +
                       QString::fromStdString(m_home + "/Maths/missing.pdf"));
    QTest::keyClick(tree, Qt::Key_Return);
    EXPECT_TRUE(script.Finished());
    EXPECT_TRUE(opened.urls.isEmpty());
}

TEST_F(FindAndOpen, DeleteF2AndInsertRunTheirCommandsFromTheTree) {
    const ScopedLocale locale("en_US.UTF-8");
    auto window = OpenWindow();
    CTreeCtrlEx* tree = TreeOf(*window);
    window->SelectItem(ItemOfId(*window, 7));
    tree->setFocus();

    ModalScript script;
    script.Then<CDirDlg>(
        [](CDirDlg* dialog) {
            EXPECT_EQ(Child<QLineEdit>(dialog, "nameEdit")->text(), QStringLiteral("Travel"));
            Child<QLineEdit>(dialog, "nameEdit")->setText(QStringLiteral("Journeys"));
            Child<QPushButton>(dialog, "okButton")->click();
        },
        "the catalog window, to rename");
    QTest::keyClick(tree, Qt::Key_F2);
    EXPECT_TRUE(script.Finished());
    EXPECT_TRUE(fs::is_directory(m_home + "/Journeys"));

    QApplication::setActiveWindow(window.get());
    script.Then<QMessageBox>([](QMessageBox* box) { box->button(QMessageBox::Ok)->click(); }, "the question");
    QTest::keyClick(tree, Qt::Key_Delete);
    EXPECT_TRUE(script.Finished());
    EXPECT_EQ(QueryText(m_db, "select count(*) from FILE_NODE where FILE_ID=7;"), "0");

    // The keys belong to the tree: Delete in the search field only edits the text.
    QApplication::setActiveWindow(window.get());
    window->SelectItem(ItemOfId(*window, 5));
    auto* field = Child<QLineEdit>(window.get(), "searchEdit");
    field->setFocus();
    QTest::keyClicks(field, QStringLiteral("ab"));
    QTest::keyClick(field, Qt::Key_Home);
    QTest::keyClick(field, Qt::Key_Delete);
    EXPECT_EQ(field->text(), QStringLiteral("b"));
    EXPECT_EQ(TopModal(), nullptr);
    EXPECT_EQ(QueryText(m_db, "select count(*) from FILE_NODE where FILE_ID=5;"), "1");
}

} // namespace
} // namespace mwdx::test
