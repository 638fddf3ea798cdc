// The health check on a knowledge base damaged in every way it can be: each kind of finding is
// found, once, and nothing the program itself keeps in the Home Directory is taken for one.

#include "catalog/loader.h"
#include "operations/add_catalog.h"
#include "operations/check.h"
#include "platform/home_fs.h"
#include "store/check_record.h"
#include "store/connection.h"
#include "store/journal.h"
#include "support/catalog_fixture.h"
#include "support/process.h"
#include "support/test_support.h"

#include <atomic>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <thread>

namespace fs = std::filesystem;

namespace mwdx::test {
namespace {

class CheckTest : public CatalogFixture {
protected:
    void SetUp() override {
        CatalogFixture::SetUp();
        fs::create_directories(m_realHome);
        SetHome(m_realHome);
        MakeFile(m_realHome + "/js/dtree.js");
        MakeFile(m_realHome + "/js/dtree.css");
        MakeFile(m_realHome + "/mwdx_index.html");
        MakeFile(m_realHome + "/mwdx_index.html_bak");
    }

    CheckReport Check(const ProgramFiles& program = {}) {
        CatalogModel catalog;
        LoadReport load;
        LoadCatalog(catalog, &load);
        return CheckKnowledgeBase(catalog, load, m_realHome, program);
    }

    // "kind:path" of each finding, paths below the Home Directory shortened to "~/...".
    std::vector<std::string> Lines(const CheckReport& report) const {
        static const char* kinds[] = {"missing", "wrong-type", "untracked",  "unplaced", "wrong-level",
                                      "shared",  "bad-name",   "unfinished", "js",       "refused"};
        std::vector<std::string> lines;
        for (const Finding& f : report.findings) {
            std::string path = f.path;
            if (path.starts_with(m_realHome)) {
                path = "~" + path.substr(m_realHome.size());
            }
            lines.push_back(std::string(kinds[static_cast<int>(f.kind)]) + ":" + path);
        }
        return lines;
    }

    std::string m_realHome = m_dir.File("Knowledge");
};

// The Check button's work runs on a worker while the window goes on adding catalogs: the worker
// reads the store between the window's commands, never inside one, and remembers its count.
TEST_F(CheckTest, TheCheckRunsOnAWorkerBesideTheWindowsCommands) {
    ASSERT_EQ(Reload(), 1);
    for (int i = 0; i < 5; ++i) {
        ASSERT_TRUE(AddCatalogOperation(m_model, m_realHome, {nullptr, "Before " + std::to_string(i), ""}).done);
    }
    CheckReport report;
    LoadReport load;
    std::atomic<bool> checking{true};
    std::thread worker([&] {
        report = CheckAndRemember({}, &load);
        checking = false;
    });
    int added = 0;
    for (; added < 200 && (added < 3 || checking); ++added) {
        ASSERT_TRUE(AddCatalogOperation(m_model, m_realHome, {nullptr, "During " + std::to_string(added), ""}).done);
    }
    worker.join();
    EXPECT_GE(report.nodes, 5u);
    EXPECT_LE(report.nodes, 5u + static_cast<std::size_t>(added));
    EXPECT_EQ(load.rowsRead, report.nodes);
    // An add caught between its folder and its row shows as its journal's entry and its folder.
    for (const Finding& finding : report.findings) {
        EXPECT_TRUE(finding.kind == FindingKind::kUntracked || finding.kind == FindingKind::kUnfinished)
            << finding.path << ": " << finding.detail;
        EXPECT_NE(finding.path.find("/During "), std::string::npos) << finding.path;
    }
    EXPECT_EQ(ReadLastCheck(), static_cast<std::int64_t>(report.findings.size()));

    const CheckReport after = CheckAndRemember({});
    EXPECT_TRUE(after.Healthy());
    EXPECT_EQ(after.nodes, 5u + static_cast<std::size_t>(added));
    EXPECT_EQ(ReadLastCheck(), 0);
}

TEST_F(CheckTest, AHealthyKnowledgeBaseHasNoFindings) {
    AddRow(1, "Physics", 0, 0, 1);
    AddRow(2, "Book", 1, 1, 2, "book.pdf");
    AddRow(3, "2024/Taxes", 0, 0, 1); // an old store's name with '/': its folders are owned too
    MakeFile(m_realHome + "/Physics/book.pdf");
    fs::create_directories(m_realHome + "/2024/Taxes");
    MakeFile(m_realHome + "/Physics/" + TemporaryName(TemporaryKind::kFileCopy, 3)); // the program's own
    const std::string before = Bytes(m_db);
    const CheckReport report = Check();
    EXPECT_TRUE(report.Healthy()) << ::testing::PrintToString(Lines(report));
    EXPECT_EQ(report.nodes, 3u);
    EXPECT_EQ(Bytes(m_db), before) << "the check only reads";
}

TEST_F(CheckTest, EveryKindOfDamageIsFoundOnce) {
    AddRow(1, "Physics", 0, 0, 1);
    AddRow(2, "Optics", 1, 0, 2);             // its folder is gone
    AddRow(3, "Book", 1, 1, 2, "book.pdf");   // there
    AddRow(4, "Notes", 1, 1, 2, "notes.txt"); // a folder where its file should be
    AddRow(5, "Lost", 99, 0, 2);              // its parent row is gone
    AddRow(6, "Deep", 1, 0, 7);               // a wrong level
    AddRow(7, "Twin", 0, 0, 1);
    AddRow(8, "Twin", 0, 0, 1);               // the same path as 7
    AddRow(9, "Odd", 1, 1, 2, "bad\x01name"); // a control character in a file name
    MakeFile(m_realHome + "/Physics/book.pdf");
    fs::create_directories(m_realHome + "/Physics/notes.txt");
    fs::create_directories(m_realHome + "/Physics/Deep");
    fs::create_directories(m_realHome + "/Twin");
    MakeFile(m_realHome + "/Physics/bad\x01name");
    MakeFile(m_realHome + "/Physics/stray.txt");
    MakeFile(m_realHome + "/Loose/a.txt"); // reported as its folder, not file by file
    MakeFile(m_realHome + "/Loose/deeper/b.txt");
    fs::remove(m_realHome + "/js/dtree.css");
    JournalEntry entry;
    entry.kind = kJournalRename;
    entry.nodeId = 7;
    entry.fromPath = m_realHome + "/Twin";
    entry.toPath = m_realHome + "/Science";
    entry.name = "Science";
    ASSERT_EQ(WriteJournalEntry(entry), kStatementOk);
    // The same from a store whose Home Directory was elsewhere: not this knowledge base's.
    entry.fromPath = m_dir.File("Other/Twin");
    entry.toPath = m_dir.File("Other/Science");
    ASSERT_EQ(WriteJournalEntry(entry), kStatementOk);

    const CheckReport report = Check();
    EXPECT_EQ(Lines(report), (std::vector<std::string>{
                                 "missing:~/Physics/Optics",
                                 "wrong-type:~/Physics/notes.txt",
                                 "untracked:~/Loose",
                                 "untracked:~/Physics/stray.txt",
                                 "unplaced:Lost",
                                 "wrong-level:~/Physics/Deep",
                                 "shared:~/Twin",
                                 "bad-name:~/Physics/bad\x01name",
                                 "unfinished:~/Science",
                                 "js:~/js",
                                 "refused:" + m_dir.File("Other/Science"),
                             }));
    EXPECT_EQ(report.Count(FindingKind::kUntracked), 2u);
    EXPECT_EQ(report.findings[3 + 1].detail, "missing parent");
    EXPECT_EQ(report.findings[report.findings.size() - 2].detail, "missing: dtree.css");
    EXPECT_EQ(report.findings.back().detail, "rename: a path lies outside the Home Directory");
}

TEST_F(CheckTest, TheScriptFolderIsComparedWithTheProgramsOwn) {
    const ProgramFiles program{m_dir.File("program"), m_db};
    const std::string source = program.folder + "/js";
    MakeFile(source + "/dtree.js");
    MakeFile(source + "/dtree.css");
    MakeFile(source + "/img/folder.gif");
    MakeFile(source + "/img/page.gif");
    MakeFile(m_realHome + "/js/img/folder.gif");
    const CheckReport report = Check(program);
    ASSERT_EQ(report.findings.size(), 1u);
    EXPECT_EQ(report.findings[0].detail, "missing: img/page.gif");
    MakeFile(m_realHome + "/js/img/page.gif");
    EXPECT_TRUE(Check(program).Healthy());
}

} // namespace
} // namespace mwdx::test
