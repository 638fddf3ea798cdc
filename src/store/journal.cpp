#include "store/journal.h"

#include "store/connection.h"

#include <sqlite3.h>

namespace mwdx {
namespace {

constexpr const char* kCreateJournal = "CREATE TABLE IF NOT EXISTS MWDX_JOURNAL ("
                                       "JOURNAL_ID INTEGER PRIMARY KEY AUTOINCREMENT,"
                                       "KIND TEXT NOT NULL,"
                                       "STEP INTEGER NOT NULL DEFAULT 0,"
                                       "NODE_ID INTEGER NOT NULL DEFAULT 0,"
                                       "PARENT_ID INTEGER NOT NULL DEFAULT 0,"
                                       "FROM_PATH TEXT NOT NULL DEFAULT '',"
                                       "TO_PATH TEXT NOT NULL DEFAULT '',"
                                       "ASIDE_PATH TEXT NOT NULL DEFAULT '',"
                                       "NAME TEXT NOT NULL DEFAULT '',"
                                       "COMMENT TEXT NOT NULL DEFAULT '',"
                                       "RAW_FILE_NAME TEXT NOT NULL DEFAULT '',"
                                       "FILETYPE INTEGER NOT NULL DEFAULT 0,"
                                       "PATH_LEVEL INTEGER NOT NULL DEFAULT 0,"
                                       "FLAGS INTEGER NOT NULL DEFAULT 0);";

// One prepared statement, finalized on every way out.
class Statement final {
public:
    explicit Statement(const char* sql) {
        m_status =
            StoreHandle() == nullptr ? kNoConnection : sqlite3_prepare_v2(StoreHandle(), sql, -1, &m_stmt, nullptr);
    }
    ~Statement() { sqlite3_finalize(m_stmt); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    bool Ready() const { return m_status == SQLITE_OK && m_stmt != nullptr; }
    int Status() const { return m_status; }
    sqlite3_stmt* Get() const { return m_stmt; }

    void Text(int index, const std::string& value) {
        sqlite3_bind_text(m_stmt, index, value.data(), static_cast<int>(value.size()), SQLITE_TRANSIENT);
    }
    void Integer(int index, std::int64_t value) { sqlite3_bind_int64(m_stmt, index, value); }

    // Steps to the end: kStatementOk or the failure's code.
    int Run() {
        if (!Ready()) {
            return m_status == SQLITE_OK ? kEmptyStatement : m_status;
        }
        int rc;
        while ((rc = sqlite3_step(m_stmt)) == SQLITE_ROW) {
        }
        return rc == SQLITE_DONE ? kStatementOk : rc;
    }

private:
    StoreLock m_lock; // taken first, let go last
    sqlite3_stmt* m_stmt = nullptr;
    int m_status;
};

// Runs `write` in the caller's transaction, or in one of its own.
template <class Write> int InSomeTransaction(Write&& write) {
    if (InTransaction()) {
        return write();
    }
    Transaction transaction;
    int rc = transaction.Begin();
    if (rc != kStatementOk) {
        return rc;
    }
    rc = write();
    if (rc != kStatementOk) {
        return rc;
    }
    return transaction.Commit();
}

std::string ColumnText(sqlite3_stmt* stmt, int column) {
    const auto* text = sqlite3_column_text(stmt, column);
    return text != nullptr ? std::string(reinterpret_cast<const char*>(text),
                                         static_cast<std::size_t>(sqlite3_column_bytes(stmt, column)))
                           : std::string();
}

std::vector<std::int64_t> g_clearLater;
std::string g_clearLaterStore; // the file they belong to

std::string StoreFileName() {
    const StoreLock lock;
    const char* name = StoreHandle() != nullptr ? sqlite3_db_filename(StoreHandle(), "main") : nullptr;
    return name != nullptr ? name : "";
}

int ClearEntriesLeftForLater() {
    if (g_clearLaterStore != StoreFileName()) {
        g_clearLater.clear(); // another store's: the next start of that one removes them
    }
    for (const std::int64_t id : g_clearLater) {
        Statement remove("DELETE FROM MWDX_JOURNAL WHERE JOURNAL_ID = ?;");
        remove.Integer(1, id);
        if (const int rc = remove.Run(); rc != kStatementOk) {
            return rc;
        }
    }
    return kStatementOk;
}

} // namespace

void ClearJournalEntryLater(std::int64_t id) {
    const StoreLock lock; // which also guards the list
    if (g_clearLaterStore != StoreFileName()) {
        g_clearLater.clear();
        g_clearLaterStore = StoreFileName();
    }
    g_clearLater.push_back(id);
}

int ClearJournalEntriesLeftForLater() {
    const StoreLock lock;
    if (g_clearLater.empty()) {
        return kStatementOk;
    }
    const int rc = InSomeTransaction(ClearEntriesLeftForLater);
    if (rc == kStatementOk) {
        g_clearLater.clear();
    }
    return rc;
}

int WriteJournalEntry(JournalEntry& entry) {
    const StoreLock lock;
    const int written = InSomeTransaction([&entry] {
        int rc = ExecStatement(kCreateJournal);
        if (rc != kStatementOk) {
            return rc;
        }
        rc = ClearEntriesLeftForLater();
        if (rc != kStatementOk) {
            return rc;
        }
        Statement insert("INSERT INTO MWDX_JOURNAL (KIND,STEP,NODE_ID,PARENT_ID,FROM_PATH,TO_PATH,ASIDE_PATH,NAME,"
                         "COMMENT,RAW_FILE_NAME,FILETYPE,PATH_LEVEL,FLAGS) VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?);");
        insert.Text(1, entry.kind);
        insert.Integer(2, entry.step);
        insert.Integer(3, entry.nodeId);
        insert.Integer(4, entry.parentId);
        insert.Text(5, entry.fromPath);
        insert.Text(6, entry.toPath);
        insert.Text(7, entry.asidePath);
        insert.Text(8, entry.name);
        insert.Text(9, entry.comment);
        insert.Text(10, entry.rawFileName);
        insert.Integer(11, entry.fileType);
        insert.Integer(12, entry.pathLevel);
        insert.Integer(13, entry.flags);
        rc = insert.Run();
        if (rc == kStatementOk) {
            entry.id = sqlite3_last_insert_rowid(StoreHandle());
        }
        return rc;
    });
    // Inside a caller's transaction the removals land with its commit. Should that fail, the
    // entries stay, and the next start removes them, finding nothing left to do.
    if (written == kStatementOk) {
        g_clearLater.clear();
    }
    return written;
}

int SetJournalStep(const JournalEntry& entry) {
    return InSomeTransaction([&entry] {
        Statement update("UPDATE MWDX_JOURNAL SET STEP = ?, ASIDE_PATH = ? WHERE JOURNAL_ID = ?;");
        update.Integer(1, entry.step);
        update.Text(2, entry.asidePath);
        update.Integer(3, entry.id);
        return update.Run();
    });
}

int ClearJournalEntry(std::int64_t id) {
    return InSomeTransaction([id] {
        Statement remove("DELETE FROM MWDX_JOURNAL WHERE JOURNAL_ID = ?;");
        remove.Integer(1, id);
        return remove.Run();
    });
}

std::vector<JournalEntry> ReadJournal(int* status) {
    std::vector<JournalEntry> entries;
    int rc = kStatementOk;
    {
        Statement exists("SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = 'MWDX_JOURNAL';");
        if (!exists.Ready()) {
            rc = exists.Status();
        } else {
            rc = sqlite3_step(exists.Get());
            if (rc == SQLITE_DONE) { // no table: nothing was ever journalled
                if (status != nullptr) {
                    *status = kStatementOk;
                }
                return entries;
            }
            rc = rc == SQLITE_ROW ? kStatementOk : rc;
        }
    }
    if (rc == kStatementOk) {
        Statement select("SELECT JOURNAL_ID,KIND,STEP,NODE_ID,PARENT_ID,FROM_PATH,TO_PATH,ASIDE_PATH,NAME,COMMENT,"
                         "RAW_FILE_NAME,FILETYPE,PATH_LEVEL,FLAGS FROM MWDX_JOURNAL ORDER BY JOURNAL_ID;");
        if (!select.Ready()) {
            rc = select.Status();
        } else {
            while ((rc = sqlite3_step(select.Get())) == SQLITE_ROW) {
                sqlite3_stmt* s = select.Get();
                JournalEntry e;
                e.id = sqlite3_column_int64(s, 0);
                e.kind = ColumnText(s, 1);
                e.step = sqlite3_column_int(s, 2);
                e.nodeId = sqlite3_column_int64(s, 3);
                e.parentId = sqlite3_column_int64(s, 4);
                e.fromPath = ColumnText(s, 5);
                e.toPath = ColumnText(s, 6);
                e.asidePath = ColumnText(s, 7);
                e.name = ColumnText(s, 8);
                e.comment = ColumnText(s, 9);
                e.rawFileName = ColumnText(s, 10);
                e.fileType = sqlite3_column_int(s, 11);
                e.pathLevel = sqlite3_column_int(s, 12);
                e.flags = sqlite3_column_int(s, 13);
                entries.push_back(std::move(e));
            }
            rc = rc == SQLITE_DONE ? kStatementOk : rc;
        }
    }
    if (status != nullptr) {
        *status = rc;
    }
    return entries;
}

} // namespace mwdx
