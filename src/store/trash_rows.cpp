#include "store/trash_rows.h"

#include "store/connection.h"
#include "store/statements.h"

#include <ctime>
#include <unordered_map>

namespace mwdx {
namespace {

constexpr const char* kCreateTrash = "CREATE TABLE IF NOT EXISTS MWDX_TRASH ("
                                     "TRASH_ID INTEGER PRIMARY KEY AUTOINCREMENT,"
                                     "NODE_ID INTEGER NOT NULL DEFAULT 0,"
                                     "PARENT_ID INTEGER NOT NULL DEFAULT 0,"
                                     "NAME TEXT NOT NULL DEFAULT '',"
                                     "FILETYPE INTEGER NOT NULL DEFAULT 0,"
                                     "PLACE TEXT NOT NULL DEFAULT '',"
                                     "ON_DISK TEXT NOT NULL DEFAULT '',"
                                     "DELETED_AT INTEGER NOT NULL DEFAULT 0,"
                                     "FILES INTEGER NOT NULL DEFAULT 0,"
                                     "NODES INTEGER NOT NULL DEFAULT 0);"
                                     "CREATE TABLE IF NOT EXISTS MWDX_TRASH_NODE ("
                                     "ROW_ID INTEGER PRIMARY KEY,"
                                     "TRASH_ID INTEGER NOT NULL,"
                                     "FILE_ID INTEGER NOT NULL,"
                                     "FILE_NAME TEXT NOT NULL DEFAULT '',"
                                     "PARENT_ID INTEGER NOT NULL DEFAULT 0,"
                                     "COMMENT TEXT NOT NULL DEFAULT '',"
                                     "FILETYPE INTEGER NOT NULL DEFAULT 0,"
                                     "RAW_FILE_NAME TEXT NOT NULL DEFAULT '',"
                                     "PATH_LEVEL INTEGER NOT NULL DEFAULT 0);"
                                     "CREATE INDEX IF NOT EXISTS MWDX_TRASH_NODE_ENTRY ON MWDX_TRASH_NODE (TRASH_ID);";

constexpr const char* kEntryColumns = "TRASH_ID,NODE_ID,PARENT_ID,NAME,FILETYPE,PLACE,DELETED_AT,FILES,NODES,ON_DISK";

bool TrashExists(int* status) {
    Statement exists("SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = 'MWDX_TRASH';");
    const bool found = exists.Next();
    *status = exists.Status();
    return found;
}

TrashEntry EntryOf(const Statement& row) {
    TrashEntry entry;
    entry.id = row.Integer(0);
    entry.nodeId = row.Integer(1);
    entry.parentId = row.Integer(2);
    entry.name = row.Text(3);
    entry.fileType = static_cast<std::int32_t>(row.Integer(4));
    entry.place = row.Text(5);
    entry.deletedAt = row.Integer(6);
    entry.files = row.Integer(7) != 0;
    entry.nodes = row.Integer(8);
    entry.onDisk = row.Text(9);
    return entry;
}

// Runs `write` in the caller's transaction, or in one of its own.
template <class Write> int InSomeTransaction(Write&& write) {
    if (InTransaction()) {
        return write();
    }
    Transaction transaction;
    int rc = transaction.Begin();
    if (rc == kStatementOk) {
        rc = write();
    }
    return rc == kStatementOk ? transaction.Commit() : rc;
}

int RunWithId(const char* sql, std::int64_t id) {
    Statement statement(sql);
    statement.Bind(1, id);
    return statement.Run();
}

} // namespace

int MoveRowsToTrash(const CatalogNode& node, TrashEntry& entry) {
    const StoreLock lock;
    int rc = ExecStatement(kCreateTrash);
    if (rc != kStatementOk) {
        return rc;
    }
    entry.nodes = 1;
    ForEachDescendant(node, [&entry](const CatalogNode&) { ++entry.nodes; });
    if (entry.deletedAt == 0) {
        entry.deletedAt = static_cast<std::int64_t>(std::time(nullptr));
    }
    {
        Statement insert("INSERT INTO MWDX_TRASH (NODE_ID,PARENT_ID,NAME,FILETYPE,PLACE,DELETED_AT,FILES,NODES,"
                              "ON_DISK) VALUES (?,?,?,?,?,?,?,?,?);");
        insert.Bind(1, entry.nodeId);
        insert.Bind(2, entry.parentId);
        insert.Bind(3, entry.name);
        insert.Bind(4, entry.fileType);
        insert.Bind(5, entry.place);
        insert.Bind(6, entry.deletedAt);
        insert.Bind(7, entry.files ? 1 : 0);
        insert.Bind(8, entry.nodes);
        insert.Bind(9, entry.onDisk);
        if ((rc = insert.Run()) != kStatementOk) {
            return rc;
        }
        entry.id = LastInsertedRowId();
    }
    // Each row copied whole, as stored (the tree may hold a name cut to its limit), then deleted:
    // both statements parsed once for the whole subtree.
    const std::string copy = "INSERT INTO MWDX_TRASH_NODE (TRASH_ID,FILE_ID,FILE_NAME,PARENT_ID,COMMENT,FILETYPE,"
                             "RAW_FILE_NAME,PATH_LEVEL) SELECT " +
                             std::to_string(entry.id) +
                             ",FILE_ID,FILE_NAME,PARENT_ID,COMMENT,FILETYPE,RAW_FILE_NAME,PATH_LEVEL FROM FILE_NODE "
                             "WHERE FILE_ID = ?;";
    Statement copyRow(copy);
    Statement deleteRow(kDeleteNodeById);
    for (const CatalogNode* n = &node; n != nullptr && rc == kStatementOk;
         n = n == &node ? node.FirstChild() : NextInWalk(node, *n)) {
        copyRow.Reset();
        rc = copyRow.Bind(1, n->FileId()).Run();
        if (rc == kStatementOk) {
            deleteRow.Reset();
            rc = deleteRow.Bind(1, n->FileId()).Run();
        }
    }
    return rc;
}

std::vector<TrashEntry> ReadTrash(int* status) {
    std::vector<TrashEntry> entries;
    int rc = kStatementOk;
    if (TrashExists(&rc)) {
        const std::string sql = std::string("SELECT ") + kEntryColumns + " FROM MWDX_TRASH ORDER BY TRASH_ID;";
        Statement select(sql);
        while (select.Next()) {
            entries.push_back(EntryOf(select));
        }
        rc = select.Status();
    }
    if (status != nullptr) {
        *status = rc;
    }
    return entries;
}

std::optional<TrashEntry> ReadTrashEntry(std::int64_t id) {
    int rc = kStatementOk;
    if (!TrashExists(&rc)) {
        return std::nullopt;
    }
    const std::string sql = std::string("SELECT ") + kEntryColumns + " FROM MWDX_TRASH WHERE TRASH_ID = ?;";
    Statement select(sql);
    select.Bind(1, id);
    if (!select.Next()) {
        return std::nullopt;
    }
    return EntryOf(select);
}

int PutRowsBack(std::int64_t id, NodeId parentId, std::int32_t level, std::vector<RestoredRow>* rowsOut) {
    const StoreLock lock;
    std::vector<RestoredRow> rows;
    std::int64_t topRow = 0;
    int rc = kStatementOk;
    {
        Statement select("SELECT ROW_ID,FILE_ID,FILE_NAME,PARENT_ID,COMMENT,FILETYPE,RAW_FILE_NAME,PATH_LEVEL "
                              "FROM MWDX_TRASH_NODE WHERE TRASH_ID = ? ORDER BY ROW_ID;");
        select.Bind(1, id);
        while (select.Next()) {
            if (rows.empty()) {
                topRow = select.Integer(0);
            }
            RestoredRow row;
            row.fileId = select.Integer(1);
            row.fileName = select.Text(2);
            row.parentId = select.Integer(3);
            row.comment = select.Text(4);
            row.fileType = static_cast<std::int32_t>(select.Integer(5));
            row.rawFileName = select.Text(6);
            row.pathLevel = static_cast<std::int32_t>(select.Integer(7));
            rows.push_back(std::move(row));
        }
        rc = select.Status();
    }
    if (rc != kStatementOk) {
        return rc;
    }
    const std::int32_t shift = rows.empty() ? 0 : level - rows.front().pathLevel;
    bool taken = false;
    {
        Statement any("SELECT 1 FROM FILE_NODE WHERE FILE_ID IN "
                           "(SELECT FILE_ID FROM MWDX_TRASH_NODE WHERE TRASH_ID = ?) LIMIT 1;");
        any.Bind(1, id);
        taken = any.Next();
        if ((rc = any.Status()) != kStatementOk) {
            return rc;
        }
    }
    if (!taken) {
        // The ids are free: every row back as it was in one statement, the top one under its new parent.
        Statement insert("INSERT INTO FILE_NODE (FILE_ID,FILE_NAME,PARENT_ID,COMMENT,FILETYPE,RAW_FILE_NAME,"
                              "PATH_LEVEL) SELECT FILE_ID,FILE_NAME,CASE WHEN ROW_ID = ?1 THEN ?2 ELSE PARENT_ID END,"
                              "COMMENT,FILETYPE,RAW_FILE_NAME,PATH_LEVEL + ?3 FROM MWDX_TRASH_NODE WHERE TRASH_ID = ?4 "
                              "ORDER BY ROW_ID;");
        insert.Bind(1, topRow);
        insert.Bind(2, parentId);
        insert.Bind(3, shift);
        insert.Bind(4, id);
        if ((rc = insert.Run()) != kStatementOk) {
            return rc;
        }
        for (std::size_t i = 0; i < rows.size(); ++i) {
            rows[i].pathLevel += shift;
            if (i == 0) {
                rows[i].parentId = parentId;
            }
        }
    } else {
        // Some id was given to a node added since: every row takes a new one, parents first.
        std::unordered_map<NodeId, NodeId> newIds;
        Statement insert("INSERT INTO FILE_NODE (FILE_NAME,PARENT_ID,COMMENT,FILETYPE,RAW_FILE_NAME,PATH_LEVEL) "
                              "VALUES (?,?,?,?,?,?);");
        for (std::size_t i = 0; i < rows.size() && rc == kStatementOk; ++i) {
            RestoredRow& row = rows[i];
            if (i == 0) {
                row.parentId = parentId;
            } else if (const auto parent = newIds.find(row.parentId); parent != newIds.end()) {
                row.parentId = parent->second;
            }
            row.pathLevel += shift;
            insert.Reset();
            insert.Bind(1, row.fileName);
            insert.Bind(2, row.parentId);
            insert.Bind(3, row.comment);
            insert.Bind(4, row.fileType);
            insert.Bind(5, row.rawFileName);
            insert.Bind(6, row.pathLevel);
            rc = insert.Run();
            const NodeId newId = LastInsertedRowId();
            newIds[row.fileId] = newId;
            row.fileId = newId;
        }
        if (rc != kStatementOk) {
            return rc;
        }
    }
    if ((rc = ForgetTrashEntry(id)) != kStatementOk) {
        return rc;
    }
    if (rowsOut != nullptr) {
        *rowsOut = std::move(rows);
    }
    return kStatementOk;
}

int ForgetTrashEntry(std::int64_t id) {
    return InSomeTransaction([id] {
        const int rc = RunWithId("DELETE FROM MWDX_TRASH_NODE WHERE TRASH_ID = ?;", id);
        return rc == kStatementOk ? RunWithId("DELETE FROM MWDX_TRASH WHERE TRASH_ID = ?;", id) : rc;
    });
}

int ForgetWholeTrash() {
    int rc = kStatementOk;
    if (!TrashExists(&rc)) {
        return rc;
    }
    return InSomeTransaction([] {
        const int rc = ExecStatement("DELETE FROM MWDX_TRASH_NODE;");
        return rc == kStatementOk ? ExecStatement("DELETE FROM MWDX_TRASH;") : rc;
    });
}

int MarkTrashEntryWithoutFiles(std::int64_t id) {
    return RunWithId("UPDATE MWDX_TRASH SET FILES = 0 WHERE TRASH_ID = ?;", id);
}

} // namespace mwdx
