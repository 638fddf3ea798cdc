// marrowdex-check run as the real process: what it prints, how it exits, and that it never
// writes to the store it checks.

#include "catalog/loader.h"
#include "operations/trash.h"
#include "store/connection.h"
#include "store/journal.h"
#include "store/settings.h"
#include "support/process.h"
#include "support/test_support.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace mwdx::test {
namespace {

namespace fs = std::filesystem;

const std::string kCheckTool = CHECK_TOOL_PATH;

class CheckTool : public ::testing::Test {
protected:
    void SetUp() override {
        m_db = m_dir.File("mymwdx.db");
        m_home = m_dir.File("home");
        fs::create_directories(m_home + "/js");
        std::ofstream(m_home + "/js/dtree.js");
        std::ofstream(m_home + "/js/dtree.css");
        fs::create_directories(m_home + "/Reading");
        std::ofstream(m_home + "/Reading/paper.pdf") << "paper";
        MakeFreshDatabase(m_db);
        RunSql(m_db, "UPDATE SYS_CONFIG SET ROOT_DIR = '" + m_home +
                         "', FIRST_RUNNING = 0;"
                         "INSERT INTO FILE_NODE VALUES (1, 'Reading', 0, '', 0, '', 1);"
                         "INSERT INTO FILE_NODE VALUES (2, 'Paper', 1, '', 1, 'paper.pdf', 2);");
    }

    TempDir m_dir;
    std::string m_db;
    std::string m_home;
};

TEST_F(CheckTool, SaysHealthyOrListsWhatIsWrongAndNeverWrites) {
    {
        const ScopedLocale locale("en_US.UTF-8");
        const Outcome healthy = RunProcess({kCheckTool, m_db});
        EXPECT_EQ(healthy.exitCode, 0) << healthy.err;
        EXPECT_EQ(healthy.out, "The knowledge base is healthy.\n");
    }

    fs::remove(m_home + "/Reading/paper.pdf");
    std::ofstream(m_home + "/Reading/stray \"one\".txt") << "stray";
    RunSql(m_db, "INSERT INTO FILE_NODE VALUES (3, 'Lost', 42, '', 0, '', 2);");
    const std::string bytes = Bytes(m_db);
    {
        const ScopedLocale locale("en_US.UTF-8");
        const Outcome found = RunProcess({kCheckTool, m_db});
        EXPECT_EQ(found.exitCode, 1) << found.err;
        EXPECT_EQ(found.out, "Problems found: 3\n"
                             "\nFiles or folders missing: 1\n  " +
                                 m_home +
                                 "/Reading/paper.pdf (file missing)\n"
                                 "\nFiles and folders in the Home Directory that no catalog or document owns: 1\n"
                                 "  " +
                                 m_home +
                                 "/Reading/stray \"one\".txt (file)\n"
                                 "\nEntries that could not be shown: 1\n  Lost (missing parent)\n");
    }
    {
        const ScopedLocale locale("zh_CN.UTF-8");
        const Outcome chinese = RunProcess({kCheckTool, m_db});
        EXPECT_EQ(chinese.exitCode, 1);
        EXPECT_TRUE(Mentions(chinese.out, "发现的问题数：3")) << chinese.out;
        EXPECT_TRUE(Mentions(chinese.out, "缺少的文件或文件夹: 1")) << chinese.out;
    }
    const Outcome json = RunProcess({kCheckTool, m_db, "--json"});
    EXPECT_EQ(json.exitCode, 1);
    EXPECT_TRUE(Mentions(json.out, "\"healthy\":false,\"nodes\":2,")) << json.out;
    EXPECT_TRUE(Mentions(json.out, "\"counts\":{\"missing\":1,\"wrong-type\":0,\"untracked\":1,\"unplaced\":1,"))
        << json.out;
    EXPECT_TRUE(Mentions(json.out, "{\"kind\":\"untracked\",\"node\":0,\"path\":\"" + m_home +
                                       "/Reading/stray \\\"one\\\".txt\",\"detail\":\"file\"}"))
        << json.out;
    EXPECT_EQ(Bytes(m_db), bytes);
    EXPECT_FALSE(fs::exists(m_db + "-journal"));
}

// The check of a knowledge base whose Home Directory is not a full folder path reports that, and
// only that: walking a relative one would read the working folder, "/" the whole file system.
TEST_F(CheckTool, AHomeDirectoryThatIsNotAFullPathIsReportedAndExitsWithTwo) {
    const std::string work = m_dir.File("work");
    MakeFile(work + "/home/stray.txt");
    RunSql(m_db, "UPDATE SYS_CONFIG SET ROOT_DIR = 'home';");
    {
        const ScopedLocale locale("en_US.UTF-8");
        const Outcome text = RunProcess({kCheckTool, m_db}, work);
        EXPECT_EQ(text.exitCode, 2);
        EXPECT_EQ(text.out, "Problems found: 1\n\nThe Home Directory is not a full folder path, or it is / itself: 1\n"
                            "  home (not an absolute, normal path other than /)\n");
        EXPECT_TRUE(Mentions(text.err, "marrowdex-check: ") && Mentions(text.err, "\"home\" is not a full folder path"))
            << text.err;
    }
    RunSql(m_db, "UPDATE SYS_CONFIG SET ROOT_DIR = '/';");
    const Outcome json = RunProcess({kCheckTool, m_db, "--json"}, work);
    EXPECT_EQ(json.exitCode, 2);
    EXPECT_TRUE(Mentions(json.out, "\"entries\":0,")) << json.out;
    EXPECT_TRUE(Mentions(json.out, "\"refused-entry\":0,\"home-directory\":1,\"not-indexed\":0,\"index-stale\":0,\"trash\":0},")) << json.out;
    EXPECT_TRUE(Mentions(json.out, "{\"kind\":\"home-directory\",\"node\":0,\"path\":\"/\",")) << json.out;
    // A healthy one says so in the same shape.
    RunSql(m_db, "UPDATE SYS_CONFIG SET ROOT_DIR = '" + m_home + "';");
    EXPECT_TRUE(Mentions(RunProcess({kCheckTool, m_db, "--json"}).out, "\"home-directory\":0,\"not-indexed\":0,\"index-stale\":0,\"trash\":0}"));
}

TEST_F(CheckTool, WhatCannotBeCheckedExitsWithTwo) {
    EXPECT_EQ(RunProcess({kCheckTool, m_dir.File("nothing.db")}).exitCode, 2);
    EXPECT_FALSE(fs::exists(m_dir.File("nothing.db"))) << "no database is made";
    std::ofstream(m_dir.File("notes.db")) << "not a database";
    const Outcome text = RunProcess({kCheckTool, m_dir.File("notes.db")});
    EXPECT_EQ(text.exitCode, 2);
    EXPECT_TRUE(Mentions(text.err, "not a Marrowdex database")) << text.err;
    EXPECT_EQ(RunProcess({kCheckTool, m_db, "--bogus"}).exitCode, 2);

    // A store cut short (a copy stopped part-way): SQLite's own words for it, not what is left in
    // freed memory.
    const std::string cut = m_dir.File("cut.db");
    fs::copy_file(m_db, cut);
    fs::resize_file(cut, 4096);
    const Outcome truncated = RunProcess({kCheckTool, cut});
    EXPECT_EQ(truncated.exitCode, 2);
    EXPECT_EQ(truncated.err,
              "marrowdex-check: " + cut + ": not a Marrowdex database (database disk image is malformed)\n");
}

TEST_F(CheckTool, ListsARecordThatDoesNotFitWithWhyAndCarriesNothingOut) {
    const std::string outside = m_dir.File("Private");
    fs::create_directories(outside);
    std::ofstream(outside + "/letter.txt") << "dear mother";
    OpenStore(m_db);
    JournalEntry planted{
        .kind = "import", .step = kJournalRowsWritten, .fromPath = outside, .toPath = outside, .flags = 1};
    ASSERT_EQ(WriteJournalEntry(planted), kStatementOk);
    CloseStore();
    {
        const ScopedLocale locale("en_US.UTF-8");
        const Outcome found = RunProcess({kCheckTool, m_db});
        EXPECT_EQ(found.exitCode, 1) << found.err;
        EXPECT_EQ(found.out,
                  "Problems found: 1\n"
                  "\nRecords of unfinished commands that do not fit the knowledge base (not carried out): 1\n"
                  "  " +
                      outside + " (import: a path lies outside the Home Directory)\n");
    }
    const Outcome json = RunProcess({kCheckTool, m_db, "--json"});
    EXPECT_TRUE(Mentions(json.out, "\"unfinished\":0,\"script-folder\":0,\"refused-entry\":1,")) << json.out;
    EXPECT_EQ(Bytes(outside + "/letter.txt"), "dear mother");
}

// The trash belongs to the knowledge base: a document deleted into it is not untracked there. Its
// damage is a finding of its own: an entry's file gone, something no entry owns.
TEST_F(CheckTool, TheTrashIsNotUntrackedAndItsDamageIsAFindingOfItsOwn) {
    OpenStore(m_db);
    LoadSettings();
    {
        CatalogModel catalog;
        LoadCatalog(catalog);
        std::int64_t id = 0;
        ASSERT_TRUE(DeleteToTrashOperation(catalog, m_home, *catalog.NodeById(2), true, {}, &id).done);
        ASSERT_EQ(id, 1);
    }
    ClearJournalEntriesLeftForLater();
    FreeSettings();
    CloseStore();
    ASSERT_TRUE(fs::exists(m_home + "/.marrowdex-trash/1/paper.pdf"));
    {
        const ScopedLocale locale("en_US.UTF-8");
        const Outcome healthy = RunProcess({kCheckTool, m_db});
        EXPECT_EQ(healthy.exitCode, 0) << healthy.out;
    }
    fs::remove(m_home + "/.marrowdex-trash/1/paper.pdf");
    std::ofstream(m_home + "/.marrowdex-trash/left here.txt") << "stray";
    {
        const ScopedLocale locale("en_US.UTF-8");
        const Outcome found = RunProcess({kCheckTool, m_db});
        EXPECT_EQ(found.exitCode, 1);
        EXPECT_EQ(found.out, "Problems found: 2\n\nDamaged trash: 2\n  " + m_home +
                                 "/.marrowdex-trash/1/paper.pdf (files missing)\n  " + m_home +
                                 "/.marrowdex-trash/left here.txt (no entry of the trash owns it)\n");
    }
    {
        const ScopedLocale locale("zh_CN.UTF-8");
        EXPECT_TRUE(Mentions(RunProcess({kCheckTool, m_db}).out, "回收站已损坏: 2"));
    }
    EXPECT_TRUE(Mentions(RunProcess({kCheckTool, m_db, "--json"}).out, "\"index-stale\":0,\"trash\":2}"));
}

} // namespace
} // namespace mwdx::test
