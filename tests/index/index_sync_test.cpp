// Sync Index as the button runs it, without a window: the page written with the previous one kept,
// its shortcut made on the desktop when the option asks for one (and a shortcut that cannot be
// made reported, never passed over), and the page to open.

#include "index/index_sync.h"
#include "index/page_writer.h"
#include "platform/text_ids.h"
#include "support/catalog_fixture.h"
#include "support/process.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <string>

namespace mwdx::test {
namespace {

namespace fs = std::filesystem;

class IndexSyncTest : public CatalogFixture {
protected:
    void SetUp() override {
        CatalogFixture::SetUp();
        fs::create_directories(m_dir.Path() / "home");
        fs::create_directories(m_desktop);
        SetHome(m_dir.File("home"));
        AddRow(1, "Physics", 0, kCatalogType, 1);
        ASSERT_EQ(Reload(), 1);
    }

    IndexSyncResult Sync(bool shortcut, const std::string& desktop) {
        return SyncIndexPage(m_model, LanguageStrings(true), shortcut, desktop);
    }

    std::string m_desktop = m_dir.File("Desktop");
    std::string m_page = m_dir.File("home/mwdx_index.html");
    std::string m_link = m_desktop + "/marrowdex.lnk";
};

TEST_F(IndexSyncTest, ThePageIsWrittenLinkedOnTheDesktopAndGivenToOpen) {
    IndexSyncResult result = Sync(false, m_desktop);
    EXPECT_EQ(result.message, 0);
    EXPECT_EQ(result.pageToOpen, m_page);
    EXPECT_NE(Bytes(m_page).find("'Physics'"), std::string::npos);
    EXPECT_FALSE(fs::exists(fs::symlink_status(m_link))) << "no shortcut unless the option asks";

    const std::string first = Bytes(m_page);
    fs::create_symlink("/somewhere/else", m_link);
    result = Sync(true, m_desktop);
    EXPECT_EQ(result.message, 0) << result.detail;
    EXPECT_EQ(Bytes(m_page + "_bak"), first);
    EXPECT_EQ(fs::read_symlink(m_link), m_page) << "whatever link was there is replaced";
    EXPECT_EQ(result.pageToOpen, m_page);
}

TEST_F(IndexSyncTest, AShortcutThatCannotBeMadeIsReportedAndThePageStillOpens) {
    // A desktop folder that is not there, and no desktop at all.
    for (const std::string& desktop : {m_dir.File("no such folder"), std::string()}) {
        const IndexSyncResult result = Sync(true, desktop);
        EXPECT_EQ(result.message, text::kShortcutNotMade) << desktop;
        EXPECT_EQ(result.pageToOpen, m_page) << "the page itself was written";
    }
    EXPECT_FALSE(fs::exists(m_dir.File("no such folder")));
}

TEST_F(IndexSyncTest, APageThatCannotBeWrittenLinksNothingAndOpensNothing) {
    // A top-level document owns the page's name: the writer never replaces it.
    AddRow(2, "Page", 0, 1, 1, "mwdx_index.html");
    MakeFile(m_page, "the user's own document");
    ASSERT_EQ(Reload(), 1);
    const IndexSyncResult result = Sync(true, m_desktop);
    EXPECT_EQ(result.message, text::kPageNameTaken);
    EXPECT_TRUE(result.pageToOpen.empty());
    EXPECT_EQ(Bytes(m_page), "the user's own document");
    EXPECT_FALSE(fs::exists(fs::symlink_status(m_link)));
}

} // namespace
} // namespace mwdx::test
