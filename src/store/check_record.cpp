#include "store/check_record.h"

#include "store/connection.h"

#include <sqlite3.h>

namespace mwdx {

int WriteLastCheck(std::int64_t findings) {
    Transaction transaction;
    int rc = transaction.Begin();
    if (rc == kStatementOk) {
        rc = ExecStatement("CREATE TABLE IF NOT EXISTS MWDX_LAST_CHECK (ID INTEGER PRIMARY KEY CHECK (ID = 1),"
                           "FINDINGS INTEGER NOT NULL, CHECKED_AT INTEGER NOT NULL);");
    }
    if (rc == kStatementOk) {
        rc = ExecStatement("INSERT OR REPLACE INTO MWDX_LAST_CHECK (ID, FINDINGS, CHECKED_AT) VALUES (1, " +
                           std::to_string(findings) + ", strftime('%s','now'));");
    }
    return rc == kStatementOk ? transaction.Commit() : rc;
}

std::optional<std::int64_t> ReadLastCheck() {
    // Before the first check there is no table, and the statement cannot be prepared.
    const StoreLock lock;
    sqlite3_stmt* stmt = nullptr;
    std::optional<std::int64_t> findings;
    if (StoreHandle() != nullptr &&
        sqlite3_prepare_v2(StoreHandle(), "SELECT FINDINGS FROM MWDX_LAST_CHECK WHERE ID = 1;", -1, &stmt, nullptr) ==
            SQLITE_OK &&
        sqlite3_step(stmt) == SQLITE_ROW) {
        findings = sqlite3_column_int64(stmt, 0);
    }
    sqlite3_finalize(stmt);
    return findings;
}

} // namespace mwdx
