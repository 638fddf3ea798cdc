// Files and folders dropped onto the tree from another program, as the window system delivers a
// drop of local files: each file becomes a document, each folder is imported, one window shows
// the batch's progress, Cancel stops after the file under way, and what failed is listed.

#include "app/progress.h"
#include "app/tree_ctrl_ex.h"
#include "gui_fixture.h"
#include "platform/text_ids.h"
#include "store/connection.h"
#include "support/open_gate.h"
#include "support/process.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <thread>

namespace fs = std::filesystem;

namespace mwdx::test {
namespace {

class DropFiles : public GuiTest {
protected:
    void SetUp() override {
        MakeDatabase(true);
        RunSql(m_db, "insert into FILE_NODE(FILE_ID,FILE_NAME,PARENT_ID,COMMENT,FILETYPE,RAW_FILE_NAME,PATH_LEVEL) "
                     "values(1,'Physics',0,'',0,'',1),(2,'Notes',1,'',1,'notes.txt',2),(3,'Maths',0,'',0,'',1);");
        fs::create_directories(m_home + "/Physics");
        fs::create_directories(m_home + "/Maths");
        std::ofstream(m_home + "/Physics/notes.txt") << "notes";
        fs::create_directories(m_inbox + "/Photos/Summer");
        Write(m_inbox + "/a.txt", 3000);
        Write(m_inbox + "/notes.txt", 10);
        Write(m_inbox + "/Photos/one.jpg", 500);
        Write(m_inbox + "/Photos/Summer/two.jpg", 700);
    }

    static void Write(const std::string& path, std::size_t bytes) { std::ofstream(path) << std::string(bytes, 'x'); }

    // Drops `paths` onto `target` (invalid: the empty space below the rows).
    void Drop(CMarrowdexDlg& window, const std::vector<std::string>& paths, const QModelIndex& target) {
        CTreeCtrlEx* tree = window.findChild<CTreeCtrlEx*>();
        QList<QUrl> urls;
        for (const std::string& path : paths) {
            urls << QUrl::fromLocalFile(QString::fromStdString(path));
        }
        QMimeData data;
        data.setUrls(urls);
        QPoint at(30, tree->viewport()->height() - 5);
        if (target.isValid()) {
            const QRect row = tree->ItemRect(target);
            at = {row.left() + 24, row.center().y()};
        }
        ASSERT_TRUE(DropOnWindow(&window, data, tree->viewport()->mapTo(&window, at), Qt::CopyAction));
    }

    // Drops as above and answers the message that lists what was not added; its text.
    QString DropAndReadMessage(CMarrowdexDlg& window, const std::vector<std::string>& paths, const QModelIndex& target) {
        QString message;
        ModalScript script;
        script.Then<QMessageBox>(
            [&](QMessageBox* box) {
                message = box->text();
                box->button(QMessageBox::Ok)->click();
            },
            "the list of what was not added");
        Drop(window, paths, target);
        EXPECT_TRUE(WaitUntil([&] { return script.Finished() && TopModal() == nullptr; }, 10000));
        return message;
    }

    std::string m_inbox = m_dir.File("inbox");
};

// Holds the open of each of `files` until the test has looked at the batch's window while it waits
// there (twice its refresh time, so that it shows the state of the moment), and records what the
// window showed each time.
class BatchWatcher final : public QObject {
public:
    explicit BatchWatcher(const std::vector<std::string>& files) : m_gate(files) {
        connect(&m_timer, &QTimer::timeout, this, [this] { Look(); });
        m_timer.start(10);
    }

    bool Active() const { return m_gate.Active(); }
    const std::string& Reason() const { return m_gate.Reason(); }

    QStringList seen; // "files | bytes | bar", once at each held open
    std::function<void(CPRGDlg*)> atFirstFile;

private:
    void Look() {
        auto* dialog = qobject_cast<CPRGDlg*>(QApplication::activeModalWidget());
        if (dialog == nullptr || dialog->objectName() != QStringLiteral("dropDialog") || m_gate.Waiting() == 0) {
            m_heldFor = 0;
            return;
        }
        if (++m_heldFor < 20) {
            return;
        }
        m_heldFor = 0;
        seen << QStringLiteral("%1 | %2 | %3")
                    .arg(dialog->findChild<QLabel*>(QStringLiteral("filesLabel"))->text(),
                         dialog->findChild<QLabel*>(QStringLiteral("bytesLabel"))->text())
                    .arg(dialog->findChild<QProgressBar*>(QStringLiteral("progressBar"))->value());
        if (m_gate.Passed() == 0 && atFirstFile) {
            atFirstFile(dialog);
        }
        m_gate.Release();
    }

    OpenGate m_gate;
    QTimer m_timer;
    int m_heldFor = 0; // looks since an open began to wait
};

TEST_F(DropFiles, EachFileBecomesADocumentAndFailuresAreListed) {
    const ScopedLocale locale("en_US.UTF-8");
    const std::string pipe = m_inbox + "/pipe";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    auto window = OpenWindow();
    window->ExpandItem(window->ItemOf(window->Catalog().NodeById(1)));

    // Onto the document Notes: into Physics. a.txt arrives; notes.txt is taken there; the pipe is
    // no file; a path that went away meanwhile is nothing; Photos comes in as a catalog.
    const std::string gone = m_inbox + "/gone.txt";
    BatchWatcher watcher({m_inbox + "/a.txt"});
    if (!watcher.Active()) {
        GTEST_SKIP() << watcher.Reason();
    }
    const QString message =
        DropAndReadMessage(*window, {m_inbox + "/a.txt", m_inbox + "/notes.txt", pipe, gone, m_inbox + "/Photos"},
                           window->ItemOf(window->Catalog().NodeById(2)));

    EXPECT_EQ(QueryText(m_db, "select FILE_NAME||'|'||COMMENT||'|'||RAW_FILE_NAME||'|'||PARENT_ID from FILE_NODE "
                              "where FILE_NAME='a.txt';"),
              "a.txt||a.txt|1");
    EXPECT_EQ(fs::file_size(m_home + "/Physics/a.txt"), 3000u);
    EXPECT_TRUE(fs::exists(m_inbox + "/a.txt")) << "copied: the option to move is off";
    EXPECT_EQ(QueryText(m_db, "select count(*) from FILE_NODE where PARENT_ID=(select FILE_ID from FILE_NODE "
                              "where FILE_NAME='Photos' and PARENT_ID=1);"),
              "2")
        << "one.jpg and Summer";
    EXPECT_TRUE(fs::exists(m_home + "/Physics/Photos/Summer/two.jpg"));
    EXPECT_EQ(QueryText(m_db, "select count(*) from FILE_NODE where RAW_FILE_NAME in ('notes.txt','pipe','gone.txt');"),
              "1")
        << "only the Notes that was there";
    EXPECT_EQ(fs::file_size(m_home + "/Physics/notes.txt"), 5u) << "never replaced";

    EXPECT_TRUE(message.startsWith(QStringLiteral("These files were not added:"))) << message.toStdString();
    EXPECT_TRUE(message.contains(QString::fromStdString(m_inbox + "/notes.txt: A file with this name is already in "
                                                                  "the catalog's directory")))
        << message.toStdString();
    EXPECT_TRUE(message.contains(QString::fromStdString(pipe + ": ")));
    EXPECT_TRUE(message.contains(QString::fromStdString(gone + ": ")));
    EXPECT_FALSE(message.contains(QStringLiteral("a.txt")));
    EXPECT_FALSE(message.contains(QStringLiteral("Photos")));

    // The window counted files and bytes of the whole batch (4210 bytes in all, the folder's
    // included), as seen while a.txt waited to be read.
    EXPECT_EQ(watcher.seen, QStringList{"Files: 0 of 5 | Size: 0 bytes of 4.11 KiB | 0"});
}

// With "Delete the original" on, a dropped folder that holds the program and its live store would
// take them away; the page's js folder would become a catalog; a name that is not UTF-8 would be
// read back as another name. None of them comes in, and each is listed with the reason.
TEST_F(DropFiles, TheProgramThePagesFolderAndNamesThatAreNotUtf8AreNeverDroppedIn) {
    const ScopedLocale locale("en_US.UTF-8");
    RunSql(m_db, "update SYS_CONFIG set DELDOC_AFTERADDING=1;");
    MakeFile(m_home + "/js/dtree.js", "script");
    MakeFile(m_inbox + "/Odd/ok.txt", "ok");
    MakeFile(m_inbox + "/Odd/bad\xff\xfe.txt", "bad");
    const std::vector<std::string> program = Entries(m_program);
    auto window = OpenWindow();
    const QString message = DropAndReadMessage(*window, {m_program, m_home + "/js", m_inbox + "/Odd"}, {});

    // Everything is still there; the only new files are the content index the window keeps.
    std::vector<std::string> after = Entries(m_program);
    std::erase_if(after, [](const std::string& name) { return name.starts_with("mymwdx_text.db"); });
    EXPECT_EQ(after, program);
    EXPECT_TRUE(IsStoreOpen());
    EXPECT_EQ(Bytes(m_home + "/js/dtree.js"), "script");
    EXPECT_EQ(QueryText(m_db, "select group_concat(FILE_NAME) from FILE_NODE where PARENT_ID=0;"), "Physics,Maths,Odd");
    EXPECT_TRUE(fs::exists(m_home + "/Odd/ok.txt"));
    EXPECT_TRUE(fs::exists(m_inbox + "/Odd/bad\xff\xfe.txt")) << "left where it was";
    EXPECT_TRUE(message.contains(QString::fromStdString(
        m_program + ": This folder is the program's own, or holds the program or its knowledge base file mymwdx.db. "
                    "It cannot be imported.")))
        << message.toStdString();
    EXPECT_TRUE(
        message.contains(QString::fromStdString(m_home + "/js: This name cannot be used for a catalog or document")))
        << message.toStdString();
    EXPECT_TRUE(message.contains(QString::fromStdString(m_inbox + "/Odd/bad") + QStringLiteral("\uFFFD\uFFFD") +
                                 QStringLiteral(".txt: the name is not valid UTF-8 text")))
        << message.toStdString();
}

TEST_F(DropFiles, CancelStopsAfterTheFileUnderWayAndKeepsWhatIsDone) {
    const ScopedLocale locale("en_US.UTF-8");
    Write(m_inbox + "/b.txt", 20);
    Write(m_inbox + "/c.txt", 30);
    auto window = OpenWindow();

    BatchWatcher watcher({m_inbox + "/a.txt", m_inbox + "/b.txt", m_inbox + "/c.txt"});
    if (!watcher.Active()) {
        GTEST_SKIP() << watcher.Reason();
    }
    watcher.atFirstFile = [](CPRGDlg* dialog) {
        EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Adding dropped files to the knowledge database"));
        dialog->findChild<QPushButton*>(QStringLiteral("cancelButton"))->click();
    };
    ModalScript script;
    script.ThenMessage(QStringLiteral("Cancelled. The files added until then were kept; the others were not added."));
    Drop(*window, {m_inbox + "/a.txt", m_inbox + "/b.txt", m_inbox + "/c.txt"}, {});
    EXPECT_TRUE(WaitUntil([&] { return script.Finished() && TopModal() == nullptr; }, 10000));

    // a.txt was under way: copied in at the top level. b.txt and c.txt were not added.
    EXPECT_EQ(fs::file_size(m_home + "/a.txt"), 3000u);
    EXPECT_EQ(QueryText(m_db, "select PARENT_ID||'|'||PATH_LEVEL from FILE_NODE where FILE_NAME='a.txt';"), "0|1");
    EXPECT_FALSE(fs::exists(m_home + "/b.txt"));
    EXPECT_FALSE(fs::exists(m_home + "/c.txt"));
    EXPECT_EQ(QueryText(m_db, "select count(*) from FILE_NODE where FILE_NAME in ('b.txt','c.txt');"), "0");
}

// Closing the window (or a signal to end) while files are being added: the file under way is
// finished, the rest are left, and then the window closes.
TEST_F(DropFiles, QuittingStopsTheBatchAfterTheFileUnderWay) {
    const ScopedLocale locale("en_US.UTF-8");
    Write(m_inbox + "/b.txt", 20);
    auto window = OpenWindow();
    BatchWatcher watcher({m_inbox + "/a.txt", m_inbox + "/b.txt"});
    if (!watcher.Active()) {
        GTEST_SKIP() << watcher.Reason();
    }
    watcher.atFirstFile = [&](CPRGDlg*) { window->RequestQuit(); };
    Drop(*window, {m_inbox + "/a.txt", m_inbox + "/b.txt"}, {});
    EXPECT_TRUE(WaitUntil([&] { return !window->isVisible(); }, 10000));
    EXPECT_TRUE(fs::exists(m_home + "/a.txt"));
    EXPECT_FALSE(fs::exists(m_home + "/b.txt"));
    EXPECT_EQ(QueryText(m_db, "select count(*) from FILE_NODE where FILE_NAME in ('a.txt','b.txt');"), "1");
}

// The single add's window shows the bytes of the file as they arrive, and loops only while no
// size is known.
TEST_F(DropFiles, TheProgressWindowShowsBytesOnceTheSizeIsKnown) {
    const ScopedLocale locale("en_US.UTF-8");
    auto window = OpenWindow();
    WorkProgress work;
    CPRGDlg progress({ProgressLook::Kind::kTransfer, text::kTransferInProgress}, work, window.get());
    auto* bar = Child<QProgressBar>(&progress, "progressBar");
    int loopingValue = -1;
    ModalScript script;
    script.Then<CPRGDlg>(
        [&](CPRGDlg* dialog) {
            loopingValue = bar->value();
            work.Report(250, 1000);
            QTimer::singleShot(300, dialog, [dialog] { dialog->NotifyWorkEnded(); });
        },
        "the progress window");
    progress.exec();
    EXPECT_TRUE(script.Finished());
    EXPECT_EQ(loopingValue, 10) << "the loop's first step, while the size is unknown";
    EXPECT_EQ(bar->maximum(), 1000);
    EXPECT_EQ(bar->value(), 250) << "a quarter of the bytes";
}

} // namespace
} // namespace mwdx::test
