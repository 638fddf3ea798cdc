// Confirming a new Home Directory in Options: what is asked first, the knowledge base moved over
// or the new folder taken as it is, the settings row written once, the tree, the Settings and the
// program's lock following; and the first start, where a store that cannot be written must not
// trap the user.

#include "catalog/loader.h"
#include "operations/add_catalog.h"
#include "operations/add_document.h"
#include "operations/check.h"
#include "operations/home_change.h"
#include "operations/recovery.h"
#include "platform/home_fs.h"
#include "platform/instance_lock.h"
#include "platform/text_ids.h"
#include "store/connection.h"
#include "store/journal.h"
#include "store/settings.h"
#include "store/store_session.h"
#include "support/catalog_fixture.h"
#include "support/process.h"
#include "support/test_support.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace mwdx::test {
namespace {

class HomeChangeTest : public CatalogFixture {
protected:
    void SetUp() override {
        CatalogFixture::SetUp();
        MakeFile(m_program + "/js/dtree.js", "script");
        MakeFile(m_program + "/js/dtree.css", "style");
        fs::create_directories(m_old);
        fs::copy(m_program + "/js", m_old + "/js", fs::copy_options::recursive);
        MakeFile(m_old + "/mwdx_index.html", "page");
        MakeFile(m_old + "/not-mine.txt", "the user's own");
        SetHome(m_old);
        RunSql(m_db, "update SYS_CONFIG set FIRST_RUNNING=0, URL_SHORTCUT=0, DELDOC_AFTERADDING=0, "
                     "DELDOC_AFTERDELNODE=0;");
        ASSERT_EQ(LoadSettings(), 1);
        ASSERT_EQ(Reload(), 1);
        CatalogNode* physics = nullptr;
        ASSERT_TRUE(AddCatalogOperation(m_model, m_old, {nullptr, "Physics", ""}, &physics).done);
        MakeFile(m_dir.File("inbox/notes.txt"), "notes");
        NewDocument notes;
        notes.parent = physics;
        notes.source = m_dir.File("inbox/notes.txt");
        notes.name = "Notes";
        ASSERT_TRUE(AddDocumentOperation(m_model, m_old, notes).done);
        // Every write of the settings row is counted.
        RunSql(m_db, "create table ROW_WRITES(N integer);"
                     "create trigger COUNT_UPDATES after update on SYS_CONFIG begin insert into ROW_WRITES values(1); "
                     "end;"
                     "create trigger COUNT_INSERTS after insert on SYS_CONFIG begin insert into ROW_WRITES values(1); "
                     "end;");
    }

    void TearDown() override {
        StopStore(); // lets go of the Home Directory lock the change took
        CatalogFixture::TearDown();
    }

    HomeChange Change(const std::string& chosen) const {
        HomeChange change;
        change.chosen = chosen;
        change.options = {true, false, true};
        change.program = {m_program, m_db};
        return change;
    }

    // Whether this program holds the Home Directory lock on `folder`: a second lock of the same
    // process on it would fail, so a probe that gets it shows that the program does not.
    static bool ProgramHoldsLockOn(const std::string& folder) {
        InstanceLock probe;
        return TakeHomeLock(folder, probe) == LockResult::kLocked && !probe.Held();
    }

    // The store, the Settings and the tree all name `home`, and the next start finds it healthy.
    void ExpectHomeEverywhere(const std::string& home) {
        EXPECT_EQ(QueryText(m_db, "select ROOT_DIR from SYS_CONFIG;"), home);
        EXPECT_EQ(RootDirOf(SettingsCopy()), home);
        ASSERT_NE(m_model.RootNode(), nullptr);
        EXPECT_EQ(m_model.RootNode()->Path(), home);
        EXPECT_EQ(m_model.NodeById(2)->Path(), home + "/Physics/notes.txt");
        CatalogModel fresh;
        LoadReport load;
        ASSERT_EQ(LoadCatalog(fresh, &load), 1);
        const CheckReport report = CheckKnowledgeBase(fresh, load, home, {m_program, m_db});
        for (const Finding& finding : report.findings) {
            ADD_FAILURE() << finding.path << ": " << finding.detail;
        }
    }

    std::string RowWrites() const { return QueryText(m_db, "select count(*) from ROW_WRITES;"); }

    std::string m_program = m_dir.File("program");
    std::string m_old = m_dir.File("Old Home");
    std::string m_new = m_dir.File("New Home");
};

TEST_F(HomeChangeTest, MovingEverythingWritesTheRowOnceAndTheTreeSettingsAndLockFollow) {
    HomeChange change = Change(m_new + "/"); // as a chooser may give it
    const HomeChangeQuestions questions = AskBeforeHomeChange(m_model, change);
    EXPECT_TRUE(questions.check.done);
    EXPECT_FALSE(questions.holdsProgram);
    ASSERT_TRUE(questions.holdsKnowledgeBase);
    // Without the answer nothing happens.
    EXPECT_EQ(ChangeHomeDirectory(m_model, change).status, HomeChangeStatus::kUnanswered);
    EXPECT_FALSE(fs::exists(m_new));

    change.knowledgeBase = KnowledgeBaseAnswer::kMoveEverything;
    std::size_t moved = 0;
    change.progress = [&](std::size_t done, std::size_t) { moved = done; };
    const HomeChangeResult result = ChangeHomeDirectory(m_model, change);
    ASSERT_EQ(result.status, HomeChangeStatus::kChanged) << result.detail;
    EXPECT_EQ(result.message, 0);
    EXPECT_EQ(result.home, m_new);
    EXPECT_FALSE(result.showWhatIsMissing);
    EXPECT_EQ(moved, 3u);
    EXPECT_EQ(Entries(m_new), (std::vector<std::string>{"Physics", "js", "mwdx_index.html"}));
    EXPECT_EQ(Entries(m_old), std::vector<std::string>{"not-mine.txt"});
    EXPECT_EQ(RowWrites(), "1") << "ROOT_DIR and the options in one write";
    EXPECT_EQ(QueryText(m_db, "select URL_SHORTCUT||DELDOC_AFTERADDING||DELDOC_AFTERDELNODE||FIRST_RUNNING "
                              "from SYS_CONFIG;"),
              "1010");
    EXPECT_EQ(SettingsCopy().deleteAfterNodeDelete, 1);
    ExpectHomeEverywhere(m_new);
    EXPECT_TRUE(ProgramHoldsLockOn(m_new));
    EXPECT_FALSE(ProgramHoldsLockOn(m_old)) << "the old Home Directory is let go";
    EXPECT_TRUE(ReadJournal().empty());
}

// Everything moved, but the store refuses the row at the end: the files stay in the new place, and
// so do the tree and the Settings for this run; the next start writes ROOT_DIR from the journal.
TEST_F(HomeChangeTest, AMoveWhoseRowTheStoreRefusesKeepsEverythingInTheNewPlace) {
    RunSql(m_db, "create trigger NO_ROW before update on SYS_CONFIG begin select raise(abort, 'refused'); end;");
    HomeChange change = Change(m_new);
    change.knowledgeBase = KnowledgeBaseAnswer::kMoveEverything;
    const HomeChangeResult result = ChangeHomeDirectory(m_model, change);
    EXPECT_EQ(result.status, HomeChangeStatus::kChanged);
    EXPECT_EQ(result.message, text::kChangeNotSaved);
    EXPECT_EQ(Entries(m_old), std::vector<std::string>{"not-mine.txt"});
    EXPECT_EQ(Bytes(m_new + "/Physics/notes.txt"), "notes");
    EXPECT_EQ(RootDirOf(SettingsCopy()), m_new) << "the Settings name where the files are";
    EXPECT_EQ(m_model.NodeById(2)->Path(), m_new + "/Physics/notes.txt");
    EXPECT_TRUE(ProgramHoldsLockOn(m_new));
    EXPECT_EQ(QueryText(m_db, "select ROOT_DIR from SYS_CONFIG;"), m_old);

    RunSql(m_db, "drop trigger NO_ROW;");
    const RecoveryReport report = RecoverInterruptedCommands(m_old); // the Home Directory the store names
    EXPECT_EQ(report.finished, std::vector<std::string>{m_new});
    ExpectHomeEverywhere(m_new);
}

TEST_F(HomeChangeTest, TakingTheNewFolderAsItIsMovesNothingAndAsksForTheCheck) {
    MakeFile(m_new + "/Physics/notes.txt", "the user's copy");
    HomeChange change = Change(m_new);
    change.knowledgeBase = KnowledgeBaseAnswer::kTakeAsItIs;
    const HomeChangeResult result = ChangeHomeDirectory(m_model, change);
    ASSERT_EQ(result.status, HomeChangeStatus::kChanged) << result.detail;
    EXPECT_TRUE(result.showWhatIsMissing);
    EXPECT_EQ(Entries(m_old), (std::vector<std::string>{"Physics", "js", "mwdx_index.html", "not-mine.txt"}));
    EXPECT_EQ(Bytes(m_new + "/js/dtree.js"), "script") << "the page's script, copied in";
    EXPECT_EQ(RowWrites(), "1");
    ExpectHomeEverywhere(m_new);
    EXPECT_TRUE(ProgramHoldsLockOn(m_new));

    // Confirmed again unchanged: nothing to ask, js stays as it is, the row written again.
    MakeFile(m_new + "/js/dtree.js", "the user's own script");
    change.knowledgeBase = KnowledgeBaseAnswer::kNotAsked;
    EXPECT_FALSE(AskBeforeHomeChange(m_model, change).holdsKnowledgeBase);
    EXPECT_EQ(ChangeHomeDirectory(m_model, change).status, HomeChangeStatus::kChanged);
    EXPECT_EQ(Bytes(m_new + "/js/dtree.js"), "the user's own script");
    EXPECT_EQ(RowWrites(), "2");
}

// Each refusal leaves the store, the Settings, the tree, the lock and the disk as they were.
TEST_F(HomeChangeTest, RefusalsChangeNothingAndLeaveNothingBehind) {
    const auto refused = [&](const HomeChange& change, int message) {
        const HomeChangeResult result = ChangeHomeDirectory(m_model, change);
        EXPECT_EQ(result.status, HomeChangeStatus::kRefused) << change.chosen;
        EXPECT_EQ(result.message, message) << change.chosen << ": " << result.detail;
    };
    // Refused before anything is asked.
    const auto refusedFirst = [&](const HomeChange& change, int message) {
        EXPECT_EQ(AskBeforeHomeChange(m_model, change).check.message, message) << change.chosen;
        refused(change, message);
    };
    refusedFirst(Change(""), text::kHomeDirectoryRequired);
    refusedFirst(Change("/"), text::kHomeNotUsable);
    refusedFirst(Change("Knowledge"), text::kHomeNotUsable);
    refusedFirst(Change(m_dir.File("nothing/../New Home")), text::kHomeNotUsable);
    refusedFirst(Change("/" + std::string(1100, 'k')), text::kAddFailed);
    {
        InstanceLock other; // another program's Home Directory
        fs::create_directories(m_new);
        ASSERT_EQ(other.Acquire(m_new), LockResult::kLocked);
        refusedFirst(Change(m_new), text::kNewHomeInUse);
        fs::remove(m_new);
    }
    // Inside the old one, to move everything there: the folder it made goes again.
    HomeChange inside = Change(m_old + "/Inside/Deeper");
    inside.knowledgeBase = KnowledgeBaseAnswer::kMoveEverything;
    refused(inside, text::kHomeInsideOther);
    // The program's js/ is missing: nothing half-copied, no folder made.
    fs::remove_all(m_program + "/js");
    HomeChange noScript = Change(m_dir.File("Parent/New Home"));
    noScript.knowledgeBase = KnowledgeBaseAnswer::kTakeAsItIs;
    refused(noScript, text::kAddFailed);
    // A store that cannot be written: the folder, the js/ it was given and the one above go again.
    MakeFile(m_program + "/js/dtree.js", "script");
    ASSERT_EQ(ExecStatement("PRAGMA query_only = 1;"), kStatementOk);
    HomeChange unsaved = Change(m_dir.File("Parent/New Home"));
    unsaved.knowledgeBase = KnowledgeBaseAnswer::kTakeAsItIs;
    refused(unsaved, text::kChangeNotSaved);
    ASSERT_EQ(ExecStatement("PRAGMA query_only = 0;"), kStatementOk);

    EXPECT_FALSE(fs::exists(m_dir.File("nothing")));
    EXPECT_FALSE(fs::exists(m_dir.File("Parent")));
    EXPECT_FALSE(fs::exists(m_new));
    EXPECT_EQ(Entries(m_old), (std::vector<std::string>{"Physics", "js", "mwdx_index.html", "not-mine.txt"}));
    EXPECT_EQ(RowWrites(), "0");
    EXPECT_EQ(RootDirOf(SettingsCopy()), m_old);
    EXPECT_EQ(SettingsCopy().urlShortcut, 0);
    EXPECT_EQ(m_model.RootNode()->Path(), m_old);
    EXPECT_FALSE(ProgramHoldsLockOn(m_dir.File("Parent")));
    EXPECT_TRUE(ReadJournal().empty());
}

// A Home Directory above the program's folder is taken only once the user says so.
TEST_F(HomeChangeTest, AFolderThatHoldsTheProgramIsTakenOnlyWhenAccepted) {
    HomeChange change = Change(m_dir.Path().string());
    change.knowledgeBase = KnowledgeBaseAnswer::kTakeAsItIs;
    ASSERT_TRUE(AskBeforeHomeChange(m_model, change).holdsProgram);
    EXPECT_EQ(ChangeHomeDirectory(m_model, change).status, HomeChangeStatus::kUnanswered);
    EXPECT_EQ(RowWrites(), "0");
    change.holdingProgramAccepted = true;
    const HomeChangeResult result = ChangeHomeDirectory(m_model, change);
    EXPECT_EQ(result.status, HomeChangeStatus::kChanged) << result.detail;
    EXPECT_EQ(QueryText(m_db, "select ROOT_DIR from SYS_CONFIG;"), m_dir.Path().string());
}

// The first start asks nothing about an old Home Directory: there is no knowledge base yet.
TEST_F(HomeChangeTest, TheFirstStartAsksNothingAndSavesTheRowForGood) {
    RunSql(m_db, "update SYS_CONFIG set FIRST_RUNNING=1; delete from ROW_WRITES;");
    ASSERT_EQ(LoadSettings(), 1);
    EXPECT_TRUE(MustChooseHomeDirectory());
    const HomeChange change = Change(m_new);
    EXPECT_FALSE(AskBeforeHomeChange(m_model, change).holdsKnowledgeBase);
    const HomeChangeResult result = ChangeHomeDirectory(m_model, change);
    ASSERT_EQ(result.status, HomeChangeStatus::kChanged) << result.detail;
    EXPECT_EQ(QueryText(m_db, "select FIRST_RUNNING from SYS_CONFIG;"), "0");
    EXPECT_FALSE(MustChooseHomeDirectory());
    EXPECT_EQ(Entries(m_old), (std::vector<std::string>{"Physics", "js", "mwdx_index.html", "not-mine.txt"}));
    EXPECT_EQ(RowWrites(), "1");
}

// A store that cannot be written on the first start must not trap the user: the choice holds for
// this run (the Settings, the tree, the lock), the store keeps asking, and the window may be left.
TEST_F(HomeChangeTest, AStoreThatCannotBeWrittenOnTheFirstStartHoldsTheChoiceForThisRun) {
    RunSql(m_db, "update SYS_CONFIG set FIRST_RUNNING=1;");
    ASSERT_EQ(LoadSettings(), 1);
    ASSERT_EQ(ExecStatement("PRAGMA query_only = 1;"), kStatementOk);
    const HomeChangeResult result = ChangeHomeDirectory(m_model, Change(m_new));
    ASSERT_EQ(ExecStatement("PRAGMA query_only = 0;"), kStatementOk);
    EXPECT_EQ(result.status, HomeChangeStatus::kThisRunOnly);
    EXPECT_EQ(result.message, text::kChangeNotSaved);
    EXPECT_FALSE(MustChooseHomeDirectory()) << "the window may be left";
    EXPECT_EQ(RootDirOf(SettingsCopy()), m_new);
    EXPECT_EQ(m_model.RootNode()->Path(), m_new);
    EXPECT_TRUE(ProgramHoldsLockOn(m_new));
    EXPECT_EQ(QueryText(m_db, "select FIRST_RUNNING||ROOT_DIR from SYS_CONFIG;"), "1" + m_old)
        << "the next start asks again";
    EXPECT_TRUE(fs::is_directory(m_new + "/js"));
}

} // namespace
} // namespace mwdx::test
