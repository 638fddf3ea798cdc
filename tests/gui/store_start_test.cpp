// Starting on a knowledge base that is missing, empty, damaged, in use or locked, and a tree made
// stale by another program: the program says what is wrong and never touches what it cannot use.

#include "app/marrowdex_app.h"
#include "app/tree_ctrl_ex.h"
#include "config/config_dlg.h"
#include "commands/command_list.h"
#include "gui_fixture.h"
#include "platform/text_ids.h"
#include "store/connection.h"
#include "store/settings.h"
#include "store/store_session.h"
#include "support/process.h"

#include <QApplication>
#include <QCheckBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace mwdx::test {
namespace {

using StoreStartTest = GuiTest;

int TopLevelRows(CMarrowdexDlg& window) {
    return static_cast<int>(ChildNames(window, {}).size());
}

// Runs the program's start on the test's program folder and answers the one message it shows.
int StartExpectingMessage(const std::string& program, const QString& message) {
    ModalScript script;
    script.ThenMessage(message);
    const int status = RunMainWindow(program, MakeCommands);
    EXPECT_TRUE(script.Finished());
    return status;
}

// A child process that holds the lock the way any program would: flock(1) on the store's file.
class LockHolder final {
public:
    explicit LockHolder(const std::string& file) {
        m_pid = ::fork();
        if (m_pid == 0) {
            ::execlp("flock", "flock", "--exclusive", "--no-fork", file.c_str(), "sleep", "60",
                     static_cast<char*>(nullptr));
            ::_exit(127);
        }
    }
    ~LockHolder() { Kill(); }
    void Kill() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL); // as a crash ends it: nothing is released by hand
            ::waitpid(m_pid, nullptr, 0);
            m_pid = -1;
        }
    }

private:
    pid_t m_pid = -1;
};

TEST_F(StoreStartTest, ASecondProgramOnTheSameStoreSaysSoAndTouchesNothing) {
    const ScopedLocale locale("en_US.UTF-8");
    MakeDatabase(true);
    RunSql(m_db, "insert into FILE_NODE values(1,'Physics',0,'',0,'',1);");
    const QString inUse = QStringLiteral("This knowledge base is already open in another window of the program");

    auto first = OpenWindow();
    ASSERT_EQ(first->StartRefusal(), 0);
    const std::string bytes = Bytes(m_db);
    EXPECT_EQ(StartExpectingMessage(m_program, inUse), 1);
    EXPECT_EQ(Bytes(m_db), bytes);
    EXPECT_TRUE(IsStoreOpen()) << "the first window keeps its store";
    EXPECT_EQ(TopLevelRows(*first), 1);
    first.reset();

    // Another process holds it: refused until that process dies, and a kill releases it.
    LockHolder holder(m_db);
    ASSERT_TRUE(WaitUntil([&] {
        CMarrowdexDlg probe(m_program, MakeCommands);
        return probe.StartRefusal() == text::kStoreInUse;
    }));
    EXPECT_FALSE(IsStoreOpen()) << "a refused start opens nothing";
    EXPECT_EQ(StartExpectingMessage(m_program, inUse), 1);
    holder.Kill();
    auto after = OpenWindow();
    EXPECT_EQ(after->StartRefusal(), 0);
    EXPECT_EQ(TopLevelRows(*after), 1);
}

TEST_F(StoreStartTest, AFileThatIsNotAStoreIsNeverWrittenTo) {
    const ScopedLocale locale("en_US.UTF-8");
    const QString notAStore = QStringLiteral("The file mymwdx.db beside the program is not a knowledge base. It was "
                                             "left unchanged.");
    fs::create_directories(m_program);
    std::ofstream(m_db) << "My notes from Tuesday, saved under the wrong name.\n";
    const std::string text = Bytes(m_db);
    EXPECT_EQ(StartExpectingMessage(m_program, notAStore), 1);
    EXPECT_EQ(Bytes(m_db), text);

    // Somebody else's database: tables of its own, none of ours.
    fs::remove(m_db);
    RunSql(m_db, "create table RECIPES(NAME text); insert into RECIPES values('apple pie');");
    const std::string other = Bytes(m_db);
    EXPECT_EQ(StartExpectingMessage(m_program, notAStore), 1);
    EXPECT_EQ(Bytes(m_db), other);
    EXPECT_FALSE(fs::exists(m_db + "-journal"));
}

TEST_F(StoreStartTest, AStoreLockedByAnotherProgramIsReportedAndLeftAlone) {
    const ScopedLocale locale("zh_CN.UTF-8");
    MakeDatabase(true);
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(m_db.c_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN EXCLUSIVE; insert into FILE_NODE values(9,'x',0,'',0,'',1);", nullptr, nullptr,
                           nullptr),
              SQLITE_OK);
    EXPECT_EQ(StartExpectingMessage(m_program, QStringLiteral("知识库正被其他程序使用，请关闭该程序后重新启动。")), 1);
    EXPECT_FALSE(IsStoreOpen());
    sqlite3_exec(other, "ROLLBACK;", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    EXPECT_EQ(QueryText(m_db, "select count(*) from FILE_NODE;"), "0");
}

TEST_F(StoreStartTest, AMissingOrEmptyStoreIsMadeAndTheFirstStartAsksForTheHomeDirectory) {
    const ScopedLocale locale("en_US.UTF-8");
    for (const bool emptyFile : {false, true}) {
        SCOPED_TRACE(emptyFile ? "an empty file" : "no file");
        fs::remove(m_db);
        if (emptyFile) {
            std::ofstream{m_db};
        }
        auto window = OpenWindow();
        ASSERT_EQ(window->StartRefusal(), 0);
        ModalScript script;
        script.Then<CConfigDlg>([&](CConfigDlg* dialog) {
            Child<QLineEdit>(dialog, "homeDirEdit")->setText(QString::fromStdString(m_home));
            Child<QPushButton>(dialog, "okButton")->click();
        });
        ASSERT_TRUE(WaitUntil([&] { return script.Finished() && TopModal() == nullptr; }, 10000));
        window.reset();
        EXPECT_EQ(QueryText(m_db, "select ROOT_DIR||'|'||FIRST_RUNNING from SYS_CONFIG;"), m_home + "|0")
            << "the choice is saved, so the next start just works";
    }
}

TEST_F(StoreStartTest, AFirstStartThatCannotSaveCanStillBeLeftAndAsksAgainNextTime) {
    const ScopedLocale locale("en_US.UTF-8");
    MakeDatabase(false);
    auto window = OpenWindow();
    sqlite3* other = nullptr;
    ModalScript script;
    script.Then<CConfigDlg>([&](CConfigDlg* dialog) {
        ASSERT_EQ(ExecStatement("PRAGMA busy_timeout=100;"), kStatementOk);
        ASSERT_EQ(sqlite3_open(m_db.c_str(), &other), SQLITE_OK);
        ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE;", nullptr, nullptr, nullptr), SQLITE_OK);
        Child<QLineEdit>(dialog, "homeDirEdit")->setText(QString::fromStdString(m_home));
        Child<QCheckBox>(dialog, "deleteFilesCheck")->setChecked(true);
        Child<QPushButton>(dialog, "okButton")->click();
    });
    script.ThenMessage(QStringLiteral("The change could not be saved"));
    script.Then<CConfigDlg>([](CConfigDlg* dialog) { QTest::keyClick(dialog, Qt::Key_Escape); });
    ASSERT_TRUE(WaitUntil([&] { return script.Finished() && TopModal() == nullptr; }, 10000))
        << "Escape leaves the dialog once the failure has been shown";
    sqlite3_exec(other, "ROLLBACK;", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    EXPECT_EQ(RootDirOf(SettingsCopy()), m_home) << "the choice holds while the program runs";
    EXPECT_EQ(SettingsCopy().deleteAfterNodeDelete, 1);
    window.reset();
    EXPECT_EQ(QueryText(m_db, "select FIRST_RUNNING from SYS_CONFIG;"), "1") << "the next start asks again";
}

TEST_F(StoreStartTest, RowsThatCannotBeShownAreCountedOnceAtStartAndKept) {
    const ScopedLocale locale("en_US.UTF-8");
    MakeDatabase(true);
    // The row of catalog 2 was deleted by another tool: its two children cannot be placed.
    RunSql(m_db, "insert into FILE_NODE values(1,'Physics',0,'',0,'',1),(3,'Lost',2,'',0,'',2),"
                 "(4,'Lost too',2,'',1,'l.txt',2),(5,'Maths',0,'',0,'',1),(6,'Newer',0,'',0,'',1);");
    auto window = OpenWindow();
    EXPECT_EQ(TopLevelRows(*window), 3);
    EXPECT_EQ(window->UnplacedEntries(), 2u);
    ModalScript script;
    script.ThenMessage(QStringLiteral("Some entries of the knowledge base are damaged and could not be shown. "
                                      "Entries: 2\nClick Check to see them and mend them."));
    ASSERT_TRUE(WaitUntil([&] { return script.Finished() && TopModal() == nullptr; }, 5000));
    QTest::qWait(kStartupDelayMs);
    EXPECT_EQ(TopModal(), nullptr) << "said once";
    window.reset();
    EXPECT_EQ(QueryText(m_db, "select count(*) from FILE_NODE;"), "5") << "nothing is deleted";
}

TEST_F(StoreStartTest, ACommandOnATreeThatAnotherProgramChangedReloadsInstead) {
    const ScopedLocale locale("en_US.UTF-8");
    MakeDatabase(true);
    RunSql(m_db, "update SYS_CONFIG set DELDOC_AFTERDELNODE=1;"
                 "insert into FILE_NODE values(1,'Physics',0,'',0,'',1);");
    fs::create_directories(m_home + "/Physics");
    auto window = OpenWindow();
    // Another program files a document under Physics after the tree was loaded.
    RunSql(m_db, "insert into FILE_NODE values(2,'Only copy',1,'',1,'only.txt',2);");
    std::ofstream(m_home + "/Physics/only.txt") << "the only copy";
    window->SelectItem(FindTopItem(*window, "Physics"));

    ModalScript script;
    script.ThenMessage(QStringLiteral("The knowledge base was changed by another program. The tree has been loaded "
                                      "again; please check it and try again."));
    window->OnCommand(kCmdDeleteNode);
    EXPECT_TRUE(script.Finished());
    EXPECT_EQ(Bytes(m_home + "/Physics/only.txt"), "the only copy");
    EXPECT_EQ(QueryText(m_db, "select count(*) from FILE_NODE;"), "2");
    const QPersistentModelIndex physics = FindTopItem(*window, "Physics");
    ASSERT_TRUE(physics.isValid());
    EXPECT_EQ(ChildNames(*window, physics).size(), 1) << "the tree shows the new document";
}

// Two copies of the program folder, each with its own copy of the store, on one Home Directory:
// whichever starts second says so and ends, before it touches anything. The lock follows a new
// Home Directory chosen in the configuration, and the first start takes it once there is one.
TEST_F(StoreStartTest, TwoCopiesOfTheStoreNeverWorkOnOneHomeDirectoryAtOnce) {
    const ScopedLocale locale("en_US.UTF-8");
    const QString homeInUse = QStringLiteral("Another copy of the program is already working on this knowledge "
                                             "base's Home Directory. Only one program may work on a Home Directory "
                                             "at a time.");
    // Whether some program holds the folder's lock (flock(1) taking it fails at once).
    const auto locked = [](const std::string& folder) {
        return RunProcess({"flock", "--nonblock", "--exclusive", folder, "true"}).exitCode != 0;
    };
    MakeDatabase(true);
    RunSql(m_db, "insert into FILE_NODE values(1,'Physics',0,'',0,'',1);");

    // The other copy holds the Home Directory: refused until it ends, and a kill releases it.
    {
        LockHolder other(m_home);
        ASSERT_TRUE(WaitUntil([&] { return locked(m_home); }));
        const std::string bytes = Bytes(m_db);
        EXPECT_EQ(StartExpectingMessage(m_program, homeInUse), 1);
        EXPECT_FALSE(IsStoreOpen()) << "a refused start opens nothing";
        EXPECT_EQ(Bytes(m_db), bytes);
        other.Kill();
    }
    auto window = OpenWindow();
    ASSERT_EQ(window->StartRefusal(), 0);
    EXPECT_TRUE(locked(m_home)) << "held for the program's life";
    QTest::qWait(kStartupDelayMs + 100);

    // Options: a folder another copy works on is refused; a free one takes the lock along.
    const std::string busy = m_dir.File("busy");
    const std::string next = m_dir.File("next");
    fs::create_directories(busy);
    fs::create_directories(next);
    LockHolder other(busy);
    ASSERT_TRUE(WaitUntil([&] { return locked(busy); }));
    ModalScript script;
    script.Then<CConfigDlg>([&](CConfigDlg* dialog) {
        Child<QLineEdit>(dialog, "homeDirEdit")->setText(QString::fromStdString(busy));
        Child<QPushButton>(dialog, "okButton")->click();
    });
    script.ThenMessage(QStringLiteral("The chosen folder is the Home Directory of another copy of the program that "
                                      "is running. Please choose another folder."));
    script.Then<CConfigDlg>([&](CConfigDlg* dialog) {
        EXPECT_EQ(RootDirOf(SettingsCopy()), m_home);
        Child<QLineEdit>(dialog, "homeDirEdit")->setText(QString::fromStdString(next));
        Child<QPushButton>(dialog, "okButton")->click();
    });
    window->OnCommand(kCmdOption);
    EXPECT_TRUE(script.Finished());
    EXPECT_EQ(RootDirOf(SettingsCopy()), next);
    EXPECT_TRUE(locked(next));
    EXPECT_FALSE(locked(m_home)) << "the old Home Directory is free for others now";
    window.reset();
    EXPECT_FALSE(locked(next));

    // The first start has no Home Directory to lock until the configuration gives one.
    fs::remove(m_db);
    MakeDatabase(false);
    window = OpenWindow();
    ASSERT_EQ(window->StartRefusal(), 0);
    EXPECT_FALSE(locked(m_home));
    ModalScript first;
    first.Then<CConfigDlg>([&](CConfigDlg* dialog) {
        Child<QLineEdit>(dialog, "homeDirEdit")->setText(QString::fromStdString(m_home));
        Child<QPushButton>(dialog, "okButton")->click();
    });
    ASSERT_TRUE(WaitUntil([&] { return first.Finished() && TopModal() == nullptr; }, 10000));
    EXPECT_TRUE(locked(m_home));
}

} // namespace
} // namespace mwdx::test
