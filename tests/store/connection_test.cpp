#include "store/statements.h"
#include "store_fixture.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <sqlite3.h>
#include <thread>
#include <vector>

namespace mwdx::test {
namespace {

constexpr unsigned char kUntouched = 0xAA;

std::int32_t IntAt(const std::vector<unsigned char>& buffer, std::size_t offset) {
    std::int32_t value;
    std::memcpy(&value, buffer.data() + offset, sizeof value);
    return value;
}

std::string BytesAt(const std::vector<unsigned char>& buffer, std::size_t offset, std::size_t count) {
    return std::string(reinterpret_cast<const char*>(buffer.data() + offset), count);
}

bool AllUntouched(const std::vector<unsigned char>& buffer, std::size_t from) {
    return std::all_of(buffer.begin() + static_cast<std::ptrdiff_t>(from), buffer.end(),
                       [](unsigned char b) { return b == kUntouched; });
}

using ConnectionTest = StoreTest;

TEST_F(ConnectionTest, StatusCodesForMissingStatementsConnectionsAndFailures) {
    const ColumnSpec one[] = {{0, 1, 4}};
    std::int32_t value = 0;
    int rows = 42;

    // Without a connection: a missing or empty text is reported first, and the row count is left alone.
    EXPECT_EQ(QueryRows(nullptr, 1, one, 4, &value, 1, &rows), kEmptyStatement);
    EXPECT_EQ(QueryRows("", 1, one, 4, &value, 1, &rows), kEmptyStatement);
    EXPECT_EQ(QueryRows("select 1;", 1, one, 4, &value, 1, &rows), kNoConnection);
    EXPECT_EQ(rows, 42);
    EXPECT_EQ(ExecStatement(static_cast<const char*>(nullptr)), kEmptyStatement);
    EXPECT_EQ(ExecStatement(std::string()), kEmptyStatement);
    EXPECT_EQ(ExecStatement("create table T(x);"), kNoConnection);

    OpenFresh();
    EXPECT_EQ(ExecStatement("insert into NO_SUCH values(1);"), SQLITE_ERROR);
    EXPECT_EQ(QueryRows("select X from NO_SUCH;", 1, one, 4, &value, 1, &rows), SQLITE_ERROR);
    // An empty text never reaches the connection: the last error stays as it was.
    EXPECT_EQ(QueryRows("", 1, one, 4, &value, 1, &rows), kEmptyStatement);
    EXPECT_EQ(ExecStatement(""), kEmptyStatement);
    {
        const StoreLock lock;
        EXPECT_EQ(sqlite3_errcode(StoreHandle()), SQLITE_ERROR);
    }

    const ColumnSpec three[] = {{0, 1, 4}, {1, 1, 4}, {2, 1, 4}};
    std::int32_t triple[3] = {};
    EXPECT_EQ(QueryRows("select 1, 2;", 3, three, 12, triple, 1, &rows), kTooFewColumns);
    EXPECT_EQ(rows, 0);

    EXPECT_EQ(ExecStatement("insert into FILE_NODE(FILE_NAME) values('x');"), kStatementOk);
    EXPECT_EQ(QueryText(m_db, "select count(*) from FILE_NODE;"), "1");
}

// A statement run again with other values, read to its end, never stepped past it, and its
// failures told apart: nothing to run, no connection, a bad bind, a failing step.
TEST_F(ConnectionTest, AStatementRunsAgainWithNewValuesAndTellsHowItEnded) {
    {
        Statement orphan("select 1;");
        EXPECT_FALSE(orphan.Next());
        EXPECT_EQ(orphan.Status(), kNoConnection);
    }
    OpenFresh();
    Statement insert("insert into FILE_NODE(FILE_NAME, PARENT_ID) values(?, ?);");
    const std::vector<std::string> written{"one", std::string("t\0wo", 4), "three"};
    for (const std::string& name : written) {
        insert.Reset();
        EXPECT_EQ(insert.Bind(1, name).Bind(2, 7).Run(), kStatementOk) << name;
        EXPECT_GT(LastInsertedRowId(), 0);
    }
    Statement select("select FILE_NAME from FILE_NODE where PARENT_ID = ? order by FILE_ID;");
    std::vector<std::string> names;
    select.Bind(1, 7);
    while (select.Next()) {
        names.push_back(select.Text(0));
    }
    EXPECT_EQ(select.Status(), kStatementOk);
    EXPECT_EQ(names, written) << "text is read whole";
    EXPECT_FALSE(select.Next()) << "a finished statement does not start again by itself";
    select.Reset();
    EXPECT_TRUE(select.Next()) << "Reset runs it again with the same values";

    EXPECT_EQ(Statement("  -- nothing\n").Run(), kEmptyStatement);
    EXPECT_EQ(Statement("select * from NO_SUCH;").Status(), SQLITE_ERROR);
    Statement outOfRange("select ?;");
    EXPECT_EQ(outOfRange.Bind(2, 1).Run(), SQLITE_RANGE);
    Statement twice("insert into FILE_NODE(FILE_ID, FILE_NAME) values(1000, 'x');");
    EXPECT_EQ(twice.Run(), kStatementOk);
    twice.Reset();
    EXPECT_EQ(twice.Run(), SQLITE_CONSTRAINT) << "the step's failure is the status";
}

TEST_F(ConnectionTest, EachValueIsLaidIntoItsFieldByStorageClass) {
    OpenFresh();
    // int 4 | text 8 | NULL text 6 | NULL int 4 | double 8 | blob 5 | int 4 | text 8  = 47 bytes
    const ColumnSpec columns[] = {{0, 1, 4}, {1, 3, 8}, {2, 3, 6}, {3, 1, 4},
                                  {4, 1, 8}, {5, 3, 5}, {6, 1, 4}, {7, 3, 8}};
    constexpr int kRecord = 47;
    std::vector<unsigned char> buffer(2 * kRecord, kUntouched);
    int rows = 0;
    ASSERT_EQ(QueryRows("select 7, 'hello world', NULL, NULL, 2.5, x'0100020304', -5, 'ab';", 8, columns, kRecord,
                        buffer.data(), 2, &rows),
              kQueryDone);
    EXPECT_EQ(rows, 1);

    EXPECT_EQ(IntAt(buffer, 0), 7);
    EXPECT_EQ(BytesAt(buffer, 4, 8), std::string("hello w\0", 8)); // cut, then terminated
    EXPECT_EQ(BytesAt(buffer, 12, 6), std::string(6, '\0'));       // NULL text: an empty field
    EXPECT_EQ(IntAt(buffer, 18), 0);                               // NULL integer: zero
    double real = 0;
    std::memcpy(&real, buffer.data() + 22, sizeof real);
    EXPECT_EQ(real, 2.5);
    EXPECT_EQ(BytesAt(buffer, 30, 5), std::string("\x01\x00\x02\x03\x00", 5));
    EXPECT_EQ(IntAt(buffer, 35), -5);
    EXPECT_EQ(BytesAt(buffer, 39, 8), std::string("ab\0\0\0\0\0\0", 8)); // the rest of the field is zero
    EXPECT_TRUE(AllUntouched(buffer, kRecord));                          // no second row, no second record
}

TEST_F(ConnectionTest, RowsAreStoredInOrderUpToTheCapacity) {
    OpenFresh();
    ASSERT_EQ(ExecStatement("insert into FILE_NODE(FILE_NAME) values('first'),('second'),('third');"), kStatementOk);
    const char* query = "select FILE_ID, FILE_NAME from FILE_NODE order by FILE_ID;";
    const ColumnSpec columns[] = {{0, 1, 4}, {1, 3, 16}};
    constexpr int kRecord = 20;

    std::vector<unsigned char> all(5 * kRecord, kUntouched);
    int rows = 0;
    EXPECT_EQ(QueryRows(query, 2, columns, kRecord, all.data(), 5, &rows), kQueryDone);
    ASSERT_EQ(rows, 3);
    EXPECT_EQ(IntAt(all, 0), 1);
    EXPECT_STREQ(reinterpret_cast<const char*>(all.data() + 4), "first");
    EXPECT_EQ(IntAt(all, kRecord), 2);
    EXPECT_STREQ(reinterpret_cast<const char*>(all.data() + kRecord + 4), "second");
    EXPECT_STREQ(reinterpret_cast<const char*>(all.data() + 2 * kRecord + 4), "third");
    EXPECT_TRUE(AllUntouched(all, 3 * kRecord));

    std::vector<unsigned char> single(2 * kRecord, kUntouched);
    EXPECT_EQ(QueryRows(query, 2, columns, kRecord, single.data(), 1, &rows), kQueryDone);
    EXPECT_EQ(rows, 1);
    EXPECT_STREQ(reinterpret_cast<const char*>(single.data() + 4), "first");
    EXPECT_TRUE(AllUntouched(single, kRecord));

    std::vector<unsigned char> none(kRecord, kUntouched);
    rows = 42;
    EXPECT_EQ(QueryRows("select FILE_ID, FILE_NAME from FILE_NODE where FILE_ID < 0;", 2, columns, kRecord, none.data(),
                        1, &rows),
              kQueryDone);
    EXPECT_EQ(rows, 0);
    EXPECT_TRUE(AllUntouched(none, 0));
}

TEST_F(ConnectionTest, DatabasesWithoutTablesOrNotDatabasesAtAllGiveSqliteCodes) {
    const ColumnSpec count[] = {{0, 1, 4}};
    std::int32_t value = 0;
    int rows = 0;

    // A missing file becomes an empty database: it opens, but no table is there.
    const std::string missing = m_dir.File("new.db");
    OpenStore(missing);
    ASSERT_TRUE(IsStoreOpen());
    EXPECT_TRUE(std::filesystem::exists(missing));
    EXPECT_EQ(QueryRows(kCountNodes, 1, count, 4, &value, 1, &rows), SQLITE_ERROR);
    EXPECT_EQ(ExecStatement(InsertNodeStatement("a", 0, "", 0, "", 1)), SQLITE_ERROR);
    EXPECT_EQ(LoadSettings(), 0);
    CloseStore();

    // A file that cannot be created: the connection SQLite hands back refuses every statement.
    OpenStore(m_dir.File("no/such/folder/x.db"));
    EXPECT_GT(QueryRows(kCountNodes, 1, count, 4, &value, 1, &rows), 0);
    EXPECT_GT(ExecStatement("create table T(x);"), 0);
    EXPECT_EQ(LoadSettings(), 0);
    CloseStore();

    const std::string text = m_dir.File("notes.db");
    std::string lines;
    for (int i = 0; i < 200; ++i) {
        lines += "this is a line of plain text, not a database\n";
    }
    std::ofstream(text) << lines;
    OpenStore(text);
    ASSERT_TRUE(IsStoreOpen());
    const int queried = QueryRows(kCountNodes, 1, count, 4, &value, 1, &rows);
    EXPECT_GT(queried, 0);
    EXPECT_NE(queried, kQueryDone);
    EXPECT_GT(ExecStatement(UpdateSettingsStatement("/x", 0, 0, 0)), 0);
    EXPECT_EQ(LoadSettings(), 0);
    {
        Transaction transaction;
        EXPECT_NE(transaction.Begin(), kStatementOk);
    }
    CloseStore();
    std::ifstream in(text);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), lines);
}

TEST_F(ConnectionTest, TransactionKeepsAllOrNothing) {
    OpenFresh();
    const std::string countNodes = "select count(*) from FILE_NODE;";
    {
        Transaction transaction;
        ASSERT_EQ(transaction.Begin(), kStatementOk);
        ASSERT_EQ(ExecStatement(InsertNodeStatement("kept", 0, "", 0, "", 1)), kStatementOk);
        EXPECT_EQ(transaction.Commit(), kStatementOk);
    }
    EXPECT_EQ(QueryText(m_db, countNodes), "1");
    {
        Transaction transaction;
        ASSERT_EQ(transaction.Begin(), kStatementOk);
        ASSERT_EQ(ExecStatement(InsertNodeStatement("dropped", 0, "", 0, "", 1)), kStatementOk);
    } // destroyed without Commit
    EXPECT_FALSE(InTransaction());
    EXPECT_EQ(QueryText(m_db, countNodes), "1");

    Transaction never;
    EXPECT_NE(never.Commit(), kStatementOk);

    // Inside an open transaction a step of its own stands or falls with the outer one: a step
    // given up is undone at once, a kept one only lands when the outer commits.
    {
        Transaction outer;
        ASSERT_EQ(outer.Begin(), kStatementOk);
        {
            Transaction step;
            ASSERT_EQ(step.Begin(), kStatementOk);
            ASSERT_EQ(ExecStatement(InsertNodeStatement("given up", 0, "", 0, "", 1)), kStatementOk);
        }
        EXPECT_TRUE(InTransaction()) << "the outer transaction goes on";
        {
            Transaction step;
            ASSERT_EQ(step.Begin(), kStatementOk);
            ASSERT_EQ(ExecStatement(InsertNodeStatement("kept in step", 0, "", 0, "", 1)), kStatementOk);
            EXPECT_EQ(step.Commit(), kStatementOk);
        }
        EXPECT_EQ(QueryText(m_db, countNodes), "1") << "nothing lands before the outer commit";
    } // the outer is given up: the kept step goes with it
    EXPECT_FALSE(InTransaction());
    EXPECT_EQ(QueryText(m_db, countNodes), "1");
    {
        Transaction outer;
        ASSERT_EQ(outer.Begin(), kStatementOk);
        Transaction step;
        ASSERT_EQ(step.Begin(), kStatementOk);
        ASSERT_EQ(ExecStatement(InsertNodeStatement("kept", 0, "", 0, "", 1)), kStatementOk);
        ASSERT_EQ(step.Commit(), kStatementOk);
        EXPECT_EQ(outer.Commit(), kStatementOk);
    }
    EXPECT_EQ(QueryText(m_db, countNodes), "2");

    // A COMMIT that fails (a deferred constraint) leaves nothing behind and no transaction open.
    ASSERT_EQ(ExecStatement("PRAGMA foreign_keys=ON;"
                            "create table P(ID integer primary key);"
                            "create table C(PID integer references P(ID) deferrable initially deferred);"),
              kStatementOk);
    {
        Transaction transaction;
        ASSERT_EQ(transaction.Begin(), kStatementOk);
        ASSERT_EQ(ExecStatement("insert into C values(99);"), kStatementOk);
        EXPECT_EQ(transaction.Commit(), SQLITE_CONSTRAINT);
    }
    EXPECT_FALSE(InTransaction());
    EXPECT_EQ(QueryText(m_db, "select count(*) from C;"), "0");
}

// Another program's connection in the middle of a write: it holds the lock until it commits.
sqlite3* HoldWriteLock(const std::string& path) {
    sqlite3* other = nullptr;
    if (sqlite3_open(path.c_str(), &other) != SQLITE_OK ||
        sqlite3_exec(other, "BEGIN IMMEDIATE; insert into FILE_NODE(FILE_NAME) values('other');", nullptr, nullptr,
                     nullptr) != SQLITE_OK) {
        sqlite3_close(other);
        return nullptr;
    }
    return other;
}

// Another program holding the write lock: the connection waits for it instead of failing at once.
TEST_F(ConnectionTest, BeginWaitsForABrieflyHeldLock) {
    OpenFresh();
    sqlite3* other = HoldWriteLock(m_db);
    ASSERT_NE(other, nullptr);
    std::atomic<bool> releasing{false};
    std::jthread holder([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        releasing = true;
        sqlite3_exec(other, "COMMIT;", nullptr, nullptr, nullptr);
    });
    {
        Transaction transaction;
        EXPECT_EQ(transaction.Begin(), kStatementOk);
        EXPECT_TRUE(releasing); // it could only start once the other side let go
        EXPECT_EQ(ExecStatement(InsertNodeStatement("mine", 0, "", 0, "", 1)), kStatementOk);
        EXPECT_EQ(transaction.Commit(), kStatementOk);
    }
    holder.join();
    sqlite3_close(other);
    EXPECT_EQ(
        QueryText(m_db, "select group_concat(FILE_NAME) from (select FILE_NAME from FILE_NODE order by FILE_ID);"),
        "other,mine");
}

TEST_F(ConnectionTest, BeginGivesUpOnALockHeldPastTheTimeout) {
    OpenFresh();
    sqlite3* other = HoldWriteLock(m_db);
    ASSERT_NE(other, nullptr);
    const auto start = std::chrono::steady_clock::now();
    {
        Transaction transaction;
        EXPECT_EQ(transaction.Begin(), SQLITE_BUSY);
        EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::seconds(4)); // it did wait
        EXPECT_NE(transaction.Commit(), kStatementOk);
    } // nothing to roll back: the other side's transaction must survive
    EXPECT_EQ(sqlite3_exec(other, "COMMIT;", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(other);
    EXPECT_EQ(QueryText(m_db, "select count(*) from FILE_NODE;"), "1");
}

// A worker (an import, a Home Directory move) writes in a transaction of its own while the window
// saves a change: the window's change waits until the worker's transaction has ended and is then
// saved by itself, rather than landing inside the worker's and going with it when that is given up.
TEST_F(ConnectionTest, ThreadsTakeTheStoreInTurnsAndNeverShareATransaction) {
    OpenFresh();
    std::atomic<bool> inside{false};
    std::atomic<bool> windowDone{false};
    bool windowWaited = false;
    std::jthread worker([&] {
        Transaction transaction;
        ASSERT_EQ(transaction.Begin(), kStatementOk);
        EXPECT_EQ(ExecStatement(InsertNodeStatement("worker's, given up", 0, "", 0, "", 1)), kStatementOk);
        inside = true;
        // The window's save comes meanwhile.
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        windowWaited = !windowDone;
    }); // given up
    while (!inside) {
        std::this_thread::yield();
    }
    EXPECT_TRUE(IsStoreOpen());
    {
        Transaction mine;
        ASSERT_EQ(mine.Begin(), kStatementOk);
        EXPECT_EQ(ExecStatement(InsertNodeStatement("window's", 0, "", 0, "", 1)), kStatementOk);
        EXPECT_EQ(mine.Commit(), kStatementOk);
        windowDone = true;
    }
    worker.join();
    EXPECT_TRUE(windowWaited);
    EXPECT_FALSE(InTransaction());
    EXPECT_EQ(QueryText(m_db, "select group_concat(FILE_NAME) from FILE_NODE;"), "window's");

    // Reads on a worker while the window writes: each sees the rows whole, row by row in turn.
    std::atomic<int> rowsSeen{-1};
    std::jthread reader([&] {
        for (int i = 0; i < 50; ++i) {
            const ColumnSpec one[] = {{0, 1, 4}};
            std::int32_t count = 0;
            int rows = 0;
            if (QueryRows("select count(*) from FILE_NODE;", 1, one, 4, &count, 1, &rows) == kQueryDone) {
                rowsSeen = count;
            }
        }
    });
    for (int i = 0; i < 50; ++i) {
        Transaction transaction;
        ASSERT_EQ(transaction.Begin(), kStatementOk);
        ASSERT_EQ(ExecStatement(InsertNodeStatement("more", 0, "", 0, "", 1)), kStatementOk);
        ASSERT_EQ(transaction.Commit(), kStatementOk);
    }
    reader.join();
    EXPECT_GE(rowsSeen.load(), 1);
    EXPECT_EQ(QueryText(m_db, "select count(*) from FILE_NODE;"), "51");
}

} // namespace
} // namespace mwdx::test
