#include "gui_fixture.h"
#include "store/settings.h"
#include "support/process.h"

#include <QTest>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace mwdx::test {
namespace {

class IndexCommandsTest : public GuiTest {
protected:
    void SetUp() override {
        MakeDatabase(true);
        RunSql(m_db, "update SYS_CONFIG set URL_SHORTCUT=1;"
                     "insert into FILE_NODE(FILE_ID,FILE_NAME,PARENT_ID,COMMENT,FILETYPE,RAW_FILE_NAME,PATH_LEVEL)"
                     " values(1,'Physics',0,'',0,'',1);");
        fs::copy(SourceScriptFolder(), m_home + "/js", fs::copy_options::recursive);
    }

    QUrl Url(const std::string& path) const { return QUrl::fromLocalFile(QString::fromStdString(path)); }

    std::string m_page = m_home + "/mwdx_index.html";
    std::string m_backup = m_page + "_bak";
    std::string m_link = m_desktop + "/marrowdex.lnk";
};

TEST_F(IndexCommandsTest, SyncKeepsABackupLinksThePageAndOpensIt) {
    const ScopedLocale locale("en_US.UTF-8");
    OpenedUrls opened;
    auto window = OpenWindow();

    window->OnCommand(kCmdSyncIndex);
    ASSERT_TRUE(fs::exists(m_page));
    EXPECT_FALSE(fs::exists(m_backup)) << "no page before, so no backup";
    EXPECT_NE(Bytes(m_page).find("'Physics'"), std::string::npos);
    EXPECT_EQ(fs::read_symlink(m_link), m_page);

    // The second sync keeps the first page as the backup and replaces whatever link was there.
    std::ofstream(m_page, std::ios::app) << "<!-- the first page -->";
    const std::string first = Bytes(m_page);
    fs::remove(m_link);
    fs::create_symlink("/somewhere/else", m_link);
    window->OnCommand(kCmdSyncIndex);
    EXPECT_EQ(Bytes(m_backup), first);
    EXPECT_EQ(Bytes(m_page).find("the first page"), std::string::npos);
    EXPECT_EQ(fs::read_symlink(m_link), m_page);
    EXPECT_EQ(opened.urls, (QList<QUrl>{Url(m_page), Url(m_page)}));

    // Open shows the page as it is; without a page it writes one first.
    std::ofstream(m_page, std::ios::binary | std::ios::trunc) << "as the user left it";
    window->OnCommand(kCmdOpenIndex);
    EXPECT_EQ(Bytes(m_page), "as the user left it");
    fs::remove(m_page);
    window->OnCommand(kCmdOpenIndex);
    EXPECT_NE(Bytes(m_page).find("'Physics'"), std::string::npos);
    EXPECT_EQ(opened.urls.size(), 4);
    EXPECT_EQ(opened.urls.back(), Url(m_page));

    // Without the option an earlier link stays as it is.
    SettingsRecord settings = SettingsCopy();
    settings.urlShortcut = 0;
    ReplaceSettings(settings);
    fs::remove(m_link);
    fs::create_symlink("/kept", m_link);
    window->OnCommand(kCmdSyncIndex);
    EXPECT_EQ(fs::read_symlink(m_link), "/kept");

    window->OnCommand(kCmdHelp);
    EXPECT_EQ(opened.urls.back(), Url(m_program + "/ehelp.html"));
    window.reset();
    const ScopedLocale chinese("zh_CN.UTF-8");
    window = OpenWindow();
    window->OnCommand(kCmdHelp);
    EXPECT_EQ(opened.urls.back(), Url(m_program + "/chelp.html"));
}

TEST_F(IndexCommandsTest, APageThatCannotBeReplacedIsReportedAndNothingChanges) {
    const ScopedLocale locale("en_US.UTF-8");
    OpenedUrls opened;
    auto window = OpenWindow();
    window->OnCommand(kCmdSyncIndex);
    const std::string first = Bytes(m_page);
    if (RunProcess({"chattr", "+i", m_home}).exitCode != 0) {
        GTEST_SKIP() << "chattr +i does not work here (needs root and a file system that supports it)";
    }
    {
        ModalScript script;
        script.ThenMessage(QStringLiteral("Create Knowledge DataBase Index file failure!"));
        window->OnCommand(kCmdSyncIndex);
        EXPECT_TRUE(script.Finished());
    }
    RunProcess({"chattr", "-i", m_home});
    EXPECT_EQ(Bytes(m_page), first);
    EXPECT_FALSE(fs::exists(m_backup));
    EXPECT_EQ(opened.urls.size(), 1) << "nothing is opened after a failure";
}

TEST_F(IndexCommandsTest, WithoutAHomeDirectoryNothingIsWrittenOrOpened) {
    RunSql(m_db, "update SYS_CONFIG set ROOT_DIR='';");
    const ScopedLocale locale("zh_CN.UTF-8");
    OpenedUrls opened;
    auto window = OpenWindow();
    ModalScript script;
    script.ThenMessage(QStringLiteral("生成知识库索引文件失败")).ThenMessage(QStringLiteral("生成知识库索引文件失败"));
    window->OnCommand(kCmdSyncIndex);
    window->OnCommand(kCmdOpenIndex);
    EXPECT_TRUE(script.Finished());
    EXPECT_TRUE(opened.urls.isEmpty());
    EXPECT_FALSE(fs::exists("/mwdx_index.html"));
}

// A document an older program let in at the top under the page's name stays the user's: Sync says
// why it wrote nothing, and opens nothing.
TEST_F(IndexCommandsTest, SyncNeverReplacesADocumentNamedLikeThePage) {
    const ScopedLocale locale("en_US.UTF-8");
    RunSql(m_db, "insert into FILE_NODE values(2,'My page',0,'',1,'mwdx_index.html',1);");
    std::ofstream(m_page) << "my own page";
    OpenedUrls opened;
    auto window = OpenWindow();
    ModalScript script;
    script.ThenMessage(QStringLiteral("The index page was not written: a catalog or document at the top level is "
                                      "named mwdx_index.html or mwdx_index.html_bak, and the page never replaces it. "
                                      "Please rename it or move it first."));
    window->OnCommand(kCmdSyncIndex);
    EXPECT_TRUE(script.Finished());
    EXPECT_EQ(Bytes(m_page), "my own page");
    EXPECT_FALSE(fs::exists(m_backup));
    EXPECT_TRUE(opened.urls.isEmpty());
}

} // namespace
} // namespace mwdx::test
