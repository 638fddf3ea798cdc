#include "platform/file_ops.h"
#include "support/process.h"
#include "support/test_support.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace {

using mwdx::test::TempDir;

void WriteFile(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(FileOpsTest, MakeDirectoryPathCreatesEveryMissingLevelAndAcceptsWhatExists) {
    TempDir dir;
    const fs::path deep = dir.Path() / "a" / "b c" / "\u76EE\u5F55" / "d";
    EXPECT_TRUE(mwdx::MakeDirectoryPath(deep.string()));
    EXPECT_TRUE(fs::is_directory(deep));
    EXPECT_TRUE(mwdx::MakeDirectoryPath(deep.string() + "/"));
    EXPECT_TRUE(mwdx::MakeDirectoryPath((dir.Path() / "x" / "y" / "").string()));
    EXPECT_TRUE(fs::is_directory(dir.Path() / "x" / "y"));

    // Something already there counts, file or not; but nothing can be made below a file.
    WriteFile(dir.Path() / "a" / "note", "keep");
    EXPECT_TRUE(mwdx::MakeDirectoryPath((dir.Path() / "a" / "note").string()));
    EXPECT_FALSE(mwdx::MakeDirectoryPath((dir.Path() / "a" / "note" / "z").string()));
    EXPECT_EQ(ReadFile(dir.Path() / "a" / "note"), "keep");
    EXPECT_FALSE(mwdx::MakeDirectoryPath(""));
}

TEST(FileOpsTest, CopyFolderIntoCopiesEverythingOrLeavesNothingBehind) {
    TempDir dir;
    const fs::path source = dir.Path() / "program" / "js";
    fs::create_directories(source / "img");
    WriteFile(source / "dtree.js", "function dTree() {}");
    WriteFile(source / "img" / "folder.gif", std::string("GIF89a\0\x01", 8));
    const fs::path home = dir.Path() / "home";
    fs::create_directory(home);

    std::string error;
    ASSERT_TRUE(mwdx::CopyFolderInto(source.string(), home.string(), &error)) << error;
    EXPECT_EQ(ReadFile(home / "js" / "dtree.js"), "function dTree() {}");
    EXPECT_EQ(ReadFile(home / "js" / "img" / "folder.gif"), std::string("GIF89a\0\x01", 8));
    struct stat st {};
    ASSERT_EQ(::stat((home / "js").c_str(), &st), 0);
    EXPECT_EQ(
        st.st_mode & 0777, 0777 & ~[] {
            const mode_t m = ::umask(0);
            ::umask(m);
            return m;
        }());
    EXPECT_EQ(mwdx::test::Entries(home.string()), (std::vector<std::string>{"js"}));

    // An existing target is never copied over.
    WriteFile(home / "js" / "dtree.js", "mine");
    EXPECT_FALSE(mwdx::CopyFolderInto(source.string(), home.string(), &error));
    EXPECT_EQ(ReadFile(home / "js" / "dtree.js"), "mine");

    // A copy that fails part-way (a pipe cannot be copied) leaves no folder, not even a hidden one.
    const fs::path other = dir.Path() / "other";
    fs::create_directory(other);
    ASSERT_EQ(::mkfifo((source / "img" / "zz-pipe").c_str(), 0600), 0);
    EXPECT_FALSE(mwdx::CopyFolderInto(source.string(), other.string(), &error));
    EXPECT_FALSE(error.empty());
    EXPECT_TRUE(mwdx::test::Entries(other.string()).empty());
    EXPECT_FALSE(mwdx::CopyFolderInto((dir.Path() / "missing").string(), other.string(), &error));
    EXPECT_TRUE(mwdx::test::Entries(other.string()).empty());
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
