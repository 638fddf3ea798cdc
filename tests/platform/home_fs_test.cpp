// The steps below the Home Directory on real folders: what each makes, renames, deletes or copies,
// and that a link anywhere below the Home Directory stops a step instead of leading it outside.

#include "platform/home_fs.h"
#include "support/process.h"
#include "support/test_support.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace {

using mwdx::HomeTree;
using mwdx::MadeDirectories;
using mwdx::test::Bytes;
using mwdx::test::Entries;
using mwdx::test::Mentions;
using mwdx::test::TempDir;
using Names = std::vector<std::string>;

void WriteFile(const fs::path& path, const std::string& content) {
    std::ofstream(path, std::ios::binary) << content;
}

// A Home Directory and, beside it, a folder with a file that no step may ever touch.
struct Setting {
    TempDir dir;
    fs::path home = dir.Path() / "home";
    fs::path outside = dir.Path() / "outside";
    HomeTree tree{home.string()};

    Setting() {
        fs::create_directories(home);
        fs::create_directories(outside);
        WriteFile(outside / "precious.txt", "keep me");
    }
    std::string In(const std::string& below) const { return (home / below).string(); }
    bool OutsideUntouched() const {
        return Entries(outside) == Names{"precious.txt"} && Bytes(outside / "precious.txt") == "keep me";
    }
};

TEST(HomeFsTest, NewFoldersAreMadeDownFromTheHomeDirectoryAndListedForUndoing) {
    Setting s;
    MadeDirectories made;
    std::string error;
    ASSERT_TRUE(s.tree.MakeDirectoryPath(s.In("Physics/Optics/\u5149\u5B66"), &made, &error)) << error;
    EXPECT_TRUE(fs::is_directory(s.home / "Physics/Optics/\u5149\u5B66"));
    EXPECT_EQ(made, (Names{s.In("Physics"), s.In("Physics/Optics"), s.In("Physics/Optics/\u5149\u5B66")}));

    // What exists is not made again, and not listed.
    MadeDirectories again;
    EXPECT_TRUE(s.tree.MakeDirectoryPath(s.In("Physics/Optics/./Lenses/"), &again));
    EXPECT_EQ(again, (Names{s.In("Physics/Optics/Lenses")}));
    EXPECT_TRUE(s.tree.MakeDirectoryPath(s.In("Physics"), &again));
    EXPECT_EQ(again.size(), 1u);

    // Undoing removes exactly what was made, innermost first, and keeps a folder that gained a file.
    WriteFile(s.home / "Physics/Optics/note.txt", "mine");
    EXPECT_FALSE(s.tree.RemoveMadeDirectories(made)) << "Optics is not empty";
    EXPECT_TRUE(made.empty());
    EXPECT_TRUE(fs::is_directory(s.home / "Physics/Optics/Lenses"));
    EXPECT_FALSE(fs::exists(s.home / "Physics/Optics/\u5149\u5B66"));
    EXPECT_EQ(Bytes(s.home / "Physics/Optics/note.txt"), "mine");
    EXPECT_TRUE(s.tree.RemoveMadeDirectories(again));
    EXPECT_FALSE(fs::exists(s.home / "Physics/Optics/Lenses"));

    // A link in the way stops the walk: nothing is made through it. A file cannot hold a folder.
    fs::create_directory_symlink(s.outside, s.home / "Physics/escape");
    errno = 0;
    EXPECT_FALSE(s.tree.MakeDirectoryPath(s.In("Physics/escape/x"), &made, &error));
    EXPECT_EQ(errno, ELOOP);
    EXPECT_TRUE(Mentions(error, "a link is in the way at " + s.In("Physics/escape"))) << error;
    EXPECT_FALSE(s.tree.MakeDirectoryPath(s.In("Physics/escape"), &made)) << "a link is not a folder";
    EXPECT_FALSE(s.tree.MakeDirectoryPath(s.In("Physics/Optics/note.txt/x"), &made));
    EXPECT_EQ(errno, ENOTDIR);
    EXPECT_TRUE(made.empty());
    EXPECT_TRUE(s.OutsideUntouched());

    // Outside the Home Directory nothing is even tried.
    for (const std::string& path : {s.In("../outside/x"), s.outside.string() + "/x", std::string("relative/x")}) {
        errno = 0;
        EXPECT_FALSE(s.tree.MakeDirectoryPath(path, &made)) << path;
        EXPECT_EQ(errno, EINVAL) << path;
    }
    EXPECT_TRUE(s.OutsideUntouched());
}

// Only a full, normal path other than "/" can be the Home Directory; with any other, every step
// refuses before the disk is touched.
TEST(HomeFsTest, OnlyAFullNormalPathOtherThanTheRootIsAHomeDirectory) {
    for (const char* usable : {"/home/reader/Knowledge", "/k", "/home/reader/\u77e5\u8bc6"}) {
        EXPECT_TRUE(mwdx::IsUsableHomeDirectory(usable)) << usable;
    }
    for (const char* unusable : {"", "/", "Knowledge", "./Knowledge", "//home", "/home/", "/home/./reader",
                                 "/home/../reader", "/home//reader", "/home/reader/.."}) {
        EXPECT_FALSE(mwdx::IsUsableHomeDirectory(unusable)) << unusable;
    }
    // A chosen folder: the '/' a chooser may leave at its end goes; nothing else is mended.
    EXPECT_EQ(mwdx::HomeDirectoryOf("/home/reader/Knowledge/"), "/home/reader/Knowledge");
    EXPECT_EQ(mwdx::HomeDirectoryOf("/k//"), "/k");
    for (const char* unusable : {"", "/", "//", "Knowledge/", "/home/../reader/", "/home/./reader", "//home"}) {
        EXPECT_EQ(mwdx::HomeDirectoryOf(unusable), "") << unusable;
    }
    Setting s;
    const std::string roundabout = (s.dir.Path() / "outside/../home").string();
    EXPECT_FALSE(HomeTree(roundabout).MakeDirectoryPath(roundabout + "/Physics"));
    EXPECT_FALSE(HomeTree(s.home.string() + "/").MakeDirectoryPath(s.In("Physics")));
    EXPECT_TRUE(Entries(s.home).empty());
    EXPECT_TRUE(s.OutsideUntouched());
}

TEST(HomeFsTest, AMissingHomeDirectoryIsMadeAsGivenWithItsParents) {
    TempDir dir;
    const fs::path home = dir.Path() / "new" / "Knowledge";
    const HomeTree tree(home.string());
    MadeDirectories made;
    ASSERT_TRUE(tree.MakeDirectoryPath((home / "Chemistry").string(), &made));
    EXPECT_EQ(made, (Names{(dir.Path() / "new").string(), home.string(), (home / "Chemistry").string()}));
    EXPECT_TRUE(tree.RemoveMadeDirectories(made));
    EXPECT_TRUE(Entries(dir.Path()).empty());

    // The Home Directory itself may be a link: it is taken as the user gave it.
    fs::create_directories(dir.Path() / "real");
    fs::create_directory_symlink(dir.Path() / "real", dir.Path() / "linked");
    const HomeTree linked((dir.Path() / "linked").string());
    ASSERT_TRUE(linked.MakeDirectoryPath((dir.Path() / "linked" / "Biology").string()));
    EXPECT_TRUE(fs::is_directory(dir.Path() / "real" / "Biology"));
}

TEST(HomeFsTest, RenamingNeverReplacesAndTakesBackTheParentsItMade) {
    Setting s;
    fs::create_directories(s.home / "Physics/Optics");
    WriteFile(s.home / "Physics/Optics/lens.txt", "lens");
    fs::create_directories(s.home / "Taken");
    WriteFile(s.home / "Taken/theirs.txt", "theirs");

    std::string error;
    errno = 0;
    EXPECT_FALSE(s.tree.RenameNoReplace(s.In("Physics"), s.In("Taken"), nullptr, &error));
    EXPECT_EQ(errno, EEXIST) << error;
    EXPECT_EQ(Bytes(s.home / "Taken/theirs.txt"), "theirs");
    EXPECT_EQ(Bytes(s.home / "Physics/Optics/lens.txt"), "lens");

    // Without leave to make parents, a missing one fails the rename; with it, they are made.
    EXPECT_FALSE(s.tree.RenameNoReplace(s.In("Physics"), s.In("Science/Natural/Physics")));
    EXPECT_EQ(errno, ENOENT);
    EXPECT_FALSE(fs::exists(s.home / "Science"));
    MadeDirectories made;
    ASSERT_TRUE(s.tree.RenameNoReplace(s.In("Physics"), s.In("Science/Natural/Physics"), &made, &error)) << error;
    EXPECT_EQ(Bytes(s.home / "Science/Natural/Physics/Optics/lens.txt"), "lens");
    EXPECT_EQ(made, (Names{s.In("Science"), s.In("Science/Natural")}));

    // A rename the kernel refuses after the parents were made (into its own subtree) leaves none.
    MadeDirectories none;
    EXPECT_FALSE(
        s.tree.RenameNoReplace(s.In("Science"), s.In("Science/Natural/Physics/Optics/deeper/Science"), &none, &error));
    EXPECT_TRUE(none.empty());
    EXPECT_FALSE(fs::exists(s.home / "Science/Natural/Physics/Optics/deeper"));

    // Back again, and the parents go: as an edit whose row could not be saved undoes itself.
    ASSERT_TRUE(s.tree.RenameNoReplace(s.In("Science/Natural/Physics"), s.In("Physics")));
    EXPECT_TRUE(s.tree.RemoveMadeDirectories(made));
    EXPECT_EQ(Entries(s.home), (Names{"Physics", "Taken"}));

    // A link as the renamed thing is renamed itself; a link on either way stops the rename.
    fs::create_directory_symlink(s.outside, s.home / "escape");
    ASSERT_TRUE(s.tree.RenameNoReplace(s.In("escape"), s.In("way out")));
    EXPECT_EQ(fs::read_symlink(s.home / "way out"), s.outside);
    EXPECT_FALSE(s.tree.RenameNoReplace(s.In("way out/precious.txt"), s.In("Physics/precious.txt")));
    EXPECT_EQ(errno, ELOOP);
    EXPECT_FALSE(s.tree.RenameNoReplace(s.In("Physics/Optics/lens.txt"), s.In("way out/lens.txt")));
    EXPECT_EQ(errno, ELOOP);
    EXPECT_FALSE(s.tree.RenameNoReplace(s.In("Physics"), s.In("way out/new/Physics"), &made));
    EXPECT_EQ(errno, ELOOP);
    EXPECT_FALSE(s.tree.RenameNoReplace(s.In("Physics"), s.In("../outside/Physics"), &made));
    EXPECT_EQ(errno, EINVAL);
    EXPECT_TRUE(made.empty());
    EXPECT_EQ(Bytes(s.home / "Physics/Optics/lens.txt"), "lens");
    EXPECT_TRUE(s.OutsideUntouched());
}

TEST(HomeFsTest, DeletingTakesAWholeFolderButNeverWhatALinkPointsTo) {
    Setting s;
    const fs::path catalog = s.home / "Chemistry";
    fs::create_directories(catalog / "Salts/Old");
    WriteFile(catalog / "acids.txt", "acids");
    WriteFile(catalog / "Salts/salt.txt", "salt");
    WriteFile(catalog / "Salts/Old/older.txt", "older");
    fs::create_directory_symlink(s.outside, catalog / "Salts/to outside");
    fs::create_symlink(s.outside / "precious.txt", catalog / "shortcut.txt");
    // Deeper than any catalog path: the removal holds one folder open at a time.
    fs::path deep = catalog / "deep";
    for (int level = 0; level < 300; ++level) {
        deep /= "d";
    }
    fs::create_directories(deep);
    WriteFile(deep / "bottom.txt", "bottom");
    WriteFile(s.home / "kept.txt", "kept");

    std::string error;
    ASSERT_TRUE(s.tree.DeletePath(s.In("Chemistry/acids.txt"), &error)) << error;
    EXPECT_FALSE(fs::exists(catalog / "acids.txt"));
    ASSERT_TRUE(s.tree.DeletePath(s.In("Chemistry/shortcut.txt")));
    EXPECT_FALSE(fs::exists(fs::symlink_status(catalog / "shortcut.txt")));
    ASSERT_TRUE(s.tree.DeletePath(s.In("Chemistry"), &error)) << error;
    EXPECT_EQ(Entries(s.home), (Names{"kept.txt"})) << "nothing left, not even a hidden name";
    EXPECT_TRUE(s.OutsideUntouched());

    // Nothing there, or a file where a folder would be: nothing to do.
    EXPECT_TRUE(s.tree.DeletePath(s.In("Chemistry")));
    EXPECT_TRUE(s.tree.DeletePath(s.In("Gone/away/file.txt")));
    EXPECT_TRUE(s.tree.DeletePath(s.In("kept.txt/x")));

    // Through a link, or outside, or the Home Directory itself: refused, nothing touched.
    fs::create_directory_symlink(s.outside, s.home / "escape");
    errno = 0;
    EXPECT_FALSE(s.tree.DeletePath(s.In("escape/precious.txt"), &error));
    EXPECT_EQ(errno, ELOOP);
    EXPECT_TRUE(Mentions(error, "a link is in the way at " + s.In("escape"))) << error;
    for (const std::string& path : {s.In("../outside/precious.txt"), s.home.string(), s.In("a/../..")}) {
        errno = 0;
        EXPECT_FALSE(s.tree.DeletePath(path)) << path;
        EXPECT_EQ(errno, EINVAL) << path;
    }
    EXPECT_TRUE(s.OutsideUntouched());
    EXPECT_EQ(Bytes(s.home / "kept.txt"), "kept");
}

// Makes `path` immutable while it lives (root on a file system that supports it only).
class Immutable final {
public:
    explicit Immutable(fs::path path) : m_path(std::move(path)) {
        m_set = mwdx::test::RunProcess({"chattr", "+i", m_path.string()}).exitCode == 0;
    }
    ~Immutable() {
        if (m_set) {
            mwdx::test::RunProcess({"chattr", "-i", m_path.string()});
        }
    }
    Immutable(const Immutable&) = delete;
    Immutable& operator=(const Immutable&) = delete;
    bool Set() const { return m_set; }

private:
    fs::path m_path;
    bool m_set = false;
};

TEST(HomeFsTest, ADeleteThatFailsPartWayPutsWhatIsLeftBackUnderItsName) {
    Setting s;
    const fs::path catalog = s.home / "Physics";
    fs::create_directories(catalog / "Optics/Locked");
    WriteFile(catalog / "Optics/Locked/lens.txt", "lens");
    WriteFile(catalog / "Optics/mirror.txt", "mirror");
    WriteFile(catalog / "notes.txt", "notes");
    {
        Immutable locked(catalog / "Optics/Locked");
        if (!locked.Set()) {
            GTEST_SKIP() << "chattr +i does not work here (needs root and a file system that supports it)";
        }
        std::string error;
        errno = 0;
        EXPECT_FALSE(s.tree.DeletePath(s.In("Physics"), &error));
        EXPECT_EQ(errno, EPERM);
        EXPECT_TRUE(Mentions(error, "cannot delete " + s.In("Physics/Optics/Locked/lens.txt"))) << error;
        EXPECT_EQ(Entries(s.home), (Names{"Physics"})) << "back under its own name, no hidden folder left";
        EXPECT_EQ(Bytes(catalog / "Optics/Locked/lens.txt"), "lens");

        // A folder that cannot even be moved aside stays whole.
        Immutable frozen(catalog / "Optics");
        ASSERT_TRUE(frozen.Set());
        const Names before = Entries(catalog / "Optics");
        EXPECT_FALSE(s.tree.DeletePath(s.In("Physics/Optics/Locked"), &error));
        EXPECT_FALSE(s.tree.DeletePath(s.In("Physics/Optics/mirror.txt"), &error));
        EXPECT_EQ(errno, EPERM);
        EXPECT_EQ(Entries(catalog / "Optics"), before);
    }
    // Once the lock is gone, the rest goes too.
    ASSERT_TRUE(s.tree.DeletePath(s.In("Physics")));
    EXPECT_TRUE(Entries(s.home).empty());
}

TEST(HomeFsTest, TemporaryNamesAreTheProgramsOwnAndRecognisedAsSuch) {
    using mwdx::IsTemporaryName;
    using mwdx::TemporaryKind;
    Names names;
    for (const TemporaryKind kind :
         {TemporaryKind::kDeleting, TemporaryKind::kFileCopy, TemporaryKind::kFolderCopy, TemporaryKind::kLink}) {
        int tries = 0;
        const std::string name = mwdx::ReserveTemporaryName(kind, [&](const std::string&) {
            errno = EEXIST; // the first two are taken
            return ++tries > 2;
        });
        EXPECT_EQ(tries, 3);
        EXPECT_TRUE(IsTemporaryName(name)) << name;
        EXPECT_EQ(name.front(), '.') << "hidden";
        names.push_back(name);
    }
    EXPECT_TRUE(names[0].starts_with(".marrowdex.deleting.")) << names[0];
    std::sort(names.begin(), names.end());
    EXPECT_EQ(std::unique(names.begin(), names.end()), names.end());

    errno = 0;
    EXPECT_EQ(mwdx::ReserveTemporaryName(TemporaryKind::kFileCopy,
                                         [](const std::string&) {
                                             errno = EACCES;
                                             return false;
                                         }),
              "");
    EXPECT_EQ(errno, EACCES);

    EXPECT_TRUE(IsTemporaryName(".marrowdex.deleting.4711.12"));
    EXPECT_TRUE(IsTemporaryName(".mwdx_index.html.0a1B2c3D")) << "the index page writer's";
    for (const char* ordinary :
         {".marrowdex", ".marrowdex.deleting", ".marrowdex.deleting.12", ".marrowdex.deleting.x.1",
          ".marrowdex.deleting.1.", "marrowdex.deleting.1.2", ".marrowdex.other.1.2", ".mwdx_index.html.0a1B2c3",
          ".mwdx_index.html.0a1B2c3g", "mwdx_index.html", ""}) {
        EXPECT_FALSE(IsTemporaryName(ordinary)) << ordinary;
    }
}

TEST(HomeFsTest, ADocumentArrivesOnlyInAFolderReachedWithoutALink) {
    Setting s;
    fs::create_directories(s.home / "Letters");
    const fs::path chosen = s.dir.Path() / "letter.txt";
    const std::string content(3 << 20, 'l');
    WriteFile(chosen, content);

    std::vector<std::pair<std::uint64_t, std::uint64_t>> reports;
    mwdx::TransferControl control;
    control.progress = [&](std::uint64_t done, std::uint64_t total) { reports.emplace_back(done, total); };
    std::string error;
    ASSERT_TRUE(s.tree.CopyFileNoReplace(chosen.string(), s.In("Letters/letter.txt"), &error, control)) << error;
    EXPECT_EQ(Bytes(s.home / "Letters/letter.txt"), content);
    ASSERT_FALSE(reports.empty());
    EXPECT_EQ(reports.back(), std::make_pair(std::uint64_t{content.size()}, std::uint64_t{content.size()}));

    // Taken, through a link, or outside: refused with the cause, nothing anywhere.
    errno = 0;
    EXPECT_FALSE(s.tree.MoveFileNoReplace(chosen.string(), s.In("Letters/letter.txt"), &error));
    EXPECT_EQ(errno, EEXIST) << error;
    fs::create_directory_symlink(s.outside, s.home / "Letters/escape");
    EXPECT_FALSE(s.tree.CopyFileNoReplace(chosen.string(), s.In("Letters/escape/letter.txt"), &error));
    EXPECT_EQ(errno, ELOOP) << error;
    EXPECT_FALSE(s.tree.MoveFileNoReplace(chosen.string(), s.In("Letters/escape/letter.txt"), &error));
    EXPECT_EQ(errno, ELOOP) << error;
    EXPECT_FALSE(s.tree.MoveFileNoReplace(chosen.string(), s.In("../outside/letter.txt"), &error));
    EXPECT_EQ(errno, EINVAL) << error;
    EXPECT_TRUE(s.OutsideUntouched());
    EXPECT_EQ(Bytes(chosen), content);

    // Cancelled part-way: nothing under the name, no temporary file, the source kept.
    std::atomic<bool> cancel{false};
    mwdx::TransferControl stop;
    stop.cancel = &cancel;
    stop.progress = [&](std::uint64_t, std::uint64_t) { cancel = true; };
    errno = 0;
    EXPECT_FALSE(s.tree.CopyFileNoReplace(chosen.string(), s.In("Letters/copy.txt"), &error, stop));
    EXPECT_EQ(errno, ECANCELED) << error;
    EXPECT_FALSE(s.tree.MoveFileNoReplace(chosen.string(), s.In("Letters/moved.txt"), &error, stop));
    EXPECT_EQ(errno, ECANCELED) << error;
    EXPECT_EQ(Entries(s.home / "Letters"), (Names{"escape", "letter.txt"}));
    EXPECT_EQ(Bytes(chosen), content);

    // Moved within one file system: one rename, reported done at once.
    reports.clear();
    ASSERT_TRUE(s.tree.MoveFileNoReplace(chosen.string(), s.In("moved.txt"), &error, control)) << error;
    EXPECT_FALSE(fs::exists(chosen));
    EXPECT_EQ(Bytes(s.home / "moved.txt"), content);
    EXPECT_EQ(reports, (std::vector<std::pair<std::uint64_t, std::uint64_t>>{{content.size(), content.size()}}));
}

TEST(HomeFsTest, AFolderIsCopiedInWholeOrNotAtAll) {
    Setting s;
    const fs::path source = s.dir.Path() / "program" / "js";
    fs::create_directories(source / "img");
    WriteFile(source / "dtree.js", "function dTree() {}");
    WriteFile(source / "img" / "folder.gif", std::string("GIF89a\0\x01", 8));
    fs::create_symlink(source / "dtree.js", source / "alias.js"); // followed: the copy gets the file

    std::string error;
    ASSERT_TRUE(s.tree.CopyFolderInto(source.string(), s.home.string(), &error)) << error;
    EXPECT_EQ(Entries(s.home), (Names{"js"}));
    EXPECT_EQ(Bytes(s.home / "js" / "dtree.js"), "function dTree() {}");
    EXPECT_EQ(Bytes(s.home / "js" / "img" / "folder.gif"), std::string("GIF89a\0\x01", 8));
    EXPECT_FALSE(fs::is_symlink(s.home / "js" / "alias.js"));
    EXPECT_EQ(Bytes(s.home / "js" / "alias.js"), "function dTree() {}");
    struct stat st {};
    ASSERT_EQ(::stat((s.home / "js").c_str(), &st), 0);
    const mode_t mask = ::umask(0);
    ::umask(mask);
    EXPECT_EQ(st.st_mode & 0777, 0777 & ~mask) << "the mode a new folder gets";

    // An existing target is never copied over.
    WriteFile(s.home / "js" / "dtree.js", "mine");
    errno = 0;
    EXPECT_FALSE(s.tree.CopyFolderInto(source.string(), s.home.string(), &error));
    EXPECT_EQ(errno, EEXIST);
    EXPECT_EQ(Bytes(s.home / "js" / "dtree.js"), "mine");

    // Into a folder reached through a link: refused. A copy that fails part-way (a pipe has no
    // content to copy, a link back up would never end) leaves nothing, not even a hidden folder.
    fs::create_directory_symlink(s.outside, s.home / "escape");
    EXPECT_FALSE(s.tree.CopyFolderInto(source.string(), s.In("escape"), &error));
    EXPECT_EQ(errno, ELOOP);
    EXPECT_FALSE(s.tree.CopyFolderInto(source.string(), s.outside.string(), &error));
    EXPECT_EQ(errno, EINVAL);
    EXPECT_TRUE(s.OutsideUntouched());
    fs::create_directories(s.home / "other");
    ASSERT_EQ(::mkfifo((source / "img" / "zz-pipe").c_str(), 0600), 0);
    EXPECT_FALSE(s.tree.CopyFolderInto(source.string(), s.In("other"), &error));
    EXPECT_TRUE(Mentions(error, "zz-pipe")) << error;
    fs::remove(source / "img" / "zz-pipe");
    fs::create_directory_symlink(source, source / "img" / "loop");
    EXPECT_FALSE(s.tree.CopyFolderInto(source.string(), s.In("other"), &error));
    EXPECT_EQ(errno, ELOOP) << error;
    EXPECT_FALSE(s.tree.CopyFolderInto((s.dir.Path() / "missing").string(), s.In("other"), &error));
    EXPECT_TRUE(Entries(s.home / "other").empty());
}

} // namespace
