// The health check as a user meets it: the Check button, the window's findings grouped by kind,
// each repair pressed in turn on a deliberately damaged knowledge base, the reminder at the next
// start, and "Import folder…" in the tree's menu, with Cancel.

#include "app/progress.h"
#include "check/check_dlg.h"
#include "gui_fixture.h"
#include "store/connection.h"
#include "store/journal.h"
#include "store/settings.h"
#include "support/open_gate.h"
#include "support/process.h"

#include <QFileDialog>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTreeView>
#include <QTreeWidget>
#include <filesystem>
#include <map>
#include <thread>

namespace fs = std::filesystem;

namespace mwdx::test {
namespace {

// The kinds' rows of the check window, as shown ("text (count)").
QStringList Groups(CCheckDlg& dialog) {
    QStringList groups;
    auto* tree = Child<QTreeWidget>(&dialog, "findingsTree");
    for (int i = 0; i < tree->topLevelItemCount(); ++i) {
        groups << tree->topLevelItem(i)->text(0);
    }
    return groups;
}

// Selects the row of the kind whose text starts with `kind`, or its finding shown as `finding`.
void Select(CCheckDlg& dialog, const QString& kind, const QString& finding = {}) {
    auto* tree = Child<QTreeWidget>(&dialog, "findingsTree");
    for (int i = 0; i < tree->topLevelItemCount(); ++i) {
        QTreeWidgetItem* group = tree->topLevelItem(i);
        if (!group->text(0).startsWith(kind)) {
            continue;
        }
        if (finding.isEmpty()) {
            tree->setCurrentItem(group);
            return;
        }
        for (int j = 0; j < group->childCount(); ++j) {
            if (group->child(j)->text(0) == finding) {
                tree->setCurrentItem(group->child(j));
                return;
            }
        }
    }
    ADD_FAILURE() << "no row " << kind.toStdString() << " " << finding.toStdString();
}

void Press(CCheckDlg& dialog, const char* button) {
    auto* pressed = Child<QPushButton>(&dialog, button);
    ASSERT_TRUE(pressed->isEnabled()) << button;
    pressed->click();
}

// Answers the confirmation showing exactly `text` with `answer`.
void Answer(ModalScript& script, const QString& text, QMessageBox::StandardButton answer) {
    script.Then<QMessageBox>([text, answer](QMessageBox* box) {
        EXPECT_EQ(box->text(), text);
        box->button(answer)->click();
    });
}

QString Verdict(CCheckDlg& dialog) {
    return Child<QLabel>(&dialog, "verdictLabel")->text();
}

// Chooses the file `name` in `folder` in the file chooser, once the chooser lists it.
void ChooseFile(ModalScript& script, const std::string& folder, const QString& name) {
    script.Then<QFileDialog>(
        [folder, name](QFileDialog* chooser) {
            chooser->setDirectory(QString::fromStdString(folder));
            auto* list = Child<QListView>(chooser, "listView");
            QModelIndex row;
            EXPECT_TRUE(WaitUntil([&] {
                const QModelIndex root = list->rootIndex();
                for (int r = 0; r < list->model()->rowCount(root); ++r) {
                    if (list->model()->index(r, 0, root).data().toString() == name) {
                        row = list->model()->index(r, 0, root);
                    }
                }
                return row.isValid();
            }));
            list->setCurrentIndex(row);
            static_cast<QDialog*>(chooser)->accept(); // the chooser's own accept is protected
        },
        "the file chooser");
}

class CheckWindow : public GuiTest {
protected:
    // FILE_NODE as "id name level" lines joined by ';', in id order.
    std::string Rows() {
        return QueryText(m_db, "select group_concat(FILE_ID||' '||FILE_NAME||' '||PARENT_ID||' '||PATH_LEVEL,';') "
                               "from (select * from FILE_NODE order by FILE_ID);");
    }
};

TEST_F(CheckWindow, ADamagedKnowledgeBaseIsMendedKindByKindAndNoFileIsLost) {
    const ScopedLocale locale("en_US.UTF-8");
    MakeDatabase(true);
    RunSql(m_db, "insert into FILE_NODE values"
                 "(1,'Physics',0,'',0,'',1),"
                 "(2,'Optics',1,'',0,'',2),"                // its folder is gone
                 "(3,'Lens',1,'',1,'lens.pdf',2),"          // its file is gone
                 "(4,'Notes',1,'',1,'notes.txt',5),"        // stored at the wrong level
                 "(5,'Old',0,'',1,'old.txt',1),"            // its file is gone
                 "(6,'Lost',99,'',0,'',2),"                 // its parent's row is gone
                 "(7,'Lost child',6,'',1,'child.txt',3);"); // and so this one cannot be placed
    PutFile(m_home + "/Physics/notes.txt", "notes");
    PutFile(m_home + "/Physics/extra.txt", "extra");
    PutFile(m_home + "/Physics/late.txt", "late");
    PutFile(m_home + "/Scans/a.jpg", "jpeg");
    fs::copy(m_program + "/js", m_home + "/js", fs::copy_options::recursive);
    fs::remove(m_home + "/js/dtree.css");
    PutFile(m_home + "/js/dtree.js", "the user's own script");
    const std::string inbox = m_dir.File("inbox");
    PutFile(inbox + "/lens copy.pdf", "lens");
    const auto before = FilesBelow(m_home);

    auto window = OpenWindow();
    {
        // At start the rows that could not be placed are told once, pointing to Check.
        ModalScript script;
        script.ThenMessage(QStringLiteral("Some entries of the knowledge base are damaged and could not be shown. "
                                          "Entries: 2\nClick Check to see them and mend them."));
        ASSERT_TRUE(WaitUntil([&] { return script.Finished() && TopModal() == nullptr; }));
    }
    // A crash left an added document's row unwritten, and the start could not settle it.
    JournalEntry late;
    late.kind = kJournalAddDocument;
    late.parentId = 1;
    late.toPath = m_home + "/Physics/late.txt";
    late.name = "Late";
    late.rawFileName = "late.txt";
    late.fileType = 1;
    late.pathLevel = 2;
    ASSERT_EQ(WriteJournalEntry(late), kStatementOk);

    {
        ModalScript script;
        script.Then<CCheckDlg>([](CCheckDlg* dialog) {
            EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Check the knowledge base"));
            EXPECT_EQ(Verdict(*dialog), QStringLiteral("Problems found: 11"));
            EXPECT_EQ(Groups(*dialog),
                      (QStringList{QStringLiteral("Files or folders missing (3)"),
                                   QStringLiteral("Files and folders in the Home Directory that no catalog or document "
                                                  "owns (3)"),
                                   QStringLiteral("Entries that could not be shown (2)"),
                                   QStringLiteral("Entries whose stored level is wrong (1)"),
                                   QStringLiteral("Commands left unfinished by a crash (1)"),
                                   QStringLiteral("The index page's js folder is missing or incomplete (1)")}));
            // Files an unfinished command may own are not imported before it is settled.
            Select(*dialog, QStringLiteral("Files and folders"));
            EXPECT_FALSE(Child<QPushButton>(dialog, "importButton")->isEnabled());
            EXPECT_FALSE(Child<QPushButton>(dialog, "locateButton")->isEnabled());
            Child<QPushButton>(dialog, "closeButton")->click();
        });
        Child<QPushButton>(window.get(), "checkButton")->click();
        EXPECT_TRUE(script.Finished());
    }

    CCheckDlg dialog(*window);
    dialog.show();
    ModalScript script;
    // Unfinished: the document's file is there, so its row is written now.
    script.ThenMessage(QStringLiteral("The program ended in the middle of a command. The command has now been "
                                      "completed:\n") +
                       QString::fromStdString(m_home + "/Physics/late.txt"));
    Select(dialog, QStringLiteral("Commands"));
    Press(dialog, "finishButton");
    EXPECT_TRUE(script.Finished());
    EXPECT_TRUE(ReadJournal().empty());
    EXPECT_EQ(Verdict(dialog), QStringLiteral("Problems found: 9")) << "late.txt has its row now";

    // Untracked: taken in place, each under the catalog whose folder holds it.
    Select(dialog, QStringLiteral("Files and folders"));
    Press(dialog, "importButton");
    EXPECT_EQ(TreeText(*window), "Physics(Optics,Lens,Notes,Late,extra.txt),Old,Scans(a.jpg)");

    // Wrong levels: rewritten. Unplaced rows: attached under "Recovered", their files left where
    // they are (so they are missing now, to be located).
    Select(dialog, QStringLiteral("Entries whose"));
    Press(dialog, "rewriteButton");
    Select(dialog, QStringLiteral("Entries that could not"));
    Press(dialog, "attachButton");
    EXPECT_EQ(TreeText(*window),
              "Physics(Optics,Lens,Notes,Late,extra.txt),Old,Scans(a.jpg),Recovered(Lost(Lost child))");
    EXPECT_EQ(QueryText(m_db, "select PATH_LEVEL from FILE_NODE where FILE_ID=4;"), "2");
    EXPECT_EQ(Groups(dialog), (QStringList{QStringLiteral("Files or folders missing (5)"),
                                           QStringLiteral("The index page's js folder is missing or incomplete (1)")}));

    // Missing: a catalog's folder made again; a document's file chosen and copied into place.
    Select(dialog, QStringLiteral("Files or folders missing"), QStringLiteral("Physics/Optics"));
    Press(dialog, "locateButton");
    EXPECT_TRUE(fs::is_directory(m_home + "/Physics/Optics"));
    ChooseFile(script, inbox, QStringLiteral("lens copy.pdf"));
    Select(dialog, QStringLiteral("Files or folders missing"), QStringLiteral("Physics/lens.pdf"));
    Press(dialog, "locateButton");
    EXPECT_TRUE(script.Finished());
    EXPECT_EQ(Bytes(m_home + "/Physics/lens.pdf"), "lens");
    EXPECT_EQ(Bytes(inbox + "/lens copy.pdf"), "lens") << "copied, as adding a document does with the option off";

    // The rest removed from the tree after a confirmation (the first one refused).
    const auto confirm = [&](QMessageBox::StandardButton answer) {
        Answer(script,
               QStringLiteral("Remove these catalogs and documents from the tree? Their files are missing; nothing on "
                              "disk is deleted. Entries: 3"),
               answer);
    };
    confirm(QMessageBox::Cancel);
    Select(dialog, QStringLiteral("Files or folders missing"));
    Press(dialog, "removeButton");
    EXPECT_EQ(Verdict(dialog), QStringLiteral("Problems found: 4"));
    confirm(QMessageBox::Ok);
    Press(dialog, "removeButton");
    EXPECT_TRUE(script.Finished());
    EXPECT_EQ(TreeText(*window), "Physics(Optics,Lens,Notes,Late,extra.txt),Scans(a.jpg),Recovered");

    // The script folder: what is missing copied again, the user's own file kept.
    Select(dialog, QStringLiteral("The index page"));
    Press(dialog, "copyScriptButton");
    EXPECT_EQ(Bytes(m_home + "/js/dtree.css"), Bytes(m_program + "/js/dtree.css"));
    EXPECT_EQ(Bytes(m_home + "/js/dtree.js"), "the user's own script");

    EXPECT_EQ(Verdict(dialog), QStringLiteral("The knowledge base is healthy."));
    EXPECT_EQ(Groups(dialog), QStringList{});
    EXPECT_EQ(QueryText(m_db, "select FINDINGS from MWDX_LAST_CHECK;"), "0");
    EXPECT_EQ(Rows(), "1 Physics 0 1;2 Optics 1 2;3 Lens 1 2;4 Notes 1 2;8 Late 1 2;9 extra.txt 1 2;10 Scans 0 1;"
                      "11 a.jpg 10 2;12 Recovered 0 1")
        << "every level right, the removed rows gone";
    for (const auto& [path, bytes] : before) {
        EXPECT_EQ(Bytes(m_home + "/" + path), bytes) << path;
    }
}

TEST_F(CheckWindow, ARecordThatDoesNotFitIsToldAtStartNeverCarriedOutAndDiscardedInTheCheck) {
    const ScopedLocale locale("en_US.UTF-8");
    MakeDatabase(true);
    RunSql(m_db, "insert into FILE_NODE values(1,'Physics',0,'',0,'',1);");
    fs::create_directories(m_home + "/Physics");
    fs::copy(m_program + "/js", m_home + "/js", fs::copy_options::recursive);
    const std::string outside = m_dir.File("Private");
    PutFile(outside + "/letter.txt", "dear mother");
    // The store came from elsewhere, its journal with it: a moved import whose originals and copy
    // are one folder outside the Home Directory.
    OpenStore(m_db);
    JournalEntry planted{
        .kind = "import", .step = kJournalRowsWritten, .fromPath = outside, .toPath = outside, .flags = 1};
    ASSERT_EQ(WriteJournalEntry(planted), kStatementOk);
    CloseStore();

    auto window = OpenWindow();
    {
        ModalScript script;
        script.ThenMessage(QStringLiteral("The knowledge base holds records of unfinished commands that do not fit it. "
                                          "They were not carried out. Click Check to see them and discard them:\n") +
                           QString::fromStdString(outside));
        ASSERT_TRUE(WaitUntil([&] { return script.Finished() && TopModal() == nullptr; }));
    }
    EXPECT_EQ(Bytes(outside + "/letter.txt"), "dear mother");

    CCheckDlg dialog(*window);
    dialog.show();
    EXPECT_EQ(Groups(dialog), QStringList{QStringLiteral(
                                  "Records of unfinished commands that do not fit the knowledge base (not carried "
                                  "out) (1)")});
    Select(dialog, QStringLiteral("Records"), QString::fromStdString(outside));
    EXPECT_FALSE(Child<QPushButton>(&dialog, "finishButton")->isEnabled()) << "it is not to be finished";
    ModalScript script;
    const auto discard = [&](QMessageBox::StandardButton answer) {
        Answer(script,
               QStringLiteral("Discard these records? The commands they describe are not carried out, and nothing on "
                              "disk is changed. Records: 1"),
               answer);
    };
    discard(QMessageBox::Cancel);
    Press(dialog, "discardButton");
    EXPECT_EQ(ReadJournal().size(), 1u);
    discard(QMessageBox::Ok);
    Press(dialog, "discardButton");
    EXPECT_TRUE(script.Finished());
    EXPECT_TRUE(ReadJournal().empty());
    EXPECT_EQ(Verdict(dialog), QStringLiteral("The knowledge base is healthy."));
    EXPECT_EQ(Bytes(outside + "/letter.txt"), "dear mother");
}

TEST_F(CheckWindow, WhatTheLastCheckFoundIsToldOnceAtTheNextStartWhichWritesNothing) {
    const ScopedLocale locale("en_US.UTF-8");
    MakeDatabase(true);
    RunSql(m_db, "insert into FILE_NODE values(1,'Physics',0,'',0,'',1),(2,'Lens',1,'',1,'lens.pdf',2);");
    fs::create_directories(m_home + "/Physics");
    fs::copy(m_program + "/js", m_home + "/js", fs::copy_options::recursive);
    {
        auto window = OpenWindow();
        QTest::qWait(kStartupDelayMs + 300);
        EXPECT_EQ(TopModal(), nullptr) << "never checked: nothing to tell";
        EXPECT_EQ(QueryText(m_db, "select count(*) from sqlite_master where name='MWDX_LAST_CHECK';"), "0");
        CCheckDlg dialog(*window);
        EXPECT_EQ(dialog.Report().findings.size(), 1u);
    }
    EXPECT_EQ(QueryText(m_db, "select FINDINGS from MWDX_LAST_CHECK;"), "1");
    const std::string stored = Bytes(m_db);

    auto window = OpenWindow();
    ModalScript script;
    script.ThenMessage(QStringLiteral("The last check of the knowledge base found problems: 1\nClick Check to see "
                                      "them and mend them."));
    ASSERT_TRUE(WaitUntil([&] { return script.Finished() && TopModal() == nullptr; }));
    QTest::qWait(kStartupDelayMs);
    EXPECT_EQ(TopModal(), nullptr) << "said once";
    EXPECT_EQ(Bytes(m_db), stored) << "the start only read";
}

// A kind with more findings than anyone reads lists the first of them and says how many more
// there are, so the window opens at once; a repair of the whole kind still acts on every one.
TEST_F(CheckWindow, AKindWithThousandsOfFindingsListsTheFirstAndCountsTheRest) {
    const ScopedLocale locale("en_US.UTF-8");
    MakeDatabase(true);
    RunSql(m_db, "insert into FILE_NODE values(1,'Physics',0,'',0,'',1);"
                 "with recursive n(i) as (select 1 union all select i+1 from n where i < 6200) "
                 "insert into FILE_NODE(FILE_NAME,PARENT_ID,COMMENT,FILETYPE,RAW_FILE_NAME,PATH_LEVEL) "
                 "select 'doc'||i, 1, '', 1, 'doc'||i||'.txt', 2 from n;");
    fs::create_directories(m_home + "/Physics");
    fs::copy(m_program + "/js", m_home + "/js", fs::copy_options::recursive);
    auto window = OpenWindow();
    ModalScript script;
    script.Then<CCheckDlg>([&](CCheckDlg* dialog) {
        EXPECT_EQ(Groups(*dialog).join(QLatin1Char('|')).toStdString(), "Files or folders missing (6200)");
        auto* tree = Child<QTreeWidget>(dialog, "findingsTree");
        QTreeWidgetItem* group = tree->topLevelItem(0);
        ASSERT_EQ(group->childCount(), 5001);
        EXPECT_EQ(group->child(5000)->text(0).toStdString(),
                  "\u2026 and 1200 more (the repair of the whole kind acts on them too)");
        // "Remove…" on the kind asks about every one of them.
        Select(*dialog, QStringLiteral("Files or folders missing"));
        script.Then<QMessageBox>([](QMessageBox* box) {
            EXPECT_TRUE(box->text().endsWith(QStringLiteral("6200"))) << box->text().toStdString();
            box->button(QMessageBox::Cancel)->click();
        });
        Press(*dialog, "removeButton");
        Press(*dialog, "closeButton");
    });
    window->OnCommand(kCmdCheck);
    EXPECT_TRUE(script.Finished());
}

TEST_F(CheckWindow, ImportFolderCopiesATreeInAndACancelKeepsWhatIsDone) {
    const ScopedLocale locale("en_US.UTF-8");
    MakeDatabase(true);
    RunSql(m_db, "insert into FILE_NODE values(1,'Physics',0,'',0,'',1);");
    fs::create_directories(m_home + "/Physics");
    const std::string inbox = m_dir.File("inbox");
    PutFile(inbox + "/Trip/plan.txt", "plan");
    PutFile(inbox + "/Trip/Photos/beach.jpg", "beach");
    fs::create_symlink("/etc/hostname", inbox + "/Trip/link");
    auto window = OpenWindow();
    QTest::qWait(kStartupDelayMs + 100);

    // Copied in at the top level: the menu opened below the last item, though Physics is selected.
    window->SelectItem(FindTopItem(*window, "Physics"));
    ModalScript script;
    script
        .Then<QMenu>(
            [](QMenu* menu) {
                QAction* import = nullptr;
                for (QAction* action : menu->actions()) {
                    import = action->data().toInt() == kCmdImportFolder ? action : import;
                }
                ASSERT_NE(import, nullptr);
                EXPECT_EQ(import->text(), QStringLiteral("Import folder\u2026"));
                menu->setActiveAction(import);
                QTest::keyClick(menu, Qt::Key_Return);
            },
            "the tree's menu")
        .Then<QFileDialog>(
            [&](QFileDialog* chooser) {
                chooser->setDirectory(QString::fromStdString(inbox + "/Trip"));
                static_cast<QDialog*>(chooser)->accept();
            },
            "the folder chooser")
        .Then<QMessageBox>([&](QMessageBox* box) {
            EXPECT_EQ(box->text(), QStringLiteral("Some entries were skipped: their names cannot be used here, or they "
                                                  "are links. Entries: 1"));
            EXPECT_EQ(box->detailedText().toStdString(),
                      inbox + "/Trip/link: a link, or not an ordinary file or folder");
            box->button(QMessageBox::Ok)->click();
        });
    const QPoint below(10, window->findChild<CTreeCtrlEx*>()->viewport()->height() - 5);
    QContextMenuEvent event(QContextMenuEvent::Mouse, below,
                            window->findChild<CTreeCtrlEx*>()->viewport()->mapToGlobal(below));
    QApplication::sendEvent(window->findChild<CTreeCtrlEx*>()->viewport(), &event);
    ASSERT_TRUE(WaitUntil([&] { return script.Finished() && TopModal() == nullptr; }));
    EXPECT_EQ(TreeText(*window), "Physics,Trip(Photos(beach.jpg),plan.txt)");
    EXPECT_EQ(Bytes(m_home + "/Trip/Photos/beach.jpg"), "beach");
    EXPECT_EQ(Bytes(inbox + "/Trip/plan.txt"), "plan") << "copied: the option to move is off";

    // Moved in under Physics; Cancel in the middle keeps what was imported, rows and files alike.
    ChangeStoreBehindWindow("update SYS_CONFIG set DELDOC_AFTERADDING=1;");
    LoadSettings();
    const std::string big = inbox + "/Big";
    for (int i = 0; i < 40; ++i) {
        PutFile(big + "/f" + std::to_string(100 + i) + ".txt", std::to_string(i));
    }
    // Five files go in; the sixth waits to be read until Cancel is pressed.
    std::vector<std::string> files;
    for (int i = 0; i < 40; ++i) {
        files.push_back(big + "/f" + std::to_string(100 + i) + ".txt");
    }
    OpenGate gate(files);
    if (!gate.Active()) {
        GTEST_SKIP() << gate.Reason();
    }
    gate.Release(5);
    script
        .Then<QFileDialog>(
            [&](QFileDialog* chooser) {
                chooser->setDirectory(QString::fromStdString(big));
                static_cast<QDialog*>(chooser)->accept();
            },
            "the folder chooser")
        .Then<CPRGDlg>([&](CPRGDlg* progress) {
            EXPECT_EQ(Child<QLabel>(progress, "textLabel")->text(),
                      QStringLiteral("Importing into the knowledge base, please wait"));
            EXPECT_TRUE(gate.WaitForWaiting(1));
            Child<QPushButton>(progress, "cancelButton")->click();
            gate.Open();
        })
        .ThenMessage(QStringLiteral("The import was cancelled. What was imported before is kept."));
    window->SelectItem(FindTopItem(*window, "Physics"));
    window->OnCommand(kCmdImportFolder);
    EXPECT_TRUE(script.Finished());
    const auto imported = FilesBelow(m_home + "/Physics/Big");
    const auto left = FilesBelow(big);
    EXPECT_EQ(imported.size(), 6u) << "the five, and the one under way when Cancel came";
    EXPECT_LT(imported.size(), 40u) << "stopped part-way";
    EXPECT_EQ(imported.size() + left.size(), 40u) << "every file in exactly one place";
    EXPECT_EQ(QueryText(m_db, "select count(*) from FILE_NODE where PARENT_ID=(select FILE_ID from FILE_NODE "
                              "where FILE_NAME='Big');"),
              std::to_string(imported.size()))
        << "each imported file has its row";
    EXPECT_EQ(TreeText(*window).substr(0, 16), "Physics(Big(f100");
}

} // namespace
} // namespace mwdx::test
