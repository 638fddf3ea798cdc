#include "store/journal.h"

#include "store/bound_statement.h"

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
        BoundStatement remove("DELETE FROM MWDX_JOURNAL WHERE JOURNAL_ID = ?;");
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
        BoundStatement insert("INSERT INTO MWDX_JOURNAL (KIND,STEP,NODE_ID,PARENT_ID,FROM_PATH,TO_PATH,ASIDE_PATH,NAME,"
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
        BoundStatement update("UPDATE MWDX_JOURNAL SET STEP = ?, ASIDE_PATH = ? WHERE JOURNAL_ID = ?;");
        update.Integer(1, entry.step);
        update.Text(2, entry.asidePath);
        update.Integer(3, entry.id);
        return update.Run();
    });
}

int ClearJournalEntry(std::int64_t id) {
    return InSomeTransaction([id] {
        BoundStatement remove("DELETE FROM MWDX_JOURNAL WHERE JOURNAL_ID = ?;");
        remove.Integer(1, id);
        return remove.Run();
    });
}

std::vector<JournalEntry> ReadJournal(int* status) {
    std::vector<JournalEntry> entries;
    int rc = kStatementOk;
    {
        BoundStatement exists("SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = 'MWDX_JOURNAL';");
        const bool found = exists.Next();
        rc = exists.Status();
        if (!found && rc == kStatementOk) { // no table: nothing was ever journalled
            if (status != nullptr) {
                *status = kStatementOk;
            }
            return entries;
        }
    }
    if (rc == kStatementOk) {
        BoundStatement select("SELECT JOURNAL_ID,KIND,STEP,NODE_ID,PARENT_ID,FROM_PATH,TO_PATH,ASIDE_PATH,NAME,COMMENT,"
                              "RAW_FILE_NAME,FILETYPE,PATH_LEVEL,FLAGS FROM MWDX_JOURNAL ORDER BY JOURNAL_ID;");
        while (select.Next()) {
            JournalEntry e;
            e.id = select.ColumnInteger(0);
            e.kind = select.ColumnText(1);
            e.step = static_cast<int>(select.ColumnInteger(2));
            e.nodeId = select.ColumnInteger(3);
            e.parentId = select.ColumnInteger(4);
            e.fromPath = select.ColumnText(5);
            e.toPath = select.ColumnText(6);
            e.asidePath = select.ColumnText(7);
            e.name = select.ColumnText(8);
            e.comment = select.ColumnText(9);
            e.rawFileName = select.ColumnText(10);
            e.fileType = static_cast<std::int32_t>(select.ColumnInteger(11));
            e.pathLevel = static_cast<std::int32_t>(select.ColumnInteger(12));
            e.flags = static_cast<std::int32_t>(select.ColumnInteger(13));
            entries.push_back(std::move(e));
        }
        rc = select.Status();
    }
    if (status != nullptr) {
        *status = rc;
    }
    return entries;
}

} // namespace mwdx
