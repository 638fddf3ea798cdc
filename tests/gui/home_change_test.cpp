// A new Home Directory chosen in Options while the old one holds the knowledge base: moved over,
// taken as it is, cancelled, or a move that fails part-way on a full disk; and the first start,
// which does not ask.

#include "check/check_dlg.h"
#include "commands/dir_dlg.h"
#include "config/config_dlg.h"
#include "gui_fixture.h"
#include "operations/check.h"
#include "store/settings.h"
#include "support/process.h"

#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <filesystem>
#include <map>

namespace fs = std::filesystem;

namespace mwdx::test {
namespace {

// The configuration window with `folder` chosen through its chooser, then OK; then, unless
// `answer` is empty, the question about the old Home Directory answered with the button whose
// text it is.
void ChooseNewHome(ModalScript& script, const std::string& folder, const QString& answer) {
    script.Then<CConfigDlg>([](CConfigDlg* dialog) { Child<QAbstractButton>(dialog, "browseButton")->click(); })
        .Then<QFileDialog>(
            [folder](QFileDialog* chooser) {
                chooser->setDirectory(QString::fromStdString(folder));
                static_cast<QDialog*>(chooser)->accept(); // the chooser's own accept is protected
            },
            "the folder chooser")
        .Then<CConfigDlg>([](CConfigDlg* dialog) { Child<QPushButton>(dialog, "okButton")->click(); });
    if (answer.isEmpty()) {
        return;
    }
    script.Then<QMessageBox>(
        [answer](QMessageBox* box) {
            EXPECT_EQ(box->text(),
                      QStringLiteral("The old Home Directory holds the folders and files of the knowledge "
                                     "base. Move them to the new folder, or use the new folder as it is?"));
            QStringList texts;
            QAbstractButton* chosen = nullptr;
            for (QAbstractButton* button : box->buttons()) {
                texts << button->text();
                if (button->text() == answer) {
                    chosen = button;
                }
            }
            texts.sort();
            EXPECT_EQ(texts, (QStringList{QStringLiteral("Cancel"), QStringLiteral("Move everything to the new folder"),
                                          QStringLiteral("Use the new folder as it is")}));
            ASSERT_NE(chosen, nullptr) << answer.toStdString();
            chosen->click();
        },
        "the question about the old Home Directory");
}

class HomeChange : public GuiTest {
protected:
    void SetUp() override {
        MakeDatabase(true);
        RunSql(m_db, "insert into FILE_NODE values(1,'Physics',0,'',0,'',1),(2,'Notes',1,'',1,'notes.txt',2),"
                     "(3,'Top',0,'',1,'top.txt',1);");
        PutFile(m_home + "/Physics/notes.txt", "notes");
        PutFile(m_home + "/top.txt", "top");
        PutFile(m_home + "/mwdx_index.html", "page");
        PutFile(m_home + "/not-mine.txt", "the user's own");
        fs::copy(m_program + "/js", m_home + "/js", fs::copy_options::recursive);
        fs::create_directories(m_new);
        m_before = FilesBelow(m_home);
    }

    // Where the window's tree, the Settings and the store put the Home Directory, and the node
    // paths below it: all the same folder.
    void ExpectHomeEverywhere(CMarrowdexDlg& window, const std::string& home) {
        EXPECT_EQ(QueryText(m_db, "select ROOT_DIR from SYS_CONFIG;"), home);
        EXPECT_EQ(RootDirOf(SettingsCopy()), home);
        EXPECT_EQ(window.HomeDirectory(), home);
        ASSERT_NE(window.Catalog().NodeById(2), nullptr);
        EXPECT_EQ(window.Catalog().NodeById(2)->Path(), home + "/Physics/notes.txt");
    }

    std::string m_new = m_dir.File("new home");
    std::map<std::string, std::string> m_before;
};

TEST_F(HomeChange, MovingEverythingCarriesTheKnowledgeBaseOverAndTheTreeFollowsAtOnce) {
    const ScopedLocale locale("en_US.UTF-8");
    auto window = OpenWindow();
    ModalScript script;
    ChooseNewHome(script, m_new, QStringLiteral("Move everything to the new folder"));
    window->OnCommand(kCmdOption);
    EXPECT_TRUE(script.Finished());

    auto moved = m_before;
    moved.erase("not-mine.txt");
    EXPECT_EQ(FilesBelow(m_new), moved);
    EXPECT_EQ(FilesBelow(m_home), (std::map<std::string, std::string>{{"not-mine.txt", "the user's own"}}))
        << "what the knowledge base does not own stays";
    ExpectHomeEverywhere(*window, m_new);

    // No mixed state: a new top-level catalog goes into the new folder before any restart.
    window->SelectItem(FindTopItem(*window, "Top"));
    script.Then<CDirDlg>([](CDirDlg* dialog) {
        Child<QLineEdit>(dialog, "nameEdit")->setText(QStringLiteral("Later"));
        Child<QPushButton>(dialog, "okButton")->click();
    });
    window->OnCommand(kCmdAddNeighbourCatalog);
    EXPECT_TRUE(script.Finished());
    EXPECT_TRUE(fs::is_directory(m_new + "/Later"));
    EXPECT_FALSE(fs::exists(m_home + "/Later"));
    EXPECT_TRUE(CheckOpenStore(ProgramFilesIn(m_program)).Healthy());
}

TEST_F(HomeChange, UsingTheNewFolderAsItIsShowsWhatIsMissingThere) {
    const ScopedLocale locale("en_US.UTF-8");
    // The user copied the catalogs' folders over, but not the top-level document.
    PutFile(m_new + "/Physics/notes.txt", "notes");
    auto window = OpenWindow();
    ModalScript script;
    ChooseNewHome(script, m_new, QStringLiteral("Use the new folder as it is"));
    script.Then<CCheckDlg>([](CCheckDlg* dialog) {
        auto* findings = Child<QTreeWidget>(dialog, "findingsTree");
        ASSERT_EQ(findings->topLevelItemCount(), 1);
        EXPECT_EQ(findings->topLevelItem(0)->text(0), QStringLiteral("Files or folders missing (1)"));
        EXPECT_EQ(findings->topLevelItem(0)->child(0)->text(0), QStringLiteral("top.txt"));
        Child<QPushButton>(dialog, "closeButton")->click();
    });
    window->OnCommand(kCmdOption);
    EXPECT_TRUE(script.Finished());

    EXPECT_EQ(FilesBelow(m_home), m_before) << "the old folder is left as it was";
    EXPECT_EQ(Bytes(m_new + "/js/dtree.js"), Bytes(m_program + "/js/dtree.js")) << "the page's script, as ever";
    ExpectHomeEverywhere(*window, m_new);
}

TEST_F(HomeChange, CancelChangesNothingAndTheWindowStaysForAnotherChoice) {
    const ScopedLocale locale("en_US.UTF-8");
    auto window = OpenWindow();
    ModalScript script;
    ChooseNewHome(script, m_new, QStringLiteral("Cancel"));
    script.Then<CConfigDlg>([&](CConfigDlg* dialog) {
        EXPECT_EQ(Child<QLineEdit>(dialog, "homeDirEdit")->text().toStdString(), m_new);
        Child<QPushButton>(dialog, "cancelButton")->click();
    });
    window->OnCommand(kCmdOption);
    EXPECT_TRUE(script.Finished());
    EXPECT_EQ(FilesBelow(m_home), m_before);
    EXPECT_TRUE(fs::is_empty(m_new));
    ExpectHomeEverywhere(*window, m_home);
}

TEST_F(HomeChange, AMoveThatFailsPartWayIsToldAndEveryFileStaysInOnePlace) {
    const ScopedLocale locale("en_US.UTF-8");
    const SmallFileSystem full(m_new);
    if (!full.Mounted()) {
        GTEST_SKIP() << full.Reason();
    }
    // Moved last (names in byte order), after the others have gone over: it does not fit.
    RunSql(m_db, "insert into FILE_NODE values(4,'Big',0,'',1,'zz-big.bin',1);");
    PutFile(m_home + "/zz-big.bin", std::string(3 << 20, 'b'));
    m_before = FilesBelow(m_home);
    auto window = OpenWindow();
    ModalScript script;
    ChooseNewHome(script, m_new, QStringLiteral("Move everything to the new folder"));
    script.ThenMessage(QStringLiteral("The knowledge base could not be moved to the new Home Directory. Everything is "
                                      "back in the old one, which stays the Home Directory."));
    script.Then<CConfigDlg>([](CConfigDlg* dialog) { Child<QPushButton>(dialog, "cancelButton")->click(); });
    window->OnCommand(kCmdOption);
    EXPECT_TRUE(script.Finished());

    EXPECT_EQ(FilesBelow(m_home), m_before);
    EXPECT_TRUE(fs::is_empty(m_new)) << "nothing stays behind in the new folder";
    ExpectHomeEverywhere(*window, m_home);
    EXPECT_EQ(QueryText(m_db, "select count(*) from MWDX_JOURNAL;"), "0");
}

TEST_F(HomeChange, TheFirstStartDoesNotAsk) {
    const ScopedLocale locale("en_US.UTF-8");
    RunSql(m_db, "update SYS_CONFIG set FIRST_RUNNING=1;");
    auto window = OpenWindow();
    ModalScript script;
    ChooseNewHome(script, m_new, {}); // the window opens by itself a second after the start
    ASSERT_TRUE(WaitUntil([&] { return script.Finished() && TopModal() == nullptr; }, 10000));
    EXPECT_EQ(FilesBelow(m_home), m_before);
    ExpectHomeEverywhere(*window, m_new);
}

} // namespace
} // namespace mwdx::test
