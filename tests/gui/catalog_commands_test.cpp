// The catalog commands as a user runs them: add, rename and delete catalogs in the real window,
// with the rows, the tree and the directories under the Home Directory checked after each step.

#include "commands/dir_dlg.h"
#include "commands/doc_dlg.h"
#include "gui_fixture.h"
#include "support/process.h"

#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace mwdx::test {
namespace {

// Types a name and a comment into the catalog window and presses OK.
void TypeCatalog(ModalScript& script, const QString& name, const QString& comment = {}) {
    script.Then<CDirDlg>([name, comment](CDirDlg* dialog) {
        Child<QLineEdit>(dialog, "nameEdit")->setText(name);
        Child<QPlainTextEdit>(dialog, "commentEdit")->setPlainText(comment);
        Child<QPushButton>(dialog, "okButton")->click();
    });
}

void CancelCatalog(ModalScript& script) {
    script.Then<CDirDlg>([](CDirDlg* dialog) { Child<QPushButton>(dialog, "cancelButton")->click(); });
}

void AnswerConfirmation(ModalScript& script, const QString& text, QMessageBox::StandardButton answer) {
    script.Then<QMessageBox>([text, answer](QMessageBox* box) {
        EXPECT_EQ(box->windowTitle(), QStringLiteral("Caution"));
        EXPECT_EQ(box->text(), text);
        box->button(answer)->click();
    });
}

void WriteFile(const std::string& path, const std::string& content = "notes") {
    std::ofstream(path, std::ios::binary) << content;
}

class CatalogCommandsTest : public GuiTest {
protected:
    void SetUp() override { MakeDatabase(true); }

    // Rows as "id:name:parent:level", in id order.
    std::string Rows() const {
        return QueryText(m_db, "select group_concat(FILE_ID||':'||FILE_NAME||':'||PARENT_ID||':'||PATH_LEVEL, ' ')"
                               " from (select * from FILE_NODE order by FILE_ID);");
    }

    void AddRow(int id, const std::string& name, int parent, int type, const std::string& raw, int level) {
        RunSql(m_db, "insert into FILE_NODE(FILE_ID,FILE_NAME,PARENT_ID,COMMENT,FILETYPE,RAW_FILE_NAME,PATH_LEVEL)"
                     " values(" +
                         std::to_string(id) + ",'" + name + "'," + std::to_string(parent) + ",'about " + name + "'," +
                         std::to_string(type) + ",'" + raw + "'," + std::to_string(level) + ");");
    }

    void SetDeleteFiles() { ChangeStoreBehindWindow("update SYS_CONFIG set DELDOC_AFTERDELNODE=1;"); }

    const ScopedLocale m_locale{"en_US.UTF-8"};
};

TEST_F(CatalogCommandsTest, AddedCatalogsGetRowsItemsAndDirectoriesAndSurviveARestart) {
    AddRow(1, "Notes", 0, 1, "notes.txt", 1);
    WriteFile(m_home + "/notes.txt");
    auto window = OpenWindow();
    {
        // Nothing selected: a top-level catalog. A name with an apostrophe is kept as typed.
        ModalScript script;
        TypeCatalog(script, QStringLiteral("Physics"), QStringLiteral("it's all\nhere"));
        window->OnCommand(kCmdAddSubCatalog);
        EXPECT_TRUE(script.Finished());
    }
    EXPECT_TRUE(fs::is_directory(m_home + "/Physics"));
    EXPECT_EQ(QueryText(m_db, "select COMMENT from FILE_NODE where FILE_NAME='Physics';"), "it's all\nhere");
    const QPersistentModelIndex physics = FindTopItem(*window, "Physics");
    ASSERT_TRUE(physics.isValid());
    window->SelectItem(physics);
    {
        // Under the selected catalog; an existing directory is simply used; blanks around a name go.
        fs::create_directories(m_home + "/Physics/Optics");
        ModalScript script;
        TypeCatalog(script, QStringLiteral("Optics"));
        window->OnCommand(kCmdAddSubCatalog);
        TypeCatalog(script, QStringLiteral("  Heat engines\u3000"));
        window->OnCommand(kCmdAddSubCatalog);
        // An empty name is asked for again; Cancel then changes nothing.
        script.Then<CDirDlg>([](CDirDlg* dialog) { Child<QPushButton>(dialog, "okButton")->click(); })
            .ThenMessage(QStringLiteral("Please type a new sub catalog name"));
        CancelCatalog(script);
        window->OnCommand(kCmdAddSubCatalog);
        EXPECT_TRUE(script.Finished());
    }
    EXPECT_TRUE(fs::is_directory(m_home + "/Physics/Heat engines"));
    EXPECT_EQ(Rows(), "1:Notes:0:1 2:Physics:0:1 3:Optics:2:2 4:Heat engines:2:2");
    EXPECT_TRUE(window->findChild<CTreeCtrlEx*>()->isExpanded(physics));
    EXPECT_EQ(window->GetSelectedItem(), physics) << "the new items are not selected";

    // Beside a node: under its parent, at its level; beside a top-level document: at the top.
    window->SelectItem(ChildItem(*window, physics, QStringLiteral("Optics")));
    {
        ModalScript script;
        TypeCatalog(script, QStringLiteral("Acoustics"));
        window->OnCommand(kCmdAddNeighbourCatalog);
        EXPECT_TRUE(script.Finished());
    }
    window->SelectItem(FindTopItem(*window, "Notes"));
    {
        ModalScript script;
        script.ThenMessage(QStringLiteral("Can not add sub catalog under document"));
        window->OnCommand(kCmdAddSubCatalog);
        TypeCatalog(script, QStringLiteral("Chemistry"));
        window->OnCommand(kCmdAddNeighbourCatalog);
        EXPECT_TRUE(script.Finished());
    }
    EXPECT_EQ(Rows(), "1:Notes:0:1 2:Physics:0:1 3:Optics:2:2 4:Heat engines:2:2 5:Acoustics:2:2 6:Chemistry:0:1");
    EXPECT_TRUE(fs::is_directory(m_home + "/Physics/Acoustics"));
    EXPECT_TRUE(fs::is_directory(m_home + "/Chemistry"));
    const std::string shown = TreeText(*window);
    EXPECT_EQ(shown, "Notes,Physics(Optics,Heat engines,Acoustics),Chemistry");

    window.reset();
    window = OpenWindow();
    EXPECT_EQ(TreeText(*window), shown);
}

TEST_F(CatalogCommandsTest, EnterInTheNameFieldConfirmsAndInTheCommentStartsALine) {
    auto window = OpenWindow();
    const auto typeAndEnter = [](CDirDlg* dialog, const QString& name) {
        auto* comment = Child<QPlainTextEdit>(dialog, "commentEdit");
        comment->setFocus();
        QTest::keyClicks(comment, QStringLiteral("first"));
        QTest::keyClick(comment, Qt::Key_Return);
        QTest::keyClicks(comment, QStringLiteral("second"));
        EXPECT_TRUE(dialog->isVisible()) << "Enter in the comment is a new line";
        auto* nameEdit = Child<QLineEdit>(dialog, "nameEdit");
        nameEdit->selectAll();
        QTest::keyClicks(nameEdit, name);
        QTest::keyClick(nameEdit, Qt::Key_Return);
        if (dialog->isVisible()) {
            ADD_FAILURE() << "Enter in the name field left the window open";
            dialog->reject();
        }
    };
    {
        ModalScript script;
        script.Then<CDirDlg>([&](CDirDlg* dialog) { typeAndEnter(dialog, QStringLiteral("Physics")); });
        window->OnCommand(kCmdAddSubCatalog);
        EXPECT_TRUE(script.Finished());
    }
    EXPECT_EQ(QueryText(m_db, "select FILE_NAME||'|'||COMMENT from FILE_NODE;"), "Physics|first\nsecond");
    {
        ModalScript script;
        script.Then<CDirDlg>([&](CDirDlg* dialog) { typeAndEnter(dialog, QStringLiteral("Science")); });
        window->SelectItem(FindTopItem(*window, "Physics"));
        window->OnCommand(kCmdEditNode);
        EXPECT_TRUE(script.Finished());
    }
    EXPECT_EQ(QueryText(m_db, "select FILE_NAME||'|'||COMMENT from FILE_NODE;"), "Science|first\nsecondfirst\nsecond");
    EXPECT_TRUE(fs::is_directory(m_home + "/Science"));
}

TEST_F(CatalogCommandsTest, UnsafeAndTakenNamesAreRefusedWithTheWindowKeptOpen) {
    AddRow(1, "Physics", 0, 0, "", 1);
    AddRow(2, "Optics", 1, 0, "", 2);
    AddRow(3, "2024/Taxes", 0, 0, "", 1); // as an old store may hold it
    fs::create_directories(m_home + "/2024/Taxes");
    auto window = OpenWindow();
    {
        ModalScript script;
        const QString refused = QStringLiteral("This name cannot be used for a catalog or document");
        for (const QString& name :
             {QStringLiteral(".."), QStringLiteral("a/../../x"), QStringLiteral("/tmp/x"), QStringLiteral("a//b"),
              QStringLiteral("tab\there"), QString(300, u'n'), QStringLiteral("Heat/Engines")}) {
            TypeCatalog(script, name);
            script.ThenMessage(refused);
        }
        TypeCatalog(script, QStringLiteral(" \t\u3000 "));
        script.ThenMessage(QStringLiteral("Please type a new sub catalog name"));
        TypeCatalog(script, QStringLiteral(" Physics "));
        script.ThenMessage(QStringLiteral("A catalog with this name already exists here"));
        TypeCatalog(script, QStringLiteral("Physics"));
        script.ThenMessage(QStringLiteral("A catalog with this name already exists here"));
        // The window kept what was typed.
        script.Then<CDirDlg>([](CDirDlg* dialog) {
            EXPECT_EQ(Child<QLineEdit>(dialog, "nameEdit")->text(), QStringLiteral("Physics"));
            Child<QPushButton>(dialog, "cancelButton")->click();
        });
        window->OnCommand(kCmdAddSubCatalog);
        EXPECT_TRUE(script.Finished());
    }
    {
        // Renaming onto a sibling's name is refused the same way; keeping its own name is not.
        ModalScript script;
        window->SelectItem(FindTopItem(*window, "Physics"));
        TypeCatalog(script, QStringLiteral("Physics"), QStringLiteral("new comment"));
        window->OnCommand(kCmdEditNode);
        // An old catalog named with a '/' keeps its name and takes a new comment.
        window->SelectItem(FindTopItem(*window, "2024/Taxes"));
        TypeCatalog(script, QStringLiteral("2024/Taxes"), QStringLiteral("paid"));
        window->OnCommand(kCmdEditNode);
        EXPECT_TRUE(script.Finished());
    }
    EXPECT_EQ(QueryText(m_db, "select COMMENT from FILE_NODE where FILE_ID=1;"), "new comment");
    EXPECT_EQ(QueryText(m_db, "select COMMENT from FILE_NODE where FILE_ID=3;"), "paid");
    EXPECT_EQ(Rows(), "1:Physics:0:1 2:Optics:1:2 3:2024/Taxes:0:1");
    EXPECT_FALSE(fs::exists(m_dir.File("x")));
    EXPECT_FALSE(fs::exists("/tmp/x/.."));
    EXPECT_EQ(std::distance(fs::directory_iterator(m_home), fs::directory_iterator()), 1)
        << "nothing was created for a refused name";
    EXPECT_TRUE(fs::is_directory(m_home + "/2024/Taxes"));
}

TEST_F(CatalogCommandsTest, RenamingACatalogMovesItsDirectoryAndEveryPathBelow) {
    AddRow(1, "Physics", 0, 0, "", 1);
    AddRow(2, "Optics", 1, 0, "", 2);
    AddRow(3, "Lenses", 2, 1, "lens.txt", 3);
    AddRow(4, "Taken", 0, 0, "", 1);
    fs::create_directories(m_home + "/Physics/Optics");
    WriteFile(m_home + "/Physics/Optics/lens.txt");
    fs::create_directories(m_home + "/Elsewhere");
    auto window = OpenWindow();
    const QPersistentModelIndex physics = FindTopItem(*window, "Physics");
    window->SelectItem(physics);
    {
        // A name with a directory of its own on disk cannot be taken: nothing changes.
        ModalScript script;
        TypeCatalog(script, QStringLiteral("Elsewhere"));
        script.ThenMessage(QStringLiteral("The catalog's directory could not be renamed; nothing was changed"));
        window->OnCommand(kCmdEditNode);
        EXPECT_TRUE(script.Finished());
    }
    EXPECT_TRUE(fs::exists(m_home + "/Physics/Optics/lens.txt"));
    EXPECT_EQ(Rows(), "1:Physics:0:1 2:Optics:1:2 3:Lenses:2:3 4:Taken:0:1");
    EXPECT_EQ(physics.data().toString(), QStringLiteral("Physics"));
    {
        // Unchanged texts: nothing happens, not even on a store that would refuse the update.
        ChangeStoreBehindWindow("create trigger no_update before update on FILE_NODE begin select raise(abort,"
                                "'locked'); end;");
        ModalScript script;
        TypeCatalog(script, QStringLiteral("Physics"), QStringLiteral("about Physics"));
        window->OnCommand(kCmdEditNode);
        // A refused update: the directory comes back, the old texts stay everywhere.
        TypeCatalog(script, QStringLiteral("Natural Science"), QStringLiteral("changed"));
        script.ThenMessage(QStringLiteral("The change could not be saved"));
        window->OnCommand(kCmdEditNode);
        EXPECT_TRUE(script.Finished());
        ChangeStoreBehindWindow("drop trigger no_update;");
    }
    EXPECT_TRUE(fs::exists(m_home + "/Physics/Optics/lens.txt"));
    EXPECT_FALSE(fs::exists(m_home + "/Natural Science"));
    EXPECT_EQ(physics.data().toString(), QStringLiteral("Physics"));
    EXPECT_EQ(window->ItemNode(physics)->Details().comment, "about Physics");
    {
        // The rename itself, then a change of letter case alone, which counts as a change.
        ModalScript script;
        TypeCatalog(script, QStringLiteral("Natural Science"), QStringLiteral("all of it"));
        window->OnCommand(kCmdEditNode);
        TypeCatalog(script, QStringLiteral("natural science"), QStringLiteral("all of it"));
        window->OnCommand(kCmdEditNode);
        EXPECT_TRUE(script.Finished());
    }
    const std::string renamed = m_home + "/natural science";
    EXPECT_TRUE(fs::exists(renamed + "/Optics/lens.txt"));
    EXPECT_FALSE(fs::exists(m_home + "/Physics"));
    EXPECT_FALSE(fs::exists(m_home + "/Natural Science"));
    EXPECT_EQ(QueryText(m_db, "select FILE_NAME||'|'||COMMENT from FILE_NODE where FILE_ID=1;"),
              "natural science|all of it");
    EXPECT_EQ(physics.data().toString(), QStringLiteral("natural science"));
    EXPECT_EQ(window->findChild<QPlainTextEdit*>("commentPane")->toPlainText(), QStringLiteral("all of it"));
    const QPersistentModelIndex lenses = ChildItem(*window, ChildItem(*window, physics, QStringLiteral("Optics")), QStringLiteral("Lenses"));
    EXPECT_EQ(window->ItemNode(lenses)->Path(), renamed + "/Optics/lens.txt");

    // A document's new name changes what is shown and stored; its file keeps its name. Its window
    // shows the path with the chooser disabled.
    window->SelectItem(lenses);
    {
        ModalScript script;
        script.Then<CDocDlg>([&](CDocDlg* dialog) {
            EXPECT_EQ(Child<QLineEdit>(dialog, "pathEdit")->text().toStdString(), renamed + "/Optics/lens.txt");
            EXPECT_FALSE(Child<QAbstractButton>(dialog, "chooseButton")->isEnabled());
            Child<QLineEdit>(dialog, "nameEdit")->setText(QStringLiteral("Lenses & mirrors"));
            Child<QPushButton>(dialog, "okButton")->click();
        });
        window->OnCommand(kCmdEditNode);
        EXPECT_TRUE(script.Finished());
    }
    EXPECT_TRUE(fs::exists(renamed + "/Optics/lens.txt"));
    EXPECT_EQ(QueryText(m_db, "select FILE_NAME||'|'||RAW_FILE_NAME from FILE_NODE where FILE_ID=3;"),
              "Lenses & mirrors|lens.txt");

    // Deleting a descendant afterwards uses the directory under its new name.
    SetDeleteFiles();
    window.reset();
    window = OpenWindow();
    EXPECT_EQ(TreeText(*window), "natural science(Optics(Lenses & mirrors)),Taken");
    window->SelectItem(ChildItem(*window, FindTopItem(*window, "natural science"), QStringLiteral("Optics")));
    {
        ModalScript script;
        AnswerConfirmation(script, QStringLiteral("Are you true you want to delete CatalogOptics"), QMessageBox::Ok);
        window->OnCommand(kCmdDeleteNode);
        EXPECT_TRUE(script.Finished());
    }
    EXPECT_FALSE(fs::exists(renamed + "/Optics"));
    EXPECT_TRUE(fs::is_directory(renamed));
}

TEST_F(CatalogCommandsTest, OkWithNothingChangedSendsNothingWhateverTheLineEnds) {
    RunSql(m_db, "insert into FILE_NODE values(1,'Physics',0,'one'||char(13,10)||'two',0,'',1),"
                 "(2,'Notes',1,'a'||char(13)||'b',1,'notes.txt',2);"
                 "create table SENT(FILE_ID); create trigger sent after update on FILE_NODE"
                 " begin insert into SENT values(new.FILE_ID); end;");
    fs::create_directories(m_home + "/Physics");
    auto window = OpenWindow();
    const QPersistentModelIndex physics = FindTopItem(*window, "Physics");
    {
        ModalScript script;
        const auto confirm = [](QDialog* dialog) { Child<QPushButton>(dialog, "okButton")->click(); };
        script.Then<CDirDlg>(confirm);
        window->SelectItem(physics);
        window->OnCommand(kCmdEditNode);
        script.Then<CDocDlg>([&](CDocDlg* dialog) {
            EXPECT_EQ(Child<QPlainTextEdit>(dialog, "commentEdit")->toPlainText(), QStringLiteral("a\nb"));
            confirm(dialog);
        });
        window->SelectItem(ChildItem(*window, physics, QStringLiteral("Notes")));
        window->OnCommand(kCmdEditNode);
        EXPECT_TRUE(script.Finished());
    }
    EXPECT_EQ(QueryText(m_db, "select count(*) from SENT;"), "0");
    EXPECT_EQ(QueryText(m_db, "select group_concat(hex(COMMENT)) from FILE_NODE;"), "6F6E650D0A74776F,610D62");
    EXPECT_EQ(window->ItemNode(physics)->Details().comment, "one\r\ntwo");
}

TEST_F(CatalogCommandsTest, WhatTheUserDidNotChangeIsStoredAsItWas) {
    // A comment with a no-break space, a line and a paragraph separator and a Windows line end;
    // a comment longer than the old program kept; a document's name as long.
    std::string longComment;
    while (longComment.size() < 2000) {
        longComment += "Lecture notes \xE8\xAE\xB2\xE4\xB9\x89, ";
    }
    const std::string longName = std::string(597, 'n') + "\xE6\x96\x87";
    RunSql(m_db, "insert into FILE_NODE values(1,'Physics',0,'a'||char(160)||'b'||char(8232)||'c'||char(8233)||'d'||"
                 "char(13,10)||'e',0,'',1),(2,'Maths',0,'" +
                     longComment +
                     "',0,'',1),"
                     "(3,'" +
                     longName +
                     "',2,'short',1,'book.pdf',2);"
                     "create table SENT(FILE_ID); create trigger sent after update on FILE_NODE"
                     " begin insert into SENT values(new.FILE_ID); end;");
    fs::create_directories(m_home + "/Physics");
    fs::create_directories(m_home + "/Maths");
    WriteFile(m_home + "/Maths/book.pdf");
    const std::string given = "61C2A062E280A863E280A9640D0A65";
    const auto comment = [&](int id) {
        return QueryText(m_db, "select hex(COMMENT) from FILE_NODE where FILE_ID=" + std::to_string(id) + ";");
    };
    auto window = OpenWindow();
    const QPersistentModelIndex physics = FindTopItem(*window, "Physics");
    window->SelectItem(physics);
    const auto confirm = [](QDialog* dialog) { Child<QPushButton>(dialog, "okButton")->click(); };
    {
        // OK with nothing changed: nothing is sent.
        ModalScript script;
        script.Then<CDirDlg>(confirm);
        window->OnCommand(kCmdEditNode);
        EXPECT_TRUE(script.Finished());
    }
    EXPECT_EQ(QueryText(m_db, "select count(*) from SENT;"), "0");
    EXPECT_EQ(comment(1), given);
    {
        // Typed at the start and at the end, a new line among it: only that is new.
        ModalScript script;
        script.Then<CDirDlg>([&](CDirDlg* dialog) {
            auto* edit = Child<QPlainTextEdit>(dialog, "commentEdit");
            edit->setFocus();
            QTest::keyClick(edit, Qt::Key_Home, Qt::ControlModifier);
            QTest::keyClicks(edit, QStringLiteral("X"));
            QTest::keyClick(edit, Qt::Key_End, Qt::ControlModifier);
            QTest::keyClick(edit, Qt::Key_Return);
            QTest::keyClicks(edit, QStringLiteral("Y\u00A0Z"));
            confirm(dialog);
        });
        window->OnCommand(kCmdEditNode);
        EXPECT_TRUE(script.Finished());
    }
    EXPECT_EQ(comment(1), "58" + given + "0A59C2A05A");
    {
        // A word taken out in the middle: the rest as it was.
        ModalScript script;
        script.Then<CDirDlg>([&](CDirDlg* dialog) {
            auto* edit = Child<QPlainTextEdit>(dialog, "commentEdit");
            edit->setFocus();
            QTest::keyClick(edit, Qt::Key_Home, Qt::ControlModifier);
            QTest::keyClick(edit, Qt::Key_Right);
            QTest::keyClick(edit, Qt::Key_Delete); // the 'a'
            confirm(dialog);
        });
        window->OnCommand(kCmdEditNode);
        EXPECT_TRUE(script.Finished());
    }
    EXPECT_EQ(comment(1), "58C2A062E280A863E280A9640D0A650A59C2A05A");

    // Renaming a catalog keeps its long comment whole; a document's new comment keeps its name.
    const QPersistentModelIndex maths = FindTopItem(*window, "Maths");
    window->SelectItem(maths);
    {
        ModalScript script;
        script.Then<CDirDlg>([&](CDirDlg* dialog) {
            EXPECT_EQ(Child<QPlainTextEdit>(dialog, "commentEdit")->toPlainText().toStdString(), longComment)
                << "shown whole";
            Child<QLineEdit>(dialog, "nameEdit")->setText(QStringLiteral("Mathematics"));
            confirm(dialog);
        });
        window->OnCommand(kCmdEditNode);
        window->SelectItem(ChildItem(*window, maths, QString::fromStdString(longName)));
        script.Then<CDocDlg>([&](CDocDlg* dialog) {
            EXPECT_EQ(Child<QLineEdit>(dialog, "nameEdit")->text().toStdString(), longName);
            Child<QPlainTextEdit>(dialog, "commentEdit")->setPlainText(QStringLiteral("a better comment"));
            confirm(dialog);
        });
        window->OnCommand(kCmdEditNode);
        EXPECT_TRUE(script.Finished());
    }
    EXPECT_EQ(QueryText(m_db, "select FILE_NAME from FILE_NODE where FILE_ID=2;"), "Mathematics");
    EXPECT_EQ(QueryText(m_db, "select COMMENT from FILE_NODE where FILE_ID=2;"), longComment);
    EXPECT_EQ(QueryText(m_db, "select FILE_NAME||'|'||COMMENT from FILE_NODE where FILE_ID=3;"),
              longName + "|a better comment");
    EXPECT_TRUE(fs::exists(m_home + "/Mathematics/book.pdf"));
}

TEST_F(CatalogCommandsTest, ARenameAsksBeforeTakingOverAFolderNoCatalogUses) {
    // A's folder has gone; the user keeps photos in a folder Z that no catalog knows.
    AddRow(1, "A", 0, 0, "", 1);
    AddRow(2, "Inside", 1, 1, "inside.txt", 2);
    fs::create_directories(m_home + "/Z");
    WriteFile(m_home + "/Z/photo.jpg", "photo");
    SetDeleteFiles();
    auto window = OpenWindow();
    const QPersistentModelIndex a = FindTopItem(*window, "A");
    window->SelectItem(a);
    const QString question =
        QStringLiteral("A folder 'Z' that no catalog uses is already in the Home Directory. Use it for this catalog?");
    {
        // Enter answers the default, No: nothing changes.
        ModalScript script;
        TypeCatalog(script, QStringLiteral("Z"), QStringLiteral("about A"));
        script.Then<QMessageBox>([&](QMessageBox* box) {
            EXPECT_EQ(box->text(), question);
            EXPECT_EQ(box->defaultButton(), box->button(QMessageBox::No));
            QTest::keyClick(box, Qt::Key_Return);
        });
        window->OnCommand(kCmdEditNode);
        EXPECT_TRUE(script.Finished());
    }
    EXPECT_EQ(Rows(), "1:A:0:1 2:Inside:1:2");
    EXPECT_EQ(a.data().toString(), QStringLiteral("A"));
    EXPECT_EQ(window->ItemNode(a)->Path(), m_home + "/A");
    {
        ModalScript script;
        TypeCatalog(script, QStringLiteral("Z"), QStringLiteral("about A"));
        script.Then<QMessageBox>([&](QMessageBox* box) {
            EXPECT_EQ(box->text(), question);
            box->button(QMessageBox::Yes)->click();
        });
        window->OnCommand(kCmdEditNode);
        EXPECT_TRUE(script.Finished());
    }
    EXPECT_EQ(Rows(), "1:Z:0:1 2:Inside:1:2");
    EXPECT_EQ(a.data().toString(), QStringLiteral("Z"));
    EXPECT_EQ(window->ItemNode(a)->Path(), m_home + "/Z");
    EXPECT_EQ(Bytes(m_home + "/Z/photo.jpg"), "photo");
}

TEST_F(CatalogCommandsTest, DeleteAsksFirstAndRemovesRowsItemsAndFilesAsSet) {
    AddRow(1, "Physics", 0, 0, "", 1);
    AddRow(2, "Optics", 1, 0, "", 2);
    AddRow(3, "Lenses", 2, 1, "lens.txt", 3);
    AddRow(4, "Chemistry", 0, 0, "", 1);
    AddRow(5, "Salts", 4, 1, "salts.txt", 2);
    AddRow(6, "Acids", 4, 1, "acids.txt", 2);
    fs::create_directories(m_home + "/Physics/Optics");
    WriteFile(m_home + "/Physics/Optics/lens.txt");
    fs::create_directories(m_home + "/Chemistry");
    WriteFile(m_home + "/Chemistry/salts.txt");
    WriteFile(m_home + "/Chemistry/acids.txt");
    auto window = OpenWindow();
    {
        ModalScript script;
        script.ThenMessage(QStringLiteral("Please select a catalog or document which you want to delete"));
        window->OnCommand(kCmdDeleteNode);
        // Cancel changes nothing.
        window->SelectItem(FindTopItem(*window, "Physics"));
        AnswerConfirmation(script, QStringLiteral("Are you true you want to delete CatalogPhysics"),
                           QMessageBox::Cancel);
        window->OnCommand(kCmdDeleteNode);
        // Without DELDOC_AFTERDELNODE the rows go and the files stay.
        AnswerConfirmation(script, QStringLiteral("Are you true you want to delete CatalogPhysics"), QMessageBox::Ok);
        window->OnCommand(kCmdDeleteNode);
        EXPECT_TRUE(script.Finished());
    }
    EXPECT_EQ(Rows(), "4:Chemistry:0:1 5:Salts:4:2 6:Acids:4:2");
    EXPECT_TRUE(fs::exists(m_home + "/Physics/Optics/lens.txt"));
    EXPECT_EQ(TreeText(*window), "Chemistry(Salts,Acids)");
    const QPersistentModelIndex moved = FindTopItem(*window, "Chemistry");
    EXPECT_EQ(moved.row(), 0);
    EXPECT_EQ(window->GetParentItem(ChildItem(*window, moved, QStringLiteral("Acids"))), moved)
        << "children find their parent at its new row";
    // The item after the deleted one is selected now, and the pane follows it.
    EXPECT_EQ(window->findChild<QPlainTextEdit*>("commentPane")->toPlainText(), QStringLiteral("about Chemistry"));

    // With it, a document's file goes alone, then a catalog's directory with all below it.
    SetDeleteFiles();
    window.reset();
    window = OpenWindow();
    const QPersistentModelIndex chemistry = FindTopItem(*window, "Chemistry");
    window->SelectItem(ChildItem(*window, chemistry, QStringLiteral("Salts")));
    {
        ModalScript script;
        AnswerConfirmation(script, QStringLiteral("Are you true you want to delete DocumentSalts"), QMessageBox::Ok);
        window->OnCommand(kCmdDeleteNode);
        EXPECT_TRUE(script.Finished());
    }
    EXPECT_FALSE(fs::exists(m_home + "/Chemistry/salts.txt"));
    EXPECT_TRUE(fs::exists(m_home + "/Chemistry/acids.txt"));
    window->SelectItem(chemistry);
    {
        ModalScript script;
        AnswerConfirmation(script, QStringLiteral("Are you true you want to delete CatalogChemistry"), QMessageBox::Ok);
        window->OnCommand(kCmdDeleteNode);
        EXPECT_TRUE(script.Finished());
    }
    EXPECT_FALSE(fs::exists(m_home + "/Chemistry"));
    EXPECT_EQ(Rows(), "");
    EXPECT_EQ(window->GetSelectedItem(), QModelIndex());
    EXPECT_EQ(window->findChild<QPlainTextEdit*>("commentPane")->toPlainText(), QStringLiteral("about Chemistry"))
        << "with nothing left to select, the pane keeps the last comment";
    EXPECT_EQ(TreeText(*window), "");
    window.reset();
    window = OpenWindow();
    EXPECT_EQ(TreeText(*window), "");
}

TEST_F(CatalogCommandsTest, DeleteNeverTakesFilesThatOthersUseOrThatLieOutside) {
    SetDeleteFiles();
    AddRow(1, "a", 0, 0, "", 1);
    AddRow(2, "a/b", 0, 0, "", 1);
    AddRow(3, "../outside", 0, 0, "", 1);
    AddRow(4, "Kept", 0, 0, "", 1);
    fs::create_directories(m_home + "/a/b");
    WriteFile(m_home + "/a/mine.txt");
    WriteFile(m_home + "/a/b/theirs.txt");
    const std::string outside = m_dir.File("outside");
    fs::create_directories(outside);
    WriteFile(outside + "/precious.txt");
    fs::create_directories(m_home + "/Kept");
    auto window = OpenWindow();
    {
        ModalScript script;
        window->SelectItem(FindTopItem(*window, "a"));
        AnswerConfirmation(script, QStringLiteral("Are you true you want to delete Cataloga"), QMessageBox::Ok);
        script.ThenMessage(QStringLiteral("The files were kept on disk because other catalogs or documents use them"));
        window->OnCommand(kCmdDeleteNode);
        window->SelectItem(FindTopItem(*window, "../outside"));
        AnswerConfirmation(script, QStringLiteral("Are you true you want to delete Catalog../outside"),
                           QMessageBox::Ok);
        script.ThenMessage(QStringLiteral("Some files could not be deleted"));
        window->OnCommand(kCmdDeleteNode);
        EXPECT_TRUE(script.Finished());
    }
    EXPECT_TRUE(fs::exists(m_home + "/a/mine.txt"));
    EXPECT_TRUE(fs::exists(m_home + "/a/b/theirs.txt"));
    EXPECT_TRUE(fs::exists(outside + "/precious.txt"));
    EXPECT_EQ(Rows(), "2:a/b:0:1 4:Kept:0:1");

    // Rows that cannot be deleted: nothing changes, not the tree and not the disk.
    ChangeStoreBehindWindow("create trigger no_delete before delete on FILE_NODE begin select raise(abort,'locked');"
                            " end;");
    {
        ModalScript script;
        window->SelectItem(FindTopItem(*window, "Kept"));
        AnswerConfirmation(script, QStringLiteral("Are you true you want to delete CatalogKept"), QMessageBox::Ok);
        script.ThenMessage(QStringLiteral("The change could not be saved"));
        window->OnCommand(kCmdDeleteNode);
        EXPECT_TRUE(script.Finished());
    }
    EXPECT_TRUE(fs::is_directory(m_home + "/Kept"));
    EXPECT_EQ(TreeText(*window), "a/b,Kept");
    window.reset();
    window = OpenWindow();
    EXPECT_EQ(TreeText(*window), "a/b,Kept");
}

TEST_F(CatalogCommandsTest, AnImmutableHomeDirectoryIsReportedAndNothingIsLost) {
    SetDeleteFiles();
    AddRow(1, "Physics", 0, 0, "", 1);
    fs::create_directories(m_home + "/Physics");
    WriteFile(m_home + "/Physics/keep.txt");
    auto window = OpenWindow();
    if (RunProcess({"chattr", "+i", m_home}).exitCode != 0) {
        GTEST_SKIP() << "chattr +i does not work here (needs root and a file system that supports it)";
    }
    const QPersistentModelIndex physics = FindTopItem(*window, "Physics");
    {
        ModalScript script;
        // Its directory cannot be made, so the catalog is not added: no row, no folder.
        TypeCatalog(script, QStringLiteral("Chemistry"));
        script.ThenMessage(QStringLiteral("Add a new sub catalog failure"));
        window->OnCommand(kCmdAddSubCatalog);
        window->SelectItem(physics);
        TypeCatalog(script, QStringLiteral("Biology"));
        script.ThenMessage(QStringLiteral("The catalog's directory could not be renamed; nothing was changed"));
        window->OnCommand(kCmdEditNode);
        // The trash cannot be made there: nothing is deleted, and the user is told.
        AnswerConfirmation(script, QStringLiteral("Are you true you want to delete CatalogPhysics"), QMessageBox::Ok);
        script.ThenMessage(QStringLiteral("The files could not be moved to the trash, so nothing was deleted."));
        window->OnCommand(kCmdDeleteNode);
        EXPECT_TRUE(script.Finished());
    }
    RunProcess({"chattr", "-i", m_home});
    EXPECT_TRUE(fs::exists(m_home + "/Physics/keep.txt"));
    EXPECT_FALSE(fs::exists(m_home + "/Chemistry"));
    EXPECT_FALSE(fs::exists(m_home + "/.marrowdex-trash"));
    EXPECT_EQ(Rows(), "1:Physics:0:1");
    EXPECT_EQ(TreeText(*window), "Physics");
    window.reset();
    window = OpenWindow();
    EXPECT_EQ(TreeText(*window), "Physics");
}

} // namespace
} // namespace mwdx::test
