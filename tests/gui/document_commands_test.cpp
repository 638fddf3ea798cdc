#include "app/progress.h"
#include "app/tree_ctrl_ex.h"
#include "commands/doc_dlg.h"
#include "gui_fixture.h"
#include "platform/text_ids.h"
#include "store/connection.h"
#include "store/settings.h"
#include "support/open_gate.h"
#include "support/process.h"

#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sqlite3.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;

namespace mwdx::test {
namespace {

class DocumentCommands : public GuiTest {};

void WriteFile(const std::string& path, const std::string& content) {
    std::ofstream(path, std::ios::binary) << content;
}

// Every file and folder below `dir`, relative and sorted.
std::vector<std::string> Listing(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& entry : fs::recursive_directory_iterator(dir)) {
        names.push_back(fs::relative(entry.path(), dir).string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// FILE_NODE as "id|name|parent|comment|type|raw|level" rows joined by ';', in id order.
std::string Rows(const std::string& db) {
    return QueryText(db, "select group_concat(r,';') from (select FILE_ID||'|'||FILE_NAME||'|'||PARENT_ID||'|'||"
                         "COMMENT||'|'||FILETYPE||'|'||RAW_FILE_NAME||'|'||PATH_LEVEL as r from FILE_NODE "
                         "order by FILE_ID);");
}

// The display names of an item's children (of the top level for an invalid index).
QStringList Names(CMarrowdexDlg& window, const QModelIndex& parent) {
    return ChildNames(window, parent);
}

// The document dialog answered with a file, a name and a comment, then OK; `inspect` looks at the
// dialog first.
void FillDocument(ModalScript& script, const std::string& path, const QString& name, const QString& comment = {},
                  std::function<void(CDocDlg*)> inspect = {}) {
    script.Then<CDocDlg>(
        [=](CDocDlg* dialog) {
            if (inspect) {
                inspect(dialog);
            }
            Child<QLineEdit>(dialog, "pathEdit")->setText(QString::fromStdString(path));
            Child<QLineEdit>(dialog, "nameEdit")->setText(name);
            Child<QPlainTextEdit>(dialog, "commentEdit")->setPlainText(comment);
            Child<QPushButton>(dialog, "okButton")->click();
        },
        "the document dialog");
}

const QString kNotAdded =
    QStringLiteral("The document could not be moved or copied into the knowledge database; it was not added");

// Runs a command that shows the document dialog, answering it as above; a non-empty `message` is
// the refusal that must follow, after which the dialog comes back with what was typed and chosen,
// and is cancelled.
void Add(int command, CMarrowdexDlg& window, const std::string& path, const QString& name, const QString& message = {},
         const QString& comment = {}) {
    ModalScript script;
    FillDocument(script, path, name, comment);
    if (!message.isEmpty()) {
        script.ThenMessage(message);
        script.Then<CDocDlg>(
            [=](CDocDlg* dialog) {
                EXPECT_EQ(Child<QLineEdit>(dialog, "pathEdit")->text().toStdString(), path);
                EXPECT_EQ(Child<QLineEdit>(dialog, "nameEdit")->text(), name);
                EXPECT_EQ(Child<QPlainTextEdit>(dialog, "commentEdit")->toPlainText(), comment);
                Child<QPushButton>(dialog, "cancelButton")->click();
            },
            "the document dialog, back");
    }
    window.OnCommand(command);
    EXPECT_TRUE(script.Finished());
    EXPECT_EQ(TopModal(), nullptr) << "the progress window closed itself";
}

void InsertSampleRows(const std::string& db, int moveFlag) {
    RunSql(db, "update SYS_CONFIG set DELDOC_AFTERADDING=" + std::to_string(moveFlag) +
                   ";"
                   "insert into FILE_NODE(FILE_ID,FILE_NAME,PARENT_ID,COMMENT,FILETYPE,RAW_FILE_NAME,PATH_LEVEL) "
                   "values(1,'Physics',0,'',0,'',1),(2,'Optics',1,'A book',1,'optics.pdf',2);");
}

TEST_F(DocumentCommands, AddHereCopiesIntoTheCatalogBesideADocumentOrAtTheRoot) {
    const ScopedLocale locale("en_US.UTF-8");
    MakeDatabase(true);
    InsertSampleRows(m_db, 2); // any value but 1 copies
    // Physics' directory was deleted outside the program: the first add makes it again.
    const std::string inbox = m_dir.File("inbox");
    fs::create_directories(inbox);
    WriteFile(inbox + "/notes.txt", "first");
    WriteFile(inbox + "/waves.txt", "second");
    WriteFile(inbox + "/top.txt", "third");
    auto window = OpenWindow();
    const QPersistentModelIndex physics = FindTopItem(*window, "Physics");
    window->SelectItem(physics);

    {
        ModalScript script;
        FillDocument(script, inbox + "/notes.txt", QStringLiteral("Notes"), QStringLiteral("it's mine"),
                     [](CDocDlg* dialog) {
                         EXPECT_EQ(dialog->objectName(), QStringLiteral("documentDialog"));
                         EXPECT_EQ(dialog->windowTitle(),
                                   QStringLiteral("Select a new document which you want to add to knowledge database"));
                         EXPECT_EQ(Child<QLabel>(dialog, "nameLabel")->text(),
                                   QStringLiteral("Please type a new document name"));
                         EXPECT_EQ(Child<QLabel>(dialog, "commentLabel")->text(), QStringLiteral("Comment"));
                         EXPECT_TRUE(Child<QLineEdit>(dialog, "pathEdit")->isReadOnly());
                         EXPECT_TRUE(Child<QAbstractButton>(dialog, "chooseButton")->isEnabled());
                         EXPECT_EQ(dialog->focusWidget(), Child<QPushButton>(dialog, "okButton"));
                     });
        window->OnCommand(kCmdAddDocumentHere);
        EXPECT_TRUE(script.Finished());
    }
    EXPECT_EQ(Bytes(m_home + "/Physics/notes.txt"), "first");
    EXPECT_EQ(Bytes(inbox + "/notes.txt"), "first") << "copied, not moved";
    EXPECT_EQ(Names(*window, physics), (QStringList{"Optics", "Notes"}));
    EXPECT_TRUE(window->findChild<CTreeCtrlEx*>()->isExpanded(physics));
    EXPECT_EQ(window->GetSelectedItem(), physics) << "the new item is not selected";

    window->SelectItem(ChildItem(*window, physics, QStringLiteral("Optics"))); // the document
    Add(kCmdAddDocumentHere, *window, inbox + "/waves.txt", QStringLiteral("Waves"));
    EXPECT_EQ(Names(*window, physics), (QStringList{"Optics", "Notes", "Waves"}));
    EXPECT_EQ(Bytes(m_home + "/Physics/waves.txt"), "second");

    window->SelectItem({});
    Add(kCmdAddDocumentHere, *window, inbox + "/top.txt", QStringLiteral("Top"));
    EXPECT_EQ(Names(*window, {}), (QStringList{"Physics", "Top"}));
    EXPECT_EQ(Bytes(m_home + "/top.txt"), "third");
    EXPECT_EQ(window->ItemNode(FindTopItem(*window, "Top"))->Path(), m_home + "/top.txt");

    EXPECT_EQ(Rows(m_db), "1|Physics|0||0||1;2|Optics|1|A book|1|optics.pdf|2;3|Notes|1|it's mine|1|notes.txt|2;"
                          "4|Waves|1||1|waves.txt|2;5|Top|0||1|top.txt|1");
}

TEST_F(DocumentCommands, MovedDocumentsAreThereAtTheNextStart) {
    const ScopedLocale locale("en_US.UTF-8");
    MakeDatabase(true);
    InsertSampleRows(m_db, 1);
    const std::string inbox = m_dir.File("inbox");
    fs::create_directories(inbox);
    WriteFile(inbox + "/report.pdf", "report");
    WriteFile(inbox + "/größe.txt", "size");
    auto window = OpenWindow();
    const QPersistentModelIndex physics = FindTopItem(*window, "Physics");
    window->SelectItem(physics);

    Add(kCmdAddDocumentToRoot, *window, inbox + "/report.pdf", QStringLiteral("Report"));
    Add(kCmdAddDocumentHere, *window, inbox + "/größe.txt", QStringLiteral("Ann's Größe"), {},
        QStringLiteral("two\nlines"));
    EXPECT_EQ(Bytes(m_home + "/report.pdf"), "report");
    EXPECT_EQ(Bytes(m_home + "/Physics/größe.txt"), "size");
    EXPECT_EQ(Listing(inbox), std::vector<std::string>{}) << "moved, not copied";
    EXPECT_EQ(Names(*window, {}), (QStringList{"Physics", "Report"}));

    window.reset();
    auto again = OpenWindow();
    EXPECT_EQ(Names(*again, {}), (QStringList{"Physics", "Report"}));
    const QPersistentModelIndex reloaded = FindTopItem(*again, "Physics");
    EXPECT_EQ(Names(*again, reloaded), (QStringList{"Optics", QStringLiteral("Ann's Größe")}));
    const CatalogNode* added = again->ItemNode(ChildItem(*again, reloaded, QStringLiteral("Ann's Größe")));
    EXPECT_EQ(added->Details().comment, "two\nlines");
    EXPECT_EQ(added->Path(), m_home + "/Physics/größe.txt");
}

TEST_F(DocumentCommands, RefusedAddsChangeNothing) {
    const ScopedLocale locale("en_US.UTF-8");
    MakeDatabase(true);
    InsertSampleRows(m_db, 0);
    RunSql(m_db, "insert into FILE_NODE(FILE_ID,FILE_NAME,PARENT_ID,COMMENT,FILETYPE,RAW_FILE_NAME,PATH_LEVEL) "
                 "values(3,'../outside',0,'',0,'',1);");
    fs::create_directories(m_home + "/Physics");
    WriteFile(m_home + "/Physics/notes.txt", "older");
    const std::string inbox = m_dir.File("inbox");
    fs::create_directories(inbox);
    WriteFile(inbox + "/notes.txt", "newer");
    WriteFile(inbox + "/other.txt", "other");
    auto window = OpenWindow();
    const QPersistentModelIndex physics = FindTopItem(*window, "Physics");
    const std::string rows = Rows(m_db);
    const auto homeBefore = Listing(m_home);
    auto unchanged = [&] {
        EXPECT_EQ(Rows(m_db), rows);
        EXPECT_EQ(Listing(m_home), homeBefore);
        EXPECT_EQ(window->Catalog().NodeCount(), 3u);
        EXPECT_EQ(Names(*window, physics), QStringList{"Optics"});
        EXPECT_EQ(Names(*window, {}), (QStringList{"Physics", "../outside"}));
    };

    // A file of that name is already in the catalog's directory.
    window->SelectItem(physics);
    Add(kCmdAddDocumentHere, *window, inbox + "/notes.txt", QStringLiteral("Notes"),
        QStringLiteral("A file with this name is already in the catalog's directory"));
    unchanged();
    EXPECT_EQ(Bytes(m_home + "/Physics/notes.txt"), "older");
    EXPECT_EQ(Bytes(inbox + "/notes.txt"), "newer");

    // A catalog whose name leads out of the Home Directory.
    window->SelectItem(FindTopItem(*window, "../outside"));
    Add(kCmdAddDocumentHere, *window, inbox + "/other.txt", QStringLiteral("Other"), kNotAdded);
    unchanged();
    EXPECT_FALSE(fs::exists(m_dir.File("outside")));

    // The store is locked by another program: the row cannot be written, so no file moves.
    window->SelectItem(physics);
    ASSERT_EQ(ExecStatement("PRAGMA busy_timeout=100;"), kStatementOk);
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(m_db.c_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE;", nullptr, nullptr, nullptr), SQLITE_OK);
    Add(kCmdAddDocumentHere, *window, inbox + "/other.txt", QStringLiteral("Other"),
        QStringLiteral("Add a new sub catalog failure"));
    sqlite3_exec(other, "ROLLBACK;", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    unchanged();
    EXPECT_EQ(Bytes(inbox + "/other.txt"), "other");

    // A file name that cannot be a document's (a line break in it).
    const std::string oddName = inbox + "/line\nbreak.txt";
    WriteFile(oddName, "odd");
    Add(kCmdAddDocumentHere, *window, oddName, QStringLiteral("Odd"),
        QStringLiteral("This name cannot be used for a catalog or document"));
    unchanged();
    EXPECT_EQ(Bytes(oddName), "odd");
}

TEST_F(DocumentCommands, ATakenFileNameBringsTheWindowBackWithWhatWasTyped) {
    const ScopedLocale locale("en_US.UTF-8");
    MakeDatabase(true);
    InsertSampleRows(m_db, 0);
    fs::create_directories(m_home + "/Physics");
    WriteFile(m_home + "/Physics/notes.txt", "older");
    const std::string inbox = m_dir.File("inbox");
    fs::create_directories(inbox);
    WriteFile(inbox + "/notes.txt", "newer");
    WriteFile(inbox + "/notes-2.txt", "newer");
    auto window = OpenWindow();
    window->SelectItem(FindTopItem(*window, "Physics"));
    const QString comment = QStringLiteral("Lecture 3\nwritten in a hurry");

    // Refused: the same window again, the name, the comment and the file as they were; another
    // file chosen there, and the document is added with what was typed the first time.
    ModalScript script;
    FillDocument(script, inbox + "/notes.txt", QStringLiteral("My notes"), comment);
    script.ThenMessage(QStringLiteral("A file with this name is already in the catalog's directory"));
    script.Then<CDocDlg>(
        [&](CDocDlg* dialog) {
            EXPECT_EQ(Child<QLineEdit>(dialog, "pathEdit")->text().toStdString(), inbox + "/notes.txt");
            EXPECT_EQ(Child<QLineEdit>(dialog, "nameEdit")->text(), QStringLiteral("My notes"));
            EXPECT_EQ(Child<QPlainTextEdit>(dialog, "commentEdit")->toPlainText(), comment);
            Child<QLineEdit>(dialog, "pathEdit")->setText(QString::fromStdString(inbox + "/notes-2.txt"));
            Child<QPushButton>(dialog, "okButton")->click();
        },
        "the document dialog, back");
    window->OnCommand(kCmdAddDocumentHere);
    EXPECT_TRUE(script.Finished());
    EXPECT_EQ(QueryText(m_db, "select FILE_NAME||'|'||COMMENT||'|'||RAW_FILE_NAME from FILE_NODE where FILE_ID=3;"),
              "My notes|Lecture 3\nwritten in a hurry|notes-2.txt");
    EXPECT_EQ(Bytes(m_home + "/Physics/notes.txt"), "older");
    EXPECT_EQ(Bytes(m_home + "/Physics/notes-2.txt"), "newer");
}

TEST_F(DocumentCommands, CancelOrAMissingNameChangesNothing) {
    const ScopedLocale locale("en_US.UTF-8");
    MakeDatabase(true);
    InsertSampleRows(m_db, 1);
    const std::string source = m_dir.File("notes.txt");
    WriteFile(source, "kept");
    auto window = OpenWindow();
    const QPersistentModelIndex physics = FindTopItem(*window, "Physics");
    window->SelectItem(physics);
    const std::string rows = Rows(m_db);

    ModalScript script;
    script.Then<CDocDlg>([](CDocDlg* dialog) { Child<QPushButton>(dialog, "cancelButton")->click(); });
    window->OnCommand(kCmdAddDocumentHere);
    EXPECT_TRUE(script.Finished());

    FillDocument(script, source, QString());
    script.ThenMessage(QStringLiteral("Please select a document which you want to add knowledge database"));
    FillDocument(script, source, QStringLiteral(" \t\u3000 "));
    script.ThenMessage(QStringLiteral("Please select a document which you want to add knowledge database"));
    script.Then<CDocDlg>([&](CDocDlg* dialog) {
        EXPECT_EQ(Child<QLineEdit>(dialog, "pathEdit")->text().toStdString(), source) << "the chosen file stays";
        Child<QLineEdit>(dialog, "nameEdit")->setText(QStringLiteral("Notes"));
        Child<QLineEdit>(dialog, "pathEdit")->clear();
        Child<QPushButton>(dialog, "okButton")->click();
    });
    script.ThenMessage(QStringLiteral("Please select a document which you want to add knowledge database"));
    script.Then<CDocDlg>([](CDocDlg* dialog) { QTest::keyClick(dialog, Qt::Key_Escape); });
    window->OnCommand(kCmdAddDocumentHere);
    EXPECT_TRUE(script.Finished());

    EXPECT_EQ(Rows(m_db), rows);
    EXPECT_EQ(Names(*window, physics), QStringList{"Optics"});
    EXPECT_EQ(window->GetSelectedItem(), physics);
    EXPECT_EQ(Listing(m_home), std::vector<std::string>{});
    EXPECT_EQ(Bytes(source), "kept");
}

TEST_F(DocumentCommands, TheChooserOffersFilesWithoutADot) {
    const ScopedLocale locale("en_US.UTF-8");
    MakeDatabase(true);
    const std::string inbox = m_dir.File("inbox");
    fs::create_directories(inbox);
    WriteFile(inbox + "/README", "no dot");
    WriteFile(inbox + "/notes.txt", "dot");
    auto window = OpenWindow();

    ModalScript script;
    script.Then<CDocDlg>([](CDocDlg* dialog) { Child<QAbstractButton>(dialog, "chooseButton")->click(); });
    script.Then<QFileDialog>(
        [&](QFileDialog* chooser) {
            EXPECT_EQ(chooser->objectName(), QStringLiteral("fileChooser"));
            EXPECT_EQ(Child<QComboBox>(chooser, "fileTypeCombo")->currentText(), QStringLiteral("*.*"));
            chooser->setDirectory(QString::fromStdString(inbox));
            auto* list = Child<QListView>(chooser, "listView");
            const auto row = [list](const QString& name) {
                const QModelIndex root = list->rootIndex();
                for (int r = 0; r < list->model()->rowCount(root); ++r) {
                    if (list->model()->index(r, 0, root).data().toString() == name) {
                        return list->model()->index(r, 0, root);
                    }
                }
                return QModelIndex();
            };
            // Qt's chooser on Linux hides what the filter does not match.
            EXPECT_TRUE(WaitUntil([&] { return row("README").isValid() && row("notes.txt").isValid(); }));
            list->setCurrentIndex(row("README"));
            static_cast<QDialog*>(chooser)->accept(); // the chooser's own accept is protected
        },
        "the file chooser");
    script.Then<CDocDlg>([&](CDocDlg* dialog) {
        EXPECT_EQ(Child<QLineEdit>(dialog, "pathEdit")->text().toStdString(), inbox + "/README");
        EXPECT_TRUE(Child<QLineEdit>(dialog, "nameEdit")->text().isEmpty()) << "the name is not taken from the file";
        Child<QLineEdit>(dialog, "nameEdit")->setText(QStringLiteral("Read me"));
        Child<QPushButton>(dialog, "okButton")->click();
    });
    window->OnCommand(kCmdAddDocumentToRoot);
    EXPECT_TRUE(script.Finished());
    EXPECT_EQ(Bytes(m_home + "/README"), "no dot");
    EXPECT_EQ(Names(*window, {}), QStringList{"Read me"});
}

TEST_F(DocumentCommands, AMoveAcrossFileSystemsArrivesAndAFullOneRollsBack) {
    const ScopedLocale locale("en_US.UTF-8");
    const SmallFileSystem smallHome(m_home);
    if (!smallHome.Mounted()) {
        GTEST_SKIP() << smallHome.Reason();
    }
    MakeDatabase(true);
    RunSql(m_db, "update SYS_CONFIG set DELDOC_AFTERADDING=1;");
    const std::string inbox = m_dir.File("inbox");
    fs::create_directories(inbox);
    const std::string small(10 * 1024, 's');
    const std::string big(2 * 1024 * 1024, 'b');
    WriteFile(inbox + "/small.txt", small);
    WriteFile(inbox + "/big.bin", big);
    auto window = OpenWindow();

    Add(kCmdAddDocumentToRoot, *window, inbox + "/small.txt", QStringLiteral("Small"));
    EXPECT_EQ(Bytes(m_home + "/small.txt"), small);
    EXPECT_FALSE(fs::exists(inbox + "/small.txt"));

    Add(kCmdAddDocumentToRoot, *window, inbox + "/big.bin", QStringLiteral("Big"), kNotAdded);
    EXPECT_EQ(Rows(m_db), "1|Small|0||1|small.txt|1");
    EXPECT_EQ(Names(*window, {}), QStringList{"Small"});
    EXPECT_EQ(window->Catalog().NodeCount(), 1u);
    EXPECT_EQ(Bytes(inbox + "/big.bin"), big);
    EXPECT_EQ(Listing(m_home), std::vector<std::string>{"small.txt"}) << "no partial or temporary file";
}

TEST_F(DocumentCommands, AWorkThatEndsBeforeTheWindowShowsStillClosesIt) {
    WorkProgress work;
    CPRGDlg progress({ProgressLook::Kind::kTransfer, text::kTransferInProgress}, work);
    progress.NotifyWorkEnded();
    QApplication::processEvents(); // the notice is handled while there is no window to close yet

    bool timedOut = false;
    QTimer::singleShot(5000, &progress, [&] {
        timedOut = true;
        progress.done(QDialog::Rejected);
    });
    progress.exec();
    EXPECT_FALSE(timedOut) << "the window waited for a notice that had already come";
}

TEST_F(DocumentCommands, TheBarLoopsAndTheWindowStaysUntilASlowTransferEnds) {
    const ScopedLocale locale("en_US.UTF-8");
    MakeDatabase(true);
    // An empty file: its size tells nothing of how far the transfer has got, so the bar loops.
    const std::string source = m_dir.File("slow.txt");
    WriteFile(source, "");
    auto window = OpenWindow();

    // The file's open waits until the test has seen the bar loop.
    OpenGate gate({source});
    if (!gate.Active()) {
        GTEST_SKIP() << gate.Reason();
    }
    std::vector<int> shown; // the bar when the window shows, then after each tick
    ModalScript script;
    FillDocument(script, source, QStringLiteral("Slow"));
    script.Then<CPRGDlg>(
        [&](CPRGDlg* progress) {
            EXPECT_EQ(progress->objectName(), QStringLiteral("progressDialog"));
            EXPECT_TRUE(progress->windowFlags().testFlag(Qt::FramelessWindowHint));
            auto* text = Child<QLabel>(progress, "textLabel");
            EXPECT_EQ(text->text(),
                      QStringLiteral("Now moving Document to knowledge database,Please wait for a moment"));
            EXPECT_EQ(text->alignment(), Qt::AlignCenter);
            auto* bar = Child<QProgressBar>(progress, "progressBar");
            EXPECT_EQ(bar->minimum(), 0);
            EXPECT_EQ(bar->maximum(), 100);
            shown.push_back(bar->value());

            QTest::keyClick(progress, Qt::Key_Escape);
            EXPECT_FALSE(progress->close());
            EXPECT_TRUE(progress->isVisible()) << "the transfer has not ended";
            QObject::connect(Child<QTimer>(progress, "progressTimer"), &QTimer::timeout, progress, [&, bar] {
                shown.push_back(bar->value());
                if (shown.size() == 4) {
                    gate.Open();
                }
            });
        },
        "the progress window");
    window->OnCommand(kCmdAddDocumentToRoot);

    EXPECT_TRUE(script.Finished());
    EXPECT_EQ(shown, (std::vector<int>{10, 10, 20, 30}));
    EXPECT_TRUE(fs::is_regular_file(m_home + "/slow.txt"));
    EXPECT_EQ(Bytes(m_home + "/slow.txt"), "");
    EXPECT_EQ(Names(*window, {}), QStringList{"Slow"});
}

} // namespace
} // namespace mwdx::test
