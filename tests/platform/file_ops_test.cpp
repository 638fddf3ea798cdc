#include "platform/file_ops.h"
#include "support/process.h"
#include "support/test_support.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace {

using mwdx::test::TempDir;

void WriteFile(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

TEST(FileOpsTest, ShortcutIsALinkToThePageThatReplacesWhatWasThere) {
    TempDir dir;
    const fs::path desktop = dir.Path() / "Desktop";
    fs::create_directory(desktop);
    const fs::path link = desktop / "marrowdex.lnk";

    ASSERT_TRUE(mwdx::CreateDesktopShortcut("/kb/mwdx_index.html", link.string()));
    EXPECT_EQ(fs::read_symlink(link), "/kb/mwdx_index.html");
    ASSERT_TRUE(mwdx::CreateDesktopShortcut("/new kb/mwdx_index.html", link.string()));
    EXPECT_EQ(fs::read_symlink(link), "/new kb/mwdx_index.html");
    fs::remove(link);
    WriteFile(link, "an old shortcut file");
    ASSERT_TRUE(mwdx::CreateDesktopShortcut("/kb/mwdx_index.html", link.string()));
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(mwdx::test::Entries(desktop.string()), (std::vector<std::string>{"marrowdex.lnk"}));

    EXPECT_FALSE(mwdx::CreateDesktopShortcut("/kb/mwdx_index.html", (dir.Path() / "no" / "marrowdex.lnk").string()));
    EXPECT_TRUE(mwdx::PathExists(link.string()));
    EXPECT_FALSE(mwdx::PathExists((dir.Path() / "no").string()));
    EXPECT_FALSE(mwdx::PathExists(""));
}

} // namespace
