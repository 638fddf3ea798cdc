#include "store/journal.h"

#include "store/connection.h"

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
    return StoreFilePath();
}

int ClearEntriesLeftForLater() {
    if (g_clearLaterStore != StoreFileName()) {
        g_clearLater.clear(); // another store's: the next start of that one removes them
    }
    for (const std::int64_t id : g_clearLater) {
        Statement remove("DELETE FROM MWDX_JOURNAL WHERE JOURNAL_ID = ?;");
        remove.Bind(1, id);
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
        insert.Bind(1, entry.kind);
        insert.Bind(2, entry.step);
        insert.Bind(3, entry.nodeId);
        insert.Bind(4, entry.parentId);
        insert.Bind(5, entry.fromPath);
        insert.Bind(6, entry.toPath);
        insert.Bind(7, entry.asidePath);
        insert.Bind(8, entry.name);
        insert.Bind(9, entry.comment);
        insert.Bind(10, entry.rawFileName);
        insert.Bind(11, entry.fileType);
        insert.Bind(12, entry.pathLevel);
        insert.Bind(13, entry.flags);
        rc = insert.Run();
        if (rc == kStatementOk) {
            entry.id = LastInsertedRowId();
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
        update.Bind(1, entry.step);
        update.Bind(2, entry.asidePath);
        update.Bind(3, entry.id);
        return update.Run();
    });
}

int ClearJournalEntry(std::int64_t id) {
    return InSomeTransaction([id] {
        Statement remove("DELETE FROM MWDX_JOURNAL WHERE JOURNAL_ID = ?;");
        remove.Bind(1, id);
        return remove.Run();
    });
}

std::vector<JournalEntry> ReadJournal(int* status) {
    std::vector<JournalEntry> entries;
    int rc = kStatementOk;
    {
        Statement exists("SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = 'MWDX_JOURNAL';");
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
        Statement select("SELECT JOURNAL_ID,KIND,STEP,NODE_ID,PARENT_ID,FROM_PATH,TO_PATH,ASIDE_PATH,NAME,COMMENT,"
                         "RAW_FILE_NAME,FILETYPE,PATH_LEVEL,FLAGS FROM MWDX_JOURNAL ORDER BY JOURNAL_ID;");
        while (select.Next()) {
            JournalEntry e;
            e.id = select.Integer(0);
            e.kind = select.Text(1);
            e.step = static_cast<int>(select.Integer(2));
            e.nodeId = select.Integer(3);
            e.parentId = select.Integer(4);
            e.fromPath = select.Text(5);
            e.toPath = select.Text(6);
            e.asidePath = select.Text(7);
            e.name = select.Text(8);
            e.comment = select.Text(9);
            e.rawFileName = select.Text(10);
            e.fileType = static_cast<std::int32_t>(select.Integer(11));
            e.pathLevel = static_cast<std::int32_t>(select.Integer(12));
            e.flags = static_cast<std::int32_t>(select.Integer(13));
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
