#include "config/config_dlg.h"
#include "gui_fixture.h"
#include "store/connection.h"
#include "store/settings.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <sqlite3.h>

namespace fs = std::filesystem;

namespace mwdx::test {
namespace {

// Chooses `folder` in the configuration dialog through its folder chooser.
void ChooseFolder(ModalScript& script, const std::string& folder) {
    script.Then<CConfigDlg>([](CConfigDlg* dialog) { Child<QAbstractButton>(dialog, "browseButton")->click(); })
        .Then<QFileDialog>(
            [folder](QFileDialog* chooser) {
                chooser->setDirectory(QString::fromStdString(folder));
                static_cast<QDialog*>(chooser)->accept(); // the chooser's own accept is protected
            },
            "the folder chooser");
}

void PressOk(ModalScript& script) {
    script.Then<CConfigDlg>([](CConfigDlg* dialog) { Child<QPushButton>(dialog, "okButton")->click(); });
}

TEST_F(GuiTest, OptionShowsTheSettingsAndCancelKeepsThem) {
    const ScopedLocale locale("en_US.UTF-8");
    MakeDatabase(true);
    RunSql(m_db, "update SYS_CONFIG set DELDOC_AFTERADDING=1;");
    auto window = OpenWindow();
    ModalScript script;
    script.Then<CConfigDlg>([&](CConfigDlg* dialog) {
        EXPECT_EQ(Child<QLineEdit>(dialog, "homeDirEdit")->text().toStdString(), m_home);
        EXPECT_FALSE(Child<QCheckBox>(dialog, "shortcutCheck")->isChecked());
        EXPECT_TRUE(Child<QCheckBox>(dialog, "moveDocumentsCheck")->isChecked());
        EXPECT_FALSE(Child<QCheckBox>(dialog, "deleteFilesCheck")->isChecked());
        EXPECT_EQ(Child<QCheckBox>(dialog, "moveDocumentsCheck")->text(),
                  QStringLiteral("Delete the origianl document after adding the document to knowledge database"));
        Child<QCheckBox>(dialog, "deleteFilesCheck")->setChecked(true);
        Child<QPushButton>(dialog, "cancelButton")->click();
    });
    window->OnCommand(kCmdOption);
    EXPECT_TRUE(script.Finished());
    EXPECT_EQ(QueryText(m_db, "select DELDOC_AFTERDELNODE||DELDOC_AFTERADDING from SYS_CONFIG;"), "01");
    EXPECT_EQ(SettingsCopy().deleteAfterNodeDelete, 0);
}

// Each refusal keeps the window open with the choice in place, and stores nothing.
TEST_F(GuiTest, ConfigurationRefusalsStoreNothing) {
    const ScopedLocale locale("en_US.UTF-8");
    MakeDatabase(true);
    const std::string fresh = m_dir.File("fresh home");
    const std::string withJs = m_dir.File("home with js");
    fs::create_directories(fresh);
    fs::create_directories(withJs);
    std::ofstream(withJs + "/js") << "not a folder, kept as it is";
    fs::remove_all(m_program + "/js"); // the program's own script folder is missing
    auto window = OpenWindow();
    ASSERT_EQ(ExecStatement("PRAGMA busy_timeout=100;"), kStatementOk);
    sqlite3* other = nullptr;

    ModalScript script;
    ChooseFolder(script, fresh);
    PressOk(script);
    script.ThenMessage(QStringLiteral("Add a new sub catalog failure"));
    // A Home Directory that has something named js needs nothing copied; but the row is locked.
    ChooseFolder(script, withJs);
    script.Then<CConfigDlg>([&](CConfigDlg* dialog) {
        ASSERT_EQ(sqlite3_open(m_db.c_str(), &other), SQLITE_OK);
        ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE;", nullptr, nullptr, nullptr), SQLITE_OK);
        Child<QPushButton>(dialog, "okButton")->click();
    });
    script.ThenMessage(QStringLiteral("The change could not be saved"));
    script.Then<CConfigDlg>([&](CConfigDlg* dialog) {
        EXPECT_TRUE(dialog->isVisible());
        EXPECT_EQ(RootDirOf(SettingsCopy()), m_home) << "the Settings stay as they were";
        sqlite3_exec(other, "ROLLBACK;", nullptr, nullptr, nullptr);
        sqlite3_close(other);
        Child<QPushButton>(dialog, "okButton")->click();
    });
    window->OnCommand(kCmdOption);
    EXPECT_TRUE(script.Finished());

    EXPECT_TRUE(fs::is_empty(fresh)) << "nothing half-copied";
    EXPECT_EQ(QueryText(m_db, "select ROOT_DIR from SYS_CONFIG;"), withJs);
    EXPECT_EQ(RootDirOf(SettingsCopy()), withJs);
    EXPECT_TRUE(fs::is_regular_file(withJs + "/js"));
}

// A Home Directory above the program's folder would put the program and its store among the
// documents: unusual, so the dialog asks, and No (the default) keeps the window open for another
// choice. Yes takes it, and the check still never offers the program's files.
TEST_F(GuiTest, AHomeDirectoryThatHoldsTheProgramIsTakenOnlyWhenTheUserSaysSo) {
    const ScopedLocale locale("en_US.UTF-8");
    MakeDatabase(true);
    const QString unusual = QStringLiteral(
        "The chosen folder holds the program's own folder. Keeping documents there is unusual: the program and its "
        "knowledge base file would lie among them. Use it as the Home Directory anyway?");
    auto window = OpenWindow();
    ModalScript script;
    ChooseFolder(script, m_dir.Path().string());
    PressOk(script);
    script.Then<QMessageBox>([&](QMessageBox* box) {
        EXPECT_EQ(box->text(), unusual);
        QTest::keyClick(box, Qt::Key_Return);
    });
    script.Then<CConfigDlg>([&](CConfigDlg* dialog) {
        EXPECT_EQ(RootDirOf(SettingsCopy()), m_home) << "No keeps everything as it was";
        Child<QPushButton>(dialog, "okButton")->click();
    });
    script.Then<QMessageBox>([&](QMessageBox* box) { box->button(QMessageBox::Yes)->click(); });
    window->OnCommand(kCmdOption);
    EXPECT_TRUE(script.Finished());
    EXPECT_EQ(QueryText(m_db, "select ROOT_DIR from SYS_CONFIG;"), m_dir.Path().string());

    // The same folder confirmed again is not asked about again.
    ModalScript again;
    PressOk(again);
    window->OnCommand(kCmdOption);
    EXPECT_TRUE(again.Finished());
}

// A Home Directory set to a relative path, "/" or a path through ".." (by hand, or by another
// tool) is refused at start and in the dialog, which cannot be left until a usable one is chosen.
TEST_F(GuiTest, AHomeDirectoryThatIsNotAFullPathIsAskedForAgain) {
    const ScopedLocale locale("en_US.UTF-8");
    MakeDatabase(true);
    const std::string roundabout = m_dir.File("nothing/../home");
    RunSql(m_db, "update SYS_CONFIG set ROOT_DIR='" + roundabout + "';");
    const QString notUsable = QStringLiteral("The Home Directory must be a full folder path, such as "
                                             "/home/you/Knowledge, without \".\" or \"..\" in it, and not / itself. "
                                             "Please choose the Home Directory again.");
    auto window = OpenWindow();
    ModalScript script;
    script.ThenMessage(notUsable + QLatin1Char('\n') + QString::fromStdString(roundabout));
    script.Then<CConfigDlg>([](CConfigDlg* dialog) { QTest::keyClick(dialog, Qt::Key_Escape); });
    script.ThenMessage(QStringLiteral("Please select a directory as your knowledge database home directory"));
    ChooseFolder(script, "/");
    PressOk(script);
    script.ThenMessage(notUsable);
    script.Then<CConfigDlg>([&](CConfigDlg* dialog) {
        Child<QLineEdit>(dialog, "homeDirEdit")->setText(QString::fromStdString(m_home));
        Child<QPushButton>(dialog, "okButton")->click();
    });
    ASSERT_TRUE(WaitUntil([&] { return script.Finished() && TopModal() == nullptr; }, 10000));
    EXPECT_EQ(QueryText(m_db, "select ROOT_DIR from SYS_CONFIG;"), m_home);
    EXPECT_FALSE(fs::exists(m_dir.File("nothing"))) << "the folder a \"..\" passes through is never made";
    EXPECT_FALSE(fs::exists("/mwdx_index.html"));
}

} // namespace
} // namespace mwdx::test
