// The index page on disk: written whole or not at all, the previous page kept as the backup, and
// every failure leaving the page and the backup as they were.

#include "index/page_texts.h"
#include "index/page_writer.h"
#include "support/catalog_fixture.h"
#include "support/process.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace mwdx::test {
namespace {

namespace fs = std::filesystem;

class IndexPageFile : public CatalogFixture {
protected:
    void SetUp() override {
        CatalogFixture::SetUp();
        fs::create_directory(m_dir.Path() / "home");
        SetHome(m_dir.File("home"));
        m_page = IndexPagePath(m_home);
        m_backup = IndexBackupPath(m_home);
    }

    PageWriteResult Write(PageBackup backup = PageBackup::kPrevious) {
        return WriteIndexPage(m_model, LanguageStrings(true), backup);
    }

    std::string Expected() const {
        PageOutput out;
        WritePageText(out, m_home, m_model.RootNode(), LanguageStrings(true));
        return out.Text();
    }

    void AddCatalogs(int count) {
        for (int i = 1; i <= count; ++i) {
            AddRow(i, "Catalog number " + std::to_string(i), 0, kCatalogType, 1);
        }
        ASSERT_EQ(Reload(), 1);
    }

    std::string m_page;
    std::string m_backup;
};

TEST_F(IndexPageFile, EachWriteKeepsThePreviousPageAsTheOnlyBackup) {
    ASSERT_EQ(Reload(), 1);
    const mode_t previousMask = ::umask(027);
    const PageWriteResult first = Write();
    ::umask(previousMask);
    ASSERT_TRUE(first.Ok()) << first.detail;
    EXPECT_EQ(first.pagePath, m_home + "/mwdx_index.html");
    // The first page has nothing to back up, and no temporary file stays behind.
    EXPECT_EQ(Entries(m_home), std::vector<std::string>{"mwdx_index.html"});
    const std::string firstPage = Bytes(m_page);
    EXPECT_EQ(firstPage, Expected());
    EXPECT_EQ(firstPage.rfind("<!DOCTYPE", 0), 0u);
    struct stat st {};
    ASSERT_EQ(::stat(m_page.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);

    AddCatalogs(2);
    ASSERT_TRUE(Write().Ok());
    EXPECT_EQ(Bytes(m_backup), firstPage);
    const std::string secondPage = Bytes(m_page);
    EXPECT_EQ(secondPage, Expected());
    EXPECT_NE(secondPage, firstPage);

    // The next write replaces the older backup.
    AddRow(3, "Third", 0, kCatalogType, 1);
    ASSERT_EQ(Reload(), 1);
    ASSERT_TRUE(Write().Ok());
    EXPECT_EQ(Bytes(m_backup), secondPage);
    EXPECT_EQ(Bytes(m_page), Expected());

    // Without a backup, the page is replaced and the backup left alone.
    m_model.Clear();
    ASSERT_TRUE(Write(PageBackup::kNone).Ok());
    EXPECT_EQ(Bytes(m_backup), secondPage);
    EXPECT_EQ(Bytes(m_page), Expected());
    EXPECT_EQ(Entries(m_home), (std::vector<std::string>{"mwdx_index.html", "mwdx_index.html_bak"}));
}

TEST_F(IndexPageFile, APageThatCannotBeWrittenLeavesPageAndBackupAsTheyWere) {
    AddCatalogs(200); // a page far larger than the file size limit below
    std::ofstream(m_page, std::ios::binary) << "old page";
    std::ofstream(m_backup, std::ios::binary) << "old backup";

    // The file system refuses the rest of the page part-way, as a full disk would.
    PageWriteResult result;
    {
        const FileSizeLimit limit(4096);
        result = Write();
    }

    EXPECT_EQ(result.status, PageWriteStatus::kNotWritten);
    EXPECT_TRUE(Mentions(result.detail, "File too large")) << result.detail;
    EXPECT_EQ(Bytes(m_page), "old page");
    EXPECT_EQ(Bytes(m_backup), "old backup");
    EXPECT_EQ(Entries(m_home), (std::vector<std::string>{"mwdx_index.html", "mwdx_index.html_bak"}));

    // The next write is not hindered by the failed one.
    ASSERT_TRUE(Write().Ok());
    EXPECT_EQ(Bytes(m_backup), "old page");
    EXPECT_EQ(Bytes(m_page), Expected());
}

TEST_F(IndexPageFile, APageThatCannotBeMovedAsideChangesNothing) {
    ASSERT_EQ(Reload(), 1);
    std::ofstream(m_page, std::ios::binary) << "old page";
    // A folder in the backup's place cannot be replaced by a file.
    fs::create_directories(m_backup + "/kept");

    const PageWriteResult result = Write();
    EXPECT_EQ(result.status, PageWriteStatus::kBackupFailed);
    EXPECT_TRUE(Mentions(result.detail, m_backup)) << result.detail;
    EXPECT_EQ(Bytes(m_page), "old page");
    EXPECT_TRUE(fs::is_directory(m_backup + "/kept"));
    EXPECT_EQ(Entries(m_home), (std::vector<std::string>{"mwdx_index.html", "mwdx_index.html_bak"}));
}

TEST_F(IndexPageFile, WithoutAUsableHomeDirectoryNothingIsWritten) {
    ASSERT_EQ(Reload(), 1);
    SetHome(m_dir.File("missing"));
    PageWriteResult result = Write();
    EXPECT_EQ(result.status, PageWriteStatus::kNotWritten);
    EXPECT_TRUE(Mentions(result.detail, m_dir.File("missing"))) << result.detail;
    EXPECT_FALSE(fs::exists(m_dir.File("missing")));

    // An empty Home Directory would put the page at the file system's root.
    const bool rootPageBefore = fs::exists("/mwdx_index.html");
    SetHome("");
    result = Write();
    EXPECT_EQ(result.status, PageWriteStatus::kNoHomeDirectory);
    EXPECT_EQ(fs::exists("/mwdx_index.html"), rootPageBefore);

    // A Home Directory in which nothing can be created (immutable even for root).
    SetHome(m_dir.File("home"));
    const Outcome lock = RunProcess({"chattr", "+i", m_home});
    if (lock.exitCode != 0) {
        GTEST_SKIP() << "cannot make a folder immutable here: " << lock.err;
    }
    result = Write();
    RunProcess({"chattr", "-i", m_home});
    EXPECT_EQ(result.status, PageWriteStatus::kNotWritten);
    EXPECT_TRUE(Entries(m_home).empty());
}

} // namespace
} // namespace mwdx::test
