// Moving the knowledge base to a new Home Directory: all of it or none of it, never a file in both
// places or in neither, and the tree's paths follow at once.

#include "catalog/loader.h"
#include "operations/add_catalog.h"
#include "operations/add_document.h"
#include "operations/check.h"
#include "operations/home_move.h"
#include "operations/recovery.h"
#include "platform/text_ids.h"
#include "store/connection.h"
#include "store/journal.h"
#include "store/settings.h"
#include "support/catalog_fixture.h"
#include "support/process.h"
#include "support/test_support.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace mwdx::test {
namespace {

class HomeMoveTest : public CatalogFixture {
protected:
    void SetUp() override {
        CatalogFixture::SetUp();
        MakeFile(m_old + "/js/dtree.js");
        MakeFile(m_old + "/js/dtree.css");
        MakeFile(m_old + "/mwdx_index.html", "page");
        MakeFile(m_old + "/not-mine.txt", "the user's own");
        SetHome(m_old);
        ASSERT_EQ(Reload(), 1);
        CatalogNode* physics = nullptr;
        AddCatalogOperation(m_model, m_old, {nullptr, "Physics", ""}, &physics);
        AddCatalogOperation(m_model, m_old, {physics, "Optics", ""});
        MakeFile(m_dir.File("inbox/top.txt"), "top");
        NewDocument top;
        top.source = m_dir.File("inbox/top.txt");
        top.name = "Top";
        ASSERT_TRUE(AddDocumentOperation(m_model, m_old, top).done);
    }

    bool Healthy(const std::string& home) {
        CatalogModel fresh;
        LoadReport load;
        LoadCatalog(fresh, &load);
        const CheckReport report = CheckKnowledgeBase(fresh, load, home, {});
        for (const Finding& f : report.findings) {
            ADD_FAILURE() << f.path << ": " << f.detail;
        }
        return report.Healthy();
    }

    // The journal's word of a move from the old folder to the new one, with the mark it left
    // there, as a crash leaves them.
    JournalEntry JournalMove(int step) {
        fs::create_directories(m_new);
        JournalEntry entry{.kind = kJournalHomeMove, .step = step, .fromPath = m_old, .toPath = m_new};
        std::string error;
        entry.asidePath = WriteMoveMark(m_old, m_new, &error);
        EXPECT_FALSE(entry.asidePath.empty()) << error;
        EXPECT_EQ(WriteJournalEntry(entry), kStatementOk);
        return entry;
    }

    std::string m_old = m_dir.File("Old Home");
    std::string m_new = m_dir.File("New Home");
};

TEST_F(HomeMoveTest, EverythingMovesAndTheTreeFollowsAtOnce) {
    const OpResult moved = MoveHomeOperation(m_model, m_old, m_new);
    ASSERT_TRUE(moved.done) << moved.detail;
    EXPECT_EQ(Entries(m_new), (std::vector<std::string>{"Physics", "js", "mwdx_index.html", "top.txt"}));
    EXPECT_EQ(Entries(m_old), std::vector<std::string>{"not-mine.txt"}) << "what is not the knowledge base's stays";
    EXPECT_EQ(QueryText(m_db, "select ROOT_DIR from SYS_CONFIG;"), m_new);
    EXPECT_EQ(m_model.RootNode()->Path(), m_new);
    EXPECT_EQ(m_model.NodeById(2)->Path(), m_new + "/Physics/Optics");
    // A new top-level catalog goes into the new folder.
    EXPECT_TRUE(AddCatalogOperation(m_model, m_model.RootNode()->Path(), {nullptr, "Maths", ""}).done);
    EXPECT_TRUE(fs::is_directory(m_new + "/Maths"));
    SetHome(m_new);
    EXPECT_TRUE(Healthy(m_new));
    EXPECT_TRUE(ReadJournal().empty());
}

TEST_F(HomeMoveTest, ANameAlreadyInTheNewFolderRefusesTheMoveBeforeAnythingMoves) {
    MakeFile(m_new + "/Physics/theirs.txt", "theirs");
    EXPECT_EQ(MoveHomeOperation(m_model, m_old, m_new).message, text::kNameTakenOnDisk);
    EXPECT_EQ(Entries(m_new), std::vector<std::string>{"Physics"});
    EXPECT_TRUE(fs::is_directory(m_old + "/Physics/Optics"));
    EXPECT_EQ(QueryText(m_db, "select ROOT_DIR from SYS_CONFIG;"), m_old);
    EXPECT_EQ(MoveHomeOperation(m_model, m_old, m_old + "/Inside").message, text::kHomeInsideOther);
}

TEST_F(HomeMoveTest, AMoveThatFailsPartWayPutsEverythingBack) {
    // The new folder is a small file system of its own: the big file does not fit.
    if (::geteuid() != 0 || ::unshare(CLONE_NEWNS) != 0 ||
        ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
        GTEST_SKIP() << "needs root and a private mount namespace";
    }
    fs::create_directories(m_new);
    ASSERT_EQ(::mount("tmpfs", m_new.c_str(), "tmpfs", 0, "size=1M"), 0) << std::strerror(errno);
    // Moved last (names in byte order), after Physics, js and the page have gone over.
    MakeFile(m_old + "/top.txt", std::string(3 << 20, 'b'));
    std::size_t movedBefore = 0;
    HomeMoveControl control;
    control.progress = [&](std::size_t done, std::size_t) { movedBefore = done; };
    ASSERT_EQ(MoveHomeOperation(m_model, m_old, m_new, control).message, text::kHomeMoveFailed);
    EXPECT_EQ(movedBefore, 3u);
    EXPECT_TRUE(fs::is_empty(m_new)) << "nothing stays behind in the new folder";
    EXPECT_EQ(fs::file_size(m_old + "/top.txt"), std::uintmax_t{3} << 20);
    EXPECT_EQ(Bytes(m_old + "/js/dtree.js"), "x");
    EXPECT_EQ(Bytes(m_old + "/mwdx_index.html"), "page");
    EXPECT_TRUE(fs::is_directory(m_old + "/Physics/Optics"));
    EXPECT_EQ(QueryText(m_db, "select ROOT_DIR from SYS_CONFIG;"), m_old);
    EXPECT_EQ(m_model.RootNode()->Path(), m_old);
    EXPECT_TRUE(ReadJournal().empty());
    ::umount2(m_new.c_str(), MNT_DETACH);
}

TEST_F(HomeMoveTest, AMoveTheStoreCannotRecordLeavesNothingBehind) {
    ASSERT_EQ(ExecStatement("PRAGMA query_only = 1;"), kStatementOk);
    const std::string parent = m_dir.File("Parent");
    const OpResult result = MoveHomeOperation(m_model, m_old, parent + "/New Home");
    EXPECT_FALSE(result.done);
    EXPECT_EQ(result.message, text::kChangeNotSaved);
    EXPECT_FALSE(fs::exists(parent)) << "neither the new folder nor the one above it it made stays";
    EXPECT_EQ(Entries(m_old),
              (std::vector<std::string>{"Physics", "js", "mwdx_index.html", "not-mine.txt", "top.txt"}));
    ASSERT_EQ(ExecStatement("PRAGMA query_only = 0;"), kStatementOk);
    EXPECT_EQ(QueryText(m_db, "select ROOT_DIR from SYS_CONFIG;"), m_old);
    EXPECT_TRUE(ReadJournal().empty());
}

TEST_F(HomeMoveTest, ACrashInTheMiddleIsFinishedAtTheNextStart) {
    JournalMove(kJournalStarted);
    fs::rename(m_old + "/Physics", m_new + "/Physics"); // moved before the crash
    fs::create_directories(m_new + "/js");              // a copy published, its original not yet removed
    std::ofstream(m_new + "/js/dtree.js") << "x";
    std::ofstream(m_new + "/js/dtree.css") << "x";

    const RecoveryReport report = RecoverInterruptedCommands(m_old);
    EXPECT_EQ(report.finished, std::vector<std::string>{m_new});
    EXPECT_EQ(Entries(m_old), std::vector<std::string>{"not-mine.txt"});
    EXPECT_EQ(Entries(m_new), (std::vector<std::string>{"Physics", "js", "mwdx_index.html", "top.txt"}))
        << "the mark goes with the entry";
    EXPECT_EQ(QueryText(m_db, "select ROOT_DIR from SYS_CONFIG;"), m_new);
    ASSERT_EQ(LoadSettings(), 1);
    ASSERT_EQ(Reload(), 1);
    EXPECT_TRUE(Healthy(m_new));
}

TEST_F(HomeMoveTest, ACrashWhileTheMoveTurnsBackKeepsTheCopyThatIsWhole) {
    // The move had carried Physics and js over and failed on the next entry, so it turned back:
    // js still waits in the new folder; Physics was copied back whole and its copy in the new folder
    // was half removed when the program was killed.
    MakeFile(m_dir.File("inbox/lens.txt"), "lens");
    NewDocument lens;
    lens.parent = m_model.NodeById(2);
    lens.source = m_dir.File("inbox/lens.txt");
    lens.name = "Lens";
    ASSERT_TRUE(AddDocumentOperation(m_model, m_old, lens).done);
    JournalMove(kJournalRollingBack);
    fs::rename(m_old + "/js", m_new + "/js");
    fs::copy(m_old + "/Physics", m_new + "/Physics", fs::copy_options::recursive);
    fs::remove_all(m_new + "/Physics/Optics");

    const RecoveryReport report = RecoverInterruptedCommands(m_old);
    EXPECT_EQ(report.undone, std::vector<std::string>{m_old});
    EXPECT_TRUE(report.finished.empty());
    EXPECT_TRUE(report.unresolved.empty());
    EXPECT_EQ(Bytes(m_old + "/Physics/Optics/lens.txt"), "lens") << "the whole copy is kept";
    EXPECT_EQ(Bytes(m_old + "/js/dtree.js"), "x");
    EXPECT_TRUE(fs::is_empty(m_new)) << "the half-removed copy and the mark go";
    EXPECT_EQ(QueryText(m_db, "select ROOT_DIR from SYS_CONFIG;"), m_old);
    EXPECT_TRUE(ReadJournal().empty());
    ASSERT_EQ(Reload(), 1);
    EXPECT_EQ(Bytes(m_model.NodeById(4)->Path()), "lens");
}

} // namespace
} // namespace mwdx::test
