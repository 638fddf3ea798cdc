#include "store/journal.h"
#include "store/statements.h"
#include "store_fixture.h"
#include "support/process.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

namespace mwdx::test {
namespace {

using JournalTest = StoreTest;

TEST_F(JournalTest, AnEntryIsDurableBeforeTheStepAndGoesWithTheRowsItsCommandWrites) {
    OpenFresh();
    const std::string fresh = Bytes(m_db);
    int status = -1;
    EXPECT_TRUE(ReadJournal(&status).empty());
    EXPECT_EQ(status, kStatementOk);
    EXPECT_EQ(Bytes(m_db), fresh) << "reading a store without a journal writes nothing";

    JournalEntry added;
    added.kind = kJournalAddDocument;
    added.parentId = (std::int64_t{1} << 33) + 1;
    added.fromPath = "/inbox/it's.pdf";
    added.toPath = "/home/k/A/it's.pdf";
    added.name = "It's \u4E2D";
    added.comment = std::string("line\0two", 8);
    added.rawFileName = "it's.pdf";
    added.fileType = 1;
    added.pathLevel = 2;
    added.flags = 1;
    ASSERT_EQ(WriteJournalEntry(added), kStatementOk);
    EXPECT_GT(added.id, 0);
    JournalEntry deleting;
    deleting.kind = kJournalDelete;
    deleting.nodeId = 7;
    deleting.fromPath = "/home/k/B";
    ASSERT_EQ(WriteJournalEntry(deleting), kStatementOk);

    // Committed at once: another connection sees both, oldest first, every field whole.
    EXPECT_EQ(QueryText(m_db, "select group_concat(KIND) from MWDX_JOURNAL;"), "add-document,delete");
    std::vector<JournalEntry> entries = ReadJournal(&status);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].id, added.id);
    EXPECT_EQ(entries[0].parentId, added.parentId);
    EXPECT_EQ(entries[0].fromPath, added.fromPath);
    EXPECT_EQ(entries[0].toPath, added.toPath);
    EXPECT_EQ(entries[0].name, added.name);
    EXPECT_EQ(entries[0].comment, added.comment);
    EXPECT_EQ(entries[0].rawFileName, added.rawFileName);
    EXPECT_EQ(entries[0].fileType, 1);
    EXPECT_EQ(entries[0].pathLevel, 2);
    EXPECT_EQ(entries[0].flags, 1);
    EXPECT_EQ(entries[1].step, kJournalStarted);

    // The delete's rows and its next step commit together, or neither does.
    deleting.step = kJournalRowsWritten;
    deleting.asidePath = "/home/k/.marrowdex.deleting.1.2";
    {
        Transaction transaction;
        ASSERT_EQ(transaction.Begin(), kStatementOk);
        ASSERT_EQ(ExecStatement(InsertNodeStatement("row", 0, "", 0, "", 1)), kStatementOk);
        ASSERT_EQ(SetJournalStep(deleting), kStatementOk);
    } // given up
    entries = ReadJournal();
    EXPECT_EQ(entries[1].step, kJournalStarted);
    EXPECT_EQ(entries[1].asidePath, "");
    EXPECT_EQ(QueryText(m_db, "select count(*) from FILE_NODE;"), "0");
    {
        Transaction transaction;
        ASSERT_EQ(transaction.Begin(), kStatementOk);
        ASSERT_EQ(ExecStatement(InsertNodeStatement("row", 0, "", 0, "", 1)), kStatementOk);
        ASSERT_EQ(SetJournalStep(deleting), kStatementOk);
        ASSERT_EQ(ClearJournalEntry(added.id), kStatementOk);
        ASSERT_EQ(transaction.Commit(), kStatementOk);
    }
    entries = ReadJournal();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].step, kJournalRowsWritten);
    EXPECT_EQ(entries[0].asidePath, deleting.asidePath);
    EXPECT_EQ(QueryText(m_db, "select count(*) from FILE_NODE;"), "1");
}

TEST_F(JournalTest, ALockedStoreRefusesTheEntrySoTheCommandNeverStarts) {
    OpenFresh();
    ASSERT_EQ(ExecStatement("PRAGMA busy_timeout=50;"), kStatementOk);
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(m_db.c_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE;", nullptr, nullptr, nullptr), SQLITE_OK);
    JournalEntry entry;
    entry.kind = kJournalAddCatalog;
    EXPECT_NE(WriteJournalEntry(entry), kStatementOk);
    EXPECT_EQ(entry.id, 0);
    sqlite3_exec(other, "ROLLBACK;", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    EXPECT_TRUE(ReadJournal().empty());
}

} // namespace
} // namespace mwdx::test
