// Asked to end by a signal (a logout, Ctrl+C), the program ends as if its window were closed: a
// question is cancelled, a transfer under way ends properly first.

#include "app/progress.h"
#include "commands/doc_dlg.h"
#include "gui_fixture.h"
#include "support/open_gate.h"
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
    const std::string source = m_dir.File("inbox/big.bin");
    fs::create_directories(m_dir.File("inbox"));
    std::ofstream(source) << std::string(1 << 20, 'b');
    auto window = OpenWindow();
    window->QuitOnSignals();

    // The signal comes while the file waits to be read; the copy goes on once the window has had
    // time to hear it.
    OpenGate gate({source});
    if (!gate.Active()) {
        GTEST_SKIP() << gate.Reason();
    }
    bool signalled = false;
    {
        ModalScript script;
        FillAndConfirm(script, source);
        script.Then<CPRGDlg>(
            [&](CPRGDlg*) {
                ::raise(SIGTERM);
                signalled = true;
                QTimer::singleShot(600, [&gate] { gate.Open(); });
            },
            "the progress window");
        window->OnCommand(kCmdAddDocumentToRoot);
        EXPECT_TRUE(script.Finished());
    }
    EXPECT_TRUE(signalled);
    EXPECT_EQ(Bytes(m_home + "/big.bin"), std::string(1 << 20, 'b'));
    EXPECT_TRUE(fs::exists(source)) << "copied: the option to move is off";
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
        window->OnCommand(kCmdAddDocumentToRoot);
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
    // Two letters go in; the signal comes while the third waits to be read; the import goes on
    // once the window has had time to tell it to stop.
    std::vector<std::string> letters;
    for (int i = 0; i < 30; ++i) {
        letters.push_back(folder + "/letter-" + std::to_string(10 + i) + ".txt");
    }
    OpenGate gate(letters);
    if (!gate.Active()) {
        GTEST_SKIP() << gate.Reason();
    }
    gate.Release(2);
    {
        ModalScript script;
        script.Then<QFileDialog>(
            [&](QFileDialog* chooser) {
                chooser->setDirectory(QString::fromStdString(folder));
                static_cast<QDialog*>(chooser)->accept(); // the chooser's own accept is protected
            },
            "the folder chooser");
        script.Then<CPRGDlg>(
            [&](CPRGDlg*) {
                EXPECT_TRUE(gate.WaitForWaiting(1));
                ::raise(SIGHUP);
                QTimer::singleShot(600, [&gate] { gate.Open(); });
            },
            "the import's progress window");
        window->OnCommand(kCmdImportFolder);
        EXPECT_TRUE(script.Finished());
    }
    ASSERT_TRUE(WaitUntil([&] { return !window->isVisible(); })) << "the window closes once the import has stopped";
    const std::vector<std::string> imported = Entries(m_home + "/Letters");
    EXPECT_EQ(imported.size(), 3u) << "stopped after the file under way";
    EXPECT_EQ(QueryText(m_db, "select count(*) from FILE_NODE where FILETYPE=1;"), std::to_string(imported.size()));
    EXPECT_EQ(Entries(folder).size(), 30u) << "copied: the originals stay";
}

} // namespace
} // namespace mwdx::test
