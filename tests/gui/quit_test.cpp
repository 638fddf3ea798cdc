// Asked to end by a signal (a logout, Ctrl+C), the program ends as if its window were closed: a
// question is cancelled, a transfer under way ends properly first.

#include "commands/doc_dlg.h"
#include "commands/transfer.h"
#include "commands/work_dlg.h"
#include "gui_fixture.h"
#include "support/process.h"

#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <atomic>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <thread>

namespace fs = std::filesystem;

namespace mwdx::test {
namespace {

using QuitTest = GuiTest;

void FillAndConfirm(ModalScript& script, const std::string& path) {
    script.Then<CDocDlg>([=](CDocDlg* dialog) {
        Child<QLineEdit>(dialog, "pathEdit")->setText(QString::fromStdString(path));
        Child<QLineEdit>(dialog, "nameEdit")->setText(QStringLiteral("Big"));
        Child<QPushButton>(dialog, "okButton")->click();
    });
}

TEST_F(QuitTest, ATerminationSignalLetsTheTransferFinishThenClosesTheWindow) {
    MakeDatabase(true);
    RunSql(m_db, "update SYS_CONFIG set DELDOC_AFTERADDING=1;");
    const std::string source = m_dir.File("inbox/big.bin");
    fs::create_directories(m_dir.File("inbox"));
    std::ofstream(source) << std::string(1 << 20, 'b');
    auto window = OpenWindow();
    window->QuitOnSignals();

    // The signal comes while the file is on its way; the transfer waits long enough for the
    // window to have heard it.
    std::atomic<bool> signalled{false};
    SetTransferHookForTesting([&] {
        ::raise(SIGTERM);
        signalled = true;
        std::this_thread::sleep_for(std::chrono::milliseconds(600));
    });
    {
        ModalScript script;
        FillAndConfirm(script, source);
        window->AddDocumentToRoot();
        EXPECT_TRUE(script.Finished());
    }
    SetTransferHookForTesting({});
    EXPECT_TRUE(signalled);
    EXPECT_EQ(Bytes(m_home + "/big.bin"), std::string(1 << 20, 'b'));
    EXPECT_FALSE(fs::exists(source));
    EXPECT_EQ(QueryText(m_db, "select FILE_NAME||'|'||RAW_FILE_NAME from FILE_NODE;"), "Big|big.bin");
    ASSERT_TRUE(WaitUntil([&] { return !window->isVisible(); })) << "the window closes once the command is over";
    EXPECT_EQ(window->result(), QDialog::Rejected);
}

TEST_F(QuitTest, AnInterruptCancelsTheQuestionOnScreenAndAddsNothing) {
    MakeDatabase(true);
    auto window = OpenWindow();
    window->QuitOnSignals();
    const std::string source = m_dir.File("note.txt");
    std::ofstream(source) << "note";
    {
        ModalScript script;
        script.Then<CDocDlg>([](CDocDlg*) { ::raise(SIGINT); }, "the document dialog, before anything is typed");
        window->AddDocumentToRoot();
        EXPECT_TRUE(script.Finished());
    }
    ASSERT_TRUE(WaitUntil([&] { return !window->isVisible(); }));
    EXPECT_EQ(QueryText(m_db, "select count(*) from FILE_NODE;"), "0");
    EXPECT_EQ(Entries(m_home), std::vector<std::string>{});
}

TEST_F(QuitTest, AHangUpDuringAnImportStopsItAsCancelWouldAndKeepsWhatIsDone) {
    MakeDatabase(true);
    const std::string folder = m_dir.File("inbox/Letters");
    fs::create_directories(folder);
    for (int i = 0; i < 30; ++i) {
        std::ofstream(folder + "/letter-" + std::to_string(10 + i) + ".txt") << i;
    }
    auto window = OpenWindow();
    window->QuitOnSignals();
    // The signal comes after the third report; the import goes on once it has been told to stop.
    int reports = 0;
    SetWorkHookForTesting([&reports](WorkProgress& progress) {
        if (++reports == 3) {
            ::raise(SIGHUP);
            for (int waited = 0; waited < 500 && !progress.cancel.load(); ++waited) {
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
        }
    });
    {
        ModalScript script;
        script.Then<QFileDialog>(
            [&](QFileDialog* chooser) {
                chooser->setDirectory(QString::fromStdString(folder));
                static_cast<QDialog*>(chooser)->accept(); // the chooser's own accept is protected
            },
            "the folder chooser");
        window->ImportFolder();
        EXPECT_TRUE(script.Finished());
    }
    SetWorkHookForTesting({});
    ASSERT_TRUE(WaitUntil([&] { return !window->isVisible(); })) << "the window closes once the import has stopped";
    const std::vector<std::string> imported = Entries(m_home + "/Letters");
    EXPECT_EQ(imported.size(), 2u) << "stopped after the file under way";
    EXPECT_EQ(QueryText(m_db, "select count(*) from FILE_NODE where FILETYPE=1;"), std::to_string(imported.size()));
    EXPECT_EQ(Entries(folder).size(), 30u) << "copied: the originals stay";
}

} // namespace
} // namespace mwdx::test
