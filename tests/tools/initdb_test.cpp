// marrowdex-initdb run as a real process on real folders, the database it makes, and staging.

#include "store/fresh_database.h"
#include "support/process.h"
#include "support/test_support.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace mwdx::test {
namespace {

namespace fs = std::filesystem;

const std::string kInitdb = INITDB_PATH;

TEST(InitdbTool, CreatesAFreshDatabaseWhoseModeFollowsTheUmask) {
    for (const mode_t mask : {mode_t{022}, mode_t{027}}) {
        SCOPED_TRACE(testing::Message() << "umask 0" << std::oct << mask);
        TempDir dir;
        const std::string db = dir.File("mymwdx.db");
        const mode_t previous = ::umask(mask);
        const Outcome run = RunProcess({kInitdb, db});
        ::umask(previous);

        ASSERT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(run.err, "");
        EXPECT_EQ(Entries(dir.Path()), std::vector<std::string>{"mymwdx.db"});
        struct stat st {};
        ASSERT_EQ(::stat(db.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0666 & ~mask) << std::oct << (st.st_mode & 07777);

        EXPECT_EQ(QueryText(db, "SELECT group_concat(name) FROM (SELECT name FROM sqlite_master"
                                " WHERE type = 'table' AND name NOT LIKE 'sqlite_%' ORDER BY name)"),
                  "FILE_NODE,SYS_CONFIG");
        EXPECT_EQ(QueryText(db, "SELECT count(*) FROM FILE_NODE"), "0");
        // quote() tells '' from NULL and 1 from '1'.
        EXPECT_EQ(QueryText(db, "SELECT count(*) || ':' || group_concat(quote(ROOT_DIR) || ',' ||"
                                " quote(FIRST_RUNNING) || ',' || quote(URL_SHORTCUT) || ',' ||"
                                " quote(DELDOC_AFTERADDING) || ',' || quote(DELDOC_AFTERDELNODE)) FROM SYS_CONFIG"),
                  "1:'',1,0,0,0");
    }
}

TEST(InitdbTool, LeavesAnythingAlreadyAtThePathUntouched) {
    TempDir dir;
    const std::string db = dir.File("mymwdx.db");
    MakeFreshDatabase(db);
    RunSql(db, "INSERT INTO FILE_NODE (FILE_NAME) VALUES ('kept')");
    const std::string notDatabase = dir.File("notes.txt");
    std::ofstream(notDatabase, std::ios::binary) << std::string("not a database\n\0\xff", 17);
    // A dangling link counts as taken too: the tool must not create the file it points to.
    const std::string link = dir.File("link.db");
    fs::create_symlink(dir.File("elsewhere.db"), link);
    const std::vector<std::string> before = Entries(dir.Path());

    for (const std::string& path : {db, notDatabase, link}) {
        SCOPED_TRACE(path);
        const std::string bytes = Bytes(path);
        const Outcome run = RunProcess({kInitdb, path});
        EXPECT_NE(run.exitCode, 0);
        EXPECT_TRUE(Mentions(run.err, path) && Mentions(run.err, "already exists")) << run.err;
        EXPECT_EQ(Bytes(path), bytes);
    }
    EXPECT_EQ(QueryText(db, "SELECT group_concat(FILE_NAME) FROM FILE_NODE"), "kept");
    EXPECT_EQ(fs::read_symlink(link), dir.File("elsewhere.db"));
    EXPECT_EQ(Entries(dir.Path()), before);
}

TEST(InitdbTool, FailsInAMissingFolderAndLeavesNothing) {
    TempDir dir;
    const std::string path = dir.File("missing/mymwdx.db");
    const Outcome run = RunProcess({kInitdb, path});
    EXPECT_NE(run.exitCode, 0);
    EXPECT_TRUE(Mentions(run.err, path)) << run.err;
    EXPECT_TRUE(Entries(dir.Path()).empty());
}

TEST(InitdbTool, WithoutExactlyOnePathPrintsUsageAndCreatesNothing) {
    TempDir dir;
    const std::vector<std::vector<std::string>> calls = {{kInitdb}, {kInitdb, ""}, {kInitdb, "a.db", "b.db"}};
    for (const auto& call : calls) {
        const Outcome run = RunProcess(call, dir.Path());
        EXPECT_NE(run.exitCode, 0);
        EXPECT_TRUE(Mentions(run.err, "usage: marrowdex-initdb PATH")) << run.err;
    }
    EXPECT_TRUE(Entries(dir.Path()).empty());
}

// The file system fills up while the tables are written: the tool reports it and removes its
// half-written file.
TEST(InitdbTool, FullFileSystemIsReportedAndLeavesNothing) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs root to mount a small tmpfs";
    }
    TempDir dir;
    // The tmpfs exists only in the new mount namespace, so what is left is counted in there.
    const std::string script = "mount -t tmpfs -o size=8k tmpfs \"$1\" || exit 99\n"
                               "\"$2\" \"$1/mymwdx.db\"; rc=$?\n"
                               "echo \"entries: $(ls -A \"$1\" | wc -l)\" >&2\n"
                               "exit $rc\n";
    const Outcome run = RunProcess({"unshare", "--mount", "sh", "-c", script, "sh", dir.Path().string(), kInitdb});
    if (!Mentions(run.err, "entries: ")) {
        GTEST_SKIP() << "cannot mount a tmpfs in a mount namespace here: " << run.err;
    }
    EXPECT_NE(run.exitCode, 0);
    EXPECT_TRUE(Mentions(run.err, dir.File("mymwdx.db") + ": ")) << run.err;
    EXPECT_TRUE(Mentions(run.err, "entries: 0\n")) << run.err;
    EXPECT_TRUE(Entries(dir.Path()).empty());
}

TEST(FreshDatabase, DeletedFileIdsAreNeverGivenOut) {
    TempDir dir;
    const std::string db = dir.File("mymwdx.db");
    std::string error;
    ASSERT_TRUE(CreateFreshDatabase(db, &error)) << error;
    RunSql(db, "INSERT INTO FILE_NODE (FILE_NAME) VALUES ('a'); INSERT INTO FILE_NODE (FILE_NAME) VALUES ('b')");
    const long long highest = std::stoll(QueryText(db, "SELECT max(FILE_ID) FROM FILE_NODE"));
    RunSql(db, "DELETE FROM FILE_NODE WHERE FILE_ID = " + std::to_string(highest) +
                   "; INSERT INTO FILE_NODE (FILE_NAME) VALUES ('c')");
    EXPECT_GT(std::stoll(QueryText(db, "SELECT FILE_ID FROM FILE_NODE WHERE FILE_NAME = 'c'")), highest);
}

// `cmake --install` stages the tool and a database beside it, and staging again keeps the
// database it finds there, byte for byte.
TEST(Staging, MakesTheProgramFolderAndTheDatabaseOnlyWhereNoneIs) {
    TempDir stage;
    TempDir menu;
    ::setenv("MARROWDEX_DESKTOP_ENTRY_DIR", menu.Path().c_str(), 1);
    const std::vector<std::string> install = {CMAKE_EXE, "--install", BUILD_DIR, "--prefix", stage.Path().string()};
    const Outcome first = RunProcess(install);
    ASSERT_EQ(first.exitCode, 0) << first.err;
    const std::string db = stage.File("mymwdx.db");
    for (const char* file : {"marrowdex", "ehelp.html", "chelp.html", "marrowdex.png"}) {
        EXPECT_TRUE(fs::is_regular_file(stage.File(file))) << file;
    }
    // Every picture the help pages show lies beside them.
    for (const char* page : {"ehelp.html", "chelp.html"}) {
        const std::string html = Bytes(stage.File(page));
        int pictures = 0;
        for (auto at = html.find("<img src=\""); at != std::string::npos; at = html.find("<img src=\"", at + 1)) {
            const auto start = at + 10;
            const std::string picture = html.substr(start, html.find('"', start) - start);
            EXPECT_TRUE(fs::is_regular_file(stage.File(picture))) << page << ": " << picture;
            ++pictures;
        }
        EXPECT_GE(pictures, 9) << page << " shows every window";
    }
    // The application menu's entry starts the staged program, from its own folder.
    const std::string entry = Bytes(menu.File("marrowdex.desktop"));
    EXPECT_EQ(entry, Bytes(stage.File("marrowdex.desktop")));
    EXPECT_NE(entry.find("\nExec=\"" + stage.File("marrowdex") + "\"\n"), std::string::npos) << entry;
    EXPECT_NE(entry.find("\nIcon=" + stage.File("marrowdex.png") + "\n"), std::string::npos) << entry;
    EXPECT_TRUE(fs::is_regular_file(stage.File("marrowdex-initdb")));
    EXPECT_TRUE(fs::is_regular_file(stage.File("marrowdex-index")));
    EXPECT_TRUE(fs::is_regular_file(stage.File("marrowdex-check")));
    EXPECT_TRUE(fs::is_regular_file(stage.File("marrowdex-search")));
    EXPECT_TRUE(fs::is_regular_file(stage.File("marrowdex-extract"))) << "the worker beside the program and tools";
    // The script folder a new Home Directory receives, with the icon the page names itself.
    EXPECT_TRUE(fs::is_regular_file(stage.File("js/dtree.js")));
    EXPECT_TRUE(fs::is_regular_file(stage.File("js/dtree.css")));
    EXPECT_TRUE(fs::is_regular_file(stage.File("js/img/folder.gif")));
    ASSERT_TRUE(fs::is_regular_file(db));
    EXPECT_EQ(QueryText(db, "SELECT FIRST_RUNNING FROM SYS_CONFIG"), "1");

    RunSql(db, "UPDATE SYS_CONFIG SET ROOT_DIR = '/home/someone/kb', FIRST_RUNNING = 0");
    const std::string bytes = Bytes(db);
    const Outcome second = RunProcess(install);
    EXPECT_EQ(second.exitCode, 0) << second.err;
    EXPECT_EQ(Bytes(db), bytes);
    ::unsetenv("MARROWDEX_DESKTOP_ENTRY_DIR");
}

} // namespace
} // namespace mwdx::test
