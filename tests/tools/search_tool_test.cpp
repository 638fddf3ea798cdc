// marrowdex-search run as the real process on a real knowledge base: it brings the content index
// up to date (saying so on stderr), answers with catalog paths and snippets, exits as documented,
// and never writes to the store. marrowdex-check then reports what the index lacks.

#include "support/document_files.h"
#include "support/process.h"
#include "support/test_support.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace mwdx::test {
namespace {

namespace fs = std::filesystem;

const std::string kSearchTool = SEARCH_TOOL_PATH;
const std::string kCheckTool = CHECK_TOOL_PATH;

std::int64_t ModifiedNs(const std::string& path) {
    struct stat file {};
    ::stat(path.c_str(), &file);
    return file.st_mtim.tv_sec * 1'000'000'000LL + file.st_mtim.tv_nsec;
}

class SearchTool : public ::testing::Test {
protected:
    void SetUp() override {
        // The tools look for the worker beside them; here it is built elsewhere.
        ::setenv("MARROWDEX_EXTRACT", EXTRACT_PATH, 1);
        m_db = m_dir.File("mymwdx.db");
        m_home = m_dir.File("home");
        fs::create_directories(m_home + "/js");
        std::ofstream(m_home + "/js/dtree.js");
        std::ofstream(m_home + "/js/dtree.css");
        fs::create_directories(m_home + "/Physics");
        std::ofstream(m_home + "/Physics/lecture.pdf") << PdfBytes({"Contents", "The Quantum field, explained"});
        std::ofstream(m_home + "/Physics/notes.txt") << "quantum notes and a few more words";
        WriteDocx(m_home + "/读书笔记.docx", "知识管理的读书笔记");
        std::ofstream(m_home + "/Physics/old.doc") << std::string("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) << "rest";
        MakeFreshDatabase(m_db);
        RunSql(m_db, "UPDATE SYS_CONFIG SET ROOT_DIR = '" + m_home +
                         "', FIRST_RUNNING = 0;"
                         "INSERT INTO FILE_NODE VALUES (1, 'Physics', 0, '', 0, '', 1);"
                         "INSERT INTO FILE_NODE VALUES (2, 'Lecture', 1, '', 1, 'lecture.pdf', 2);"
                         "INSERT INTO FILE_NODE VALUES (3, 'Notes', 1, '', 1, 'notes.txt', 2);"
                         "INSERT INTO FILE_NODE VALUES (4, '读书笔记', 0, '', 1, '读书笔记.docx', 1);"
                         "INSERT INTO FILE_NODE VALUES (5, 'Old', 1, '', 1, 'old.doc', 2);");
    }
    void TearDown() override { ::unsetenv("MARROWDEX_EXTRACT"); }

    TempDir m_dir;
    std::string m_db;
    std::string m_home;
};

TEST_F(SearchTool, IndexesFirstAnswersWithPathsAndSnippetsAndNeverWritesTheStore) {
    const std::string before = Bytes(m_db);
    const ScopedLocale locale("en_US.UTF-8");
    const Outcome found = RunProcess({kSearchTool, m_db, "field quant"});
    EXPECT_EQ(found.exitCode, 0) << found.err;
    EXPECT_EQ(found.out, "Physics/Lecture (page 2)\n"
                         "    Contents The [Quantum] [field], explained\n"
                         "Documents found: 1\n");
    EXPECT_TRUE(Mentions(found.err, "Indexing 4 of 4 documents\n")) << found.err;
    EXPECT_TRUE(Mentions(found.err, "Documents whose text was not indexed: 1\n"
                                    "  Physics/Old: not supported: a legacy Word, Excel or PowerPoint file\n"))
        << found.err;
    EXPECT_TRUE(fs::exists(m_dir.File("mymwdx_text.db"))) << "the index lives beside the store";

    // The second time nothing is read again.
    const Outcome chinese = RunProcess({kSearchTool, m_db, "读书", "--json"});
    EXPECT_EQ(chinese.exitCode, 0) << chinese.err;
    EXPECT_FALSE(Mentions(chinese.err, "Indexing")) << chinese.err;
    EXPECT_TRUE(Mentions(chinese.out, "\"matches\":1,\"capped\":false,\"hits\":[{\"id\":4,\"path\":\"读书笔记\",\"file\":\"" +
                                          m_home + "/读书笔记.docx\",\"page\":null,\"snippet\":\"知识管理的读书笔记\","
                                                   "\"highlights\":[[15,6]]}]}"))
        << chinese.out;

    const Outcome none = RunProcess({kSearchTool, m_db, "absent"});
    EXPECT_EQ(none.exitCode, 1) << none.err;
    EXPECT_EQ(none.out, "No document contains this text.\n");

    // Without the update, a document added meanwhile is not found yet; with it, it is.
    std::ofstream(m_home + "/Physics/new.txt") << "a brand new quantum document";
    RunSql(m_db, "INSERT INTO FILE_NODE VALUES (6, 'New', 1, '', 1, 'new.txt', 2);");
    const std::string withNew = Bytes(m_db);
    const std::int64_t modified = ModifiedNs(m_db);
    EXPECT_EQ(RunProcess({kSearchTool, m_db, "brand", "--no-update"}).exitCode, 1);
    const Outcome updated = RunProcess({kSearchTool, m_db, "brand"});
    EXPECT_EQ(updated.exitCode, 0) << updated.err;
    EXPECT_TRUE(Mentions(updated.err, "Indexing 1 of 1 documents")) << updated.err;
    EXPECT_EQ(Bytes(m_db), withNew) << "the store is only read";
    EXPECT_EQ(ModifiedNs(m_db), modified) << "not even written with the same bytes";
    for (const char* beside : {"-journal", "-wal", "-shm"}) {
        EXPECT_FALSE(fs::exists(m_db + beside)) << beside;
    }
    EXPECT_NE(before, withNew);

    {
        const ScopedLocale chineseLocale("zh_CN.UTF-8");
        const Outcome zh = RunProcess({kSearchTool, m_db, "quantum"});
        EXPECT_EQ(zh.exitCode, 0) << zh.err;
        EXPECT_TRUE(Mentions(zh.out, "Physics/Lecture (第 2 页)\n")) << zh.out;
        EXPECT_TRUE(Mentions(zh.out, "找到的文档：3\n")) << zh.out;
    }

    // marrowdex-check now looks at the index too: a changed file, a document the index lacks.
    EXPECT_EQ(RunProcess({kCheckTool, m_db}).exitCode, 0);
    std::ofstream(m_home + "/Physics/notes.txt") << "rewritten notes, longer than they were before";
    std::ofstream(m_home + "/Physics/later.txt") << "later";
    RunSql(m_db, "INSERT INTO FILE_NODE VALUES (7, 'Later', 1, '', 1, 'later.txt', 2);");
    const Outcome check = RunProcess({kCheckTool, m_db});
    EXPECT_EQ(check.exitCode, 1) << check.err;
    EXPECT_TRUE(Mentions(check.out, "Documents not in the content index: 1\n  " + m_home + "/Physics/later.txt"))
        << check.out;
    EXPECT_TRUE(Mentions(check.out, "Documents whose content index is out of date: 1\n  " + m_home +
                                        "/Physics/notes.txt"))
        << check.out;
    const Outcome json = RunProcess({kCheckTool, m_db, "--json"});
    EXPECT_TRUE(Mentions(json.out, "\"not-indexed\":1,\"index-stale\":1,\"trash\":0}")) << json.out;
    EXPECT_TRUE(Mentions(json.out, "{\"kind\":\"index-stale\",\"node\":3,")) << json.out;
    EXPECT_EQ(RunProcess({kSearchTool, m_db, "rewritten"}).exitCode, 0);
    EXPECT_EQ(RunProcess({kCheckTool, m_db}).exitCode, 0) << "up to date again";

    // As staged: the worker beside the tool, found there.
    ::unsetenv("MARROWDEX_EXTRACT");
    fs::create_directories(m_dir.File("program"));
    fs::copy_file(kSearchTool, m_dir.File("program/marrowdex-search"));
    fs::copy_file(EXTRACT_PATH, m_dir.File("program/marrowdex-extract"));
    std::ofstream(m_home + "/Physics/later.txt") << "later, and written again";
    const Outcome staged = RunProcess({m_dir.File("program/marrowdex-search"), m_db, "again"});
    EXPECT_EQ(staged.exitCode, 0) << staged.err;
    EXPECT_TRUE(Mentions(staged.out, "Physics/Later\n")) << staged.out;

    // The index thrown away: the next search makes it again from every document.
    fs::remove(m_dir.File("mymwdx_text.db"));
    const Outcome rebuilt = RunProcess({m_dir.File("program/marrowdex-search"), m_db, "quantum"});
    EXPECT_EQ(rebuilt.exitCode, 0) << rebuilt.err;
    EXPECT_TRUE(Mentions(rebuilt.err, "Indexing 6 of 6 documents\n")) << rebuilt.err;
    EXPECT_TRUE(Mentions(rebuilt.out, "Documents found: 2\n")) << rebuilt.out;
}

TEST_F(SearchTool, RefusesWhatItCannotUse) {
    EXPECT_EQ(RunProcess({kSearchTool}).exitCode, 2);
    EXPECT_EQ(RunProcess({kSearchTool, m_db, "word", "--bogus"}).exitCode, 2);
    EXPECT_EQ(RunProcess({kSearchTool, m_db, "one", "two"}).exitCode, 2);
    const Outcome empty = RunProcess({kSearchTool, m_db, " ,; "});
    EXPECT_EQ(empty.exitCode, 2);
    EXPECT_TRUE(Mentions(empty.err, "no words")) << empty.err;
    const Outcome missing = RunProcess({kSearchTool, m_dir.File("none.db"), "word"});
    EXPECT_EQ(missing.exitCode, 2);
    EXPECT_FALSE(fs::exists(m_dir.File("none.db"))) << "no database is made";
    std::ofstream(m_dir.File("text.db")) << "not a database at all, only words";
    const Outcome notStore = RunProcess({kSearchTool, m_dir.File("text.db"), "word"});
    EXPECT_EQ(notStore.exitCode, 2);
    EXPECT_TRUE(Mentions(notStore.err, "not a Marrowdex database")) << notStore.err;
    // Without an index and without updating, there is nothing to answer from.
    const Outcome noIndex = RunProcess({kSearchTool, m_db, "word", "--no-update"});
    EXPECT_EQ(noIndex.exitCode, 2);
    EXPECT_FALSE(fs::exists(m_dir.File("mymwdx_text.db")));
    // A worker that cannot run is said, and nothing is marked as unreadable for it.
    ::setenv("MARROWDEX_EXTRACT", m_dir.File("no-worker").c_str(), 1);
    const Outcome broken = RunProcess({kSearchTool, m_db, "quantum"});
    EXPECT_EQ(broken.exitCode, 2);
    EXPECT_TRUE(Mentions(broken.err, "cannot bring the content index up to date: " + m_dir.File("no-worker")))
        << broken.err;
}

} // namespace
} // namespace mwdx::test
