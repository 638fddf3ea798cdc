// marrowdex-index run as the real process on real databases and folders: what it writes, what
// it says, and that every failure leaves the page, the backup and the database as they were.

#include "support/process.h"
#include "support/test_support.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <vector>

namespace mwdx::test {
namespace {

namespace fs = std::filesystem;

const std::string kIndexTool = INDEX_TOOL_PATH;

// Sets an environment variable for the processes a test starts; restores it afterwards.
class ScopedEnv final {
public:
    ScopedEnv(const char* name, const char* value) : m_name(name) {
        if (const char* old = std::getenv(name)) {
            m_old = old;
        }
        ::setenv(name, value, 1);
    }
    ~ScopedEnv() {
        if (m_old) {
            ::setenv(m_name, m_old->c_str(), 1);
        } else {
            ::unsetenv(m_name);
        }
    }

private:
    const char* m_name;
    std::optional<std::string> m_old;
};

class IndexTool : public ::testing::Test {
protected:
    void SetUp() override {
        m_db = m_dir.File("mymwdx.db");
        m_home = m_dir.File("home");
        fs::create_directory(m_home);
        MakeFreshDatabase(m_db);
        RunSql(m_db, "UPDATE SYS_CONFIG SET ROOT_DIR = '" + m_home +
                         "', FIRST_RUNNING = 0;"
                         "INSERT INTO FILE_NODE VALUES (1, 'Reading', 0, '', 0, '', 1);"
                         "INSERT INTO FILE_NODE VALUES (2, 'Paper', 1, '', 1, 'paper.pdf', 2);");
        m_page = m_home + "/mwdx_index.html";
        m_backup = m_page + "_bak";
    }

    Outcome Run() { return RunProcess({kIndexTool, m_db}); }

    TempDir m_dir;
    std::string m_db;
    std::string m_home;
    std::string m_page;
    std::string m_backup;
};

TEST_F(IndexTool, WritesThePageInTheUiLanguageAndKeepsThePreviousOne) {
    const ScopedEnv noOverride("LC_ALL", "");
    const ScopedEnv noMessages("LC_MESSAGES", "");
    Outcome run;
    {
        const ScopedEnv chinese("LANG", "zh_CN.UTF-8");
        run = Run();
    }
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, m_page + "\n");
    // Without the script folder the page cannot draw its tree; the tool says so.
    EXPECT_TRUE(Mentions(run.err, "warning: " + m_home + "/js/dtree.js is missing")) << run.err;
    const std::string chinesePage = Bytes(m_page);
    EXPECT_TRUE(Mentions(chinesePage, "<title>zuzuv</title>"));
    EXPECT_TRUE(Mentions(chinesePage, "展开所有节点"));
    EXPECT_TRUE(Mentions(chinesePage, "d.add(2,1,'Paper','" + m_home + "/Reading/paper.pdf','','_blank');\r\n"));
    EXPECT_FALSE(fs::exists(m_backup));

    // Traditional Chinese is not the program's Chinese: English texts. The first page is the backup.
    fs::create_directories(m_home + "/js");
    std::ofstream(m_home + "/js/dtree.js") << "// script\n";
    {
        const ScopedEnv traditional("LANG", "zh_TW.UTF-8");
        run = Run();
    }
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err, "");
    EXPECT_TRUE(Mentions(Bytes(m_page), "<title>Marrowdex</title>"));
    EXPECT_EQ(Bytes(m_backup), chinesePage);
}

TEST_F(IndexTool, RefusesWhatItCannotUseAndChangesNothing) {
    struct Case {
        std::string what;
        std::string databasePath;
        std::string sql; // run on a copy of the fixture database first
        std::string message;
    };
    const std::string notDatabase = m_dir.File("notes.txt");
    std::ofstream(notDatabase) << "just some notes\n";
    const std::string emptyDatabase = m_dir.File("empty.db");
    RunSql(emptyDatabase, "CREATE TABLE unrelated (x)");
    const std::vector<Case> cases = {
        {"missing file", m_dir.File("nothing.db"), "", m_dir.File("nothing.db") + ": No such file or directory"},
        {"folder", m_home, "", m_home + ": not a database file"},
        {"not a database", notDatabase, "", "not a Marrowdex database (file is not a database)"},
        {"other database", emptyDatabase, "", "not a Marrowdex database (no such table: SYS_CONFIG)"},
        {"no Home Directory", m_db, "UPDATE SYS_CONFIG SET ROOT_DIR = ''", "no Home Directory is set"},
        {"missing Home Directory", m_db, "UPDATE SYS_CONFIG SET ROOT_DIR = '" + m_home + "/gone'",
         "the Home Directory " + m_home + "/gone does not exist"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (!c.sql.empty()) {
            RunSql(c.databasePath, c.sql);
        }
        const std::vector<std::string> before = Entries(m_dir.Path());
        const Outcome run = RunProcess({kIndexTool, c.databasePath});
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_EQ(run.out, "");
        EXPECT_TRUE(Mentions(run.err, "marrowdex-index: ") && Mentions(run.err, c.message)) << run.err;
        EXPECT_EQ(Entries(m_dir.Path()), before);
        EXPECT_TRUE(Entries(m_home).empty());
    }

    const Outcome usage = RunProcess({kIndexTool, m_db, "extra"});
    EXPECT_EQ(usage.exitCode, 2);
    EXPECT_TRUE(Mentions(usage.err, "usage: marrowdex-index [DATABASE]")) << usage.err;
}

TEST_F(IndexTool, AFailedBackupOrWriteLeavesPageAndBackupAsTheyWere) {
    std::ofstream(m_page) << "old page";
    fs::create_directories(m_backup + "/kept");
    Outcome run = Run();
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(Mentions(run.err, "could not be kept as a backup, so nothing was written")) << run.err;
    EXPECT_EQ(Bytes(m_page), "old page");
    EXPECT_TRUE(fs::is_directory(m_backup + "/kept"));

    fs::remove_all(m_backup);
    std::ofstream(m_backup) << "old backup";
    // The file size limit is inherited by the tool: its page fails part-way, as on a full disk.
    {
        const FileSizeLimit limit(512);
        run = Run();
    }
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(Mentions(run.err, "the index page could not be written")) << run.err;
    EXPECT_EQ(Bytes(m_page), "old page");
    EXPECT_EQ(Bytes(m_backup), "old backup");
    EXPECT_EQ(Entries(m_home), (std::vector<std::string>{"mwdx_index.html", "mwdx_index.html_bak"}));
}

// A Home Directory that is not a full folder path would put the page somewhere else than it says:
// under the working folder, at the file system's root, or in a folder only ".." passes through.
TEST_F(IndexTool, AHomeDirectoryThatIsNotAFullPathIsRefusedWithTwo) {
    const std::string work = m_dir.File("work");
    fs::create_directories(work + "/Knowledge");
    fs::create_directories(m_dir.File("nothing"));
    for (const std::string& value :
         {std::string("Knowledge"), std::string("/"), m_dir.File("nothing/../home"), m_home + "/", m_home + "/./"}) {
        SCOPED_TRACE(value);
        RunSql(m_db, "UPDATE SYS_CONFIG SET ROOT_DIR = '" + value + "';");
        const Outcome run = RunProcess({kIndexTool, m_db}, work);
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_EQ(run.out, "");
        EXPECT_TRUE(Mentions(run.err, "is not a full folder path other than /")) << run.err;
        EXPECT_TRUE(Entries(work + "/Knowledge").empty());
        EXPECT_TRUE(Entries(m_home).empty());
        EXPECT_TRUE(Entries(m_dir.File("nothing")).empty());
        EXPECT_FALSE(fs::exists("/mwdx_index.html"));
    }
}

// Without an argument the tool reads mymwdx.db beside itself, wherever it is started from, and
// never creates it.
TEST_F(IndexTool, DefaultsToTheDatabaseBesideItself) {
    const fs::path programDir = m_dir.Path() / "program";
    fs::create_directory(programDir);
    const fs::path tool = programDir / "marrowdex-index";
    fs::copy_file(kIndexTool, tool);

    Outcome run = RunProcess({tool.string()}, m_home);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(Mentions(run.err, (programDir / "mymwdx.db").string())) << run.err;
    EXPECT_EQ(Entries(programDir), std::vector<std::string>{"marrowdex-index"});

    fs::copy_file(m_db, programDir / "mymwdx.db");
    run = RunProcess({tool.string()}, m_dir.Path());
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, m_page + "\n");
    EXPECT_TRUE(fs::is_regular_file(m_page));
}

} // namespace
} // namespace mwdx::test
