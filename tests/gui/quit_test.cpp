// Asked to end by a signal (a logout, Ctrl+C), the program ends as if its window were closed: a
// question is cancelled, a transfer under way ends properly first.

#include "commands/doc_dlg.h"
#include "commands/transfer.h"
#include "gui_fixture.h"
#include "support/process.h"

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

} // namespace
} // namespace mwdx::test
